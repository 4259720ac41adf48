// Pixel reading and palette building shared by the image-file writers.
#include "image/imgpal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "core/flags.h"
#include "core/workers.h"
#include "files/file.h"

namespace {

constexpr uint32_t MASK_DEBUG = 0x40000000;

// Distinct pixel values seen so far.  Depths up to 8 bits use a direct
// table; wider values an open-addressed hash of 1024 slots, which never
// holds more than the 256 values a palette can take.
class ValueMap {
public:
    explicit ValueMap(bool direct) : direct_(direct)
    {
        if (direct_) std::memset(small_, -1, sizeof small_);
        else std::memset(used_, 0, sizeof used_);
    }
    // Entry of v, or -1.
    int find(uint32_t v) const
    {
        if (direct_) return small_[v & 0xff];
        for (uint32_t h = hash(v);; h = (h + 1) & 1023) {
            if (!used_[h]) return -1;
            if (key_[h] == v) return idx_[h];
        }
    }
    void add(uint32_t v, int i)
    {
        if (direct_) {
            small_[v & 0xff] = (int16_t)i;
            return;
        }
        uint32_t h = hash(v);
        while (used_[h]) h = (h + 1) & 1023;
        used_[h] = 1;
        key_[h] = v;
        idx_[h] = (int16_t)i;
    }

private:
    static uint32_t hash(uint32_t v) { return (v * 2654435761u) >> 22; }
    bool direct_;
    int16_t small_[256];
    uint32_t key_[1024];
    int16_t idx_[1024];
    uint8_t used_[1024];
};

// Writes palette entry `e` over pixel `col` in the pixel's own width.
void store_index(unsigned char *row, const IMG_layout &lay, int order, int col, uint8_t e)
{
    switch (lay.kind) {
    case 32: {
        unsigned char *p = row + (size_t)col * 4;
        std::memset(p, 0, 4);
        p[order ? 1 : 2] = e;
        break;
    }
    case 24: {
        unsigned char *p = row + (size_t)col * 3;
        std::memset(p, 0, 3);
        p[order ? 0 : 2] = e;
        break;
    }
    case 16: {
        unsigned char *p = row + (size_t)col * 2;
        p[0] = p[1] = 0;
        p[order ? 1 : 0] = e;
        break;
    }
    case 8:
        row[col] = e;
        break;
    case 4: {
        unsigned char &b = row[col >> 1];
        b = (col & 1) ? (unsigned char)((b & 0xf0) | (e & 0x0f)) : (unsigned char)((b & 0x0f) | (e << 4));
        break;
    }
    default: {
        unsigned char &b = row[col >> 3];
        unsigned char bit = (unsigned char)(1u << (col & 7));
        b = (e & 1) ? (unsigned char)(b | bit) : (unsigned char)(b & ~bit);
        break;
    }
    }
}

// Colour of one pixel value.  A record with a colour table uses it (values
// past the table are black); one with channel masks uses them; one with
// neither (plain satellite counts) is shown as gray, the value scaled to
// 8 bits for its depth, except 24- and 32-bit data, read as 8-bit red,
// green and blue from high to low.
struct ColourRule {
    int mode = 0;  // 0 table, 1 masks, 2 gray
    int shift[3] = {}, width[3] = {};
    uint32_t mask[3] = {};

    void colour(const IMG *img, const IMG_layout &lay, uint32_t v, uint8_t *rgb) const
    {
        if (mode == 0) {
            for (int c = 0; c < 3; c++) {
                float f = (int64_t)v < img->ncolors ? img->cmap[3 * (size_t)v + c] : 0.0f;
                int x = (int)(255.0f * f);
                rgb[c] = (uint8_t)(x < 0 ? 0 : x > 255 ? 255 : x);
            }
        } else if (mode == 1) {
            for (int c = 0; c < 3; c++) {
                if (width[c] == 0) {  // no bits for this channel (the shift may be the whole word)
                    rgb[c] = 0;
                    continue;
                }
                uint32_t x = (v & mask[c]) >> shift[c];
                x = width[c] <= 8 ? x << (8 - width[c]) : x >> (width[c] - 8);
                rgb[c] = (uint8_t)x;
            }
        } else {
            uint32_t g;
            switch (lay.kind) {
            case 1: g = v ? 255 : 0; break;
            case 4: g = v * 17; break;
            case 16: g = v >> 8; break;
            case 24:
            case 32:
                rgb[0] = (uint8_t)(v >> 16);
                rgb[1] = (uint8_t)(v >> 8);
                rgb[2] = (uint8_t)v;
                return;
            default: g = v; break;
            }
            rgb[0] = rgb[1] = rgb[2] = (uint8_t)g;
        }
    }
};

// Value of pixel `col` of a stored row: 32 bits per pixel take bytes 1..3
// (byte order 1) or 2, 1, 0 (byte order 0) most significant first; 24 bits
// bytes 0..2 likewise; 16 bits two bytes; 4 bits high nibble first; 1 bit the
// least significant bit first.
template <int KIND>
inline uint32_t read_px(const unsigned char *row, int order, int col)
{
    if constexpr (KIND == 8) {
        return row[col];
    } else if constexpr (KIND == 32) {
        const unsigned char *p = row + (size_t)col * 4;
        return order ? (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]
                     : (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
    } else if constexpr (KIND == 24) {
        const unsigned char *p = row + (size_t)col * 3;
        return order ? (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2]
                     : (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
    } else if constexpr (KIND == 16) {
        const unsigned char *p = row + (size_t)col * 2;
        return order ? (uint32_t)p[0] << 8 | p[1] : (uint32_t)p[1] << 8 | p[0];
    } else if constexpr (KIND == 4) {
        unsigned char b = row[col >> 1];
        return (col & 1) ? (b & 0x0fu) : (uint32_t)(b >> 4);
    } else {
        return (row[col >> 3] >> (col & 7)) & 1u;
    }
}

// Rows r0..r1-1: entries in `pal` in order of first appearance in these
// rows, the rows' entries in `out` (the picture's first row at out).  Sets
// *overflow when a value came after the palette was full.
template <int KIND>
void build_rows(IMG *img, const IMG_layout &lay, bool in_place, IMG_palette *pal, uint8_t *out,
                const ColourRule &rule, int r0, int r1, bool *overflow)
{
    ValueMap map(KIND <= 8);
    const int nx = img->nx, order = img->byte_order;
    const int cols = lay.ppr > nx ? lay.ppr : nx;
    // Runs of one value are common in pictures: the last value's entry is
    // kept beside the hash.
    uint32_t last_v = 0;
    int last_e = -1;
    auto entry = [&](uint32_t v) {
        int e = map.find(v);
        if (e < 0) {
            if (pal->ncolors < 256) {
                e = pal->ncolors++;
                pal->value[e] = v;
                rule.colour(img, lay, v, pal->rgb[e]);
                map.add(v, e);
            } else {
                e = 0;  // not remembered: the hash holds only palette values
                *overflow = true;
            }
        }
        last_v = v;
        last_e = e;
        return e;
    };
    // The window's own pictures (32 bits, least significant byte first, read
    // on a little-endian host) are read a word at a time: the dump of every
    // frame of a loop passes here.
    const bool words = KIND == 32 && !in_place && order == 0 && std::endian::native == std::endian::little;
    const int inside = nx < lay.ppr ? nx : lay.ppr;
    for (int r = r0; r < r1; r++) {
        unsigned char *row = img->data + (size_t)r * img->bytes_line;
        uint8_t *orow = out + (size_t)r * nx;
        int col = 0;
        if (words)
            for (; col < inside; col++) {
                uint32_t v;
                std::memcpy(&v, row + (size_t)col * 4, 4);
                v &= 0xFFFFFFu;
                orow[col] = (uint8_t)(last_e >= 0 && v == last_v ? last_e : entry(v));
            }
        for (; col < cols; col++) {
            uint32_t v = (col < nx && col < lay.ppr) ? read_px<KIND>(row, order, col) : 0;
            int e = last_e >= 0 && v == last_v ? last_e : entry(v);
            if (col < nx) orow[col] = (uint8_t)e;
            if (in_place && col < lay.ppr) store_index(row, lay, order, col, (uint8_t)e);
        }
    }
}

}  // namespace

void IMG_mask_shift_width(uint32_t mask, int depth, int *shift, int *width)
{
    if (depth > 32) depth = 32;
    int s = 0;
    while (s < depth && !(mask >> s & 1u)) s++;
    int w = 0;
    while (s + w < depth && (mask >> (s + w) & 1u)) w++;
    *shift = s;
    *width = w;
}

bool IMG_layout_of(const IMG *img, IMG_layout *lay, const char *who)
{
    if (!img->data || img->nx <= 0 || img->ny <= 0 || img->bytes_line <= 0) {
        MESS_print(MESS_ERROR, "%s: image has no pixels (%dx%d, %d bytes per line)\n", who, img->nx,
                   img->ny, img->bytes_line);
        return false;
    }
    // Depth 15 is stored like 16; depths the window never has are refused
    // rather than guessed at.
    int64_t bl = img->bytes_line;
    if (img->bits_pixel == 32 || img->depth == 32) {
        lay->kind = 32;
        lay->ppr = (int)(bl / 4);
    } else {
        switch (img->depth) {
        case 1: lay->kind = 1; lay->ppr = (int)(bl * 8 > INT32_MAX ? INT32_MAX : bl * 8); break;
        case 4: lay->kind = 4; lay->ppr = (int)(bl * 2); break;
        case 8: lay->kind = 8; lay->ppr = (int)bl; break;
        case 15:
        case 16: lay->kind = 16; lay->ppr = (int)(bl / 2); break;
        case 24: lay->kind = 24; lay->ppr = (int)(bl / 3); break;
        default:
            MESS_print(MESS_ERROR, "%s: cannot write an image of depth %d\n", who, img->depth);
            return false;
        }
    }
    return true;
}

bool IMG_build_palette(IMG *img, bool in_place, IMG_palette *pal, std::vector<uint8_t> *index,
                       const char *who)
{
    IMG_layout lay;
    if (!IMG_layout_of(img, &lay, who)) return false;
    ColourRule rule;
    if (img->indexed && img->cmap && img->ncolors > 0) {
        rule.mode = 0;
    } else if (img->red_mask | img->green_mask | img->blue_mask) {
        rule.mode = 1;
        rule.mask[0] = img->red_mask;
        rule.mask[1] = img->green_mask;
        rule.mask[2] = img->blue_mask;
        int depth = lay.kind == 32 && img->depth < 24 ? 24 : img->depth;
        for (int c = 0; c < 3; c++) IMG_mask_shift_width(rule.mask[c], depth, &rule.shift[c], &rule.width[c]);
        MESS_print(MASK_DEBUG, "mask: %d-%d %d-%d %d-%d\n", rule.shift[0], rule.width[0], rule.shift[1],
                   rule.width[1], rule.shift[2], rule.width[2]);
    } else {
        rule.mode = 2;
    }
    *pal = IMG_palette{};
    index->resize((size_t)img->nx * img->ny);
    uint8_t *out = index->data();
    auto rows = [&](IMG_palette *p, int r0, int r1, bool *overflow) {
        switch (lay.kind) {
        case 32: build_rows<32>(img, lay, in_place, p, out, rule, r0, r1, overflow); break;
        case 24: build_rows<24>(img, lay, in_place, p, out, rule, r0, r1, overflow); break;
        case 16: build_rows<16>(img, lay, in_place, p, out, rule, r0, r1, overflow); break;
        case 8: build_rows<8>(img, lay, in_place, p, out, rule, r0, r1, overflow); break;
        case 4: build_rows<4>(img, lay, in_place, p, out, rule, r0, r1, overflow); break;
        default: build_rows<1>(img, lay, in_place, p, out, rule, r0, r1, overflow); break;
        }
    };
    // A large picture is read in shares of rows on the worker threads, each
    // share with a palette of its own; the shares' palettes are then joined
    // in share order, which is the order of first appearance in the whole
    // picture, so the entries are those of one pass over all rows.  A share
    // that meets more than 256 values cannot be joined that way (its extra
    // values would take its own entry 0): the picture is then read in one
    // pass.
    //
    // The shares are about four for each thread, taken by the threads as
    // they come free: rows of image cost more than rows of flat map.
    const int threads = in_place ? 1 : WORK_thread_count((size_t)img->nx * img->ny);
    const int per = threads > 1 ? std::max(1, (img->ny + 4 * threads - 1) / (4 * threads)) : img->ny;
    const int parts = (img->ny + per - 1) / per;
    bool overflow = false;
    if (parts > 1) {
        std::vector<IMG_palette> share((size_t)parts);
        std::vector<char> over((size_t)parts, 0);
        WORK_chunks(parts, threads, [&](int k) {
            bool o = false;
            rows(&share[(size_t)k], k * per, std::min(img->ny, (k + 1) * per), &o);
            over[(size_t)k] = o;
        });
        if (std::find(over.begin(), over.end(), 1) == over.end()) {
            *pal = share[0];
            ValueMap known(lay.kind <= 8);
            for (int e = 0; e < pal->ncolors; e++) known.add(pal->value[e], e);
            std::vector<std::array<uint8_t, 256>> to((size_t)parts);
            for (int k = 1; k < parts; k++) {
                const IMG_palette &sp = share[(size_t)k];
                for (int e = 0; e < sp.ncolors; e++) {
                    int g = known.find(sp.value[e]);
                    if (g < 0 && pal->ncolors < 256) {
                        g = pal->ncolors++;
                        pal->value[g] = sp.value[e];
                        std::memcpy(pal->rgb[g], sp.rgb[e], 3);
                        known.add(sp.value[e], g);
                    }
                    to[(size_t)k][(size_t)e] = (uint8_t)(g < 0 ? 0 : g);
                }
            }
            WORK_chunks(parts - 1, threads, [&](int k1) {
                const int k = k1 + 1;
                const auto &t = to[(size_t)k];
                uint8_t *p = out + (size_t)std::min(img->ny, k * per) * img->nx;
                uint8_t *end = out + (size_t)std::min(img->ny, (k + 1) * per) * img->nx;
                for (; p < end; ++p) *p = t[*p];
            });
            return true;
        }
        *pal = IMG_palette{};
    }
    rows(pal, 0, img->ny, &overflow);
    return true;
}

FILE *IMG_open_file(const char *name, const char *mode)
{
    if (!name) return nullptr;
    return FILE_open(name, mode);
}

bool IMG_close_file(FILE *fp, const char *name)
{
    if (fp == stdin || fp == stdout) return std::fflush(fp) == 0;
    if (name && name[0] == '|') return pclose(fp) == 0;
    return std::fclose(fp) == 0;
}

int IMG_finish_file(FILE *fp, const void *data, size_t size, const char *who, const char *name)
{
    bool ok = std::fwrite(data, 1, size, fp) == size;
    ok = std::fflush(fp) == 0 && ok;
    ok = IMG_close_file(fp, name) && ok;
    if (!ok) MESS_print(MESS_ERROR, "%s: Unable to write %s\n", who, name);
    return ok ? 1 : 0;
}

bool IMG_slurp(FILE *fp, std::vector<unsigned char> *out, size_t cap)
{
    out->clear();
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) {
        if (out->size() + n > cap) return false;
        out->insert(out->end(), buf, buf + n);
    }
    return !std::ferror(fp);
}
