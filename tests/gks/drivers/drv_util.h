// Helpers for the output-driver tests: Ghostscript runs, inked pictures
// compared, text utilities and a binary CGM decoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "../../test_support.h"
#include "gks/drivers/devfile.h"

namespace drvtest {

using testutil::Raster;

// Ghostscript's exit status for a PostScript file (0: read without error)
// rendered at dpi on the page of media; the picture goes to *pic.
inline int render_ps(const std::string &ps, int dpi, Raster *pic = nullptr, const std::string &media = "-sPAPERSIZE=letter") {
    std::string out = ps + ".ppm";
    int status = testutil::shell("gs -q -dSAFER -dBATCH -dNOPAUSE " + media + " -dFIXEDMEDIA -sDEVICE=ppmraw -r" +
                                 std::to_string(dpi) + " -sOutputFile=" + out + " " + ps + " >" + ps + ".gslog 2>&1")
                     .status;
    if (pic) testutil::read_ppm(out, pic);
    return status;
}

// The largest distance (pixels, Chebyshev) from a dark pixel of a to the
// nearest dark pixel of b; 1000 when none is within limit.
inline int max_ink_distance(const Raster &a, const Raster &b, int limit = 8) {
    int worst = 0;
    for (int y = 0; y < a.h; ++y)
        for (int x = 0; x < a.w; ++x) {
            int d = 0;
            for (bool hit = !a.dark(x, y); !hit && d <= limit; d += !hit)
                for (int v = y - d; v <= y + d && !hit; ++v)
                    for (int u = x - d; u <= x + d && !hit; ++u) hit = b.dark(u, v);
            worst = std::max(worst, d > limit ? 1000 : d);
        }
    return worst;
}

// A page as "{width}x{height}{+xoff}{+yoff}" (the size alone without offsets).
inline std::string page_text(const GDRV_PAGE &p, bool offsets = true) {
    char s[96];
    std::snprintf(s, sizeof s, "%gx%g%+g%+g", p.width, p.height, p.xoff, p.yoff);
    return offsets ? s : std::string(s).substr(0, std::string(s).find_first_of("+-", 1));
}

// The text with the rest of every line after a time-stamp key blanked.
inline std::string blank_lines(const std::string &text, const std::string &key) {
    return std::regex_replace(text, std::regex("(\n" + key + ")[^\n]*"), "$1");
}

// How often what occurs in text.
inline size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) ++n;
    return n;
}

// One element of a binary CGM: class, id and parameter bytes.
struct Element {
    int cls, id;
    std::vector<uint8_t> params;
    int word(size_t k) const { return (int16_t)(params[2 * k] << 8 | params[2 * k + 1]); }
};

// Every element of a binary CGM, decoded from the ISO 8632-3 encoding
// (header word, long form, partition bit, padding); *error names a fault.
inline std::vector<Element> decode(const std::string &bytes, std::string *error) {
    std::vector<Element> out;
    size_t pos = 0;
    auto u16 = [&](size_t p) { return p + 2 > bytes.size() ? 0xFFFFu : (unsigned)(uint8_t)bytes[p] << 8 | (uint8_t)bytes[p + 1]; };
    while (pos < bytes.size()) {
        unsigned h = u16(pos), len = h & 31;
        bool more = false;
        Element e{(int)(h >> 12), (int)((h >> 5) & 0x7F), {}};
        pos += 2;
        do {
            if ((h & 31) == 31) more = u16(pos) & 0x8000, len = u16(pos) & 0x7FFF, pos += 2; // long form
            if (pos + len > bytes.size()) return *error = "element past the end at " + std::to_string(pos), out;
            e.params.insert(e.params.end(), bytes.begin() + (long)pos, bytes.begin() + (long)(pos + len));
            pos += len + (len & 1); // odd lengths are followed by a pad byte
        } while (more);
        out.push_back(std::move(e));
    }
    if (pos > bytes.size()) *error = "missing pad byte";
    return out;
}

} // namespace drvtest
