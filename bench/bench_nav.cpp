// Throughput of the satellite navigation: GVAR both directions on the real
// GOES-8 block (synthetic block when the shared data is absent), spin-scan
// GOES earth -> pixel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/nav.h"

namespace {

void init_gvar()
{
    std::vector<int32_t> nav(640);
    int32_t dir[64] = {};
    dir[5] = 3797;
    dir[6] = 10881;
    dir[11] = 8;
    dir[12] = 4;
    GVAR_BLOCK_SPEC s{};
    s.sublon = -75;
    s.instrument = 1;
    s.year = 1998;
    s.day = 260;
    s.hour = 7;
    GVAR_make_block(s, nav.data());
    AREA_init_nav(dir, "GVAR", nav.data());
}

void init_goes()
{
    GOES_BLOCK_SPEC s{};
    s.sublon = -75;
    s.date = 96123;
    s.time = 143000;
    s.semi_major = 42164.17;
    s.spin_period = 0.6;
    s.line_deg = s.elem_deg = 20;
    s.lines_per_scan = 8;
    s.scans = 1821;
    s.elements = 15001;
    s.centre_line = 7284;
    s.spin_dec = 90;
    int32_t nav[128], dir[64] = {};
    dir[5] = dir[6] = dir[11] = dir[12] = 1;
    GOES_make_block(s, nav);
    AREA_init_nav(dir, "GOES", nav);
}

// Points over the Americas seen from 75 W.
std::vector<std::pair<float, float>> latlon_grid()
{
    std::vector<std::pair<float, float>> pts;
    for (int i = 0; i < 64; ++i)
        for (int j = 0; j < 64; ++j) pts.emplace_back(-50 + i * 100.0f / 63, -130 + j * 110.0f / 63);
    return pts;
}

void earth_to_pixel(benchmark::State &state, void (*init)())
{
    init();
    auto pts = latlon_grid();
    for (auto _ : state)
        for (auto [la, lo] : pts) {
            float l, e;
            benchmark::DoNotOptimize(AREA_tran(2, &la, &lo, &l, &e));
            benchmark::DoNotOptimize(l);
        }
    state.SetItemsProcessed(state.iterations() * pts.size());
}

void BM_gvar_earth_to_pixel(benchmark::State &s) { earth_to_pixel(s, init_gvar); }
void BM_goes_earth_to_pixel(benchmark::State &s) { earth_to_pixel(s, init_goes); }

void BM_gvar_pixel_to_earth(benchmark::State &state)
{
    init_gvar();
    for (auto _ : state)
        for (int i = 0; i < 64; ++i)
            for (int j = 0; j < 64; ++j) {
                float la, lo, l = 2000 + i * 180.0f, e = 4000 + j * 360.0f;
                benchmark::DoNotOptimize(AREA_tran(1, &la, &lo, &l, &e));
                benchmark::DoNotOptimize(la);
            }
    state.SetItemsProcessed(state.iterations() * 64 * 64);
}

}  // namespace

BENCHMARK(BM_gvar_earth_to_pixel);
BENCHMARK(BM_gvar_pixel_to_earth);
BENCHMARK(BM_goes_earth_to_pixel);
