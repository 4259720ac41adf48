// PNG writer: palette and RGB pictures written straight through zlib.
//
// The file is the one libpng would write for the same settings (signature,
// IHDR, a 256-entry PLTE, uncompressed tEXt, IDAT, IEND), so every PNG
// reader gives the same pixels; only the compression is ours to choose.
// Unfiltered rows go to deflate where they lie (a filter byte, then the
// caller's row, with no copy into a row buffer); an Up-filtered row is
// computed into one buffer.  The rows are compressed in parts on the worker
// threads, joined into one zlib stream (as parallel gzip does: each part
// but the last ends on a byte boundary, the checksums are combined), one
// IDAT chunk per 256 KB of it.
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
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <ctime>
#include <vector>

#include "core/workers.h"
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
    PNG_put_be32(o, libdeflate_crc32(0, o->data() + at + 4, n + 4));
}

void put_text(std::vector<uint8_t> *o, const char *key, const char *text)
{
    std::vector<uint8_t> d(key, key + std::strlen(key) + 1);
    d.insert(d.end(), text, text + std::strlen(text));
    PNG_put_chunk(o, "tEXt", d.data(), d.size());
}

// One part of the picture's rows compressed as raw deflate data: a part
// before the last ends at a byte boundary with its blocks closed (a full
// flush), so that the parts one after another are one deflate stream.
struct Part {
    std::unique_ptr<uint8_t[]> z;  // left uninitialised: only what deflate writes is touched
    size_t cap = 0, size = 0;
    uLong adler = 1;               // Adler-32 of the part's uncompressed bytes
    size_t in = 0;                 // their count
    bool ok = false;
};

// Rows y0..y1-1 of the picture, each a filter byte then the row (no copy)
// or its difference from the row above (the Up filter, computed into one
// buffer).  The part starts with the bytes before it as its dictionary so
// that it matches as if the stream ran on.
void deflate_rows(const uint8_t *px, size_t row, int y0, int y1, bool last, const PNG_deflate &how, Part *part)
{
    z_stream z{};
    if (deflateInit2(&z, how.level, Z_DEFLATED, -15, 9, how.strategy) != Z_OK) return;
    const bool up = how.filter == PNG_ROW_FILTER_UP;
    std::vector<uint8_t> f(up ? row + 1 : 0);
    // The stream's bytes of row y: a pointer to them and their count.
    auto filtered = [&](int y, const uint8_t **p, size_t *n) {
        const uint8_t *r = px + (size_t)y * row;
        if (up && y > 0) {
            const uint8_t *a = r - row;
            f[0] = 2;
            for (size_t i = 0; i < row; i++) f[i + 1] = (uint8_t)(r[i] - a[i]);
            *p = f.data();
            *n = row + 1;
            return false;
        }
        *p = r;
        *n = row;
        return true;  // the caller puts the filter byte 0 first
    };
    if (y0 > 0) {
        const uint8_t *p;
        size_t n;
        if (filtered(y0 - 1, &p, &n)) {
            std::vector<uint8_t> d(n + 1, 0);
            std::memcpy(d.data() + 1, p, n);
            deflateSetDictionary(&z, d.data(), (uInt)d.size());
        } else {
            deflateSetDictionary(&z, p, (uInt)n);
        }
    }
    part->cap = deflateBound(&z, (uLong)((row + 1) * (size_t)(y1 - y0))) + 64;
    part->z.reset(new uint8_t[part->cap]);
    bool ok = true;
    auto put = [&](const uint8_t *p, size_t n, int flush) {
        part->adler = libdeflate_adler32((uint32_t)part->adler, p, n);  // vectorised, several times zlib's
        part->in += n;
        z.next_in = const_cast<uint8_t *>(p);
        z.avail_in = (uInt)n;
        for (;;) {
            if (z.total_out + 16 > part->cap) {  // past the bound (flushes): grow
                const size_t cap = part->cap * 2;
                std::unique_ptr<uint8_t[]> bigger(new uint8_t[cap]);
                std::memcpy(bigger.get(), part->z.get(), z.total_out);
                part->z = std::move(bigger);
                part->cap = cap;
            }
            z.next_out = part->z.get() + z.total_out;
            z.avail_out = (uInt)(part->cap - z.total_out);
            const int rc = deflate(&z, flush);
            if (rc == Z_STREAM_END) return;
            if ((rc != Z_OK && rc != Z_BUF_ERROR) || (rc == Z_BUF_ERROR && flush == Z_FINISH && z.avail_out > 0)) {
                ok = false;
                return;
            }
            // Room left with the input taken: done, unless finishing.
            if (z.avail_in == 0 && z.avail_out > 0 && flush != Z_FINISH) return;
        }
    };
    for (int y = y0; y < y1 && ok; y++) {
        const uint8_t *p;
        size_t n;
        const int flush = y < y1 - 1 ? Z_NO_FLUSH : last ? Z_FINISH : Z_FULL_FLUSH;
        if (filtered(y, &p, &n)) {
            static const uint8_t none = 0;
            put(&none, 1, Z_NO_FLUSH);
        }
        if (ok) put(p, n, flush);
    }
    part->size = z.total_out;
    part->ok = ok;
    deflateEnd(&z);
}

// The IDAT chunks of the zlib stream made of the parts: a two-byte header,
// the parts, the Adler-32 of all the rows; one chunk per 256 KB of it.
void put_idat(std::vector<uint8_t> *out, const std::vector<Part> &parts)
{
    uLong adler = 1;
    for (const Part &p : parts) adler = adler32_combine(adler, p.adler, (z_off_t)p.in);
    const uint8_t head[2] = {0x78, 0x01};  // deflate, 32 KB window; checksum bits
    const uint8_t tail[4] = {(uint8_t)(adler >> 24), (uint8_t)(adler >> 16), (uint8_t)(adler >> 8), (uint8_t)adler};
    std::vector<std::pair<const uint8_t *, size_t>> pieces{{head, 2}};
    for (const Part &p : parts) pieces.push_back({p.z.get(), p.size});
    pieces.push_back({tail, 4});
    size_t at = 0, room = 0;
    for (auto [p, n] : pieces) {
        while (n > 0) {
            if (room == 0) {
                if (at) close_chunk(out, at);
                at = out->size();
                PNG_put_be32(out, 0);
                out->insert(out->end(), {'I', 'D', 'A', 'T'});
                room = IDAT_MAX;
            }
            const size_t k = n < room ? n : room;
            out->insert(out->end(), p, p + k);
            p += k, n -= k, room -= k;
        }
    }
    close_chunk(out, at);
}

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
    // The rows are compressed in parts of about 256 KB, at most 32, taken
    // by the worker threads as they come free: a part of the image costs
    // two to three times a part of flat map, and with one part per thread
    // the threads wait for the dearest.  The parts depend on the picture's
    // size only, so the file is the same whatever the number of threads.
    const size_t bytes = row * (size_t)h;
    const int want = (int)std::clamp<size_t>((bytes + (1 << 17)) >> 18, 1, 32);
    const int per = (h + want - 1) / want;
    const int nparts = (h + per - 1) / per;  // none left empty
    std::vector<Part> parts((size_t)nparts);
    WORK_chunks(nparts, WORK_thread_count(bytes), [&](int k) {
        const int y0 = std::min(h, k * per), y1 = std::min(h, (k + 1) * per);
        deflate_rows(px, row, y0, y1, k == nparts - 1, how, &parts[(size_t)k]);
    });
    for (const Part &p : parts)
        if (!p.ok) return false;
    put_idat(out, parts);
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
