// Unisys satellite images: a text header of keyword words written over the
// start of the image, then the pixels; the header's bytes read as 0.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/util.h"
#include "core/res.h"
#include "files/date.h"
#include "image/nav.h"
#include "image/rdr_util.h"
#include "image/reader_formats.h"
#include "image/readers.h"

namespace {

constexpr uint32_t ERR = MESS_WARN;
constexpr int MAX_WORDS = 30;
constexpr size_t MAX_WORD = 500;

struct Frame {
    int ssn = 0, sln = 0, esn = 0, eln = 0;
    float sr = 0, lr = -1;
};

bool starts(const std::string &w, const char *key) { return w.compare(0, strlen(key), key) == 0; }
// Value of a keyword word, which starts at character `at` counted from 1.
const char *val(const std::string &w, size_t at) { return w.size() >= at ? w.c_str() + at - 1 : ""; }

}  // namespace

int SAT_read_Unisys_mem(const unsigned char *data, size_t size, const char *name, IMG *image)
{
    IMG_init(image);
    if (!name) name = "";
    image->source = IMG_SRC_UNISYS;
    image->depth = 8;
    image->bits_pixel = 8;
    DOM &d = image->domain;
    d.proj = DOM_PIXEL;
    d.clat = d.clon = 0;
    d.dx = d.dy = 1;
    Frame f;
    int nx = 0, ny = 0, known = 0;
    bool end = false;
    size_t pos = 0;
    for (int n = 0; n < MAX_WORDS && !end; n++) {
        while (pos < size && isspace(data[pos])) pos++;
        if (pos >= size) break;
        std::string w;
        while (pos < size && !isspace(data[pos]) && w.size() < MAX_WORD) w += (char)data[pos++];
        int before = known++;
        if (w == "end") end = true;
        else if (starts(w, "id")) snprintf(image->info, sizeof image->info, "%s", val(w, 3));
        else if (w == "pl") { d.proj = DOM_LAMB; d.dx = d.dy = 0.08f; }
        else if (w == "range") d.dx = d.dy = 0.08f;
        else if (starts(w, "ref") && w.size() >= 4 && w[3] >= '1' && w[3] <= '4') {
            float v = (float)atof(val(w, 5));
            float *slot[] = {&d.plat, &d.plon, &d.parm[0], &d.parm[1]};
            *slot[w[3] - '1'] = v;
        }
        else if (starts(w, "ssn")) f.ssn = atoi(val(w, 4));
        else if (starts(w, "sln")) f.sln = atoi(val(w, 4));
        else if (starts(w, "esn")) f.esn = atoi(val(w, 4));
        else if (starts(w, "eln")) f.eln = atoi(val(w, 4));
        else if (starts(w, "sr")) f.sr = (float)atof(val(w, 3));
        else if (starts(w, "lr")) f.lr = (float)atof(val(w, 3));
        else if (starts(w, "lat")) d.clat = (float)atof(val(w, 4));
        else if (starts(w, "lon")) d.clon = (float)atof(val(w, 4));
        else if (starts(w, "x")) nx = atoi(val(w, 2));
        else if (starts(w, "y")) ny = atoi(val(w, 2));
        else if (starts(w, "f")) {
            int64_t secs = atoll(val(w, 4));
            DATE_get_gmdate(&secs, &image->date);
            DATE_make_label(&image->date, image->date_label);
        } else known = before;
    }
    // Sizes are bounded too: a header is no licence for any allocation.
    if ((!end && known < 3) || nx < 1 || ny < 1 || nx > 100000 || ny > 100000 ||
        (uint64_t)nx * ny > rdr::MAX_PIXELS) {
        MESS_print(ERR, "SAT_read_Unisys: Unable to determine image parameters\n");
        return -1;
    }
    image->nx = nx;
    image->ny = ny;
    image->bytes_line = nx;
    d.nx = nx;
    d.ny = ny;
    if (const char *grid = RES_get("grid_domain"); grid && *grid) {
        DOM g;
        DOM_init(&g);
        if (DOM_decode(grid, &g) > 0) {
            d = g;
            d.nx = nx;
            d.ny = ny;
        }
        if (ZYR_exit_requested()) return -1;  // a region's prompt answered with "exit"
    }
    pos++;  // the separator after "end"
    uint64_t total = (uint64_t)nx * ny;
    // The header is written over the image's first bytes, so the file holds
    // exactly nx * ny bytes; fewer would leave the picture's end blank.
    if (size < total) {
        MESS_print(ERR, "SAT_read_Unisys: %s: image ends after %zu of %llu bytes\n", name, size,
                   (unsigned long long)total);
        return -1;
    }
    image->data = static_cast<unsigned char *>(calloc(total, 1));
    if (!image->data) {
        MESS_print(ERR, "SAT_read_Unisys: %s: no memory for the pixels\n", name);
        return -1;
    }
    // The header occupies the image's first bytes; a header longer than the
    // image leaves it all zero.
    if (pos < total) {
        uint64_t n = total - pos;
        std::memcpy(image->data + pos, data + pos, n);
    }
    if (f.lr > 0 && f.sr > 0) {
        float lcor = (f.sln - 1) * 2 * f.lr;
        float ecor = (f.ssn + 20) * f.sr;
        float lres = (2 * f.lr * (f.eln - 1) - lcor) / ny;
        float eres = ((20 + f.esn) * f.sr - ecor) / nx;
        MESS_print(MESS_DEBUG, "Unisys frame: res %g x %g, correction %g x %g\n", eres, lres, ecor,
                   lcor);
        AREA_set_res(lcor, ecor, lres, eres);
    }
    return 0;
}

int SAT_read_Unisys(const char *name, IMG *image) { return IMG_reader_read_named(IMG_SRC_UNISYS, name, image); }

namespace rdr {

// Header words as the reader takes them, all printable, up to "end", with a
// width and a height among them.
bool unisys_identify(const unsigned char *b, size_t n)
{
    size_t pos = 0;
    int nx = 0, ny = 0;
    for (int k = 0; k < MAX_WORDS; k++) {
        while (pos < n && isspace(b[pos])) pos++;
        std::string w;
        while (pos < n && !isspace(b[pos]) && w.size() < MAX_WORD) {
            if (!isprint(b[pos])) return false;
            w += (char)b[pos++];
        }
        if (w.empty()) return false;
        if (w == "end") return nx > 0 && ny > 0;
        if (starts(w, "x")) nx = atoi(val(w, 2));
        else if (starts(w, "y")) ny = atoi(val(w, 2));
    }
    return false;
}

int unisys_read(const IMG_SOURCE *source, const IMG_WINDOW *, IMG_READ_OUT *out)
{
    return read_span(source, out, "SAT_read_Unisys", IMG_SRC_UNISYS,
                     [&](const unsigned char *b, size_t n) {
                         return SAT_read_Unisys_mem(b, n, source->name, out->image);
                     });
}

}  // namespace rdr
