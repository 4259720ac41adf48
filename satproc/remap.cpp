// Remapping and zoom.  Every output pixel is traced back to a fractional
// (column, row) of the source image and sampled there.  Tracing works on
// batches of points: all of a block of rows is untransformed in the output
// domain first, then located in the image (through the satellite navigation,
// or through the image domain).  The output and image domains are two
// projection objects held side by side, read only while the worker threads
// share them.
#include "satproc/remap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "core/flags.h"
#include "gks/gks.h"
#include "image/nav.h"
#include "map/map.h"
#include "satproc/fit.h"
#include "satproc/sat_param.h"

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float MISS = -9999.0f;
constexpr int BLOCK_ROWS = 64;
// Rows of a run (see stepped_block).
constexpr int RUN = 8;
// A traced point costs about as much as this many sampled pixels (the
// work unit of thread_count).
constexpr size_t TRACE_COST = 10;

struct Ctx {
    const IMG *img = nullptr;
    DOM out{}, imgdom{};
    MapProj outp, imgp;   // the output and image domains' projections
    float xmin = 0, xmax = 0, ymax = 0, dx = 0, dy = 0;
    int nx = 0, ny = 0;
    int step = 0;         // remap_inc; 0 exact mode
    bool nav = false;     // stepped/per-pixel tracing through the satellite navigation
    bool img_ok = false;  // the image domain can locate points
    float min_lon = MISS, max_lon = MISS;
};

Ctx make_ctx(const IMG *image, const DOM *dom)
{
    Ctx c;
    c.img = image;
    c.out = *dom;
    c.imgdom = image->domain;
    // The output domain is the current one afterwards, as after any remap.
    MAP_domain(dom);
    c.outp = MAP_make_proj(dom);
    const float *lim = c.outp.limits();
    c.xmin = lim[0];
    c.xmax = lim[1];
    c.ymax = lim[3];
    c.dx = dom->dx;
    c.dy = dom->dy;
    c.nx = dom->nx;
    c.ny = dom->ny;
    c.step = SAT_get_remap_inc();
    if (c.step < 0) c.step = 0;
    // The navigation path needs a navigation: with none current, AREA_tran
    // would answer success without moving its outputs.
    c.nav = SAT_get_tran_sat() && AREA_nav_kind() != NAV_NONE;
    c.img_ok = c.imgdom.proj != DOM_MISSING && c.imgdom.dx != 0 && std::isfinite(c.imgdom.dx) &&
               c.imgdom.clat != DOM_MISSING;
    if (c.img_ok) c.imgp = MAP_make_proj(&c.imgdom);
    c.min_lon = SAT_get_min_lon();
    c.max_lon = SAT_get_max_lon();
    return c;
}

// Worker threads.  Each works on its own share of points or rows and writes
// only there; the projection objects and the navigation are only read by
// them, so the result is the same for any number of threads.  ZYR_THREADS=1 (or any number) fixes the count.
int thread_count(size_t work)
{
    if (work < 20000) return 1;
    int n = (int)std::thread::hardware_concurrency();
    if (const char *e = std::getenv("ZYR_THREADS")) n = std::atoi(e);
    return std::clamp(n, 1, 8);
}

template <class F>
void parallel_rows(int rows, size_t work, F f)
{
    int nt = thread_count(work);
    if (nt <= 1) {
        f(0, rows);
        return;
    }
    std::vector<std::thread> pool;
    int per = (rows + nt - 1) / nt;
    for (int t = 0; t < nt; ++t) {
        int a = t * per, z = std::min(rows, a + per);
        if (a < z) pool.emplace_back(f, a, z);
    }
    for (auto &th : pool) th.join();
}

struct Batch {
    std::vector<float> x, y, lat, lon, col, row, px, py;
    std::vector<unsigned char> ok;
    void clear()
    {
        x.clear();
        y.clear();
    }
    void add(float px, float py)
    {
        x.push_back(px);
        y.push_back(py);
    }
};

// Locates every point of the batch in the image.  Points that cannot be
// traced get NaN.
void trace(const Ctx &c, bool nav_path, Batch &b)
{
    const size_t n = b.x.size();
    b.lat.resize(n);
    b.lon.resize(n);
    b.ok.resize(n);
    b.col.assign(n, NaN);
    b.row.assign(n, NaN);
    const float clon = c.out.clon;
    auto untran = [&](size_t a, size_t z) {
        c.outp.untran_points((int)(z - a), &b.x[a], &b.y[a], &b.lat[a], &b.lon[a], &b.ok[a]);
        for (size_t i = a; i < z; ++i) {
            float la = b.lat[i], lo = b.lon[i];
            if (!b.ok[i] || la == MISS || !std::isfinite(la)) la = NaN;
            if (c.min_lon != MISS && lo < c.min_lon && clon - lo < 180) la = NaN;
            if (c.max_lon != MISS && lo > c.max_lon && lo - clon < 180) la = NaN;
            b.lat[i] = la;
            b.lon[i] = lo;
        }
    };
    if (n == 0) return;
    parallel_rows((int)n, n * TRACE_COST, [&](int a, int z) { untran((size_t)a, (size_t)z); });
    if (nav_path) {
        parallel_rows((int)n, n * TRACE_COST, [&](int a, int z) {
            for (int i = a; i < z; ++i) {
                if (std::isnan(b.lat[i])) continue;
                float la = b.lat[i], lo = b.lon[i], l = MISS, e = MISS;
                // -1 is off the earth: GVAR leaves the outputs as they were.
                if (AREA_tran(2, &la, &lo, &l, &e) != 0 || l == MISS || e == MISS) continue;
                float r, cc;
                AREA_line_elem(2, &r, &cc, l, e);
                b.row[i] = r;
                b.col[i] = cc;
            }
        });
        return;
    }
    if (!c.img_ok) return;
    // Held apart from the context, so the loop's stores cannot be taken to
    // change them.
    const float xmin = c.imgp.limits()[0], ymax = c.imgp.limits()[3];
    b.px.assign(n, MISS);
    b.py.assign(n, MISS);
    // Grid position as MAP_grid_untran computes it, written out here so that
    // the loop stays free of calls.
    auto locate = [&](size_t a, size_t z) {
        c.imgp.tran_points((int)(z - a), &b.lat[a], &b.lon[a], &b.px[a], &b.py[a], &b.ok[a]);
        for (size_t i = a; i < z; ++i) {
            const float px = b.px[i], py = b.py[i];
            if (std::isnan(b.lat[i]) || !b.ok[i] || px == MISS) continue;
            b.col[i] = (px - xmin) / c.imgdom.dx;
            b.row[i] = (ymax - py) / c.imgdom.dy;
        }
    };
    parallel_rows((int)n, n * TRACE_COST, [&](int a, int z) { locate((size_t)a, (size_t)z); });
}

inline bool usable(float col, float row) { return std::isfinite(col) && std::isfinite(row) && col >= 0 && row >= 0; }

// The stepped mode over rows j0..j1-1: the segment ends (columns 0, N, 2N,
// ... and the last column) are traced, and every segment whose two ends
// trace is handed to seg(row, first column, length, fractions, start col,
// start row, end col, end row), which interpolates position k of the segment
// as start + f[k] * (end - start) with f[k] = k / length.  Pixels of the
// other segments, and the last column, are traced one by one and handed to
// one(row, column, col, row).  Rows are shared among the worker threads in
// one go (threads are started once per block), each with its own scratch
// from make_scratch(); seg(scratch, row, row in the run, ...) comes for the
// segments of a run of a few rows, then rows_end(scratch, first, end), then
// the last columns; the one-by-one pixels come last, in the calling thread.
template <class MakeScratch, class Seg, class RowsEnd, class One>
void stepped_block(const Ctx &c, int j0, int j1, Batch &b, MakeScratch make_scratch, Seg seg, RowsEnd rows_end,
                   One one)
{
    const int nx = c.nx, N = c.step;
    std::vector<int> ends;
    for (int s = 0; s < nx; s += N) ends.push_back(s);
    if (ends.back() != nx - 1) ends.push_back(nx - 1);
    const size_t ne = ends.size();
    b.clear();
    for (int j = j0; j < j1; ++j)
        for (int e : ends) b.add(c.xmin + e * c.dx, c.ymax - j * c.dy);
    trace(c, c.nav, b);
    const std::vector<float> ecol = b.col, erow = b.row;
    // Fractions of the full segments and of the shortened last one.
    const int Llast = ne > 1 ? ends[ne - 1] - ends[ne - 2] : 0;
    std::vector<float> ffull(N), flast(Llast);
    for (int p = 0; p < N; ++p) ffull[p] = (float)p / (float)N;
    for (int p = 0; p < Llast; ++p) flast[p] = (float)p / (float)Llast;

    auto ok = [&](size_t i) { return usable(ecol[i], erow[i]); };
    std::vector<size_t> exact;  // flat indices (row - j0) * nx + column of pixels traced one by one
    for (int j = j0; j < j1; ++j) {
        const size_t base = (size_t)(j - j0) * ne;
        for (size_t k = 0; k + 1 < ne; ++k)
            if (!ok(base + k) || !ok(base + k + 1))
                for (int p = ends[k]; p < ends[k + 1]; ++p) exact.push_back((size_t)(j - j0) * nx + p);
    }
    parallel_rows(j1 - j0, (size_t)(j1 - j0) * nx, [&](int a, int z) {
        // A few rows at a time, so that what seg leaves for rows_end stays
        // in the cache.
        auto scratch = make_scratch();
        for (int r0 = a; r0 < z; r0 += RUN) {
            const int r1 = std::min(z, r0 + RUN);
            for (int jl = r0; jl < r1; ++jl) {
                const size_t base = (size_t)jl * ne;
                for (size_t k = 0; k + 1 < ne; ++k) {
                    if (!ok(base + k) || !ok(base + k + 1)) continue;
                    const int L = ends[k + 1] - ends[k];
                    seg(scratch, jl, jl - r0, ends[k], L, L == N ? ffull.data() : flast.data(), ecol[base + k],
                        erow[base + k], ecol[base + k + 1], erow[base + k + 1]);
                }
            }
            rows_end(scratch, r0, r1);
        }
        // The last column is a segment end itself: its exact position.
        for (int jl = a; jl < z; ++jl) one(jl, nx - 1, ecol[(size_t)jl * ne + ne - 1], erow[(size_t)jl * ne + ne - 1]);
    });
    // In batches of bounded size: there may be millions.
    constexpr size_t BATCH = 32768;
    for (size_t k0 = 0; k0 < exact.size(); k0 += BATCH) {
        const size_t k1 = std::min(exact.size(), k0 + BATCH);
        b.clear();
        for (size_t k = k0; k < k1; ++k)
            b.add(c.xmin + (int)(exact[k] % nx) * c.dx, c.ymax - (j0 + (int)(exact[k] / nx)) * c.dy);
        trace(c, c.nav, b);
        for (size_t k = k0; k < k1; ++k) one((int)(exact[k] / nx), (int)(exact[k] % nx), b.col[k - k0], b.row[k - k0]);
    }
}

// Source positions of rows j0..j1-1 into cols/rows (row-major, nx per row).
void block_positions(const Ctx &c, int j0, int j1, bool per_pixel, float *cols, float *rows, Batch &b)
{
    const int nx = c.nx;
    if (c.step == 0 || per_pixel) {
        // Exact mode goes through the image domain whatever tran_sat says;
        // the per-pixel reference of the stepped mode takes the stepped path.
        const bool nav_path = c.step != 0 && c.nav;
        b.clear();
        for (int j = j0; j < j1; ++j)
            for (int i = 0; i < nx; ++i) b.add(c.xmin + i * c.dx, c.ymax - j * c.dy);
        trace(c, nav_path, b);
        std::copy(b.col.begin(), b.col.end(), cols);
        std::copy(b.row.begin(), b.row.end(), rows);
        return;
    }
    stepped_block(
        c, j0, j1, b, [] { return 0; },
        [&](int, int jl, int, int s, int L, const float *f, float cs, float rs, float ce, float re) {
            float *cr = cols + (size_t)jl * nx + s, *rr = rows + (size_t)jl * nx + s;
            for (int p = 0; p < L; ++p) {
                cr[p] = cs + f[p] * (ce - cs);
                rr[p] = rs + f[p] * (re - rs);
            }
        },
        [](int, int, int) {},
        [&](int jl, int i, float col, float row) {
            cols[(size_t)jl * nx + i] = col;
            rows[(size_t)jl * nx + i] = row;
        });
}

struct Sampler {
    const unsigned char *src;
    int w, h;
    size_t stride;
    bool average;
    int cutbase, numcut, cutoff[5];

    // Neighbours beyond the last row or column repeat the edge pixel.
    void neighbours(int r0, int c0, int p[4]) const
    {
        const int r1 = std::min(r0 + 1, h - 1), c1 = std::min(c0 + 1, w - 1);
        const unsigned char *a = src + (size_t)r0 * stride, *b = src + (size_t)r1 * stride;
        p[0] = a[c0];
        p[1] = a[c1];
        p[2] = b[c0];
        p[3] = b[c1];
    }

    static int blend(const int p[4], float fr, float fc)
    {
        float v = (1 - fr) * (1 - fc) * p[0] + (1 - fr) * fc * p[1] + fr * (1 - fc) * p[2] + fr * fc * p[3];
        return (int)v & 255;
    }

    int band_of_all(const int p[4]) const
    {
        for (int i = 0; i <= numcut; ++i) {
            bool all = true;
            for (int k = 0; k < 4 && all; ++k)
                all = p[k] == cutbase || (p[k] >= cutoff[i] && p[k] < cutoff[i + 1]);
            if (all) return i;
        }
        return -1;
    }

    bool nearest_only() const { return !average && numcut < 1; }
    bool small32 = false;  // every byte offset fits an int32

    // Byte offset of the nearest pixel (0.5 rounds to the upper/left one),
    // -1 outside the image.  Written without branches: the rounding flips
    // every pixel or two, which a predictor cannot follow.
    int64_t nearest_offset(float col, float row) const
    {
        if (!(row >= 0 && row <= h - 1 && col >= 0 && col <= w - 1)) return -1;
        const int r0 = (int)row, c0 = (int)col;
        const int r = std::min(r0 + (int)(row - r0 > 0.5f), h - 1), c = std::min(c0 + (int)(col - c0 > 0.5f), w - 1);
        return (int64_t)r * (int64_t)stride + c;
    }

    // A segment whose ends lie a pixel inside the image stays inside (the
    // rounding of the interpolation is far below a pixel), so its nearest
    // pixels need neither the bounds test nor the clamp.
    bool inside(float cs, float rs, float ce, float re) const
    {
        return std::min(cs, ce) >= 1 && std::max(cs, ce) <= w - 2 && std::min(rs, re) >= 1 && std::max(rs, re) <= h - 2;
    }

    // Two passes over a row: positions first (branch-free loops the compiler
    // vectorises), then the reads of the whole row, which overlap in memory
    // like a plain gather's, then the blends (vectorised again).  For
    // nearest-only sampling and for plain blending (no bands) of an image
    // whose byte offsets fit 31 bits and that has a pixel inside its edges.
    bool two_pass() const { return small32 && w >= 3 && h >= 3 && (nearest_only() || (average && numcut < 1)); }

    // First pass over the segment at start + f[k] * (end - start), k = 0 ..
    // L-1.  Nearest: idx gets the nearest pixel's byte offset (-1 outside).
    // Blending: idx gets the upper-left neighbour's offset and fr, fc the
    // fractions; a segment not inside the image is sampled into o at once
    // and its idx set to -1.
    void first_pass(int32_t *idx, float *fr, float *fc, unsigned char *o, int L, const float *f, float cs, float rs,
                    float ce, float re) const
    {
        const float dc = ce - cs, dr = re - rs;
        const int32_t st = (int32_t)stride;
        if (!inside(cs, rs, ce, re)) {
            for (int p = 0; p < L; ++p) {
                const float col = cs + f[p] * dc, row = rs + f[p] * dr;
                if (nearest_only()) {
                    idx[p] = (int32_t)nearest_offset(col, row);
                } else {
                    o[p] = remap_pixel(col, row);
                    idx[p] = -1;
                }
            }
        } else if (nearest_only()) {
            for (int p = 0; p < L; ++p) {
                const float col = cs + f[p] * dc, row = rs + f[p] * dr;
                const int r0 = (int)row, c0 = (int)col;
                const int r = r0 + (row - (float)r0 > 0.5f ? 1 : 0), c = c0 + (col - (float)c0 > 0.5f ? 1 : 0);
                idx[p] = r * st + c;
            }
        } else {
            for (int p = 0; p < L; ++p) {
                const float col = cs + f[p] * dc, row = rs + f[p] * dr;
                const int r0 = (int)row, c0 = (int)col;
                fr[p] = row - (float)r0;
                fc[p] = col - (float)c0;
                idx[p] = r0 * st + c0;
            }
        }
    }

    // Second pass over n pixels of a row.
    void second_pass(const int32_t *idx, const float *fr, const float *fc, unsigned char *o, int n) const
    {
        // Reads a few cache lines ahead are announced to the cache: in
        // source memory, consecutive pixels are one or two bytes apart.
        constexpr int AHEAD = 256;
        if (nearest_only()) {
            int i = 0;
            for (; i + AHEAD < n; ++i) {
                __builtin_prefetch(src + std::max(idx[i + AHEAD], 0));
                o[i] = idx[i] < 0 ? 0 : src[idx[i]];
            }
            for (; i < n; ++i) o[i] = idx[i] < 0 ? 0 : src[idx[i]];
            return;
        }
        constexpr int CHUNK = 256;
        int q0[CHUNK], q1[CHUNK], q2[CHUNK], q3[CHUNK];
        unsigned char t[CHUNK];
        for (int i0 = 0; i0 < n; i0 += CHUNK) {
            const int m = std::min(CHUNK, n - i0);
            const int32_t *id = idx + i0;
            for (int k = 0; k < m; ++k) {
                // -1 (sampled already) reads the first pixels, harmlessly.
                const unsigned char *a = src + std::max(id[k], 0);
                if (i0 + k + AHEAD < n) __builtin_prefetch(src + std::max(id[k + AHEAD], 0));
                q0[k] = a[0];
                q1[k] = a[1];
                q2[k] = a[stride];
                q3[k] = a[stride + 1];
            }
            // blend() and remap_pixel's all-equal shortcut, term for term.
            const float *r = fr + i0, *c = fc + i0;
            for (int k = 0; k < m; ++k) {
                const float v = (1 - r[k]) * (1 - c[k]) * q0[k] + (1 - r[k]) * c[k] * q1[k] +
                                r[k] * (1 - c[k]) * q2[k] + r[k] * c[k] * q3[k];
                const bool same = q0[k] == q1[k] && q0[k] == q2[k] && q0[k] == q3[k];
                t[k] = (unsigned char)(same ? q0[k] : ((int)v & 255));
            }
            unsigned char *ok = o + i0;
            for (int k = 0; k < m; ++k) ok[k] = id[k] >= 0 ? t[k] : ok[k];
        }
    }

    // Pixels at start + f[k] * (end - start), k = 0 .. L-1, into o.
    void segment(unsigned char *o, int L, const float *f, float cs, float rs, float ce, float re) const
    {
        const float dc = ce - cs, dr = re - rs;
        if (average && numcut < 1 && inside(cs, rs, ce, re)) {
            // remap_pixel's blend without its bounds test and edge clamps.
            for (int p = 0; p < L; ++p) {
                const float col = cs + f[p] * dc, row = rs + f[p] * dr;
                const int r0 = (int)row, c0 = (int)col;
                const unsigned char *a = src + (size_t)r0 * stride + c0;
                const int q[4] = {a[0], a[1], a[stride], a[stride + 1]};
                const int v = blend(q, row - r0, col - c0);
                o[p] = (unsigned char)(q[0] == q[1] && q[0] == q[2] && q[0] == q[3] ? q[0] : v);
            }
            return;
        }
        for (int p = 0; p < L; ++p) o[p] = remap_pixel(cs + f[p] * dc, rs + f[p] * dr);
    }

    unsigned char remap_pixel(float col, float row) const
    {
        // NaN fails every comparison, so it lands here too.
        if (!(row >= 0 && row <= h - 1 && col >= 0 && col <= w - 1)) return 0;
        const int r0 = (int)row, c0 = (int)col;
        float fr = row - r0, fc = col - c0;
        // Nearest neighbour reads one pixel; the all-equal shortcut would
        // give the same value.
        if (nearest_only()) return src[nearest_offset(col, row)];
        int p[4];
        neighbours(r0, c0, p);
        if (p[0] == p[1] && p[0] == p[2] && p[0] == p[3]) return (unsigned char)p[0];
        bool nearest = !average;
        if (numcut >= 1) {
            int band = band_of_all(p);
            if (band >= 0) {
                bool had_base = false;
                for (int &v : p)
                    if (v == cutbase) {
                        v = cutoff[band];
                        had_base = true;
                    }
                if (!nearest) {
                    int v = blend(p, fr, fc);
                    return (unsigned char)(had_base && v == cutoff[band] ? cutbase : v);
                }
            } else {
                nearest = true;
            }
        }
        if (nearest) {
            fr = fr > 0.5f ? 1.0f : 0.0f;
            fc = fc > 0.5f ? 1.0f : 0.0f;
        }
        return (unsigned char)blend(p, fr, fc);
    }
};

Sampler make_sampler(const IMG *image)
{
    Sampler s{};
    s.src = image->data;
    s.w = image->nx;
    s.h = image->ny;
    s.stride = image->bytes_line > 0 ? (size_t)image->bytes_line : (size_t)image->nx;
    s.average = SAT_get_pix_ave() != 0;
    s.numcut = SAT_get_cut(&s.cutbase, s.cutoff);
    s.small32 = (uint64_t)s.stride * (uint64_t)s.h < (1ull << 31);
    if (s.numcut > 3) s.numcut = 3;
    return s;
}

bool image_ok(const IMG *image)
{
    return image && image->data && image->nx > 0 && image->ny > 0 &&
           (image->bytes_line <= 0 || image->bytes_line >= image->nx);
}

}  // namespace

int SAT_remap_positions(const IMG *image, const DOM *dom, int row, int per_pixel, float *cols, float *rows)
{
    if (!image || !dom || dom->proj == DOM_MISSING || dom->nx < 1 || row < 0 || row >= dom->ny) return -1;
    Ctx c = make_ctx(image, dom);
    Batch b;
    block_positions(c, row, row + 1, per_pixel != 0, cols, rows, b);
    return 0;
}

namespace {

// The checks both remap forms make: false (after a warning) when the grid
// cannot be laid out, there are no pixels to read, or (when pixels are
// made) the output would exceed 100 million pixels.
bool remap_possible(const IMG *image, const DOM *dom, bool pixels, const char *who)
{
    if (!dom || dom->proj == DOM_MISSING) return false;
    MESS_print(MESS_MESS, "Remapping image...\n");
    MESS_print(MESS_OUT2, "New domain: ");
    DOM_print(MESS_OUT1, dom);
    if (gchk_graphics()) gsel_norm_tran(2);
    const bool too_big = pixels && (int64_t)dom->nx * dom->ny > 100000000;
    if (dom->nx < 1 || dom->ny < 1 || too_big || !image_ok(image)) {
        MESS_print(MESS_WARN, "%s: nothing to remap onto %dx%d\n", who, dom->nx, dom->ny);
        return false;
    }
    return true;
}

// The record after a remap onto dom, whose pixels (nx * ny bytes, or null)
// replace the old ones.
void take_domain(IMG *image, const DOM *dom, unsigned char *out)
{
    std::free(image->data);
    image->data = out;
    image->source = IMG_SRC_ZYR;
    image->nx = dom->nx;
    image->ny = dom->ny;
    // One byte per pixel is what was written, whatever the source held.
    image->depth = 8;
    image->bytes_line = dom->nx;
    image->domain = *dom;
    if (image->domain.plon == DOM_MISSING) image->domain.plon = image->domain.clon;
}

}  // namespace

int SAT_remap_domain(IMG *image, const DOM *dom)
{
    if (!remap_possible(image, dom, false, "SAT_remap_domain")) return 0;
    take_domain(image, dom, nullptr);
    return 1;
}

int SAT_remap_image(IMG *image, DOM *dom)
{
    if (!remap_possible(image, dom, true, "SAT_remap_image")) return 0;
    Ctx c = make_ctx(image, dom);
    const int nx = c.nx, ny = c.ny;
    auto *out = (unsigned char *)std::calloc((size_t)nx * ny, 1);
    if (!out) return 0;
    const Sampler s = make_sampler(image);
    Batch b;
    if (c.step == 0) {
        // Exact mode: every pixel traced, then sampled.
        std::vector<float> cols((size_t)BLOCK_ROWS * nx), rows((size_t)BLOCK_ROWS * nx);
        for (int j0 = 0; j0 < ny; j0 += BLOCK_ROWS) {
            const int j1 = std::min(ny, j0 + BLOCK_ROWS);
            block_positions(c, j0, j1, false, cols.data(), rows.data(), b);
            parallel_rows(j1 - j0, (size_t)(j1 - j0) * nx, [&](int a, int z) {
                for (size_t i = (size_t)a * nx; i < (size_t)z * nx; ++i)
                    out[(size_t)j0 * nx + i] = s.remap_pixel(cols[i], rows[i]);
            });
        }
    } else {
        // Stepped mode: each segment is interpolated and sampled at once,
        // its positions never stored, or in the sampler's two passes over
        // each row.
        const bool two = s.two_pass();
        // Blocks of rows with some 32,000 segment ends each.
        const int block = std::max(1, 32768 / (nx / c.step + 2));
        struct Scratch {
            std::vector<int32_t> idx;
            std::vector<float> fr, fc;
        };
        auto make_scratch = [&] {
            Scratch sc;
            if (two) {
                sc.idx.resize((size_t)RUN * nx);
                if (!s.nearest_only()) sc.fr.resize(sc.idx.size()), sc.fc.resize(sc.idx.size());
            }
            return sc;
        };
        auto fp = [](std::vector<float> &v, size_t at) { return v.empty() ? nullptr : v.data() + at; };
        for (int j0 = 0; j0 < ny; j0 += block) {
            const int j1 = std::min(ny, j0 + block);
            unsigned char *blk = out + (size_t)j0 * nx;
            stepped_block(
                c, j0, j1, b, make_scratch,
                [&](Scratch &sc, int jl, int jr, int st, int L, const float *f, float cs, float rs, float ce, float re) {
                    unsigned char *o = blk + (size_t)jl * nx + st;
                    const size_t at = (size_t)jr * nx + st;
                    if (two) s.first_pass(&sc.idx[at], fp(sc.fr, at), fp(sc.fc, at), o, L, f, cs, rs, ce, re);
                    else s.segment(o, L, f, cs, rs, ce, re);
                },
                [&](Scratch &sc, int a, int z) {
                    // Rows a..z-1 in one run.  The last columns and the pixels
                    // traced one by one are written after this; their slots
                    // hold values left from an earlier run (or 0): read, then
                    // overwritten.
                    if (two) s.second_pass(sc.idx.data(), fp(sc.fr, 0), fp(sc.fc, 0), blk + (size_t)a * nx, (z - a) * nx);
                },
                [&](int jl, int i, float col, float row) { blk[(size_t)jl * nx + i] = s.remap_pixel(col, row); });
        }
    }
    take_domain(image, dom, out);
    return 1;
}

int SAT_zoom_image(IMG *image, float lat, float lon, float f)
{
    MESS_print(MESS_OUT2, "Zooming image: %2.1fx...\n", f);
    if (!(f > 0) || !std::isfinite(f)) {
        MESS_print(MESS_WARN, "SAT_zoom_image: zoom factor %g is not a positive number; image unchanged\n", f);
        return 0;
    }
    if (!image_ok(image)) return 0;
    int w, h;
    SAT_view_size(&w, &h);
    const int width = image->nx, height = image->ny;
    const double fw = std::floor((double)width * f), fh = std::floor((double)height * f);
    const int nw = fw < w ? (int)fw : w, nh = fh < h ? (int)fh : h;
    MESS_print(MESS_OUT4, "Old image size: %dx%d\n", width, height);
    MESS_print(MESS_OUT4, "New image size: %dx%d\n", nw, nh);
    if (nw < 1 || nh < 1) {
        MESS_print(MESS_WARN, "SAT_zoom_image: zoomed image would be empty; image unchanged\n");
        return 0;
    }
    const float step = 1.0f / f;
    float x0 = 0, y0 = 0, nlat = MISS, nlon = MISS;
    DOM d = image->domain;
    const bool centred = lat != MISS;
    if (image->source == IMG_SRC_AREA && d.proj == DOM_SAT && SAT_get_tran_sat() && AREA_nav_kind() != NAV_NONE) {
        float l = MISS, e = MISS, rc, cc;
        float la = lat, lo = lon;
        // A centre the navigation cannot place zooms from the upper left.
        if (centred && AREA_tran(2, &la, &lo, &l, &e) == 0 && l != MISS && e != MISS) {
            AREA_line_elem(2, &rc, &cc, l, e);
            x0 = cc - nw * 0.5f / f;
            y0 = rc - nh * 0.5f / f;
            nlat = lat;
            nlon = lon;
        } else {
            AREA_line_elem(1, &l, &e, nh / f * 0.5f, nw / f * 0.5f);
            AREA_tran(1, &nlat, &nlon, &l, &e);
        }
        AREA_set_res(y0 * image->res_y + image->off_y, x0 * image->res_x + image->off_x, image->res_y / f,
                     image->res_x / f);
    } else {
        MAP_domain(&d);
        float px, py, cc, rc;
        if (centred && MAP_tran(&px, &py, lat, lon) != 0 && px != MISS) {
            MAP_grid_untran(&cc, &rc, px, py);
            x0 = cc - nw * 0.5f / f;
            y0 = rc - nh * 0.5f / f;
            nlat = lat;
            nlon = lon;
        } else {
            MAP_grid_tran(&px, &py, nw / f * 0.5f, nh / f * 0.5f);
            MAP_untran(&nlat, &nlon, px, py);
        }
    }
    d.nx = nw;
    d.ny = nh;
    d.dx /= f;
    d.dy /= f;
    d.clat = nlat;
    d.clon = nlon;
    MESS_print(MESS_OUT3, "Zoomed image domain: ");
    DOM_print(MESS_OUT3, &d);

    auto *out = (unsigned char *)std::calloc((size_t)nw * nh, 1);
    if (!out) return 0;
    const Sampler s = make_sampler(image);
    const bool avg = SAT_get_pix_ave() != 0;
    // Source rows by accumulation, as the rows are walked.
    std::vector<float> ys(nh);
    float y = y0;
    for (int k = 0; k < nh; ++k, y += step) ys[k] = y;
    parallel_rows(nh, (size_t)nw * nh, [&](int a, int z) {
        for (int k = a; k < z; ++k) {
            const float yy = ys[k];
            if (!(yy >= 0 && yy < height)) continue;
            const int r0 = (int)yy;
            float fy = yy - r0;
            if (!avg) fy = fy > 0.5f ? 1.0f : 0.0f;
            unsigned char *o = out + (size_t)k * nw;
            float x = x0;
            for (int m = 0; m < nw; ++m, x += step) {
                if (!(x >= 0 && x < width)) continue;
                const int c0 = (int)x;
                float fx = x - c0;
                if (!avg) fx = fx > 0.5f ? 1.0f : 0.0f;
                int p[4];
                s.neighbours(r0, c0, p);
                o[m] = (unsigned char)Sampler::blend(p, fy, fx);
            }
        }
    });
    std::free(image->data);
    image->data = out;
    image->nx = nw;
    image->ny = nh;
    image->depth = 8;
    image->bytes_line = nw;
    image->domain = d;
    return 0;
}
