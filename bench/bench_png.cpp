// PNG compression settings on real frames: each palette PNG named in
// ZYR_PNG_FRAMES (colon-separated; bench/bench_png.sh draws them) is read
// once and encoded with every trial setting; the "KB" counter is the file
// size.  The setting the writers use is PNG_DUMP_DEFLATE (image/pngio.h).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/img.h"
#include "image/pngio.h"

namespace {

struct Frame {
    std::string name;
    int w = 0, h = 0;
    std::vector<uint8_t> index;
    uint8_t rgb[256][3] = {};
};

struct Trial {
    const char *name;
    PNG_deflate how;
};
const Trial kTrials[] = {
    {"rle_none", {1, Z_RLE, PNG_ROW_FILTER_NONE}},   {"rle_up", {1, Z_RLE, PNG_ROW_FILTER_UP}},
    {"l1_none", {1, Z_DEFAULT_STRATEGY, PNG_ROW_FILTER_NONE}}, {"l1_up", {1, Z_DEFAULT_STRATEGY, PNG_ROW_FILTER_UP}},
    {"l3_none", {3, Z_DEFAULT_STRATEGY, PNG_ROW_FILTER_NONE}},
    {"l6_none", {6, Z_DEFAULT_STRATEGY, PNG_ROW_FILTER_NONE}}, {"l9_none", {9, Z_DEFAULT_STRATEGY, PNG_ROW_FILTER_NONE}},
};

std::vector<Frame> &frames()
{
    static std::vector<Frame> all;
    return all;
}

bool load(const std::string &path, Frame *f)
{
    IMG img;
    if (PNG_read(path.c_str(), &img, 0) != 1) return false;
    bool ok = img.indexed && img.depth == 8 && img.bytes_line == img.nx;
    if (ok) {
        f->name = path.substr(path.find_last_of('/') + 1);
        f->w = img.nx;
        f->h = img.ny;
        f->index.assign(img.data, img.data + (size_t)img.nx * img.ny);
        for (int i = 0; i < img.ncolors && i < 256; i++)
            for (int c = 0; c < 3; c++) f->rgb[i][c] = (uint8_t)(img.cmap[3 * i + c] * 255.0f + 0.5f);
    }
    IMG_free(&img);
    return ok;
}

void encode(benchmark::State &st, const Frame *f, PNG_deflate how)
{
    std::vector<uint8_t> out;
    out.reserve(f->index.size() / 4);
    for (auto _ : st) {
        out.clear();
        PNG_encode_indices_with(f->index.data(), f->w, f->h, f->rgb, 256, "bench", how, &out);
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["KB"] = (double)out.size() / 1024.0;
}

int register_all()
{
    const char *list = std::getenv("ZYR_PNG_FRAMES");
    if (!list || !*list) {
        std::fprintf(stderr, "bench_png: set ZYR_PNG_FRAMES to palette PNG files (bench/bench_png.sh does)\n");
        return 0;
    }
    std::string s = list;
    for (size_t at = 0; at <= s.size();) {
        size_t end = s.find(':', at);
        if (end == std::string::npos) end = s.size();
        Frame f;
        if (end > at && load(s.substr(at, end - at), &f)) frames().push_back(std::move(f));
        else if (end > at) std::fprintf(stderr, "bench_png: not an 8-bit palette PNG: %s\n", s.substr(at, end - at).c_str());
        at = end + 1;
    }
    for (const Frame &f : frames())
        for (const Trial &t : kTrials)
            benchmark::RegisterBenchmark((f.name + "/" + t.name).c_str(), encode, &f, t.how)->Unit(benchmark::kMillisecond);
    return 0;
}

const int registered = register_all();

}  // namespace
