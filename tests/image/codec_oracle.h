// Oracles of the image tests: ImageMagick's convert and python3's PIL turn a
// file into plain RGB bytes; small builders make image records of every
// layout the writers take, and read records back as the readers fill them.
#pragma once

#include <cmath>
#include <cstring>

#include "../test_support.h"
#include "image/img.h"
#include "image/imgpal.h"
#include "image/reader_table.h"
#include "map/map.h"

namespace codec {

// RGB bytes of the first image of a file, as ImageMagick sees it.
inline std::string im_rgb(const std::string &path, const std::string &fmt = "")
{
    return testutil::shell("convert " + testutil::quote(fmt + path + "[0]") + " -depth 8 rgb:- 2>/dev/null").out;
}

// Runs a python snippet with PIL, the argument in sys.argv[1]; its output.
inline std::string pil_script(const std::string &code, const std::string &arg = "")
{
    return testutil::run({testutil::python(), "-c", "import sys\nfrom PIL import Image\n" + code, arg}).out;
}

// An image record owning its buffers, freed at the end of the scope.
struct Rec : IMG {
    Rec() { IMG_init(this), data = nullptr, cmap = nullptr, red_mask = green_mask = blue_mask = 0, indexed = 0; }
    ~Rec() { IMG_free(this); }
    Rec(const Rec &) = delete;
    Rec &operator=(const Rec &) = delete;
    IMG *operator->() { return this; }
    IMG *get() { return this; }
};

// The 8-bit pixels of a record ("" without any).
inline std::string image_bytes(const IMG &img)
{
    return img.data ? std::string(reinterpret_cast<const char *>(img.data), (size_t)img.nx * img.ny) : std::string();
}

// Reads bytes as a file of the input code through its row of the reader
// table, as the program reads a file: 0 read, -1 refused.
inline int read_as(int code, const unsigned char *bytes, size_t size, IMG *img, const char *name = "built")
{
    IMG_READ_OUT out{img, nullptr};
    return IMG_reader_read_memory(IMG_reader_by_code(code), bytes, size, name, nullptr, &out) == IMG_READ_OK ? 0 : -1;
}

// A test name from a file name: every character but letters and digits as "_".
inline std::string case_name(std::string n)
{
    for (char &ch : n)
        if (!isalnum((unsigned char)ch)) ch = '_';
    return n;
}

// Fractional column and row of (lat, lon) in a domain; false when the point
// cannot be projected.  The current map domain is left changed.
inline bool pixel_of(const DOM &dom, double lat, double lon, double &col, double &row)
{
    MAP_domain(&dom);
    float x, y, i, j;
    if (!MAP_tran(&x, &y, (float)lat, (float)lon)) return false;
    MAP_grid_untran(&i, &j, x, y);
    col = i, row = j;
    return true;
}

// Value v at column col of a row in the record's layout (kind: bits per
// stored pixel), the way the X conventions store it: 16, 24 and 32 bits most
// significant byte first for order 1, the pad byte of 32 bits junk; 4 bits
// high nibble first, 1 bit least significant first.  get_value is the
// inverse (32 bits ignore the pad byte).
inline void put_value(unsigned char *row, int kind, int order, int col, uint32_t v)
{
    if (kind == 8) row[col] = (unsigned char)v;
    else if (kind == 4) row[col / 2] = col & 1 ? (row[col / 2] & 0xF0) | (v & 15) : (row[col / 2] & 0x0F) | (v << 4);
    else if (kind == 1) row[col / 8] = v ? row[col / 8] | 1 << (col % 8) : row[col / 8] & ~(1 << (col % 8));
    else
        for (int i = 0, n = kind / 8; i < n; i++)
            row[n * col + (order ? n - 1 - i : i)] = (unsigned char)((kind == 32 ? (v & 0xFFFFFF) | 0xEE000000 : v) >> (8 * i));
}

inline uint32_t get_value(const unsigned char *row, int kind, int order, int col)
{
    if (kind == 8) return row[col];
    if (kind == 4) return col & 1 ? row[col / 2] & 15u : (uint32_t)row[col / 2] >> 4;
    if (kind == 1) return (row[col / 8] >> (col % 8)) & 1u;
    uint32_t v = 0;
    for (int i = 0, n = kind / 8; i < n; i++) v |= (uint32_t)row[n * col + (order ? n - 1 - i : i)] << (8 * i);
    return kind == 32 ? v & 0xFFFFFF : v;
}

// Fills a record of nx x ny with values[ny][nx] in the given layout; rows
// are padded to a multiple of 4 bytes (unless `pad` is false) with junk,
// which the writers must ignore.
inline void fill(IMG *img, int nx, int ny, int depth, int bits_pixel, int order, const std::vector<uint32_t> &values,
                 bool pad = true)
{
    int kind = bits_pixel == 32 ? 32 : depth == 15 ? 16 : depth;
    img->nx = nx, img->ny = ny, img->depth = depth, img->bits_pixel = bits_pixel, img->byte_order = order;
    img->bytes_line = pad ? (int)(((int64_t)nx * kind + 31) / 32 * 4) : (nx * kind + 7) / 8;
    img->data = (unsigned char *)malloc((size_t)img->bytes_line * ny);
    memset(img->data, 0xA5, (size_t)img->bytes_line * ny);
    for (int y = 0; y < ny; y++)
        for (int x = 0; x < nx; x++)
            put_value(img->data + (size_t)y * img->bytes_line, kind, order, x, values[(size_t)y * nx + x]);
}

// An 8-bit record of w x h with value (i * mul) % mod at pixel i.
inline void patterned(IMG *img, int w, int h, uint32_t mul, uint32_t mod)
{
    std::vector<uint32_t> values((size_t)w * h);
    for (size_t i = 0; i < values.size(); i++) values[i] = (uint32_t)(i * mul % mod);
    fill(img, w, h, 8, 8, 1, values);
}

// Largest difference of one channel between two RGB strings of one size
// (256 when the sizes differ).
inline int max_channel_diff(const std::string &a, const std::string &b)
{
    if (a.size() != b.size()) return 256;
    int m = 0;
    for (size_t i = 0; i < a.size(); i++) m = std::max(m, std::abs((int)(uint8_t)a[i] - (int)(uint8_t)b[i]));
    return m;
}

// The colours of a record as read by our readers: values in the record's
// layout, then the colour table (nearest byte) or the 8-bit masks.
inline std::string record_rgb(const IMG *img)
{
    std::string out;
    IMG_layout lay;
    if (!IMG_layout_of(img, &lay, "record_rgb")) return out;
    for (int y = 0; y < img->ny; y++)
        for (int x = 0; x < img->nx; x++) {
            uint32_t v = get_value(img->data + (size_t)y * img->bytes_line, lay.kind, img->byte_order, x);
            uint8_t c[3] = {(uint8_t)((v & img->red_mask) >> 16), (uint8_t)((v & img->green_mask) >> 8), (uint8_t)(v & img->blue_mask)};
            for (int k = 0; k < 3 && img->indexed; k++)
                c[k] = (int64_t)v < img->ncolors ? (uint8_t)lroundf(img->cmap[3 * v + k] * 255.0f) : 0;
            out.append((const char *)c, 3);
        }
    return out;
}

}  // namespace codec
