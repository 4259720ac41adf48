// AREA and ZYRIMG speed.  Reading a 10000 x 10000 plain AREA is compared,
// in the same benchmark, with one fread of the whole file into a freshly
// allocated buffer (page faults dominate both); the "ratio" counter is AREA
// time over fread time.  The framed decoder is measured in output bytes per
// second on a stream made by tools/make_area.py.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "image/area.h"
#include "image/img.h"

namespace {

using Clock = std::chrono::steady_clock;

// A plain big-endian AREA file: directory, a 512-byte navigation block and
// nx * ny bytes of data.
std::string write_plain_area(int nx, int ny)
{
    std::string path = "/tmp/zyrbench_area_" + std::to_string(getpid());
    FILE *f = std::fopen(path.c_str(), "wb");
    unsigned char head[768] = {};
    auto word = [&](int i, uint32_t v) {
        for (int k = 0; k < 4; k++) head[4 * i + k] = (unsigned char)(v >> (24 - 8 * k));
    };
    word(1, 4);
    word(3, 104191);
    word(4, 142500);
    word(8, (uint32_t)ny);
    word(9, (uint32_t)nx);
    word(10, 1);
    word(33, 768);
    std::memcpy(head + 256, "RECT", 4);
    std::fwrite(head, 1, sizeof head, f);
    std::vector<unsigned char> row((size_t)nx);
    for (int y = 0; y < ny; y++) {
        for (int x = 0; x < nx; x++) row[(size_t)x] = (unsigned char)(x + y);
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    return path;
}

double seconds_since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void BM_AreaReadVsFread(benchmark::State &state)
{
    const int n = (int)state.range(0);
    const std::string path = write_plain_area(n, n);
    double area_total = 0, fread_total = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        FILE *f = std::fopen(path.c_str(), "rb");
        AREA_REC area{};
        SAT_read_AREA(f, &area);
        std::fclose(f);
        benchmark::DoNotOptimize(area.data);
        AREA_free(&area);
        double ta = seconds_since(t0);

        t0 = Clock::now();
        f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::rewind(f);
        auto *buf = (unsigned char *)std::malloc((size_t)size);
        size_t got = std::fread(buf, 1, (size_t)size, f);
        benchmark::DoNotOptimize(got);
        benchmark::DoNotOptimize(buf);
        std::free(buf);
        std::fclose(f);
        double tf = seconds_since(t0);
        state.SetIterationTime(ta);
        area_total += ta;
        fread_total += tf;
    }
    state.counters["fread_ms"] = 1000 * fread_total / (double)state.iterations();
    state.counters["ratio"] = area_total / fread_total;
    state.SetBytesProcessed((int64_t)state.iterations() * n * n);
    std::remove(path.c_str());
}
BENCHMARK(BM_AreaReadVsFread)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FramedDecode(benchmark::State &state)
{
    const int nx = 4000, ny = 1000;
    std::string path = "/tmp/zyrbench_framed_" + std::to_string(getpid());
    std::string cmd = "python3 " ZYR_DATA_DIR "/../tools/make_area.py " + path + " --nx " +
                      std::to_string(nx) + " --ny " + std::to_string(ny) +
                      " --framed --pattern smooth >/dev/null";
    if (std::system(cmd.c_str()) != 0) {
        state.SkipWithError("python3 tools/make_area.py failed");
        return;
    }
    FILE *f = std::fopen(path.c_str(), "rb");
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    for (size_t k; (k = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + k);
    std::fclose(f);
    std::remove(path.c_str());
    for (auto _ : state) {
        FILE *m = fmemopen(bytes.data(), bytes.size(), "rb");
        AREA_REC area{};
        SAT_read_AREA(m, &area);
        benchmark::DoNotOptimize(area.data);
        AREA_free(&area);
        std::fclose(m);
    }
    state.counters["stream_MB"] = (double)bytes.size() / 1e6;
    state.SetBytesProcessed((int64_t)state.iterations() * nx * ny);
}
BENCHMARK(BM_FramedDecode)->Unit(benchmark::kMillisecond);

void BM_ZyrimgCompressedRoundTrip(benchmark::State &state)
{
    const int n = 5000;
    IMG img;
    IMG_init(&img);
    img.nx = img.ny = img.bytes_line = n;
    img.depth = 8;
    img.data = (unsigned char *)std::malloc((size_t)n * n);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) img.data[(size_t)y * n + x] = (unsigned char)((x / 7 + y / 5) & 0xFF);
    std::string path = "/tmp/zyrbench_zyr_" + std::to_string(getpid());
    double write_total = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        IMG_write(path.c_str(), &img, 1);
        write_total += seconds_since(t0);
        IMG back;
        IMG_read_zyr(path.c_str(), &back, 0);
        benchmark::DoNotOptimize(back.data);
        IMG_free(&back);
    }
    state.counters["write_ms"] = 1000 * write_total / (double)state.iterations();
    std::remove(path.c_str());
    IMG_free(&img);
}
BENCHMARK(BM_ZyrimgCompressedRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace
