// GIF and PNG coding of a 1920 x 1080 8-bit satellite picture, ours against
// giflib and libpng's simplified API on the same palette indices in the
// same run.  The picture is a real GINI image laid out to 1920 x 1080 when
// the shared data folder is there, else a synthetic cloud field.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <png.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image/anim.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/pngio.h"
#include "image/readers.h"

namespace {

constexpr int W = 1920, H = 1080;

struct Picture {
    std::vector<uint8_t> index;  // W x H values 0..255
    std::string origin;
};

const Picture &picture()
{
    static const Picture pic = [] {
        Picture p;
        p.index.resize((size_t)W * H);
#ifdef ZYR_SHARED_DATA
        const char *dir = ZYR_SHARED_DATA;
#else
        const char *dir = "/work/shared/data";
#endif
        std::string name = std::string(dir) + "/gini/EAST-CONUS_4km_12.0_20050912_0600.gini";
        IMG img;
        IMG_init(&img);
        if (SAT_read_AWIP(name.c_str(), &img) == 0 && img.data && img.nx > 0 && img.ny > 0) {
            // Rows and columns of the real image, repeated where it is smaller.
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++)
                    p.index[(size_t)y * W + x] = img.data[(size_t)(y % img.ny) * img.bytes_line + x % img.nx];
            p.origin = "GINI " + name.substr(name.rfind('/') + 1);
        } else {
            uint32_t s = 1;
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++) {
                    s = s * 1103515245u + 12345u;
                    double v = 120 + 60 * std::sin(x * 0.011) * std::cos(y * 0.017) + 30 * std::sin((x + y) * 0.05);
                    p.index[(size_t)y * W + x] = (uint8_t)(v + ((s >> 16) & 7));
                }
            p.origin = "synthetic";
        }
        IMG_free(&img);
        return p;
    }();
    return pic;
}

// The picture as an 8-bit record without a colour table.
void gray_record(IMG *img)
{
    IMG_init(img);
    img->nx = W;
    img->ny = H;
    img->depth = 8;
    img->bits_pixel = 8;
    img->bytes_line = W;
    img->data = (unsigned char *)malloc((size_t)W * H);
    memcpy(img->data, picture().index.data(), (size_t)W * H);
}

const std::vector<uint8_t> &our_gif()
{
    static const std::vector<uint8_t> bytes = [] {
        IMG img;
        gray_record(&img);
        char name[] = "/tmp/zyrbenchXXXXXX";
        int fd = mkstemp(name);
        close(fd);
        GIF_write(name, &img);
        IMG_free(&img);
        FILE *f = fopen(name, "rb");
        std::vector<uint8_t> out(1 << 24);
        out.resize(fread(out.data(), 1, out.size(), f));
        fclose(f);
        unlink(name);
        return out;
    }();
    return bytes;
}

void set_label(benchmark::State &st)
{
    st.SetLabel(picture().origin);
    st.SetBytesProcessed((int64_t)st.iterations() * W * H);
}

void BM_GifEncode_Ours(benchmark::State &st)
{
    const auto &idx = picture().index;
    std::vector<uint8_t> out;
    for (auto _ : st) {
        out.clear();
        GIF_lzw_encode(idx.data(), W, H, 8, false, &out);
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["bytes"] = (double)out.size();
    set_label(st);
}

int to_vector(GifFileType *gif, const GifByteType *data, int n)
{
    auto *v = (std::vector<uint8_t> *)gif->UserData;
    v->insert(v->end(), data, data + n);
    return n;
}

void BM_GifEncode_Giflib(benchmark::State &st)
{
    const auto &idx = picture().index;
    std::vector<uint8_t> out;
    GifColorType colours[256];
    for (int i = 0; i < 256; i++) colours[i] = {(GifByteType)i, (GifByteType)i, (GifByteType)i};
    for (auto _ : st) {
        out.clear();
        int err;
        GifFileType *gif = EGifOpen(&out, to_vector, &err);
        ColorMapObject *map = GifMakeMapObject(256, colours);
        EGifPutScreenDesc(gif, W, H, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, W, H, false, nullptr);
        for (int y = 0; y < H; y++) EGifPutLine(gif, (GifPixelType *)idx.data() + (size_t)y * W, W);
        EGifCloseFile(gif, &err);
        GifFreeMapObject(map);
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["bytes"] = (double)out.size();
    set_label(st);
}

void BM_GifDecode_Ours(benchmark::State &st)
{
    const auto &gif = our_gif();
    for (auto _ : st) {
        IMG img;
        IMG_init(&img);
        GIF_read_mem(gif.data(), gif.size(), &img, 0, "bench");
        benchmark::DoNotOptimize(img.data);
        IMG_free(&img);
    }
    set_label(st);
}

struct MemIn {
    const std::vector<uint8_t> *v;
    size_t pos;
};

int from_memory(GifFileType *gif, GifByteType *buf, int n)
{
    auto *in = (MemIn *)gif->UserData;
    size_t k = std::min((size_t)n, in->v->size() - in->pos);
    memcpy(buf, in->v->data() + in->pos, k);
    in->pos += k;
    return (int)k;
}

void BM_GifDecode_Giflib(benchmark::State &st)
{
    const auto &gif = our_gif();
    std::vector<uint8_t> rows((size_t)W * H);
    for (auto _ : st) {
        MemIn in{&gif, 0};
        int err;
        GifFileType *g = DGifOpen(&in, from_memory, &err);
        GifRecordType rt;
        while (DGifGetRecordType(g, &rt) == GIF_OK && rt != TERMINATE_RECORD_TYPE) {
            if (rt == IMAGE_DESC_RECORD_TYPE) {
                DGifGetImageDesc(g);
                for (int y = 0; y < H; y++) DGifGetLine(g, rows.data() + (size_t)y * W, W);
                break;
            }
            if (rt == EXTENSION_RECORD_TYPE) {
                int code;
                GifByteType *ext;
                DGifGetExtension(g, &code, &ext);
                while (ext) DGifGetExtensionNext(g, &ext);
            }
        }
        DGifCloseFile(g, &err);
        benchmark::DoNotOptimize(rows.data());
    }
    set_label(st);
}

void BM_PngEncode_Ours(benchmark::State &st)
{
    const auto &idx = picture().index;
    uint8_t rgb[256][3];
    for (int i = 0; i < 256; i++) rgb[i][0] = rgb[i][1] = rgb[i][2] = (uint8_t)i;
    std::vector<uint8_t> out;
    for (auto _ : st) {
        out.clear();
        PNG_encode_indices(idx.data(), W, H, rgb, 256, "bench", &out);
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["bytes"] = (double)out.size();
    set_label(st);
}

void BM_PngEncode_LibpngSimplified(benchmark::State &st)
{
    const auto &idx = picture().index;
    uint8_t colormap[256 * 3];
    for (int i = 0; i < 768; i++) colormap[i] = (uint8_t)(i / 3);
    std::vector<uint8_t> out(8 << 20);
    png_alloc_size_t size = 0;
    for (auto _ : st) {
        png_image image;
        memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        image.width = W;
        image.height = H;
        image.format = PNG_FORMAT_RGB_COLORMAP;
        image.colormap_entries = 256;
        size = out.size();
        png_image_write_to_memory(&image, out.data(), &size, 0, idx.data(), W, colormap);
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["bytes"] = (double)size;
    set_label(st);
}

// A 24-frame loop: the picture with a cloud band drifting across it (each
// frame changes a strip), as 8-bit gray records.
struct LoopFrames {
    std::vector<IMG> imgs;
    std::vector<ANIM_frame> frames;
    LoopFrames()
    {
        imgs.resize(24);
        for (int k = 0; k < 24; k++) {
            IMG &img = imgs[(size_t)k];
            gray_record(&img);
            for (int y = 0; y < H; y++)
                for (int x = 40 * k; x < 40 * k + 120 && x < W; x++) img.data[(size_t)y * W + x] |= 0xC0;
            frames.push_back({&img, k == 23 ? 1.0f : 0.5f});
        }
    }
    ~LoopFrames()
    {
        for (IMG &i : imgs) IMG_free(&i);
    }
};

void anim_bench(benchmark::State &st, int (*write)(const char *, const ANIM_frame *, int))
{
    static LoopFrames loop;
    char name[] = "/tmp/zyrbenchXXXXXX";
    int fd = mkstemp(name);
    close(fd);
    for (auto _ : st) write(name, loop.frames.data(), 24);
    FILE *f = fopen(name, "rb");
    fseek(f, 0, SEEK_END);
    st.counters["bytes"] = (double)ftell(f);
    fclose(f);
    unlink(name);
    st.SetLabel(picture().origin + ", 24 frames");
}

void BM_AnimGif24(benchmark::State &st) { anim_bench(st, ANIM_write_gif); }
void BM_AnimApng24(benchmark::State &st) { anim_bench(st, ANIM_write_apng); }

}  // namespace

BENCHMARK(BM_AnimGif24)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_AnimApng24)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_GifEncode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifEncode_Giflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifDecode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifDecode_Giflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncode_LibpngSimplified)->Unit(benchmark::kMillisecond);
