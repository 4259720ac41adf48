// The X11 workstations' drawing device (primitives drawn into an off-screen
// picture, base_window, or a frame pixmap and copied to the window by
// gupdate_window), colours, fill patterns and graphics contexts, the settings
// made before opening, the inquiries and the window operations.  Opening and
// closing are in gks_x11_open.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "gks/clr.h"
#include "gks/gks_int.h"
#include "gks/gks_x11.h"

using namespace gks;

namespace {

X11Settings set_;

int to_pix(float v) { return (int)(v < 0 ? v - 0.5f : v + 0.5f); }

// Rounded X points; one reusable buffer.
std::vector<XPoint> &xpoints(int n, const GPoint *p) {
    static std::vector<XPoint> buf;
    buf.resize(n);
    for (int i = 0; i < n; i++) buf[i] = {(short)to_pix(p[i].x), (short)to_pix(p[i].y)};
    return buf;
}

GC gc_for(int prim) {
    State &s = S();
    switch (prim) {
    case 40: return s.gc_marker;
    case 50: return s.gc_text;
    case 70: return s.gc_fill;
    default: return s.gc_line;
    }
}

const char DASH2[] = {6, 6}, DASH3[] = {3, 6}, DASH4[] = {6, 6, 3, 6}, DASH5[] = {2, 2};

class XDevice : public GDevice {
public:
    explicit XDevice(int t) : type_(t) {}
    int type() const override { return type_; }
    void size(int *w, int *h) const override {
        *w = S().win_width;
        *h = S().win_height;
    }
    bool y_down() const override { return true; }

    bool record(const GRecord &r) override {
        State &s = S();
        switch (r.kind) {
        case 33: set_dashes(r.arg); break;
        case 34: set_width(s.gc_line, r.f ? r.f[0] : 1); break;
        case 46: set_width(s.gc_marker, r.f ? r.f[0] : 1); break;
        case 61: set_width(s.gc_text, r.f ? r.f[0] : 1); break;
        case 35: x11_set_gc_color(s.gc_line, r.arg); break;
        case 45: x11_set_gc_color(s.gc_marker, r.arg); break;
        case 56: x11_set_gc_color(s.gc_text, r.arg); break;
        case 75: x11_set_gc_color(s.gc_fill, r.arg); break;
        case 73:
        case 74: set_fill(); break;
        default: break;
        }
        return false;
    }
    long set_color(int i, float r, float g, float b) override;
    void set_clip(const GClip &c) override {
        State &s = S();
        XRectangle xr{c.xr.x, c.xr.y, c.xr.width, c.xr.height};
        for (GC gc : {s.gc_line, s.gc_marker, s.gc_fill, s.gc_text})
            if (gc) XSetClipRectangles(s.dpy, gc, 0, 0, &xr, 1, Unsorted);
    }
    // Each drawing call goes to the drawing target and, while a layer is
    // being drawn, to its twin.
    void stroke(int prim, int n, const GPoint *p) override {
        State &s = S();
        if (n < 1 || !s.draw_window) return;
        auto &xp = xpoints(n, p);
        GC gc = gc_for(prim);
        x11_layer_note(gc);
        for (Drawable d : {s.draw_window, x11_layer_twin()})
            if (d) XDrawLines(s.dpy, d, gc, xp.data(), n, CoordModeOrigin);
    }
    void fill(int n, const GPoint *p) override {
        State &s = S();
        if (n < 1 || !s.draw_window) return;
        auto &xp = xpoints(n, p);
        x11_layer_note(s.gc_fill);
        for (Drawable d : {s.draw_window, x11_layer_twin()}) {
            if (!d) continue;
            XFillPolygon(s.dpy, d, s.gc_fill, xp.data(), n, Complex, CoordModeOrigin);
            XDrawLines(s.dpy, d, s.gc_fill, xp.data(), n, CoordModeOrigin);
        }
    }
    void dot(int prim, GPoint p) override {
        State &s = S();
        if (!s.draw_window) return;
        GC gc = gc_for(prim);
        x11_layer_note(gc);
        for (Drawable d : {s.draw_window, x11_layer_twin()})
            if (d) XDrawPoint(s.dpy, d, gc, to_pix(p.x), to_pix(p.y));
    }
    void shadow(bool on) override {
        State &s = S();
        if (on) {
            XSetForeground(s.dpy, s.gc_marker, BlackPixel(s.dpy, s.screen));
            XSetForeground(s.dpy, s.gc_text, BlackPixel(s.dpy, s.screen));
        } else {
            x11_set_gc_color(s.gc_marker, marker_colr());
            x11_set_gc_color(s.gc_text, text_colr());
        }
    }
    void clear() override {
        State &s = S();
        if (!s.base_window) return;
        XSetForeground(s.dpy, s.root_gc, (unsigned long)gget_back_color());
        XFillRectangle(s.dpy, s.base_window, s.root_gc, 0, 0, s.win_width, s.win_height);
    }
    void flush() override { gupdate_window(); }

private:
    void set_width(GC gc, float w) {
        if (!gc) return;
        XGCValues v;
        XGetGCValues(S().dpy, gc, GCLineStyle | GCCapStyle | GCJoinStyle, &v);
        XSetLineAttributes(S().dpy, gc, (unsigned)(w < 0 ? 0 : w), v.line_style, v.cap_style, v.join_style);
    }
    void set_dashes(int t) {
        State &s = S();
        if (!s.gc_line) return;
        XGCValues v;
        XGetGCValues(s.dpy, s.gc_line, GCLineWidth | GCCapStyle | GCJoinStyle, &v);
        if (t == 1 || t < 0) {
            XSetLineAttributes(s.dpy, s.gc_line, v.line_width, LineSolid, v.cap_style, v.join_style);
            return;
        }
        // Other non-negative types keep the dash list last set.
        if (t == 2) XSetDashes(s.dpy, s.gc_line, 0, DASH2, 2);
        if (t == 3) XSetDashes(s.dpy, s.gc_line, 0, DASH3, 2);
        if (t == 4) XSetDashes(s.dpy, s.gc_line, 0, DASH4, 4);
        if (t == 5) XSetDashes(s.dpy, s.gc_line, 0, DASH5, 2);
        XSetLineAttributes(s.dpy, s.gc_line, v.line_width, LineOnOffDash, v.cap_style, v.join_style);
    }
    void set_fill();
    int type_;
};

std::vector<Pixmap> patterns;

void XDevice::set_fill() {
    State &s = S();
    if (!s.gc_fill) return;
    int k = fill_style();
    if (fill_int_style() == 2 && k >= 0 && k < (int)patterns.size() && patterns[k]) {
        XSetStipple(s.dpy, s.gc_fill, patterns[k]);
        XSetFillStyle(s.dpy, s.gc_fill, FillStippled);
    } else {
        XSetFillStyle(s.dpy, s.gc_fill, FillSolid);
    }
}

unsigned long nearest_cell(Colormap cmap, const XColor &want) {
    State &s = S();
    int n = s.visual ? s.visual->map_entries : 0;
    if (n <= 0 || n > 4096) return BlackPixel(s.dpy, s.screen);
    std::vector<XColor> cells(n);
    for (int i = 0; i < n; i++) cells[i].pixel = (unsigned long)i;
    XQueryColors(s.dpy, cmap, cells.data(), n);
    long best = -1, bestd = 0;
    for (int i = 0; i < n; i++) {
        long d = labs((long)cells[i].red - want.red) + labs((long)cells[i].green - want.green) +
                 labs((long)cells[i].blue - want.blue);
        if (best < 0 || d < bestd) best = i, bestd = d;
    }
    return (unsigned long)best;
}

long x11_alloc(int slot, unsigned r16, unsigned g16, unsigned b16) {
    State &s = S();
    Colormap cmap = gget_colormap();
    XColor c{};
    c.red = (unsigned short)r16;
    c.green = (unsigned short)g16;
    c.blue = (unsigned short)b16;
    c.flags = DoRed | DoGreen | DoBlue;
    ColorSlot &cs = s.colr[slot];
    float rf = cs.r, gf = cs.g, bf = cs.b;
    if (cs.pixel < 0) {
        if (s.rw_colors) {
            unsigned long pix;
            if (XAllocColorCells(s.dpy, cmap, False, nullptr, 0, &pix, 1)) {
                c.pixel = pix;
                XStoreColor(s.dpy, cmap, &c);
                MESS_print(MESS_DEBUG, "Allocated new RW Cells: %d %lu (%.2f %.2f %.2f) (%5d %5d %5d)\n", slot, pix,
                           rf, gf, bf, r16, g16, b16);
                return cs.pixel = (long)pix;
            }
            s.rw_colors = false;  // none left: shared colours from now on
        }
        if (!XAllocColor(s.dpy, cmap, &c)) c.pixel = nearest_cell(cmap, c);
        MESS_print(MESS_DEBUG, "Allocated RW Cells: %d %lu (%.2f %.2f %.2f) (%5d %5d %5d)\n", slot, c.pixel, rf, gf,
                   bf, r16, g16, b16);
        return cs.pixel = (long)c.pixel;
    }
    if (s.rw_colors) {
        c.pixel = (unsigned long)cs.pixel;
        XStoreColor(s.dpy, cmap, &c);
        MESS_print(MESS_DEBUG, "Stored RW Cells: %d %ld (%.2f %.2f %.2f) (%5d %5d %5d)\n", slot, cs.pixel, rf, gf, bf,
                   r16, g16, b16);
        return cs.pixel;
    }
    unsigned long old = (unsigned long)cs.pixel;
    if (!XAllocColor(s.dpy, cmap, &c)) c.pixel = nearest_cell(cmap, c);
    if (old != c.pixel && s.visual && s.visual->c_class != TrueColor) XFreeColors(s.dpy, cmap, &old, 1, 0);
    MESS_print(MESS_DEBUG, "Stored new RW Cells: %d %lu (%.2f %.2f %.2f) (%5d %5d %5d)\n", slot, c.pixel, rf, gf, bf,
               r16, g16, b16);
    return cs.pixel = (long)c.pixel;
}

long XDevice::set_color(int i, float r, float g, float b) {
    return x11_alloc(i, (unsigned)(r * 65535), (unsigned)(g * 65535), (unsigned)(b * 65535));
}

}  // namespace

namespace gks {

X11Settings &x11_settings() { return set_; }

GDevice *x11_device(int type) { return new XDevice(type); }

std::string mem_window_name() {
    std::string n = set_.win_title;
    if (!set_.mem_extra.empty()) n += " " + set_.mem_extra;
    return n;
}


void x11_set_gc_color(GC gc, int index) {
    State &s = S();
    if (!gc || !s.dpy) return;
    if (index >= GCOLR_BLACK && index <= GCOLR_SPECIAL_MAX) index = 1;
    XSetForeground(s.dpy, gc, (unsigned long)gget_color_ind(index));
}

void x11_init_gcs(int mode) {
    State &s = S();
    if (s.mem) return mem_init_gcs(mode);
    if (!s.dpy || !s.base_window) return;
    if (mode == GMODE_WINDOW) {
        for (GC *gc : {&s.gc_line, &s.gc_marker, &s.gc_fill, &s.gc_text}) {
            if (*gc) XFreeGC(s.dpy, *gc);
            XGCValues v{};
            v.foreground = WhitePixel(s.dpy, s.screen);
            v.background = BlackPixel(s.dpy, s.screen);
            *gc = XCreateGC(s.dpy, s.base_window, GCForeground | GCBackground, &v);
        }
        XSetLineAttributes(s.dpy, s.gc_text, 1, LineSolid, CapProjecting, JoinBevel);
    }
    if (mode == GMODE_WINDOW || mode == GMODE_REDRAW) {
        for (GC gc : {s.gc_line, s.gc_marker, s.gc_fill})
            XSetLineAttributes(s.dpy, gc, 0, LineSolid, CapButt, JoinBevel);
        XSetFunction(s.dpy, s.gc_line, GXcopy);
    }
}

}  // namespace gks

// ---- fill patterns (the X side of ginit_fill) ----
int gks::create_patterns() {
    State &s = S();
    if (s.mem) return mem_patterns(true), 0;
    if (!s.dpy || !s.base_window) return 0;
    gdel_fill_pat();
    patterns.assign(20, 0);
    for (int k = 0; k < 20; k++) {
        const unsigned char *rows = gget_fill_pattern(k);
        // X bitmaps are least significant bit first: mirror each row.
        unsigned char bits[8];
        for (int r = 0; r < 8; r++) {
            unsigned char b = 0;
            for (int i = 0; i < 8; i++)
                if (rows[r] & (0x80 >> i)) b |= (unsigned char)(1 << i);
            bits[r] = b;
        }
        patterns[k] = XCreateBitmapFromData(s.dpy, s.base_window, (char *)bits, 8, 8);
    }
    return 0;
}

int gdel_fill_pat() {
    State &s = S();
    if (s.mem) mem_patterns(false);
    for (Pixmap p : patterns)
        if (p && s.dpy) XFreePixmap(s.dpy, p);
    patterns.clear();
    return 0;
}

// ---- settings before opening ----
int gset_geometry(const char *g) { return strntcpy(set_.geometry, g ? g : "", sizeof set_.geometry), 0; }
int gset_win_type(int t) { return set_.req_type = t, 0; }
int gset_pix_mode(int m) { return set_.pix_mode = m, 0; }
int gget_pix_mode() { return set_.pix_mode; }
int gset_iconic(int f) { return set_.iconic = f != 0, 0; }
int gset_fixed_size() { return set_.fixed_size = true, 0; }
int gset_icon_bitmap(const unsigned char *bits) {
    if (!bits) return -1;
    memcpy(set_.icon, bits, 288);
    set_.have_icon = true;
    return 0;
}
int gset_prog_name(const char *n) { return strntcpy(set_.prog_name, n ? n : "", sizeof set_.prog_name), 0; }
int gset_inverse(int f) { return set_.inverse = f != 0, 0; }
int gget_inverse() { return set_.inverse ? 1 : 0; }
int gset_local_colormap(int f) { return set_.local_cmap = f != 0, 0; }
int gset_background(const char *n) { return strntcpy(set_.background, n ? n : "", sizeof set_.background), 0; }
int gset_rw_colors(int f) { return S().rw_colors = f != 0, 0; }
int gset_xoff(int x, int y) {
    S().win_x = x;
    S().win_y = y;
    return 0;
}
int gset_xsize(int w, int h) {
    State &s = S();
    if (w < 1 || h < 1 || w > 32767 || h > 32767) return -1;
    if (s.dpy && s.win_type == GWS_WIN && s.root_window) return gresize_window(w, h);
    if (s.mem && s.win_type == GWS_WIN) return mem_resize(w, h);
    s.win_width = w;
    s.win_height = h;
    return 0;
}

int gset_win_title(const char *t) {
    State &s = S();
    strntcpy(set_.win_title, t ? t : "", sizeof set_.win_title);
    if (s.dpy && s.win_type == GWS_WIN && s.root_window) {
        XStoreName(s.dpy, s.root_window, set_.win_title);
        XSetIconName(s.dpy, s.root_window, set_.win_title);
    }
    return 0;
}

const char *gget_win_title() { return set_.win_title; }
const char *gget_prog_name() { return set_.prog_name; }

int gset_win_title_extra(const char *extra) {
    State &s = S();
    if (s.mem) return set_.mem_extra = extra ? extra : "", 0;
    if (!s.dpy || !s.root_window) return 0;
    char buf[160];
    if (extra && *extra)
        snprintf(buf, sizeof buf, "%s %s", set_.win_title, extra);
    else
        snprintf(buf, sizeof buf, "%s", set_.win_title);
    XStoreName(s.dpy, s.root_window, buf);
    return 0;
}

int gget_win_title_extra(char *buf) {
    State &s = S();
    buf[0] = 0;
    if (s.mem) return strntcpy(buf, set_.mem_extra.c_str(), 64), 0;
    if (!s.dpy || !s.root_window) return 0;
    char *name = nullptr;
    if (!XFetchName(s.dpy, s.root_window, &name) || !name) return 0;
    size_t tl = strlen(set_.win_title);
    if (strncmp(name, set_.win_title, tl) == 0 && name[tl] == ' ') strntcpy(buf, name + tl + 1, 64);
    XFree(name);
    return 0;
}

// ---- inquiries ----
Display *gget_display() { return S().dpy; }
int gget_screen() { return S().screen; }
Visual *gget_visual() { return S().visual; }
Window gget_root_window() { return S().root_window; }
Pixmap gget_base_window() { return S().base_window; }
int gset_base_window(Pixmap p) { return S().base_window = p, 0; }
int gset_draw_window(Drawable d) { return S().draw_window = d ? d : S().base_window, 0; }
Drawable gget_draw_window() { return S().draw_window; }
GC gget_root_gc() { return S().root_gc; }
GC gget_line_gc() { return S().gc_line; }
GC gget_fill_gc() { return S().gc_fill; }
GC gget_marker_gc() { return S().gc_marker; }
GC gget_text_gc() { return S().gc_text; }
int gget_win_depth() { return S().depth; }
int gget_win_size(int *w, int *h) {
    *w = S().win_width;
    *h = S().win_height;
    return 0;
}
int gget_win_offset(int *x, int *y) {
    *x = S().win_x;
    *y = S().win_y;
    return 0;
}
int gget_root_size(int *w, int *h) {
    *w = S().root_width;
    *h = S().root_height;
    return 0;
}
int gget_window_width() { return S().win_width; }
int gget_window_height() { return S().win_height; }
unsigned long gget_red_mask() { return S().red_mask; }
unsigned long gget_grn_mask() { return S().green_mask; }
unsigned long gget_blu_mask() { return S().blue_mask; }
int gis_mapped() { return S().mapped ? 1 : 0; }

Colormap gget_colormap() {
    State &s = S();
    return s.user_cmap ? s.user_cmap : s.def_cmap;
}
int gset_def_cmap(Colormap c) { return S().def_cmap = c, 0; }
Colormap gget_def_cmap() { return S().def_cmap; }
int gset_user_cmap(Colormap c) { return S().user_cmap = c, 0; }
Colormap gget_user_cmap() { return S().user_cmap; }

int gquery_xcolor(int i, XColor *out) {
    State &s = S();
    if (!s.dpy || !out) return -1;
    out->pixel = (unsigned long)gget_color_ind(i);
    XQueryColor(s.dpy, gget_colormap(), out);
    return 0;
}

int ginit_xcolr() {
    State &s = S();
    if (s.dpy && s.win_type == GWS_WIN &&
        (set_.local_cmap || getenv("LOCAL_CMAP") || getenv("zyrlocal_cmap"))) {
        s.local_cmap = XCreateColormap(s.dpy, s.root_window, s.visual, AllocNone);
        XSetWindowColormap(s.dpy, s.root_window, s.local_cmap);
        s.def_cmap = s.local_cmap;
    }
    for (auto &c : s.colr) c.pixel = -1;
    return 0;
}

int ginit_background() {
    State &s = S();
    if (!s.dpy && !s.mem) return 0;
    const char *name = set_.background[0] ? set_.background : RES_get("background");
    if ((!name || !*name) && s.dpy) name = XGetDefault(s.dpy, set_.prog_name, "background");
    ColorSlot &b = s.colr[BACK_SLOT];
    if (!name || !*name || stricmp(name, "none") == 0 || stricmp(name, "def") == 0 ||
        stricmp(name, "over") == 0) {
        float v = set_.inverse ? 1.0f : 0.0f;
        b.r = b.g = b.b = v;
        b.pixel = (long)s.bg;
        return 0;
    }
    int ci = CLR_get_ind(name);
    if (ci >= 0 && ci < CLR_MAX_COLORS) {
        CLR_get_rgb(ci, &b.r, &b.g, &b.b);
    } else {
        XColor xc;
        if (s.mem ? !mem_parse_colour(name, &xc) : !XParseColor(s.dpy, gget_colormap(), name, &xc)) {
            b.pixel = (long)s.bg;
            return 0;
        }
        b.r = xc.red / 65535.0f;
        b.g = xc.green / 65535.0f;
        b.b = xc.blue / 65535.0f;
    }
    galloc_colr(BACK_SLOT, b.r, b.g, b.b);
    s.bg = (unsigned long)b.pixel;
    if (s.mem) {
        mem_fill(s.base_window, (uint32_t)s.bg);
    } else if (s.base_window) {
        XSetForeground(s.dpy, s.root_gc, s.bg);
        XFillRectangle(s.dpy, s.base_window, s.root_gc, 0, 0, s.win_width, s.win_height);
    }
    return 0;
}

long gget_back_color() {
    State &s = S();
    return s.colr[BACK_SLOT].pixel >= 0 ? s.colr[BACK_SLOT].pixel : (long)s.bg;
}

unsigned long gget_color_rgb_Xval(unsigned r16, unsigned g16, unsigned b16) {
    State &s = S();
    auto chan = [](unsigned v16, unsigned long mask) -> unsigned long {
        if (!mask) return 0;
        int shift = 0, bits = 0;
        while (!((mask >> shift) & 1)) shift++;
        while ((mask >> (shift + bits)) & 1) bits++;
        return ((unsigned long)(v16 & 0xFFFF) >> (16 - bits)) << shift;
    };
    return chan(r16, s.red_mask) | chan(g16, s.green_mask) | chan(b16, s.blue_mask);
}

// ---- window operations ----
int gupdate_window() {
    State &s = S();
    if (!s.dpy || !s.root_window || !s.base_window) return 0;
    if (s.win_type == GWS_WIN) {
        XCopyArea(s.dpy, s.base_window, s.root_window, s.root_gc, 0, 0, s.win_width, s.win_height, 0, 0);
    }
    XSync(s.dpy, False);
    return 0;
}

int gsync() {
    if (S().dpy) XSync(S().dpy, False);
    return 0;
}

int gbell(int volume) {
    if (S().dpy) XBell(S().dpy, volume == 0 ? 50 : volume);
    return 0;
}

int gresize_window(int w, int h) {
    State &s = S();
    if (s.mem) return w >= 1 ? mem_resize(w, h) : 0;
    if (!s.dpy || s.win_type != GWS_WIN || !s.root_window) return 0;
    int nw = w, nh = h;
    if (w < 1) {
        XWindowAttributes wa;
        if (!XGetWindowAttributes(s.dpy, s.root_window, &wa)) return 0;
        nw = wa.width;
        nh = wa.height;
        if (nw == s.win_width && nh == s.win_height) return 0;
        XClearWindow(s.dpy, s.root_window);
    } else {
        XResizeWindow(s.dpy, s.root_window, (unsigned)w, (unsigned)h);
    }
    if (nw < 1 || nh < 1 || nw > 32767 || nh > 32767) return 0;
    Pixmap np = XCreatePixmap(s.dpy, s.root_window, (unsigned)nw, (unsigned)nh, (unsigned)s.depth);
    XSetForeground(s.dpy, s.root_gc, (unsigned long)gget_back_color());
    XFillRectangle(s.dpy, np, s.root_gc, 0, 0, (unsigned)nw, (unsigned)nh);
    if (w == -1 || w >= 1)
        XCopyArea(s.dpy, s.base_window, np, s.root_gc, 0, 0, (unsigned)s.win_width, (unsigned)s.win_height, 0, 0);
    x11_layers_clear();
    bool drew_base = s.draw_window == s.base_window;
    XFreePixmap(s.dpy, s.base_window);
    s.base_window = np;
    if (drew_base) s.draw_window = np;
    s.win_width = nw;
    s.win_height = nh;
    s.root_width = DisplayWidth(s.dpy, s.screen);
    s.root_height = DisplayHeight(s.dpy, s.screen);
    greset_zoom();
    gdelete_all_frames();
    s.draw_window = s.base_window;
    return 1;
}

void gks::x11_reset()
{
    set_ = X11Settings{};
    patterns.clear();
    x11_open_reset();
    x11_layer_reset();
}
