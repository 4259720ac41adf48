// Layers on an X window.  A layer is drawn twice at once, onto two pixmaps of
// the window's size and depth, one filled with all bits clear and one with
// all bits set: a pixel the drawing set holds the same value in both, a pixel
// it left alone differs.  The first pixmap keeps the colours; the pixels
// equal in both become a one-bit clip mask, and putting the layer is one
// masked copy on the server instead of the drawing calls.  Only drawing that
// copies its colour sets a pixel the same whatever lay under it: a layer
// drawn with an exclusive-or line is not kept.
#include <bit>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "gks/gks_int.h"

using namespace gks;

namespace {

struct XLayer {
    Pixmap colours = 0, mask = 0;
    GC gc = nullptr;  // copies through the mask; set once, so the server keeps the mask's region
    int w = 0, h = 0;
};

std::unordered_map<int, XLayer> layers;
int next_layer = 1;

struct Capture {
    Pixmap on_clear = 0, on_set = 0;
    Drawable target = 0;
    int w = 0, h = 0, depth = 0;
    bool exact = true;
} capture;

unsigned long all_bits(int depth) { return depth >= 32 ? ~0UL : (1UL << depth) - 1; }

void free_layer(const XLayer &l) {
    Display *d = S().dpy;
    if (!d) return;
    if (l.gc) XFreeGC(d, l.gc);
    if (l.mask) XFreePixmap(d, l.mask);
    if (l.colours) XFreePixmap(d, l.colours);
}

void free_capture() {
    Display *d = S().dpy;
    if (d && capture.on_clear) XFreePixmap(d, capture.on_clear);
    if (d && capture.on_set) XFreePixmap(d, capture.on_set);
    capture = {};
}

// The one-bit mask of the pixels that are 0 in diff (the exclusive-or of
// the two drawings), or 0 when the server does not hand the pixels back.
Pixmap equal_mask(Pixmap diff, int w, int h, int depth) {
    State &s = S();
    XImage *xi = XGetImage(s.dpy, diff, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!xi) return 0;
    const int bpl = (w + 7) / 8;
    std::vector<unsigned char> bits((size_t)bpl * h, 0);
    const unsigned long planes = all_bits(depth);
    const bool words = xi->bits_per_pixel == 32 && xi->byte_order == (std::endian::native == std::endian::little
                                                                           ? LSBFirst : MSBFirst);
    for (int j = 0; j < h; j++) {
        unsigned char *row = bits.data() + (size_t)j * bpl;
        if (words) {
            const char *src = xi->data + (size_t)j * xi->bytes_per_line;
            for (int i = 0; i < w; i++) {
                uint32_t v;
                std::memcpy(&v, src + 4 * i, 4);
                if ((v & planes) == 0) row[i / 8] |= (unsigned char)(1 << (i % 8));
            }
        } else {
            for (int i = 0; i < w; i++)
                if ((XGetPixel(xi, i, j) & planes) == 0) row[i / 8] |= (unsigned char)(1 << (i % 8));
        }
    }
    XDestroyImage(xi);
    return XCreateBitmapFromData(s.dpy, diff, (const char *)bits.data(), (unsigned)w, (unsigned)h);
}

// The layer made from the two drawings, or 0.
int keep(const Capture &c) {
    State &s = S();
    GC gc = XCreateGC(s.dpy, c.on_clear, 0, nullptr);
    XSetGraphicsExposures(s.dpy, gc, False);
    XSetFunction(s.dpy, gc, GXxor);
    XCopyArea(s.dpy, c.on_clear, c.on_set, gc, 0, 0, (unsigned)c.w, (unsigned)c.h, 0, 0);
    XFreeGC(s.dpy, gc);
    const Pixmap mask = equal_mask(c.on_set, c.w, c.h, c.depth);
    if (!mask) return 0;
    XGCValues v{};
    v.function = GXcopy;
    v.graphics_exposures = False;
    v.clip_mask = mask;
    v.clip_x_origin = v.clip_y_origin = 0;
    XLayer l;
    l.colours = c.on_clear;
    l.mask = mask;
    l.gc = XCreateGC(s.dpy, c.on_clear, GCFunction | GCGraphicsExposures | GCClipMask | GCClipXOrigin | GCClipYOrigin,
                     &v);
    l.w = c.w;
    l.h = c.h;
    const int id = next_layer++;
    layers[id] = l;
    return id;
}

}  // namespace

namespace gks {

bool x11_layer_begin() {
    State &s = S();
    if (!s.dpy || !s.draw_window || capture.on_clear) return false;
    // The target's own depth (an embedding program's pixmap may differ from
    // the screen's); a target of another size than the window is drawn on
    // as usual.
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    if (!XGetGeometry(s.dpy, s.draw_window, &root, &x, &y, &w, &h, &border, &depth) || (int)w != s.win_width ||
        (int)h != s.win_height)
        return false;
    Capture c;
    c.w = (int)w;
    c.h = (int)h;
    c.depth = (int)depth;
    c.target = s.draw_window;
    c.on_clear = XCreatePixmap(s.dpy, s.draw_window, w, h, depth);
    c.on_set = XCreatePixmap(s.dpy, s.draw_window, w, h, depth);
    GC gc = XCreateGC(s.dpy, c.on_clear, 0, nullptr);
    XSetForeground(s.dpy, gc, 0);
    XFillRectangle(s.dpy, c.on_clear, gc, 0, 0, w, h);
    XSetForeground(s.dpy, gc, all_bits(c.depth));
    XFillRectangle(s.dpy, c.on_set, gc, 0, 0, w, h);
    XFreeGC(s.dpy, gc);
    capture = c;
    s.draw_window = c.on_clear;
    return true;
}

Drawable x11_layer_twin() {
    return capture.on_clear && S().draw_window == capture.on_clear ? capture.on_set : 0;
}

void x11_layer_note(GC gc) {
    if (!capture.on_clear || !gc) return;
    XGCValues v;
    if (!XGetGCValues(S().dpy, gc, GCFunction, &v) || v.function != GXcopy) capture.exact = false;
}

int x11_layer_end() {
    State &s = S();
    if (!capture.on_clear) return 0;
    Capture c = capture;
    // Drawing moved elsewhere while the layer was open: what it drew is not
    // all on the two pixmaps.
    if (s.draw_window != c.on_clear) c.exact = false;
    s.draw_window = c.target;
    int id = c.exact ? keep(c) : 0;
    if (id) {
        XFreePixmap(s.dpy, c.on_set);
        capture = {};
    } else {
        free_capture();
    }
    if (id && !x11_layer_put(id)) {
        x11_layer_free(id);
        id = 0;
    }
    return id;
}

bool x11_layer_put(int id) {
    State &s = S();
    auto it = layers.find(id);
    if (it == layers.end() || capture.on_clear || !s.dpy || !s.draw_window) return false;
    const XLayer &l = it->second;
    if (l.w != s.win_width || l.h != s.win_height) return false;
    XCopyArea(s.dpy, l.colours, s.draw_window, l.gc, 0, 0, (unsigned)l.w, (unsigned)l.h, 0, 0);
    return true;
}

void x11_layer_free(int id) {
    auto it = layers.find(id);
    if (it == layers.end()) return;
    free_layer(it->second);
    layers.erase(it);
}

void x11_layers_clear() {
    for (auto &[id, l] : layers) free_layer(l);
    layers.clear();
    free_capture();
}

}  // namespace gks

void gks::x11_layer_reset()
{
    layers.clear();
    capture = {};
    next_layer = 1;
}
