// Opening and closing the X11 workstations: the program's own window (type 1),
// drawing into a window or pixmap of another process (type 6) and the
// headless window ("mem", no server); the X error handlers and the cursors.
// The drawing device, settings and queries are in gks_x11.cpp.
#include <X11/cursorfont.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "gks/gks_int.h"
#include "gks/gks_x11.h"

using namespace gks;

namespace {

// X error state.
bool xerror = false;
bool xerror_print = true;
int num_error = 0;

Cursor cursors[GCUR_COUNT] = {};
int cursor_type = 0;

const unsigned int CURSOR_SHAPES[GCUR_COUNT] = {XC_X_cursor, XC_left_ptr, XC_fleur, XC_exchange, XC_dot,
                                                XC_pencil,   XC_tcross,   XC_xterm, XC_watch};

// Xlib calls its error handlers from inside whichever X request failed, so
// they have no result to hand back to our callers.  Too many protocol errors
// end the process here with status 4, and a lost connection must: Xlib ends
// the process itself when the I/O handler returns.  These two exits are the
// only ones outside the program's own code.
int x_error_handler(Display *d, XErrorEvent *e) {
    xerror = true;
    if (!xerror_print) return 0;
    char text[160], req[160], num[32];
    XGetErrorText(d, e->error_code, text, sizeof text);
    snprintf(num, sizeof num, "%d", e->request_code);
    XGetErrorDatabaseText(d, "XRequest", num, num, req, sizeof req);
    MESS_print(MESS_ERROR, "X11 error: %s in %s\n", text, req);
    if (++num_error >= 25) {
        MESS_print(MESS_ERROR, "X11 error: too many errors\n");
        if (S().win_type == GWS_WIN) gdelete_all_frames();
        exit(4);
    }
    return 0;
}

int x_io_error_handler(Display *) {
    gdelete_all_frames();
    MESS_print(MESS_ERROR, "Fatal X11 Error\n");
    exit(4);
    return 0;
}

void make_cursors() {
    State &s = S();
    for (int i = 0; i < GCUR_COUNT; i++) cursors[i] = XCreateFontCursor(s.dpy, CURSOR_SHAPES[i]);
}

void free_x_resources() {
    State &s = S();
    for (GC *gc : {&s.gc_line, &s.gc_marker, &s.gc_fill, &s.gc_text, &s.root_gc}) {
        if (*gc) XFreeGC(s.dpy, *gc);
        *gc = nullptr;
    }
    gdel_fill_pat();
    for (Cursor &c : cursors) {
        if (c) XFreeCursor(s.dpy, c);
        c = 0;
    }
}

// Reads the first word of the window-id file: "W"/"w" N -> zyrloop.N,
// "W"/"w" alone -> zyrloop.win, else the name itself, along "file_path".
bool read_id_file(const char *spec, std::string &out) {
    std::string name;
    if ((spec[0] == 'W' || spec[0] == 'w') && (spec[1] == 0 || isdigit((unsigned char)spec[1])))
        name = spec[1] ? "zyrloop." + std::string(spec + 1) : "zyrloop.win";
    else
        name = spec;
    std::vector<std::string> tries;
    if (name.find('/') == std::string::npos) {
        const char *fp = RES_get("file_path");
        if (fp && *fp) tries.push_back(std::string(fp) + (fp[strlen(fp) - 1] == '/' ? "" : "/") + name);
    }
    tries.push_back(name);
    for (auto &t : tries) {
        FILE *f = fopen(t.c_str(), "r");
        if (!f) continue;
        char word[128] = "";
        int ok = fscanf(f, "%127s", word);
        fclose(f);
        if (ok == 1) {
            out = word;
            return true;
        }
    }
    return false;
}

// The embedded workstation talks to the window's owner with one-byte client
// messages: 2 asks for a new frame, 9 ends the owner's hold.
void send_owner_message(char byte) {
    State &s = S();
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = s.root_window;
    ev.xclient.message_type = 62;
    ev.xclient.format = 8;
    ev.xclient.data.b[0] = byte;
    XSendEvent(s.dpy, s.root_window, False, 0, &ev);
    XFlush(s.dpy);
}

void read_title_back() {
    X11Settings &cfg = x11_settings();
    State &s = S();
    char *name = nullptr;
    if (XFetchName(s.dpy, s.root_window, &name) && name) {
        std::string t = name;
        XFree(name);
        size_t k = t.find(" [");
        if (k != std::string::npos) t.resize(k);
        strntcpy(cfg.win_title, t.c_str(), sizeof cfg.win_title);
    }
}

int open_common_display(const char *display) {
    State &s = S();
    XSetErrorHandler(x_error_handler);
    XSetIOErrorHandler(x_io_error_handler);
    // A server that is resetting after its last client left refuses
    // connections for a moment: try a few times before giving up.
    for (int tries = 0; tries < 5 && !s.dpy; tries++) {
        s.dpy = XOpenDisplay(display && *display ? display : nullptr);
        if (!s.dpy && tries < 4) usleep(100000);
    }
    if (!s.dpy) {
        ws_error("gopen_ws", "unable to connect to display\n");
        return -1;
    }
    s.screen = DefaultScreen(s.dpy);
    s.depth = DefaultDepth(s.dpy, s.screen);
    s.visual = DefaultVisual(s.dpy, s.screen);
    s.def_cmap = DefaultColormap(s.dpy, s.screen);
    s.root_width = DisplayWidth(s.dpy, s.screen);
    s.root_height = DisplayHeight(s.dpy, s.screen);
    s.red_mask = s.visual->red_mask;
    s.green_mask = s.visual->green_mask;
    s.blue_mask = s.visual->blue_mask;
    return 0;
}

// Applies the size part of an X geometry string to w, h (a zero keeps the
// old value).  Returns XParseGeometry's mask; gx, gy get the position.
int geometry_size(const char *geom, unsigned *w, unsigned *h, int *gx, int *gy) {
    unsigned gw = *w, gh = *h;
    int m = XParseGeometry(geom, gx, gy, &gw, &gh);
    if (m & (WidthValue | HeightValue)) {
        *w = gw ? gw : *w;
        *h = gh ? gh : *h;
    }
    return m;
}

int open_window() {
    X11Settings &cfg = x11_settings();
    State &s = S();
    int x = 100, y = 100;
    unsigned w = (unsigned)s.win_width, h = (unsigned)s.win_height;
    const char *geom = cfg.geometry[0] ? cfg.geometry : RES_get("geometry");
    if (!geom || !*geom) geom = XGetDefault(s.dpy, cfg.prog_name, "geometry");
    XSizeHints hints{};
    hints.flags = PPosition | PSize;
    const int border = 5;
    if (geom && *geom) {
        int gx = 0, gy = 0;
        int m = geometry_size(geom, &w, &h, &gx, &gy);
        if (m & (WidthValue | HeightValue)) hints.flags |= USSize;
        if (m & XValue) x = (m & XNegative) ? s.root_width - (int)w - 2 * border + gx : gx;
        if (m & YValue) y = (m & YNegative) ? s.root_height - (int)h - 2 * border + gy : gy;
        if (m & (XValue | YValue)) hints.flags |= USPosition;
    }
    s.win_width = (int)w;
    s.win_height = (int)h;
    hints.x = x;
    hints.y = y;
    hints.width = (int)w;
    hints.height = (int)h;
    if (cfg.fixed_size) {
        hints.flags |= PMinSize | PMaxSize;
        hints.min_width = hints.max_width = (int)w;
        hints.min_height = hints.max_height = (int)h;
    }
    const char *inv = getenv("zyrinverse");
    if (inv) cfg.inverse = true;
    s.bg = cfg.inverse ? WhitePixel(s.dpy, s.screen) : BlackPixel(s.dpy, s.screen);
    s.fg = cfg.inverse ? BlackPixel(s.dpy, s.screen) : WhitePixel(s.dpy, s.screen);

    XSetWindowAttributes a{};
    a.background_pixel = s.bg;
    a.border_pixel = s.fg;
    a.backing_store = Always;
    a.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask |
                   LeaveWindowMask | ButtonMotionMask | ExposureMask | StructureNotifyMask | FocusChangeMask;
    xerror = false;
    xerror_print = false;
    s.root_window = XCreateWindow(s.dpy, RootWindow(s.dpy, s.screen), x, y, w, h, border, CopyFromParent,
                                  InputOutput, CopyFromParent,
                                  CWBackPixel | CWBorderPixel | CWBackingStore | CWEventMask, &a);
    XSync(s.dpy, False);
    xerror_print = true;
    if (!s.root_window || xerror) {
        ws_error("gopen_ws", "unable to open window\n");
        s.root_window = 0;
        return -1;
    }
    std::string title = cfg.win_title;
    for (char &c : title)
        if (c == '_') c = ' ';
    strntcpy(cfg.win_title, title.c_str(), sizeof cfg.win_title);
    Pixmap icon = 0;
    if (cfg.have_icon)
        icon = XCreatePixmapFromBitmapData(s.dpy, s.root_window, (char *)cfg.icon, 48, 48,
                                           BlackPixel(s.dpy, s.screen), WhitePixel(s.dpy, s.screen), 1);
    XSetStandardProperties(s.dpy, s.root_window, cfg.win_title, cfg.win_title, icon, nullptr, 0, &hints);
    XWMHints wm{};
    wm.flags = StateHint;
    const char *ic = XGetDefault(s.dpy, cfg.prog_name, "iconic");
    wm.initial_state = ((ic && stricmp(ic, "on") == 0) || cfg.iconic) ? IconicState : NormalState;
    if (icon) {
        wm.flags |= IconPixmapHint;
        wm.icon_pixmap = icon;
    }
    XSetWMHints(s.dpy, s.root_window, &wm);
    XClassHint ch{cfg.prog_name, (char *)"Zyr"};
    XSetClassHint(s.dpy, s.root_window, &ch);

    s.base_window = XCreatePixmap(s.dpy, s.root_window, w, h, (unsigned)s.depth);
    s.draw_window = s.base_window;
    s.root_gc = XCreateGC(s.dpy, s.root_window, 0, nullptr);
    XMapWindow(s.dpy, s.root_window);
    XEvent ev;
    while (true) {
        XWindowEvent(s.dpy, s.root_window, ExposureMask | StructureNotifyMask, &ev);
        if (ev.type == Expose || ev.type == MapNotify || ev.type == ConfigureNotify) break;
    }
    s.mapped = true;
    ginit_xcolr();
    XWindowAttributes wa;
    if (XGetWindowAttributes(s.dpy, s.root_window, &wa)) {
        s.win_width = wa.width;
        s.win_height = wa.height;
    }
    XClearWindow(s.dpy, s.root_window);
    XSetForeground(s.dpy, s.root_gc, s.bg);
    XFillRectangle(s.dpy, s.base_window, s.root_gc, 0, 0, w, h);
    make_cursors();
    return 0;
}

int open_embedded(const char *params) {
    X11Settings &cfg = x11_settings();
    State &s = S();
    std::string p = params && *params ? params : "";
    if (p.empty()) {
        const char *e = getenv("zyrwindow");
        if (!e) e = getenv("WINDOW");
        if (e) p = e;
    }
    if (p.empty()) {
        ws_error("gopen_ws", "window parameters not specified\n");
        return -1;
    }
    if (!isdigit((unsigned char)p[0]) && p[0] != '+') {
        std::string word;
        if (!read_id_file(p.c_str(), word)) {
            ws_error("gopen_ws", "unable to open window id file\n");
            return -1;
        }
        p = word;
    }
    int w = 640, h = 512;
    unsigned long root = 0, pix = 0, cmap = 0;
    int n = 0;
    if (p[0] == '+') {
        int a = 0, b = 0, c = 0;
        n = sscanf(p.c_str() + 1, "%d:%d:%dx%d:%d", &a, &b, &w, &h, &c);
        root = (unsigned long)a;
        pix = (unsigned long)b;
        cmap = (unsigned long)c;
        if (n == 5) s.user_cmap = (Colormap)cmap;
    } else if (p.compare(0, 2, "0x") == 0) {
        int c = 0;
        n = sscanf(p.c_str() + 2, "%lx:%dx%d:%d", &pix, &w, &h, &c);
        cmap = (unsigned long)c;
    } else {
        int a = 0, c = 0;
        n = sscanf(p.c_str(), "%d:%dx%d:%d", &a, &w, &h, &c);
        pix = (unsigned long)a;
        cmap = (unsigned long)c;
    }
    if (n < 1 || pix == 0) {
        ws_error("gopen_ws", "window id not specified\n");
        return -1;
    }
    if (!root) root = pix;
    if (w < 1 || w > 32767) w = 640;
    if (h < 1 || h > 32767) h = 512;
    s.root_window = (Window)root;
    s.base_window = (Pixmap)pix;
    s.draw_window = s.base_window;
    s.win_width = w;
    s.win_height = h;
    s.bg = BlackPixel(s.dpy, s.screen);
    s.fg = WhitePixel(s.dpy, s.screen);
    s.root_gc = XCreateGC(s.dpy, s.base_window, 0, nullptr);
    read_title_back();

    if (cfg.pix_mode == 2) {
        send_owner_message(2);
        // The owner shows "+" only while it appends, and may not have seen
        // the message yet: each look comes after a 0.2 s wait, not before.
        for (int k = 0; k < 300; k++) {  // the owner answers within a minute or not at all
            usleep(200000);
            XSync(s.dpy, False);
            char extra[64] = "";
            gget_win_title_extra(extra);
            if (extra[0] != '+') break;
        }
    }
    // Sub-rectangle of the window from the geometry.
    const char *geom = cfg.geometry[0] ? cfg.geometry : RES_get("geometry");
    if (geom && *geom) {
        if (geom[0] == 'P' || geom[0] == 'p') {
            float cols = 1, rows = 1, col = 0, row = 0;
            if (sscanf(geom + 1, "%fx%f+%f+%f", &cols, &rows, &col, &row) >= 2) {
                if (cols > 1) {
                    cols = cols > 8 ? 8 : cols;
                    rows = rows < 1 ? 1 : (rows > 8 ? 8 : rows);
                    s.win_x = (int)(col / cols * w);
                    s.win_y = (int)(row / rows * h);
                    s.win_width = (int)(w / cols);
                    s.win_height = (int)(h / rows);
                } else if (cols > 0 && rows > 0) {
                    // Fractions of the window; the row is taken as a fraction
                    // from the top, which keeps fractional rows usable.
                    s.win_x = (int)(col * w);
                    s.win_y = (int)(row * h);
                    s.win_width = (int)(cols * w);
                    s.win_height = (int)(rows * h);
                }
            }
        } else {
            int gw = 0, gh = 0, gx = 0, gy = 0;
            int m = sscanf(geom, "%dx%d+%d+%d", &gw, &gh, &gx, &gy);
            if (m >= 2) {
                s.win_width = gw < 1 ? 1 : (gw > w ? w : gw);
                s.win_height = gh < 1 ? 1 : (gh > h ? h : gh);
            }
            if (m == 4) {
                s.win_x = gx;
                s.win_y = gy;
            }
        }
    }
    return 0;
}

// The headless window: the window's size by the geometry rule and its
// title and colours as open_window sets them, without a server.
GDevice *open_mem_window() {
    X11Settings &cfg = x11_settings();
    State &s = S();
    unsigned w = (unsigned)s.win_width, h = (unsigned)s.win_height;
    const char *geom = cfg.geometry[0] ? cfg.geometry : RES_get("geometry");
    int gx = 0, gy = 0;
    if (geom && *geom) geometry_size(geom, &w, &h, &gx, &gy);
    if (getenv("zyrinverse")) cfg.inverse = true;
    for (char *c = cfg.win_title; *c; c++)
        if (*c == '_') *c = ' ';
    cfg.mem_extra.clear();
    return mem_open((int)w, (int)h, cfg.inverse);
}

}  // namespace

namespace gks {

GDevice *x11_open(const char *display, const char *params, int type) {
    State &s = S();
    // An X display name always holds ':', so "mem" names no server.
    if (type == GWS_WIN && display && strcmp(display, "mem") == 0) return open_mem_window();
    if (open_common_display(display) < 0) return nullptr;
    s.win_type = type;
    s.events_on = type == GWS_WIN;
    int rc = type == GWS_PIX ? open_embedded(params) : open_window();
    if (rc < 0) {
        free_x_resources();
        XCloseDisplay(s.dpy);
        s.dpy = nullptr;
        s.root_window = s.base_window = s.draw_window = 0;
        return nullptr;
    }
    for (auto &c : s.colr) c.pixel = -1;
    return x11_device(type);
}

}  // namespace gks

int gks::close_x11() {
    State &s = S();
    if (s.mem) return mem_close();
    if (!s.dpy) return 0;
    x11_layers_clear();
    if (s.win_type == GWS_WIN) {
        gdelete_all_frames();
        greset_zoom();
        if (s.root_window) {
            XUnmapWindow(s.dpy, s.root_window);
            XDestroyWindow(s.dpy, s.root_window);
        }
        if (s.base_window) XFreePixmap(s.dpy, s.base_window);
        if (s.local_cmap) XFreeColormap(s.dpy, s.local_cmap);
    } else if (x11_settings().pix_mode == 9) {
        send_owner_message(9);
    }
    free_x_resources();
    XSync(s.dpy, False);
    XSetIOErrorHandler(nullptr);
    XCloseDisplay(s.dpy);
    s.dpy = nullptr;
    s.root_window = s.base_window = s.draw_window = 0;
    s.local_cmap = s.user_cmap = 0;
    s.mapped = false;
    return 0;
}

// ---- cursors (made at opening, freed at closing) ----
int gset_cursor_type(int t) {
    int old = cursor_type;
    if (t >= 0 && t < GCUR_COUNT) cursor_type = t;
    return old;
}

int gset_cursor(int t) {
    State &s = S();
    int old = gset_cursor_type(t);
    if (s.dpy && s.win_type == GWS_WIN && s.root_window && t >= 0 && t < GCUR_COUNT && cursors[t]) {
        XDefineCursor(s.dpy, s.root_window, cursors[t]);
        XSync(s.dpy, False);
    }
    return old;
}

int gget_cursor_type() { return cursor_type; }

// ---- X error state ----
int gks::x11_clear_errors() {
    xerror = false;
    num_error = 0;
    return 0;
}

void gks::x11_open_reset()
{
    xerror = false;
    xerror_print = true;
    num_error = 0;
    for (Cursor &c : cursors) c = 0;
    cursor_type = 0;
}
