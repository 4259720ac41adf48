// Differential fuzzing of the GIF coder: the bytes make a palette image
// (first two bytes the width and code size, then the pixels), our coder
// writes it, and both our decoder and giflib must give back the pixels.
#include <gif_lib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "image/gif.h"
#include "image/img.h"

namespace {

struct MemIn {
    const std::vector<uint8_t> *v;
    size_t pos;
};

int from_memory(GifFileType *gif, GifByteType *buf, int n)
{
    auto *in = (MemIn *)gif->UserData;
    size_t k = in->v->size() - in->pos < (size_t)n ? in->v->size() - in->pos : (size_t)n;
    memcpy(buf, in->v->data() + in->pos, k);
    in->pos += k;
    return (int)k;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    if (size < 3) return 0;
    const int w = 1 + data[0] % 64;
    const int code_size = 2 + data[1] % 7;
    const bool interlace = data[1] & 0x80;
    const size_t n = size - 2;
    const int h = (int)((n + w - 1) / w);
    std::vector<uint8_t> idx((size_t)w * h, 0);
    for (size_t i = 0; i < n; i++) idx[i] = data[2 + i] & ((1u << code_size) - 1);

    // A whole file: header, global table, image descriptor, our LZW data.
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h,
                                (uint8_t)(h >> 8), (uint8_t)(0x80 | 7 * 17), 0, 0};
    for (int i = 0; i < 256 * 3; i++) gif.push_back((uint8_t)i);
    const uint8_t desc[] = {0x2C, 0, 0, 0, 0, (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h, (uint8_t)(h >> 8),
                            (uint8_t)(interlace ? 0x40 : 0)};
    gif.insert(gif.end(), desc, desc + sizeof desc);
    GIF_lzw_encode(idx.data(), w, h, code_size, interlace, &gif);
    gif.push_back(';');

    IMG img;
    IMG_init(&img);
    if (GIF_read_mem(gif.data(), gif.size(), &img, 0, "diff") != 1) abort();
    if (memcmp(img.data, idx.data(), idx.size()) != 0) abort();
    IMG_free(&img);

    MemIn in{&gif, 0};
    int err;
    GifFileType *g = DGifOpen(&in, from_memory, &err);
    if (!g || DGifSlurp(g) != GIF_OK || g->ImageCount < 1) abort();
    if (memcmp(g->SavedImages[0].RasterBits, idx.data(), idx.size()) != 0) {
        // giflib's slurp keeps interlaced rows in file order.
        if (!interlace) abort();
        for (int r = 0; r < h; r++)
            if (memcmp(g->SavedImages[0].RasterBits + (size_t)r * w,
                       idx.data() + (size_t)GIF_interlace_row(r, h) * w, w) != 0)
                abort();
    }
    DGifCloseFile(g, &err);
    return 0;
}
