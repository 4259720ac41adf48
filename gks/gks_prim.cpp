// Output primitives: polylines, fill areas and markers with their attribute
// state.  Geometry (device coordinates, marker shapes, drop shadows) is
// decided here; the device only draws what it is handed.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

struct LineState {
    int colr = 1;
    float width = 1.0f;
    int type = 1;
    int bold = 1;
    int func = GXcopy;
} line;

struct FillState {
    int colr = 1;
    int int_style = 1;   // 1 solid, 2 pattern
    int style = 0;
    int print_solid = 0;
} fillst;

struct MarkerState {
    int colr = 1;
    int type = 1;
    float size = 10.0f;
    float width = 1.0f;
} marker;

const unsigned char PATTERNS[20][8] = {
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},
    {0x55, 0x00, 0x55, 0x00, 0x55, 0x00, 0x55, 0x00}, {0x24, 0x11, 0x82, 0x48, 0x42, 0x11, 0x28, 0x84},
    {0x33, 0x33, 0x00, 0x00, 0xCC, 0xCC, 0x00, 0x00}, {0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33},
    {0x03, 0x06, 0x0C, 0x18, 0x30, 0x60, 0xC0, 0x81}, {0x81, 0xC0, 0x60, 0x30, 0x18, 0x0C, 0x06, 0x03},
    {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}, {0xC3, 0x66, 0x3C, 0x18, 0x3C, 0x66, 0xC3, 0x81},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x40, 0x10, 0x20, 0x01, 0x00, 0x04, 0x08, 0x02},
    {0x08, 0xA0, 0x44, 0x11, 0x22, 0x10, 0x81, 0x44}, {0x45, 0x28, 0x94, 0x43, 0x50, 0x09, 0x52, 0xA8},
    {0x19, 0xCA, 0x34, 0x1A, 0xE1, 0x32, 0xA5, 0xCC}, {0x55, 0xDC, 0x3B, 0xE2, 0x97, 0xAA, 0x65, 0x3E},
    {0x7A, 0xE5, 0x5F, 0xAB, 0xF5, 0xEB, 0x5E, 0xB5}, {0xFE, 0xBB, 0xF5, 0x6F, 0xFE, 0xD7, 0xBD, 0xEB},
    {0xFD, 0xFF, 0xEF, 0x7F, 0xDF, 0xFE, 0xF7, 0xAF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
};

bool is_open(const char *name) {
    if (S().ws_open) return true;
    gerr_printf(name, "GKS not opened\n");
    return false;
}

bool colr_ok(const char *name, int i) {
    if (!gis_valid_colr(i)) {
        gerr_printf(name, "invalid color index: %d\n", i);
        return false;
    }
    if (gtype_is_WIN_PIX() && !gis_color_alloc(i)) {
        gerr_printf(name, "color index not initialized\n");
        return false;
    }
    return true;
}

// Device points of n world points (reused buffer).
std::vector<GPoint> &dev_points(int n, const float *pts) {
    static std::vector<GPoint> buf;
    buf.resize(n);
    for (int i = 0; i < n; i++) buf[i] = to_dev(pts[2 * i], pts[2 * i + 1]);
    return buf;
}

// One marker of the table at device point c with half size h.
void draw_marker(GDevice *d, int type, GPoint c, int h, float dx, float dy) {
    float x = c.x + dx, y = c.y + dy, fh = (float)h;
    auto st = [&](std::initializer_list<GPoint> l) { d->stroke(40, (int)l.size(), l.begin()); };
    switch (type) {
    case 1: st({{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}, {x, y}}); break;
    case 2:
        st({{x - fh, y}, {x + fh, y}});
        st({{x, y - fh}, {x, y + fh}});
        break;
    case 3: {
        float e = fh * 0.7071f;
        st({{x - fh, y}, {x + fh, y}});
        st({{x - e, y - e}, {x + e, y + e}});
        st({{x - e, y + e}, {x + e, y - e}});
        st({{x, y - fh}, {x, y + fh}});
        break;
    }
    case 4: {
        const float a = fh * 0.866f, b = fh * 0.5f;
        GPoint p[13] = {{x + fh, y}, {x + a, y + b}, {x + b, y + a}, {x, y + fh}, {x - b, y + a},
                        {x - a, y + b}, {x - fh, y}, {x - a, y - b}, {x - b, y - a}, {x, y - fh},
                        {x + b, y - a}, {x + a, y - b}, {x + fh, y}};
        d->stroke(40, 13, p);
        break;
    }
    case 5:
        st({{x - fh, y - fh}, {x + fh, y + fh}});
        st({{x - fh, y + fh}, {x + fh, y - fh}});
        break;
    case 6: st({{x - fh, y - fh}, {x + fh, y - fh}, {x + fh, y + fh}, {x - fh, y + fh}, {x - fh, y - fh}}); break;
    case 7: st({{x - fh, y + fh}, {x + fh, y + fh}, {x, y - fh}, {x - fh, y + fh}}); break;
    case 8: d->dot(40, {x, y}); break;
    case 9: st({{x - fh, y - fh}, {x + fh, y - fh}, {x, y + fh}, {x - fh, y - fh}}); break;
    default: break;
    }
}

void sync_line() {
    emit(35, line.colr, nullptr, 0, nullptr, false);
    emit(33, line.type, nullptr, 0, nullptr, false);
    emit(34, 0, &line.width, 1, nullptr, false);
}
void sync_fill() {
    emit(75, fillst.colr, nullptr, 0, nullptr, false);
    emit(73, fillst.int_style, nullptr, 0, nullptr, false);
    emit(74, fillst.style, nullptr, 0, nullptr, false);
}
void sync_marker() {
    emit(45, marker.colr, nullptr, 0, nullptr, false);
    emit(43, marker.type, nullptr, 0, nullptr, false);
    emit(44, 0, &marker.size, 1, nullptr, false);
    emit(46, 0, &marker.width, 1, nullptr, false);
}

}  // namespace

namespace gks {

void prim_attrs(std::string &out) {
    out.append((const char *)&line, sizeof line);
    out.append((const char *)&fillst, sizeof fillst);
    out.append((const char *)&marker, sizeof marker);
}

size_t prim_attrs_set(const char *in) {
    std::memcpy(&line, in, sizeof line);
    std::memcpy(&fillst, in + sizeof line, sizeof fillst);
    std::memcpy(&marker, in + sizeof line + sizeof fillst, sizeof marker);
    sync_line();
    emit(36, line.bold, nullptr, 0, nullptr, false);
    gset_line_gc_func(line.func);
    sync_fill();
    emit(76, fillst.print_solid, nullptr, 0, nullptr, false);
    sync_marker();
    return sizeof line + sizeof fillst + sizeof marker;
}

}  // namespace gks

namespace gks {
int line_colr() { return line.colr; }
int fill_colr() { return fillst.colr; }
int marker_colr() { return marker.colr; }
int fill_style() { return fillst.style; }
int fill_int_style() { return fillst.int_style; }

// Shadow copies at 0..n-1 pixels right and down, then the primitive itself;
// only the window workstations draw shadows.
void with_shadows(const std::function<void(float, float)> &draw) {
    State &s = S();
    int n = gget_font_drop();
    if (n > 0 && s.dev && s.dev->y_down()) {
        s.dev->shadow(true);
        for (int k = 0; k < n; k++) draw((float)k, (float)k);
        s.dev->shadow(false);
    }
    draw(0, 0);
}
}  // namespace gks

const unsigned char *gget_fill_pattern(int k) { return (k >= 0 && k < 20) ? PATTERNS[k] : PATTERNS[0]; }

// ---- lines ----
int gpolyline(int n, const float *pts) {
    if (!is_open("gpolyline")) return -1;
    if (n < 2 || !pts) {
        gerr_printf("gpolyline", "invalid number of points: %d\n", n);
        return -1;
    }
    if (!gpts_in_win(n, pts)) return 0;
    if (emit(30, n, pts, 2 * n, nullptr)) return 0;
    GDevice *d = S().dev;
    if (d) d->stroke(30, n, dev_points(n, pts).data());
    return 0;
}

int gset_line_colr_ind(int i) {
    if (!is_open("gset_line_colr_ind") || !colr_ok("gset_line_colr_ind", i)) return -1;
    line.colr = i;
    emit(35, i, nullptr, 0, nullptr);
    return 0;
}

int gset_linewidth(float w) {
    if (!is_open("gset_linewidth")) return -1;
    if (w < 0) {
        gerr_printf("gset_linewidth", "invalid line width: %f\n", w);
        return -1;
    }
    line.width = w;
    emit(34, 0, &w, 1, nullptr);
    return 0;
}

int gset_linetype(int t) {
    if (!is_open("gset_linetype")) return -1;
    line.type = t;
    emit(33, t, nullptr, 0, nullptr);
    return 0;
}

int gset_line_print_bold(int n) {
    line.bold = n < 1 ? 1 : n;
    emit(36, line.bold, nullptr, 0, nullptr);
    return 0;
}

int gget_line_colr() { return line.colr; }

int gset_line_gc_func(int f) {
    State &s = S();
    line.func = f;
    if (s.dpy && s.gc_line) XSetFunction(s.dpy, s.gc_line, f);
    if (s.mem) mem_set_line_func(f);
    return 0;
}
int gget_line_gc_func() { return line.func; }

int greset_line() {
    line.colr = 1;
    line.type = 1;
    line.width = 1.0f;
    // Devices follow the line state through its records, so the reset is
    // passed on to the device; without it a device keeps drawing in the
    // previous style (a dashed grid made the map lines after it dashed).
    if (S().ws_open) sync_line();
    return 0;
}

int ginit_line(int mode) {
    if (mode == GMODE_WINDOW || mode == GMODE_REDRAW) line.func = GXcopy;
    sync_line();
    return 0;
}

int gxline(unsigned long win, const int *p1, const int *p2) {
    State &s = S();
    if (!s.dpy || !s.gc_line) return -1;
    XDrawLine(s.dpy, win ? (Drawable)win : s.root_window, s.gc_line, p1[0], p1[1], p2[0], p2[1]);
    return 0;
}

int gxrect(unsigned long win, const int *p1, const int *p2) {
    State &s = S();
    if (!s.dpy || !s.gc_line) return -1;
    int x = std::min(p1[0], p2[0]), y = std::min(p1[1], p2[1]);
    XDrawRectangle(s.dpy, win ? (Drawable)win : s.root_window, s.gc_line, x, y,
                   (unsigned)std::abs(p2[0] - p1[0]), (unsigned)std::abs(p2[1] - p1[1]));
    return 0;
}

// ---- fills ----
int gfill_area(int n, const float *pts) {
    if (!is_open("gfill_area")) return -1;
    if (n < 3 || !pts) {
        gerr_printf("gfill_area", "invalid number of points: %d\n", n);
        return -1;
    }
    if (!gpts_in_win(n, pts)) return 0;
    if (emit(70, n, pts, 2 * n, nullptr)) return 0;
    GDevice *d = S().dev;
    if (d) d->fill(n, dev_points(n, pts).data());
    return 0;
}

int gset_fill_colr_ind(int i) {
    if (!is_open("gset_fill_colr_ind") || !colr_ok("gset_fill_colr_ind", i)) return -1;
    fillst.colr = i;
    emit(75, i, nullptr, 0, nullptr);
    return 0;
}

int gset_fill_int_style(int st) {
    if (!is_open("gset_fill_int_style")) return -1;
    fillst.int_style = st;
    emit(73, st, nullptr, 0, nullptr);
    return 0;
}

int gset_fill_style_ind(int k) {
    if (!is_open("gset_fill_style_ind")) return -1;
    if (k < 0 || k > 19) {
        gerr_printf("gset_fill_style_ind", "invalid style index: %d\n", k);
        return -1;
    }
    fillst.style = k;
    emit(74, k, nullptr, 0, nullptr);
    return 0;
}

int gset_fill_print_solid(int f) {
    fillst.print_solid = f;
    emit(76, f, nullptr, 0, nullptr);
    return 0;
}
int gget_fill_print_solid() { return fillst.print_solid; }
int gget_fill_colr() { return fillst.colr; }

int greset_fill() {
    fillst.int_style = 1;
    fillst.style = 0;
    return 0;
}

int ginit_fill(int mode) {
    if (mode == GMODE_WINDOW) create_patterns();
    sync_fill();
    return 0;
}

// A chart of the 20 fill patterns on transform 0: four rows of five boxes.
int gfill_test() {
    if (!is_open("gfill_test")) return -1;
    int old_tran = 0, err = 0;
    ginq_cur_norm_tran_num(&err, &old_tran);
    gsel_norm_tran(0);
    int saved_style = fillst.int_style, saved_k = fillst.style;
    gset_fill_int_style(2);
    for (int k = 0; k < 20; k++) {
        float x = 0.02f + (k % 5) * 0.196f, y = 0.76f - (k / 5) * 0.245f;
        float box[10] = {x, y, x + 0.176f, y, x + 0.176f, y + 0.225f, x, y + 0.225f, x, y};
        gset_fill_style_ind(k);
        gfill_area(5, box);
        gpolyline(5, box);
    }
    gset_fill_int_style(saved_style);
    gset_fill_style_ind(saved_k);
    gsel_norm_tran(old_tran);
    return 0;
}

// ---- markers ----
int gpolymarker(int n, const float *pts) {
    if (!is_open("gpolymarker")) return -1;
    if (n < 1 || !pts) {
        gerr_printf("gpolymarker", "invalid number of points: %d\n", n);
        return -1;
    }
    if (emit(40, n, pts, 2 * n, nullptr)) return 0;
    GDevice *d = S().dev;
    if (!d) return 0;
    std::vector<GPoint> &p = dev_points(n, pts);
    int h = (int)(d->marker_unit() * marker.size / 2);
    with_shadows([&](float dx, float dy) {
        for (int i = 0; i < n; i++) draw_marker(d, marker.type, p[i], h, dx, dy);
    });
    return 0;
}

int gset_marker_colr_ind(int i) {
    if (!is_open("gset_marker_colr_ind") || !colr_ok("gset_marker_colr_ind", i)) return -1;
    marker.colr = i;
    emit(45, i, nullptr, 0, nullptr);
    return 0;
}

int gset_marker_type(int t) {
    if (!is_open("gset_marker_type")) return -1;
    marker.type = t;
    emit(43, t, nullptr, 0, nullptr);
    return 0;
}

int gset_marker_size(float sz) {
    if (!is_open("gset_marker_size")) return -1;
    if (sz < 0) {
        gerr_printf("gset_marker_size", "invalid marker size: %f\n", sz);
        return -1;
    }
    marker.size = sz;
    emit(44, 0, &sz, 1, nullptr);
    return 0;
}

int gset_marker_width(float w) {
    if (!is_open("gset_marker_width")) return -1;
    if (w < 0) {
        gerr_printf("gset_marker_width", "invalid marker width: %f\n", w);
        return -1;
    }
    marker.width = w;
    emit(46, 0, &w, 1, nullptr);
    return 0;
}

int gget_marker_colr() { return marker.colr; }

int greset_marker() {
    marker = MarkerState{};
    return 0;
}

int ginit_marker(int mode) {
    sync_marker();
    return 0;
}

void gks::prim_reset()
{
    line = LineState{};
    fillst = FillState{};
    marker = MarkerState{};
}
