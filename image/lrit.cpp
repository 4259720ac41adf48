// LRIT/HRIT files: a chain of header records (type, length, body), then the
// image data, plain (8, 10 or 16 bits per pixel) or JPEG, and the
// geostationary (satellite-view) domain of the segment.
//
// Choices where real files need more than the record layout says:
// - Plain data of other widths than 8 bits is unpacked most significant bit
//   first; values keep bits 2..9 (the 10-bit range) for 10 and 16 bits, and
//   the top 8 bits for other widths above 8.  16-bit data stored least
//   significant byte first (COMS HRIT) is recognised by its values (see
//   read_plain).
// - The type-128 record comes in a 7-byte form (segment, count, first line:
//   KMA and JMA) and a 13-byte form (spacecraft, channel, segment, planned
//   start and end, representation: EUMETSAT); its length tells them apart.
// - Geolocation follows the CGMS relation c = COFF + x 2^-16 CFAC,
//   l = LOFF + y 2^-16 LFAC, columns and lines counted from 1, with the line
//   counted from the segment's first line in the 7-byte form and LOFF given
//   per segment in the 13-byte form.  A geostationary imager delivers either
//   a north-up picture or one turned by 180 degrees, never a mirror image, so
//   the sign of CFAC decides the orientation: positive is north-up with east
//   to the right (COMS, Himawari; KMA writes a negative LFAC for its north-up
//   pictures), negative is the turned picture (EUMETSAT's MSG), whose rows
//   and columns are reversed on reading so that the image is north-up.
//   Pixel centres are exact: column c covers the scan angle of c, not of
//   c - 1/2 or of columns div 2.
// - A file without an image structure, with a zero size, or with wavelet or
//   any other compression than JPEG is refused; nothing is left half-filled.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/util.h"
#include "files/date.h"
#include "image/lrit_internal.h"
#include "image/lrit_jpeg.h"
#include "image/rdr_util.h"
#include "image/reader_formats.h"
#include "image/readers.h"
#include "image/sat_formats.h"
#include "map/map.h"

namespace {

constexpr uint32_t ERR = MESS_WARN;
constexpr uint32_t DBG = MESS_DEBUG;

struct State {
    FILE *in = nullptr;
    bool own = false;           // opened here, closed by LRIT_close
    bool open = false;
    std::string name;
    int64_t count = 0;          // header bytes consumed
    int64_t total = -1;         // total header length from the primary header
    int bits = 0, cols = 0, lines = 0, compress = -1;
    bool have_struct = false, have_nav = false;
    char proj[33] = "";
    int32_t cfac = 0, lfac = 0, coff = 0, loff = 0;
    int file_type = 0;          // 0 image data, 128 prologue, 129 epilogue, ...
    int seg = 0, nseg = 0, first_line = 1;
    bool have_seg = false;
    bool seg_relative = false;  // 13-byte form: LOFF is given per segment
    int sat = 0, chan = 0;      // 13-byte form: spacecraft and channel
    int first_seg = 1, last_seg = 0;  // 13-byte form: the planned segments
    const unsigned char *lut10 = nullptr;  // 10-bit sample to 8-bit count, or null
    bool quiet = false;
    bool cut = false;           // a header record ends past the end of the file         // headers read again for a set: not printed again
    std::string annotation;
    DATE date{};
    int col_dir = 1, line_dir = 1;
};

State st;

int32_t s32(const unsigned char *p) { return (int32_t)((uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]); }
unsigned u16(const unsigned char *p) { return p[0] << 8 | p[1]; }

void reset_state(FILE *in, bool own, const char *name)
{
    st = State{};
    st.in = in;
    st.own = own;
    st.open = true;
    st.name = name ? name : "";
    DATE_init(&st.date);
}

std::string text_of(const std::vector<unsigned char> &b)
{
    std::string s(b.begin(), b.end());
    s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
    return s;
}

void handle_record(int type, const std::vector<unsigned char> &b, int len)
{
    const unsigned char *p = b.data();
    size_t n = b.size();
    switch (type) {
    case 0:
        if (n < 5) break;
        st.file_type = p[0];
        st.total = (int64_t)((uint32_t)p[1] << 24 | p[2] << 16 | p[3] << 8 | p[4]);
        MESS_print(DBG, "HDR0-Primary: %d len: %lld\n", p[0], (long long)st.total);
        return;
    case 1:
        if (n < 6) break;
        st.bits = p[0];
        st.cols = (int)u16(p + 1);
        st.lines = (int)u16(p + 3);
        st.compress = p[5];
        st.have_struct = true;
        MESS_print(DBG, "HDR1-Image Struct: bits/pixel: %d ncol: %d nrow: %d compress: %d\n", st.bits,
                   st.cols, st.lines, st.compress);
        return;
    case 2:
        if (n < 48) break;
        std::memcpy(st.proj, p, 32);
        st.proj[32] = 0;
        st.cfac = s32(p + 32);
        st.lfac = s32(p + 36);
        st.coff = s32(p + 40);
        st.loff = s32(p + 44);
        st.have_nav = true;
        MESS_print(DBG, "HDR2-Image Nav: %s cfac: %d lfac: %d coff: %d loff: %d\n", st.proj, st.cfac,
                   st.lfac, st.coff, st.loff);
        return;
    case 3:
        MESS_print(DBG, "HDR3-Image Data: %s\n", text_of(b).c_str());
        return;
    case 4: {
        st.annotation = text_of(b);
        MESS_print(DBG, "HDR4-Annotation: %s\n", st.annotation.c_str());
        return;
    }
    case 5: {
        if (n < 7) break;
        DATE_init(&st.date);
        int days = (int)u16(p + 1);
        uint32_t ms = (uint32_t)s32(p + 3);
        DATE &d = st.date;
        DATE_days_date(days - 4382, &d.year, &d.month, &d.day);
        DATE_time_date((int)(ms / 1000 % 86400), &d.hour, &d.minute, &d.second);
        int julian;
        if (DATE_monday_julian(d.year, d.month, d.day, &julian) == 0) d.julian = julian;
        MESS_print(DBG, "HDR5-Time Stamp: %d %u\n", days, ms);
        if (!st.quiet) DATE_print(MESS_OUT2, &d);
        return;
    }
    case 128:
        if (len == 7 && n >= 4) {
            st.seg = p[0];
            st.nseg = p[1];
            st.first_line = (int)u16(p + 2);
            st.seg_relative = false;
            st.have_seg = true;
            MESS_print(DBG, "HDR128-Image Segment: seg: %d nseg: %d lseg: %d\n", st.seg, st.nseg,
                       st.first_line);
            return;
        }
        if (len == 13 && n >= 10) {
            st.seg = (int)u16(p + 3);
            st.nseg = (int)u16(p + 7);
            st.last_seg = st.nseg;
            st.first_line = 1;
            st.seg_relative = true;
            st.have_seg = true;
            st.sat = (int)u16(p);
            st.chan = p[2];
            st.first_seg = (int)u16(p + 5);
            MESS_print(DBG,
                       "HDR128-Image Segment: sat: %u chan: %d seg: %d start: %u end: %u repr: %d\n",
                       u16(p), p[2], st.seg, u16(p + 5), u16(p + 7), p[9]);
            return;
        }
        break;
    default:
        MESS_print(DBG, "HDR: %d %d\n", type, len);
        return;
    }
    MESS_print(DBG, "HDR: %d %d (too short for its fields, skipped)\n", type, len);
}

// The satellite-view domain of the segment (see the top of the file).
void make_domain(IMG *image)
{
    float plon;
    if (!st.have_nav || strncmp(st.proj, "GEOS", 4) != 0 || sscanf(st.proj, "GEOS(%f", &plon) != 1)
        return;
    // A segment read for a set (quiet) has its domain made for the whole
    // image afterwards: no message about its own.
    if (st.cfac == 0 || st.lfac == 0) {
        if (!st.quiet)
            MESS_print(MESS_WARN, "SAT_read_LRIT: %s: zero scaling factor: no map domain\n",
                       st.name.c_str());
        return;
    }
    DOM d;
    DOM_init(&d);
    d.proj = DOM_SAT;
    d.plat = 0;
    d.plon = plon;
    d.parm[0] = 421.61f;
    d.parm[1] = 1;
    d.ellipsoid = 1;
    d.nx = st.cols;
    d.ny = st.lines;
    const double k = 65536.0 * M_PI / 180 * 421.61;
    d.dx = (float)(k / std::fabs((double)st.cfac));
    d.dy = (float)(k / std::fabs((double)st.lfac));
    st.col_dir = st.line_dir = st.cfac < 0 ? -1 : 1;
    // Column and line (from 1) at the middle of the segment, and the scan
    // angles there: x east, y north.
    double c = (st.cols + 1) / 2.0, l = st.first_line + (st.lines - 1) / 2.0;
    double x = (c - st.coff) * d.dx, y = (st.loff - l) * d.dy;
    if (st.col_dir < 0) x = -x, y = -y;  // the picture turned by 180 degrees
    d.clat = d.clon = 0;
    float clat, clon;
    if (!MAP_make_proj(&d).untran(&clat, &clon, (float)x, (float)y)) {
        if (!st.quiet)
            MESS_print(MESS_WARN, "SAT_read_LRIT: %s: segment centre off the earth: no map domain\n",
                       st.name.c_str());
        return;
    }
    d.clat = clat;
    d.clon = (float)rdr::norm_lon(clon);
    image->domain = d;
    if (!st.quiet) DOM_print(MESS_OUT2, &d);
}

// Among n 16-bit samples, those above the 10-bit range only when read most
// significant byte first (big), and only when read least significant byte
// first (little).  Values over it both ways (fill values such as 0xFFFF)
// say nothing about the order and count in neither.
void count_over(const unsigned char *p, size_t n, size_t &big, size_t &little)
{
    // A value exceeds 1023 when its more significant byte is 4 or more.
    // Plain byte tests in 32-bit counters keep the loop vectorisable.
    uint32_t b = 0, l = 0;
    for (size_t i = 0; i < n; i++) {
        const uint32_t first = p[2 * i] >= 4, second = p[2 * i + 1] >= 4;
        b += first & (second ^ 1);
        l += second & (first ^ 1);
    }
    big += b;
    little += l;
}

// 16-bit samples to their bits 2..9, in the byte order given.
void unpack16(const unsigned char *p, size_t n, bool little, unsigned char *out)
{
    const int hi = little ? 1 : 0, lo = 1 - hi;
    for (size_t i = 0; i < n; i++) out[i] = (unsigned char)((p[2 * i + hi] << 8 | p[2 * i + lo]) >> 2);
}
// Plain samples of another width, most significant bit first, to 8 bits.
void unpack_bits(const unsigned char *p, size_t n, int bits, size_t count, unsigned char *out)
{
    int shift = bits == 10 ? 2 : bits > 8 ? bits - 8 : 0;
    uint64_t have = (uint64_t)n * 8;
    uint64_t bit = 0;
    size_t i = 0;
    if (bits == 10) {
        // Four samples in every five bytes (MSG's usual width); the loop
        // below takes what remains.
        const size_t groups = std::min(count / 4, n / 5);
        for (size_t g = 0; g < groups; g++) {
            const unsigned char *q = p + 5 * g;
            const unsigned v[4] = {(unsigned)q[0] << 2 | q[1] >> 6, (q[1] & 0x3Fu) << 4 | q[2] >> 4,
                                   (q[2] & 0x0Fu) << 6 | q[3] >> 2, (q[3] & 0x03u) << 8 | q[4]};
            for (int k = 0; k < 4; k++) out[4 * g + k] = st.lut10 ? st.lut10[v[k]] : (unsigned char)(v[k] >> 2);
        }
        i = groups * 4;
        bit = (uint64_t)i * 10;
    }
    for (; i < count && bit + bits <= have; i++, bit += bits) {
        unsigned v = 0;
        for (int k = 0; k < bits; k++) {
            uint64_t b = bit + k;
            v = v << 1 | ((p[b >> 3] >> (7 - (b & 7))) & 1);
        }
        out[i] = bits == 10 && st.lut10 ? st.lut10[v]
                 : (unsigned char)(bits < 8 ? v << (8 - bits) : v >> shift);
    }
}

// Plain data straight from the stream: 8 and 16 bits in chunks (no copy of
// the whole field), other widths from the whole field.
//
// The byte order of 16-bit data comes from the values.  The record layout
// says most significant byte first, and Himawari and GOES files keep to it,
// but KMA writes COMS HRIT data least significant byte first.  The imagers
// deliver at most 10 bits, so: when more than 1 % of the values exceed 1023
// only in the stored reading, and at most a hundredth as many exceed it only
// in the swapped reading, the data are read swapped.  Fill values over the
// range both ways do not count.  The data are unpacked as stored while the
// values are counted, and once more, swapped, when the counts say so.
bool read_plain(size_t count, unsigned char *out)
{
    if (st.bits == 8) return fread(out, 1, count, st.in) == count;
    if (st.bits == 16) {
        std::vector<unsigned char> buf(1 << 18);
        const long start = ftell(st.in);
        // As stored while counting; again, swapped, only when the counts ask.
        size_t big = 0, little = 0;
        for (int pass = 0; pass < 2; pass++) {
            const bool swap = pass == 1;
            for (size_t done = 0; done < count;) {
                size_t n = std::min(count - done, buf.size() / 2);
                if (fread(buf.data(), 2, n, st.in) != n) return false;
                if (!swap) count_over(buf.data(), n, big, little);
                unpack16(buf.data(), n, swap, out + done);
                done += n;
            }
            if (swap || big <= count / 100 || little > big / 100) break;
            MESS_print(MESS_DEBUG, "SAT_read_LRIT: %s: %zu of %zu 16-bit values exceed 10 bits "
                                   "only as stored, %zu only swapped: least significant byte "
                                   "first\n",
                       st.name.c_str(), big, count, little);
            if (start < 0 || fseek(st.in, start, SEEK_SET) != 0) return false;
        }
        return true;
    }
    std::vector<unsigned char> field;
    if (!rdr::read_all(st.in, field)) return false;
    unpack_bits(field.data(), field.size(), st.bits, count, out);
    return true;
}

void turn_180(unsigned char *data, int nx, int ny)
{
    std::reverse(data, data + (size_t)nx * ny);
}

}  // namespace

int LRIT_open(const char *path)
{
    FILE *in = path ? fopen(path, "rb") : nullptr;
    if (!in) {
        MESS_print(ERR, "Unable to open LRIT file: %s\n", path ? path : "");
        return 0;
    }
    LRIT_close();
    reset_state(in, true, path);
    return 1;
}

int LRIT_open_stream(FILE *in, const char *name)
{
    if (!in) return 0;
    LRIT_close();
    reset_state(in, false, name);
    return 1;
}

int LRIT_close()
{
    if (st.in && st.own) fclose(st.in);
    st.in = nullptr;
    st.open = false;
    return 1;
}

int LRIT_header()
{
    if (!st.open || !st.in) return 0;
    if (st.total >= 0 && st.count >= st.total) return 0;
    unsigned char pre[3];
    if (fread(pre, 1, 3, st.in) != 3) return 0;
    int type = pre[0], len = (int)u16(pre + 1);
    if (len < 3) return 0;
    std::vector<unsigned char> body((size_t)len - 3);
    size_t got = fread(body.data(), 1, body.size(), st.in);
    st.count += len;
    if (got != body.size()) {
        st.cut = true;
        return 0;
    }
    handle_record(type, body, len);
    return 1;
}

int LRIT_read_header(IMG *image)
{
    while (LRIT_header()) {}
    image->nx = st.cols;
    image->ny = st.lines;
    image->bytes_line = st.cols;
    image->depth = 8;
    image->bits_pixel = 8;
    std::string info = st.annotation.substr(0, sizeof image->info - 1);
    snprintf(image->info, sizeof image->info, "%s", info.c_str());
    clean_line(image->info);
    image->date = st.date;
    if (st.date.year != DOM_MISSING) DATE_make_label(&image->date, image->date_label);
    st.col_dir = st.line_dir = 1;
    make_domain(image);
    return 0;
}

int LRIT_read(IMG *image)
{
    LRIT_read_header(image);
    const char *name = st.name.c_str();
    if (!st.have_struct || st.cols < 1 || st.lines < 1) {
        MESS_print(ERR, "SAT_read_LRIT: %s: no image structure or a zero image size\n", name);
        return -1;
    }
    if (st.compress != 0 && st.compress != 2) {
        MESS_print(ERR, "SAT_read_LRIT: %s: compression %d is not supported\n", name, st.compress);
        return -1;
    }
    // The data field follows the header records; its length is what the
    // stream holds after them.
    int64_t start = st.total >= 0 ? st.total : (int64_t)ftell(st.in);
    int64_t end = fseek(st.in, 0, SEEK_END) == 0 ? (int64_t)ftell(st.in) : -1;
    if (start < 0 || end < start || fseek(st.in, (long)start, SEEK_SET) != 0) {
        MESS_print(ERR, "SAT_read_LRIT: %s: header length past the end of the file\n", name);
        return -1;
    }
    uint64_t field_len = (uint64_t)(end - start);
    size_t count = (size_t)st.cols * st.lines;
    if (st.compress == 0) {
        if (st.bits < 1 || st.bits > 16) {
            MESS_print(ERR, "SAT_read_LRIT: %s: %d bits per pixel not supported\n", name, st.bits);
            return -1;
        }
        uint64_t need = ((uint64_t)count * st.bits + 7) / 8;
        if (field_len < need) {
            MESS_print(ERR, "SAT_read_LRIT: %s: data field of %llu bytes for %dx%d pixels of %d bits\n",
                       name, (unsigned long long)field_len, st.cols, st.lines, st.bits);
            return -1;
        }
    } else if (count > rdr::MAX_PIXELS) {
        MESS_print(ERR, "SAT_read_LRIT: %s: image of %dx%d pixels too large\n", name, st.cols, st.lines);
        return -1;
    }
    image->data = static_cast<unsigned char *>(calloc(count, 1));
    if (!image->data) {
        MESS_print(ERR, "SAT_read_LRIT: %s: no memory for the pixels\n", name);
        return -1;
    }
    bool ok;
    if (st.compress == 0) {
        ok = read_plain(count, image->data);
        if (!ok) MESS_print(ERR, "SAT_read_LRIT: %s: data field cannot be read\n", name);
    } else {
        MESS_print(0x80000000, "JPEG Compression\n");
        std::vector<unsigned char> field;
        field.reserve((size_t)std::min<uint64_t>(field_len, rdr::MAX_FILE));
        ok = rdr::read_all(st.in, field);
        if (ok) {
            int sof = 0;
            int prec = lrit_jpeg_precision(field.data(), field.size(), &sof);
            // libjpeg-turbo here has no lossless process and the 12-bit
            // library takes only 12-bit data: say so rather than pass on a
            // library's "unsupported process".
            if (prec <= 8 && (sof == 0xC3 || sof == 0xC7 || sof == 0xCB || sof == 0xCF)) {
                MESS_print(ERR, "SAT_read_LRIT: %s: 8-bit lossless JPEG data is not supported\n", name);
                ok = false;
            } else {
                ok = (prec == 12 ? lrit_jpeg_decode12 : lrit_jpeg_decode8)(
                         field.data(), field.size(), st.cols, st.lines, image->data, name) == 0;
            }
        }
    }
    if (!ok) {
        IMG_free(image);
        return -1;
    }
    if (st.col_dir < 0) turn_180(image->data, st.cols, st.lines);
    return 0;
}

int SAT_read_LRIT(const char *name, IMG *image) { return IMG_reader_read_named(IMG_SRC_LRIT, name, image); }

namespace rdr {

// The primary header record first: type 0, length 16, and a total header
// length that holds it.
bool lrit_identify(const unsigned char *b, size_t n)
{
    if (n < 16 || b[0] != 0 || (b[1] << 8 | b[2]) != 16) return false;
    const uint32_t total = (uint32_t)b[4] << 24 | (uint32_t)b[5] << 16 | (uint32_t)b[6] << 8 | b[7];
    return total >= 16;
}

int lrit_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    IMG_init(out->image);
    out->image->source = IMG_SRC_LRIT;
    SourceStream in(source);
    if (!LRIT_open_stream(in.get(), source->name)) return IMG_READ_FAILED;
    const int r = LRIT_read(out->image);
    LRIT_close();
    return r == 0 ? IMG_READ_OK : IMG_READ_FAILED;
}

}  // namespace rdr

namespace rdr {

// A file of a set is read more than once: each read starts at its start.
FILE *rewound(const SourceStream &in)
{
    FILE *f = in.get();
    return f && fseek(f, 0, SEEK_SET) == 0 ? f : nullptr;
}

bool lrit_headers(const IMG_SOURCE *source, LritHeader *h)
{
    SourceStream in(source);
    if (!LRIT_open_stream(rewound(in), source->name)) {
        MESS_print(ERR, "SAT_read_LRIT: %s: file cannot be read\n", source->name);
        return false;
    }
    st.quiet = true;
    while (LRIT_header()) {}
    *h = LritHeader{};
    h->complete = !st.cut && st.total >= 16 && st.count >= st.total;
    h->total = st.total;
    h->file_type = st.file_type;
    h->have_struct = st.have_struct;
    h->bits = st.bits, h->cols = st.cols, h->lines = st.lines, h->compress = st.compress;
    h->have_nav = st.have_nav;
    std::memcpy(h->proj, st.proj, sizeof h->proj);
    h->cfac = st.cfac, h->lfac = st.lfac, h->coff = st.coff, h->loff = st.loff;
    h->have_seg = st.have_seg, h->seg13 = st.seg_relative;
    h->seg = st.seg, h->nseg = st.nseg, h->first_line = st.first_line;
    h->sat = st.sat, h->chan = st.chan, h->first_seg = st.first_seg, h->last_seg = st.last_seg;
    h->annotation = st.annotation;
    h->date = st.date;
    LRIT_close();
    if (!h->complete)
        MESS_print(ERR, "SAT_read_LRIT: %s: header records cut short\n", source->name);
    return h->complete;
}

int lrit_read_lut(const IMG_SOURCE *source, const unsigned char *lut10, IMG *image)
{
    IMG_init(image);
    image->source = IMG_SRC_LRIT;
    SourceStream in(source);
    if (!LRIT_open_stream(rewound(in), source->name)) {
        MESS_print(ERR, "SAT_read_LRIT: %s: file cannot be read\n", source->name);
        return -1;
    }
    st.quiet = true;
    st.lut10 = lut10;
    const int r = LRIT_read(image);
    LRIT_close();
    st.lut10 = nullptr;
    return r;
}

void lrit_domain(const LritHeader &h, const char *name, IMG *image)
{
    reset_state(nullptr, false, name);
    st.open = false;
    std::memcpy(st.proj, h.proj, sizeof st.proj);
    st.have_nav = h.have_nav;
    st.cfac = h.cfac, st.lfac = h.lfac, st.coff = h.coff, st.loff = h.loff;
    st.cols = h.cols, st.lines = h.lines, st.first_line = h.first_line;
    make_domain(image);
}

}  // namespace rdr
