// GIF reader and the LZW decoder.
//
// Choices where GIF files vary:
// - The first image of a file is read.  Its position in the logical screen
//   is honoured: the image is laid on a screen-sized canvas filled with the
//   screen's background entry, and clipped to it.  A screen of width or
//   height 0 takes the image's extent instead.
// - A local colour table replaces the global one (the pixels index it).  A
//   file with neither gets a 256-entry gray ramp.
// - A graphic control extension's transparent entry becomes the record's
//   transparent colour.
// - Sizes the file cannot back are refused before allocating: the canvas
//   must be at most 1e8 pixels and at most 16384 per byte of file (an LZW
//   code of at least 3 bits yields at most 4096 pixels).
#include <cstdlib>
#include <cstring>

#include "core/flags.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/imgpal.h"

namespace {

constexpr uint32_t GIF_DEBUG = MESS_DEBUG;
constexpr int64_t MAX_PIXELS = 100000000;
constexpr size_t MAX_FILE = (size_t)1 << 30;

struct Reader {
    const unsigned char *p;
    size_t size, pos = 0;
    size_t left() const { return size - pos; }
    int u16(size_t at) const { return p[at] | p[at + 1] << 8; }
};

// Skips data sub-blocks up to and including the zero-length one; false
// when the file ends first.
bool skip_blocks(Reader &r)
{
    while (r.pos < r.size) {
        size_t n = r.p[r.pos++];
        if (n == 0) return true;
        if (n > r.left()) {
            r.pos = r.size;
            return false;
        }
        r.pos += n;
    }
    return false;
}

float *read_table(const unsigned char *p, int n)
{
    float *t = (float *)std::malloc(sizeof(float) * 3 * (size_t)n);
    if (t)
        for (int i = 0; i < 3 * n; i++) t[i] = p[i] / 255.0f;
    return t;
}

float *gray_table()
{
    float *t = (float *)std::malloc(sizeof(float) * 3 * 256);
    if (t)
        for (int i = 0; i < 768; i++) t[i] = (float)(i / 3) / 255.0f;
    return t;
}

void report_gce(const unsigned char *b)
{
    int flags = b[0], delay = b[1] | b[2] << 8;
    MESS_print(GIF_DEBUG, "Graphics Control Extension\n");
    MESS_print(GIF_DEBUG, "Disposal method: %d\n", (flags >> 2) & 7);
    MESS_print(GIF_DEBUG, "User input: %d\n", (flags >> 1) & 1);
    MESS_print(GIF_DEBUG, "Transparent: %d\n", flags & 1);
    MESS_print(GIF_DEBUG, "Delay time: %d %.2f\n", delay, delay / 100.0);
    MESS_print(GIF_DEBUG, "Transparent color index: %d\n", b[3]);
}

int fail(IMG *image, const char *name, const char *what)
{
    MESS_print(MESS_ERROR, "GIF_read: %s: %s\n", name, what);
    IMG_free(image);
    return 0;
}

// Allocates the canvas filled with the background entry.
bool alloc_canvas(IMG *image, int bg, size_t file_size)
{
    int64_t pixels = (int64_t)image->nx * image->ny;
    if (pixels > MAX_PIXELS || pixels > (int64_t)file_size * 16384) return false;
    image->data = (unsigned char *)std::malloc(pixels > 0 ? (size_t)pixels : 1);
    if (!image->data) {
        MESS_print(MESS_ERROR, "Unable to allocate data buffer.\n");
        return false;
    }
    std::memset(image->data, bg, (size_t)pixels);
    return true;
}

}  // namespace

long GIF_lzw_decode(const uint8_t *data, size_t size, int code_size, uint8_t *out, size_t count)
{
    if (code_size < 1 || code_size > 8) return -1;
    static thread_local uint16_t prefix[4096], len[4096];
    static thread_local uint8_t suffix[4096], firstc[4096];
    static thread_local uint8_t stack[4097];
    const int clear = 1 << code_size, eoi = clear + 1;
    for (int i = 0; i < clear; i++) {
        suffix[i] = firstc[i] = (uint8_t)i;
        len[i] = 1;
    }
    int width = code_size + 1, avail = clear + 2, old = -1;
    uint64_t acc = 0;
    int nbits = 0;
    size_t pos = 0, done = 0;
    while (done < count) {
        if (nbits < width) {
            while (nbits <= 56 && pos < size) {
                acc |= (uint64_t)data[pos++] << nbits;
                nbits += 8;
            }
            if (nbits < width) break;  // the data ran out: what came is kept
        }
        const int code = (int)(acc & ((1u << width) - 1));
        acc >>= width;
        nbits -= width;
        if (code == clear) {
            width = code_size + 1;
            avail = clear + 2;
            old = -1;
            continue;
        }
        if (code == eoi) break;
        if (old < 0) {
            if (code > clear) return -1;
            out[done++] = (uint8_t)code;
            old = code;
            continue;
        }
        int fc;
        if (code < avail) fc = firstc[code];
        else if (code == avail) fc = firstc[old];  // the string being defined by this very code
        else return -1;
        if (avail >= 4096) return -1;  // table full and no clear code
        prefix[avail] = (uint16_t)old;
        suffix[avail] = (uint8_t)fc;
        firstc[avail] = firstc[old];
        len[avail] = (uint16_t)(len[old] + 1);
        avail++;
        if (avail == (1 << width) && width < 12) width++;
        // Strings are written from their last pixel backwards; one that
        // would overrun the output goes through the stack and is cut.
        const size_t n = len[code];
        int c = code;
        if (done + n <= count) {
            uint8_t *q = out + done + n - 1;
            while (c >= clear) {
                *q-- = suffix[c];
                c = prefix[c];
            }
            *q = (uint8_t)c;
            done += n;
        } else {
            size_t k = 0;
            while (c >= clear) {
                stack[k++] = suffix[c];
                c = prefix[c];
            }
            stack[k++] = (uint8_t)c;
            while (k > 0 && done < count) out[done++] = stack[--k];
        }
        old = code;
    }
    return (long)done;
}

int GIF_read_mem(const unsigned char *data, size_t size, IMG *image, int query, const char *name)
{
    IMG_init(image);
    image->red_mask = image->green_mask = image->blue_mask = 0;
    Reader r{data, size};
    MESS_print(GIF_DEBUG, "** GIF_read: %s\n", name);
    // A first text line starting "** " (a note some programs put before the data).
    if (size >= 3 && std::memcmp(data, "** ", 3) == 0) {
        const void *nl = std::memchr(data, '\n', size);
        r.pos = nl ? (size_t)((const unsigned char *)nl - data) + 1 : size;
    }
    if (r.left() < 6 || std::memcmp(data + r.pos, "GIF", 3) != 0) {
        MESS_print(MESS_ERROR, "GIF_read: Not a GIF file\n");
        return 0;
    }
    r.pos += 6;
    if (r.left() < 7) return fail(image, name, "truncated screen descriptor");
    const int sw = r.u16(r.pos), sh = r.u16(r.pos + 2), packed = r.p[r.pos + 4], bg = r.p[r.pos + 5];
    r.pos += 7;
    image->nx = sw;
    image->ny = sh;
    image->ncolors = 1 << ((packed & 7) + 1);
    image->depth = 8;
    image->bits_pixel = 8;
    image->bytes_line = sw;
    image->indexed = 1;
    std::strcpy(image->info, "GIF");
    if (query) return 1;

    if (packed & 0x80) {
        if (r.left() < 3 * (size_t)image->ncolors) return fail(image, name, "truncated colour table");
        image->cmap = read_table(r.p + r.pos, image->ncolors);
        r.pos += 3 * (size_t)image->ncolors;
    } else {
        image->ncolors = 0;
    }
    auto finish_empty = [&]() {
        // No image in the file: an empty picture of the screen's size.
        if (!image->cmap) {
            image->cmap = gray_table();
            image->ncolors = 256;
        }
        if (!alloc_canvas(image, bg, size)) return fail(image, name, "screen too large for the file");
        return 1;
    };

    int transparent = -1;
    for (;;) {
        if (r.pos >= r.size) return finish_empty();
        const int b = r.p[r.pos++];
        if (b == 0x3B) return finish_empty();
        if (b == 0x21) {
            if (r.pos >= r.size) return finish_empty();
            const int label = r.p[r.pos++];
            MESS_print(GIF_DEBUG, "Extension Label: %2X\n", label);
            if (label == 0xF9 && r.left() >= 5 && r.p[r.pos] >= 4) {
                report_gce(r.p + r.pos + 1);
                if (r.p[r.pos + 1] & 1) transparent = r.p[r.pos + 4];
            } else if (label == 0xFF && r.left() >= 12 && r.p[r.pos] >= 11) {
                MESS_print(GIF_DEBUG, "Application identifier: %8.8s\n", (const char *)r.p + r.pos + 1);
                MESS_print(GIF_DEBUG, "Application authentication: %3.3s\n", (const char *)r.p + r.pos + 9);
            }
            if (!skip_blocks(r)) return finish_empty();
            continue;
        }
        if (b != 0x2C) {
            char what[48];
            std::snprintf(what, sizeof what, "unknown block 0x%02X", b);
            return fail(image, name, what);
        }
        break;
    }

    // Image descriptor.
    if (r.left() < 9) return fail(image, name, "truncated image descriptor");
    const int left = r.u16(r.pos), top = r.u16(r.pos + 2), w = r.u16(r.pos + 4), h = r.u16(r.pos + 6);
    const int ipacked = r.p[r.pos + 8];
    r.pos += 9;
    MESS_print(GIF_DEBUG, "X: %3d Y: %3d W: %3d H: %3d\n", left, top, w, h);
    if (ipacked & 0x80) {
        const int n = 1 << ((ipacked & 7) + 1);
        if (r.left() < 3 * (size_t)n) return fail(image, name, "truncated local colour table");
        std::free(image->cmap);
        image->cmap = read_table(r.p + r.pos, n);
        image->ncolors = n;
        r.pos += 3 * (size_t)n;
    }
    if (!image->cmap) {
        image->cmap = gray_table();
        image->ncolors = 256;
    }
    if (!image->cmap) return fail(image, name, "Unable to allocate colour table");
    image->transparent = transparent;
    if (sw == 0 || sh == 0) {
        image->nx = image->bytes_line = left + w;
        image->ny = top + h;
    }
    if (r.left() < 1) return fail(image, name, "missing LZW code size");
    const int code_size = r.p[r.pos++];

    // The image data sub-blocks joined; a short block (the file ends inside
    // it) ends the data like a zero-length one.
    std::vector<uint8_t> lzw;
    lzw.reserve(r.left());
    while (r.pos < r.size) {
        size_t n = r.p[r.pos++];
        if (n == 0) break;
        if (n > r.left()) n = r.left();
        lzw.insert(lzw.end(), r.p + r.pos, r.p + r.pos + n);
        r.pos += n;
    }

    if (!alloc_canvas(image, bg, size)) return fail(image, name, "image too large for the file");
    const bool interlaced = (ipacked & 0x40) != 0;
    const bool direct = !interlaced && left == 0 && top == 0 && w == image->nx && h <= image->ny;
    const size_t count = (size_t)w * h;
    // Data that end before the last pixel would leave part of the picture
    // in the background colour: such a file is refused.
    auto short_data = [&](long got) {
        char what[80];
        std::snprintf(what, sizeof what, "image data end after %ld of %zu pixels", got, count);
        return fail(image, name, what);
    };
    if (direct) {
        long got = GIF_lzw_decode(lzw.data(), lzw.size(), code_size, image->data, count);
        if (got < 0) return fail(image, name, "corrupt LZW data");
        if ((size_t)got < count) return short_data(got);
        return 1;
    }
    // Only as many pixels as the data can produce are held.
    const size_t can = ((lzw.size() * 8) / (size_t)(code_size + 1) + 1) * 4096;
    std::vector<uint8_t> frame(count < can ? count : can, (uint8_t)bg);
    long got = GIF_lzw_decode(lzw.data(), lzw.size(), code_size, frame.data(), frame.size());
    if (got < 0) return fail(image, name, "corrupt LZW data");
    if ((size_t)got < count) return short_data(got);
    for (int n = 0; n < h && (size_t)n * w < frame.size(); n++) {
        const int fr = interlaced ? GIF_interlace_row(n, h) : n;
        const int y = top + fr;
        if (y >= image->ny || left >= image->nx) continue;
        const int cols = left + w <= image->nx ? w : image->nx - left;
        size_t avail = frame.size() - (size_t)n * w;
        std::memcpy(image->data + (size_t)y * image->bytes_line + left, frame.data() + (size_t)n * w,
                    (size_t)cols < avail ? (size_t)cols : avail);
    }
    return 1;
}

int GIF_read(const char *name, IMG *image, int query)
{
    FILE *fp = IMG_open_file(name, "r");
    if (!fp) {
        MESS_print(MESS_ERROR, "GIF_read: Unable to open file\n");
        return 0;
    }
    std::vector<unsigned char> bytes;
    bool ok = IMG_slurp(fp, &bytes, MAX_FILE);
    IMG_close_file(fp, name);
    if (!ok) {
        MESS_print(MESS_ERROR, "GIF_read: %s: unreadable or larger than 1 GB\n", name);
        return 0;
    }
    return GIF_read_mem(bytes.data(), bytes.size(), image, query, name);
}
