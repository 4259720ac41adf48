// McIDAS AREA files: the 64-word directory, the navigation block and the
// image data, from a plain file in either byte order or from a sync-framed,
// nibble-compressed stream.  Also the byte-order switch and the buffered
// byte reader the decoder runs on.
#include "image/area.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "files/date.h"
#include "image/reader_formats.h"

namespace {

// ---- byte order ----
bool swap_on = false;

bool host_is_little()
{
    const int32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

template <int N>
void reverse_bytes(void *p)
{
    auto *b = static_cast<unsigned char *>(p);
    std::reverse(b, b + N);
}

// ---- buffered reader ----
constexpr int BUF_SIZE = 20000;
constexpr int SYNC_SEARCH = 1024;

struct Reader {
    FILE *in = nullptr;
    unsigned char buf[BUF_SIZE];
    int nbuf = 0;         // valid bytes in buf
    int pos = 0;          // next byte to hand out
    int64_t base = 0;     // file offset of buf[0]
    bool low_next = false;  // nibble phase
    int nib_byte = 0;     // byte whose low nibble comes next
    int nib_count = 0;    // bytes consumed by nibbles on this line
    int shift = 0;        // bit shift applied to image values
};
Reader rd;

bool refill()
{
    rd.base += rd.nbuf;
    rd.pos = 0;
    rd.nbuf = rd.in ? (int)std::fread(rd.buf, 1, BUF_SIZE, rd.in) : 0;
    return rd.nbuf > 0;
}

inline int next_byte()
{
    if (rd.pos >= rd.nbuf && !refill()) return -1;
    return rd.buf[rd.pos++];
}

int64_t position() { return rd.base + rd.pos; }

// Copies up to n bytes; whatever the file does not hold stays as it was.
int64_t read_bytes(unsigned char *dst, int64_t n)
{
    int64_t got = 0;
    while (got < n) {
        if (rd.pos >= rd.nbuf) {
            // Large remainders go straight from the stream into the caller's
            // buffer, which keeps big images at the speed of one fread.
            if (n - got >= BUF_SIZE) {
                rd.base += rd.nbuf;
                rd.nbuf = rd.pos = 0;
                size_t r = rd.in ? std::fread(dst + got, 1, (size_t)(n - got), rd.in) : 0;
                rd.base += (int64_t)r;
                got += (int64_t)r;
                break;
            }
            if (!refill()) break;
        }
        int64_t k = std::min<int64_t>(n - got, rd.nbuf - rd.pos);
        std::memcpy(dst + got, rd.buf + rd.pos, (size_t)k);
        rd.pos += (int)k;
        got += k;
    }
    return got;
}

// Moves forward n bytes; false when the stream ended first.
bool skip_bytes(int64_t n)
{
    if (n <= 0) return true;
    int64_t in_buf = rd.nbuf - rd.pos;
    if (n <= in_buf) {
        rd.pos += (int)n;
        return true;
    }
    int64_t target = position() + n;
    if (rd.in && std::fseek(rd.in, (long)target, SEEK_SET) == 0) {
        rd.base = target;
        rd.nbuf = rd.pos = 0;
        return true;
    }
    while (n-- > 0)
        if (next_byte() < 0) return false;
    return true;
}

// A byte counts as consumed once its low nibble is taken, so a line's byte
// count covers every nibble of its last byte.
inline int next_nib()
{
    if (rd.low_next) {
        rd.low_next = false;
        rd.nib_count++;
        return rd.nib_byte & 0x0F;
    }
    int b = next_byte();
    if (b < 0) return -1;
    rd.nib_byte = b;
    rd.low_next = true;
    return b >> 4;
}

int find_sync()
{
    static const unsigned char pattern[8] = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};
    int matched = 0;
    rd.low_next = false;
    for (int seen = 0; seen < SYNC_SEARCH; seen++) {
        int b = next_byte();
        if (b < 0) return -1;
        if (b == pattern[matched]) {
            if (++matched == 8) return 1;
        } else {
            // The pattern alternates, so after a mismatch a 0 can only
            // restart it at its first byte.
            matched = (b == 0) ? 1 : 0;
        }
    }
    return 0;
}

int read_be16()
{
    int hi = next_byte(), lo = next_byte();
    return ((hi < 0 ? 0 : hi) << 8) | (lo < 0 ? 0 : lo);
}

// ---- the reader ----
constexpr int64_t MAX_SIDE = 100000;
// Largest image accepted, in pixels: far above any real AREA file, low
// enough that a damaged directory cannot ask for gigabytes.
constexpr int64_t MAX_PIXELS = (int64_t)1 << 28;

int32_t *alloc_words(int n) { return (int32_t *)std::calloc((size_t)n, sizeof(int32_t)); }

void swap_dir(int32_t *dir)
{
    swap_longs(dir, 24);
    swap_longs(dir + 32, 32);  // the memo (words 24..31) is text
}

// Reads the navigation block that starts at the current position into the
// slot of its type.  Unknown types store no block.
void read_nav(AREA_REC *a)
{
    char name[4];
    unsigned char raw[4] = {0, 0, 0, 0};
    read_bytes(raw, 4);
    std::memcpy(name, raw, 4);
    int32_t **slot = nullptr;
    int words = AREA_NAV_WORDS;
    a->nav_type[0] = '\0';
    auto is = [&](const char *t) { return std::memcmp(name, t, 4) == 0; };
    if (is("GOES")) slot = &a->goes;
    else if (is("GVAR")) slot = &a->gvar, words = AREA_GVAR_WORDS;
    else if (!std::memcmp(name, "PS", 2)) slot = &a->ps;
    else if (is("MSAT")) slot = &a->ps;
    else if (is("TANC")) slot = &a->tanc;
    else if (is("MOLL") || is("RECT") || is("MERC") || is("LAMB")) slot = &a->proj;
    if (!slot) {
        // Not a navigation block: in a stream those bytes may already be
        // the next sync, so give them back.
        if (rd.pos >= 4) rd.pos -= 4;
        return;
    }
    int32_t *blk = alloc_words(words);
    if (!blk) return;
    std::memcpy(blk, raw, 4);
    read_bytes(reinterpret_cast<unsigned char *>(blk + 1), (int64_t)(words - 1) * 4);
    swap_longs(blk + 1, words - 1);
    std::free(*slot);
    *slot = blk;
    if (!std::memcmp(name, "PS", 2))
        std::memcpy(a->nav_type, "PS", 3);
    else {
        std::memcpy(a->nav_type, name, 4);
        a->nav_type[4] = '\0';
    }
}

inline unsigned char shifted(int v) { return (unsigned char)((v << rd.shift) & 0xFF); }

// Plain data; the rows read in full, ny when the image is complete.
int64_t read_plain(const int32_t *dir, unsigned char *data, int64_t nx, int64_t ny)
{
    const int bpe = dir[AREA_W_BYTES];
    const int64_t prefix = dir[AREA_W_PREFIX];
    if (bpe == 1 && prefix == 0) return read_bytes(data, nx * ny) / nx;
    std::vector<unsigned char> line((size_t)(nx * bpe));
    for (int64_t y = 0; y < ny; y++) {
        if (!skip_bytes(prefix)) return y;
        int64_t got = read_bytes(line.data(), nx * bpe);
        unsigned char *row = data + y * nx;
        if (bpe == 1) {
            for (int64_t x = 0; x < got; x++) row[x] = shifted(line[(size_t)x]);
        } else {
            // Two bytes, high first; the top 8 bits of the shifted value.
            for (int64_t x = 0; x < got / 2; x++) {
                int v = (line[(size_t)(2 * x)] << 8) | line[(size_t)(2 * x + 1)];
                row[x] = (unsigned char)(((v << rd.shift) >> 8) & 0xFF);
            }
        }
        if (got < nx * bpe) return y;
    }
    return ny;
}

// Decodes one line of nibble codes into line[0..nx); returns false at the
// end of the stream.
bool decode_line(unsigned char *line, int64_t nx, int count)
{
    rd.low_next = false;
    rd.nib_count = 0;
    int run = 0;
    int64_t n = 0;
    while (rd.nib_count < count && n < nx) {
        int c = next_nib();
        if (c < 0) return false;
        int reps = 1;
        switch (c) {
        case 0: {
            int hi = next_nib(), lo = next_nib();
            if (hi < 0 || lo < 0) return false;
            run = (hi << 4) | lo;
            break;
        }
        case 13: break;
        case 14: reps = 2; break;
        case 15: reps = 3; break;
        default: {
            // 1..12: odd codes step down, even codes step up, by 6 - (c-1)/2.
            int step = 6 - (c - 1) / 2;
            run += (c & 1) ? -step : step;
            break;
        }
        }
        run &= 0xFF;
        for (int r = 0; r < reps && n < nx; r++) line[n++] = (unsigned char)run;
    }
    return true;
}

// Sync-framed lines.  The line buffer is as wide as the image, so lines
// wider than the classic 5000 elements decode in full rather than being cut.
// Returns the rows done: ny - 1 or more when the stream reached its last
// line (which is never decoded), fewer when it ended before.
int64_t read_framed(const int32_t *dir, unsigned char *data, int64_t nx, int64_t ny)
{
    const int64_t prefix = dir[AREA_W_PREFIX];
    std::vector<unsigned char> line((size_t)nx);
    int64_t prev = 0, row = 0;
    while (row < ny) {
        std::fill(line.begin(), line.end(), 0);
        int64_t num = ny;
        if (find_sync() == 1) {
            int b = next_byte();
            if (b != 0) {
                find_sync();
                b = next_byte();
            }
            num = ((int64_t)(b < 0 ? 0 : b) << 24) | ((int64_t)next_byte() & 0xFF) << 16;
            num |= ((int64_t)next_byte() & 0xFF) << 8;
            num |= (int64_t)next_byte() & 0xFF;
            if ((prev >= 1 && num > prev + 10) || num > ny || num < prev) num = prev;
        } else {
            // No more syncs: the stream ended (or is damaged) here.
            break;
        }
        if (!skip_bytes(prefix)) break;
        // Lines missing from the stream stay zero rows (the buffer is zeroed).
        for (int64_t k = prev + 1; k < num && row < ny; k++) row++;
        if (num == ny) {
            // The last line is not decoded; it stays zero.
            if (row >= ny - 1) break;
            prev = num;
            continue;
        }
        if (row >= ny) break;
        int code = read_be16();
        int count = read_be16();
        bool more = decode_line(line.data(), nx, count);
        if (code == 6)
            for (auto &v : line) v = (unsigned char)(v * 4);
        if (rd.shift)
            for (auto &v : line) v = shifted(v);
        std::memcpy(data + row * nx, line.data(), (size_t)nx);
        if (!more) return row;  // the stream ended inside this line
        row++;
        prev = num;
    }
    return row;
}

int64_t stream_length(FILE *in)
{
    long here = std::ftell(in);
    if (here < 0 || std::fseek(in, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(in);
    std::fseek(in, here, SEEK_SET);
    return end;
}

}  // namespace

// ---- byte order ----

int swap_setup(int kind)
{
    switch (kind) {
    case -1: swap_on = false; break;
    case 0: swap_on = true; break;
    case 1: swap_on = host_is_little(); break;
    case 2: swap_on = !host_is_little(); break;
    default: break;
    }
    return swap_on ? 1 : 0;
}

int swap_long(void *p)
{
    if (!swap_on) return -1;
    reverse_bytes<4>(p);
    return 0;
}

int swap_short(void *p)
{
    if (!swap_on) return -1;
    reverse_bytes<2>(p);
    return 0;
}

int swap_double(void *p)
{
    if (!swap_on) return -1;
    reverse_bytes<8>(p);
    return 0;
}

int swap_longs(void *p, int n)
{
    if (!swap_on) return -1;
    for (int i = 0; i < n; i++) reverse_bytes<4>(static_cast<char *>(p) + 4 * i);
    return 0;
}

int swap_shorts(void *p, int n)
{
    if (!swap_on) return -1;
    for (int i = 0; i < n; i++) reverse_bytes<2>(static_cast<char *>(p) + 2 * i);
    return 0;
}

int fread_long_swap(void *p, FILE *in)
{
    if (std::fread(p, 4, 1, in) != 1) return -1;
    return swap_long(p);
}

int fread_short_swap(void *p, FILE *in)
{
    if (std::fread(p, 2, 1, in) != 1) return -1;
    return swap_short(p);
}

int fread_double_swap(void *p, FILE *in)
{
    if (std::fread(p, 8, 1, in) != 1) return -1;
    return swap_double(p);
}

int fwrite_long_swap(const void *p, FILE *out)
{
    unsigned char b[4];
    std::memcpy(b, p, 4);
    int r = swap_long(b);
    return std::fwrite(b, 4, 1, out) == 1 ? r : -1;
}

int fwrite_short_swap(const void *p, FILE *out)
{
    unsigned char b[2];
    std::memcpy(b, p, 2);
    int r = swap_short(b);
    return std::fwrite(b, 2, 1, out) == 1 ? r : -1;
}

// ---- buffered reader ----

int32_t getword()
{
    unsigned char b[4] = {0, 0, 0, 0};
    read_bytes(b, 4);
    int32_t w;
    std::memcpy(&w, b, 4);
    return w;
}

int getbyte() { return next_byte(); }
int getnib() { return next_nib(); }
int getsync() { return find_sync(); }

int SAT_set_bit_shift(int n)
{
    rd.shift = (n > 0 && n < 16) ? n : 0;
    return 0;
}

// ---- the record ----

void AREA_rec_init(AREA_REC *a) { *a = AREA_REC{}; }

void AREA_free(AREA_REC *a)
{
    std::free(a->dir);
    std::free(a->goes);
    std::free(a->gvar);
    std::free(a->ps);
    std::free(a->tanc);
    std::free(a->proj);
    std::free(a->data);
    AREA_rec_init(a);
}

int SAT_read_AREA(FILE *in, AREA_REC *a, const char *name)
{
    if (!in || !a) return -1;
    // Messages read "SAT_read_AREA: <file>: <problem>" when the file is named.
    std::string who = "SAT_read_AREA: ";
    if (name && *name) who = who + name + ": ";
    auto fail = [&](const char *what) {
        MESS_print(MESS_WARN, "%s%s\n", who.c_str(), what);
        AREA_free(a);
        return -1;
    };
    AREA_free(a);
    std::rewind(in);
    const int shift = rd.shift;
    rd = Reader{};
    rd.in = in;
    rd.shift = shift;
    const int64_t length = stream_length(in);

    getword();
    const int32_t format = getword();
    bool framed = false;
    if (format == 4) {
        swap_setup(-1);
    } else if (format == 0x04000000) {
        swap_setup(0);
    } else {
        // Not a plain file: a sync-framed stream, always big-endian.
        framed = true;
        swap_setup(1);
        rd.pos = 0;
        if (find_sync() != 1) return fail("No sync pattern before the directory");
    }
    if (!framed) rd.pos = 0;

    a->dir = alloc_words(AREA_DIR_WORDS);
    if (!a->dir) return -1;
    if (read_bytes(reinterpret_cast<unsigned char *>(a->dir), 256) != 256)
        return fail("File too short for an AREA directory");
    swap_dir(a->dir);
    const int32_t *dir = a->dir;
    if (framed && find_sync() != 1) return fail("No sync pattern after the directory");
    const int64_t nav_start = position();
    read_nav(a);

    const int64_t nx = dir[AREA_W_NELEMS], ny = dir[AREA_W_NLINES];
    if (nx < 1 || ny < 1 || nx > MAX_SIDE || ny > MAX_SIDE || nx * ny > MAX_PIXELS ||
        dir[AREA_W_PREFIX] < 0) {
        MESS_print(MESS_WARN, "SAT_read_AREA: Invalid image parameters\n");
        AREA_free(a);
        return -1;
    }
    const int bpe = dir[AREA_W_BYTES];
    if (!framed && bpe != 1 && bpe != 2) {
        char what[64];
        std::snprintf(what, sizeof what, "%d bytes per element are not supported", bpe);
        return fail(what);
    }
    // The data block: at byte word 33 of a plain file; in a stream, that far
    // past the directory's own 256 bytes, counted from the navigation block.
    const int64_t data_at = nav_start + (int64_t)dir[AREA_W_DATA] - 256;
    if (data_at < 0 || (length >= 0 && data_at > length)) {
        char what[64];
        std::snprintf(what, sizeof what, "Data offset %d outside the file", dir[AREA_W_DATA]);
        return fail(what);
    }
    a->data = (unsigned char *)std::calloc((size_t)(nx * ny), 1);
    if (!a->data) {
        char what[80];
        std::snprintf(what, sizeof what, "No memory for %lldx%lld image", (long long)nx,
                      (long long)ny);
        return fail(what);
    }
    if (data_at >= position()) {
        skip_bytes(data_at - position());
    } else if (!framed) {
        // The data may overlap the navigation block's nominal size.
        if (std::fseek(in, (long)data_at, SEEK_SET) != 0) return fail("Data block cannot be reached");
        rd.base = data_at;
        rd.nbuf = rd.pos = 0;
    }
    // Rows that the file does not hold would show as a blank band: a file
    // that ends early is refused.  A stream never decodes its last line, so
    // it is complete one line short.
    const int64_t rows = framed ? read_framed(dir, a->data, nx, ny) : read_plain(dir, a->data, nx, ny);
    if (rows < (framed ? ny - 1 : ny)) {
        char what[80];
        std::snprintf(what, sizeof what, "image ends after %lld of %lld lines", (long long)rows,
                      (long long)ny);
        return fail(what);
    }
    return 0;
}

// ---- table row ----

namespace {

int year_of(int yyddd)
{
    int y = yyddd / 1000;
    if (y < 50) y += 2000;
    else if (y < 200) y += 1900;
    return y;
}

// The image record of an AREA file: sizes, resolution and offsets from the
// directory, the pixels taken over from the record, the date and the memo.
void fill_from_area(IMG *image, AREA_REC *area)
{
    const int32_t *dir = area->dir;
    IMG_init(image);
    image->source = IMG_SRC_AREA;
    image->nx = dir[AREA_W_NELEMS];
    image->ny = dir[AREA_W_NLINES];
    image->res_x = (float)dir[AREA_W_ERES];
    image->res_y = (float)dir[AREA_W_LRES];
    image->off_x = (float)dir[AREA_W_ELEM];
    image->off_y = (float)dir[AREA_W_LINE];
    if (!std::strcmp(area->nav_type, "GOES"))
        image->off_y = (float)((int64_t)dir[AREA_W_LINE] - dir[AREA_W_START_SCAN]);
    image->bytes_line = dir[AREA_W_NELEMS];
    image->depth = 8;
    image->byte_order = 1;
    image->data = area->data;
    area->data = nullptr;

    DATE *d = &image->date;
    d->year = year_of(dir[AREA_W_DATE]);
    d->julian = dir[AREA_W_DATE] % 1000;
    DATE_julian_monday(d->year, d->julian, &d->month, &d->day);
    d->hour = dir[AREA_W_TIME] / 10000;
    d->minute = (dir[AREA_W_TIME] / 100) % 100;
    d->second = 0;
    std::memcpy(image->info, dir + AREA_W_MEMO, 32);
    image->info[32] = '\0';
    DATE_make_label(d, image->date_label);
}

}  // namespace

namespace rdr {

// A plain file has the format word 4 in either byte order; a sync-framed
// stream starts with the sync pattern within the reader's search length.
bool area_identify(const unsigned char *b, size_t n)
{
    static const unsigned char four_be[4] = {0, 0, 0, 4}, four_le[4] = {4, 0, 0, 0};
    if (n >= 8 && (!std::memcmp(b + 4, four_be, 4) || !std::memcmp(b + 4, four_le, 4))) return true;
    static const unsigned char sync[8] = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};
    const size_t end = std::min<size_t>(n, SYNC_SEARCH);
    return end >= 8 && std::search(b, b + end, sync, sync + 8) != b + end;
}

int area_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    IMG_init(out->image);
    AREA_REC own;
    AREA_rec_init(&own);
    AREA_REC *area = out->area ? out->area : &own;
    SourceStream in(source);
    const bool ok = SAT_read_AREA(in.get(), area, source->name) != -1;
    if (!ok) MESS_print(MESS_WARN, "SAT_read_file: Unable to read image file\n");
    else fill_from_area(out->image, area);
    AREA_free(&own);
    return ok ? IMG_READ_OK : IMG_READ_FAILED;
}

}  // namespace rdr
