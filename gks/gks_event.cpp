// Window events and the hold loop: the event processing the kernel needs
// while drawing, looping and holding (exposures, mapping, resizes, client
// messages, the ending keys).
#include <X11/keysym.h>

#include <cstring>
#include <ctime>
#include <sys/select.h>

#include "driver/flags.h"
#include "driver/util.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

int input_mode = 0;
bool user_event = false;
int expose_count = 0;
GUserFunc user_fn = nullptr;
GRefreshFunc refresh_fn = nullptr;
float refresh_interval = 0;

struct Band {
    int kind = 0, constraint = 0;
    short pts[3][2] = {{-9999, -9999}, {-9999, -9999}, {-9999, -9999}};
    int count = 0;
    short limits[4] = {-9999, 0, 0, 0};
} band;

// Waits up to `seconds` for X input on the connection.
void wait_input(float seconds) {
    Display *d = S().dpy;
    if (!d) return;
    if (XPending(d)) return;
    int fd = ConnectionNumber(d);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{(long)seconds, (long)((seconds - (long)seconds) * 1e6)};
    select(fd + 1, &set, nullptr, nullptr, seconds < 0 ? nullptr : &tv);
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
        if (expose_count++ == 0) gupdate_window();
        break;
    case MapNotify: s.mapped = true; break;
    case UnmapNotify: s.mapped = false; break;
    case ConfigureNotify:
        if (ev->xconfigure.window == s.root_window && gresize_window(-1, -1) == 1) {
            ginit_plot(GMODE_REDRAW);
            if (user_fn) {
                int old = gset_cursor(GCUR_LEFT_PTR);
                user_fn(2, "size", (float)s.win_width, (float)s.win_height);
                gset_cursor(old);
            }
        }
        break;
    case ClientMessage:
        if (ev->xclient.format == 8 && ev->xclient.data.b[0] == 9) input_mode = 3;
        if (ev->xclient.format == 8 && ev->xclient.data.b[0] == 2) {
            gset_win_title_extra("+");
            gappend_frame();
            gset_win_title_extra("");
        }
        break;
    case KeyPress: {
        if (input_mode != 1 && input_mode != 2) break;
        KeySym ks = XLookupKeysym(&ev->xkey, 0);
        user_event = true;
        input_mode = 2;
        if (ks == XK_Return || ks == XK_KP_Enter || (ks == XK_q && (ev->xkey.state & Mod1Mask))) input_mode = 3;
        break;
    }
    case ButtonPress: user_event = true; break;
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
        if (ev.type == MotionNotify) {
            while (XCheckTypedEvent(s.dpy, MotionNotify, &ev)) {
            }
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

int ghold(int mode) {
    State &s = S();
    if (!s.dpy || s.win_type != GWS_WIN) return 0;
    gcheck_event();
    gsync();
    if (gget_looping()) ZYR_init_time();
    input_mode = 1;
    gset_cursor(gget_num_images() > 1 ? (gget_looping() ? GCUR_EXCHANGE : GCUR_DOT) : GCUR_TCROSS);
    time_t next_refresh = refresh_fn && refresh_interval > 0 ? time(nullptr) + (time_t)refresh_interval : 0;
    while (input_mode != 3) {
        if (gget_looping() && gget_num_images() > 0) {
            gloop_sleep();
            if (input_mode == 3) break;
            int f = ginc_frame(0);
            if (f >= 0 && s.mapped) gdisplay_frame(f);
            ZYR_init_time();
        } else {
            wait_input(refresh_fn ? 0.5f : 1.0f);
        }
        gcheck_event();
        if (next_refresh && time(nullptr) >= next_refresh) {
            refresh_fn();
            next_refresh += (time_t)refresh_interval;
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
int gset_rubber_band(int kind) { return band.kind = kind, 0; }

int gset_rubber_band_points(const int *pts, int n, int constraint) {
    band.constraint = constraint;
    band.count = n < 0 ? 0 : (n > 3 ? 3 : n);
    for (int i = 0; i < band.count && pts; i++) {
        band.pts[i][0] = (short)pts[2 * i];
        band.pts[i][1] = (short)pts[2 * i + 1];
    }
    return 0;
}

int gset_rubber_band_limits(const int *r) {
    for (int i = 0; i < 4; i++) band.limits[i] = r ? (short)r[i] : (short)(i == 0 ? -9999 : 0);
    return 0;
}
