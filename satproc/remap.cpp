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

#include "satproc/remap_internal.h"

namespace remap_detail {

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
    // Segment ends on the (row, end) grid.  With the margins known, an end
    // whose two segments (and, for the last end, the last column) lie wholly
    // off the image is not traced: those pixels are filled, as they would be
    // sampled off the image anyway.  That saves a third to a half of the
    // tracing where the image covers part of the picture.
    const size_t grid = (size_t)(j1 - j0) * ne;
    std::vector<float> ecol(grid, NaN), erow(grid, NaN);
    std::vector<size_t> traced, skipped;
    auto needed = [&](int j, size_t k) {
        if (c.lo.empty()) return true;
        const int a = ends[k == 0 ? 0 : k - 1], z = k + 1 < ne ? ends[k + 1] - 1 : nx - 1;
        return std::max(a, c.lo[j]) <= std::min(z, c.hi[j]);
    };
    for (int j = j0; j < j1; ++j)
        for (size_t k = 0; k < ne; ++k) (needed(j, k) ? traced : skipped).push_back((size_t)(j - j0) * ne + k);
    auto trace_ends = [&](const std::vector<size_t> &at) {
        b.clear();
        for (size_t g : at) b.add(c.xmin + ends[g % ne] * c.dx, c.ymax - (j0 + (int)(g / ne)) * c.dy);
        trace(c, c.nav, b);
        for (size_t i = 0; i < at.size(); ++i) ecol[at[i]] = b.col[i], erow[at[i]] = b.row[i];
    };
    trace_ends(traced);
    // Fractions of the full segments and of the shortened last one.
    const int Llast = ne > 1 ? ends[ne - 1] - ends[ne - 2] : 0;
    std::vector<float> ffull(N), flast(Llast);
    for (int p = 0; p < N; ++p) ffull[p] = (float)p / (float)N;
    for (int p = 0; p < Llast; ++p) flast[p] = (float)p / (float)Llast;

    auto ok = [&](size_t i) { return usable(ecol[i], erow[i]); };
    // Pixels the footprint puts off the image are not traced, unless a
    // segment end it puts there traces into the image after all.
    bool margins = !c.lo.empty();
    const float wl = (float)(c.img->nx - 1), hl = (float)(c.img->ny - 1);
    for (int j = j0; j < j1 && margins; ++j)
        for (size_t k = 0; k < ne && margins; ++k) {
            const float ec = ecol[(size_t)(j - j0) * ne + k], er = erow[(size_t)(j - j0) * ne + k];
            if (c.off(j, ends[k]) && ec >= 0 && er >= 0 && ec <= wl && er <= hl) margins = false;
        }
    // Margins that missed the image: every end is traced after all, and the
    // block goes on as without margins.
    if (!margins && !skipped.empty()) trace_ends(skipped);
    // Pixels traced one by one (flat indices (row - j0) * nx + column), and
    // runs of pixels off the image (row - j0, first column, length).
    struct Run {
        int row, col, len;
    };
    std::vector<size_t> exact;
    std::vector<Run> blank;
    for (int j = j0; j < j1; ++j) {
        const size_t base = (size_t)(j - j0) * ne;
        for (size_t k = 0; k + 1 < ne; ++k)
            if (!ok(base + k) || !ok(base + k + 1))
                for (int p = ends[k]; p < ends[k + 1]; ++p) {
                    if (!(margins && c.off(j, p))) {
                        exact.push_back((size_t)(j - j0) * nx + p);
                    } else if (!blank.empty() && blank.back().row == j - j0 && blank.back().col + blank.back().len == p) {
                        ++blank.back().len;
                    } else {
                        blank.push_back({j - j0, p, 1});
                    }
                }
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
    for (const Run &r : blank)
        for (int p = r.col; p < r.col + r.len; ++p) one(r.row, p, NaN, NaN);
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
        if (c.lo.empty() || per_pixel) {
            for (int j = j0; j < j1; ++j)
                for (int i = 0; i < nx; ++i) b.add(c.xmin + i * c.dx, c.ymax - j * c.dy);
            trace(c, nav_path, b);
            std::copy(b.col.begin(), b.col.end(), cols);
            std::copy(b.row.begin(), b.row.end(), rows);
            return;
        }
        // Only the columns of each row where the image may lie.
        std::vector<size_t> at;
        for (int j = j0; j < j1; ++j) {
            const size_t row0 = (size_t)(j - j0) * nx;
            std::fill(cols + row0, cols + row0 + nx, NaN);
            std::fill(rows + row0, rows + row0 + nx, NaN);
            for (int i = std::max(0, c.lo[j]); i <= std::min(nx - 1, c.hi[j]); ++i) {
                b.add(c.xmin + i * c.dx, c.ymax - j * c.dy);
                at.push_back(row0 + i);
            }
        }
        trace(c, nav_path, b);
        for (size_t k = 0; k < at.size(); ++k) cols[at[k]] = b.col[k], rows[at[k]] = b.row[k];
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

}  // namespace remap_detail

using namespace remap_detail;

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
    if (const std::shared_ptr<const Table> t = table_for(c, s)) {
        gather(*t, s, out, nx, ny);
        take_domain(image, dom, out);
        return 1;
    }
    if (margins_on()) find_footprint(c, c.step != 0 && c.nav);
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
