// The plot session: opening and resetting the workstation with the panel,
// plot options, overlays, image dumps, the interactive callbacks (domain
// zoom, resize, refresh, position print) and the corner labels.
#pragma once

#include "files/date.h"

struct DOM;
struct ATTRIB;
struct IMG;

// Program redraw functions taking the domain to draw.
typedef int (*PLT_DOM_FUNC)(DOM *domain);
typedef int (*PLT_EVENT_FUNC)(int kind, const char *name, float x, float y);

// Dump types.
enum { PLT_DUMP_NONE = 0, PLT_DUMP_XWD = 1, PLT_DUMP_GIF = 2, PLT_DUMP_IMG = 3, PLT_DUMP_PNG = 4 };

// Label positions.
enum { PLT_UL = 0, PLT_UC, PLT_UR, PLT_LL, PLT_LC, PLT_LR };
constexpr int PLT_NUM_LABELS = 6;
constexpr int PLT_NUM_LINES = 6;
constexpr int PLT_LABEL_SIZE = 70;

// ---- session ----
// PLT_open returns 0, or -1 when plotting is off or the program is to end
// (the workstation did not open: status 4; see ZYR_request_exit).
int PLT_open(float aspect);
int PLT_reset(float aspect);
int PLT_panel(float aspect);
// 0, or -1 when plotting is off, and in the parent when a batch window is
// handed to a detached child (the parent's program ends with status 0; with
// status 1 when it could not detach).
int PLT_close();
// Closes the workstation and requests the program's end with the code;
// the program ends it when the call returns.  Returns -1.
int PLT_exit(int code);
int PLT_mess(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int PLT_set_view_offset(float f);
int PLT_set_view_offsets(float l, float r, float b, float t);
float PLT_get_view_offset();
int PLT_get_view_offsets(float *out4);
int PLT_get_view(float *out4);
int PLT_border(int flag);
int PLT_set_bar(int flag);
int PLT_bar();
int PLT_get_full_lab();
int PLT_set_num_overlay(int n);
int PLT_set_overlay(int n);
int PLT_set_overlay_base(int n);
int PLT_get_overlay_base();
int PLT_get_num_over();
int PLT_next_overlay();
int PLT_get_work_type();
int PLT_set_zoom(int n);
int PLT_get_zoom();
int PLT_param_decode();
int PLT_panel_decode(const char *text);

// ---- dumps ----
int PLT_set_dump(int type, const char *name);
// Dumps the frame (-1 the last, -4 every frame) or the window's picture.
// A loop's PNG dumps are written on a worker thread, one at a time (see
// plot/plt_dump.cpp); PLT_dump_wait waits for the one in flight and prints
// its outcome.  PLT_close waits too.
int PLT_dump(int frame);
void PLT_dump_wait();
// Whether PLT_dump(frame) shows the frame on the window before writing it
// (a caller about to dump need not show it first).
bool PLT_dump_shows(int frame);

// ---- the map overlay through a layer ----
// MAP_draw(phase), drawn into a layer at the second frame of one domain and
// put onto later frames while the domain, the map settings and the kernel's
// state stay the same (the headless window's frames); elsewhere, and for a
// domain's first frame, it simply draws.  Same pixels.
int PLT_map_draw(int phase);
// The layer's switch (on unless the environment sets ZYR_MAP_LAYER=0), for
// tests and measurements; either way frees the layer.
void PLT_set_map_layer(int on);
// Layers drawn and layers put since the last reset.
long PLT_map_layers_drawn();
long PLT_map_layers_put();
void PLT_reset_map_layer();

// ---- callbacks ----
int PLT_set_callback(PLT_EVENT_FUNC fn);
int PLT_set_zoom_func(PLT_DOM_FUNC fn);
int PLT_set_resize_func(PLT_DOM_FUNC fn);
int PLT_set_refresh_func(float seconds, PLT_DOM_FUNC fn);
int PLT_plot_refresh();
int PLT_print_values(const char *name, float x, float y);
int PLT_print_location(const char *name, float x, float y);
int PLT_plot_zoom(const char *name, float x, float y);
int PLT_plot_resize(const char *name);

// ---- labels ----
int PLT_label_up_left(const char *s);
int PLT_label_up_center(const char *s);
int PLT_label_up_right(const char *s);
int PLT_label_low_left(const char *s);
int PLT_label_low_center(const char *s);
int PLT_label_low_right(const char *s);
int PLT_label_strcpy(int pos, const char *s);
int PLT_label_strcat(int pos, const char *s);
const char *PLT_get_label(int pos, int line);
int PLT_get_label_type();
int PLT_set_label_type(int t);
int PLT_init_labels();
int PLT_label_date(const DATE *date);
int PLT_label_for_time(int hours);
// out must hold PLT_LABEL_SIZE bytes; longer results are cut.
char *PLT_label_format(const char *fmt, char *out);
// The title of an image for its upper-left label, into out (PLT_LABEL_SIZE
// bytes): for an image of physical values (a value kind set) that names its
// platform or field, those two ("G16 RRQPE"); otherwise the reader's info
// text.  Returns out.
char *PLT_image_title(const IMG *image, char *out);
// The attribute of labels, the border and the colour bar's frame: the
// "color_text" resource over black on a light background, white otherwise.
int PLT_label_attrib(ATTRIB *rec);
int PLT_labels();

// The variable table's plot type of slot n (only slot 0 is kept: the label
// machinery reads it).
int VAR_set_type(int n, int type);

// The current window as a ZYRIMG file with the plot's map domain (widened
// from the panel to the whole window), date and labels: 1 success, 0 failure.
int IMG_dump(const char *name);

// Fills the plot layer's hook slots: status lines on the plot's workstation
// and the window events the map layer passes on.
void PLT_register_hooks();
// Program start of the plot session: settings, labels, callbacks, kept
// options and animation requests (the workstation is the kernel's).
void PLT_reset_state();

// Draws the colour bar under the plot panel; ir 1 adds temperature ticks.
// -1 when there is no room.
int SAT_color_bar(int ir);
