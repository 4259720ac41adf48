// Shared by the remap's files: the tracing context, the worker threads and
// the sampler that turns a source position into an output byte.  Not for
// other modules.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "core/workers.h"
#include "image/img.h"
#include "map/map.h"
#include "map/proj.h"

namespace remap_detail {

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
    // Where the image may lie: per picture row, the first and last columns
    // that may trace into it (remap_margin.cpp).  Empty: anywhere.
    std::vector<int> lo, hi;
    bool off(int j, int i) const { return !lo.empty() && (i < lo[j] || i > hi[j]); }
};

Ctx make_ctx(const IMG *image, const DOM *dom);
// Fills c.lo and c.hi from the image's outline carried onto the picture
// (through the navigation when nav_path is set, else the image domain);
// leaves them empty when the outline cannot be found.
void find_footprint(Ctx &c, bool nav_path);

// Worker threads (core/workers.h).  Each works on its own share of points
// or rows and writes only there; the projection objects and the navigation
// are only read by them, so the result is the same for any number of
// threads.  ZYR_THREADS=1 (or any number) fixes the count.
inline int thread_count(size_t work) { return WORK_thread_count(work); }

// Rows in chunks taken by the threads as they come free: the cost of a row
// varies across the picture (tracing off the image is cheap).
template <class F>
void parallel_rows(int rows, size_t work, F f)
{
    WORK_row_chunks(rows, thread_count(work), f);
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
void trace(const Ctx &c, bool nav_path, Batch &b);
// Source positions of rows j0..j1-1 into cols/rows (row-major, nx per row).
void block_positions(const Ctx &c, int j0, int j1, bool per_pixel, float *cols, float *rows, Batch &b);

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

Sampler make_sampler(const IMG *image);

// The index table of a remap (remap_table.cpp): the one kept when its key
// matches the context's, else a new one, built now; nullptr when reuse is
// off or the remap cannot go through a table.
struct Table;
// A new table's margins are found (find_footprint) into c.
std::shared_ptr<const Table> table_for(Ctx &c, const Sampler &s);
// Whether margins are found (SAT_remap_set_margins).
bool margins_on();
// The output pixels (nx * ny bytes) from the table and the source.
void gather(const Table &t, const Sampler &s, unsigned char *out, int nx, int ny);
bool image_ok(const IMG *image);

}  // namespace remap_detail
