// Colouring a full-disk sized image (5424 x 5424 bytes) through the
// enhancement: plain lookup, 3x3 and 5x5 dither and a fill pattern, with a
// memcpy of the same bytes as the yardstick.  Also the text rates of the
// plot layer: attribute strings and label formats.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/res.h"
#include "gks/attrib.h"
#include "gks/clr.h"
#include "plot/plt.h"
#include "satproc/enh.h"

namespace {

constexpr int N = 5424;

std::vector<uint8_t> &source()
{
    static std::vector<uint8_t> img = [] {
        std::vector<uint8_t> v((size_t)N * N);
        uint32_t s = 12345;
        for (auto &b : v) s = s * 1664525u + 1013904223u, b = (uint8_t)(s >> 24);
        return v;
    }();
    return img;
}

void setup(const char *fill)
{
    static bool table = [] {
        CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
        return true;
    }();
    (void)table;
    SAT_set_device_class(0);
    SAT_set_dither(0);
    RES_put("color_fill", fill);
    SAT_color_setup();
}

void run(benchmark::State &state)
{
    std::vector<uint8_t> work(source().size());
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), source().data(), work.size());
        state.ResumeTiming();
        SAT_color_pixels(work.data(), N, N, N);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)work.size());
}

void BM_memcpy(benchmark::State &state)
{
    std::vector<uint8_t> work(source().size());
    for (auto _ : state) {
        std::memcpy(work.data(), source().data(), work.size());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)work.size());
}

void BM_color_plain(benchmark::State &state)
{
    setup("ir_clouds");
    SAT_set_fill(0, nullptr);
    run(state);
}

void BM_color_dither3(benchmark::State &state)
{
    setup("0:black,64:red%3blue,128:green%6white,192:white");
    SAT_set_fill(0, nullptr);
    run(state);
}

void BM_color_dither5(benchmark::State &state)
{
    setup("0:black,64:red%fblue,128:green%tblue,192:white");
    SAT_set_fill(0, nullptr);
    run(state);
}

void BM_color_fill(benchmark::State &state)
{
    setup("ir_grey");
    SAT_set_fill(9, nullptr);
    run(state);
    SAT_set_fill(0, nullptr);
}

void BM_attrib_parse(benchmark::State &state)
{
    setup("ir_grey");
    const char *texts[] = {"red:wi=2:st=dsh", "w2:s3", "blue:fi=//:sc=1.5:te=0.8", "white:h2:e1.5:f3"};
    size_t k = 0;
    for (auto _ : state) {
        ATTRIB a;
        ATTRIB_init(&a);
        ATTRIB_parse(texts[k++ & 3], &a);
        benchmark::DoNotOptimize(a);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_label_format(benchmark::State &state)
{
    DATE d = {2024, 3, 5, -9999, -9999, 7, 9, 0};
    PLT_label_date(&d);
    PLT_label_for_time(36);
    char out[PLT_LABEL_SIZE];
    for (auto _ : state) {
        PLT_label_format("GOES_IR_%b_%d,_%y_%h%nZ_%D_%V", out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_color_plain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_color_dither3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_color_dither5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_color_fill)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_attrib_parse);
BENCHMARK(BM_label_format);
