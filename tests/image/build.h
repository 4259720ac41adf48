// Byte-level builders for the reader tests, so each test states the bytes it
// feeds: AREA, AWIPS, LRIT, TIFF, Unisys and ZYRIMG pieces.
#pragma once

#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "../test_support.h"
#include "image/area.h"
#include "image/img.h"

namespace build {

using Bytes = std::vector<unsigned char>;

// n bytes of v, most significant first when big.
inline void put(Bytes &b, uint64_t v, int n, bool big = true)
{
    for (int i = 0; i < n; i++) b.push_back((unsigned char)(v >> (8 * (big ? n - 1 - i : i))));
}
inline void put_text(Bytes &b, const char *text, size_t n)
{
    b.resize(b.size() + n, ' '), std::memcpy(&b[b.size() - n], text, std::min(n, std::strlen(text)));
}
inline Bytes ramp(size_t n)
{
    Bytes v(n);
    for (size_t i = 0; i < n; i++) v[i] = (unsigned char)(i * 7 + 3);
    return v;
}
inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes bytes(const std::string &s) { return {s.begin(), s.end()}; }
inline Bytes load(const std::string &path) { return bytes(testutil::read_file(path)); }
inline Bytes deflated(const Bytes &in, int level = Z_DEFAULT_COMPRESSION)
{
    uLongf n = compressBound(in.size());
    Bytes out(n);
    return compress2(out.data(), &n, in.data(), in.size(), level), out.resize(n), out;
}

// A directory of nx x ny one-byte elements, 2004 day 191 14:25, data at
// 768, with the given words set.
struct Dir {
    int32_t w[64] = {0, 4, 0, 104191, 142500, 11, 21, 0, 0, 0, 1, 2, 3};
    Dir(int nx, int ny, std::initializer_list<std::pair<int, int32_t>> set = {})
    {
        w[8] = ny, w[9] = nx, w[33] = 256 + 512;
        for (auto [word, value] : set) w[word] = value;
    }
    Bytes bytes(bool big) const
    {
        Bytes b;
        for (int i = 0; i < 64; i++)
            if (i == 24) put_text(b, "TEST MEMO", 32), i = 31;
            else put(b, (uint32_t)w[i], 4, big);
        return b;
    }
};

// A navigation block of the given type with words 1.. from the list.
inline Bytes nav(const char *type, std::vector<int32_t> words, bool big)
{
    Bytes b;
    put_text(b, type, 4);
    for (size_t i = 1; i < 128; i++) put(b, i - 1 < words.size() ? (uint32_t)words[i - 1] : 0, 4, big);
    return b;
}

inline const Bytes kSync = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};

// One framed line: sync, line number, prefix, code, count and the nibbles
// (padded with a 13 that the decoder never reaches when the line fills).
inline void framed_line(Bytes &b, uint32_t number, std::vector<int> nibs, int code = 0, int prefix = 0)
{
    b.insert(b.end(), kSync.begin(), kSync.end());
    put(b, number, 4);
    b.insert(b.end(), (size_t)prefix, 0xEE);
    if (nibs.size() % 2) nibs.push_back(13);
    put(b, (uint32_t)code, 2), put(b, nibs.size() / 2, 2);
    for (size_t i = 0; i < nibs.size(); i += 2) b.push_back((unsigned char)(nibs[i] << 4 | nibs[i + 1]));
}

// Head of a framed stream: sync, directory (big-endian), sync, nav block.
inline Bytes framed_head(const Dir &d)
{
    return cat({kSync, d.bytes(true), kSync, nav("RECT", {}, true)});
}

// Reads an AREA image from bytes through a memory stream.
struct Read {
    AREA_REC area{};
    int ret = -1;
    explicit Read(const Bytes &b)
    {
        FILE *f = fmemopen(const_cast<unsigned char *>(b.data()), b.size(), "rb");
        ret = SAT_read_AREA(f, &area);
        if (f) std::fclose(f);
    }
    ~Read() { AREA_free(&area); }
    int nx() const { return area.dir[AREA_W_NELEMS]; }
};

// A product definition block (octets counted from 1): 2005 day 12 Sep
// 06:30:15, the given projection code and size.
inline Bytes make_pdb(int proj, int nx, int ny)
{
    Bytes p(512, 0);
    p[1] = 13, p[2] = 1, p[3] = 4, p[8] = 105, p[9] = 9, p[10] = 12, p[11] = 6, p[12] = 30, p[13] = 15, p[15] = (unsigned char)proj;
    p[16] = (unsigned char)(nx >> 8), p[17] = (unsigned char)nx, p[18] = (unsigned char)(ny >> 8), p[19] = (unsigned char)ny;
    return p;
}

// A signed 24-bit PDB value (sign and magnitude, 1e-4 degrees) at octet k.
inline void put_s24(Bytes &p, int k, double v)
{
    int m = (int)std::lround(std::fabs(v) * 10000);
    p[k - 1] = (unsigned char)((m >> 16) | (v < 0 ? 0x80 : 0)), p[k] = (unsigned char)(m >> 8), p[k + 1] = (unsigned char)m;
}

// Header records appended one by one; seal() sets the primary header's
// total length once they are in, then the data field.
struct Lrit {
    Bytes out;
    void u8(unsigned v) { out.push_back((unsigned char)v); }
    void u16(unsigned v) { put(out, v, 2); }
    void u32(uint32_t v) { put(out, v, 4); }
    void primary(uint32_t total) { u8(0), u16(16), u8(0), u32(total), out.resize(out.size() + 8); }
    void structure(int bits, int cols, int lines, int comp) { u8(1), u16(9), u8(bits), u16(cols), u16(lines), u8(comp); }
    void nav(const char *name, int32_t cfac, int32_t lfac, int32_t coff, int32_t loff)
    {
        u8(2), u16(51), out.resize(out.size() + 32);
        std::memcpy(&out[out.size() - 32], name, std::strlen(name));
        u32(cfac), u32(lfac), u32(coff), u32(loff);
    }
    void segment7(int seg, int nseg, int first) { u8(128), u16(7), u8(seg), u8(nseg), u16(first); }
    // EUMETSAT's form: spacecraft, channel, segment, planned first and last segment, representation.
    void segment13(int sat, int chan, int seg, int first, int last) { u8(128), u16(13), u16(sat), u8(chan), u16(seg), u16(first), u16(last), u8(0); }
    void time(int days, uint32_t ms) { u8(5), u16(10), u8(0x40), u16(days), u32(ms); }
    void annotation(const std::string &s) { u8(4), u16(3 + s.size()), out.insert(out.end(), s.begin(), s.end()); }
    void seal() { out[4] = out.size() >> 24, out[5] = out.size() >> 16, out[6] = out.size() >> 8, out[7] = out.size(); }
    void data(const Bytes &d) { out.insert(out.end(), d.begin(), d.end()); }
};

// Samples of `bits` bits packed most significant bit first.
inline Bytes pack_bits(const std::vector<unsigned> &v, int bits)
{
    Bytes out((v.size() * bits + 7) / 8, 0);
    uint64_t at = 0;
    for (unsigned x : v)
        for (int k = bits - 1; k >= 0; --k, ++at)
            if (x >> k & 1) out[at / 8] |= (unsigned char)(0x80 >> at % 8);
    return out;
}

// An MSG segment file of spacecraft `sat` (322: MSG2), channel `chan`
// (12: HRV), segment `seg` of the planned first..last, cols x lines 10-bit
// samples value(line, column) in scan order (south first, east first), with
// MSG's turned navigation: CFAC = LFAC = -cfac, COFF = coff and the
// segment's LOFF = loff - (seg - 1) * lines, as EUMETSAT writes them.
template <class F>
Bytes msg_segment(int sat, int chan, int seg, int first, int last, int cols, int lines, int32_t cfac, int32_t coff,
                  int32_t loff, const std::string &name, F value)
{
    Lrit f;
    f.primary(0), f.structure(10, cols, lines, 0), f.nav("GEOS(+000.0)", -cfac, -cfac, coff, loff - (seg - 1) * lines);
    f.segment13(sat, chan, seg, first, last), f.time(19276, 50400000), f.annotation(name), f.seal();
    std::vector<unsigned> v((size_t)cols * lines);
    for (int r = 0; r < lines; ++r)
        for (int c = 0; c < cols; ++c) v[(size_t)r * cols + c] = value(r, c);
    f.data(pack_bits(v, 10));
    return f.out;
}

// An MSG prologue (file type 128) or epilogue (129) whose data field holds
// eight int32 at `at` (an HRV coverage) and, in a prologue, channel chan's
// calibration slope and offset among the twelve at byte 387065.
inline Bytes msg_aux(int type, size_t at, const std::vector<int32_t> &coverage, const std::string &name, int chan = 12,
                     double slope = 0, double offset = 0)
{
    Lrit f;
    f.primary(0), f.out[3] = (unsigned char)type, f.annotation(name), f.seal();
    Bytes d(type == 128 ? 425461 : 380325, 0);
    for (size_t i = 0; i < coverage.size(); ++i)
        for (int k = 0; k < 4; ++k) d[at + 4 * i + k] = (unsigned char)((uint32_t)coverage[i] >> (24 - 8 * k));
    if (type == 128) {
        Bytes cal;
        put(cal, std::bit_cast<uint64_t>(slope), 8), put(cal, std::bit_cast<uint64_t>(offset), 8);
        std::copy(cal.begin(), cal.end(), d.begin() + 387065 + 16 * (chan - 1));
    }
    f.data(d);
    return f.out;
}

// An EUMETSAT file name of MSG2's 2010-10-11 14:00 slot: channel and
// segment fields padded with '_' ("HRV", "000018"; "", "PRO").
inline std::string msg2_name(const std::string &chan, const std::string &what)
{
    auto pad = [](std::string f) { return f.resize(9, '_'), f; };
    return "H-000-MSG2__-MSG2________-" + pad(chan) + "-" + pad(what) + "-201010111400-__";
}

// Segment seg of a synthetic MSG2 HRV image: 464 lines of 5568 columns,
// planned segments first..24, the grid's navigation (CFAC 40927014, COFF = LOFF
// = 5566, turned); sample hrv_sample(seg, line, column), whose top 8 bits
// are never 0.
inline unsigned hrv_sample(int seg, int r, int k) { return (unsigned)(((seg * 7 + r * 3 + k * 5) % 254 + 1) << 2 | 2); }
inline Bytes hrv_segment(int seg, int first = 1)
{
    char num[16];
    std::snprintf(num, sizeof num, "%06d", seg);
    return msg_segment(322, 12, seg, first, 24, 5568, 464, 40927014, 5566, 5566, msg2_name("HRV", num),
                       [seg](int r, int k) { return hrv_sample(seg, r, k); });
}

// One directory, entries given as (tag, type, values), in either byte
// order; SHORT, LONG, ASCII and DOUBLE entries, out-of-line values after
// the directory, pixels last.
struct Tiff {
    bool big = false;
    struct E { unsigned tag, type; std::vector<uint32_t> v; Bytes raw; };
    std::vector<E> entries{};
    void tag(unsigned t, unsigned type, std::vector<uint32_t> v) { entries.push_back({t, type, std::move(v), {}}); }
    void ascii(unsigned t, const std::string &s) { entries.push_back({t, 2, {}, bytes(s + '\0')}); }
    void doubles(unsigned t, const std::vector<double> &v)
    {
        E e{t, 12, {}, {}};
        for (double d : v) put(e.raw, std::bit_cast<uint64_t>(d), 8, big);
        entries.push_back(std::move(e));
    }
    Bytes build(const Bytes &pixels)
    {
        Bytes out(2, big ? 'M' : 'I'), tail;
        put(out, 42, 2, big), put(out, 8, 4, big), put(out, entries.size(), 2, big);
        const size_t extra = 8 + 2 + 12 * entries.size() + 4;  // where out-of-line values go
        for (auto &e : entries) {
            Bytes vals = e.raw;
            for (uint32_t v : e.v) put(vals, v, e.type == 3 ? 2 : 4, big);
            put(out, e.tag, 2, big), put(out, e.type, 2, big);
            put(out, e.type == 2 ? vals.size() : e.type == 12 ? vals.size() / 8 : e.v.size(), 4, big);
            if (vals.size() <= 4) {
                out = cat({out, vals, Bytes(4 - vals.size(), 0)});
                continue;
            }
            if (tail.size() % 2) tail.push_back(0);  // word boundary
            put(out, extra + tail.size(), 4, big);
            tail = cat({tail, vals});
        }
        put(out, 0, 4, big);
        return cat({out, tail, pixels});
    }
    // A whole 8-bit grey file: the size tags, one strip of `pixels` and the
    // entries added before (kept in tag order by the caller).
    Bytes grey(int w, int h, const Bytes &pixels)
    {
        std::vector<E> extra = std::move(entries);
        entries.clear();
        tag(256, 3, {(uint32_t)w}), tag(257, 3, {(uint32_t)h}), tag(258, 3, {8}), tag(262, 3, {1});
        tag(273, 4, {0}), tag(278, 3, {(uint32_t)h}), tag(279, 4, {(uint32_t)pixels.size()});
        entries.insert(entries.end(), extra.begin(), extra.end());
        entries[4].v = {(uint32_t)build({}).size()};  // strip offset: past the directory
        return build(pixels);
    }
};

// nx * ny ramp pixels with the keyword header over their start.
inline Bytes unisys(int nx, int ny, const std::string &header)
{
    Bytes b = ramp((size_t)nx * ny);
    std::copy(header.begin(), header.begin() + (long)std::min(header.size(), b.size()), b.begin());
    return b;
}

// An 8-bit record of nx x ny ramp pixels with a date label and info; the
// caller frees it with IMG_free.
inline IMG zyr_image(int nx, int ny)
{
    IMG img;
    IMG_init(&img);
    img.nx = img.bytes_line = nx, img.ny = ny, img.depth = 8;
    img.data = (unsigned char *)std::malloc((size_t)nx * ny);
    const Bytes px = ramp((size_t)nx * ny);
    std::memcpy(img.data, px.data(), px.size()), std::strcpy(img.date_label, "14:25Z 9 JUL 04"), std::strcpy(img.info, "GOES-8 IR");
    return img;
}

}  // namespace build
