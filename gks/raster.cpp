// In-memory picture with the X11 drawing rules.
#include "gks/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

GRaster::GRaster(int w, int h, uint32_t background)
    : w_(w > 0 ? w : 0), h_(h > 0 ? h : 0), px_((size_t)(w > 0 ? w : 0) * (h > 0 ? h : 0), background)
{
    no_clip();
}

void GRaster::set_clip(int x, int y, int w, int h)
{
    cx1_ = std::max(0, x);
    cy1_ = std::max(0, y);
    cx2_ = std::min(w_, x + std::max(0, w));
    cy2_ = std::min(h_, y + std::max(0, h));
}

void GRaster::no_clip()
{
    cx1_ = cy1_ = 0;
    cx2_ = w_;
    cy2_ = h_;
}

void GRaster::clear(uint32_t colour) { std::fill(px_.begin(), px_.end(), colour); }

void GRaster::point(int x, int y, uint32_t colour)
{
    if (inside(x, y)) px_[(size_t)y * w_ + x] = colour;
}

void GRaster::thin_line(int x1, int y1, int x2, int y2, uint32_t colour)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const int adx = std::abs(dx), ady = std::abs(dy);
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    // Every pixel of the whole line is computed and only those inside the
    // clip are set, so clipping never moves a pixel.
    int x = x1, y = y1;
    if (adx >= ady) {
        const int e1 = 2 * ady, e2 = e1 - 2 * adx;
        int e = e1 - adx;
        for (int i = 0; i <= adx; i++) {
            point(x, y, colour);
            if (e >= 0) {
                y += sy;
                e += e2;
            } else {
                e += e1;
            }
            x += sx;
        }
    } else {
        const int e1 = 2 * adx, e2 = e1 - 2 * ady;
        int e = e1 - ady;
        for (int i = 0; i <= ady; i++) {
            point(x, y, colour);
            if (e >= 0) {
                x += sx;
                e += e2;
            } else {
                e += e1;
            }
            y += sy;
        }
    }
}

void GRaster::thin_lines(const int *xy, int n, uint32_t colour)
{
    if (n == 1) point(xy[0], xy[1], colour);
    for (int i = 0; i + 1 < n; i++) thin_line(xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3], colour);
}

namespace {

int64_t ceil_div(int64_t num, int64_t den)
{
    if (den < 0) num = -num, den = -den;
    return num >= 0 ? (num + den - 1) / den : -((-num) / den);
}

}  // namespace

void GRaster::fill_polygon(const int *xy, int n, uint32_t colour)
{
    if (n < 3) return;
    int ymin = xy[1], ymax = xy[1];
    for (int i = 1; i < n; i++) {
        ymin = std::min(ymin, xy[2 * i + 1]);
        ymax = std::max(ymax, xy[2 * i + 1]);
    }
    ymin = std::max(ymin, cy1_);
    ymax = std::min(ymax, cy2_);
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
        for (size_t k = 0; k + 1 < xs.size(); k += 2) {
            const int64_t xa = std::max<int64_t>(xs[k], cx1_), xb = std::min<int64_t>(xs[k + 1], cx2_);
            for (int64_t x = xa; x < xb; x++) px_[(size_t)y * w_ + (size_t)x] = colour;
        }
    }
}

void GRaster::fill_rect(int x, int y, int w, int h, uint32_t colour)
{
    for (int r = std::max(y, cy1_); r < std::min(y + h, cy2_); r++)
        for (int c = std::max(x, cx1_); c < std::min(x + w, cx2_); c++) px_[(size_t)r * w_ + c] = colour;
}

// First versions of the graphics-context calls: solid thin lines and plain
// fills; wide lines, dashes, stipples and functions follow.
namespace {

struct ClipScope {
    GRaster &r;
    ClipScope(GRaster &r_, const GRasterGC &gc) : r(r_)
    {
        if (gc.clip) r.set_clip(gc.clip_x, gc.clip_y, gc.clip_w, gc.clip_h);
    }
    ~ClipScope() { r.no_clip(); }
};

}  // namespace

void GRaster::draw_lines(const GRasterGC &gc, const int *xy, int n)
{
    ClipScope cs(*this, gc);
    thin_lines(xy, n, gc.fg);
}

void GRaster::draw_segments(const GRasterGC &gc, const int *xy4, int nseg)
{
    ClipScope cs(*this, gc);
    for (int i = 0; i < nseg; i++) thin_line(xy4[4 * i], xy4[4 * i + 1], xy4[4 * i + 2], xy4[4 * i + 3], gc.fg);
}

void GRaster::draw_point(const GRasterGC &gc, int x, int y)
{
    ClipScope cs(*this, gc);
    point(x, y, gc.fg);
}

void GRaster::draw_rectangle(const GRasterGC &gc, int x, int y, int w, int h)
{
    const int xy[10] = {x, y, x + w, y, x + w, y + h, x, y + h, x, y};
    draw_lines(gc, xy, 5);
}

void GRaster::fill_polygon(const GRasterGC &gc, const int *xy, int n)
{
    ClipScope cs(*this, gc);
    fill_polygon(xy, n, gc.fg);
}

void GRaster::fill_rectangle(const GRasterGC &gc, int x, int y, int w, int h)
{
    ClipScope cs(*this, gc);
    fill_rect(x, y, w, h, gc.fg);
}

void GRaster::put_image(const GRasterGC &gc, const uint32_t *src, int src_w, int src_h, int sx, int sy, int dx, int dy,
                        int w, int h, const uint8_t *mask)
{
    ClipScope cs(*this, gc);
    for (int r = 0; r < h; r++) {
        const int yy = sy + r;
        if (yy < 0 || yy >= src_h) continue;
        for (int c = 0; c < w; c++) {
            const int xx = sx + c;
            if (xx < 0 || xx >= src_w) continue;
            if (mask && !mask[(size_t)yy * src_w + xx]) continue;
            point(dx + c, dy + r, src[(size_t)yy * src_w + xx]);
        }
    }
}

void GRaster::copy_area(const GRasterGC &gc, const GRaster &src, int sx, int sy, int w, int h, int dx, int dy)
{
    const std::vector<uint32_t> copy = src.px_;
    put_image(gc, copy.data(), src.w_, src.h_, sx, sy, dx, dy, w, h);
}
