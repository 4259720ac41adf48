// Remapping speed: a 3712 x 3712 noise image in the satellite view (scan
// angles, ellipsoid, 421.64) onto a 2000 x 2000 latitude/longitude grid of
// 0.06 degrees, against a plain gather through a precomputed index table and
// against gdalwarp on the same pixels as a +proj=geos GeoTIFF (CPU time of
// the child process, best of 3, printed once).  A 5424 x 5424 disc onto 1920 x 1080 and its
// zoom complete the set, with the stepped trace's distance from the
// per-pixel trace.  The remap is timed as a loop's first frame pays it
// (traced, with and without its margins filled untraced) and as a later
// frame does (gathered through the table the first one built): the latter
// against the plain gather.  ZYR_THREADS=1 gives the one-thread figures (CPU time is
// the calling thread's: compare threaded runs by their wall time).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "map/map.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"

namespace {

constexpr double H = 35785831.0;  // satellite height above the equator, m

IMG make_disc(int n, double angle_per_pixel)
{
    IMG img;
    IMG_init(&img);
    img.nx = img.ny = img.bytes_line = n;
    img.depth = 8;
    img.source = IMG_SRC_ZYR;
    img.data = (unsigned char *)std::malloc((size_t)n * n);
    std::mt19937 rng(1);
    for (size_t i = 0; i < (size_t)n * n; ++i) img.data[i] = (unsigned char)(rng() & 255);
    DOM &d = img.domain;
    DOM_init(&d);
    d.proj = DOM_SAT;
    d.plat = 0;
    d.plon = 0;
    d.parm[0] = 421.64f;
    d.parm[1] = 1.0f;
    d.ellipsoid = 1;
    d.clat = 0;
    d.clon = 0;
    d.nx = d.ny = n;
    d.dx = d.dy = (float)(angle_per_pixel * 421.64);
    return img;
}

DOM latlon(int nx, int ny, float dx, float dy)
{
    DOM d;
    DOM_init(&d);
    d.proj = DOM_LATLON;
    d.clat = d.clon = 0;
    d.nx = nx;
    d.ny = ny;
    d.dx = dx;
    d.dy = dy;
    return d;
}

struct Case {
    IMG src;
    DOM out;
    std::vector<uint32_t> index;  // gather table, UINT32_MAX where nothing traces
};

Case &seviri()
{
    static Case c = [] {
        MESS_set(0, 0xFF);
        Case k{make_disc(3712, 3000.403 / H), latlon(2000, 2000, 0.06f, 0.06f), {}};
        return k;
    }();
    return c;
}

Case &disc5424()
{
    static Case c = [] {
        MESS_set(0, 0xFF);
        Case k{make_disc(5424, 2000.0 / H), latlon(1920, 1080, 0.0625f, 0.0625f), {}};
        return k;
    }();
    return c;
}

void build_index(Case &c)
{
    if (!c.index.empty()) return;
    const int nx = c.out.nx, ny = c.out.ny;
    c.index.assign((size_t)nx * ny, UINT32_MAX);
    std::vector<float> cols(nx), rows(nx);
    SAT_set_remap_inc(0);
    for (int j = 0; j < ny; ++j) {
        SAT_remap_positions(&c.src, &c.out, j, 0, cols.data(), rows.data());
        for (int i = 0; i < nx; ++i)
            if (cols[i] >= 0 && rows[i] >= 0 && cols[i] <= c.src.nx - 1 && rows[i] <= c.src.ny - 1)
                c.index[(size_t)j * nx + i] = (uint32_t)std::lround(rows[i]) * c.src.nx + (uint32_t)std::lround(cols[i]);
    }
}

// How a remap finds its pixels: traced afresh every time (the first frame
// of a loop), with or without the margins filled untraced, or gathered
// through the table an earlier frame built.
enum class Way { trace, trace_no_margins, table };

void run_remap(benchmark::State &state, Case &c, int inc, int ave, Way way = Way::trace)
{
    SAT_set_tran_sat(0);
    SAT_set_remap_inc(inc);
    SAT_set_pix_ave(ave);
    SAT_remap_set_reuse(way == Way::table);
    SAT_remap_set_margins(way != Way::trace_no_margins);
    bool cold = way == Way::table;
    for (auto _ : state) {
        state.PauseTiming();
        IMG img;
        IMG_copy(&img, &c.src);
        DOM d = c.out;
        // The table is built before the first timed round.
        if (cold) {
            cold = false;
            IMG warm;
            IMG_copy(&warm, &c.src);
            SAT_remap_image(&warm, &d);
            IMG_free(&warm);
            d = c.out;
        }
        state.ResumeTiming();
        SAT_remap_image(&img, &d);
        benchmark::DoNotOptimize(img.data);
        state.PauseTiming();
        IMG_free(&img);
        state.ResumeTiming();
    }
}

void run_gather(benchmark::State &state, Case &c)
{
    build_index(c);
    // Same conditions as the remap: a fresh copy of the source every round
    // (the remap consumes its input) and a fresh output buffer.
    for (auto _ : state) {
        state.PauseTiming();
        IMG img;
        IMG_copy(&img, &c.src);
        const unsigned char *src = img.data;
        state.ResumeTiming();
        auto *out = (unsigned char *)std::malloc(c.index.size());
        for (size_t i = 0; i < c.index.size(); ++i) out[i] = c.index[i] == UINT32_MAX ? 0 : src[c.index[i]];
        benchmark::DoNotOptimize(out);
        std::free(out);
        state.PauseTiming();
        IMG_free(&img);
        state.ResumeTiming();
    }
}

void BM_remap_near_inc20(benchmark::State &s) { run_remap(s, seviri(), 20, 0); }
void BM_remap_near_inc20_no_margins(benchmark::State &s) { run_remap(s, seviri(), 20, 0, Way::trace_no_margins); }
void BM_remap_bilinear_inc20_no_margins(benchmark::State &s) { run_remap(s, seviri(), 20, 1, Way::trace_no_margins); }
void BM_remap_near_exact_no_margins(benchmark::State &s) { run_remap(s, seviri(), 0, 0, Way::trace_no_margins); }
void BM_remap_near_table(benchmark::State &s) { run_remap(s, seviri(), 20, 0, Way::table); }
void BM_remap_bilinear_table(benchmark::State &s) { run_remap(s, seviri(), 20, 1, Way::table); }
void BM_remap_bilinear_inc20(benchmark::State &s) { run_remap(s, seviri(), 20, 1); }
void BM_remap_near_exact(benchmark::State &s) { run_remap(s, seviri(), 0, 0); }
void BM_gather(benchmark::State &s) { run_gather(s, seviri()); }
void BM_disc5424_remap_near_inc20(benchmark::State &s) { run_remap(s, disc5424(), 20, 0); }
void BM_disc5424_gather(benchmark::State &s) { run_gather(s, disc5424()); }

void BM_disc5424_zoom(benchmark::State &state)
{
    Case &c = disc5424();
    RES_put("geometry", "1920x1080");
    SAT_set_pix_ave(0);
    for (auto _ : state) {
        state.PauseTiming();
        IMG img;
        IMG_copy(&img, &c.src);
        state.ResumeTiming();
        SAT_zoom_image(&img, -9999, -9999, 1080.0f / 5424);
        benchmark::DoNotOptimize(img.data);
        state.PauseTiming();
        IMG_free(&img);
        state.ResumeTiming();
    }
}

// How far the stepped trace (remap_inc 20) strays from the per-pixel trace
// by the same path, over every output pixel of the main case: the largest
// and the 99.9th percentile distance in source pixels (the larger of the
// column and row differences), and the share of nearest picks that differ.
void BM_stepped_trace_error(benchmark::State &state)
{
    Case &c = seviri();
    SAT_set_tran_sat(0);
    SAT_set_remap_inc(20);
    const int nx = c.out.nx;
    std::vector<float> sc(nx), sr(nx), pc(nx), pr(nx), diffs;
    size_t flips = 0;
    auto nearest = [](float v) { return (int)v + (v - (int)v > 0.5f); };  // the remap's rounding, 0.5 down
    for (auto _ : state) {
        diffs.clear();
        flips = 0;
        for (int j = 0; j < c.out.ny; ++j) {
            SAT_remap_positions(&c.src, &c.out, j, 0, sc.data(), sr.data());
            SAT_remap_positions(&c.src, &c.out, j, 1, pc.data(), pr.data());
            for (int i = 0; i < nx; ++i) {
                if (std::isnan(pc[i]) || std::isnan(sc[i])) continue;
                diffs.push_back(std::max(std::fabs(sc[i] - pc[i]), std::fabs(sr[i] - pr[i])));
                flips += nearest(sc[i]) != nearest(pc[i]) || nearest(sr[i]) != nearest(pr[i]);
            }
        }
    }
    std::sort(diffs.begin(), diffs.end());
    if (diffs.empty()) return;
    state.counters["max_px"] = diffs.back();
    state.counters["p999_px"] = diffs[(size_t)(diffs.size() * 0.999)];
    state.counters["flipped_pct"] = 100.0 * (double)flips / (double)diffs.size();
}

// gdalwarp on the same pixels: PGM -> GeoTIFF with the geos extent (pixel
// centres at +-(n-1)/2 spacings, so the edges lie half a spacing further).
double gdalwarp_ms(const char *resampling, const char *extra)
{
    static bool made = false;
    Case &c = seviri();
    const char *pgm = "/dev/shm/zyr_bench_src.pgm", *tif = "/dev/shm/zyr_bench_src.tif";
    if (!made) {
        FILE *f = std::fopen(pgm, "wb");
        if (!f) return -1;
        std::fprintf(f, "P5\n%d %d\n255\n", c.src.nx, c.src.ny);
        std::fwrite(c.src.data, 1, (size_t)c.src.nx * c.src.ny, f);
        std::fclose(f);
        double e = c.src.nx / 2.0 * 3000.403;
        char cmd[1024];
        std::snprintf(cmd, sizeof cmd,
                      "gdal_translate -q -a_srs '+proj=geos +h=35785831 +a=6378137 +b=6356752.31414 +lon_0=0 "
                      "+sweep=y' -a_ullr %.3f %.3f %.3f %.3f %s %s",
                      -e, e, e, -e, pgm, tif);
        if (std::system(cmd) != 0) return -1;
        made = true;
    }
    double best = 1e30;
    for (int k = 0; k < 3; ++k) {
        char cmd[1024];
        std::snprintf(cmd, sizeof cmd,
                      "gdalwarp -q -overwrite -r %s %s -wo NUM_THREADS=1 -t_srs EPSG:4326 -te -60 -60 60 60 "
                      "-ts 2000 2000 %s /dev/shm/zyr_bench_out.tif",
                      resampling, extra, tif);
        // CPU time of the child (user + system): on a shared machine the
        // wall clock says more about the neighbours than about gdalwarp.
        auto cpu = [] {
            rusage u;
            getrusage(RUSAGE_CHILDREN, &u);
            return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
        };
        double t0 = cpu();
        if (std::system(cmd) != 0) return -1;
        best = std::min(best, cpu() - t0);
    }
    return best;
}

void BM_gdalwarp_reference(benchmark::State &state)
{
    double near = gdalwarp_ms("near", ""), bil = gdalwarp_ms("bilinear", ""), et0 = gdalwarp_ms("near", "-et 0");
    for (auto _ : state) benchmark::DoNotOptimize(near);
    state.counters["near_ms"] = near;
    state.counters["bilinear_ms"] = bil;
    state.counters["near_et0_ms"] = et0;
    std::remove("/dev/shm/zyr_bench_out.tif");
}

}  // namespace

BENCHMARK(BM_remap_near_inc20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_near_inc20_no_margins)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_bilinear_inc20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_bilinear_inc20_no_margins)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_near_exact)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_near_exact_no_margins)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_near_table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_remap_bilinear_table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gather)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_disc5424_remap_near_inc20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_disc5424_gather)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_disc5424_zoom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_stepped_trace_error)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_gdalwarp_reference)->Unit(benchmark::kMillisecond)->Iterations(1);
