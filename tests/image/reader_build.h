// Byte-level builders for the reader tests: AWIPS products (a product
// definition block, plain or deflated parts), LRIT header records, Unisys
// keyword headers and ZYRIMG records, so each test states the bytes it feeds.
#pragma once

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image/img.h"

namespace rdrbuild {

using Bytes = std::vector<unsigned char>;

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

inline Bytes deflated(const Bytes &in)
{
    uLongf n = compressBound(in.size());
    Bytes out(n);
    compress(out.data(), &n, in.data(), in.size());
    out.resize(n);
    return out;
}

// An AWIPS product definition block (octets counted from 1): 2005 day
// 12 Sep 06:30:15, the given projection code and size.
inline Bytes make_pdb(int proj, int nx, int ny)
{
    Bytes p(512, 0);
    p[1] = 13, p[2] = 1, p[3] = 4;
    p[8] = 105, p[9] = 9, p[10] = 12, p[11] = 6, p[12] = 30, p[13] = 15;
    p[15] = (unsigned char)proj;
    p[16] = (unsigned char)(nx >> 8), p[17] = (unsigned char)nx;
    p[18] = (unsigned char)(ny >> 8), p[19] = (unsigned char)ny;
    return p;
}

// A signed 24-bit PDB value (sign and magnitude, 1e-4 degrees) at octet k.
inline void put_s24(Bytes &p, int k, double v)
{
    int m = (int)std::lround(std::fabs(v) * 10000);
    p[k - 1] = (unsigned char)((m >> 16) | (v < 0 ? 0x80 : 0));
    p[k] = (unsigned char)(m >> 8);
    p[k + 1] = (unsigned char)m;
}

// LRIT header records appended one by one (big-endian); seal() sets the
// primary header's total length once they are in, then the data field.
struct Lrit {
    Bytes out;
    void u8(unsigned v) { out.push_back((unsigned char)v); }
    void u16(unsigned v) { u8(v >> 8), u8(v); }
    void u32(uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
    void primary(uint32_t total, int len = 16)
    {
        u8(0), u16(len), u8(0), u32(total);
        for (int i = 8; i < len; i++) u8(0);
    }
    void structure(int bits, int cols, int lines, int comp) { u8(1), u16(9), u8(bits), u16(cols), u16(lines), u8(comp); }
    void nav(const char *name, int32_t cfac, int32_t lfac, int32_t coff, int32_t loff)
    {
        u8(2), u16(51);
        char n[32] = {};
        std::memcpy(n, name, std::strlen(name));
        out.insert(out.end(), n, n + 32);
        u32(cfac), u32(lfac), u32(coff), u32(loff);
    }
    void segment7(int seg, int nseg, int first) { u8(128), u16(7), u8(seg), u8(nseg), u16(first); }
    void time(int days, uint32_t ms) { u8(5), u16(10), u8(0x40), u16(days), u32(ms); }
    void annotation(const std::string &s) { u8(4), u16(3 + s.size()), out.insert(out.end(), s.begin(), s.end()); }
    void seal() { out[4] = out.size() >> 24, out[5] = out.size() >> 16, out[6] = out.size() >> 8, out[7] = out.size(); }
    void data(const Bytes &d) { out.insert(out.end(), d.begin(), d.end()); }
};

// An 8-bit LRIT file of nx x ny ramp pixels, no navigation.
inline Bytes lrit_file(int nx, int ny)
{
    Lrit f;
    f.primary(0), f.structure(8, nx, ny, 0), f.seal(), f.data(ramp((size_t)nx * ny));
    return f.out;
}

// A Unisys image: nx * ny ramp pixels with the keyword header over their start.
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
    img.nx = img.bytes_line = nx;
    img.ny = ny;
    img.depth = 8;
    Bytes px = ramp((size_t)nx * ny);
    img.data = (unsigned char *)std::malloc(px.size());
    std::memcpy(img.data, px.data(), px.size());
    std::strcpy(img.date_label, "14:25Z 9 JUL 04");
    std::strcpy(img.info, "GOES-8 IR");
    return img;
}

}  // namespace rdrbuild
