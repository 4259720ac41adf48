// In-memory picture with the X11 drawing rules: the picture, thin lines,
// polygons, painting through a graphics context, images and area copies.
// Wide lines, caps, joins and dashes are in raster_wide.cpp.
#include "gks/raster.h"
#include "gks/raster_int.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace rast;

GRaster::GRaster(int w, int h, uint32_t background)
    : w_(w > 0 ? w : 0), h_(h > 0 ? h : 0), px_((size_t)w_ * h_)
{
    no_clip();
    clear(background);
}

void GRaster::set_clip(int x, int y, int w, int h)
{
    const Clip c = clip_rect(x, y, w, h);
    cx1_ = c.x1, cy1_ = c.y1, cx2_ = c.x2, cy2_ = c.y2;
}

void GRaster::no_clip()
{
    cx1_ = cy1_ = 0;
    cx2_ = w_;
    cy2_ = h_;
}

void GRaster::clear(uint32_t colour)
{
    flush();
    pending_colour_ = colour;
    pending_.assign((size_t)h_, 1);
    pending_rows_ = (size_t)h_;
}

void GRaster::fill_row(int y) const
{
    std::fill(px_.begin() + (ptrdiff_t)y * w_, px_.begin() + (ptrdiff_t)(y + 1) * w_, pending_colour_);
    pending_[(size_t)y] = 0;
    if (--pending_rows_ == 0) pending_.clear();
}

uint32_t *GRaster::pixel_data_to_cover(int x, int y, int w, int h)
{
    flush();
    if (x < 0 || y < 0 || x + w > w_ || y + h > h_) return pixel_data();
    // The rectangle's rows get the clear colour beside it only; rows above
    // and below stay to be cleared when they are drawn on or read.
    for (int r = y; r < y + h; r++) settle_beside(r, x, x + w);
    return px_.data();
}

void GRaster::settle_beside(int y, int x0, int x1)
{
    if (pending_.empty() || !pending_[(size_t)y]) return;
    uint32_t *row = px_.data() + (size_t)y * w_;
    std::fill(row, row + x0, pending_colour_);
    std::fill(row + x1, row + w_, pending_colour_);
    pending_[(size_t)y] = 0;
    if (--pending_rows_ == 0) pending_.clear();
}

void GRaster::settle_all() const
{
    for (int y = 0; y < h_ && !pending_.empty(); y++) settle_row(y);
}

void GRaster::point(int x, int y, uint32_t colour)
{
    flush();
    if (!inside(x, y)) return;
    settle_row(y);
    px_[(size_t)y * w_ + x] = colour;
}

namespace {

// Walks a thin line pixel by pixel, the first point included and the last
// left to the caller: the major axis steps each pixel, the minor one when
// the error term e = 2 * minor - major (then + 2 * minor, or
// + 2 * (minor - major) after a step) is at least 0.
template <class F> void walk_thin(int x1, int y1, int x2, int y2, F &&put)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const int adx = std::abs(dx), ady = std::abs(dy);
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool xmajor = adx >= ady;
    const int major = xmajor ? adx : ady, minor = xmajor ? ady : adx;
    const int e1 = 2 * minor, e2 = e1 - 2 * major;
    int e = e1 - major, x = x1, y = y1;
    for (int i = 0; i < major; i++) {
        put(x, y);
        if (e >= 0) {
            if (xmajor) y += sy;
            else x += sx;
            e += e2;
        } else {
            e += e1;
        }
        if (xmajor) x += sx;
        else y += sy;
    }
}

}  // namespace

namespace rast {

int64_t floor_div(int64_t a, int64_t b)
{
    if (b < 0) a = -a, b = -b;
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int64_t Side::last_left(int64_t y) const
{
    int64_t ddx = dx, ddy = dy;
    double kk = k;
    if (ddy < 0) ddx = -ddx, ddy = -ddy, kk = -kk;
    // Pixel (x, y) is left of the side when (x - bx) * dy - (y - by) * dx
    // is below k; that count is whole, so comparing with ceil(k) is exact.
    const int64_t K = (int64_t)std::ceil(kk);
    return bx + floor_div(K + (y - by) * ddx - 1, ddy);
}

void fill_convex(const Corner *v, const Side *e, int n, Spans &out, int rlo, int rhi)
{
    if (n < 3) return;
    // Top: the first corner with the least y; bottom: the last with the
    // greatest.  Rows run from the top corner's row (the first whole y at or
    // below it) to just above the bottom corner's row.
    int top = 0, bot = 0;
    for (int i = 1; i < n; i++) {
        if (v[i].real_y(v[0].by) < v[top].real_y(v[0].by)) top = i;
        if (v[i].real_y(v[0].by) >= v[bot].real_y(v[0].by)) bot = i;
    }
    // Orientation from the doubled signed area (y down): clockwise on the
    // screen means the corners after the top run down its right side.
    double area = 0;
    for (int i = 0; i < n; i++) {
        const Corner &a = v[i], &b = v[(i + 1) % n];
        double ax = (double)(a.bx - v[0].bx) + a.x, ay = (double)(a.by - v[0].by) + a.y;
        double bx = (double)(b.bx - v[0].bx) + b.x, by = (double)(b.by - v[0].by) + b.y;
        area += ax * by - bx * ay;
    }
    const int right_dir = area > 0 ? 1 : -1;
    struct Run {
        int64_t row;
        const Side *s;
    };
    Run chain[2][16];
    int nc[2] = {0, 0};
    for (int c = 0; c < 2; c++) {
        const int dir = c == 0 ? right_dir : -right_dir;
        for (int i = top, guard = 0; i != bot && guard < n; guard++) {
            const int j = (i + dir + n) % n;
            const Side &s = e[dir > 0 ? i : j];
            if (s.dy != 0 && nc[c] < 16) chain[c][nc[c]++] = {v[i].row(), &s};
            i = j;
        }
    }
    if (!nc[0] || !nc[1]) return;
    const int64_t y0 = std::max<int64_t>(v[top].row(), rlo), y1 = std::min<int64_t>(v[bot].row(), rhi);
    int ir = 0, il = 0;
    for (int64_t y = y0; y < y1; y++) {
        while (ir + 1 < nc[0] && chain[0][ir + 1].row <= y) ir++;
        while (il + 1 < nc[1] && chain[1][il + 1].row <= y) il++;
        const int64_t xl = chain[1][il].s->last_left(y) + 1, xr = chain[0][ir].s->last_left(y);
        if (xr >= xl) out.push_back({(int)y, (int)std::max<int64_t>(xl, -(1 << 30)), (int)std::min<int64_t>(xr + 1, 1 << 30)});
    }
}

}  // namespace rast

namespace {

int64_t ceil_div(int64_t num, int64_t den)
{
    if (den < 0) num = -num, den = -den;
    return num >= 0 ? (num + den - 1) / den : -((-num) / den);
}

// Spans of the even-odd fill of a polygon of n integer vertices.
void polygon_spans(const int *xy, int n, int rlo, int rhi, Spans &out)
{
    if (n < 3) return;
    int ymin = xy[1], ymax = xy[1];
    for (int i = 1; i < n; i++) {
        ymin = std::min(ymin, xy[2 * i + 1]);
        ymax = std::max(ymax, xy[2 * i + 1]);
    }
    ymin = std::max(ymin, rlo);
    ymax = std::min(ymax, rhi);
    std::vector<int64_t> xs;
    for (int y = ymin; y < ymax; y++) {
        // Each edge covers the rows from its upper end to just above its
        // lower end, and meets row y at the first whole x at or right of
        // its exact crossing (integer arithmetic: exact crossings count).
        xs.clear();
        for (int i = 0; i < n; i++) {
            const int j = (i + 1) % n;
            const int64_t ax = xy[2 * i], ay = xy[2 * i + 1], bx = xy[2 * j], by = xy[2 * j + 1];
            if (ay == by || y < std::min(ay, by) || y >= std::max(ay, by)) continue;
            xs.push_back(ceil_div(ax * (by - ay) + (y - ay) * (bx - ax), by - ay));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t k = 0; k + 1 < xs.size(); k += 2)
            if (xs[k] < xs[k + 1]) out.push_back({y, (int)xs[k], (int)xs[k + 1]});
    }
}

}  // namespace

void GRaster::fill_polygon(const int *xy, int n, uint32_t colour)
{
    flush();
    Spans sp;
    polygon_spans(xy, n, cy1_, cy2_, sp);
    for (const Span &s : sp) {
        if (std::max(s.x1, cx1_) < std::min(s.x2, cx2_)) settle_row(s.y);
        for (int x = std::max(s.x1, cx1_); x < std::min(s.x2, cx2_); x++) px_[(size_t)s.y * w_ + x] = colour;
    }
}

// ---- drawing through a graphics context ----

namespace {

struct ClipScope {
    GRaster &r;
    ClipScope(GRaster &r_, const GRasterGC &gc) : r(r_)
    {
        if (gc.clip) r.set_clip(gc.clip_x, gc.clip_y, gc.clip_w, gc.clip_h);
    }
    ~ClipScope() { r.no_clip(); }
};

int wrap(int v, int m) { return ((v % m) + m) % m; }

}  // namespace

bool GRaster::stipple_ok(const GRasterGC &gc, int x, int y)
{
    if (gc.fill_style == 0 || gc.stipple_w <= 0 || gc.stipple_h <= 0 ||
        gc.stipple.size() < (size_t)gc.stipple_w * gc.stipple_h)
        return true;
    return gc.stipple[(size_t)wrap(y - gc.ts_y, gc.stipple_h) * gc.stipple_w + wrap(x - gc.ts_x, gc.stipple_w)] != 0;
}

void GRaster::plot(const GRasterGC &gc, int x, int y, uint32_t colour)
{
    if (!inside(x, y) || !stipple_ok(gc, x, y)) return;
    settle_row(y);
    uint32_t &p = px_[(size_t)y * w_ + x];
    p = gc.function == 6 ? (p ^ colour) & 0xFFFFFF : colour;
}

void GRaster::paint(const GRasterGC &gc, std::vector<rast::Span> &sp, uint32_t colour, const Clip &c)
{
    // Pieces of one request may overlap; each pixel is painted once, so an
    // exclusive-or draws the union.
    std::sort(sp.begin(), sp.end(), [](const Span &a, const Span &b) { return a.y != b.y ? a.y < b.y : a.x1 < b.x1; });
    // Without a stipple whole runs are set at once (clears and wide fills
    // are most of a picture's pixels); the result is the same as plot().
    const bool solid = gc.fill_style == 0;
    for (size_t i = 0; i < sp.size();) {
        const int y = sp[i].y;
        int x1 = sp[i].x1, x2 = sp[i].x2;
        size_t j = i + 1;
        for (; j < sp.size() && sp[j].y == y && sp[j].x1 <= x2; j++) x2 = std::max(x2, sp[j].x2);
        if (y >= c.y1 && y < c.y2) {
            const int a = std::max(x1, c.x1), b = std::min(x2, c.x2);
            if (!solid) {
                for (int x = a; x < b; x++) plot(gc, x, y, colour);
            } else if (a < b) {
                settle_row(y);
                uint32_t *row = &px_[(size_t)y * w_];
                if (gc.function == 6)
                    for (int x = a; x < b; x++) row[x] = (row[x] ^ colour) & 0xFFFFFF;
                else
                    std::fill(row + a, row + b, colour);
            }
        }
        i = j;
    }
}

void GRaster::draw_point(const GRasterGC &gc, int x, int y)
{
    flush();
    // The X server draws points in the foreground whatever the fill style.
    ClipScope cs(*this, gc);
    GRasterGC solid_gc;
    solid_gc.function = gc.function;
    plot(solid_gc, x, y, gc.fg);
}

void GRaster::fill_polygon(const GRasterGC &gc, const int *xy, int n)
{
    flush();
    ClipScope cs(*this, gc);
    Spans sp;
    polygon_spans(xy, n, cy1_, cy2_, sp);
    paint(gc, sp, gc.fg, clip());
}

void GRaster::fill_rectangle(const GRasterGC &gc, int x, int y, int w, int h)
{
    flush();
    ClipScope cs(*this, gc);
    Spans sp;
    for (int r = std::max(y, cy1_); r < std::min(y + h, cy2_); r++) sp.push_back({r, x, x + w});
    paint(gc, sp, gc.fg, clip());
}

void GRaster::draw_lines(const GRasterGC &gc, const int *xy, int n)
{
    if (n < 1) return;
    if (gc.line_width > 0 && keep(gc, xy, n)) return;
    flush();
    ClipScope cs(*this, gc);
    if (gc.line_width > 0) {
        // A single point is a square or disc, which the X server leaves
        // unchanged under an exclusive-or (it comes out twice).
        if (n > 1 || gc.function != 6) wide_lines(gc, xy, n, clip());
        return;
    }
    // Thin lines: each segment leaves its last pixel to the next one.  The
    // path's last point is drawn unless the cap style is NotLast; a solid
    // line also leaves it when the path closes on its first point (so an
    // exclusive-or does not undo it), unless the last segment has an end
    // outside the clip, as the X server's fast path for solid lines does.
    // A single point draws nothing.
    Dash dash(gc);
    for (int i = 0; i + 1 < n; i++) thin_segment(gc, xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3], dash);
    if (n < 2 || gc.cap_style == 0) return;
    const int lx = xy[2 * n - 2], ly = xy[2 * n - 1];
    const bool solid = dash.len.empty() && gc.fill_style == 0;
    if (!solid || lx != xy[0] || ly != xy[1] || !inside(xy[2 * n - 4], xy[2 * n - 3]) || !inside(lx, ly))
        dash.put(*this, gc, lx, ly);
}

void GRaster::thin_segment(const GRasterGC &gc, int x1, int y1, int x2, int y2, rast::Dash &dash)
{
    walk_thin(x1, y1, x2, y2, [&](int x, int y) { dash.put(*this, gc, x, y); });
}

// ---- dashes of thin lines ----

rast::Dash::Dash(const GRasterGC &gc)
{
    for (unsigned char d : gc.dashes)
        if (d) len.push_back(d);
    if (gc.line_style == 0 || len.empty()) {
        len.clear();
        return;
    }
    style = gc.line_style;
    // An odd count repeats once, the second time with on and off swapped.
    if (len.size() % 2) len.insert(len.end(), len.begin(), len.end());
    // The offset steps into the pattern as far as it reaches (modulo the
    // pattern's length).
    long total = 0;
    for (int d : len) total += d;
    long off = ((gc.dash_offset % total) + total) % total;
    idx = 0;
    while (off >= len[idx]) off -= len[idx], idx = (idx + 1) % (int)len.size();
    left = len[idx] - (int)off;
}

void rast::Dash::put(GRaster &r, const GRasterGC &gc, int x, int y)
{
    if (len.empty()) {
        r.plot(gc, x, y, gc.fg);
        return;
    }
    if (!(idx & 1)) r.plot(gc, x, y, gc.fg);
    else if (style == 2) r.plot(gc, x, y, gc.bg);
    if (--left == 0) {
        idx = (idx + 1) % (int)len.size();
        left = len[idx];
    }
}

// ---- images and area copies ----

void GRaster::put_image(const GRasterGC &gc, const uint32_t *src, int src_w, int src_h, int sx, int sy, int dx, int dy,
                        int w, int h, const uint8_t *mask)
{
    flush();
    ClipScope cs(*this, gc);
    // Columns c whose source (sx + c) and clipped target (dx + c) both exist,
    // worked out once so that the row loops carry no tests.
    const int c0 = std::max({0, -sx, cx1_ - dx}), c1 = std::min({w, src_w - sx, cx2_ - dx});
    if (c0 >= c1) return;
    const bool xor_ = gc.function == 6;
    for (int r = 0; r < h; r++) {
        const int yy = sy + r, ty = dy + r;
        if (yy < 0 || yy >= src_h || ty < cy1_ || ty >= cy2_) continue;
        const size_t sb = (size_t)yy * src_w + (size_t)(sx + c0);
        const uint32_t *s = src + sb;
        uint32_t *p = px_.data() + (size_t)ty * w_ + (size_t)(dx + c0);
        const int n = c1 - c0;
        if (mask || xor_) settle_row(ty);
        else settle_beside(ty, dx + c0, dx + c0 + n);
        if (mask) {
            const uint8_t *m = mask + sb;
            for (int c = 0; c < n; c++)
                if (m[c]) p[c] = xor_ ? p[c] ^ (s[c] & 0xFFFFFF) : s[c] & 0xFFFFFF;
        } else if (xor_) {
            for (int c = 0; c < n; c++) p[c] ^= s[c] & 0xFFFFFF;
        } else {
            for (int c = 0; c < n; c++) p[c] = s[c] & 0xFFFFFF;
        }
    }
}
