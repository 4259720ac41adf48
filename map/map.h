// The map transform layer: one current domain, forward and inverse
// transforms between latitude/longitude and plot coordinates, the domain's
// limits and grid, and the direction helpers used for wind plotting.  The
// current domain is a projection object (map/proj.h); code that needs
// another domain's transforms makes its own object with MAP_make_proj.
// Earth distances are in units of 100 km; angles in degrees.
#pragma once

#include <cstdio>
#include <string>

#include "map/dom.h"
#include "map/proj.h"

// Earth radius in 100 km units.
constexpr float MAP_EARTH_R = 63.7122f;

// Install a domain (copied).  Returns 0, or -1 for a null argument.
int MAP_domain(const DOM *dom);
// Copy the current domain to out; with out null, return a pointer to it.
DOM *MAP_get_domain(DOM *out);
void MAP_print_domain();

void MAP_proj(int code);
void MAP_coord(float plat, float plon);
void MAP_proj_coord(const float t[2]);
int MAP_get_proj();
float MAP_get_clat();
float MAP_get_clon();
int MAP_proj_str(const char *word);

// The projection object of dom as MAP_domain would install it (with the
// viewport of MAP_set_view), ready for its transforms; the current domain
// stays as it is.  dom must not be null.
MapProj MAP_make_proj(const DOM *dom);

// Forward: 1 drawable, 0 not (outputs -9999).
int MAP_tran(float *x, float *y, float lat, float lon);
// Inverse: same convention.
int MAP_untran(float *lat, float *lon, float x, float y);
int MAP_tran_center(float *x, float *y);
int MAP_tran_ep(float pt[2], const float latlon[2]);
int MAP_tran_pe(float pt[2], const float xy[2]);

void MAP_set_limits();
// out4: xmin, xmax, ymin, ymax
void MAP_get_limits(float out4[4]);
void MAP_get_up_left(float *x, float *y);
// vp: x1, x2, y1, y2
void MAP_set_view(const float vp[4]);

int MAP_grid_tran(float *x, float *y, float i, float j);
int MAP_grid_untran(float *i, float *j, float x, float y);
int MAP_in_domain(float x, float y);
int MAP_in_grid_domain(float x, float y);
int MAP_domain_tran(const DOM *from, const DOM *to, float *x, float *y, float x0, float y0);
float MAP_factor(float lat);

// Directions in degrees clockwise from north.
float MAP_dir_adj(float dir, float x, float y);
float MAP_undir_adj(float dir, float x, float y);
float MAP_uvdir_adj(float u, float v, float x, float y);
float MAP_dir(float x1, float y1, float x2, float y2);
void MAP_offset(float *x, float *y, float x0, float y0, float dir, float dist);

// ---- map overlay and map database ----

// Install a domain for drawing: MAP_domain, then the world window of
// normalisation transform 2 becomes the domain's limits and is selected.
int MAP_setup(const DOM *dom);
// Draw the map list and grid for a phase mask (1 under the image, 2 and 4
// over it).  Returns 0.
int MAP_draw(int phase);
// What MAP_draw(phase) draws from apart from the graphics kernel's state
// and the map files' contents (the domain, the list, its settings and the
// resources it reads), as bytes: equal keys, from equal kernel states, draw
// the same.  Empty when lines or text go to a sink rather than the kernel.
std::string MAP_draw_key(int phase);
// One map list item: 0 when something was drawn, -1 otherwise.
int MAP_process(const char *item);
// Draw the segments of an open map database file (text or big-endian).
// 0, or -1 when a header or its points cannot be read.
int MAP_map(FILE *stream);
// The latitude/longitude grid; -1 without drawing for an unusable spacing.
int MAP_lines(float latsp, float lonsp);
int MAP_file(const char *name);
// The map list in use ("" until set or chosen by MAP_draw).
const char *MAP_get_file();
int MAP_set_format(const char *text);
int MAP_fill_cont(int flag);
int MAP_latlon(int dot, int extra, float latsp, float lonsp);
int MAP_get_latlon(float *latsp, float *lonsp);
int MAP_get_window(float out4[4]);
float MAP_get_vert();
float MAP_get_hor();
int MAP_draw_circle(float x, float y, float radius);
int MAP_set_plot_limit(int n);
int MAP_plot_grid_init();
int MAP_plot_grid(float x, float y);
int MAP_callback(int kind, const char *name, float x, float y);

// Where the overlay's finished polylines go: by default the graphics
// kernel (gpolyline, or gfill_area when filling).  A sink sees every line
// in plot coordinates (x, y pairs) instead; nullptr restores the kernel.
typedef void (*MAP_LINE_SINK)(int n, const float *pts, int filled);
void MAP_set_line_sink(MAP_LINE_SINK sink);
typedef void (*MAP_TEXT_SINK)(float x, float y, const char *text);
void MAP_set_text_sink(MAP_TEXT_SINK sink);

// Fills the map layer's hook slot: domain and region resources decoded by
// DOM_decode.
void MAP_register_hooks();
// Program start of the whole map layer: the default domain, no overlay
// settings, sinks, region menu or priorities of a previous decoding.
void MAP_reset();
