// AWIPS satellite products (GINI): a WMO heading, a 512-byte product
// definition block (PDB) and the image, stored plainly, as a PNG stream, or
// as a chain of zlib streams of which the first holds heading and PDB again.
//
// The file is read whole and parsed from memory (products are a few MB):
// the first zlib stream still inflates into a 10000-byte area for heading
// and PDB, the later ones straight into the image, and whatever follows the
// last image byte (real products end with a marker line) into a scratch area.
// The bytes decide the variant when they disagree with the input type: a
// zlib product read as type 53 is inflated, a plain one read as 54 is not.
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/workers.h"
#include "files/date.h"
#include "image/rdr_util.h"
#include "image/reader_formats.h"
#include "image/readers.h"
#include "image/sat_formats.h"
#include "map/map.h"

namespace {

constexpr int PDB_SIZE = 512;
constexpr uint32_t GRID = 0x20000000;
constexpr uint32_t MSG_LEVEL = MESS_MESS;

// Length of the WMO heading at the start of a block; the PDB follows it.
size_t skip_heading(const unsigned char *b, size_t n)
{
    size_t i = 0;
    auto to_line_end = [&](size_t limit) {
        size_t start = i;
        while (i < n && b[i] != '\n' && i - start < limit) i++;
        if (i < n && b[i] == '\n') i++;
    };
    if (n == 0) return 0;
    if (b[0] == '\n') {
        for (int k = 0; k < 32 && i < n && b[i] == '\n'; k++) i++;
    } else if (b[0] == 'T' || (n >= 5 && std::memcmp(b, "** TI", 5) == 0)) {
        to_line_end(100);
    } else if (n >= 3 && b[0] == 1 && b[1] == 13 && b[2] == 13) {
        size_t start = i;
        while (i < n && b[i] != 'T' && i - start < 32) i++;
        to_line_end(32);
    }
    return i;
}

// Sign and 23-bit magnitude, as the PDB stores latitudes and longitudes.
int32_t s24(const unsigned char *p)
{
    int32_t v = (p[0] & 0x7F) << 16 | p[1] << 8 | p[2];
    return (p[0] & 0x80) ? -v : v;
}
uint32_t u24(const unsigned char *p) { return (uint32_t)p[0] << 16 | p[1] << 8 | p[2]; }
unsigned u16(const unsigned char *p) { return p[0] << 8 | p[1]; }

// PDB octet k counted from 1.
struct Pdb {
    const unsigned char *b;
    unsigned o(int k) const { return b[k - 1]; }
    const unsigned char *at(int k) const { return b + k - 1; }
};

const char *entity_name(int e)
{
    switch (e) {
    case 7: return "DMSP ";
    case 8: return "GMS ";
    case 9: return "METEOSAT ";
    case 10: return "GOES 7 ";
    case 11: return "GOES 8 ";
    case 12: return "GOES 9 ";
    case 13: return "GOES 10 ";
    case 14: return "GOES 11 ";
    case 15: return "GOES 12 ";
    case 16: return "GOES 13 ";
    default: return "";
    }
}

const char *channel_name(int c)
{
    switch (c) {
    case 1: return "Visible";
    case 2: return "Infrared 3.9um";
    case 3: return "Water Vapor";
    case 4: return "Infrared 11um";
    case 5: return "Infrared 12um";
    case 6: return "Infrared 13um";
    case 7: return "Infrared 1.3um";
    case 13: return "Imager lifted index";
    case 14: return "Imager precipitable water";
    case 15: return "Imager surface skin temperature";
    case 16: return "Sounder lifted index";
    case 17: return "Sounder precipitable water";
    case 18: return "Sounder surface skin temperature";
    case 27: return "Gridded cloud top height";
    case 28: return "Gridded cloud amount";
    case 40: return "Low cloud base";
    case 43: return "Sounder 14.06um";
    case 48: return "Sounder 11.03um";
    case 50: return "Sounder 7.43um";
    case 51: return "Sounder 7.02um";
    case 52: return "Sounder 6.51um";
    case 55: return "Sounder 4.45um";
    case 57: return "Sounder 3.98um";
    case 59: return "Sounder visible";
    default: return nullptr;
    }
}

void make_info(const Pdb &pdb, IMG *image)
{
    int entity = pdb.o(2), sector = pdb.o(3), channel = pdb.o(4);
    std::string info = entity_name(entity);
    // Entity 99 (radar composites) reuses channel numbers of the satellite
    // list: its own product name stands for the channel name, so 27 does not
    // read "Base reflectivity (Dbz)Gridded cloud top height".
    bool product = false;
    if (entity == 99) {
        info = "Gempak ";
        product = channel == 26 || channel == 27;
        if (channel == 27) info += "Base reflectivity (Dbz)";
        else if (channel == 26) info += "Echo tops";
    }
    if (sector == 0) info = "GOES NH ";
    else if (sector == 9) info = "GOES NC ";
    if (product && (sector == 0 || sector == 9)) product = false;
    if (!product) {
        const char *c = channel_name(channel);
        info += c ? c : std::to_string(channel);
    }
    snprintf(image->info, sizeof image->info, "%s", info.c_str());
}

void set_date(const Pdb &pdb, IMG *image)
{
    DATE &d = image->date;
    int yy = pdb.o(9);
    d.year = yy < 80 ? 2000 + yy : 1900 + yy;
    d.month = pdb.o(10);
    d.day = pdb.o(11);
    d.hour = pdb.o(12);
    d.minute = pdb.o(13);
    d.second = pdb.o(14);
    int julian = 0;
    if (DATE_monday_julian(d.year, d.month, d.day, &julian) == 0) d.julian = julian;
    DATE_make_label(&d, image->date_label);
}

// Lambert and polar stereographic centre: the first point (centre of the
// lower-left pixel) moved by half the grid in projection units.  Both use
// the exact half, (n-1)/2: the integer half would put the first point half a
// pixel off on even-sized grids.
bool centre_from_first(DOM *dom, double la1, double lo1)
{
    DOM d = *dom;
    d.clat = (float)la1;
    d.clon = (float)lo1;
    const MapProj p = MAP_make_proj(&d);
    float x, y;
    if (!p.tran(&x, &y, (float)la1, (float)lo1)) return false;
    double cx = x + (d.nx - 1) * (double)d.dx / 2, cy = y + (d.ny - 1) * (double)d.dy / 2;
    float clat, clon;
    if (!p.untran(&clat, &clon, (float)cx, (float)cy)) return false;
    MESS_print(GRID, "Grid locate: %.4f %.4f -> %.2f %.2f -> %.4f %.4f\n", la1, lo1, cx, cy,
               clat, clon);
    dom->clat = clat;
    dom->clon = (float)rdr::norm_lon(clon);
    return true;
}

// The PDB's map domain (steps of the Mercator, Lambert and polar
// stereographic grids); an unknown projection leaves the domain unset.
void make_domain(const Pdb &pdb, int nx, int ny, IMG *image)
{
    DOM &dom = image->domain;
    int proj = pdb.o(16);
    double la1 = s24(pdb.at(21)) / 10000.0, lo1 = s24(pdb.at(24)) / 10000.0;
    if (lo1 > 180) lo1 -= 360;
    DOM d;
    DOM_init(&d);
    d.nx = nx;
    d.ny = ny;
    bool ok = false;
    if (proj == 1) {
        MESS_print(GRID, "Mercator Grid\n");
        double la2 = s24(pdb.at(28)) / 10000.0, lo2 = s24(pdb.at(31)) / 10000.0;
        if (lo2 > 180) lo2 -= 360;
        double plon = (lo1 + lo2) / 2;
        if (lo1 > lo2) {  // the grid crosses the dateline
            plon = (lo1 - 360 + lo2) / 2;
            if (plon < -180) plon += 360;
        }
        ok = rdr::fit_mercator(&d, (float)plon, la1, lo1, la2, lo2, nx, ny);
        if (ok)
            MESS_print(GRID, "Grid locate: %.4f %.4f - %.4f %.4f -> %.4f %.4f\n", la1, lo1, la2,
                       lo2, d.clat, d.clon);
    } else if (proj == 3 || proj == 5) {
        // Orientation longitudes are stored up to 360 (Alaska: 210).
        double lov = s24(pdb.at(28)) / 10000.0;
        if (lov > 180) lov -= 360;
        d.plon = (float)lov;
        d.dx = (float)(u24(pdb.at(31)) / 1e6);
        d.dy = (float)(u24(pdb.at(34)) / 1e6);
        if (proj == 3) {
            MESS_print(GRID, "Lambert Conformal Grid\n");
            d.proj = DOM_LAMB;
            d.plat = (pdb.o(38) & 1) ? -90 : 90;
            double latin = s24(pdb.at(39)) / 10000.0;
            d.parm[0] = d.parm[1] = (float)latin;
            d.parm[2] = 1;
            MESS_print(GRID, "Grid parallels: %3.2f N, %3.2f N\n", latin, latin);
        } else {
            MESS_print(GRID, "Polar Stereographic Grid\n");
            d.proj = DOM_PSTEREO;
            d.plat = (pdb.o(37) & 1) ? -90 : 90;
        }
        ok = d.dx > 0 && d.dy > 0 && centre_from_first(&d, la1, lo1);
    } else {
        MESS_print(MESS_WARN, "SAT_read_AWIP: unknown projection %d: image has no map domain\n",
                   proj);
        return;
    }
    if (!ok) {
        MESS_print(MESS_WARN, "SAT_read_AWIP: grid corners cannot be projected: no map domain\n");
        return;
    }
    MESS_print(GRID, "Grid size: %3.2fx%3.2f\n", d.dx, d.dy);
    if (const char *fudge = getenv("SAT_FUDGE")) {
        float a = 0, b = 0;
        if (sscanf(fudge, "%f,%f", &a, &b) == 2) {
            d.clat += a;
            d.clon += b;
        }
    }
    dom = d;
}

// ---- PNG held in memory ----

struct PngSource {
    const unsigned char *p;
    size_t n, pos;
};

}  // namespace

void PNG_read_data(png_struct_def *png, unsigned char *buffer, size_t length)
{
    auto *src = static_cast<PngSource *>(png_get_io_ptr(png));
    // On a short read nothing is copied and libpng is told, so it never
    // decodes stale bytes from its buffer.
    if (!src || src->n - src->pos < length) {
        png_error(png, "PNG stream ends early");
        return;
    }
    std::memcpy(buffer, src->p + src->pos, length);
    src->pos += length;
}

namespace {

void png_warn(png_structp, png_const_charp text)
{
    MESS_print(MESS_DEBUG, "SAT_read_AWIP: libpng: %s\n", text);
}

void png_fail(png_structp png, png_const_charp text)
{
    MESS_print(MESS_WARN, "SAT_read_AWIP: PNG data: %s\n", text);
    png_longjmp(png, 1);
}

// Decodes the PNG stream into nx x ny bytes; extra rows (pnggini stores one
// more than the PDB's ny) are decoded and dropped.  Only plain locals live
// across the setjmp.
bool decode_png(const unsigned char *p, size_t n, int nx, int ny, unsigned char *out,
                std::vector<unsigned char> &row)
{
    if (n < 8 || png_sig_cmp(p, 0, 8) != 0) return false;
    PngSource src{p, n, 8};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_warn);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_infop end_info = png_create_info_struct(png);
    if (!info || !end_info) {
        png_destroy_read_struct(&png, &info, &end_info);
        return false;
    }
    volatile bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &src, reinterpret_cast<png_rw_ptr>(PNG_read_data));
        png_set_sig_bytes(png, 8);
        // Cap what libpng will allocate for a forged header.
        png_set_user_limits(png, 100000, 100000);
        png_read_info(png, info);
        png_uint_32 w, h;
        int depth, color, interlace;
        png_get_IHDR(png, info, &w, &h, &depth, &color, &interlace, nullptr, nullptr);
        size_t rowbytes = png_get_rowbytes(png, info);
        if (interlace != PNG_INTERLACE_NONE) {
            MESS_print(MESS_WARN, "SAT_read_AWIP: interlaced PNG data is not supported\n");
        } else if (rowbytes != (size_t)nx || h < (png_uint_32)1) {
            MESS_print(MESS_WARN, "SAT_read_AWIP: PNG rows of %zu bytes for an image %d wide\n",
                       rowbytes, nx);
        } else if (h < (png_uint_32)ny) {
            // Fewer rows than the PDB promises would leave the rest grey.
            MESS_print(MESS_WARN, "SAT_read_AWIP: PNG data of %u rows for an image %d high\n",
                       (unsigned)h, ny);
        } else {
            png_set_interlace_handling(png);
            row.resize(rowbytes);
            for (png_uint_32 r = 0; r < h; r++)
                png_read_row(png, r < (png_uint_32)ny ? out + (size_t)r * nx : row.data(), nullptr);
            png_read_end(png, end_info);
            ok = true;
        }
    }
    png_destroy_read_struct(&png, &info, &end_info);
    return ok;
}

// ---- zlib chain ----

bool looks_like_zlib(const unsigned char *p, size_t n)
{
    return n >= 2 && (p[0] & 0x0F) == 8 && (p[0] >> 4) <= 7 && ((p[0] << 8) | p[1]) % 31 == 0;
}

// Inflates one zlib stream from `in` into `out` (up to `cap` bytes); what
// does not fit goes to a scratch area and is dropped.  Returns the input
// consumed, and sets `produced` and `status` (Z_STREAM_END, or the error).
size_t inflate_stream(const unsigned char *in, size_t n, unsigned char *out, size_t cap,
                      size_t &produced, int &status)
{
    z_stream z{};
    produced = 0;
    status = inflateInit(&z);
    if (status != Z_OK) return 0;
    unsigned char scratch[10000];
    size_t used = 0;
    status = Z_OK;
    while (status == Z_OK) {
        uInt chunk_in = (uInt)std::min<size_t>(n - used, 1u << 30);
        z.next_in = const_cast<unsigned char *>(in + used);
        z.avail_in = chunk_in;
        bool to_image = produced < cap;
        size_t room = to_image ? std::min<size_t>(cap - produced, 1u << 30) : sizeof scratch;
        z.next_out = to_image ? out + produced : scratch;
        z.avail_out = (uInt)room;
        status = inflate(&z, Z_NO_FLUSH);
        used += chunk_in - z.avail_in;
        if (to_image) produced += room - z.avail_out;
        if (status == Z_BUF_ERROR && z.avail_in == 0 && used >= n) break;  // input ends early
        if (status == Z_BUF_ERROR && z.avail_out == 0) status = Z_OK;
    }
    inflateEnd(&z);
    return used;
}

using Inflater = std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor *)>;

Inflater new_inflater() { return Inflater(libdeflate_alloc_decompressor(), libdeflate_free_decompressor); }

// Streams are only found by inflating the one before, so the chain is split
// by guessing.  While the reading thread inflates from the start, a helper
// thread starts at the middle of the compressed bytes, takes the first
// position that holds a zlib header and from which a whole stream inflates
// (libdeflate checks the stream's Adler-32, so a chance header inside a
// stream is all but never accepted), and inflates the streams that follow
// into a buffer of its own, noting where each ends in the input and in that
// buffer.  When the reading thread's next stream starts exactly where the
// helper's first one did, the helper's streams are the ones it would have
// inflated itself: it copies those the helper has finished and that fit in
// the image, stops the helper and carries on after the last of them (so a
// helper slowed down by other work on its core costs no waiting).  When it
// steps past that position instead (the helper took a false start), or the
// helper found nothing, it just carries on.  A stream the helper could not
// take whole ends its run; the reading thread meets that stream itself and
// gives it the usual treatment.
class Ahead {
public:
    // The buffer and the decompressor are allocated here, in the reading
    // thread: the helper's own allocations would come from a heap of its
    // own, whose fresh pages cost a fault each to touch.
    Ahead(const unsigned char *data, size_t from, size_t size, size_t cap)
        : data_(data), from_(from), size_(size), cap_(cap), d_(new_inflater()),
          out_(new (std::nothrow) unsigned char[cap])
    {
    }

    // The helper's share.
    void run()
    {
        if (stopped() || !d_ || !out_) return;
        libdeflate_decompressor *d = d_.get();
        size_t at = from_, made = 0, used = 0;
        for (;; ++at) {
            if (at + 2 > size_ || stopped() || reader_at_.load(std::memory_order_relaxed) > at) return;
            if (looks_like_zlib(data_ + at, size_ - at) && !(data_[at + 1] & 0x20) &&
                libdeflate_zlib_decompress_ex(d, data_ + at, size_ - at, out_.get(), cap_, &used, &made) ==
                    LIBDEFLATE_SUCCESS)
                break;
        }
        const size_t start = at;
        size_t have = 0;
        for (;;) {
            at += used;
            have += made;
            {
                std::lock_guard<std::mutex> l(m_);
                ends_.push_back({at, have});
            }
            // Published with its first stream, so that a reading thread
            // that lands on it has something to take.
            if (start_.load(std::memory_order_relaxed) == NONE) start_.store(start, std::memory_order_release);
            if (at >= size_ || stopped() ||
                libdeflate_zlib_decompress_ex(d, data_ + at, size_ - at, out_.get() + have, cap_ - have,
                                              &used, &made) != LIBDEFLATE_SUCCESS)
                return;
        }
    }

    // Called by the reading thread before each stream, at compressed
    // offset `next` with `have` of `total` image bytes done: true when it
    // took the helper's streams (and moved `next` and `have` on).  Once the
    // reading thread has taken them or passed the helper's start, the
    // helper is stopped and never asked again.
    bool take(size_t &next, size_t &have, unsigned char *image, size_t total)
    {
        if (done_asking_) return false;
        reader_at_.store(next, std::memory_order_relaxed);
        const size_t start = start_.load(std::memory_order_acquire);
        if (start == NONE || start != next) {
            if (start != NONE && next > start) stop();
            return false;
        }
        // Streams the helper finishes while these are copied are taken too.
        size_t k = 0, from = 0;
        for (;;) {
            Span e;
            {
                std::lock_guard<std::mutex> l(m_);
                if (k == ends_.size()) break;
                e = ends_[k++];
            }
            if (have + e.out > total) break;
            std::memcpy(image + have + from, out_.get() + from, e.out - from);
            from = e.out;
            next = e.in;
            if (have + from == total) break;
        }
        stop();
        have += from;
        return next != start;
    }

    // Tells the helper to give up; the reading thread calls it when done.
    void stop()
    {
        done_asking_ = true;
        stop_.store(true, std::memory_order_relaxed);
    }

private:
    static constexpr size_t NONE = (size_t)-1;
    struct Span {
        size_t in, out;  // ends in the input and in out_
    };
    bool stopped() const { return stop_.load(std::memory_order_relaxed); }

    const unsigned char *data_;
    size_t from_, size_, cap_;
    Inflater d_;
    std::unique_ptr<unsigned char[]> out_;
    std::atomic<size_t> start_{NONE}, reader_at_{0};
    std::atomic<bool> stop_{false};
    bool done_asking_ = false;  // the reading thread's own
    std::mutex m_;
    std::vector<Span> ends_;  // the helper's streams so far
};

}  // namespace

int SAT_read_AWIP_mem(const unsigned char *data, size_t size, int variant, const char *name,
                      IMG *image)
{
    IMG_init(image);
    image->source = IMG_SRC_AWIP;
    if (!name) name = "";

    // The outer heading is stored plainly in both variants.
    size_t h = skip_heading(data, std::min<size_t>(size, 2000));
    bool zlib = looks_like_zlib(data + h, size - h);
    if (zlib != (variant == IMG_SRC_AWIPZ))
        MESS_print(MESS_DEBUG, "SAT_read_AWIP: %s: data are %s, read accordingly\n", name,
                   zlib ? "zlib-compressed" : "not zlib-compressed");

    // First block: heading + PDB, plainly or inflated from the first stream.
    std::vector<unsigned char> first;
    const unsigned char *block = data;
    size_t block_len = size, next = 0;
    if (zlib) {
        first.resize(10000);
        size_t produced;
        int status;
        size_t used = inflate_stream(data + h, size - h, first.data(), first.size(), produced, status);
        MESS_print(MESS_DEBUG, "Inf: %d -- %zu %zu %d -- 10000 %zu %d -- %2X %2X -- %2X %2X\n",
                   status, h, used, (int)(size - h), produced, 0, data[h], data[h + 1],
                   produced > 0 ? first[0] : 0, produced > 1 ? first[1] : 0);
        first.resize(produced);
        block = first.data();
        block_len = produced;
        next = h + used;
    }
    size_t pdb_off = skip_heading(block, std::min<size_t>(block_len, 2000));
    if (block_len < pdb_off + PDB_SIZE) {
        MESS_print(MESS_WARN, "SAT_read_AWIP: %s: product definition block incomplete\n", name);
        return -1;
    }
    Pdb pdb{block + pdb_off};
    set_date(pdb, image);
    image->type = pdb.o(2) * 100 + pdb.o(4);
    make_info(pdb, image);

    int nx = (int)u16(pdb.at(17)), ny = (int)u16(pdb.at(19));
    if (nx < 1 || nx > 10000 || ny < 1 || ny > 10000) {
        MESS_print(MESS_WARN, "SAT_read_AWIP: Invalid image parameters\n");
        return -1;
    }
    image->nx = nx;
    image->ny = ny;
    image->bytes_line = nx;
    image->depth = 8;
    image->bits_pixel = 8;
    MESS_print(0x20000000, "Image size: %dx%d\n", nx, ny);
    make_domain(pdb, nx, ny, image);
    image->domain.nx = nx;
    image->domain.ny = ny;

    size_t total = (size_t)nx * ny;
    image->data = static_cast<unsigned char *>(calloc(total, 1));
    if (!image->data) {
        MESS_print(MESS_WARN, "SAT_read_AWIP: %s: no memory for %zu pixels\n", name, total);
        return -1;
    }

    if (!zlib) {
        size_t img = pdb_off + PDB_SIZE;
        size_t avail = size - img;
        if (avail >= 4 && std::memcmp(data + img + 1, "PNG", 3) == 0) {
            MESS_print(MSG_LEVEL, "PNG compressed\n");
            std::vector<unsigned char> row;
            if (!decode_png(data + img, avail, nx, ny, image->data, row)) {
                MESS_print(MESS_WARN, "SAT_read_AWIP: %s: PNG image data cannot be decoded\n", name);
                IMG_free(image);
                return -1;
            }
            return 0;
        }
        if (avail < total) {
            MESS_print(MESS_WARN, "SAT_read_AWIP: %s: image ends after %zu of %zu bytes\n", name, avail,
                       total);
            IMG_free(image);
            return -1;
        }
        std::memcpy(image->data, data + img, total);
        return 0;
    }

    // Whatever the first stream held beyond the PDB is image data already.
    size_t have = std::min(block_len - pdb_off - PDB_SIZE, total);
    std::memcpy(image->data, block + pdb_off + PDB_SIZE, have);
    // A new stream starts after each stream end; the marker line at the end
    // of real products falls beyond nx * ny and is dropped.  Only an image
    // filled to its last byte is a success: a stream that stops early or is
    // corrupt before then leaves part of the picture undecoded.
    //
    // Each stream is first decompressed whole by libdeflate, which takes a
    // fraction of zlib's time for these small streams (some 300 of 5 KB in
    // a 1280 x 1280 image); a stream it cannot take whole (one that runs
    // past the image, as the last one does, or a damaged or cut one) is
    // inflated again by zlib, which keeps what it decoded before the damage,
    // so the pixels and messages are zlib's in every case.
    //
    // Over 64 KB of compressed data, with a second core, a helper thread
    // inflates the second half at the same time (see Ahead).
    const char *problem = nullptr;
    auto chain = [&](Ahead *ahead) {
        Inflater fast = new_inflater();
        while (next < size && have < total) {
            if (ahead && ahead->take(next, have, image->data, total)) continue;
            size_t produced = 0, used = 0;
            int status = Z_STREAM_END;
            if (!fast || libdeflate_zlib_decompress_ex(fast.get(), data + next, size - next, image->data + have,
                                                       total - have, &used, &produced) != LIBDEFLATE_SUCCESS)
                used = inflate_stream(data + next, size - next, image->data + have, total - have, produced, status);
            have += produced;
            next += used;
            if (status != Z_STREAM_END) {
                if (have < total)
                    problem = status == Z_OK || status == Z_BUF_ERROR ? "compressed data end early"
                                                                      : "compressed data corrupt";
                break;
            }
            if (used == 0) break;
        }
        if (ahead) ahead->stop();
    };
    if (size - next > 64 * 1024 && WORK_thread_count(total) > 1) {
        Ahead ahead(data, next + (size - next) / 2, size, total);
        // Share 0 is the reading thread's; run in one thread, it reads alone.
        WORK_rows(2, 2, [&](int a, int z) {
            if (a == 0) chain(z == 1 ? &ahead : nullptr);
            else ahead.run();
        });
    } else {
        chain(nullptr);
    }
    if (have < total) {
        if (problem)
            MESS_print(MESS_WARN, "SAT_read_AWIP: %s: %s after %zu of %zu image bytes\n", name, problem,
                       have, total);
        else
            MESS_print(MESS_WARN, "SAT_read_AWIP: %s: image ends after %zu of %zu bytes\n", name, have,
                       total);
        IMG_free(image);
        return -1;
    }
    return 0;
}

int SAT_read_AWIP(const char *name, IMG *image)
{
    IMG_init(image);
    image->source = IMG_SRC_AWIP;
    // The input-type flag says which variant: the compressed one or else plain.
    const IMG_READER *row = IMG_reader_current();
    if (!row || row->code != IMG_SRC_AWIPZ) row = IMG_reader_by_code(IMG_SRC_AWIP);
    IMG_READ_OUT out{image, nullptr};
    return IMG_reader_read_file(row, name, nullptr, &out) == IMG_READ_OK ? 0 : -1;
}

// ---- table rows ----

namespace {

int read_variant(const IMG_SOURCE *source, IMG_READ_OUT *out, int variant)
{
    return rdr::read_span(source, out, "SAT_read_AWIP", IMG_SRC_AWIP,
                          [&](const unsigned char *b, size_t n) {
        if (n < PDB_SIZE) {
            MESS_print(MESS_WARN, "SAT_read_AWIP: %s: shorter than a product definition block\n",
                       source->name);
            return -1;
        }
        return SAT_read_AWIP_mem(b, n, variant, source->name, out->image);
    });
}

}  // namespace

namespace rdr {

// A WMO heading followed by a plain product definition block whose image
// size is in range.
bool awip_identify(const unsigned char *b, size_t n)
{
    const size_t h = skip_heading(b, std::min<size_t>(n, 2000));
    if (h == 0 || n - h < PDB_SIZE || looks_like_zlib(b + h, n - h)) return false;
    const Pdb pdb{b + h};
    const unsigned nx = u16(pdb.at(17)), ny = u16(pdb.at(19));
    return nx >= 1 && nx <= 10000 && ny >= 1 && ny <= 10000;
}

// A WMO heading followed by a zlib stream.
bool awipz_identify(const unsigned char *b, size_t n)
{
    const size_t h = skip_heading(b, std::min<size_t>(n, 2000));
    return h > 0 && looks_like_zlib(b + h, n - h);
}

int awip_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    return read_variant(source, out, IMG_SRC_AWIP);
}

int awipz_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    return read_variant(source, out, IMG_SRC_AWIPZ);
}

}  // namespace rdr
