// Byte-level AWIPS product builders for the reader tests: a product
// definition block with chosen fields, plain or deflated parts put together.
#pragma once

#include <zlib.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

namespace ginibuild {

// A PDB with the given fields; octets counted from 1.
inline std::vector<unsigned char> make_pdb(int proj, int nx, int ny)
{
    std::vector<unsigned char> p(512, 0);
    p[1] = 13;
    p[2] = 1;
    p[3] = 4;
    p[8] = 105; p[9] = 9; p[10] = 12; p[11] = 6; p[12] = 30; p[13] = 15;
    p[15] = (unsigned char)proj;
    p[16] = (unsigned char)(nx >> 8); p[17] = (unsigned char)nx;
    p[18] = (unsigned char)(ny >> 8); p[19] = (unsigned char)ny;
    return p;
}

inline void put_s24(std::vector<unsigned char> &p, int k, double v)
{
    int m = (int)std::lround(std::fabs(v) * 10000);
    p[k - 1] = (unsigned char)((m >> 16) | (v < 0 ? 0x80 : 0));
    p[k] = (unsigned char)(m >> 8);
    p[k + 1] = (unsigned char)m;
}

inline std::vector<unsigned char> cat(std::initializer_list<std::vector<unsigned char>> parts)
{
    std::vector<unsigned char> out;
    for (auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::vector<unsigned char> bytes(const std::string &s) { return {s.begin(), s.end()}; }

inline std::vector<unsigned char> deflated(const std::vector<unsigned char> &in)
{
    uLongf n = compressBound(in.size());
    std::vector<unsigned char> out(n);
    compress(out.data(), &n, in.data(), in.size());
    out.resize(n);
    return out;
}

inline std::vector<unsigned char> ramp(int n)
{
    std::vector<unsigned char> v(n);
    for (int i = 0; i < n; i++) v[i] = (unsigned char)(i * 7 + 3);
    return v;
}

}  // namespace ginibuild
