// PNG writer: palette and RGB pictures written straight through zlib.
//
// The file is the one libpng would write for the same settings (signature,
// IHDR, a 256-entry PLTE, uncompressed tEXt, IDAT, IEND), so every PNG
// reader gives the same pixels; only the compression is ours to choose.
// Unfiltered rows go to deflate where they lie (a filter byte, then the
// caller's row, with no copy into a row buffer); an Up-filtered row is
// computed into one buffer.  The compressed stream is written by
// deflate into the output itself, one IDAT chunk per 256 KB of it.
//
// The compression (PNG_DUMP_DEFLATE) was chosen on real frames with
// bench/bench_png.sh: five GINI and AREA samples and a generated infrared
// frame drawn at 1920 x 1080 with maps, grid, bar and labels, palette
// pictures with large flat areas and rows that often repeat the row above.
//  - Run-length matching (Z_RLE) with the Up filter: 45-217 KB a frame in
//    5-11 ms, 4-16 % larger than optipng -o1 (zlib level 9, memory level
//    8, no filter after reducing the palette), which takes 40-120 times as
//    long.  The Up filter turns a row like the one above into zeros, which
//    Z_RLE matches at distance 1 where it cannot see the row above; it makes
//    the file 10-25 % smaller than no filter at the same time (the filter is
//    one vectorised pass over the row).  A palette index is no brightness,
//    but equal indices are equal bytes, which is all Up needs here.
//  - Zlib's default matching at level 1 is as fast and 20-70 % larger (with
//    or without the filter); level 6 is about as small as Z_RLE with Up and
//    three to four times as slow; level 9 gains 10-15 % for 30-50 times the
//    time.  A choice of filter per row (fewer runs of equal bytes) came out
//    larger than Up on every frame.
#include <zlib.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "image/pngio.h"

void PNG_put_be32(std::vector<uint8_t> *o, uint32_t v)
{
    const uint8_t b[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
    o->insert(o->end(), b, b + 4);
}

namespace {

constexpr size_t IDAT_MAX = 256 * 1024;

// Closes a chunk whose length field starts at `at`: length and CRC.
void close_chunk(std::vector<uint8_t> *o, size_t at)
{
    const size_t n = o->size() - at - 8;
    uint8_t *p = o->data() + at;
    p[0] = (uint8_t)(n >> 24), p[1] = (uint8_t)(n >> 16), p[2] = (uint8_t)(n >> 8), p[3] = (uint8_t)n;
    PNG_put_be32(o, (uint32_t)crc32(0, o->data() + at + 4, (uInt)(n + 4)));
}

void put_text(std::vector<uint8_t> *o, const char *key, const char *text)
{
    std::vector<uint8_t> d(key, key + std::strlen(key) + 1);
    d.insert(d.end(), text, text + std::strlen(text));
    PNG_put_chunk(o, "tEXt", d.data(), d.size());
}

// The deflate stream into IDAT chunks at the end of `o`.
class IdatStream {
public:
    IdatStream(std::vector<uint8_t> *o, const PNG_deflate &how) : o_(o)
    {
        ok_ = deflateInit2(&z_, how.level, Z_DEFLATED, 15, 9, how.strategy) == Z_OK;
    }
    ~IdatStream() { deflateEnd(&z_); }
    IdatStream(const IdatStream &) = delete;
    IdatStream &operator=(const IdatStream &) = delete;

    bool ok() const { return ok_; }

    // Compresses n bytes; `last` ends the stream and its chunk.
    void put(const uint8_t *p, size_t n, bool last)
    {
        z_.next_in = const_cast<uint8_t *>(p);
        z_.avail_in = (uInt)n;
        while (ok_) {
            if (z_.avail_out == 0) open_chunk();
            const int rc = deflate(&z_, last ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                end_chunk();
                return;
            }
            // Room left means the input is taken: done, unless finishing.
            if ((rc != Z_OK && rc != Z_BUF_ERROR) || (z_.avail_out > 0 && last && rc == Z_BUF_ERROR)) ok_ = false;
            else if (z_.avail_out > 0 && !last) return;
        }
    }

private:
    void open_chunk()
    {
        if (open_) end_chunk();
        at_ = o_->size();
        o_->resize(at_ + 8 + IDAT_MAX);
        std::memcpy(o_->data() + at_ + 4, "IDAT", 4);
        z_.next_out = o_->data() + at_ + 8;
        z_.avail_out = (uInt)IDAT_MAX;
        open_ = true;
    }
    void end_chunk()
    {
        o_->resize(o_->size() - z_.avail_out);
        close_chunk(o_, at_);
        z_.avail_out = 0;
        open_ = false;
    }

    std::vector<uint8_t> *o_;
    z_stream z_{};
    size_t at_ = 0;
    bool ok_ = false, open_ = false;
};

// `bpp` 1: palette entries, 3: RGB.
bool encode(const uint8_t *px, int w, int h, int bpp, const uint8_t (*rgb)[3], int ncolors, const char *title,
            const PNG_deflate &how, std::vector<uint8_t> *out)
{
    if (!px || w < 1 || h < 1 || (bpp == 1 && !rgb)) return false;
    const size_t row = (size_t)w * bpp;
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out->insert(out->end(), sig, sig + 8);
    std::vector<uint8_t> ihdr;
    PNG_put_be32(&ihdr, (uint32_t)w);
    PNG_put_be32(&ihdr, (uint32_t)h);
    ihdr.insert(ihdr.end(), {8, (uint8_t)(bpp == 1 ? 3 : 2), 0, 0, 0});
    PNG_put_chunk(out, "IHDR", ihdr.data(), ihdr.size());
    if (bpp == 1) {
        // Every reader takes 256 entries; those past the palette are black.
        uint8_t pal[256][3] = {};
        std::memcpy(pal, rgb, 3 * (size_t)(ncolors < 0 ? 0 : ncolors > 256 ? 256 : ncolors));
        PNG_put_chunk(out, "PLTE", pal, sizeof pal);
    }
    if (title) {
        char when[64] = "";
        std::time_t now = std::time(nullptr);
        std::tm tm;
        gmtime_r(&now, &tm);
        std::strftime(when, sizeof when, "%d %b %Y %H:%M:%S GMT", &tm);
        put_text(out, "Title", title);
        put_text(out, "Software", "ZYR - Tarnwell Renderer v5.0");
        put_text(out, "Creation Time", when);
    }
    IdatStream idat(out, how);
    std::vector<uint8_t> up(how.filter == PNG_ROW_FILTER_UP ? row + 1 : 0);
    for (int y = 0; y < h && idat.ok(); y++) {
        const uint8_t *r = px + (size_t)y * row;
        const bool last = y == h - 1;
        if (how.filter == PNG_ROW_FILTER_UP && y > 0) {
            const uint8_t *a = r - row;
            up[0] = 2;
            for (size_t i = 0; i < row; i++) up[i + 1] = (uint8_t)(r[i] - a[i]);
            idat.put(up.data(), up.size(), last);
        } else {
            static const uint8_t none = 0;
            idat.put(&none, 1, false);
            idat.put(r, row, last);
        }
    }
    if (!idat.ok()) return false;
    PNG_put_chunk(out, "IEND", nullptr, 0);
    return true;
}

}  // namespace

bool PNG_encode_indices_with(const uint8_t *index, int w, int h, const uint8_t (*rgb)[3], int ncolors,
                             const char *title, const PNG_deflate &how, std::vector<uint8_t> *out)
{
    return encode(index, w, h, 1, rgb, ncolors, title, how, out);
}

bool PNG_encode_indices(const uint8_t *index, int w, int h, const uint8_t (*rgb)[3], int ncolors,
                        const char *title, std::vector<uint8_t> *out)
{
    return encode(index, w, h, 1, rgb, ncolors, title, PNG_DUMP_DEFLATE, out);
}

bool PNG_encode_rgb(const uint8_t *rgb, int w, int h, std::vector<uint8_t> *out)
{
    return encode(rgb, w, h, 3, nullptr, 0, nullptr, PNG_DUMP_DEFLATE, out);
}

void PNG_put_chunk(std::vector<uint8_t> *o, const char *type, const void *data, size_t n)
{
    const size_t at = o->size();
    PNG_put_be32(o, 0);
    o->insert(o->end(), type, type + 4);
    if (n) o->insert(o->end(), (const uint8_t *)data, (const uint8_t *)data + n);
    close_chunk(o, at);
}
