// The image record and the ZYRIMG file.
#include "image/img.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/gks.h"
#include "gks/imgfile.h"
#include "image/area.h"
#include "image/gif.h"
#include "image/nav.h"
#include "image/pngio.h"
#include "image/reader_formats.h"
#include "image/sat_formats.h"
#include "image/xwd.h"
#include "map/map.h"

namespace {

constexpr int HEADER_LINE = 160;
// Pixel rows are compressed in blocks of this many bytes, each its own zlib
// stream, so a reader can start on a file that is still being written.
constexpr int ZBLOCK = 10000;
constexpr int ZOUT = 12000;
constexpr int MAX_WAITS = 10;
// Largest image the reader accepts: 10^8 pixels and 100000 on a side.  The
// header is text anyone can edit; this keeps a typo from asking for
// gigabytes.
constexpr int64_t MAX_SIDE = 100000;
constexpr int64_t MAX_PIXELS = 100000000;

// Reads one header line; keeps at most HEADER_LINE - 1 characters and drops
// the rest of an over-long line together with its newline.  false at end of
// file before any character.
bool read_line(FILE *in, char *line)
{
    int n = 0, c;
    bool any = false;
    while ((c = std::getc(in)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n < HEADER_LINE - 1) line[n++] = (char)c;
    }
    line[n] = '\0';
    return any;
}

// Copies a text into a field of `size` bytes, cut to size - 1 characters;
// the rest of the field is zero, as the file's fields are written whole.
void copy_text(char *dest, size_t size, const char *text)
{
    std::memset(dest, 0, size);
    std::memcpy(dest, text, strnlen(text, size - 1));
}

bool is_missing(float v) { return v == (float)DOM_MISSING; }

// The projection token of a version-3 size line; false when it names no
// projection this form can carry.
bool parse_token(const char *word, DOM *dom)
{
    float v[5];
    if (!strncmp(word, "LL", 2)) {
        dom->proj = DOM_LATLON;
    } else if (!strncmp(word, "ME", 2)) {
        dom->proj = DOM_MERC;
    } else if (!strncmp(word, "PS", 2)) {
        dom->proj = DOM_PSTEREO;
        if (std::sscanf(word + 2, ":%f", &v[0]) == 1) dom->plon = v[0];
    } else if (!strncmp(word, "LC", 2)) {
        dom->proj = DOM_LAMB;
        if (std::sscanf(word + 2, ":%f:%f:%f:%f:%f", &v[0], &v[1], &v[2], &v[3], &v[4]) >= 5) {
            dom->plat = v[0];
            dom->plon = v[1];
            dom->parm[0] = v[2];
            dom->parm[1] = v[3];
            dom->parm[2] = v[4];
        } else if (std::sscanf(word + 2, ":%f", &v[0]) == 1) {
            dom->plon = v[0];
        }
    } else if (!strncmp(word, "GEOS:", 5)) {
        // The fixed grid: sweep axis, sub-satellite longitude, height and
        // semi-axes in metres (DOM_string's numbers).
        char axis = 0;
        double g[4];
        if (std::sscanf(word + 5, "%c:%lf:%lf:%lf:%lf", &axis, &g[0], &g[1], &g[2], &g[3]) != 5 ||
            (axis != 'X' && axis != 'Y') || !(g[1] > 0 && g[2] > 0 && g[3] > 0) || !std::isfinite(g[0] + g[1] + g[2] + g[3]))
            return false;
        dom->proj = DOM_SAT;
        dom->ellipsoid = axis == 'X' ? DOM_GEOS_SWEEP_X : DOM_GEOS_SWEEP_Y;
        dom->plat = 0;
        dom->plon = (float)g[0];
        dom->parm[0] = (float)((g[1] + g[2]) * 1e-5);
        dom->parm[1] = 1.0f;
        dom->parm[2] = (float)(g[2] * 1e-5);
        dom->parm[3] = (float)(g[3] * 1e-5);
    } else if (!strncmp(word, "SA", 2)) {
        dom->proj = DOM_SAT;
        const char *colon = std::strchr(word, ':');
        int n = colon ? std::sscanf(colon, ":%f:%f:%f", &v[0], &v[1], &v[2]) : 0;
        if (n >= 2) {
            dom->plat = v[0];
            dom->plon = v[1];
        }
        if (n >= 3) dom->parm[0] = v[2];
    } else {
        return false;
    }
    return true;
}

// The size line of a version-3 header: "nx ny", or a projection token and
// "clat clon dx dy nx ny".
bool parse_size_v3(const char *line, DOM *dom)
{
    int nx, ny, used = 0;
    if (std::sscanf(line, "%d %d%n", &nx, &ny, &used) == 2 &&
        (line[used] == '\0' || std::isspace((unsigned char)line[used]))) {
        dom->nx = nx;
        dom->ny = ny;
        return true;
    }
    char word[HEADER_LINE];
    float clat, clon, dx, dy;
    if (std::sscanf(line, "%159s %f %f %f %f %d %d", word, &clat, &clon, &dx, &dy, &nx, &ny) != 7)
        return false;
    if (!parse_token(word, dom)) dom->proj = DOM_MISSING;
    dom->clat = clat;
    dom->clon = clon;
    dom->dx = dx;
    dom->dy = dy;
    dom->nx = nx;
    dom->ny = ny;
    return true;
}

// A stream that can still grow: only a regular file on disk is worth
// waiting for.  Memory streams and pipes are read as they stand.
bool can_grow(FILE *in)
{
    int fd = fileno(in);
    struct stat st;
    return fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Inflates the chain of zlib streams into out[0..need).  Input is read in
// blocks; each stream end starts a new stream on the remaining input.
// Returns the bytes produced (need when the image is complete).
int64_t read_compressed(FILE *in, unsigned char *out, int64_t need)
{
    std::vector<unsigned char> inbuf(ZBLOCK), obuf(ZOUT);
    z_stream zs{};
    bool active = false;
    int64_t total = 0;
    int waits = 0;
    const bool grow = can_grow(in);
    while (total < need) {
        if (zs.avail_in == 0) {
            size_t n = std::fread(inbuf.data(), 1, ZBLOCK, in);
            if (n == 0) {
                if (!grow || waits >= MAX_WAITS) break;
                // The writer may still be busy with the file.
                std::clearerr(in);
                ZYR_sleep(1.0f);
                waits++;
                continue;
            }
            zs.next_in = inbuf.data();
            zs.avail_in = (uInt)n;
        }
        if (!active) {
            if (inflateInit(&zs) != Z_OK) break;
            active = true;
        }
        int ret;
        bool moved;
        do {
            uInt in_before = zs.avail_in;
            zs.next_out = obuf.data();
            zs.avail_out = ZOUT;
            ret = inflate(&zs, Z_PARTIAL_FLUSH);
            int64_t got = ZOUT - zs.avail_out;
            int64_t keep = std::min(got, need - total);
            if (keep > 0) std::memcpy(out + total, obuf.data(), (size_t)keep);
            total += keep;
            moved = got > 0 || zs.avail_in != in_before;
            MESS_print(0x40000000, "Inflate+ %d = %d %d = %d %d - %d %d\n", (int)in_before,
                       (int)zs.avail_in, ret, (int)got, (int)total, waits, (int)need);
        } while (ret == Z_OK && zs.avail_out == 0 && total < need);
        if (ret == Z_STREAM_END) {
            inflateEnd(&zs);
            active = false;
        } else if ((ret != Z_OK && ret != Z_BUF_ERROR) || (!moved && zs.avail_in > 0)) {
            // A corrupt stream, one that asks for a preset dictionary, or
            // one that makes no progress on the input it has: keep what was
            // decoded.
            break;
        }
    }
    if (active) inflateEnd(&zs);
    return total;
}

// The pixels from `in`, plain or compressed; false (with a message naming
// the file) when they end before the image is full.
bool read_pixels(FILE *in, bool zipped, const char *name, unsigned char *out, int64_t need)
{
    int64_t got = zipped ? read_compressed(in, out, need)
                         : (int64_t)std::fread(out, 1, (size_t)need, in);
    if (got >= need) return true;
    MESS_print(MESS_WARN, "IMG_read_zyr: %s: %s after %lld of %lld bytes\n", name,
               zipped ? "compressed data end" : "image ends", (long long)got, (long long)need);
    return false;
}

// Writes the pixel rows as one-byte values for images that are not plain
// 8-bit data: window grabs of any depth and true-colour pixels.
bool write_converted(FILE *out, const IMG *image)
{
    const unsigned char *p = image->data;
    const int bl = image->bytes_line;
    const int depth = image->depth;
    const bool msb = image->byte_order == 1;
    int per_row;
    if (image->bits_pixel == 32)
        per_row = bl / 4;
    else if (depth > 0)
        per_row = (int)((int64_t)bl * 8 / depth);
    else
        return false;
    std::vector<unsigned char> row((size_t)std::max(per_row, 1));
    int64_t pixel = 0;  // 4-bit pixels count through the whole image
    for (int y = 0; y < image->ny; y++) {
        const unsigned char *r = p + (int64_t)y * bl;
        for (int x = 0; x < per_row; x++) {
            unsigned char v = 0;
            if (image->bits_pixel == 32) {
                const unsigned char *q = r + 4 * x + (msb ? 1 : 0);
                v = (unsigned char)((q[0] + q[1] + q[2]) / 3);
            } else if (depth == 24) {
                v = r[3 * x + (msb ? 2 : 0)];
            } else if (depth == 16) {
                v = r[2 * x + (msb ? 1 : 0)];
            } else if (depth == 8) {
                v = r[x];
            } else if (depth == 4) {
                // Whole-image nibble order: the position runs on across rows.
                int64_t b = pixel / 2;
                unsigned char c = p[b];
                v = (pixel % 2 == 0) ? (c >> 4) : (c & 0x0F);
                pixel++;
            } else if (depth == 1) {
                v = (r[x / 8] >> (x % 8)) & 1;
            }
            // Other depths have no defined conversion; they come out as zeros.
            row[(size_t)x] = v;
        }
        if (per_row > 0 && std::fwrite(row.data(), 1, (size_t)per_row, out) != (size_t)per_row)
            return false;
    }
    return true;
}

bool write_raw(FILE *out, const IMG *image, int compress)
{
    const int64_t size = (int64_t)image->bytes_line * image->ny;
    if (size <= 0 || !image->data) return true;
    if (!compress) return std::fwrite(image->data, 1, (size_t)size, out) == (size_t)size;
    std::vector<unsigned char> obuf(ZOUT);
    for (int64_t pos = 0, block = 0; pos < size; pos += ZBLOCK, block++) {
        uInt n = (uInt)std::min<int64_t>(ZBLOCK, size - pos);
        z_stream zs{};
        if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
        zs.next_in = image->data + pos;
        zs.avail_in = n;
        zs.next_out = obuf.data();
        zs.avail_out = ZOUT;
        int ret = deflate(&zs, Z_FINISH);
        size_t got = ZOUT - zs.avail_out;
        deflateEnd(&zs);
        MESS_print(0x40000000, "Deflate+ %d = %d %d = %d %d\n", (int)block, (int)n, ret, (int)got,
                   (int)pos);
        if (ret != Z_STREAM_END || std::fwrite(obuf.data(), 1, got, out) != got) return false;
    }
    return true;
}

// The projection token and its blank, or nothing for a projection this form
// cannot carry.
void write_token(FILE *out, const DOM &d)
{
    switch (d.proj) {
    case DOM_LATLON: std::fputs("LL ", out); break;
    case DOM_MERC: std::fputs("ME ", out); break;
    case DOM_PSTEREO:
        if (!is_missing(d.plon) && d.plon != d.clon)
            std::fprintf(out, "PS:%f ", d.plon);
        else
            std::fputs("PS ", out);
        break;
    case DOM_LAMB:
        if (!is_missing(d.parm[0]))
            std::fprintf(out, "LC:%f:%f:%f:%f:%f ", d.plat, d.plon, d.parm[0], d.parm[1], d.parm[2]);
        else if (!is_missing(d.plon))
            std::fprintf(out, "LC:%f ", d.plon);
        else
            std::fputs("LC ", out);
        break;
    case DOM_SAT:
        if (DOM_is_geos(&d))
            std::fprintf(out, "GEOS:%c:%.9g:%.3f:%.3f:%.3f ", d.ellipsoid == DOM_GEOS_SWEEP_X ? 'X' : 'Y', d.plon,
                         ((double)d.parm[0] - d.parm[2]) * 1e5, (double)d.parm[2] * 1e5, (double)d.parm[3] * 1e5);
        else if (!is_missing(d.parm[0]))
            std::fprintf(out, "SAT:%f:%f:%f ", d.plat, d.plon, d.parm[0]);
        else
            std::fprintf(out, "SAT:%f:%f ", d.plat, d.plon);
        break;
    default: break;
    }
}

}  // namespace

int IMG_print(uint32_t level, const IMG *image)
{
    MESS_print(level, "Source: %d\n", image->source);
    MESS_print(level, "Version: %d\n", image->version);
    MESS_print(level, "Date: %s\n", image->date_label);
    MESS_print(level, "Info: %s\n", image->info);
    MESS_print(level, "Type: %d\n", image->type);
    MESS_print(level, "Size: %dx%d\n", image->nx, image->ny);
    MESS_print(level, "Resolution: %.2fx%.2f\n", image->res_x, image->res_y);
    MESS_print(level, "Offset: %.2fx%.2f\n", image->off_x, image->off_y);
    MESS_print(level, "Depth: %d\n", image->depth);
    MESS_print(level, "Bits per pixel: %d\n", image->bits_pixel);
    MESS_print(level, "Bytes per line: %d\n", image->bytes_line);
    MESS_print(level, "Bytes order: %d\n", image->byte_order);
    MESS_print(level, "Number of colors: %d\n", image->ncolors);
    MESS_print(level, "Tranparent colors: %d\n", image->transparent);
    DOM_print(level, &image->domain);
    return 0;
}

int IMG_read_zyr_stream(FILE *in, const char *name, IMG *image)
{
    char line[HEADER_LINE];
    if (!read_line(in, line) || strncmp(line, "ZYRIMG", 6) != 0) {
        MESS_print(MESS_WARN, "IMG_read_zyr: Invalid image type\n");
        return -1;
    }
    bool v4 = false, separate = false, zipped = false, vblock = false, cprefix = false;
    for (const char *o = line + 6; *o; o++) {
        switch (*o) {
        case '4': v4 = true; break;
        case '*': separate = true; break;
        case 'Z': zipped = true; break;
        case 'V': vblock = true; break;
        case 'C': cprefix = true; break;
        default: break;  // unknown options are ignored
        }
    }
    IMG_init(image);
    image->source = IMG_SRC_ZYR;
    read_line(in, line);
    copy_text(image->date_label, sizeof image->date_label, line);
    DATE_decode_label(image->date_label, &image->date);
    read_line(in, line);
    copy_text(image->info, sizeof image->info, line);

    read_line(in, line);
    bool ok = v4 ? DOM_decode(line, &image->domain) > 0 : parse_size_v3(line, &image->domain);
    if (ZYR_exit_requested()) return -1;  // a region's prompt answered with "exit"
    const int64_t nx = image->domain.nx, ny = image->domain.ny;
    if (!ok || nx < 1 || ny < 1 || nx > MAX_SIDE || ny > MAX_SIDE || nx * ny > MAX_PIXELS) {
        MESS_print(MESS_WARN, "IMG_read_zyr: Invalid image size in %s: %s\n", name, line);
        return -1;
    }
    image->nx = (int)nx;
    image->ny = (int)ny;
    image->bytes_line = (int)nx;
    image->depth = 8;

    if (vblock) {
        unsigned char skip[1024];
        if (std::fread(skip, 1, sizeof skip, in) != sizeof skip) { /* short: data is empty */ }
    }
    if (cprefix) {
        unsigned char pre[4] = {0, 0, 0, 0};
        if (std::fread(pre, 1, 4, in) == 4) {
            int extra = 2 * (int)(signed char)pre[3];
            for (int i = 0; i < extra && std::getc(in) != EOF; i++) {}
        }
    }

    const int64_t size = nx * ny;
    image->data = (unsigned char *)std::calloc((size_t)size, 1);
    if (!image->data) return 0;
    // Pixels that end before the last row would show as a blank band: such
    // a file is refused, not drawn.
    bool ok_pixels = false;
    if (separate) {
        char pix_name[HEADER_LINE] = "";
        FILE *pf = nullptr;
        // Reading an image never starts a program: a "|command" name (which
        // the file layer would run) and the standard input are refused.
        if (std::fscanf(in, "%159s", pix_name) == 1 && pix_name[0] != '|' && !FILE_is_std(pix_name))
            pf = FILE_open(pix_name, "r");
        if (!pf) {
            MESS_print(MESS_WARN, "Unable to open: %s\n", pix_name);
        } else {
            ok_pixels = read_pixels(pf, zipped, pix_name, image->data, size);
            std::fclose(pf);
        }
    } else {
        ok_pixels = read_pixels(in, zipped, name, image->data, size);
    }
    if (!ok_pixels) {
        IMG_free(image);
        return -1;
    }
    return 1;
}

int IMG_read_zyr(const char *name, IMG *image, int flag)
{
    FILE *in = FILE_open(name, "r");
    if (!in) {
        MESS_print(MESS_WARN, "Unable to open: %s\n", name);
        return -1;
    }
    int ret = IMG_read_zyr_stream(in, name, image);
    if (in != stdin) std::fclose(in);
    return ret;
}

namespace rdr {

bool zyr_identify(const unsigned char *b, size_t n)
{
    return n >= 6 && !std::memcmp(b, "ZYRIMG", 6);
}

int zyr_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    IMG_init(out->image);
    SourceStream in(source);
    if (!in.get()) return IMG_READ_FAILED;
    // Pixels that find no memory (0) fail as an unreadable file (-1) does.
    return IMG_read_zyr_stream(in.get(), source->name, out->image) == 1 ? IMG_READ_OK
                                                                        : IMG_READ_FAILED;
}

}  // namespace rdr

int IMG_write(const char *name, const IMG *image, int compress)
{
    FILE *out = FILE_open(name, "wb");
    if (!out) {
        MESS_print(MESS_WARN, "Unable to open: %s\n", name);
        return 0;
    }
    const bool raw = image->depth == 8 && image->ncolors < 1;
    std::fputs(raw && compress ? "ZYRIMGZ\n" : "ZYRIMG\n", out);
    std::fprintf(out, "%s\n", image->date_label);
    std::fprintf(out, "%s\n", image->info);
    const DOM &d = image->domain;
    if (d.proj == DOM_MISSING) {
        std::fprintf(out, "%d %d\n", image->nx, image->ny);
    } else {
        write_token(out, d);
        // A fixed grid of thousands of columns needs every digit of its
        // spacing; the other domains keep the form they always had.
        std::fprintf(out, DOM_is_geos(&d) ? "%.9g %.9g %.9g %.9g %d %d\n" : "%f %f %f %f %d %d\n", d.clat, d.clon,
                     d.dx, d.dy, d.nx, d.ny);
    }
    bool ok = raw ? write_raw(out, image, compress) : write_converted(out, image);
    if (out != stdout) {
        if (std::fclose(out) != 0) ok = false;
    } else {
        std::fflush(out);
    }
    if (!ok) MESS_print(MESS_WARN, "IMG_write: Error writing %s\n", name);
    return 1;
}

int IMG_read(const char *name, IMG *image, int query)
{
    FILE *in = FILE_open(name, "r");
    if (!in) {
        MESS_print(MESS_WARN, "IMG_read: Unable to open image file: %s\n", name);
        return 0;
    }
    char head[7] = {0};
    size_t n = std::fread(head, 1, 6, in);
    IMG_init(image);
    // The window depth; a property query without a window assumes 32-bit
    // pixels.
    image->depth = gget_win_depth();
    if (image->depth == 0 && query == 1) image->depth = 32;
    if (n >= 3 && !strncmp(head, "** ", 3)) {
        int c;
        std::fseek(in, 0, SEEK_SET);
        while ((c = std::getc(in)) != EOF && c != '\n') {}
        std::memset(head, 0, sizeof head);
        n = std::fread(head, 1, 6, in);
    }
    if (in != stdin) std::fclose(in);
    int ret = 0;
    if (!strncmp(head, "ZYR", 3)) {
        ret = IMG_read_zyr(name, image, query);
    } else if (!strncmp(head, "GIF", 3)) {
        ret = GIF_read(name, image, query);
    } else if (!strncmp(head + 1, "PNG", 3)) {
        ret = PNG_read(name, image, query);
    } else {
        ret = XWD_read(name, image, query);
    }
    // The ZYRIMG reader answers -1 for a file it refuses: a failure here.
    if (ret <= 0) {
        IMG_free(image);
        return 0;
    }
    return ret;
}

void IMG_register_hooks()
{
    HOOK_table().read_image_file = IMG_read;
    HOOK_table().write_image_file = [](const char *name, IMG *img, int type) {
        switch (type) {
        case GSAVE_GIF: return GIF_write(name, img);
        case GSAVE_PNG: return PNG_write(name, img);
        case GSAVE_XWD: return XWD_write(name, img);
        case GSAVE_ZYR: return IMG_write(name, img, 0);
        default: return 0;
        }
    };
}

void IMG_reset()
{
    AREA_reset();
    swap_setup(-1);
    LRIT_close();
    GIF_interlace(0);
    GIF_transparent(0);
}
