// The PostScript driver: workstation type 4 writes the picture as a
// PostScript program.  A fixed prologue defines short operators, every path,
// colour, width or dash change is one command line, and the satellite image
// goes out as hexadecimal image data.  Coordinates handed to the *_abs
// functions are driver units (points, y up); the kernel converts world
// coordinates and decides clipping, the driver only writes.
#pragma once

#include <cstdio>

#include "gks/drivers/devfile.h"

struct IMG;

// ---- the file ----
FILE *gps_open_file(const char *name);
int gps_init();
int gps_init_file();
int gps_close_file();
// Program start: an open file closed as it is, every setting at its start
// value.
void gps_reset();
// Ends the page (showpage) and starts the next one ("%%Page: n n", its own
// save level, operators and placement), so that each plot of a run gets a
// page.  -1 without a change when the file holds one page: encapsulated,
// appended to an existing file, or no file open.
int gps_new_page();

// Opening as a workstation: the output file from file (the connection
// string's second field), else "zyrps_print", "PSPRINT", "zyr.ps"; device options from
// "zyrps_param" then options (the connection's further fields); placement from geom
// (the "geometry" resource, null when unset), else "zyrps_geometry", else
// "PSGEOMETRY".  Writes the prologue.  page gets the drawable area in points
// and its offset.  inverse is set to 1 when the "color" option asks for
// inverse window colours (untouched otherwise).  Returns 0, or -1 (with
// "gopen_ws: unable to open postscript file\n") when the file cannot be opened.
int gps_open_ws(const char *file, const char *options, const char *geom, const char *title,
                GDRV_PAGE *page, int *inverse);
// Applies one device option word; false when the word is not an option.
bool gps_option(const char *word, int *inverse);

// ---- settings ----
void gps_set_size(float lng, float shrt);
void gps_set_EPS(int flag);
void gps_set_orient(int flag);  // 1 unrotated, 0 rotated landscape
void gps_set_scale(float s);
// Colour (1) or gray (0) output, now and for every later workstation open
// (device options given at the open still choose for that page).
void gps_set_colorPS(int flag);
int gps_get_colorPS();
void gps_set_reverse(int flag);
void gps_set_base_width(float w);
void gps_set_title(const char *title);  // written into the prologue
// The drawable area of the current paper in points: (long - 0.5) x (short - 0.5) inches.
void gps_page_area(float *width, float *height);

// Line and fill state the kernel keeps and the driver needs at write time.
void gps_set_print_bold(float factor);
void gps_set_print_solid(int flag);

// ---- colours ----
// i is 0..255 or -1 (the background).  The driver keeps the colour too, for
// colour output.
void gps_set_color_rep(int i, float r, float g, float b);
float gps_get_gray(int i);
void gps_set_color(int i);
void gps_set_fill_color(int i);

// ---- lines ----
void gps_set_width(int colour, float w);
void gps_set_type(int t);

// ---- output ----
int gps_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void gps_move_abs(float x, float y);
void gps_line_abs(float x, float y);
// Clip to a driver-unit rectangle: initclip and the rectangle moved out by 0.1.
void gps_clip(float x1, float y1, float x2, float y2);
// An image of 8-bit colour indexes into the viewport rectangle (driver
// units: lower left corner, width, height), padded with white.  x0, y0 are
// the image offsets: negative pads with -x0 columns / -y0 rows, positive
// starts at that column / row of the image.
int gps_image_rect(const IMG *img, int x0, int y0, int vx, int vy, int vw, int vh);

// World-coordinate forms (through the kernel's world-to-driver converters)
// and the image in the current viewport.
void gps_move(float x, float y);
void gps_line(float x, float y);
int gps_image(const IMG *img, int x0, int y0);
