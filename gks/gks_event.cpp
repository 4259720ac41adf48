// Window events and the hold loop: exposures, mapping, resizes, client
// messages, the key and mouse bindings (frame stepping, loop speed, zoom,
// saving, ending input), the rubber band and the user callback.
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/select.h>

#include "core/flags.h"
#include "core/records.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/gks_int.h"
#include "gks/imgfile.h"

using namespace gks;

namespace {

int input_mode = 0;
bool user_event = false;
int expose_count = 0;
GUserFunc user_fn = nullptr;
GRefreshFunc refresh_fn = nullptr;
float refresh_interval = 0;

constexpr short UNSET = -9999;

struct Band {
    int kind = 0, constraint = 0;
    short pts[3][2] = {{UNSET, UNSET}, {UNSET, UNSET}, {UNSET, UNSET}};  // press, moving, stored
    short stored[2][2] = {{UNSET, UNSET}, {UNSET, UNSET}};
    int count = 0;
    short limits[4] = {UNSET, 0, 0, 0};  // x1, y1, x2, y2 in pixels
    bool active = false;  // a button is down: the band follows the pointer
    bool drawn = false;   // the band is on the window now (XOR: drawing again erases)
} band;

// Seconds on a clock that only moves forward: refresh times keep their
// spacing when the wall clock is set, and are kept to well under a second
// (time() would round every interval to whole seconds).
double now_seconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Waits up to `seconds` (negative: without limit) for X input.
void wait_input(float seconds) {
    Display *d = S().dpy;
    if (!d || XPending(d)) return;
    int fd = ConnectionNumber(d);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{(long)seconds, (long)((seconds - (long)seconds) * 1e6)};
    select(fd + 1, &set, nullptr, nullptr, seconds < 0 ? nullptr : &tv);
}

std::string suffixes(unsigned state) {
    std::string s;
    if (state & Mod1Mask) s += "-Alt";
    if (state & ShiftMask) s += "-Shft";
    if (state & ControlMask) s += "-Cntrl";
    return s;
}

// Pixel of the window to world coordinates of the selected transform, after
// undoing the picture zoom.
void to_world(int px, int py, float *x, float *y) {
    *x = xp_W(xZ_p((float)px));
    *y = yp_W(yZ_p((float)py));
}

void call_user(int kind, const std::string &name, float x, float y) {
    if (!user_fn) return;
    int old = gset_cursor(GCUR_LEFT_PTR);
    int err, tran = 0;
    ginq_cur_norm_tran_num(&err, &tran);
    user_fn(kind, name.c_str(), x, y);
    gsel_norm_tran(tran);
    gset_cursor(old);
}

void pointer(int *x, int *y) {
    State &s = S();
    Window r, c;
    int rx, ry;
    unsigned m;
    *x = *y = 0;
    if (s.root_window) XQueryPointer(s.dpy, s.root_window, &r, &c, &rx, &ry, x, y, &m);
}

// Loop speed: faster takes 0.1 s off (0.05 s once at or below 0.11 s),
// slower adds 0.1 s (0.05 s while below 0.09 s).
void faster() { ginc_loop_delay(gget_loop_delay() <= 0.11f ? -0.05f : -0.1f); }
void slower() { ginc_loop_delay(gget_loop_delay() < 0.09f ? 0.05f : 0.1f); }

// ---- rubber band ----

void clamp_to_limits(short &x, short &y) {
    if (band.limits[0] == UNSET) return;
    if (x < band.limits[0]) x = band.limits[0];
    if (x > band.limits[2]) x = band.limits[2];
    if (y < band.limits[1]) y = band.limits[1];
    if (y > band.limits[3]) y = band.limits[3];
}

void xor_band() {
    State &s = S();
    if (!s.root_window) return;
    band.drawn = !band.drawn;
    int p0[2] = {band.pts[0][0], band.pts[0][1]}, p1[2] = {band.pts[1][0], band.pts[1][1]};
    int old = gget_line_gc_func();
    gset_line_gc_func(GXxor);
    XSetForeground(s.dpy, s.gc_line, s.fg ^ s.bg ? (s.fg ^ s.bg) : 1);
    switch (band.kind) {
    case 1: gxline(s.root_window, p0, p1); break;
    case 2: gxrect(s.root_window, p0, p1); break;
    case 3:
        for (int i = 0; i < band.count; i++) {
            int q[2] = {band.stored[i][0], band.stored[i][1]};
            gxline(s.root_window, q, p1);
        }
        break;
    default: break;
    }
    gset_line_gc_func(old);
    x11_set_gc_color(s.gc_line, line_colr());
}

void erase_band() {
    if (band.drawn) xor_band();
}

void show_band() {
    if (!band.drawn && band.active && band.kind > 0 && band.pts[1][0] != UNSET) xor_band();
}

// The window was painted over (a frame shown, an exposure): a band that was
// on it is gone and is drawn again, or the next erase would draw it instead
// (a zoom rectangle dragged over a running loop).
void band_painted_over() {
    if (!band.drawn) return;
    band.drawn = false;
    show_band();
}

void step_frame(int step) {
    if (gget_num_images() < 1) return;
    int f = ginc_frame(step);
    if (f >= 0 && gdisplay_frame(f)) band_painted_over();
}

void move_band(int x, int y) {
    short sx = (short)x, sy = (short)y;
    clamp_to_limits(sx, sy);
    if (band.kind == 3 && band.count > 0) {
        if (band.constraint == 1) sx = band.stored[0][0];
        if (band.constraint == 2) sy = band.stored[0][1];
    }
    erase_band();
    band.pts[1][0] = sx;
    band.pts[1][1] = sy;
    show_band();
}

// ---- image save keys ----

void save_images(bool gif) {
    State &s = S();
    const char *ext = gif ? "gif" : "xwd";
    const char *what = gif ? "GIF" : "XWD";
    char base[6] = "";
    strntcpy(base, gget_win_title(), sizeof base);
    for (char *c = base; *c; c++)
        if (*c == ' ') *c = '_';
    char dir[200] = "";
    const char *ip = RES_get("image_path");
    if (ip && *ip) {
        strntcpy(dir, ip, sizeof dir - 1);
        FILE_add_path_delim(dir);
    }
    int old = gset_cursor(GCUR_WATCH);
    auto write_one = [&](const std::string &name) {
        IMG img;
        IMG_init(&img);
        int ok = gget_image(&img) && gwrite_image_file(name.c_str(), &img, gif ? GSAVE_GIF : GSAVE_XWD);
        IMG_free(&img);
        if (ok)
            MESS_print(MESS_OUT1, "Created %s file: %s\n", what, name.c_str());
        else
            MESS_print(MESS_ERROR, "gprocess_x11_event: Unable to write %s file: %s\n", what, name.c_str());
    };
    char name[260];
    int n = gget_num_images();
    if (n < 2) {
        snprintf(name, sizeof name, "%s%.5s.%s", dir, base, ext);
        write_one(name);
    } else if (gget_looping()) {
        MESS_print(MESS_OUT1, "Creating %s files:\n", what);
        int rec = gget_redraw();
        for (int k = 0; k < n; k++) {
            gselect_frame(k);
            snprintf(name, sizeof name, "%s%.5s-%2.2d.%s", dir, base, k, ext);
            MESS_print(MESS_OUT1, "%s\n", name);
            write_one(name);
        }
        gselect_frame(-3);
        gset_redraw(rec);
        s.draw_window = s.base_window;
    } else {
        snprintf(name, sizeof name, "%s%.5s-%2.2d.%s", dir, base, gget_cur_frame() < 0 ? 0 : gget_cur_frame(), ext);
        write_one(name);
    }
    gset_cursor(old);
}

// ---- keys ----

int key_press(XKeyEvent *ev) {
    if (input_mode != 1 && input_mode != 2) return 0;
    input_mode = 2;
    XKeyEvent plain = *ev;
    plain.state &= ~(unsigned)ControlMask;  // printable names while Ctrl is held
    char text[16] = "";
    KeySym ks = 0;
    int len = XLookupString(&plain, text, sizeof text - 1, &ks, nullptr);
    text[len < 0 ? 0 : len] = 0;
    // Ctrl+Alt+key is no binding: with Ctrl held a key's text used to be a
    // control character that matched none, so it reaches the callback
    // (Ctrl+Alt+] as "]-Alt-Cntrl").
    bool alt = (ev->state & Mod1Mask) && !(ev->state & ControlMask);
    bool call = true;
    std::string name;
    if (ks == XK_Return || ks == XK_KP_Enter) {
        input_mode = 3;
        name = "Ret";
    } else if (IsModifierKey(ks)) {
        // Shift, Alt or Ctrl pressed on its own (as on the way to Alt+z or
        // a Shift drag) says nothing yet: no callback, so that it cannot
        // cancel a zoom rectangle being chosen.
        return 1;
    } else if (len != 1 || (unsigned char)text[0] < 0x20 || (unsigned char)text[0] == 0x7f) {
        // No printable text (arrows, function keys, Escape): the callback
        // gets an empty name without suffixes, which the plot session takes
        // as "cancel" (it drops a pending zoom rectangle).
        call_user(2, "", 0, 0);
        return 1;
    } else {
        name = text;
        if (alt) {
            call = false;
            switch (text[0]) {
            case 'q': input_mode = 3; break;
            case 'd': gdelete_frame(-2); break;
            case 'z': {
                int x, y;
                pointer(&x, &y);
                gzoom(-2, x, y, -2, gget_zoom() > 1);
                break;
            }
            case 'u':
                call = gget_zoom() < 2;
                gunzoom();
                break;
            case 'm': gobj_print_meta(); break;
            case 'g': save_images(true); break;
            case 'x': save_images(false); break;
            case 'l': gtoggle_loop(2); break;
            case ']':
                if (gget_looping()) faster();
                else step_frame(1);
                break;
            case '[':
                if (gget_looping()) slower();
                else step_frame(-1);
                break;
            default: call = true; break;
            }
        }
    }
    if (!call) return 1;
    int px, py;
    pointer(&px, &py);
    float x, y;
    to_world(px, py, &x, &y);
    call_user(2, name + suffixes(ev->state), x, y);
    return 1;
}

int button(XButtonEvent *ev, bool press) {
    State &s = S();
    unsigned b = ev->button;
    if (press) {
        if (!(ev->state & Mod1Mask)) {
            if (b == 1) {
                if (gget_looping()) slower();
                else step_frame(-1);
            } else if (b == 2) {
                gtoggle_loop(2);
            } else if (b == 3) {
                if (gget_looping()) faster();
                else step_frame(1);
            }
        }
        // The press point is kept even without a band kind: the callback
        // of this very press may ask for one (the plot session's Shift+B1
        // zoom rectangle), and the band then grows from here.
        erase_band();
        band.active = true;
        band.pts[0][0] = (short)ev->x;
        band.pts[0][1] = (short)ev->y;
        clamp_to_limits(band.pts[0][0], band.pts[0][1]);
        band.pts[1][0] = band.pts[0][0];
        band.pts[1][1] = band.pts[0][1];
        show_band();
    } else if (band.active) {
        erase_band();
        short rx = (short)ev->x, ry = (short)ev->y;
        clamp_to_limits(rx, ry);
        band.pts[1][0] = rx;
        band.pts[1][1] = ry;
        show_band();
        erase_band();  // drawn once at the release point, then ended
        band.active = false;
        band.limits[0] = UNSET;
        XFlush(s.dpy);
    }
    char name[32];
    snprintf(name, sizeof name, "B%u-%c", b, press ? 'P' : 'R');
    float x, y;
    to_world(ev->x, ev->y, &x, &y);
    call_user(3, name + suffixes(ev->state), x, y);
    return 1;
}

}  // namespace

namespace gks {
void process_pending() { gcheck_event(); }
}  // namespace gks

int gprocess_x11_event(XEvent *ev) {
    State &s = S();
    if (!ev || !s.dpy) return 0;
    user_event = false;
    if (ev->type != Expose) expose_count = 0;
    switch (ev->type) {
    case Expose:
        if (expose_count++ == 0) {
            gupdate_window();
            band_painted_over();
        }
        break;
    case MapNotify: s.mapped = true; break;
    case UnmapNotify: s.mapped = false; break;
    case FocusIn:
    case FocusOut: break;
    case ConfigureNotify:
        if (ev->xconfigure.window == s.root_window && gresize_window(-1, -1) == 1) {
            ginit_plot(GMODE_REDRAW);
            call_user(2, "size", (float)s.win_width, (float)s.win_height);
        }
        break;
    case ClientMessage:
        if (ev->xclient.format != 8) break;
        if (ev->xclient.data.b[0] == 9) input_mode = 3;
        if (ev->xclient.data.b[0] == 2) {
            gset_win_title_extra("+");
            gsync();
            gappend_frame();
            gset_win_title_extra("");
        }
        break;
    case KeyPress: user_event = key_press(&ev->xkey) != 0; break;
    case ButtonPress: user_event = button(&ev->xbutton, true) != 0; break;
    case ButtonRelease: user_event = button(&ev->xbutton, false) != 0; break;
    case MotionNotify:
        if (band.active) move_band(ev->xmotion.x, ev->xmotion.y);
        break;
    default: break;
    }
    return user_event ? 1 : 0;
}

int gcheck_event() {
    State &s = S();
    if (!s.dpy || !s.events_on || !gget_cache()) return 0;
    int n = 0;
    while (XPending(s.dpy)) {
        XEvent ev;
        XNextEvent(s.dpy, &ev);
        if (ev.type == MotionNotify)
            while (XCheckTypedWindowEvent(s.dpy, ev.xmotion.window, MotionNotify, &ev)) {
            }
        n += gprocess_x11_event(&ev);
    }
    return n;
}

int gwait_event() {
    State &s = S();
    if (!s.dpy) return 0;
    XEvent ev;
    XPeekEvent(s.dpy, &ev);
    return gcheck_event();
}

// ghold's mode is not used: every hold waits until input ends (Return,
// Alt+q or the client's end message); the argument is kept for callers.
int ghold(int mode) {
    State &s = S();
    if (!s.dpy || s.win_type != GWS_WIN) return 0;
    gcheck_event();
    gsync();
    if (gget_looping()) ZYR_init_time();
    // An ending message that arrived before the hold (taken by the event
    // check above) ends it at once instead of being forgotten.
    if (input_mode != 3) input_mode = 1;
    double next_refresh = 0;
    if (refresh_fn && refresh_interval > 0) next_refresh = now_seconds() + refresh_interval;
    int naps = 0;
    bool was_looping = gget_looping();
    while (input_mode != 3) {
        bool looping = gget_looping() && gget_num_images() > 1;
        if (looping) {
            // Looping started during the hold (button 2, Alt+l, a client's
            // first frame): the frame timer starts now, or it never runs.
            if (!was_looping) ZYR_init_time();
            if (gget_cursor_type() != GCUR_EXCHANGE) gset_cursor(GCUR_EXCHANGE);
            gloop_sleep();
            if (input_mode == 3) break;
            int f = ginc_frame(0);
            if (f >= 0 && s.mapped && gdisplay_frame(f)) band_painted_over();
            ZYR_init_time();
            gcheck_event();
        } else if (next_refresh > 0) {
            int want = gget_num_images() > 0 ? GCUR_DOT : GCUR_TCROSS;
            if (gget_cursor_type() != want) gset_cursor(want);
            // Naps of 0.1 s, 0.5 s after 50 quiet ones, cut short by input
            // (answered at once) and by the refresh time (kept to the nap).
            float nap = naps < 50 ? 0.1f : 0.5f;
            double left = next_refresh - now_seconds();
            if (left < nap) nap = left > 0.001 ? (float)left : 0.001f;
            wait_input(nap);
            naps++;
            if (XPending(s.dpy)) {
                naps = 0;
                gcheck_event();
            }
        } else {
            int want = gget_num_images() > 0 ? GCUR_DOT : GCUR_TCROSS;
            if (gget_cursor_type() != want) gset_cursor(want);
            wait_input(1.0f);
            gcheck_event();
        }
        was_looping = looping;
        if (next_refresh > 0 && now_seconds() >= next_refresh) {
            refresh_fn();
            next_refresh += refresh_interval;
        }
    }
    input_mode = 0;
    gbell(50);
    gset_cursor(GCUR_X);
    gsync();
    return 0;
}

int ginit_event(int mode) {
    band = Band{};
    if (mode == 0) input_mode = 0;
    return 0;
}

int gset_mouse_callback(GUserFunc fn) { return user_fn = fn, 0; }

int gset_refresh_callback(float seconds, GRefreshFunc fn) {
    refresh_interval = seconds;
    refresh_fn = fn;
    return 0;
}

int gset_input_mode(int flag) { return input_mode = flag == 1 ? 1 : 0, 0; }
int gget_input_mode() { return (input_mode == 1 || input_mode == 2) ? 1 : 0; }
// A band on the window is taken off in its old shape before the kind
// changes, so none is left behind, and shown in the new one mid-drag.
int gset_rubber_band(int kind) {
    erase_band();
    band.kind = kind;
    show_band();
    return 0;
}

// Stored points are world coordinates of the selected transform.
int gset_rubber_band_points(const float *pts, int n, int constraint) {
    band.constraint = constraint;
    band.count = n < 0 ? 0 : (n > 2 ? 2 : n);
    for (int i = 0; i < band.count && pts; i++) {
        band.stored[i][0] = (short)xW_p(pts[2 * i]);
        band.stored[i][1] = (short)yW_p(pts[2 * i + 1]);
    }
    return 0;
}

int gset_rubber_band_limits(const int *r) {
    for (int i = 0; i < 4; i++) band.limits[i] = r ? (short)r[i] : (short)(i == 0 ? UNSET : 0);
    return 0;
}

void gks::event_reset()
{
    input_mode = 0;
    user_event = false;
    expose_count = 0;
    user_fn = nullptr;
    refresh_fn = nullptr;
    refresh_interval = 0;
    band = Band{};
}
