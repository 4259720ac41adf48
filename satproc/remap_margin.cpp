// Where the image lies on the picture, so that the margins around it are
// filled instead of traced.
//
// The image's valid area in its own pixels is its rectangle, cut by the
// edge of the earth's disc where the rectangle reaches into space.  That
// area is convex, so every ray from its centre leaves it once: walking the
// rays gives its outline, point by point.  Each outline point is carried
// forward (image -> latitude/longitude -> picture), so the outline appears on
// the picture as a closed curve, and the picture's pixels that trace into the
// image lie inside it.  Per picture row, the columns between the leftmost
// and the rightmost pieces of the curve near that row (widened by MARGIN
// pixels) may hold image; every pixel outside them is known to lie off it.
//
// Choices made here:
// - Rays are added between two neighbours whose points lie more than a
//   pixel apart on the picture, so the outline's pieces are at most two pixels
//   long; its chords then stray from the curve by far less than MARGIN.
// - Where a ray's end on the rectangle lies in space, the disc's edge on it
//   is found by halving the interval until it is a millionth of a pixel
//   wide: near the edge the earth's surface recedes steeply, and its position
//   on the picture settles only that close.
// - No outline (every pixel may hold image) when the image's centre does not
//   trace, when a point of the outline cannot be drawn on the picture (the
//   image reaches beyond the picture's projection), or when neighbouring
//   points stay far apart however close their rays (the image crosses the
//   picture's seam).
#include <algorithm>
#include <climits>
#include <cmath>

#include "image/nav.h"
#include "satproc/remap_internal.h"

namespace remap_detail {

namespace {

constexpr int BASE_RAYS = 512;
constexpr int MAX_DEPTH = 12;
constexpr double GAP = 2.0;       // picture pixels between outline points
constexpr double MARGIN = 4.0;    // picture pixels kept on each side of the outline
constexpr double JUMP = 8.0;      // a gap this wide at the deepest split: a seam
constexpr int BISECT = 32;        // halvings of a ray that crosses the disc's edge

struct Forward {
    const Ctx &c;
    bool nav;
    float lc = 1, ec = 1, lr = 1, er = 1;         // navigation pixel mapping
    float ixmin = 0, iymax = 0, idx = 1, idy = 1;  // image domain grid

    // Image (col, row) to latitude/longitude; false where it does not trace.
    bool geo(double col, double row, double &lat, double &lon) const
    {
        if (nav) {
            double line = lc - 1 + row * lr, elem = ec - 1 + col * er;
            double la = MISS, lo = MISS;
            if (AREA_tran_d(1, &la, &lo, &line, &elem) != 0 || la == MISS || !std::isfinite(la)) return false;
            lat = la;
            lon = lo;
            return true;
        }
        float la = MISS, lo = MISS;
        const float x = (float)(ixmin + col * idx), y = (float)(iymax - row * idy);
        if (!c.imgp.untran(&la, &lo, x, y) || la == MISS || !std::isfinite(la)) return false;
        lat = la;
        lon = lo;
        return true;
    }
    // Latitude/longitude to picture pixel coordinates; false off the picture's projection.
    bool pic(double lat, double lon, double &i, double &j) const
    {
        float x = MISS, y = MISS;
        if (!c.outp.tran(&x, &y, (float)lat, (float)lon) || x == MISS || !std::isfinite(x)) return false;
        i = (x - c.xmin) / c.dx;
        j = (c.ymax - y) / c.dy;
        return true;
    }
};

struct Pt {
    double theta, i, j;
};

class Outline {
public:
    Outline(const Forward &f, double w, double h) : f_(f), w_(w), h_(h), cx_((w - 1) / 2), cy_((h - 1) / 2) {}

    // The outline point on the ray at angle theta; false when it cannot be placed.
    bool point(double theta, Pt &p) const
    {
        const double dc = std::cos(theta), dr = std::sin(theta);
        // Distance to the rectangle [0, w-1] x [0, h-1] along the ray.
        double t = 1e300;
        if (dc > 1e-12) t = std::min(t, (w_ - 1 - cx_) / dc);
        if (dc < -1e-12) t = std::min(t, -cx_ / dc);
        if (dr > 1e-12) t = std::min(t, (h_ - 1 - cy_) / dr);
        if (dr < -1e-12) t = std::min(t, -cy_ / dr);
        double lat, lon;
        if (!f_.geo(cx_ + t * dc, cy_ + t * dr, lat, lon)) {
            // The disc's edge lies between the centre (traces) and t (does not).
            double in = 0, out = t;
            for (int k = 0; k < BISECT; ++k) {
                const double mid = 0.5 * (in + out);
                double la, lo;
                if (f_.geo(cx_ + mid * dc, cy_ + mid * dr, la, lo)) in = mid;
                else out = mid;
            }
            if (!f_.geo(cx_ + in * dc, cy_ + in * dr, lat, lon)) return false;
        }
        p.theta = theta;
        return f_.pic(lat, lon, p.i, p.j);
    }

    // Points from a (included) towards b (excluded), split until neighbours
    // lie within GAP; false at a seam or an unplaceable point.
    bool fill(const Pt &a, const Pt &b, int depth, std::vector<Pt> &out) const
    {
        const double d = std::hypot(a.i - b.i, a.j - b.j);
        if (!(d <= GAP)) {
            if (depth >= MAX_DEPTH) {
                if (!(d <= JUMP)) return false;
            } else {
                Pt m;
                if (!point(0.5 * (a.theta + b.theta), m)) return false;
                return fill(a, m, depth + 1, out) && fill(m, b, depth + 1, out);
            }
        }
        out.push_back(a);
        return true;
    }

    bool centre_traces() const
    {
        double lat, lon;
        return f_.geo(cx_, cy_, lat, lon);
    }

private:
    const Forward &f_;
    double w_, h_, cx_, cy_;
};

}  // namespace

void find_footprint(Ctx &c, bool nav_path)
{
    c.lo.clear();
    c.hi.clear();
    if (!c.img || c.nx < 1 || c.ny < 1 || !(c.dx > 0) || !(c.dy > 0)) return;
    if (!nav_path && !c.img_ok) return;
    Forward f{c, nav_path};
    if (nav_path) {
        AREA_get_res(&f.lc, &f.ec, &f.lr, &f.er);
    } else {
        f.ixmin = c.imgp.limits()[0];
        f.iymax = c.imgp.limits()[3];
        f.idx = c.imgdom.dx;
        f.idy = c.imgdom.dy;
    }
    const Outline o(f, c.img->nx, c.img->ny);
    if (!o.centre_traces()) return;
    // The rays between two base rays are found on their own, so the base
    // rays and then their intervals are shared among the worker threads;
    // the pieces are joined in ray order.
    std::vector<Pt> base(BASE_RAYS + 1), pts;
    std::vector<std::vector<Pt>> piece(BASE_RAYS);
    std::vector<char> ok(BASE_RAYS + 1, 0);
    const int threads = thread_count((size_t)BASE_RAYS * 2 * TRACE_COST * 16);
    WORK_row_chunks(BASE_RAYS + 1, threads, [&](int a, int z) {
        for (int k = a; k < z; ++k) ok[k] = o.point(2 * M_PI * k / BASE_RAYS, base[k]);
    });
    if (std::find(ok.begin(), ok.end(), 0) != ok.end()) return;
    WORK_row_chunks(BASE_RAYS, threads, [&](int a, int z) {
        for (int k = a; k < z; ++k) ok[k] = o.fill(base[k], base[k + 1], 0, piece[k]);
    });
    if (std::find(ok.begin(), ok.begin() + BASE_RAYS, 0) != ok.begin() + BASE_RAYS) return;
    for (const std::vector<Pt> &p : piece) pts.insert(pts.end(), p.begin(), p.end());
    // Each piece widened by MARGIN widens the span of every row it reaches.
    std::vector<int> lo(c.ny, INT32_MAX), hi(c.ny, INT32_MIN);
    const size_t n = pts.size();
    for (size_t k = 0; k < n; ++k) {
        const Pt &a = pts[k], &b = pts[(k + 1) % n];
        const double j0 = std::min(a.j, b.j) - MARGIN, j1 = std::max(a.j, b.j) + MARGIN;
        if (j1 < 0 || j0 > c.ny - 1) continue;
        const int r0 = (int)std::max(0.0, std::ceil(j0)), r1 = (int)std::min(c.ny - 1.0, std::floor(j1));
        // Columns held within -1 .. nx: what lies beyond stays beyond.
        auto col = [&](double v) { return (int)std::clamp(v, -1.0, (double)c.nx); };
        const int c0 = col(std::floor(std::min(a.i, b.i) - MARGIN)), c1 = col(std::ceil(std::max(a.i, b.i) + MARGIN));
        for (int r = r0; r <= r1; ++r) {
            lo[r] = std::min(lo[r], c0);
            hi[r] = std::max(hi[r], c1);
        }
    }
    c.lo = std::move(lo);
    c.hi = std::move(hi);
}

}  // namespace remap_detail
