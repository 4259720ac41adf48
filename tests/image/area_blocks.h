// Raw directory and navigation words of a big- or little-endian AREA file,
// for navigation tests that should not depend on the image reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testutil {

struct AreaWords {
    std::vector<int32_t> dir, nav;
    std::string type;
};

inline bool read_area_words(const std::string &path, AreaWords &out)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char buf[256 + 2560] = {};
    size_t got = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    if (got < 256 + 512) return false;
    auto word = [&](size_t i, bool swap) {
        uint32_t v;
        std::memcpy(&v, buf + 4 * i, 4);
        return (int32_t)(swap ? __builtin_bswap32(v) : v);
    };
    bool swap = word(1, false) != 4;
    out.dir.resize(64);
    for (int i = 0; i < 64; ++i) out.dir[i] = word(i, swap);
    out.type.assign((const char *)buf + 256, 4);
    size_t n = out.type == "GVAR" ? 640 : 128;
    if (got < 256 + 4 * n) return false;
    out.nav.resize(n);
    std::memcpy(out.nav.data(), buf + 256, 4);
    for (size_t i = 1; i < n; ++i) out.nav[i] = word(64 + i, swap);
    return true;
}

inline std::string shared_data(const char *rel) { return std::string(ZYR_SHARED_DATA) + "/" + rel; }

constexpr const char *GVAR_AREA = "area/cmx3g8_wv_1998.260_0745_mcidas.ara";
constexpr const char *PS_AREA = "area/derived/pngarea_plain.area";

}  // namespace testutil
