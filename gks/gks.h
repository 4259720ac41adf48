// The graphics kernel: normalisation transforms and the world-coordinate
// layer, the workstation (X11 window, embedded window, or a device file),
// colours, frames and looping, output primitives with stroke fonts, raster
// image transfer, window events and the display list.
//
// Three coordinate spaces: world coordinates of the selected transform,
// normalised device coordinates (NDC, longer page side 1.0) and device units
// (window pixels with y down, or driver units with y up).  Rectangles handed
// in and out are four floats: xmin, xmax, ymin, ymax.
//
// Results are plain integers (0 success unless said otherwise, -1 failure);
// nothing throws.  X-specific inquiries returning Xlib types are in
// gks/gks_x11.h so that this header stays free of Xlib macros.
#pragma once

#include <cstdint>
#include <string>

struct IMG;     // image/img.h
struct ATTRIB;  // plot/attrib.h

// ---- workstation types ----
constexpr int GWS_WIN = 1;    // X11 window
constexpr int GWS_META = 3;   // metafile (text or CGM)
constexpr int GWS_PS = 4;     // PostScript file
constexpr int GWS_HPGL = 5;   // HPGL plotter file
constexpr int GWS_PIX = 6;    // an existing window or pixmap of another process
constexpr int GWS_RASTER = 7; // in-memory raster (no X server)

// Workstation modes of ginit_plot and the attribute initialisers.
constexpr int GMODE_NONE = -1;
constexpr int GMODE_WINDOW = 0;
constexpr int GMODE_REDRAW = 1;
constexpr int GMODE_PS = 2;
constexpr int GMODE_HPGL = 3;
constexpr int GMODE_META = 4;
constexpr int GMODE_RESIZE = 10;   // ginit_tran only

// ---- colour indexes ----
constexpr int GCOLR_BACK = -1;       // the background (slot 256)
constexpr int GCOLR_SLOTS = 257;
constexpr int GCOLR_BLACK = 500;     // 500..508 device-independent black, white, grays
constexpr int GCOLR_WHITE = 501;
constexpr int GCOLR_SPECIAL_MAX = 508;

constexpr int GNUM_TRANS = 6;
constexpr int GMAX_FRAMES = 128;
constexpr int GMAX_ZOOM = 1024;

// A 16-bit X11-style rectangle (same layout as XRectangle).
struct GXRect {
    int16_t x, y;
    uint16_t width, height;
};

int gtype_is_WIN();
int gtype_is_META();
int gtype_is_PS();
int gtype_is_HPGL();
int gtype_is_PIX();
int gtype_is_WIN_PIX();
// Whether the open workstation shows raster images (windows, PostScript);
// plotters and metafiles draw only lines, fills and text.
int gtype_shows_images();
int gdevice_letter(int letter);   // device letter rule: D window, M meta, P PostScript, H/Q HPGL, W embedded

// ---- kernel errors ----
int gerr_printf(const char *name, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// ---- transforms (Part of the kernel: world, NDC, device) ----
int gset_win(int n, const float *r);
int gset_vp(int n, const float *r);
int gsel_norm_tran(int n);
int ginq_norm_tran(int n, int *err, float *out8);
int ginq_cur_norm_tran_num(int *err, int *n);
int gset_ws_win(int ws, const float *r);
int gset_ws_vp(int ws, const float *r);
// units = 1, size = width-1, height-1, raster = width, height.
int ginq_disp_space_size(int ws, int *err, int *units, float *size2, int *raster2);
int ginit_tran(int mode);
float xW_NDC(float x);
float yW_NDC(float y);
float xW_p(float x);
float yW_p(float y);
float xp_W(float x);
float yp_W(float y);
float xNDC_p(float x);
float yNDC_p(float y);
float xW_ps(float x);
float yW_ps(float y);
float xNDC_ps(float x);
float yNDC_ps(float y);
float xW_trans(int a, int b, float x);
float yW_trans(int a, int b, float y);
float xZ_p(float x);
float yZ_p(float y);
int gzoom(int frame, int x, int y, int factor, int again);
int gunzoom();
int greset_zoom();
int gget_zoom();
int gpts_in_win(int n, const float *pts);
int gget_xviewport(GXRect *r);
int gget_gviewport(int *r4);
int gset_win_size(int w, int h);
int gset_tran_mult();
int greset_clip();
int gprint_win();

// ---- world layer ----
// GPH_begin and GPH_setup return -1 when the kernel or the workstation
// cannot be opened (the program is to end with status 4) or the device
// question was answered with "exit" (status 0); see ZYR_request_exit.
int GPH_begin(int ws, const char *conn, int *type);
int GPH_end(int ws);
int GPH_setup(int ws, int *type, float *panel, float aspect);
int GPH_reset(int ws, int *type, float *panel, float aspect);
int GPH_panel(int ws, int *type, float *panel, float aspect);
int ginq_maxview(int ws, float *xvp, float *yvp);
// align[0], align[1]: 2 centre, 3 against the high edge (anything else: low edge).
int gset_aspect(const float *in, float *out, const int *align2, const float *aspect2);
int GPH_set_view_size(float sizex, float sizey, float offx, float offy);
int GPH_get_view_size(float *r);
float GPH_get_vert_win_size();
int GPH_trans(int n);
int GPH_view(int n, const float *r);
int GPH_win(int n, const float *r);
int GPH_get_view(int n, float *r);
int GPH_get_win(int n, float *r);
int GPH_print_view(const float *r);
int GPH_set_win_title();
// The device code asked for; -1 after an "exit" answer.
int GPH_device_prompt(int *type);
int gdevice_setup(const char *s, char *rest);
int GPH_line_attr(const ATTRIB *rec);
int GPH_fill_attr(const ATTRIB *rec);
int GPH_mark_attr(const ATTRIB *rec, float size);
int GPH_text_attr(const ATTRIB *rec, float height);
int GPH_set_color(int i, float r, float g, float b);
int GPH_text_font(const char *name);
int GPH_set_def_font(const char *name);
int GPH_text_align(int h, int v);
int GPH_get_text_align(int *h, int *v);
int GPH_text_rotate(float deg);
int GPH_line(float x1, float y1, float x2, float y2);
int GPH_mark(float x, float y);
int GPH_border(const float *r);
int GPH_rect(float x1, float y1, float x2, float y2);
int GPH_frect(float x1, float y1, float x2, float y2);
int GPH_circle(float x, float y, float radius);
int GPH_fcircle(float x, float y, float radius);
int GPH_pprint(const float *pos, const char *text);
int GPH_pprintf(const float *pos, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
int GPH_printf(const char *fmt, double x, double y, ...);
int GPH_hold(int mode);

// ---- workstation ----
int gopen_gks(const char *errfile, int size);
int gclose_gks();
int gemergency_close_gks();
// Program start of the whole kernel: the workstation and the kernel closed,
// the colour table emptied, and every module and file driver back to its
// start settings.
int greset_kernel();
int gget_ws_id();
int gopen_ws(int ws, const char *conn, int type);
int gclose_ws(int ws);
int gactivate_ws(int ws);
int gdeactivate_ws(int ws);
int gclear_ws(int ws, int flag);
// The next page: file devices end the page and begin another; a device
// without pages (or a file that holds one page) is cleared as gclear_ws does.
int gnew_page(int ws);
int gupdate_window();
int gsync();
int gbell(int volume);
int gmessage(int ws, const char *text);
int gcreate_seg(int n);
int gclose_seg(int n);
int gdel_seg(int n);
int ginit_plot(int mode);
int gset_geometry(const char *s);
int gset_win_type(int t);
int gset_pix_mode(int m);
int gget_pix_mode();
int gset_iconic(int flag);
int gset_fixed_size();
int gset_icon_bitmap(const unsigned char *bits288);
int gset_prog_name(const char *s);
int gset_inverse(int flag);
int gget_inverse();
int gset_local_colormap(int flag);
int gset_background(const char *name);
int gset_rw_colors(int flag);
int gset_xoff(int x, int y);
int gset_xsize(int w, int h);
int gset_win_title(const char *s);
int gset_win_title_extra(const char *s);
int gget_win_title_extra(char *buf);   // buf of at least 64 bytes
const char *gget_win_title();
int gget_win_depth();
int gget_win_size(int *w, int *h);
int gget_win_offset(int *x, int *y);
int gget_root_size(int *w, int *h);
int gget_window_width();
int gget_window_height();
unsigned long gget_red_mask();
unsigned long gget_grn_mask();
unsigned long gget_blu_mask();
int gchk_graphics();
int gis_mapped();
int gresize_window(int w, int h);
int gset_cursor_type(int t);
int gset_cursor(int t);
int gget_cursor_type();

// Cursor types.
enum { GCUR_X = 0, GCUR_LEFT_PTR, GCUR_FLEUR, GCUR_EXCHANGE, GCUR_DOT, GCUR_PENCIL,
       GCUR_TCROSS, GCUR_XTERM, GCUR_WATCH, GCUR_COUNT };

// ---- colours ----
int gset_colr_rep(int ws, int i, const float *rgb);
long galloc_colr(int i, float r, float g, float b);
long gget_color_ind(int i);
int gget_color_rgb(int i, float *r, float *g, float *b);
int gget_color_rgb256(int i, int *r, int *g, int *b);
unsigned long gget_color_rgb_Xval(unsigned r16, unsigned g16, unsigned b16);
int gis_color_near(int i, int by_pixel, float r, float g, float b);
int gis_valid_colr(int i);
int gis_color_alloc(int i);
int gget_max_colr();
// 1 when the open workstation's background is light (a white page, a window
// filled white or with a light colour), so drawings over it want a dark
// colour; with no workstation open, the inverse setting.
int gis_back_light();
long gget_back_color();
int ginit_xcolr();
int ginit_background();

// ---- frames and looping ----
int ginit_loop();
int gcreate_frame(int n);
int gselect_frame(int n);
int gdisplay_frame(int n);
int gclear_frame(int n);
int gcopy_frame(int dst, int src);
int gswitch_frame(int a, int b);
int gdelete_frame(int n);
int gdelete_all_frames();
int gset_looping(int flag);
int gtoggle_loop(int flag);
int gget_looping();
int gset_loop_direct(int d);
int gget_loop_direct();
int gset_loop_delay(int n, float seconds);
int ginc_loop_delay(float step);
float gget_loop_delay();
float gget_frame_delay(int n);
int ginc_frame(int step);
int gloop_sleep();
int gget_num_images();
int gget_cur_frame();
unsigned long gget_frame_id(int n);
int gset_frame_id(int n, unsigned long id);
int gset_loop_title(int flag);
int gprint_frame_ids();
int gset_image_data(int n, const void *data, int len);   // at most 52 bytes
int gget_image_data(int n, void *data);                  // returns the length
int gappend_frame();                                     // a client's request for a new last frame

// ---- lines ----
int gpolyline(int n, const float *pts);
int gset_line_colr_ind(int i);
int gset_linewidth(float w);
int gset_linetype(int t);
int gset_line_print_bold(int n);
int gget_line_colr();
int gset_line_gc_func(int f);
int gget_line_gc_func();
int greset_line();
int ginit_line(int mode);
int gxline(unsigned long win, const int *p1, const int *p2);
int gxrect(unsigned long win, const int *p1, const int *p2);

// ---- fills ----
int gfill_area(int n, const float *pts);
int gset_fill_colr_ind(int i);
int gset_fill_int_style(int s);
int gset_fill_style_ind(int k);
int gset_fill_print_solid(int flag);
int gget_fill_print_solid();
int gget_fill_colr();
int greset_fill();
int ginit_fill(int mode);
int gdel_fill_pat();
int gfill_test();
// Row bytes of the 20 stipple patterns (8 x 8, most significant bit leftmost).
const unsigned char *gget_fill_pattern(int k);

// ---- markers ----
int gpolymarker(int n, const float *pts);
int gset_marker_colr_ind(int i);
int gset_marker_type(int t);
int gset_marker_size(float s);
int gset_marker_width(float w);
int gget_marker_colr();
int greset_marker();
int ginit_marker(int mode);

// ---- text ----
int gtext(const float *pos, const char *s);
int gset_text_colr_ind(int i);
int gset_char_ht(float h);
int gset_expan(float e);
int gset_text_width(float w);
int gset_space(float s);
int gset_char_space(float s);
int gset_char_up_vec(const float *v);
int gset_text_align(const int *a2);
int ginq_text_align(int *a2);
int gset_text_path(int p);
int gset_fontprec(const int *fp2);
int gset_font_list(const char *s);
int gsetup_fonts();
int gget_font_index(const char *name);
int read_font(const char *file);
int gset_font_drop(int n);
int gget_font_drop();
int gset_font_drop_color(int i);
int greset_text();
int ginit_text(int mode);
int gget_text_colr();
// Width of a string in world units with the current text settings (stroke fonts).
float gtext_width(const char *s);

// ---- image transfer ----
int gload_image(IMG *img, int x, int y);
int goverlay_image(IMG *img, const char *colour, int x, int y);
int gget_image(IMG *img);
// The headless window's picture where it lies, without a copy: the record
// points into the drawing target's pixels (32 bits a pixel, least
// significant byte first, the fourth byte not part of the colour), valid
// until the next drawing call, and must not be freed (set its data to null
// before IMG_free).  0 when the workstation holds no such picture (an X
// server, a packed picture, a big-endian host): use gget_image.
int gget_image_view(IMG *img);
int gload_image_file(const char *name, int x, int y);
int goverlay_image_file(const char *name, const char *colour, int x, int y);
int gread_image_file(const char *name, IMG *img);
int gquery_image_file(const char *name, IMG *img);
int gsave_image_file(const char *name);
int gset_save_image_type(int t);
int gget_save_image_type();
int gsetup_image_colors(IMG *img, long transparent);

// ---- layers ----
// The kernel's drawing state as bytes: output attributes, transforms, the
// clip, the window's size and the colour table.  The same drawing calls made
// from equal states set the same pixels.
int gdraw_state(std::string *out);
// Puts back the output attributes and the selected transform of a state
// copy (the device told of each).  0, or -1 for a copy of another size.
int gdraw_state_restore(const std::string &in);
// Layers, on the headless window: what is drawn between glayer_begin and
// glayer_end goes to a picture of its own, and glayer_end keeps the pixels
// it set with their colours as a layer, puts it onto the drawing target and
// returns its id (> 0).  Putting a layer sets those pixels again, as
// drawing the same calls would have, whatever lies under them.
// glayer_begin returns 0 where layers cannot be kept (other devices, the
// display list recording, a layer already open): draw as usual.  glayer_end returns 0, putting
// nothing, when what was drawn depends on what lies under it (an
// exclusive-or line): draw it again on the target itself.
int glayer_begin();
int glayer_end();
// 1 put onto the drawing target, 0 for an unknown layer (the device closed
// or resized since: layers go with the pictures).
int glayer_put(int id);
int glayer_free(int id);

// ---- events and the hold loop ----
int gcheck_event();
int gwait_event();
int ghold(int mode);
int ginit_event(int mode);
// Callback kinds: 2 key or resize ("size"), 3 mouse button; x, y in world
// coordinates of the selected transform (for "size" the new width, height).
typedef int (*GUserFunc)(int kind, const char *name, float x, float y);
typedef int (*GRefreshFunc)();
int gset_mouse_callback(GUserFunc fn);
int gset_refresh_callback(float seconds, GRefreshFunc fn);
int gset_input_mode(int flag);
int gget_input_mode();
int gset_rubber_band(int kind);
int gset_rubber_band_points(const float *pts, int n, int constraint);  // world points
int gset_rubber_band_limits(const int *r4);
union _XEvent;
int gprocess_x11_event(union _XEvent *ev);

// ---- display list ----
int gset_redraw(int flag);
int gget_redraw();
int gset_cache(int flag);
int gget_cache();
typedef int (*GRedrawFunc)(void *data);
int gset_redraw_func(GRedrawFunc fn, const void *data, int size);
int gclear_objs();
int ginit_objs();
int gnum_objs();
int gobj_redraw_plot();
int gobj_print_plot();
int gobj_print_meta();
int gclear_region(const float *r);
int gdel_seg_objs(int n);
