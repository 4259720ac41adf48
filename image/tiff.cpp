// TIFF and GeoTIFF images: the first directory of a little- or big-endian
// file is read here (tags, date, maker), the pixels through libtiff
// (tiff_decode.cpp) and the map domain from the GeoTIFF keys (tiff_geo.cpp).
//
// Choices for what real files need:
// - Integer tags are read as BYTE, SHORT or LONG, whichever the entry says.
// - Only 8 and 16 bits per sample are read; 16-bit samples keep their high
//   byte and several samples per pixel keep the first, so the image is always
//   one byte per pixel with depth 8.  Other depths are refused.
// - Every compression, strip and tile layout libtiff decodes is read; a file
//   whose pixels are not all decoded (cut, corrupt, or a compression libtiff
//   lacks) is refused with a message naming the file and the compression.
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "core/flags.h"
#include "files/date.h"
#include "image/area.h"
#include "image/reader_formats.h"
#include "image/readers.h"
#include "image/tiff_internal.h"

namespace tiffrd {

// Bytes of one value of each TIFF field type (0: unknown type).
static unsigned type_size(unsigned type)
{
    static const unsigned sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type < 13 ? sizes[type] : 0;
}

uint64_t Tiff::uint_at(const Entry &e, uint32_t i) const
{
    if (!e.ok || i >= e.count) return 0;
    switch (e.type) {
    case 1: case 6: case 7: return s.u8(e.off + i);
    case 3: case 8: return s.u16(e.off + 2ull * i);
    case 4: case 9: return s.u32(e.off + 4ull * i);
    default: return 0;
    }
}

double Tiff::double_at(const Entry &e, uint32_t i) const
{
    if (!e.ok || i >= e.count) return 0;
    if (e.type == 12) return s.f64(e.off + 8ull * i);
    if (e.type == 11) {
        uint32_t v = s.u32(e.off + 4ull * i);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    if (e.type == 5) {
        uint32_t d = s.u32(e.off + 8ull * i + 4);
        return d ? (double)s.u32(e.off + 8ull * i) / d : 0;
    }
    return (double)uint_at(e, i);
}

const Entry *Tiff::get(unsigned tag) const
{
    auto it = tags.find(tag);
    return it != tags.end() && it->second.ok ? &it->second : nullptr;
}

uint64_t Tiff::value(unsigned tag, uint64_t fallback) const
{
    const Entry *e = get(tag);
    return e && e->count ? uint_at(*e, 0) : fallback;
}

std::string Tiff::ascii(unsigned tag, size_t limit) const
{
    const Entry *e = get(tag);
    if (!e || e->type != 2) return {};
    std::string out;
    for (uint32_t i = 0; i < e->count && out.size() < limit; i++) {
        char c = (char)s.p[e->off + i];
        if (!c) break;
        out += c;
    }
    return out;
}

}  // namespace tiffrd

namespace {

using namespace tiffrd;

// Prints one directory entry at the tag-trace level.
void print_entry(const Tiff &t, const Entry &e)
{
    if (!MESS_check(TAGS)) return;
    if (!e.ok) {
        MESS_print(TAGS, "Tag: %d %d %d (values outside the file)\n", e.tag, e.type, e.count);
        return;
    }
    uint32_t shown = std::min<uint32_t>(e.count, 16);
    switch (e.type) {
    case 2:
        MESS_print(TAGS, "Tag: %d ASCII %d %s\n", e.tag, e.count, t.ascii(e.tag, 200).c_str());
        break;
    case 3:
        if (e.tag == 34735) {
            MESS_print(TAGS, "Tag: GeoKeyDir SHORT %d:\n", e.count);
            for (uint32_t i = 0; i + 3 < std::min<uint32_t>(e.count, 400); i += 4)
                MESS_print(TAGS, "  %d %d %d %d\n", (int)t.uint_at(e, i), (int)t.uint_at(e, i + 1),
                           (int)t.uint_at(e, i + 2), (int)t.uint_at(e, i + 3));
        } else {
            MESS_print(TAGS, "Tag: %d SHORT %d %d\n", e.tag, e.count, (int)t.uint_at(e, 0));
        }
        break;
    case 4:
        MESS_print(TAGS, "Tag: %d LONG %d %u\n", e.tag, e.count, (unsigned)t.uint_at(e, 0));
        break;
    case 5:
    case 12:
        MESS_print(TAGS, e.type == 5 ? "Tag: %d RATIONAL %d:  " : "Tag: %d DOUBLE %d:  ", e.tag,
                   e.count);
        for (uint32_t i = 0; i < shown; i++) MESS_print(TAGS, "%g ", t.double_at(e, i));
        MESS_print(TAGS, "\n");
        break;
    default:
        MESS_print(TAGS, "Tag: %d %d %d %u\n", e.tag, e.type, e.count, (unsigned)t.uint_at(e, 0));
    }
}

}  // namespace

int SAT_read_TIFF_mem(const unsigned char *data, size_t size, const char *name, IMG *image)
{
    IMG_init(image);
    image->source = IMG_SRC_TIFF;
    Tiff t;
    t.s.p = data;
    t.s.n = size;
    t.name = name ? name : "";
    if (size >= 4 && std::memcmp(data, "MM\0*", 4) == 0) {
        t.s.big = true;
        swap_setup(1);  // the byte-order switch follows the file; parsing uses t.s.big
        MESS_print(MESS_DEBUG, "TIFF big endian\n");
    } else if (size >= 4 && std::memcmp(data, "II*\0", 4) == 0) {
        t.s.big = false;
        swap_setup(2);
        MESS_print(MESS_DEBUG, "TIFF little endian\n");
    } else {
        MESS_print(ERR, "Not a TIFF file\n");
        return -1;
    }
    uint64_t ifd = t.s.u32(4);
    if (!t.s.has(ifd, 2)) {
        MESS_print(ERR, "SAT_read_TIFF: %s: directory offset %llu past the end of the file\n",
                   t.name, (unsigned long long)ifd);
        return -1;
    }
    uint32_t ntags = t.s.u16(ifd);
    MESS_print(TAGS, "Num tags: %d\n", ntags);
    // A directory or tag values running past the end of the file mean a cut
    // file: refused, as its pixels or georeference would be incomplete.
    uint64_t fit = (size - ifd - 2) / 12;
    if (ntags > fit) {
        MESS_print(ERR, "SAT_read_TIFF: %s: directory of %u entries, the file ends after %llu "
                   "(cut file)\n", t.name, ntags, (unsigned long long)fit);
        return -1;
    }
    for (uint32_t k = 0; k < ntags; k++) {
        uint64_t at = ifd + 2 + 12ull * k;
        Entry e;
        e.tag = t.s.u16(at);
        e.type = t.s.u16(at + 2);
        e.count = t.s.u32(at + 4);
        uint64_t bytes = (uint64_t)type_size(e.type) * e.count;
        e.off = bytes <= 4 ? at + 8 : t.s.u32(at + 8);
        e.ok = type_size(e.type) && t.s.has(e.off, bytes);
        print_entry(t, e);
        if (type_size(e.type) && !e.ok) {
            MESS_print(ERR, "SAT_read_TIFF: %s: values of tag %u lie past the end of the file "
                       "(cut file)\n", t.name, e.tag);
            return -1;
        }
        if (!t.tags.count(e.tag)) t.tags[e.tag] = e;
    }

    uint64_t w = t.value(256), h = t.value(257);
    int bits = (int)t.value(258, 1), spp = (int)t.value(277, 1);
    MESS_print(TAGS, "Height: %d\n", (int)h);
    MESS_print(TAGS, "Width: %d\n", (int)w);
    MESS_print(TAGS, "Depth: %d\n", bits);
    if (w < 1 || h < 1 || w > 100000 || h > 100000 || w * h > rdr::MAX_PIXELS) {
        MESS_print(ERR, "SAT_read_TIFF: %s: image size %llux%llu not supported\n", t.name,
                   (unsigned long long)w, (unsigned long long)h);
        return -1;
    }
    if ((bits != 8 && bits != 16) || spp < 1 || spp > 16) {
        MESS_print(ERR, "SAT_read_TIFF: %s: %d bits x %d samples per pixel not supported\n", t.name,
                   bits, spp);
        return -1;
    }
    // No compression a TIFF may use packs more than some 1,400 pixel bytes
    // into one (LZW on a flat picture; Deflate stops near 1,032), so a file
    // cannot hold more than that: a forged size must not allocate gigabytes.
    if (w * h * (bits / 8) > 1500 * (uint64_t)size + 65536) {
        MESS_print(ERR, "SAT_read_TIFF: %s: %llux%llu pixels cannot be in a file of %zu bytes\n",
                   t.name, (unsigned long long)w, (unsigned long long)h, size);
        return -1;
    }

    std::string make = t.ascii(271, 29), model = t.ascii(272, 29);
    if (!make.empty() || !model.empty())
        snprintf(image->info, sizeof image->info, "%s %s", make.c_str(), model.c_str());
    std::string when = t.ascii(306, 40);
    DATE &d = image->date;
    if (sscanf(when.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &d.year, &d.month, &d.day, &d.hour,
               &d.minute, &d.second) == 6) {
        int julian;
        if (DATE_monday_julian(d.year, d.month, d.day, &julian) == 0) d.julian = julian;
        DATE_make_label(&d, image->date_label);
    } else {
        DATE_init(&d);
    }

    image->nx = (int)w;
    image->ny = (int)h;
    image->depth = 8;
    image->bits_pixel = 8;
    image->bytes_line = (int)w;
    make_domain(t, (int)w, (int)h, image);
    image->data = static_cast<unsigned char *>(calloc(w * h, 1));
    if (!image->data) {
        MESS_print(ERR, "SAT_read_TIFF: %s: no memory for the pixels\n", t.name);
        return -1;
    }
    if (!decode_pixels(data, size, t.name, (int)w, (int)h, image->data)) {
        IMG_free(image);
        return -1;
    }
    return 0;
}

int SAT_read_TIFF(const char *name, IMG *image) { return IMG_reader_read_named(IMG_SRC_TIFF, name, image); }

namespace rdr {

// The byte-order mark and the number 42 in that order.
bool tiff_identify(const unsigned char *b, size_t n)
{
    return n >= 4 && (!std::memcmp(b, "MM\0*", 4) || !std::memcmp(b, "II*\0", 4));
}

int tiff_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    return read_span(source, out, "SAT_read_TIFF", IMG_SRC_TIFF,
                     [&](const unsigned char *b, size_t n) {
                         return SAT_read_TIFF_mem(b, n, source->name, out->image);
                     });
}

}  // namespace rdr
