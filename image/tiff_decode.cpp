// TIFF pixels through libtiff, read from the bytes in memory (so the fuzz
// target feeds the same path as a file): every compression libtiff was built
// with (LZW, Deflate, PackBits, JPEG, ...), strips or tiles, pixel- or
// plane-interleaved samples.  The image keeps the first sample of each pixel
// and, for 16-bit samples, its most significant byte.
//
// libtiff reports trouble through handlers given to this one open (not the
// process-wide ones): while the directory is read its warnings are only
// traced (unknown private tags are common), while pixels are decoded any
// warning or error means the data was not fully decoded and the file is
// refused.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/flags.h"
#include "image/tiff_internal.h"
#include "image/tiff_lazy.h"

namespace tiffrd {

namespace {

// The file as libtiff's client I/O sees it.
struct MemFile {
    const unsigned char *p;
    toff_t n, pos;
};

tmsize_t mem_read(thandle_t h, void *buf, tmsize_t size)
{
    auto *m = static_cast<MemFile *>(h);
    if (size <= 0 || m->pos >= m->n) return 0;
    toff_t k = std::min<toff_t>((toff_t)size, m->n - m->pos);
    std::memcpy(buf, m->p + m->pos, (size_t)k);
    m->pos += k;
    return (tmsize_t)k;
}

tmsize_t mem_write(thandle_t, void *, tmsize_t) { return -1; }

toff_t mem_seek(thandle_t h, toff_t off, int whence)
{
    auto *m = static_cast<MemFile *>(h);
    toff_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->n : 0;
    if (off > UINT64_MAX / 2 || base + off < base) return (toff_t)-1;
    m->pos = base + off;
    return m->pos;
}

int mem_close(thandle_t) { return 0; }
toff_t mem_size(thandle_t h) { return static_cast<MemFile *>(h)->n; }

// Mapping hands libtiff the bytes themselves; it only reads them.
int mem_map(thandle_t h, void **base, toff_t *size)
{
    auto *m = static_cast<MemFile *>(h);
    *base = const_cast<unsigned char *>(m->p);
    *size = m->n;
    return 1;
}

void mem_unmap(thandle_t, void *, toff_t) {}

// Largest decoded strip or tile taken.
constexpr uint64_t kMaxBlock = 1ull << 30;

// What libtiff said during one open.
struct Report {
    bool decoding = false;
    int problems = 0;
    std::string first;  // the first error (or, while decoding, warning)
};

void note(Report &r, bool error, const char *module, const char *fmt, va_list ap)
{
    char text[300];
    vsnprintf(text, sizeof text, fmt, ap);
    std::string line = module && *module ? std::string(module) + ": " + text : std::string(text);
    if (r.decoding || error) {
        if (r.first.empty()) r.first = line;
        if (r.decoding) r.problems++;
    }
    MESS_print(TAGS, "libtiff %s: %s\n", error ? "error" : "warning", line.c_str());
}

int on_error(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    note(*static_cast<Report *>(user), true, module, fmt, ap);
    return 1;
}

int on_warning(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    note(*static_cast<Report *>(user), false, module, fmt, ap);
    return 1;
}

const char *codec_name(unsigned comp)
{
    const TIFFCodec *c = TIFFFindCODEC((uint16_t)comp);
    return c && c->name ? c->name : "unknown";
}

// Closes the libtiff handle and frees its options however the read ends.
struct Handle {
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    TIFF *tif = nullptr;
    ~Handle()
    {
        if (tif) TIFFClose(tif);
        TIFFOpenOptionsFree(opts);
    }
};

// Copies one decoded block (rows of `stride` bytes, pixels `step` bytes
// apart) to the image at (x0, y0), cropped at the image's edges.
void place(const unsigned char *blk, size_t stride, int bw, int bh, int x0, int y0, int step,
           bool wide, int w, int h, unsigned char *out)
{
    int cols = std::min(bw, w - x0);
    for (int r = 0; r < bh && y0 + r < h; r++) {
        const unsigned char *src = blk + (size_t)r * stride;
        unsigned char *dst = out + (size_t)(y0 + r) * w + x0;
        if (!wide && step == 1) {
            std::memcpy(dst, src, (size_t)cols);
        } else if (!wide) {
            for (int c = 0; c < cols; c++) dst[c] = src[(size_t)c * step];
        } else {
            for (int c = 0; c < cols; c++) {
                uint16_t v;  // libtiff hands samples over in the host's order
                std::memcpy(&v, src + (size_t)c * step, 2);
                dst[c] = (unsigned char)(v >> 8);
            }
        }
    }
}

bool decode_all(const unsigned char *data, size_t size, const char *name, int w, int h,
                unsigned char *out)
{
    if (const char *why = tiff_library_problem()) {
        MESS_print(ERR, "SAT_read_TIFF: %s: the pixels cannot be decoded: %s\n", name, why);
        return false;
    }
    MemFile mem{data, (toff_t)size, 0};
    Report rep;
    Handle hd;
    TIFFOpenOptionsSetErrorHandlerExtR(hd.opts, on_error, &rep);
    TIFFOpenOptionsSetWarningHandlerExtR(hd.opts, on_warning, &rep);
    // No single buffer larger than the biggest image accepted, twice over
    // for 16-bit samples: a forged tile size must not take the memory.
    TIFFOpenOptionsSetMaxSingleMemAlloc(hd.opts, (tmsize_t)(2 * rdr::MAX_PIXELS * 4));
    hd.tif = TIFFClientOpenExt(name, "r", &mem, mem_read, mem_write, mem_seek, mem_close, mem_size,
                               mem_map, mem_unmap, hd.opts);
    if (!hd.tif) {
        MESS_print(ERR, "SAT_read_TIFF: %s: the directory cannot be read: %s\n", name,
                   rep.first.empty() ? "unknown error" : rep.first.c_str());
        return false;
    }
    TIFF *tif = hd.tif;
    uint32_t tw = 0, th = 0;
    uint16_t bits = 0, spp = 0, planar = 0, comp = 0, photo = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &th);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &comp);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photo)) photo = PHOTOMETRIC_MINISBLACK;
    if (tw != (uint32_t)w || th != (uint32_t)h || (bits != 8 && bits != 16) || spp < 1) {
        MESS_print(ERR, "SAT_read_TIFF: %s: libtiff reads the directory as %ux%u, %u bits x %u "
                   "samples\n", name, tw, th, bits, spp);
        return false;
    }
    if (!TIFFIsCODECConfigured(comp)) {
        MESS_print(ERR, "SAT_read_TIFF: %s: compression %u (%s) cannot be decoded\n", name, comp,
                   codec_name(comp));
        return false;
    }
    if (photo == PHOTOMETRIC_YCBCR) {
        // JPEG data in YCbCr comes out as RGB (the first sample red); other
        // YCbCr data is subsampled in a layout this reader does not unpack.
        if (comp != COMPRESSION_JPEG) {
            MESS_print(ERR, "SAT_read_TIFF: %s: YCbCr pixels with compression %u (%s) are not "
                       "supported\n", name, comp, codec_name(comp));
            return false;
        }
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    bool wide = bits == 16;
    int step = (planar == PLANARCONFIG_SEPARATE ? 1 : spp) * (wide ? 2 : 1);

    rep.decoding = true;
    std::vector<unsigned char> blk;
    const char *what = codec_name(comp);
    auto refuse = [&](const char *kind, uint32_t i, long long got, long long want) {
        MESS_print(ERR, "SAT_read_TIFF: %s: %s data (compression %u) not fully decoded: %s %u: "
                   "%lld of %lld bytes%s%s\n", name, what, comp, kind, i, got, want,
                   rep.first.empty() ? "" : ": ", rep.first.c_str());
        return false;
    };
    if (TIFFIsTiled(tif)) {
        uint32_t tlw = 0, tll = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tlw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tll);
        tmsize_t tsize = TIFFTileSize(tif), row = TIFFTileRowSize(tif);
        // A tile may overhang the image, but not by more than the image
        // itself holds several times over.
        uint64_t most = std::max<uint64_t>(16ull * w * h, 1u << 20);
        if (tlw == 0 || tll == 0 || tsize <= 0 || row <= 0 || (uint64_t)tlw * tll > most ||
            (uint64_t)tsize > kMaxBlock)
            return refuse("tile", 0, 0, (long long)tsize);
        blk.resize((size_t)tsize);
        for (uint32_t y = 0; y < th; y += tll)
            for (uint32_t x = 0; x < tw; x += tlw) {
                uint32_t i = TIFFComputeTile(tif, x, y, 0, 0);
                tmsize_t got = TIFFReadEncodedTile(tif, i, blk.data(), tsize);
                if (got != tsize || rep.problems) return refuse("tile", i, got, tsize);
                place(blk.data(), (size_t)row, (int)tlw, (int)tll, (int)x, (int)y, step, wide, w,
                      h, out);
            }
        return true;
    }
    uint32_t rps = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    rps = std::clamp<uint32_t>(rps, 1, th);
    tmsize_t ssize = TIFFStripSize(tif), row = TIFFScanlineSize(tif);
    if (ssize <= 0 || row <= 0 || (uint64_t)ssize > kMaxBlock)
        return refuse("strip", 0, 0, (long long)ssize);
    blk.resize((size_t)ssize);
    for (uint32_t y = 0, s = 0; y < th; y += rps, s++) {
        uint32_t rows = std::min(rps, th - y);
        tmsize_t want = TIFFVStripSize(tif, rows);
        tmsize_t got = TIFFReadEncodedStrip(tif, s, blk.data(), want);
        if (got != want || rep.problems) return refuse("strip", s, got, want);
        place(blk.data(), (size_t)row, w, (int)rows, 0, (int)y, step, wide, w, h, out);
    }
    return true;
}

}  // namespace

bool decode_pixels(const unsigned char *data, size_t size, const char *name, int w, int h,
                   unsigned char *out)
{
    try {
        return decode_all(data, size, name, w, h, out);
    } catch (const std::bad_alloc &) {
        MESS_print(ERR, "SAT_read_TIFF: %s: no memory to decode the pixels\n", name);
        return false;
    }
}

}  // namespace tiffrd
