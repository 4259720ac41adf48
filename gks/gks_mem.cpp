// The headless window: the window workstation (type 1) drawing into pictures
// held in memory instead of on an X server, chosen by the display name
// "mem".  It behaves as the window on a 24-bit TrueColor server: pixels are
// 0xRRGGBB, colours are allocated as the server would, and every Xlib call
// the window makes has its counterpart here through a GRasterGC that mirrors
// the X graphics context (widths, styles, dashes, stipples, function, clip).
//
// Pictures stand in for pixmaps: each has a non-zero id that the frame table,
// the drawing target and the base picture hold just as they hold pixmap ids.
//
// Frame store.  A loop of 128 frames of 1920 x 1080 would take 1 GB at four
// bytes a pixel, so only the pictures being drawn are kept whole (the base
// picture, the drawing target and the one last touched); every other picture
// is packed:
//   - one colour (a frame just created or cleared): no pixel storage;
//   - at most 256 distinct colours (a plot drawn from the colour table, which
//     has 256 entries plus the background, nearly always is): one byte per
//     pixel indexing the picture's own palette, 2 MB per 1920 x 1080 frame;
//   - more colours (true-colour images put in): three bytes per pixel.
// Packing scans the picture once; unpacking is a table look-up per pixel, so
// showing a packed frame costs about one copy of the picture.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <strings.h>
#include <unordered_map>
#include <vector>

#include "core/flags.h"
#include "gks/gks_int.h"
#include "gks/raster.h"

using namespace gks;

namespace {

struct Picture {
    int w = 0, h = 0;
    std::unique_ptr<GRaster> live;  // whole picture, or null when packed
    enum Kind { UNIFORM, INDEXED, RGB24 } kind = UNIFORM;
    uint32_t uniform = 0;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> bytes;
};

std::unordered_map<unsigned long, Picture> pics;
unsigned long next_id = 1;

enum { GC_LINE, GC_MARKER, GC_FILL, GC_TEXT, GC_ROOT, GC_COUNT };
GRasterGC gcs[GC_COUNT];
bool patterns_made = false;

constexpr uint32_t BLACK = 0x000000, WHITE = 0xFFFFFF;

// Layers.  A layer is drawn on a picture of its own filled with a value no
// colour has (colours are 24 bits), so the pixels the drawing set are those
// that no longer hold it; they are kept as runs with their colours.  Only
// drawing that copies its colour sets a pixel the same whatever lay under
// it: a layer drawn with an exclusive-or line is not kept.
constexpr uint32_t UNSET = 0xFF000000u;

struct Layer {
    int w = 0, h = 0;
    std::vector<uint32_t> start, len;  // runs of set pixels: offset and length
    std::vector<uint32_t> colour;      // their colours, run after run
};
std::unordered_map<int, Layer> layers;
int next_layer = 1;
struct Capture {
    unsigned long pic = 0, target = 0;
    bool exact = true;
} capture;

// Drawing through gc while a layer is open: a function other than copy
// makes the layer depend on the picture under it.
void note_function(const GRasterGC &gc) {
    if (capture.pic && gc.function != 3) capture.exact = false;
}

void pack_pixels(Picture &p);

void no_memory(int w, int h) {
    MESS_print(MESS_ERROR, "gopen_ws: no memory for a %dx%d picture\n", w, h);
}

// Packs a whole picture into its compact form (it stays whole when memory
// runs out).
void pack(Picture &p) {
    if (!p.live) return;
    try {
        pack_pixels(p);
    } catch (const std::bad_alloc &) {
        p.palette.clear();
        p.bytes.clear();
    }
}

void pack_pixels(Picture &p) {
    const GPixels &px = p.live->pixels();
    p.palette.clear();
    p.bytes.clear();
    // Open-addressed colour table of 1024 slots for at most 257 colours.
    constexpr int SLOTS = 1024;
    std::vector<int32_t> slot(SLOTS, -1);
    auto find = [&](uint32_t c) -> int {
        uint32_t hsh = (c * 2654435761u) >> 22;
        while (slot[hsh] >= 0) {
            if (p.palette[(size_t)slot[hsh]] == c) return slot[hsh];
            hsh = (hsh + 1) & (SLOTS - 1);
        }
        if (p.palette.size() >= 256) return -1;
        slot[hsh] = (int32_t)p.palette.size();
        p.palette.push_back(c);
        return slot[hsh];
    };
    std::vector<uint8_t> idx(px.size());
    uint32_t last = px.empty() ? 0 : px[0] + 1;
    int last_i = 0;
    bool fits = true;
    for (size_t i = 0; i < px.size(); i++) {
        if (px[i] != last) {
            last = px[i];
            last_i = find(last);
            if (last_i < 0) {
                fits = false;
                break;
            }
        }
        idx[i] = (uint8_t)last_i;
    }
    if (fits && p.palette.size() <= 1) {
        p.kind = Picture::UNIFORM;
        p.uniform = p.palette.empty() ? 0 : p.palette[0];
        p.palette.clear();
    } else if (fits) {
        p.kind = Picture::INDEXED;
        p.bytes = std::move(idx);
    } else {
        p.kind = Picture::RGB24;
        p.palette.clear();
        idx.clear();
        idx.shrink_to_fit();
        p.bytes.resize(px.size() * 3);
        for (size_t i = 0; i < px.size(); i++) {
            p.bytes[3 * i] = (uint8_t)(px[i] >> 16);
            p.bytes[3 * i + 1] = (uint8_t)(px[i] >> 8);
            p.bytes[3 * i + 2] = (uint8_t)px[i];
        }
    }
    p.live.reset();
}

// The pixels of a picture, whole or packed.
void expand(const Picture &p, std::vector<uint32_t> &out) {
    if (p.live) {
        const GPixels &px = p.live->pixels();
        out.assign(px.begin(), px.end());
        return;
    }
    size_t n = (size_t)p.w * (size_t)p.h;
    out.resize(n);
    switch (p.kind) {
    case Picture::UNIFORM: std::fill(out.begin(), out.end(), p.uniform); break;
    case Picture::INDEXED:
        for (size_t i = 0; i < n; i++) out[i] = p.palette[p.bytes[i]];
        break;
    case Picture::RGB24:
        for (size_t i = 0; i < n; i++)
            out[i] = (uint32_t)p.bytes[3 * i] << 16 | (uint32_t)p.bytes[3 * i + 1] << 8 | p.bytes[3 * i + 2];
        break;
    }
}

GRasterGC plain_gc() {
    GRasterGC gc;
    gc.fg = WHITE;
    gc.bg = BLACK;
    return gc;
}

// Puts a whole-picture pixel array into a GRaster (no clip, plain copy).
void load(GRaster &r, const std::vector<uint32_t> &px) {
    r.put_image(plain_gc(), px.data(), r.width(), r.height(), 0, 0, 0, 0, r.width(), r.height());
}

Picture *find_pic(unsigned long id) {
    auto it = pics.find(id);
    return it == pics.end() ? nullptr : &it->second;
}

// The whole picture of id, unpacking it; other whole pictures apart from
// the base picture and the drawing target are packed first.
GRaster *live(unsigned long id) {
    Picture *p = find_pic(id);
    if (!p) return nullptr;
    if (p->live) return p->live.get();
    State &s = S();
    for (auto &[k, q] : pics)
        if (q.live && k != id && k != s.base_window && k != s.draw_window) pack(q);
    try {
        std::vector<uint32_t> px;
        if (p->kind != Picture::UNIFORM) expand(*p, px);
        p->live = std::make_unique<GRaster>(p->w, p->h, p->uniform);
        if (!px.empty()) load(*p->live, px);
    } catch (const std::bad_alloc &) {
        p->live.reset();
        no_memory(p->w, p->h);
        return nullptr;
    }
    p->palette.clear();
    p->palette.shrink_to_fit();
    p->bytes.clear();
    p->bytes.shrink_to_fit();
    return p->live.get();
}

GRaster *target() { return live(S().draw_window); }

uint32_t pixel_of_index(int index) {
    if (index >= GCOLR_BLACK && index <= GCOLR_SPECIAL_MAX) index = 1;
    return (uint32_t)gget_color_ind(index) & WHITE;
}

int to_pix(float v) { return (int)(v < 0 ? v - 0.5f : v + 0.5f); }

// Rounded points as X points (16-bit), flattened x, y.
std::vector<int> &points(int n, const GPoint *p) {
    static std::vector<int> buf;
    buf.resize(2 * (size_t)n);
    for (int i = 0; i < n; i++) {
        buf[2 * (size_t)i] = (short)to_pix(p[i].x);
        buf[2 * (size_t)i + 1] = (short)to_pix(p[i].y);
    }
    return buf;
}

GRasterGC &gc_for(int prim) {
    switch (prim) {
    case 40: return gcs[GC_MARKER];
    case 50: return gcs[GC_TEXT];
    case 70: return gcs[GC_FILL];
    default: return gcs[GC_LINE];
    }
}

const std::vector<unsigned char> DASH2{6, 6}, DASH3{3, 6}, DASH4{6, 6, 3, 6}, DASH5{2, 2};

void set_fill() {
    GRasterGC &gc = gcs[GC_FILL];
    int k = fill_style();
    if (fill_int_style() == 2 && k >= 0 && k < 20 && patterns_made) {
        const unsigned char *rows = gget_fill_pattern(k);
        gc.stipple_w = gc.stipple_h = 8;
        gc.stipple.assign(64, 0);
        for (int r = 0; r < 8; r++)
            for (int i = 0; i < 8; i++) gc.stipple[(size_t)r * 8 + i] = (rows[r] & (0x80 >> i)) ? 1 : 0;
        gc.fill_style = 2;
    } else {
        gc.fill_style = 0;
    }
}

class MemDevice : public GDevice {
public:
    int type() const override { return GWS_WIN; }
    void size(int *w, int *h) const override {
        *w = S().win_width;
        *h = S().win_height;
    }
    bool y_down() const override { return true; }

    bool record(const GRecord &r) override {
        switch (r.kind) {
        case 33: set_dashes(r.arg); break;
        case 34: set_width(gcs[GC_LINE], r.f ? r.f[0] : 1); break;
        case 46: set_width(gcs[GC_MARKER], r.f ? r.f[0] : 1); break;
        case 61: set_width(gcs[GC_TEXT], r.f ? r.f[0] : 1); break;
        case 35: gcs[GC_LINE].fg = pixel_of_index(r.arg); break;
        case 45: gcs[GC_MARKER].fg = pixel_of_index(r.arg); break;
        case 56: gcs[GC_TEXT].fg = pixel_of_index(r.arg); break;
        case 75: gcs[GC_FILL].fg = pixel_of_index(r.arg); break;
        case 73:
        case 74: set_fill(); break;
        default: break;
        }
        return false;
    }
    // A 24-bit TrueColor server keeps the top 8 bits of each 16-bit channel.
    long set_color(int i, float r, float g, float b) override {
        auto c8 = [](float v) -> uint32_t {
            v = v < 0 ? 0 : v > 1 ? 1 : v;
            return ((unsigned)(v * 65535) & 0xFFFF) >> 8;
        };
        long px = (long)(c8(r) << 16 | c8(g) << 8 | c8(b));
        MESS_print(MESS_DEBUG, "Allocated RW Cells: %d %ld (%.2f %.2f %.2f)\n", i, px, r, g, b);
        return S().colr[i].pixel = px;
    }
    void set_clip(const GClip &c) override {
        for (int k : {GC_LINE, GC_MARKER, GC_FILL, GC_TEXT}) {
            GRasterGC &gc = gcs[k];
            gc.clip = true;
            gc.clip_x = c.xr.x;
            gc.clip_y = c.xr.y;
            gc.clip_w = c.xr.width;
            gc.clip_h = c.xr.height;
        }
    }
    void stroke(int prim, int n, const GPoint *p) override {
        GRaster *r = n >= 1 ? target() : nullptr;
        note_function(gc_for(prim));
        if (r) r->draw_lines(gc_for(prim), points(n, p).data(), n);
    }
    void fill(int n, const GPoint *p) override {
        GRaster *r = n >= 1 ? target() : nullptr;
        if (!r) return;
        note_function(gcs[GC_FILL]);
        auto &xy = points(n, p);
        r->fill_polygon(gcs[GC_FILL], xy.data(), n);
        r->draw_lines(gcs[GC_FILL], xy.data(), n);
    }
    void dot(int prim, GPoint p) override {
        note_function(gc_for(prim));
        if (GRaster *r = target()) r->draw_point(gc_for(prim), to_pix(p.x), to_pix(p.y));
    }
    void shadow(bool on) override {
        gcs[GC_MARKER].fg = on ? BLACK : pixel_of_index(marker_colr());
        gcs[GC_TEXT].fg = on ? BLACK : pixel_of_index(text_colr());
    }
    void clear() override {
        State &s = S();
        const GRasterGC &gc = gcs[GC_ROOT];
        gcs[GC_ROOT].fg = (uint32_t)gget_back_color() & WHITE;
        // A packed picture the clear covers whole becomes one colour as it
        // stands: unpacking it first would fill every pixel twice (once as
        // it was, once with the background) for the same result.
        Picture *p = find_pic(s.base_window);
        if (p && !p->live && p->w <= s.win_width && p->h <= s.win_height && gc.function == 3 &&
            gc.fill_style == 0 && !gc.clip) {
            p->kind = Picture::UNIFORM;
            p->uniform = gc.fg;
            p->palette.clear();
            p->palette.shrink_to_fit();
            p->bytes.clear();
            p->bytes.shrink_to_fit();
            return;
        }
        GRaster *r = live(s.base_window);
        if (!r) return;
        // A plain clear of the whole picture is left to the rows: those an
        // image covers are never filled with the background.
        if (gc.function == 3 && gc.fill_style == 0 && !gc.clip && r->width() <= s.win_width && r->height() <= s.win_height)
            r->clear(gc.fg);
        else
            r->fill_rectangle(gc, 0, 0, s.win_width, s.win_height);
    }

private:
    static void set_width(GRasterGC &gc, float w) { gc.line_width = (int)(unsigned)(w < 0 ? 0 : w); }
    static void set_dashes(int t) {
        GRasterGC &gc = gcs[GC_LINE];
        if (t == 1 || t < 0) {
            gc.line_style = 0;
            return;
        }
        // Other non-negative types keep the dash list last set.
        const std::vector<unsigned char> *d = t == 2 ? &DASH2 : t == 3 ? &DASH3 : t == 4 ? &DASH4 : t == 5 ? &DASH5 : nullptr;
        if (d) {
            gc.dashes = *d;
            gc.dash_offset = 0;
        }
        gc.line_style = 1;
    }
};

unsigned long add_picture(int w, int h, uint32_t fill) {
    unsigned long id = next_id++;
    Picture &p = pics[id];
    p.w = w;
    p.h = h;
    p.kind = Picture::UNIFORM;
    p.uniform = fill;
    return id;
}

}  // namespace

namespace gks {

GDevice *mem_open(int w, int h, bool inverse) {
    State &s = S();
    if (w < 1 || h < 1 || w > 32767 || h > 32767) {
        ws_error("gopen_ws", "unable to open window\n");
        return nullptr;
    }
    pics.clear();
    s.mem = true;
    s.win_type = GWS_WIN;
    s.events_on = false;
    s.depth = 24;
    s.visual = nullptr;
    s.red_mask = 0xFF0000;
    s.green_mask = 0xFF00;
    s.blue_mask = 0xFF;
    s.win_width = w;
    s.win_height = h;
    s.root_width = w;
    s.root_height = h;
    s.bg = inverse ? WHITE : BLACK;
    s.fg = inverse ? BLACK : WHITE;
    s.root_window = 0;
    s.base_window = add_picture(w, h, (uint32_t)s.bg);
    s.draw_window = s.base_window;
    s.mapped = true;
    for (auto &g : gcs) g = plain_gc();
    for (auto &c : s.colr) c.pixel = -1;
    return new MemDevice;
}

int mem_close() {
    State &s = S();
    gdelete_all_frames();
    greset_zoom();
    pics.clear();
    layers.clear();
    capture = {};
    patterns_made = false;
    s.mem = false;
    s.root_window = s.base_window = s.draw_window = 0;
    s.mapped = false;
    return 0;
}

unsigned long mem_new_picture(uint32_t fill) { return add_picture(S().win_width, S().win_height, fill); }

void mem_free_picture(unsigned long id) { pics.erase(id); }

void mem_fill(unsigned long id, uint32_t colour) {
    Picture *p = find_pic(id);
    if (!p) return;
    // The whole picture in one colour: packed form, nothing to draw.
    p->live.reset();
    p->palette.clear();
    p->bytes.clear();
    p->kind = Picture::UNIFORM;
    p->uniform = colour & WHITE;
}

void mem_copy(unsigned long src, unsigned long dst, int sx, int sy, int w, int h, int dx, int dy) {
    Picture *from = find_pic(src);
    if (!from || !find_pic(dst)) return;
    // A full-size copy of a packed picture to the origin copies the packed
    // form: showing a frame costs no unpacking until it is drawn on.
    Picture *to = find_pic(dst);
    if (!from->live && sx == 0 && sy == 0 && dx == 0 && dy == 0 && w >= from->w && h >= from->h &&
        from->w == to->w && from->h == to->h && dst != S().base_window && dst != S().draw_window) {
        to->live.reset();
        to->kind = from->kind;
        to->uniform = from->uniform;
        to->palette = from->palette;
        to->bytes = from->bytes;
        return;
    }
    const int fw = from->w, fh = from->h;
    GRaster *r = live(dst);
    if (!r) return;
    // A whole source picture is read where it lies (showing a frame copies
    // 8 MB once, not twice); a packed one, or a copy within one picture,
    // goes through a copy of the source first.
    if (src != dst && from->live) {
        r->put_image(plain_gc(), from->live->pixels().data(), fw, fh, sx, sy, dx, dy, w, h);
        return;
    }
    std::vector<uint32_t> px;
    if (!mem_read(src, px)) return;
    r->put_image(plain_gc(), px.data(), fw, fh, sx, sy, dx, dy, w, h);
}

void mem_init_gcs(int mode) {
    if (mode == GMODE_WINDOW) {
        for (int k : {GC_LINE, GC_MARKER, GC_FILL, GC_TEXT}) gcs[k] = plain_gc();
        GRasterGC &t = gcs[GC_TEXT];
        t.line_width = 1;
        t.line_style = 0;
        t.cap_style = 3;
        t.join_style = 2;
    }
    if (mode == GMODE_WINDOW || mode == GMODE_REDRAW) {
        for (int k : {GC_LINE, GC_MARKER, GC_FILL}) {
            gcs[k].line_width = 0;
            gcs[k].line_style = 0;
            gcs[k].cap_style = 1;
            gcs[k].join_style = 2;
        }
        gcs[GC_LINE].function = 3;
    }
}

void mem_colour_changed(int i) {
    if (line_colr() == i) gcs[GC_LINE].fg = pixel_of_index(i);
    if (fill_colr() == i) gcs[GC_FILL].fg = pixel_of_index(i);
    if (marker_colr() == i) gcs[GC_MARKER].fg = pixel_of_index(i);
    if (text_colr() == i) gcs[GC_TEXT].fg = pixel_of_index(i);
}

void mem_set_line_func(int f) { gcs[GC_LINE].function = f; }

void mem_patterns(bool made) {
    patterns_made = made;
    if (!made) gcs[GC_FILL].fill_style = 0;
}

void mem_clear_region(const GXRect &c, const int *xy, int n) {
    GRaster *r = target();
    if (!r) return;
    GRasterGC &gc = gcs[GC_ROOT];
    gc.clip = true;
    gc.clip_x = c.x;
    gc.clip_y = c.y;
    gc.clip_w = c.width;
    gc.clip_h = c.height;
    gc.fg = (uint32_t)gget_back_color() & WHITE;
    r->fill_polygon(gc, xy, n);
    gc.clip = false;
}

void mem_put(const uint32_t *px, int w, int h, int dx, int dy, const uint8_t *mask) {
    if (GRaster *r = target()) r->put_image(plain_gc(), px, w, h, 0, 0, dx, dy, w, h, mask);
}

bool mem_read(unsigned long id, std::vector<uint32_t> &out) {
    Picture *p = find_pic(id);
    if (!p) return false;
    try {
        expand(*p, out);
    } catch (const std::bad_alloc &) {
        no_memory(p->w, p->h);
        return false;
    }
    return true;
}

uint32_t *mem_target_pixels(int *w, int *h, int x, int y, int cw, int ch) {
    GRaster *r = target();
    if (!r) return nullptr;
    *w = r->width();
    *h = r->height();
    return r->pixel_data_to_cover(x, y, cw, ch);
}

const GPixels *mem_live_pixels(unsigned long id) {
    Picture *p = find_pic(id);
    return p && p->live ? &p->live->pixels() : nullptr;
}

bool mem_write(unsigned long id, const std::vector<uint32_t> &px) {
    GRaster *r = live(id);
    if (!r || px.size() != (size_t)r->width() * r->height()) return false;
    load(*r, px);
    return true;
}

int mem_resize(int w, int h) {
    State &s = S();
    if (!s.mem || w < 1 || h < 1 || w > 32767 || h > 32767) return 0;
    std::vector<uint32_t> old;
    mem_read(s.base_window, old);
    int ow = s.win_width, oh = s.win_height;
    unsigned long np = add_picture(w, h, (uint32_t)gget_back_color() & WHITE);
    if (GRaster *r = live(np)) r->put_image(plain_gc(), old.data(), ow, oh, 0, 0, 0, 0, ow, oh);
    bool drew_base = s.draw_window == s.base_window;
    pics.erase(s.base_window);
    s.base_window = np;
    if (drew_base) s.draw_window = np;
    s.win_width = w;
    s.win_height = h;
    s.root_width = w;
    s.root_height = h;
    greset_zoom();
    gdelete_all_frames();
    s.draw_window = s.base_window;
    layers.clear();
    return 1;
}

// Colour strings as XParseColor reads them: "#" with 1 to 4 hex
// digits a channel (the most significant bits of the 16-bit value),
// "rgb:r/g/b" with 1 to 4 digits each (scaled to 16 bits), else a name of
// the X colour database (rgb.txt, any case, 8-bit values times 257).
bool mem_parse_colour(const char *name, XColor *xc) {
    if (!name || !*name) return false;
    unsigned short *out[3] = {&xc->red, &xc->green, &xc->blue};
    auto hex = [](const char *p, int n, unsigned *v) {
        *v = 0;
        for (int i = 0; i < n; i++) {
            if (!isxdigit((unsigned char)p[i])) return false;
            *v = *v * 16 + (unsigned)(isdigit((unsigned char)p[i]) ? p[i] - '0' : tolower((unsigned char)p[i]) - 'a' + 10);
        }
        return true;
    };
    if (name[0] == '#') {
        size_t len = strlen(name + 1);
        if (len == 0 || len % 3 != 0 || len > 12) return false;
        int n = (int)len / 3;
        for (int k = 0; k < 3; k++) {
            unsigned v;
            if (!hex(name + 1 + k * n, n, &v)) return false;
            *out[k] = (unsigned short)(v << (16 - 4 * n));
        }
        return true;
    }
    if (strncasecmp(name, "rgb:", 4) == 0) {
        const char *p = name + 4;
        for (int k = 0; k < 3; k++) {
            const char *e = strchr(p, '/');
            int n = e ? (int)(e - p) : (int)strlen(p);
            unsigned v;
            if (n < 1 || n > 4 || (k < 2) != (e != nullptr) || !hex(p, n, &v)) return false;
            *out[k] = (unsigned short)(v * 65535u / ((1u << (4 * n)) - 1));
            p = e ? e + 1 : p + n;
        }
        return true;
    }
    FILE *f = fopen("/usr/share/X11/rgb.txt", "r");
    if (!f) f = fopen("/etc/X11/rgb.txt", "r");
    if (!f) return false;
    char line[256];
    bool found = false;
    while (!found && fgets(line, sizeof line, f)) {
        int r, g, b, at = 0;
        if (line[0] == '!' || sscanf(line, "%d %d %d %n", &r, &g, &b, &at) < 3 || at == 0) continue;
        char *word = line + at;
        word[strcspn(word, "\r\n")] = 0;
        if (strcasecmp(word, name) != 0) continue;
        *out[0] = (unsigned short)(r * 257);
        *out[1] = (unsigned short)(g * 257);
        *out[2] = (unsigned short)(b * 257);
        found = true;
    }
    fclose(f);
    return found;
}

bool mem_layer_begin() {
    State &s = S();
    const Picture *t = find_pic(s.draw_window);
    if (capture.pic || !t) return false;
    const int w = t->w, h = t->h;
    const unsigned long id = next_id++;
    try {
        Picture &p = pics[id];
        p.w = w;
        p.h = h;
        p.live = std::make_unique<GRaster>(w, h, UNSET);
    } catch (const std::bad_alloc &) {
        pics.erase(id);
        return false;
    }
    capture = {id, s.draw_window, true};
    s.draw_window = id;
    return true;
}

int mem_layer_end() {
    State &s = S();
    if (!capture.pic) return 0;
    const Capture c = capture;
    capture = {};
    s.draw_window = c.target;
    const Picture *p = find_pic(c.pic);
    int id = 0;
    if (p && p->live && c.exact) {
        try {
            Layer l;
            l.w = p->w;
            l.h = p->h;
            const GPixels &px = p->live->pixels();
            for (size_t i = 0, n = px.size(); i < n;) {
                if (px[i] == UNSET) {
                    ++i;
                    continue;
                }
                const size_t from = i;
                while (i < n && px[i] != UNSET) l.colour.push_back(px[i++]);
                l.start.push_back((uint32_t)from);
                l.len.push_back((uint32_t)(i - from));
            }
            id = next_layer++;
            layers[id] = std::move(l);
        } catch (const std::bad_alloc &) {
            id = 0;
        }
    }
    pics.erase(c.pic);
    if (id && !mem_layer_put(id)) {
        layers.erase(id);
        id = 0;
    }
    return id;
}

bool mem_layer_put(int id) {
    auto it = layers.find(id);
    if (it == layers.end() || capture.pic) return false;
    const Layer &l = it->second;
    GRaster *r = target();
    if (!r || r->width() != l.w || r->height() != l.h) return false;
    uint32_t *px = r->pixel_data();
    const uint32_t *colour = l.colour.data();
    for (size_t k = 0; k < l.start.size(); ++k) {
        std::memcpy(px + l.start[k], colour, l.len[k] * sizeof *colour);
        colour += l.len[k];
    }
    return true;
}

void mem_layer_free(int id) { layers.erase(id); }

// Bytes held by the pictures (whole ones at 4 bytes a pixel).
size_t mem_bytes() {
    size_t n = 0;
    for (auto &[k, p] : pics)
        n += p.live ? p.live->pixels().size() * 4 : p.bytes.size() + p.palette.size() * 4;
    return n;
}

}  // namespace gks

void gks::mem_reset()
{
    pics.clear();
    layers.clear();
    capture = {};
    next_layer = 1;
    next_id = 1;
    for (auto &g : gcs) g = GRasterGC{};
    patterns_made = false;
}
