// Unisys keyword-header images for the reader tests (no real sample exists;
// the python writer in tools/ makes the same layout for fuzz seeds).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace unisysbuild {

// nx * ny ramp pixels with the header written over their start.
inline std::vector<unsigned char> unisys(int nx, int ny, const std::string &header)
{
    std::vector<unsigned char> b((size_t)nx * ny);
    for (size_t i = 0; i < b.size(); i++) b[i] = (unsigned char)(i * 7 + 3);
    std::copy(header.begin(), header.begin() + std::min(header.size(), b.size()), b.begin());
    return b;
}

}  // namespace unisysbuild
