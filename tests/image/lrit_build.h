// Byte-level LRIT builder for the reader tests: header records appended one
// by one (big-endian), the primary header's total length sealed once they are
// in, then the data field.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lritbuild {

struct Lrit {
    std::vector<unsigned char> out;
    void u8(unsigned v) { out.push_back((unsigned char)v); }
    void u16(unsigned v) { u8(v >> 8); u8(v); }
    void u32(uint32_t v) { u16(v >> 16); u16(v & 0xFFFF); }
    void primary(uint32_t total, int len = 16)
    {
        u8(0); u16(len); u8(0); u32(total);
        for (int i = 8; i < len; i++) u8(0);
    }
    void structure(int bits, int cols, int lines, int comp) { u8(1); u16(9); u8(bits); u16(cols); u16(lines); u8(comp); }
    void nav(const char *name, int32_t cfac, int32_t lfac, int32_t coff, int32_t loff)
    {
        u8(2); u16(51);
        char n[32] = {};
        memcpy(n, name, strlen(name));
        out.insert(out.end(), n, n + 32);
        u32(cfac); u32(lfac); u32(coff); u32(loff);
    }
    void segment7(int seg, int nseg, int first) { u8(128); u16(7); u8(seg); u8(nseg); u16(first); }
    void time(int days, uint32_t ms) { u8(5); u16(10); u8(0x40); u16(days); u32(ms); }
    void annotation(const std::string &s) { u8(4); u16(3 + s.size()); out.insert(out.end(), s.begin(), s.end()); }
    void data(const std::vector<unsigned char> &d) { out.insert(out.end(), d.begin(), d.end()); }
    // The primary header's total: set once the records are in.
    void seal() { uint32_t t = (uint32_t)out.size(); out[4] = t >> 24; out[5] = t >> 16; out[6] = t >> 8; out[7] = t; }
};

}  // namespace lritbuild
