// Byte-level AREA builders for the reader tests: directories, navigation
// blocks and sync-framed lines put together by hand, so each test states
// exactly the bytes it feeds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/area.h"

namespace areatest {

using Bytes = std::vector<unsigned char>;

inline void put32(Bytes &b, uint32_t v, bool big)
{
    for (int i = 0; i < 4; i++) b.push_back((unsigned char)(big ? v >> (24 - 8 * i) : v >> (8 * i)));
}

inline void put_text(Bytes &b, const char *text, size_t n)
{
    for (size_t i = 0; i < n; i++) b.push_back(i < std::strlen(text) ? (unsigned char)text[i] : ' ');
}

struct Dir {
    int32_t w[64] = {};
    std::string memo = "TEST MEMO";
    Dir(int nx, int ny)
    {
        w[1] = 4;
        w[3] = 104191;  // 2004, day 191 = 9 July
        w[4] = 142500;
        w[5] = 11;
        w[6] = 21;
        w[8] = ny;
        w[9] = nx;
        w[10] = 1;
        w[11] = 2;
        w[12] = 3;
        w[33] = 256 + 512;
    }
    Bytes bytes(bool big) const
    {
        Bytes b;
        for (int i = 0; i < 64; i++) {
            if (i == 24) {
                put_text(b, memo.c_str(), 32);
                i = 31;
                continue;
            }
            put32(b, (uint32_t)w[i], big);
        }
        return b;
    }
};

// A navigation block of the given type with words 1.. set from the list.
inline Bytes nav(const char *type, std::vector<int32_t> words, bool big, int total = 128)
{
    Bytes b;
    put_text(b, type, 4);
    for (int i = 1; i < total; i++) put32(b, i - 1 < (int)words.size() ? (uint32_t)words[(size_t)i - 1] : 0, big);
    return b;
}

inline const unsigned char SYNC[8] = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};

inline void put_sync(Bytes &b) { b.insert(b.end(), SYNC, SYNC + 8); }

// One framed line: sync, line number, prefix, code, count and the nibbles
// (padded with a 13 that the decoder never reaches when the line fills).
inline void framed_line(Bytes &b, uint32_t number, std::vector<int> nibs, int code = 0, int prefix = 0)
{
    put_sync(b);
    put32(b, number, true);
    b.insert(b.end(), (size_t)prefix, 0xEE);
    if (nibs.size() % 2) nibs.push_back(13);
    size_t count = nibs.size() / 2;
    b.push_back((unsigned char)(code >> 8));
    b.push_back((unsigned char)code);
    b.push_back((unsigned char)(count >> 8));
    b.push_back((unsigned char)count);
    for (size_t i = 0; i < nibs.size(); i += 2) b.push_back((unsigned char)(nibs[i] << 4 | nibs[i + 1]));
}

// Head of a framed stream: sync, directory (big-endian), sync, nav block.
inline Bytes framed_head(Dir d, const char *nav_type = "RECT")
{
    d.w[33] = 256 + 512;
    Bytes b;
    put_sync(b);
    Bytes dir = d.bytes(true);
    b.insert(b.end(), dir.begin(), dir.end());
    put_sync(b);
    Bytes n = nav(nav_type, {}, true);
    b.insert(b.end(), n.begin(), n.end());
    return b;
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
    Bytes row(int y) const
    {
        return Bytes(area.data + (size_t)y * nx(), area.data + (size_t)(y + 1) * nx());
    }
};

}  // namespace areatest
