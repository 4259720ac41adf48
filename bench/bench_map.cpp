// Speed of the map transforms: points per second through MAP_tran and
// MAP_untran on one core, for the projections image remapping uses most.
#include <benchmark/benchmark.h>

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
