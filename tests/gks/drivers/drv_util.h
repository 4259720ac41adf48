// Helpers for the output-driver tests: rendering PostScript with Ghostscript
// and HPGL with hp2xx, comparing inked pictures, small text utilities and a
// binary CGM decoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "../../test_support.h"
#include "gks/drivers/devfile.h"

namespace drvtest {

using testutil::Raster;

// Renders a PostScript file at the given resolution on a letter page, or on
// the page the media options give.  Returns the exit status of Ghostscript
// (0: rendered without error); the picture goes to *pic when it is not null.
inline int render_ps(const std::string &ps, int dpi, Raster *pic = nullptr,
                     const std::string &media = "-sPAPERSIZE=letter") {
    std::string out = ps + ".ppm";
    std::string cmd = "gs -q -dSAFER -dBATCH -dNOPAUSE " + media + " -dFIXEDMEDIA -sDEVICE=ppmraw -r" +
                      std::to_string(dpi) + " -sOutputFile=" + out + " " + ps +
                      " >" + ps + ".gslog 2>&1";
    int status = testutil::shell(cmd).status;
    if (pic) testutil::read_ppm(out, pic);
    return status;
}

// Runs hp2xx on an HPGL file (true size, 10 dpi); true when it ran and met
// nothing unexpected (it calls the PCL escapes invalid and ignores "SV",
// which is fine).  Its log gives the picture's size in mm.
inline bool hp2xx_clean(const std::string &hpgl, std::string *log_text = nullptr) {
    std::string log = hpgl + ".hp2xx.log";
    std::string cmd = "hp2xx -m png -t -d 10 -f " + hpgl + ".png " + hpgl + " >" + log + " 2>&1";
    bool ran = testutil::shell(cmd).status == 0;
    std::string text = testutil::read_file(log);
    if (log_text) *log_text = text;
    return ran && text.find("Unexpected event(s):  0") != std::string::npos;
}

// The largest distance (in pixels, Chebyshev) from a dark pixel of a to
// the nearest dark pixel of b; 1000 when b has none near.
inline int max_ink_distance(const Raster &a, const Raster &b, int limit = 8) {
    int worst = 0;
    for (int y = 0; y < a.h; ++y)
        for (int x = 0; x < a.w; ++x) {
            if (!a.dark(x, y)) continue;
            int d = 0;
            while (d <= limit) {
                bool hit = false;
                for (int v = y - d; v <= y + d && !hit; ++v)
                    for (int u = x - d; u <= x + d && !hit; ++u) hit = b.dark(u, v);
                if (hit) break;
                ++d;
            }
            worst = std::max(worst, d > limit ? 1000 : d);
        }
    return worst;
}

// A page's size and offset against {width, height, xoff, yoff}.
inline void expect_page(const GDRV_PAGE &p, const GDRV_PAGE &want) {
    EXPECT_FLOAT_EQ(p.width, want.width);
    EXPECT_FLOAT_EQ(p.height, want.height);
    EXPECT_FLOAT_EQ(p.xoff, want.xoff);
    EXPECT_FLOAT_EQ(p.yoff, want.yoff);
}

// The text with the rest of every line after a time-stamp key blanked.
inline std::string blank_lines(const std::string &text, const std::string &key) {
    return std::regex_replace(text, std::regex("(\n" + key + ")[^\n]*"), "$1");
}

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

// Walks every element of a binary CGM (ISO 8632-3: header word, long
// form, partition bit, padding).  Sets *error on a structural fault.
inline std::vector<Element> decode(const std::string &bytes, std::string *error) {
    std::vector<Element> out;
    size_t pos = 0;
    auto u16 = [&](size_t p) { return (unsigned)(uint8_t)bytes[p] << 8 | (uint8_t)bytes[p + 1]; };
    while (pos < bytes.size()) {
        if (pos + 2 > bytes.size()) return *error = "truncated header", out;
        unsigned h = u16(pos);
        pos += 2;
        Element e{(int)(h >> 12), (int)((h >> 5) & 0x7F), {}};
        unsigned len = h & 31;
        bool more = false;
        bool long_form = len == 31;
        do {
            if (long_form) {
                if (pos + 2 > bytes.size()) return *error = "truncated long form", out;
                unsigned l = u16(pos);
                pos += 2;
                more = (l & 0x8000) != 0;
                len = l & 0x7FFF;
            }
            if (pos + len > bytes.size()) return *error = "parameters past the end", out;
            e.params.insert(e.params.end(), bytes.begin() + (long)pos, bytes.begin() + (long)(pos + len));
            pos += len + (len & 1); // odd lengths are followed by a pad byte
        } while (more);
        if (pos > bytes.size()) return *error = "missing pad byte", out;
        out.push_back(std::move(e));
    }
    return out;
}

} // namespace drvtest
