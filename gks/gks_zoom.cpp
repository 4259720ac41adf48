// The picture zoom: enlarging the window's picture by pixel replication,
// without redrawing, and mapping window pixels back to picture pixels.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "core/flags.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

// Left (or top) edge of the zoomed region of a window side of `full`
// pixels, replication f, about centre c.
int region_start(int c, int full, int f) {
    int part = full / f;
    int lo = c - part / 2;
    if (lo < 0) lo = 0;
    if (lo + part > full) lo = full - (full + 1) / f;
    return lo;
}

// The headless window's picture before the first zoom.
std::vector<uint32_t> mem_saved;

void drop_saved() {
    State &s = S();
    if (s.zoom_saved) XDestroyImage(s.zoom_saved);
    s.zoom_saved = nullptr;
    mem_saved.clear();
    mem_saved.shrink_to_fit();
}

// Pixel replication of the W x H picture's region from (left, top), f
// times: put(i, j, sx, sy) for every window pixel (i, j) and its source.
template <class Put>
void replicate(int W, int H, int left, int top, int f, Put put) {
    for (int j = 0; j < H; j++) {
        int sy = top + j / f;
        if (sy >= H) sy = H - 1;
        for (int i = 0; i < W; i++) {
            int sx = left + i / f;
            if (sx >= W) sx = W - 1;
            put(i, j, sx, sy);
        }
    }
}

// Replicates the region from (left, top) f times into the base picture.
void zoom_mem(Drawable src, bool save, int left, int top, int f) {
    State &s = S();
    const int W = s.win_width, H = s.win_height;
    std::vector<uint32_t> in, out;
    if (!mem_read(src, in) || in.size() != (size_t)W * H) return;
    try {
        if (save) mem_saved = in;
        out.resize(in.size());
    } catch (const std::bad_alloc &) {
        return;
    }
    replicate(W, H, left, top, f,
              [&](int i, int j, int sx, int sy) { out[(size_t)j * W + i] = in[(size_t)sy * W + sx]; });
    mem_write(s.base_window, out);
}

}  // namespace

int gzoom(int frame, int x, int y, int factor, int again) {
    State &s = S();
    if ((!s.dpy && !s.mem) || !s.base_window || s.win_type == GWS_PIX) return 0;
    if (again && factor == 1) return 0;
    if (s.zoom >= GMAX_ZOOM) {
        MESS_print(MESS_ERROR, "gzoom: Cannot zoom past 1024x\n");
        return 0;
    }
    const int W = s.win_width, H = s.win_height;
    bool frames = gget_num_images() > 0;
    bool loop_src = frames && gget_looping();
    Drawable src = s.base_window;
    if (loop_src || (frames && again)) {
        Pixmap p = (Pixmap)gget_frame_id(frame);
        if (p) src = p;
    }
    XImage *in = s.mem ? nullptr : XGetImage(s.dpy, src, 0, 0, (unsigned)W, (unsigned)H, AllPlanes, ZPixmap);
    if (!in && !s.mem) return 0;
    bool save = !frames && !again && s.zoom == 1;
    if (save && s.mem) {
        drop_saved();
    } else if (save) {
        drop_saved();
        s.zoom_saved = XSubImage(in, 0, 0, (unsigned)W, (unsigned)H);
    }
    int cx = s.zoom_x, cy = s.zoom_y;
    if (x != -1) {
        if (frames && s.zoom != 1) {
            cx = (x - W / 2) / s.zoom + s.zoom_x;
            cy = (y - H / 2) / s.zoom + s.zoom_y;
        } else {
            cx = x;
            cy = y;
        }
    }
    int f;
    if (factor == -1) {
        f = s.zoom;
    } else if (factor < -1) {
        long nz = (long)s.zoom * -(long)factor;
        s.zoom = (int)(nz > GMAX_ZOOM ? GMAX_ZOOM : nz);
        f = loop_src ? s.zoom : -factor;
    } else {
        s.zoom = factor < 1 ? 1 : (factor > GMAX_ZOOM ? GMAX_ZOOM : factor);
        f = s.zoom;
    }
    if (f < 1) f = 1;
    if (f > W || f > H) f = W < H ? W : H;
    int left = region_start(cx, W, f), top = region_start(cy, H, f);
    s.zoom_x = left + (W / f) / 2;
    s.zoom_y = top + (H / f) / 2;
    if (s.mem) {
        zoom_mem(src, save, left, top, f);
        return 1;
    }
    int bpp = in->bits_per_pixel;
    if (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32) {
        XImage *out = XSubImage(in, 0, 0, (unsigned)W, (unsigned)H);
        if (out) {
            replicate(W, H, left, top, f, [&](int i, int j, int sx, int sy) { XPutPixel(out, i, j, XGetPixel(in, sx, sy)); });
            XPutImage(s.dpy, s.base_window, s.root_gc, out, 0, 0, 0, 0, (unsigned)W, (unsigned)H);
            XDestroyImage(out);
        }
    }
    XDestroyImage(in);
    gupdate_window();
    return 1;
}

int gunzoom() {
    State &s = S();
    if (s.zoom <= 1 || s.win_type == GWS_PIX || (!s.dpy && !s.mem)) return 0;
    s.zoom = 1;
    s.zoom_x = s.zoom_y = 0;
    if (s.mem && !mem_saved.empty()) {
        mem_write(s.base_window, mem_saved);
        drop_saved();
    } else if (s.zoom_saved) {
        XPutImage(s.dpy, s.base_window, s.root_gc, s.zoom_saved, 0, 0, 0, 0, (unsigned)s.zoom_saved->width,
                  (unsigned)s.zoom_saved->height);
        drop_saved();
        gupdate_window();
    } else {
        gdisplay_frame(-2);
    }
    return 1;
}

int greset_zoom() {
    State &s = S();
    if (s.zoom >= 2) {
        drop_saved();
        s.zoom = 1;
        s.zoom_x = s.zoom_y = 0;
    }
    return 0;
}

int gget_zoom() { return S().zoom < 1 ? 1 : S().zoom; }

float xZ_p(float px) {
    State &s = S();
    if (s.zoom <= 1) return px;
    int left = s.zoom_x - (s.win_width / s.zoom) / 2;
    return (float)left + px / (float)s.zoom;
}

float yZ_p(float py) {
    State &s = S();
    if (s.zoom <= 1) return py;
    int top = s.zoom_y - (s.win_height / s.zoom) / 2;
    return (float)top + py / (float)s.zoom;
}

void gks::zoom_reset() { mem_saved.clear(); }
