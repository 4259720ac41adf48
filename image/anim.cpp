// Animated GIF and APNG writers.
//
// Each frame is reduced once to palette entries (one byte a pixel) and its
// own palette of at most 256 colours, so a loop of 24 full-HD frames holds
// about 50 MB, not the 200 MB of its 32-bit pictures.
#include "image/anim.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/flags.h"
#include "gks/gks.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/imgpal.h"
#include "image/pngio.h"

namespace {

struct Frame {
    std::vector<uint8_t> index;  // canvas-sized palette entries
    IMG_palette pal;
    int centis = 0;              // delay in 1/100 s
};

uint32_t pack(const uint8_t *c) { return (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2]; }

// Reduces one frame to palette entries on a canvas of the first frame's
// size (W and H are set by the first frame).
bool add_frame(const IMG *image, float delay, const char *who, const char *name, std::vector<Frame> *out,
               int *W, int *H)
{
    IMG *img = const_cast<IMG *>(image);  // read only: no in-place replacement
    std::vector<uint8_t> idx;
    out->emplace_back();
    Frame &f = out->back();
    if (!img || !IMG_build_palette(img, false, &f.pal, &idx, who)) return false;
    if (out->size() == 1) {
        *W = img->nx;
        *H = img->ny;
        if (*W > 65535 || *H > 65535) {
            MESS_print(MESS_ERROR, "%s: %dx%d is too large for %s\n", who, *W, *H, name);
            return false;
        }
    }
    float cs = delay > 0 ? delay * 100.0f : 0.0f;
    f.centis = (int)std::lround(cs > 65535 ? 65535 : cs);
    if (img->nx == *W && img->ny == *H) {
        f.index = std::move(idx);
        return true;
    }
    f.index.assign((size_t)*W * *H, 0);
    const int cw = img->nx < *W ? img->nx : *W, ch = img->ny < *H ? img->ny : *H;
    for (int y = 0; y < ch; y++) std::memcpy(&f.index[(size_t)y * *W], &idx[(size_t)y * img->nx], (size_t)cw);
    return true;
}

bool prepare(const ANIM_frame *frames, int n, const char *who, const char *name, std::vector<Frame> *out,
             int *W, int *H)
{
    if (n < 1 || !frames) {
        MESS_print(MESS_ERROR, "%s: no frames to write to %s\n", who, name);
        return false;
    }
    out->reserve((size_t)n);
    for (int k = 0; k < n; k++)
        if (!add_frame(frames[k].image, frames[k].delay, who, name, out, W, H)) return false;
    return true;
}

// One palette for all frames when their colours fit in 256; `map[k][e]` is
// the global entry of frame k's entry e.
bool global_palette(const std::vector<Frame> &frames, int limit, std::vector<uint32_t> *colours,
                    std::vector<std::array<uint8_t, 256>> *map)
{
    std::unordered_map<uint32_t, int> seen;
    map->assign(frames.size(), {});
    for (size_t k = 0; k < frames.size(); k++)
        for (int e = 0; e < frames[k].pal.ncolors; e++) {
            uint32_t c = pack(frames[k].pal.rgb[e]);
            auto it = seen.find(c);
            if (it == seen.end()) {
                if ((int)colours->size() >= limit) return false;
                it = seen.emplace(c, (int)colours->size()).first;
                colours->push_back(c);
            }
            (*map)[k][e] = (uint8_t)it->second;
        }
    return true;
}

void put_le16(std::vector<uint8_t> *o, int v)
{
    o->push_back((uint8_t)(v & 0xff));
    o->push_back((uint8_t)((v >> 8) & 0xff));
}

void put_table(std::vector<uint8_t> *o, const std::vector<uint32_t> &colours, int bits)
{
    for (int e = 0; e < (1 << bits); e++) {
        uint32_t c = e < (int)colours.size() ? colours[(size_t)e] : 0;
        o->push_back((uint8_t)(c >> 16));
        o->push_back((uint8_t)(c >> 8));
        o->push_back((uint8_t)c);
    }
}

void put_gce(std::vector<uint8_t> *o, int centis, int transparent)
{
    // Disposal 1 ("do not dispose"): each frame builds on the one before.
    const uint8_t g[] = {0x21, 0xF9, 4, (uint8_t)(1 << 2 | (transparent >= 0 ? 1 : 0)), (uint8_t)(centis & 0xff),
                         (uint8_t)(centis >> 8), (uint8_t)(transparent >= 0 ? transparent : 0), 0};
    o->insert(o->end(), g, g + sizeof g);
}

void put_descriptor(std::vector<uint8_t> *o, int x, int y, int w, int h, int packed)
{
    o->push_back(0x2C);
    put_le16(o, x);
    put_le16(o, y);
    put_le16(o, w);
    put_le16(o, h);
    o->push_back((uint8_t)packed);
}

int finish(const char *who, const char *name, const std::vector<uint8_t> &bytes)
{
    FILE *fp = IMG_open_file(name, "wb");
    if (!fp) {
        MESS_print(MESS_ERROR, "%s: Unable to open %s\n", who, name);
        return 0;
    }
    return IMG_finish_file(fp, bytes.data(), bytes.size(), who, name);
}

// ---- APNG chunks ----

void put_fctl(std::vector<uint8_t> *o, uint32_t seq, int w, int h, int x, int y, int centis)
{
    std::vector<uint8_t> d;
    PNG_put_be32(&d, seq);
    PNG_put_be32(&d, (uint32_t)w);
    PNG_put_be32(&d, (uint32_t)h);
    PNG_put_be32(&d, (uint32_t)x);
    PNG_put_be32(&d, (uint32_t)y);
    d.push_back((uint8_t)(centis >> 8));
    d.push_back((uint8_t)centis);
    d.push_back(0);
    d.push_back(100);  // delay_den: centiseconds
    d.push_back(0);    // dispose_op none
    d.push_back(0);    // blend_op source
    PNG_put_chunk(o, "fcTL", d.data(), d.size());
}

struct Chunk {
    const uint8_t *type;
    const uint8_t *data;
    size_t n;
};

std::vector<Chunk> chunks_of(const std::vector<uint8_t> &png)
{
    std::vector<Chunk> out;
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        size_t n = (size_t)png[pos] << 24 | (size_t)png[pos + 1] << 16 | (size_t)png[pos + 2] << 8 | png[pos + 3];
        if (pos + 12 + n > png.size()) break;
        out.push_back({png.data() + pos + 4, png.data() + pos + 8, n});
        pos += 12 + n;
    }
    return out;
}

bool is(const Chunk &c, const char *t) { return std::memcmp(c.type, t, 4) == 0; }

// The rectangle in which two pictures of bpp bytes a pixel differ; an
// unchanged picture still gives one pixel.
void changed_rect(const uint8_t *cur, const uint8_t *prev, int W, int H, int bpp, int *x, int *y, int *w, int *h)
{
    const size_t row = (size_t)W * bpp;
    int x0 = W, y0 = H, x1 = -1, y1 = -1;
    for (int r = 0; r < H; r++) {
        const uint8_t *a = cur + (size_t)r * row, *b = prev + (size_t)r * row;
        if (std::memcmp(a, b, row) == 0) continue;
        if (r < y0) y0 = r;
        y1 = r;
        int l = 0, rt = W - 1;
        while (std::memcmp(a + (size_t)l * bpp, b + (size_t)l * bpp, (size_t)bpp) == 0) l++;
        while (std::memcmp(a + (size_t)rt * bpp, b + (size_t)rt * bpp, (size_t)bpp) == 0) rt--;
        if (l < x0) x0 = l;
        if (rt > x1) x1 = rt;
    }
    if (x1 < 0) x0 = y0 = x1 = y1 = 0;
    *x = x0;
    *y = y0;
    *w = x1 - x0 + 1;
    *h = y1 - y0 + 1;
}

int write_gif(const char *name, const std::vector<Frame> &fr, int W, int H)
{
    const char *who = "ANIM_write_gif";
    const int n = (int)fr.size();
    std::vector<uint32_t> colours;
    std::vector<std::array<uint8_t, 256>> map;
    // With a global palette one entry is kept for "unchanged" when there
    // is room for it.
    const bool global = global_palette(fr, 256, &colours, &map);
    const int trans = global && n > 1 && colours.size() < 256 ? (int)colours.size() : -1;

    std::vector<uint8_t> o = {'G', 'I', 'F', '8', '9', 'a'};
    put_le16(&o, W);
    put_le16(&o, H);
    int bits = 1, code_size = 2;
    if (global) {
        GIF_table_bits((int)colours.size() + (trans >= 0 ? 1 : 0), &bits, &code_size);
        o.push_back((uint8_t)(0x80 | (bits - 1) << 4 | (bits - 1)));
    } else {
        o.push_back(0x70);
    }
    o.push_back(0);
    o.push_back(0);
    if (global) put_table(&o, colours, bits);
    const uint8_t loop[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
    o.insert(o.end(), loop, loop + sizeof loop);

    std::vector<uint8_t> cur((size_t)W * H), prev, sub;
    for (int k = 0; k < n; k++) {
        const Frame &f = fr[(size_t)k];
        if (!global) {
            // A frame of its own with its own table.
            std::vector<uint32_t> local;
            for (int e = 0; e < f.pal.ncolors; e++) local.push_back(pack(f.pal.rgb[e]));
            int lbits, lcode;
            GIF_table_bits(f.pal.ncolors, &lbits, &lcode);
            put_gce(&o, f.centis, -1);
            put_descriptor(&o, 0, 0, W, H, 0x80 | (lbits - 1));
            put_table(&o, local, lbits);
            GIF_lzw_encode(f.index.data(), W, H, lcode, false, &o);
            continue;
        }
        for (size_t i = 0; i < cur.size(); i++) cur[i] = map[(size_t)k][f.index[i]];
        int x0 = 0, y0 = 0, rw = W, rh = H;
        if (k > 0) changed_rect(cur.data(), prev.data(), W, H, 1, &x0, &y0, &rw, &rh);
        sub.resize((size_t)rw * rh);
        for (int y = 0; y < rh; y++)
            for (int x = 0; x < rw; x++) {
                size_t at = (size_t)(y0 + y) * W + (size_t)(x0 + x);
                sub[(size_t)y * rw + x] = (k > 0 && trans >= 0 && cur[at] == prev[at]) ? (uint8_t)trans : cur[at];
            }
        put_gce(&o, f.centis, k > 0 ? trans : -1);
        put_descriptor(&o, x0, y0, rw, rh, 0);
        GIF_lzw_encode(sub.data(), rw, rh, code_size, false, &o);
        prev.swap(cur);
        cur.resize((size_t)W * H);
    }
    o.push_back(';');
    return finish(who, name, o);
}

int write_apng(const char *name, const std::vector<Frame> &fr, int W, int H)
{
    const char *who = "ANIM_write_apng";
    const int n = (int)fr.size();
    std::vector<uint32_t> colours;
    std::vector<std::array<uint8_t, 256>> map;
    const bool global = global_palette(fr, 256, &colours, &map);
    uint8_t rgb[256][3] = {};
    for (size_t e = 0; e < colours.size(); e++) {
        rgb[e][0] = (uint8_t)(colours[e] >> 16);
        rgb[e][1] = (uint8_t)(colours[e] >> 8);
        rgb[e][2] = (uint8_t)colours[e];
    }

    std::vector<uint8_t> o = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // Later frames hold only the rectangle that changed, which replaces
    // that part of the frame before (dispose none, blend source).
    const int bpp = global ? 1 : 3;
    std::vector<uint8_t> px, prev, sub, png;
    uint32_t seq = 0;
    for (int k = 0; k < n; k++) {
        const Frame &f = fr[(size_t)k];
        px.resize(f.index.size() * bpp);
        if (global)
            for (size_t i = 0; i < f.index.size(); i++) px[i] = map[(size_t)k][f.index[i]];
        else
            for (size_t i = 0; i < f.index.size(); i++) std::memcpy(&px[3 * i], f.pal.rgb[f.index[i]], 3);
        int x0 = 0, y0 = 0, rw = W, rh = H;
        if (k > 0) changed_rect(px.data(), prev.data(), W, H, bpp, &x0, &y0, &rw, &rh);
        sub.resize((size_t)rw * rh * bpp);
        for (int y = 0; y < rh; y++)
            std::memcpy(&sub[(size_t)y * rw * bpp], &px[((size_t)(y0 + y) * W + x0) * bpp], (size_t)rw * bpp);
        png.clear();
        bool ok = global ? PNG_encode_indices(sub.data(), rw, rh, rgb, (int)colours.size(), nullptr, &png)
                         : PNG_encode_rgb(sub.data(), rw, rh, &png);
        if (!ok) return 0;
        prev.swap(px);
        std::vector<Chunk> cs = chunks_of(png);
        if (k == 0) {
            // Frame 0 is the default image: its own chunks, with acTL after
            // the header and fcTL before the image data.
            bool data_started = false;
            for (const Chunk &c : cs) {
                if (is(c, "IEND")) break;
                if (is(c, "IDAT") && !data_started) {
                    put_fctl(&o, seq++, W, H, 0, 0, f.centis);
                    data_started = true;
                }
                PNG_put_chunk(&o, std::string((const char *)c.type, 4).c_str(), c.data, c.n);
                if (is(c, "IHDR")) {
                    std::vector<uint8_t> actl;
                    PNG_put_be32(&actl, (uint32_t)n);
                    PNG_put_be32(&actl, 0);  // num_plays 0: forever
                    PNG_put_chunk(&o, "acTL", actl.data(), actl.size());
                }
            }
            continue;
        }
        put_fctl(&o, seq++, rw, rh, x0, y0, f.centis);
        std::vector<uint8_t> fdat;
        PNG_put_be32(&fdat, seq++);
        for (const Chunk &c : cs)
            if (is(c, "IDAT")) fdat.insert(fdat.end(), c.data, c.data + c.n);
        PNG_put_chunk(&o, "fdAT", fdat.data(), fdat.size());
    }
    PNG_put_chunk(&o, "IEND", nullptr, 0);
    return finish(who, name, o);
}

}  // namespace

int ANIM_write_gif(const char *name, const ANIM_frame *frames, int n)
{
    std::vector<Frame> fr;
    int W = 0, H = 0;
    return prepare(frames, n, "ANIM_write_gif", name, &fr, &W, &H) ? write_gif(name, fr, W, H) : 0;
}

int ANIM_write_apng(const char *name, const ANIM_frame *frames, int n)
{
    std::vector<Frame> fr;
    int W = 0, H = 0;
    return prepare(frames, n, "ANIM_write_apng", name, &fr, &W, &H) ? write_apng(name, fr, W, H) : 0;
}

int ANIM_dump(const char *name, int apng)
{
    // Frames are read back and reduced one at a time, so only one full
    // picture is held at once.
    const char *who = apng ? "ANIM_write_apng" : "ANIM_write_gif";
    const int n = gget_num_images();
    const int count = n > 0 ? n : 1;
    const int cur = gget_cur_frame();
    std::vector<Frame> fr;
    fr.reserve((size_t)count);
    int W = 0, H = 0;
    bool ok = true;
    for (int k = 0; k < count && ok; k++) {
        IMG img;
        IMG_init(&img);
        if (n > 0) gselect_frame(k);
        // The window's own picture is a loop of one, whose frame is the
        // last: it gets the last frame's dwell.
        float delay = n > 0 ? gget_frame_delay(k) : 1.0f;
        ok = gget_image(&img) && add_frame(&img, delay, who, name, &fr, &W, &H);
        IMG_free(&img);
    }
    if (n > 0 && cur >= 0) gselect_frame(cur);
    if (!ok) return 0;
    return apng ? write_apng(name, fr, W, H) : write_gif(name, fr, W, H);
}
