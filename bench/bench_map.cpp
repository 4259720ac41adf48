// Speed of the map transforms: points per second through MAP_tran and
// MAP_untran on one core, for the projections image remapping uses most.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "map/dom.h"
#include "map/map.h"

namespace {

struct Case {
    const char *domain;
    float lat0, lat1, lon0, lon1;
};

const Case cases[] = {
    {"ps:60:-105,40,-100,61,41,1,1", 20, 70, -140, -60},
    {"me:0:-30,0,-30,61,41,1,1", -70, 70, -120, 60},
    {"lc:25:-95:25,38,-97,61,37,0.8,0.8", 20, 55, -130, -65},
    {"sat:0:-75,0,-75,131,131,1,1", -50, 50, -120, -30},
    {"sat:e:0:-75:421.64:1,0,-75,131,131,1,1", -50, 50, -120, -30},
};

constexpr int N = 4096;

void install(const Case &c, std::vector<float> *lat, std::vector<float> *lon, std::vector<float> *x,
             std::vector<float> *y)
{
    DOM d;
    DOM_decode(c.domain, &d);
    MAP_domain(&d);
    for (int i = 0; i < N; ++i) {
        lat->push_back(c.lat0 + (c.lat1 - c.lat0) * (float)((i * 37) % N) / N);
        lon->push_back(c.lon0 + (c.lon1 - c.lon0) * (float)((i * 101) % N) / N);
        float px, py;
        MAP_tran(&px, &py, lat->back(), lon->back());
        x->push_back(px);
        y->push_back(py);
    }
}

void BM_tran(benchmark::State &state)
{
    std::vector<float> lat, lon, x, y;
    install(cases[state.range(0)], &lat, &lon, &x, &y);
    state.SetLabel(cases[state.range(0)].domain);
    for (auto _ : state) {
        for (int i = 0; i < N; ++i) MAP_tran(&x[i], &y[i], lat[i], lon[i]);
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * N);
}

void BM_untran(benchmark::State &state)
{
    std::vector<float> lat, lon, x, y;
    install(cases[state.range(0)], &lat, &lon, &x, &y);
    state.SetLabel(cases[state.range(0)].domain);
    for (auto _ : state) {
        for (int i = 0; i < N; ++i) MAP_untran(&lat[i], &lon[i], x[i], y[i]);
        benchmark::DoNotOptimize(lat.data());
    }
    state.SetItemsProcessed(state.iterations() * N);
}

}  // namespace

BENCHMARK(BM_tran)->DenseRange(0, 4);
BENCHMARK(BM_untran)->DenseRange(0, 4);

// ---- the map overlay ----

namespace {

std::string bundled(const char *name) { return std::string(ZYR_DATA_DIR) + "/" + name; }

// Points in a big-endian map file (counted by reading it once).
long count_points(const std::string &path, std::vector<float> *lat, std::vector<float> *lon)
{
    FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp) return 0;
    unsigned char h[22];
    long total = 0;
    while (std::fread(h, 1, 22, fp) == 22) {
        int n = (int16_t)((h[0] << 8) | h[1]);
        if (n <= 0) break;
        for (int i = 0; i < n; ++i) {
            unsigned char p[8];
            if (std::fread(p, 1, 8, fp) != 8) break;
            auto f = [](const unsigned char *b) {
                uint32_t u = (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
                float v;
                std::memcpy(&v, &u, 4);
                return v;
            };
            lat->push_back(f(p));
            lon->push_back(f(p + 4));
        }
        total += n;
    }
    std::fclose(fp);
    return total;
}

void null_sink(int n, const float *pts, int) { benchmark::DoNotOptimize(pts[2 * n - 1]); }

// MAP_map on the 10m world coast: read, transform, break lines (the drawing
// itself goes to a sink that only touches the last point).
void BM_map_world_coast(benchmark::State &state)
{
    std::vector<float> lat, lon;
    std::string path = bundled("maps/land-10m.map");
    long n = count_points(path, &lat, &lon);
    DOM d;
    DOM_decode("mo,0,0,129,65,2,2", &d);
    MAP_domain(&d);
    MAP_set_line_sink(null_sink);
    for (auto _ : state) {
        FILE *fp = std::fopen(path.c_str(), "rb");
        MAP_map(fp);
        std::fclose(fp);
    }
    MAP_set_line_sink(nullptr);
    state.SetItemsProcessed(state.iterations() * n);
}

// MAP_tran alone over the same points, for the ratio.
void BM_tran_world_coast(benchmark::State &state)
{
    std::vector<float> lat, lon;
    long n = count_points(bundled("maps/land-10m.map"), &lat, &lon);
    DOM d;
    DOM_decode("mo,0,0,129,65,2,2", &d);
    MAP_domain(&d);
    float x, y;
    for (auto _ : state) {
        for (long i = 0; i < n; ++i) {
            MAP_tran(&x, &y, lat[i], lon[i]);
            benchmark::DoNotOptimize(x);
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The ladder for a WEST-CONUS-like Lambert frame and for a world view, and
// the fixed world default: time of one overlay (lines to a sink).
void BM_overlay(benchmark::State &state)
{
    const char *doms[] = {"lc:25:-95:25,37,-114,1100,1100,0.04,0.04", "ll,0,0,361,181,1,1", "ll,0,0,361,181,1,1"};
    const char *lists[] = {"fi:maps/ladder.lst", "fi:maps/ladder.lst", "cont.map,country.map"};
    int k = (int)state.range(0);
    DOM d;
    DOM_decode(doms[k], &d);
    MAP_setup(&d);
    MAP_file(lists[k]);
    MAP_set_line_sink(null_sink);
    for (auto _ : state) MAP_draw(4);
    MAP_set_line_sink(nullptr);
    state.SetLabel(std::string(doms[k]) + " " + lists[k]);
}

}  // namespace

BENCHMARK(BM_map_world_coast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_tran_world_coast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_overlay)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
