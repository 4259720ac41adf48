// Pieces shared by the in-memory picture's source files (not for other
// modules): spans, polygon sides and corners near an integer point, the
// convex fill the wide lines use, and the dash walker of thin lines.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

struct GRasterGC;
class GRaster;

namespace rast {

// Pixels x1 <= x < x2 of row y.
struct Span {
    int y, x1, x2;
};
using Spans = std::vector<Span>;

int64_t floor_div(int64_t a, int64_t b);

// A polygon side: the line (x - bx) * dy - (y - by) * dx = k through a
// point near the integer point (bx, by).  The direction is whole, k real.
struct Side {
    int64_t bx, by;
    int64_t dx, dy;
    double k;
    // The last pixel of row y left of the side (pixels on it are right).
    int64_t last_left(int64_t y) const;
};

// A polygon corner: the integer point (bx, by) plus a real offset.
struct Corner {
    int64_t bx, by;
    double x, y;
    double real_y(int64_t base) const { return (double)(by - base) + y; }
    int64_t row() const { return by + (int64_t)std::ceil(y); }
};

// Spans of a convex polygon, side i joining corner i to corner i + 1: a
// pixel is inside when its centre is, one on a left or upper side
// counting; rows limited to rlo <= y < rhi.
void fill_convex(const Corner *v, const Side *e, int n, Spans &out, int rlo, int rhi);

// Where a dashed line is in its pattern.
struct Dash {
    explicit Dash(const GRasterGC &gc);
    // Draws (or not) the next pixel of a thin line and steps the pattern.
    void put(GRaster &r, const GRasterGC &gc, int x, int y);
    std::vector<int> len;  // empty: solid
    int style = 0, idx = 0, left = 0;
};

}  // namespace rast
