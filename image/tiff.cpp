// TIFF and GeoTIFF images: the first directory of a little- or big-endian
// file, pixels from strips or tiles (uncompressed or PackBits), and a
// geographic or Mercator map domain from the GeoTIFF keys.
//
// Choices for what real files need:
// - Integer tags are read as BYTE, SHORT or LONG, whichever the entry says.
// - Pixels are placed strip by strip (StripOffsets with StripByteCounts and
//   RowsPerStrip) or tile by tile (tags 322-325, edge tiles cropped), so
//   strips need not be contiguous.
// - Only 8 and 16 bits per sample are read; 16-bit samples keep their high
//   byte and several samples per pixel keep the first, so the image is always
//   one byte per pixel with depth 8.  Other depths are refused.
// - Compression other than none or PackBits is read as uncompressed with a
//   warning, as the format's older readers did.
// - Mercator: the file's own ellipsoidal Mercator (central longitude from
//   key 3088 or else 3080, scale from 3092 unless a standard parallel 3078
//   gives it, false origin 3082/3083, ellipsoid from 2057/2059 or the
//   ellipsoid, datum or geographic code) turns the first and last pixel
//   centres into latitude/longitude, and the spherical Mercator domain of the
//   program is fitted through them.  A transformation with rotation or shear
//   gives no domain.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "driver/flags.h"
#include "image/area.h"
#include "image/rdr_util.h"
#include "image/sat_formats.h"
#include "image/sat_read.h"
#include "image/tiff_packbits.h"
#include "map/map.h"

namespace {

constexpr uint32_t ERR = 192;
constexpr uint32_t TAGS = 0x10000000;

// Bytes of one value of each TIFF field type (0: unknown type).
unsigned type_size(unsigned type)
{
    static const unsigned sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type < 13 ? sizes[type] : 0;
}

struct Entry {
    unsigned tag = 0, type = 0;
    uint32_t count = 0;
    uint64_t off = 0;   // where the values are (inline or out of line)
    bool ok = false;    // values lie inside the file
};

struct Tiff {
    rdr::Span s;
    const char *name;
    std::map<unsigned, Entry> tags;

    uint64_t uint_at(const Entry &e, uint32_t i) const
    {
        if (!e.ok || i >= e.count) return 0;
        switch (e.type) {
        case 1: case 6: case 7: return s.u8(e.off + i);
        case 3: case 8: return s.u16(e.off + 2ull * i);
        case 4: case 9: return s.u32(e.off + 4ull * i);
        default: return 0;
        }
    }
    double double_at(const Entry &e, uint32_t i) const
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
    const Entry *get(unsigned tag) const
    {
        auto it = tags.find(tag);
        return it != tags.end() && it->second.ok ? &it->second : nullptr;
    }
    uint64_t value(unsigned tag, uint64_t fallback = 0) const
    {
        const Entry *e = get(tag);
        return e && e->count ? uint_at(*e, 0) : fallback;
    }
    std::string ascii(unsigned tag, size_t limit) const
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
};

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

// GeoKeys: short values, and doubles for keys stored in GeoDoubleParams.
struct GeoKeys {
    std::map<unsigned, unsigned> shorts;
    std::map<unsigned, double> doubles;
    bool has(unsigned k) const { return shorts.count(k) || doubles.count(k); }
    unsigned s(unsigned k, unsigned fallback = 0) const
    {
        auto it = shorts.find(k);
        return it == shorts.end() ? fallback : it->second;
    }
    double d(unsigned k, double fallback) const
    {
        auto it = doubles.find(k);
        return it == doubles.end() ? fallback : it->second;
    }
};

GeoKeys read_geokeys(const Tiff &t)
{
    GeoKeys g;
    const Entry *dir = t.get(34735);
    if (!dir || dir->type != 3 || dir->count < 4) return g;
    const Entry *dbl = t.get(34736);
    uint32_t nkeys = (uint32_t)t.uint_at(*dir, 3);
    // Keys past the end of the tag are ignored.
    nkeys = std::min<uint32_t>(nkeys, (dir->count - 4) / 4);
    for (uint32_t k = 0; k < nkeys; k++) {
        uint32_t i = 4 + 4 * k;
        unsigned id = (unsigned)t.uint_at(*dir, i), loc = (unsigned)t.uint_at(*dir, i + 1);
        unsigned count = (unsigned)t.uint_at(*dir, i + 2), val = (unsigned)t.uint_at(*dir, i + 3);
        if (loc == 0) g.shorts[id] = val;
        else if (loc == 34736 && dbl && count >= 1 && val < dbl->count)
            g.doubles[id] = t.double_at(*dbl, val);
        else if (loc == 34735 && count >= 1 && val < dir->count)
            g.shorts[id] = (unsigned)t.uint_at(*dir, val);
        // ASCII parameters (34737) carry citations only.
    }
    return g;
}

// Semi-major axis and inverse flattening of the ellipsoids real files name
// through an ellipsoid, datum or geographic system code.
bool known_ellipsoid(unsigned code, double &a, double &rf)
{
    struct E { unsigned ell, datum, gcs; double a, rf; };
    static const E table[] = {
        {7030, 6326, 4326, 6378137.0, 298.257223563},     // WGS 84
        {7019, 6269, 4269, 6378137.0, 298.257222101},     // GRS 1980 / NAD83
        {7008, 6267, 4267, 6378206.4, 294.9786982139},    // Clarke 1866 / NAD27
        {7004, 6301, 4301, 6377397.155, 299.1528128},     // Bessel 1841 / Tokyo
        {7022, 6230, 4230, 6378388.0, 297.0},             // International 1924 / ED50
        {7043, 6322, 4322, 6378135.0, 298.26},            // WGS 72
        {7001, 6277, 4277, 6377563.396, 299.3249646},     // Airy 1830 / OSGB36
    };
    for (const E &e : table)
        if (code == e.ell || code == e.datum || code == e.gcs) {
            a = e.a;
            rf = e.rf;
            return true;
        }
    return false;
}

struct Mercator {
    double a = 6378137.0, e = 0.0818191908426215, k0 = 1, lon0 = 0, fe = 0, fn = 0;

    // Inverse of the ellipsoidal Mercator; degrees out.
    void inverse(double x, double y, double &lat, double &lon) const
    {
        double t = std::exp(-(y - fn) / (a * k0));
        double phi = M_PI / 2 - 2 * std::atan(t);
        for (int i = 0; i < 15; i++) {
            double es = e * std::sin(phi);
            double next = M_PI / 2 - 2 * std::atan(t * std::pow((1 - es) / (1 + es), e / 2));
            if (std::fabs(next - phi) < 1e-12) { phi = next; break; }
            phi = next;
        }
        lat = phi * 180 / M_PI;
        lon = rdr::norm_lon(lon0 + (x - fe) / (a * k0) * 180 / M_PI);
    }
};

Mercator mercator_from_keys(const GeoKeys &g)
{
    Mercator m;
    double a = 6378137.0, rf = 298.257223563;
    if (g.doubles.count(2057)) {
        a = g.d(2057, a);
        if (g.doubles.count(2059)) rf = g.d(2059, rf);
        else if (g.doubles.count(2058)) {
            double b = g.d(2058, a);
            rf = a != b ? a / (a - b) : 0;
        }
    } else if (!known_ellipsoid(g.s(2056), a, rf) && !known_ellipsoid(g.s(2050), a, rf)) {
        known_ellipsoid(g.s(2048), a, rf);  // else WGS 84
    }
    double f = rf > 0 ? 1 / rf : 0;
    m.a = a;
    m.e = std::sqrt(f * (2 - f));
    m.lon0 = g.doubles.count(3088) ? g.d(3088, 0) : g.d(3080, 0);
    m.fe = g.d(3082, 0);
    m.fn = g.d(3083, 0);
    m.k0 = g.d(3092, 1);
    if (g.doubles.count(3078)) {
        double p = g.d(3078, 0) * M_PI / 180, es = m.e * std::sin(p);
        m.k0 = std::cos(p) / std::sqrt(1 - es * es);
    }
    return m;
}

// Raster to model: X = c0 + c1 i + c2 j, Y = c3 + c4 i + c5 j.
struct Affine {
    double c[6] = {0, 1, 0, 0, 0, 1};
    bool rotated() const { return c[2] != 0 || c[4] != 0; }
    void apply(double i, double j, double &x, double &y) const
    {
        x = c[0] + c[1] * i + c[2] * j;
        y = c[3] + c[4] * i + c[5] * j;
    }
};

// The georeference; false when the file has none.  Pixel centres are half a
// pixel into the raster for PixelIsArea (the default), on the grid for
// PixelIsPoint.
bool georef(const Tiff &t, Affine &aff)
{
    const Entry *tie = t.get(33922), *scale = t.get(33550), *mat = t.get(34264);
    // The later of tiepoint and transformation in the directory wins.
    bool use_matrix = mat && mat->count >= 16 && (!tie || mat->tag > tie->tag);
    if (use_matrix) {
        double m[8];
        for (int i = 0; i < 8; i++) m[i] = t.double_at(*mat, i);
        aff.c[0] = m[3]; aff.c[1] = m[0]; aff.c[2] = m[1];
        aff.c[3] = m[7]; aff.c[4] = m[4]; aff.c[5] = m[5];
        MESS_print(TAGS, "UL: %.0f %.0f\n", m[3], m[7]);
        return true;
    }
    if (!tie || tie->count < 6 || !scale || scale->count < 2) return false;
    double I = t.double_at(*tie, 0), J = t.double_at(*tie, 1);
    double X = t.double_at(*tie, 3), Y = t.double_at(*tie, 4);
    double sx = t.double_at(*scale, 0), sy = t.double_at(*scale, 1);
    aff.c[0] = X - I * sx; aff.c[1] = sx; aff.c[2] = 0;
    aff.c[3] = Y + J * sy; aff.c[4] = 0; aff.c[5] = -sy;
    return true;
}

void make_domain(const Tiff &t, int w, int h, IMG *image)
{
    GeoKeys g = read_geokeys(t);
    unsigned model = g.s(1024), trans = g.s(3075);
    MESS_print(TAGS, "Proj: %d\n", model == 2 ? 2 : trans);
    bool geographic = model == 2, merc = trans == 7;
    if (!geographic && !merc) {
        if (g.has(1024)) MESS_print(MESS_MESS, "TIFF: projection not supported: no map domain\n");
        return;
    }
    Affine aff;
    if (!georef(t, aff)) {
        MESS_print(MESS_WARN, "SAT_read_TIFF: %s: no tiepoint or transformation: no map domain\n",
                   t.name);
        return;
    }
    if (aff.rotated()) {
        MESS_print(MESS_WARN, "SAT_read_TIFF: %s: rotated transformation: no map domain\n", t.name);
        return;
    }
    double half = g.s(1025, 1) == 2 ? 0 : 0.5;
    // Lower-left and upper-right pixel centres.
    double x1, y1, x2, y2;
    aff.apply(half, h - 1 + half, x1, y1);
    aff.apply(w - 1 + half, half, x2, y2);
    DOM d;
    DOM_init(&d);
    d.nx = w;
    d.ny = h;
    if (geographic) {
        d.proj = DOM_LATLON;
        d.plat = d.plon = 0;
        d.dx = (float)std::fabs(aff.c[1]);
        d.dy = (float)std::fabs(aff.c[5]);
        d.clat = (float)((y1 + y2) / 2);
        d.clon = (float)rdr::norm_lon((x1 + x2) / 2);
    } else {
        Mercator m = mercator_from_keys(g);
        double la1, lo1, la2, lo2;
        m.inverse(x1, y1, la1, lo1);
        m.inverse(x2, y2, la2, lo2);
        if (!rdr::fit_mercator(&d, (float)rdr::norm_lon(m.lon0), la1, lo1, la2, lo2, w, h)) {
            MESS_print(MESS_WARN, "SAT_read_TIFF: %s: corners cannot be projected\n", t.name);
            return;
        }
        d.ellipsoid = 1;
    }
    MESS_print(TAGS, "Center: %.2f %.2f\n", d.clat, d.clon);
    image->domain = d;
}

// Where a strip or tile lies in the file, checked against its length.
bool chunk(const Tiff &t, const Entry *offs, const Entry *counts, uint32_t i, uint64_t want,
           const unsigned char *&p, uint64_t &n)
{
    uint64_t off = t.uint_at(*offs, i);
    if (off >= t.s.n) return false;
    n = counts && i < counts->count ? t.uint_at(*counts, i) : want;
    n = std::min<uint64_t>(n, t.s.n - off);
    p = t.s.p + off;
    return true;
}

// Decodes one strip or tile of `want` bytes into `out`; returns bytes made.
uint64_t decode_chunk(unsigned comp, const unsigned char *p, uint64_t n, unsigned char *out,
                      uint64_t want)
{
    if (comp == 32773) return packbits_decode(p, n, out, want);
    uint64_t k = std::min(n, want);
    std::memcpy(out, p, k);
    return k;
}

// Copies one decoded block (bw samples wide, rows of bpp-byte pixels) into
// the image at (x0, y0), keeping the first sample's most significant byte.
void place(const unsigned char *blk, int bw, int bh, int x0, int y0, int bpp, int sample_bytes,
           bool big, int w, int h, unsigned char *img)
{
    int pick = sample_bytes == 2 && !big ? 1 : 0;
    int spp_bytes = bpp;
    for (int r = 0; r < bh && y0 + r < h; r++) {
        const unsigned char *src = blk + (size_t)r * bw * spp_bytes;
        unsigned char *dst = img + (size_t)(y0 + r) * w + x0;
        int cols = std::min(bw, w - x0);
        if (spp_bytes == 1) std::memcpy(dst, src, cols);
        else for (int c = 0; c < cols; c++) dst[c] = src[(size_t)c * spp_bytes + pick];
    }
}

bool read_pixels(const Tiff &t, int w, int h, int bits, int spp, IMG *image)
{
    unsigned comp = (unsigned)t.value(259, 1);
    if (comp != 1 && comp != 32773)
        MESS_print(MESS_WARN, "SAT_read_TIFF: %s: compression %u read as uncompressed\n", t.name, comp);
    int bpp = bits / 8 * spp;  // bytes per pixel in the file
    int sample_bytes = bits / 8;
    unsigned char *img = image->data;
    std::vector<unsigned char> blk;
    const Entry *toff = t.get(324), *tcnt = t.get(325);
    if (toff && t.value(322) > 0 && t.value(323) > 0) {
        uint64_t tw = t.value(322), tl = t.value(323);
        // Tiles far larger than the image are refused, not allocated.
        if (tw > 65536 || tl > 65536 || tw * tl * bpp > (uint64_t)w * h * bpp + (1u << 20)) return false;
        uint64_t across = (w + tw - 1) / tw, down = (h + tl - 1) / tl;
        uint64_t want = tw * tl * bpp;
        blk.resize(want);
        for (uint64_t ty = 0; ty < down; ty++)
            for (uint64_t tx = 0; tx < across; tx++) {
                uint64_t i = ty * across + tx;
                const unsigned char *p;
                uint64_t n;
                if (i >= toff->count || !chunk(t, toff, tcnt, (uint32_t)i, want, p, n)) continue;
                std::fill(blk.begin(), blk.end(), 0);
                decode_chunk(comp, p, n, blk.data(), want);
                place(blk.data(), (int)tw, (int)tl, (int)(tx * tw), (int)(ty * tl), bpp, sample_bytes,
                      t.s.big, w, h, img);
            }
        return true;
    }
    const Entry *soff = t.get(273), *scnt = t.get(279);
    if (!soff) return false;
    uint64_t rps = std::min<uint64_t>(t.value(278, h), (uint64_t)h);
    if (rps == 0) rps = h;
    uint64_t nstrips = (h + rps - 1) / rps;
    for (uint64_t s = 0; s < nstrips && s < soff->count; s++) {
        uint64_t rows = std::min<uint64_t>(rps, h - s * rps);
        uint64_t want = rows * w * bpp;
        const unsigned char *p;
        uint64_t n;
        if (!chunk(t, soff, scnt, (uint32_t)s, want, p, n)) continue;
        if (bpp == 1 && comp == 32773) {  // straight into the image
            packbits_decode(p, n, img + s * rps * w, want);
            continue;
        }
        blk.assign(want, 0);
        decode_chunk(comp, p, n, blk.data(), want);
        place(blk.data(), w, (int)rows, 0, (int)(s * rps), bpp, sample_bytes, t.s.big, w, h, img);
    }
    return true;
}

}  // namespace

uint64_t packbits_decode(const unsigned char *in, uint64_t n, unsigned char *out, uint64_t want)
{
    uint64_t i = 0, o = 0;
    while (i < n && o < want) {
        unsigned c = in[i++];
        if (c < 128) {
            uint64_t k = std::min<uint64_t>({c + 1ull, n - i, want - o});
            std::memcpy(out + o, in + i, k);
            i += c + 1;
            o += k;
        } else if (c > 128) {
            if (i >= n) break;
            uint64_t k = std::min<uint64_t>(257 - c, want - o);
            std::memset(out + o, in[i++], k);
            o += k;
        }
    }
    return o;
}

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
    // A count running past the file keeps the entries that are there.
    uint64_t fit = (size - ifd - 2) / 12;
    if (ntags > fit) {
        MESS_print(MESS_WARN, "SAT_read_TIFF: %s: directory of %u entries cut to %llu\n", t.name,
                   ntags, (unsigned long long)fit);
        ntags = (uint32_t)fit;
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
        if (!t.tags.count(e.tag)) t.tags[e.tag] = e;
        print_entry(t, e);
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
    // PackBits expands at most 64 times, so a file cannot hold more pixel
    // bytes than that: a forged size must not allocate gigabytes.
    if (w * h * (bits / 8) * spp > 64 * (uint64_t)size + 65536) {
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
    {
        rdr::MapDomainGuard guard;
        make_domain(t, (int)w, (int)h, image);
    }
    image->data = static_cast<unsigned char *>(calloc(w * h, 1));
    if (!image->data) {
        MESS_print(ERR, "SAT_read_TIFF: %s: no memory for the pixels\n", t.name);
        return -1;
    }
    if (!read_pixels(t, (int)w, (int)h, bits, spp, image)) {
        MESS_print(ERR, "SAT_read_TIFF: %s: no usable strips or tiles\n", t.name);
        IMG_free(image);
        return -1;
    }
    return 0;
}

int SAT_read_TIFF(const char *name, IMG *image)
{
    IMG_init(image);
    image->source = IMG_SRC_TIFF;
    std::vector<unsigned char> bytes;
    if (!rdr::load_file("SAT_read_TIFF", name, bytes)) return -1;
    return SAT_read_TIFF_mem(bytes.data(), bytes.size(), name, image);
}
