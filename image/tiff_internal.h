// Pieces of the TIFF reader shared by its files: the first directory as
// parsed from the bytes (tiff.cpp), the GeoTIFF keys and the map domain they
// give (tiff_geo.cpp), and the pixels decoded through libtiff
// (tiff_decode.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "image/img.h"
#include "image/rdr_util.h"

namespace tiffrd {

constexpr uint32_t ERR = MESS_WARN;
constexpr uint32_t TAGS = 0x10000000;

struct Entry {
    unsigned tag = 0, type = 0;
    uint32_t count = 0;
    uint64_t off = 0;   // where the values are (inline or out of line)
    bool ok = false;    // values lie inside the file
};

// The first directory of a file held in memory.
struct Tiff {
    rdr::Span s;
    const char *name = "";
    std::map<unsigned, Entry> tags;

    uint64_t uint_at(const Entry &e, uint32_t i) const;
    double double_at(const Entry &e, uint32_t i) const;
    const Entry *get(unsigned tag) const;
    uint64_t value(unsigned tag, uint64_t fallback = 0) const;
    std::string ascii(unsigned tag, size_t limit) const;
};

// Fills image->domain from the GeoTIFF tags of an image w x h; leaves it
// unset (with a message) when the file has no usable georeference.
void make_domain(const Tiff &t, int w, int h, IMG *image);

// Decodes the first directory's pixels into image->data (w x h bytes,
// already allocated): the first sample of each pixel, its most significant
// byte.  false, with a message naming the file, when libtiff cannot open the
// file or any strip or tile is not fully decoded.
bool decode_pixels(const unsigned char *data, size_t size, const char *name, int w, int h,
                   unsigned char *out);

}  // namespace tiffrd
