// Image transfer between image records and the workstation: an image of
// colour indexes (or true-colour pixels) converted to the visual and put into
// the drawing target at the viewport, overlays with one colour transparent,
// and reading the picture back.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/records.h"
#include "core/workers.h"
#include "gks/clr.h"
#include "gks/drivers/ps.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

struct Chan {
    int shift = 0, bits = 0;
};

Chan chan_of(unsigned long mask) {
    Chan c;
    if (!mask) return c;
    while (!((mask >> c.shift) & 1)) c.shift++;
    while (c.bits < 32 && ((mask >> (c.shift + c.bits)) & 1)) c.bits++;
    return c;
}

unsigned long put_chan(unsigned v8, Chan c) {
    if (c.bits == 0) return 0;
    unsigned long v = c.bits >= 8 ? (unsigned long)v8 << (c.bits - 8) : (unsigned long)v8 >> (8 - c.bits);
    return v << c.shift;
}

unsigned get_chan(uint32_t px, Chan c) {
    if (c.bits == 0) return 0;
    uint32_t v = (px >> c.shift) & ((c.bits >= 32) ? 0xFFFFFFFFu : ((1u << c.bits) - 1));
    return c.bits >= 8 ? v >> (c.bits - 8) : v * 255 / ((1u << c.bits) - 1);
}

bool true_colour() {
    if (S().mem) return true;
    const Visual *v = S().visual;
    return v && (v->c_class == TrueColor || v->c_class == DirectColor);
}

// Bytes of storage per pixel of an image record (0 plain bytes = 1).
int storage_bytes(const IMG *img) {
    switch (img->bits_pixel) {
    case 0:
    case 8: return 1;
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return -1;
    }
}

// A record the transfer can read: sizes positive and within 32767, a known
// storage size, and lines long enough for their pixels.
bool usable(const IMG *img) {
    if (!img || !img->data || img->nx < 1 || img->ny < 1 || img->nx > 32767 || img->ny > 32767) return false;
    int b = storage_bytes(img);
    if (b < 0) return false;
    if ((int64_t)img->bytes_line < (int64_t)img->nx * b) return false;
    if (img->ncolors < 0 || (img->ncolors > 0 && !img->cmap)) return false;
    return true;
}

uint32_t read_px(const unsigned char *p, int bytes, int msb) {
    uint32_t v = 0;
    if (msb)
        for (int i = 0; i < bytes; i++) v = (v << 8) | p[i];
    else
        for (int i = bytes - 1; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

bool has_table(const IMG *img) { return img->ncolors > 0 && img->cmap && img->indexed != 0; }

// The visual pixel of every index 0..255 of an indexed (or gray) image.
// transparent >= 0 gives table colours near the background colour rgb the
// transparent pixel (pseudo-colour only, as the colour set-up does).
std::vector<unsigned long> index_lut(const IMG *img, long transparent, const float *trgb) {
    std::vector<unsigned long> lut(img->bits_pixel == 16 ? 65536 : 256, 0);
    bool table = has_table(img);
    bool tc = true_colour();
    Chan r = chan_of(S().red_mask), g = chan_of(S().green_mask), b = chan_of(S().blue_mask);
    for (size_t v = 0; v < lut.size(); v++) {
        float cr, cg, cb;
        if (table) {
            size_t k = v < (size_t)img->ncolors ? v : 0;  // beyond the table: colour 0
            cr = img->cmap[3 * k];
            cg = img->cmap[3 * k + 1];
            cb = img->cmap[3 * k + 2];
        } else {
            float gray = lut.size() > 256 ? (float)(v >> 8) / 255.0f : (float)v / 255.0f;
            cr = cg = cb = gray;
        }
        if (tc) {
            auto c8 = [](float f) { return (unsigned)(f < 0 ? 0 : f > 1 ? 255 : f * 255); };
            lut[v] = put_chan(c8(cr), r) | put_chan(c8(cg), g) | put_chan(c8(cb), b);
        } else if (table && v < (size_t)img->ncolors) {
            if (transparent >= 0 && trgb && std::fabs(cr - trgb[0]) + std::fabs(cg - trgb[1]) + std::fabs(cb - trgb[2]) < 0.01f)
                lut[v] = (unsigned long)transparent;
            else
                lut[v] = (unsigned long)galloc_colr(-1, cr, cg, cb);
        } else if (table) {
            lut[v] = lut[0];
        } else {
            lut[v] = lut.size() > 256 ? (v >> 8) : v;  // no table: values are pixels
        }
    }
    return lut;
}

// Where the image goes: left/top of the image in the target and the part of
// the image that fits the viewport.
struct Place {
    int dx, dy, sx, sy, w, h;
};

// Visits w x h pixels of img from column sx, row sy as visual pixels:
// out(x, y, pixel) for each, row by row.
template <class Out>
void visit_pixels(const IMG *img, int sx, int sy, int w, int h, const std::vector<unsigned long> &lut, Out out) {
    State &s = S();
    const int sb = storage_bytes(img);
    const int msb = img->byte_order;
    const bool indexed = img->bits_pixel <= 16;
    Chan ir = chan_of(img->red_mask ? img->red_mask : 0xFF0000), ig = chan_of(img->green_mask ? img->green_mask : 0xFF00),
         ib = chan_of(img->blue_mask ? img->blue_mask : 0xFF);
    Chan vr = chan_of(s.red_mask), vg = chan_of(s.green_mask), vb = chan_of(s.blue_mask);
    for (int y = 0; y < h; y++) {
        const unsigned char *row = img->data + (size_t)(sy + y) * (size_t)img->bytes_line + (size_t)sx * sb;
        for (int x = 0; x < w; x++) {
            unsigned long px;
            if (sb == 1) {
                px = lut[row[x]];
            } else if (indexed) {
                px = lut[read_px(row + 2 * x, 2, msb)];
            } else {
                uint32_t v = read_px(row + (size_t)x * sb, sb, msb);
                px = true_colour() ? put_chan(get_chan(v, ir), vr) | put_chan(get_chan(v, ig), vg) |
                                         put_chan(get_chan(v, ib), vb)
                                   : (unsigned long)galloc_colr(-1, get_chan(v, ir) / 255.0f, get_chan(v, ig) / 255.0f,
                                                                get_chan(v, ib) / 255.0f);
            }
            out(x, y, px);
        }
    }
}

// Converts w x h pixels of img from column sx, row sy into an XImage of the
// window's depth.  Null when memory runs out.
XImage *convert(const IMG *img, int sx, int sy, int w, int h, const std::vector<unsigned long> &lut) {
    State &s = S();
    XImage *xi = XCreateImage(s.dpy, s.visual, (unsigned)s.depth, ZPixmap, 0, nullptr, (unsigned)w, (unsigned)h, 32, 0);
    if (!xi) return nullptr;
    xi->data = (char *)malloc((size_t)xi->bytes_per_line * (size_t)h);
    if (!xi->data) {
        XDestroyImage(xi);
        return nullptr;
    }
    const bool native32 = xi->bits_per_pixel == 32;
    if (native32) xi->byte_order = LSBFirst;  // the rows below are written in host order
    visit_pixels(img, sx, sy, w, h, lut, [&](int x, int y, unsigned long px) {
        if (native32)
            ((uint32_t *)(xi->data + (size_t)y * xi->bytes_per_line))[x] = (uint32_t)px;
        else
            XPutPixel(xi, x, y, px);
    });
    return xi;
}

// The headless window's put: the same pixels and transparency mask into the
// in-memory picture.
int put_mem(const IMG *img, const Place &p, long tpix, const std::vector<unsigned long> &lut) {
    // Without a mask the pixels go straight into the picture (a plain copy,
    // as the put below would make of them), not through a picture-sized
    // buffer first.
    int tw = 0, th = 0;
    uint32_t *dst = tpix < 0 ? mem_target_pixels(&tw, &th, p.dx, p.dy, p.w, p.h) : nullptr;
    if (dst && p.dx >= 0 && p.dy >= 0 && p.dx + p.w <= tw && p.dy + p.h <= th) {
        if (storage_bytes(img) == 1 && lut.size() >= 256) {
            // One byte a pixel (the remapped picture): a table look-up a pixel.
            uint32_t colour[256];
            for (int v = 0; v < 256; v++) colour[v] = (uint32_t)lut[(size_t)v] & 0xFFFFFF;
            // Rows in chunks on the worker threads.
            WORK_row_chunks(p.h, WORK_thread_count((size_t)p.w * p.h), [&](int y0, int y1) {
                for (int y = y0; y < y1; y++) {
                    const unsigned char *row =
                        img->data + (size_t)(p.sy + y) * (size_t)img->bytes_line + (size_t)p.sx;
                    uint32_t *d = dst + (size_t)(p.dy + y) * tw + p.dx;
                    for (int x = 0; x < p.w; x++) d[x] = colour[row[x]];
                }
            });
            return 1;
        }
        visit_pixels(img, p.sx, p.sy, p.w, p.h, lut, [&](int x, int y, unsigned long v) {
            dst[(size_t)(p.dy + y) * tw + p.dx + x] = (uint32_t)v & 0xFFFFFF;
        });
        return 1;
    }
    std::vector<uint32_t> px;
    std::vector<uint8_t> mask;
    try {
        px.resize((size_t)p.w * p.h);
        if (tpix >= 0) mask.resize(px.size());
    } catch (const std::bad_alloc &) {
        return 0;
    }
    visit_pixels(img, p.sx, p.sy, p.w, p.h, lut,
                 [&](int x, int y, unsigned long v) { px[(size_t)y * p.w + x] = (uint32_t)v & 0xFFFFFF; });
    for (size_t i = 0; i < mask.size(); i++) mask[i] = (long)px[i] != tpix;
    mem_put(px.data(), p.w, p.h, p.dx, p.dy, mask.empty() ? nullptr : mask.data());
    return 1;
}

bool place(const IMG *img, int x, int y, Place &p) {
    const GXRect &v = S().clip_rect;
    int left = x >= 0 ? v.x + x : v.x + (int)v.width - img->nx + x;
    int top = y >= 0 ? v.y + y : v.y + (int)v.height - img->ny + y;
    // Only the viewport's width and height are transferred.
    int w = img->nx < (int)v.width ? img->nx : (int)v.width;
    int h = img->ny < (int)v.height ? img->ny : (int)v.height;
    p = {left, top, 0, 0, w, h};
    if (p.dx < 0) {
        p.sx = -p.dx;
        p.w -= p.sx;
        p.dx = 0;
    }
    if (p.dy < 0) {
        p.sy = -p.dy;
        p.h -= p.sy;
        p.dy = 0;
    }
    // Clipped to the target.
    if (p.dx + p.w > S().win_width) p.w = S().win_width - p.dx;
    if (p.dy + p.h > S().win_height) p.h = S().win_height - p.dy;
    return p.w > 0 && p.h > 0;
}

bool target_ready() { return (S().dpy || S().mem) && S().draw_window; }

// The transparent colour's pixel and components: a colour-table name, an X
// colour name, or the background.
bool transparent_colour(const char *name, float *rgb, long *pixel) {
    State &s = S();
    if (!name || !*name) {
        gget_color_rgb(-1, &rgb[0], &rgb[1], &rgb[2]);
        *pixel = gget_back_color();
        return true;
    }
    int ci = CLR_get_ind(name);
    if (ci >= 0 && ci < CLR_MAX_COLORS) {
        CLR_get_rgb(ci, &rgb[0], &rgb[1], &rgb[2]);
    } else {
        XColor xc;
        if (s.mem ? !mem_parse_colour(name, &xc) : !XParseColor(s.dpy, gget_colormap(), name, &xc)) return false;
        rgb[0] = xc.red / 65535.0f;
        rgb[1] = xc.green / 65535.0f;
        rgb[2] = xc.blue / 65535.0f;
    }
    if (true_colour()) {
        Chan r = chan_of(s.red_mask), g = chan_of(s.green_mask), b = chan_of(s.blue_mask);
        *pixel = (long)(put_chan((unsigned)(rgb[0] * 255), r) | put_chan((unsigned)(rgb[1] * 255), g) |
                        put_chan((unsigned)(rgb[2] * 255), b));
    } else {
        *pixel = galloc_colr(-1, rgb[0], rgb[1], rgb[2]);
    }
    return true;
}

int put(IMG *img, int x, int y, const char *colour, bool overlay) {
    State &s = S();
    if (s.win_type == GWS_PS) return gps_image(img, x, y);
    if (!target_ready() || !gtype_is_WIN_PIX()) return 0;
    if (!usable(img)) return 0;
    Place p;
    if (!place(img, x, y, p)) return 0;
    float trgb[3] = {0, 0, 0};
    long tpix = -1;
    if (overlay && !transparent_colour(colour, trgb, &tpix)) return 0;
    std::vector<unsigned long> lut;
    if (img->bits_pixel <= 16) lut = index_lut(img, overlay ? tpix : -1, trgb);
    if (s.mem) return put_mem(img, p, overlay ? tpix : -1, lut);
    XImage *xi = convert(img, p.sx, p.sy, p.w, p.h, lut);
    if (!xi) return 0;
    Pixmap mask = 0;
    if (overlay) {
        int bpl = (p.w + 7) / 8;
        std::vector<unsigned char> bits((size_t)bpl * p.h, 0);
        for (int j = 0; j < p.h; j++)
            for (int i = 0; i < p.w; i++)
                if ((long)XGetPixel(xi, i, j) != tpix) bits[(size_t)j * bpl + i / 8] |= (unsigned char)(1 << (i % 8));
        mask = XCreateBitmapFromData(s.dpy, s.draw_window, (char *)bits.data(), (unsigned)p.w, (unsigned)p.h);
        XSetClipMask(s.dpy, s.root_gc, mask);
        XSetClipOrigin(s.dpy, s.root_gc, p.dx, p.dy);
    }
    for (Drawable d : {s.draw_window, x11_layer_twin()})
        if (d) XPutImage(s.dpy, d, s.root_gc, xi, 0, 0, p.dx, p.dy, (unsigned)p.w, (unsigned)p.h);
    if (mask) {
        XSetClipMask(s.dpy, s.root_gc, None);
        XSetClipOrigin(s.dpy, s.root_gc, 0, 0);
        XFreePixmap(s.dpy, mask);
    }
    XDestroyImage(xi);
    return 1;
}

}  // namespace

int gload_image(IMG *img, int x, int y) { return put(img, x, y, nullptr, false); }

int goverlay_image(IMG *img, const char *colour, int x, int y) { return put(img, x, y, colour, true); }

int gsetup_image_colors(IMG *img, long transparent) {
    State &s = S();
    if (!s.dpy || !usable(img) || !has_table(img) || s.depth > 8 || storage_bytes(img) != 1) return 0;
    float trgb[3] = {0, 0, 0};
    if (transparent >= 0) {
        for (int i = 0; i < GCOLR_SLOTS; i++)
            if (s.colr[i].pixel == transparent) {
                trgb[0] = s.colr[i].r;
                trgb[1] = s.colr[i].g;
                trgb[2] = s.colr[i].b;
                break;
            }
    }
    // Each distinct value is looked up once.
    bool seen[256] = {};
    for (int y = 0; y < img->ny; y++)
        for (int x = 0; x < img->nx; x++) seen[img->data[(size_t)y * img->bytes_line + x]] = true;
    unsigned long lut[256] = {};
    for (int v = 0; v < 256; v++) {
        if (!seen[v]) continue;
        int k = v < img->ncolors ? v : 0;
        float r = img->cmap[3 * k], g = img->cmap[3 * k + 1], b = img->cmap[3 * k + 2];
        if (transparent >= 0 && std::fabs(r - trgb[0]) + std::fabs(g - trgb[1]) + std::fabs(b - trgb[2]) < 0.01f)
            lut[v] = (unsigned long)transparent;
        else
            lut[v] = (unsigned long)galloc_colr(-1, r, g, b);
    }
    for (int y = 0; y < img->ny; y++) {
        unsigned char *row = img->data + (size_t)y * img->bytes_line;
        for (int x = 0; x < img->nx; x++) row[x] = (unsigned char)lut[row[x]];
    }
    return 1;
}

namespace {

// Gives img a window picture of the window's size: its own pixel buffer
// (data, taken over) in the X image layout given, no colour table.
void set_picture(IMG *img, unsigned char *data, int depth, int bits_pixel, int bytes_line, int msb_first) {
    State &s = S();
    free(img->data);
    free(img->cmap);
    img->data = data;
    img->cmap = nullptr;
    img->ncolors = 0;
    img->nx = s.win_width;
    img->ny = s.win_height;
    img->depth = depth;
    img->bits_pixel = bits_pixel;
    img->bytes_line = bytes_line;
    img->byte_order = msb_first;
    // Pixmaps carry no visual: the masks are the window visual's.
    img->red_mask = (uint32_t)s.red_mask;
    img->green_mask = (uint32_t)s.green_mask;
    img->blue_mask = (uint32_t)s.blue_mask;
    img->transparent = -1;
}

// The headless window's picture as a 24-bit X server gives it: 32 bits a
// pixel, least significant byte first, the TrueColor masks.
int get_mem(IMG *img) {
    State &s = S();
    // A whole picture is read where it is (one copy into the dump's buffer
    // rather than two); a packed one is expanded first.
    std::vector<uint32_t> packed;
    const uint32_t *px;
    size_t n;
    if (const GPixels *live = mem_live_pixels(s.draw_window)) {
        px = live->data(), n = live->size();
    } else {
        if (!mem_read(s.draw_window, packed)) return 0;
        px = packed.data(), n = packed.size();
    }
    int w = s.win_width, h = s.win_height;
    size_t bytes = (size_t)w * h * 4;
    unsigned char *data = n == (size_t)w * h ? (unsigned char *)malloc(bytes) : nullptr;
    if (!data) {
        MESS_print(MESS_ERROR, "gget_image: Unable to allocate data buffer.\n");
        return 0;
    }
    if constexpr (std::endian::native == std::endian::little) {
        // The same bytes a word at a time.
        for (size_t i = 0; i < n; i++) {
            const uint32_t v = px[i] & 0xFFFFFFu;
            memcpy(data + 4 * i, &v, 4);
        }
    } else {
        for (size_t i = 0; i < n; i++) {
            data[4 * i] = (unsigned char)px[i];
            data[4 * i + 1] = (unsigned char)(px[i] >> 8);
            data[4 * i + 2] = (unsigned char)(px[i] >> 16);
            data[4 * i + 3] = 0;
        }
    }
    set_picture(img, data, 24, 32, 4 * w, 0);
    img->indexed = 0;
    std::string name = mem_window_name();
    snprintf(img->info, sizeof img->info, "%s", name.empty() ? "xwdump" : name.c_str());
    return 1;
}

}  // namespace

int gget_image_view(IMG *img) {
    State &s = S();
    if (std::endian::native != std::endian::little || !img || !s.mem || !s.draw_window) return 0;
    const GPixels *px = mem_live_pixels(s.draw_window);
    if (!px || px->size() != (size_t)s.win_width * (size_t)s.win_height) return 0;
    set_picture(img, nullptr, 24, 32, 4 * s.win_width, 0);
    img->data = (unsigned char *)const_cast<uint32_t *>(px->data());
    img->indexed = 0;
    return 1;
}

int gget_image(IMG *img) {
    State &s = S();
    if (img && s.mem && s.draw_window) return get_mem(img);
    if (!img || !s.dpy || !s.draw_window) return 0;
    int w = s.win_width, h = s.win_height;
    XImage *xi = XGetImage(s.dpy, s.draw_window, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!xi) {
        MESS_print(MESS_ERROR, "gget_image: Unable to get image at %dx%d+%d+%d\n", w, h, 0, 0);
        return 0;
    }
    size_t bytes = (size_t)xi->bytes_per_line * (size_t)h;
    unsigned char *data = (unsigned char *)malloc(bytes);
    if (!data) {
        MESS_print(MESS_ERROR, "gget_image: Unable to allocate data buffer.\n");
        XDestroyImage(xi);
        return 0;
    }
    memcpy(data, xi->data, bytes);
    set_picture(img, data, xi->depth, xi->bits_per_pixel, xi->bytes_per_line, xi->byte_order == MSBFirst ? 1 : 0);
    char *name = nullptr;
    if (s.root_window && XFetchName(s.dpy, s.root_window, &name) && name && *name) {
        snprintf(img->info, sizeof img->info, "%s", name);
        XFree(name);
    } else {
        if (name) XFree(name);
        snprintf(img->info, sizeof img->info, "xwdump");
    }
    MESS_print(MESS_DEBUG, "width: %d\n", xi->width);
    MESS_print(MESS_DEBUG, "height: %d\n", xi->height);
    MESS_print(MESS_DEBUG, "xoffset: %d\n", xi->xoffset);
    MESS_print(MESS_DEBUG, "format: %d\n", xi->format);
    MESS_print(MESS_DEBUG, "byte_order: %d\n", xi->byte_order);
    MESS_print(MESS_DEBUG, "bitmap_unit: %d\n", xi->bitmap_unit);
    MESS_print(MESS_DEBUG, "bitmap_bit_order: %d\n", xi->bitmap_bit_order);
    MESS_print(MESS_DEBUG, "bitmap_pad: %d\n", xi->bitmap_pad);
    MESS_print(MESS_DEBUG, "depth: %d\n", xi->depth);
    MESS_print(MESS_DEBUG, "bits_per_pixel: %d\n", xi->bits_per_pixel);
    MESS_print(MESS_DEBUG, "bytes_per_line: %d\n", xi->bytes_per_line);
    MESS_print(MESS_DEBUG, "red_mask: %lX\n", s.red_mask);
    MESS_print(MESS_DEBUG, "green_mask: %lX\n", s.green_mask);
    MESS_print(MESS_DEBUG, "blue_mask: %lX\n", s.blue_mask);
    XDestroyImage(xi);
    if (s.visual->c_class == TrueColor) {
        img->indexed = 0;
        return 1;
    }
    // Pseudo-colour (and direct-colour) pictures carry the colormap: one
    // entry per cell, enumerated through the masks for direct colour.
    int n = s.visual->map_entries;
    if (n < 1 || n > 65536) return 1;
    std::vector<XColor> cells;
    try {
        cells.resize((size_t)n);
    } catch (...) {
        MESS_print(MESS_ERROR, "gget_image: Unable to allocate memory for Xcolors\n");
        return 1;
    }
    Chan r = chan_of(s.red_mask), g = chan_of(s.green_mask), b = chan_of(s.blue_mask);
    for (int i = 0; i < n; i++)
        cells[i].pixel = s.visual->c_class == DirectColor
                             ? ((unsigned long)i << r.shift) | ((unsigned long)i << g.shift) | ((unsigned long)i << b.shift)
                             : (unsigned long)i;
    XQueryColors(s.dpy, gget_colormap(), cells.data(), n);
    float *cmap = (float *)malloc(sizeof(float) * 3 * (size_t)n);
    if (!cmap) {
        MESS_print(MESS_ERROR, "gget_image: Unable to allocate memory for colors\n");
        return 1;
    }
    for (int i = 0; i < n; i++) {
        float c[3] = {cells[i].red / 65535.0f, cells[i].green / 65535.0f, cells[i].blue / 65535.0f};
        for (int k = 0; k < 3; k++) cmap[3 * i + k] = c[k] > 0.99f ? 1.0f : c[k];
    }
    MESS_print(MESS_DEBUG, "num colors: %d\n", n);
    img->cmap = cmap;
    img->ncolors = n;
    img->indexed = 1;
    return 1;
}
