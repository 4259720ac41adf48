// Kernel-internal state and helpers shared by the gks/*.cpp files (not for
// other modules: they use gks.h and device.h).
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "gks/raster.h"

#include "gks/device.h"
#include "gks/gks.h"

namespace gks {

// A rectangle as stored: corners and extents.
struct Rect6 {
    float x1 = 0, y1 = 0, x2 = 1, y2 = 1, dx = 1, dy = 1;
    void set4(const float *r) { x1 = r[0]; x2 = r[1]; y1 = r[2]; y2 = r[3]; dx = x2 - x1; dy = y2 - y1; }
    void get4(float *r) const { r[0] = x1; r[1] = x2; r[2] = y1; r[3] = y2; }
};

struct ColorSlot {
    float r = 0, g = 0, b = 0;
    long pixel = -1;   // X pixel, -1 not allocated (-2 PostScript: unallocated)
};

constexpr int BACK_SLOT = 256;

struct State {
    // kernel and workstation
    bool gks_open = false;
    FILE *errfp = nullptr;
    bool errfp_owned = false;
    bool ws_open = false;
    int win_type = GWS_WIN;
    GDevice *dev = nullptr;

    // transforms
    Rect6 wn[GNUM_TRANS], vp[GNUM_TRANS];
    int cur_trans = 0;
    Rect6 cur_wn, cur_vp;
    float wn_vp[2] = {1, 1};
    Rect6 wkwn, wkvp, plt;
    float wkwn_plt[2] = {1, 1};
    GXRect clip_rect{0, 0, 0, 0};

    // window
    int win_width = 640, win_height = 512;
    int win_x = 0, win_y = 0;        // window offset (gset_xoff)
    int root_width = 0, root_height = 0;

    // colours
    ColorSlot colr[GCOLR_SLOTS];
    int max_color_ind = -1;
    bool rw_colors = false;

    // X11
    Display *dpy = nullptr;
    int screen = 0;
    Visual *visual = nullptr;
    int depth = 0;
    Colormap def_cmap = 0, user_cmap = 0, local_cmap = 0;
    Window root_window = 0;
    Pixmap base_window = 0;
    Drawable draw_window = 0;
    GC root_gc = nullptr;
    GC gc_line = nullptr, gc_marker = nullptr, gc_fill = nullptr, gc_text = nullptr;
    unsigned long fg = 1, bg = 0;
    unsigned long red_mask = 0, green_mask = 0, blue_mask = 0;
    bool mapped = false;
    bool events_on = false;
    // Headless window ("mem" display): no X connection, pictures in memory
    // (gks_mem.cpp) named by ids where the X window holds pixmaps.
    bool mem = false;

    // zoom
    int zoom = 1, zoom_x = 0, zoom_y = 0;
    XImage *zoom_saved = nullptr;
};

State &S();

// Route a setting or primitive: record it in the display list (window
// types) and tell the device.  Returns the device's record() answer.
bool emit(int kind, int arg, const float *f, int nf, const char *text, bool record = true);
int ws_error(const char *name, const char *msg);
// Display list append (no-op when recording is off).
void gnew_obj(int kind, int arg, int size, const void *data);
// Replay one display-list object.
void replay_reset();

// Program start of each kernel module, for greset_kernel; the workstation
// is closed first, so no X resource is left to free.
void dlist_reset();
void event_reset();
void frame_reset();
void prim_reset();
void text_reset();
void zoom_reset();
void mem_reset();
void x11_reset();
void x11_open_reset();  // the X error count and the cursors
void gph_reset();
void imgfile_reset();

// Device coordinate of a world point on the open device.
GPoint to_dev(float x, float y);
// Clip rectangle recomputation and hand-off to the device.
void update_clip();

// X11 window device (gks_x11.cpp).
GDevice *x11_open(const char *display, const char *params, int type);
void x11_init_gcs(int mode);
void x11_set_gc_color(GC gc, int index);
int create_patterns();
int close_x11();
int x11_clear_errors();

// Headless window (gks_mem.cpp).  Picture ids stand where pixmaps do.
GDevice *mem_open(int w, int h, bool inverse);
int mem_close();
unsigned long mem_new_picture(uint32_t fill);
void mem_free_picture(unsigned long id);
void mem_fill(unsigned long id, uint32_t colour);
// Copies the w x h area at (sx, sy) of src to (dx, dy) of dst (XCopyArea).
void mem_copy(unsigned long src, unsigned long dst, int sx, int sy, int w, int h, int dx, int dy);
void mem_init_gcs(int mode);
void mem_colour_changed(int index);
void mem_set_line_func(int f);
void mem_patterns(bool made);
// Fills the n-point polygon with the background, clipped to c.
void mem_clear_region(const GXRect &c, const int *xy, int n);
// Puts a w x h picture at (dx, dy) of the drawing target; mask (w per row,
// 1 = draw) overlays as a clip mask would.
void mem_put(const uint32_t *px, int w, int h, int dx, int dy, const uint8_t *mask);
bool mem_read(unsigned long id, std::vector<uint32_t> &out);
// The drawing target's pixels to write in place (w x h, rows from the
// top), or null.
// The drawing target's pixels, for a caller about to write every pixel of
// the rectangle (x, y, cw, ch) inside it.
uint32_t *mem_target_pixels(int *w, int *h, int x, int y, int cw, int ch);
// The pixels of a whole (unpacked) picture in place, or null: lets a
// reader copy them once instead of through mem_read's vector.
const GPixels *mem_live_pixels(unsigned long id);
bool mem_write(unsigned long id, const std::vector<uint32_t> &px);
int mem_resize(int w, int h);
// An X colour string parsed as XParseColor does, without a server
// (names from the X colour database file).
bool mem_parse_colour(const char *name, XColor *xc);
size_t mem_bytes();
// The headless window's name: title and its extra text (gks_x11.cpp).
std::string mem_window_name();

// Layers of the headless window (gks_mem.cpp): drawing between begin and
// end goes to a picture of its own; end keeps the pixels it set.
bool mem_layer_begin();
int mem_layer_end();
bool mem_layer_put(int id);
void mem_layer_free(int id);

// Layers of the X window (gks_x11_layer.cpp), the same calls on the server:
// while one is open, every drawing call on draw_window is also made on
// x11_layer_twin() (0 otherwise), after x11_layer_note of the context it
// draws with (a function other than copy makes the layer unusable).
bool x11_layer_begin();
int x11_layer_end();
bool x11_layer_put(int id);
void x11_layer_free(int id);
Drawable x11_layer_twin();
void x11_layer_note(GC gc);
// Frees every layer (the window closing or changing size).
void x11_layers_clear();
void x11_layer_reset();

// The output attributes as bytes (appended to out), and put back from such
// bytes (returning how many were read), the device told of each.
void prim_attrs(std::string &out);
size_t prim_attrs_set(const char *in);
void text_attrs(std::string &out);
size_t text_attrs_set(const char *in);

// Attribute groups (gks_prim.cpp / gks_text.cpp).
int line_colr();
int fill_colr();
int marker_colr();
int text_colr();
int fill_style();
int fill_int_style();
float text_width_attr();
// Draws shadow copies (window devices, drop count > 0) then the primitive.
void with_shadows(const std::function<void(float, float)> &draw);

// Events (gks_event.cpp).
void process_pending();

// Frames (gks_frame.cpp).
// The frame table taken out (the live one left empty) and put back.
void frames_aside();
void frames_back();

// Display list (gks_dlist.cpp): a frame selection turns recording off until
// the list is next emptied for a new picture, which brings back the state
// recording had before.
void frame_recording_off();
// Whether drawing calls go to the display list now.
bool dlist_recording();

}  // namespace gks

// Kernel-internal inquiries with Xlib types (declared here rather than in
// gks.h to keep Xlib out of the public header).
Display *gget_display();
int gget_screen();
Visual *gget_visual();
Window gget_root_window();
Pixmap gget_base_window();
int gset_base_window(Pixmap p);
int gset_draw_window(Drawable d);
Drawable gget_draw_window();
GC gget_root_gc();
GC gget_line_gc();
GC gget_fill_gc();
GC gget_marker_gc();
GC gget_text_gc();
Colormap gget_colormap();
int gset_def_cmap(Colormap c);
Colormap gget_def_cmap();
int gset_user_cmap(Colormap c);
Colormap gget_user_cmap();
int gquery_xcolor(int i, XColor *out);
const char *gget_prog_name();
