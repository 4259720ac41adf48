// The HPGL driver: workstation type 5 writes HP-GL/2 plotter commands,
// optionally wrapped for PCL printers.  Plotter units are 1015 per inch (the
// kernel's driver units, y up); the kernel converts and clips, the driver
// only writes.  Pen colour is approximated by shading ("SV"), fills by
// shaded fill types.
#pragma once

#include <cstdio>

#include "gks/drivers/devfile.h"

// ---- the file ----
FILE *ghpgl_open_file(const char *name);
int ghpgl_init();
int ghpgl_init_file();
int ghpgl_close_file();
// Program start: an open file closed as it is, every setting at its start
// value.
void ghpgl_reset();
// Ends the page (pen away, "PG;", the PCL end in PCL modes) and starts the
// next one as a new file starts, so that each plot of a run gets a page.
// -1 without a change when appending to an existing file or no file is open.
int ghpgl_new_page();

// Opening as a workstation: file from the connection's second field, else
// "zyrhp_out", else "zyr.hpgl"; options from "zyrhp_param" then the further
// fields; placement from geom (the "geometry" resource, null when unset),
// else "zyrhp_geometry".  Writes the start of the file.  page gets the
// drawable area and offset in plotter units.  Returns 0, or -1 after
// "gopen_ws: unable to open HPGL file\n".
int ghpgl_open_ws(const char *file, const char *options, const char *geom, GDRV_PAGE *page);
// Applies one device option word; false when the word is not an option.
bool ghpgl_option(const char *word);

// ---- settings ----
void ghpgl_set_pcl(int mode);       // 0 none, 1 PCL wrapper, 2 wrapper and a 90 degree turn
void ghpgl_set_rotate(int deg);     // 0, 90, 180, 270
void ghpgl_set_scale(float s);      // accepted, no effect
void ghpgl_set_color_rep(int i, float r, float g, float b); // accepted, no effect
void ghpgl_set_base_width(float w);
void ghpgl_set_size(float lng, float shrt);
void ghpgl_set_colorPS(int flag);
int ghpgl_get_colorPS();
void ghpgl_set_reverse(int flag);
void ghpgl_set_print_bold(float factor);
void ghpgl_set_print_solid(int flag);
// The drawable area in plotter units for the paper and rotation: (long -
// 0.5) x (short - 0.5) inches, axes swapped when the plotter is turned by
// 90 or 270 degrees.
void ghpgl_page_area(float *width, float *height);

// ---- attributes ----
void ghpgl_set_color(int i);
void ghpgl_set_fill_color(int i);
void ghpgl_set_width(int colour, float w);
void ghpgl_set_type(int t);

// ---- output ----
int ghpgl_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void ghpgl_move(float x, float y);  // world coordinates
void ghpgl_line(float x, float y);
void ghpgl_move_abs(float x, float y);
void ghpgl_line_abs(float x, float y);
// A connected line: "PU" to the first point, "PD" to the others, a newline
// after every tenth point and at the end.
void ghpgl_polyline(int n, const float *xy);
// A filled polygon with the current fill type.
void ghpgl_polygon(int n, const float *xy);
void ghpgl_clip(float x1, float y1, float x2, float y2);
