// Small pieces shared by the AWIPS, Unisys, TIFF and LRIT readers: whole-stream
// reading with a size cap, bounds-checked big/little-endian fetches, and the
// Mercator domain fitted through two known pixel centres.  Each reader parses
// a byte span, so the fuzz targets feed the same code from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "map/dom.h"

namespace rdr {

// Largest input file any of these readers accepts.  Real products are a few
// MB; the cap keeps a hostile or mistaken path (a device, a huge archive) from
// exhausting memory.
constexpr uint64_t MAX_FILE = 1ull << 30;
// Largest image accepted (pixels), in line with the libpng fuzz harness cap.
constexpr uint64_t MAX_PIXELS = 100000000ull;

// Reads the whole stream from its current position.  false when the stream
// cannot be read or is larger than MAX_FILE.
bool read_all(FILE *in, std::vector<unsigned char> &out);

// A read-only byte span with bounds-checked fetches: out-of-range reads give
// 0 and set `bad`, so parsers can read a field and check once afterwards.
struct Span {
    const unsigned char *p = nullptr;
    size_t n = 0;
    bool big = true;     // byte order of multi-byte fetches
    mutable bool bad = false;

    bool has(uint64_t off, uint64_t len) const { return off <= n && len <= n - off; }
    unsigned u8(uint64_t off) const;
    unsigned u16(uint64_t off) const;
    uint32_t u32(uint64_t off) const;
    double f64(uint64_t off) const;
};

// Mercator domain (proj 3, plat 0, plon as given) whose pixel (0, ny-1) is
// centred on (lat1, lon1) and pixel (nx-1, 0) on (lat2, lon2): the points are
// projected, the spacing is their distance over nx-1 and ny-1 steps, and the
// centre is the inverse of their mid point.  false when a point cannot be projected or a size is below 2.
bool fit_mercator(DOM *dom, float plon, double lat1, double lon1, double lat2, double lon2,
                  int nx, int ny);

// Fits the spacing and centre of `dom`, whose projection, plat, plon, parm,
// nx and ny are set, so that pixel (0, 0) is centred on (lat1, lon1) and
// pixel (nx-1, ny-1) on (lat2, lon2): the two points are projected, the
// spacing is their distance over nx-1 and ny-1 steps and the centre is the
// inverse of their mid point.  false (dom unchanged) when a point cannot be projected, a size is below 2
// or the points do not run right and down.
bool fit_domain(DOM *dom, double lat1, double lon1, double lat2, double lon2);

// Longitude brought into [-180, 180).
double norm_lon(double lon);

// A brightness temperature (K) as a count of the program's infrared scale,
// the one IMG_VALUE_TEMPERATURE images carry: 0.5 K steps from 57 C down to
// -30 C, 1 K steps below, held to counts 1..255 (0 stays missing).
int ir_count(double kelvin);

}  // namespace rdr
