// Domains: where on the earth (or on a diagram) a picture lies, the text
// syntax users and files write them in, named regions and the region file,
// and the plotting priority derived from a domain's size.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"

// Parse a domain string: 1 explicit domain, 2 through a region name, -9999
// empty/"miss", -1 invalid, and -1 also when a built-in region's prompt
// asked for the program's end (ZYR_exit_requested).
int DOM_decode(const char *text, DOM *dom);
int DOM_proj_str(const char *word);
// Printed name of a projection code ("" when it has none).
const char *DOM_proj_name(int proj);
void DOM_print(unsigned mask, const DOM *dom);
// The domain string DOM_print writes, without the newline.
std::string DOM_string(const DOM *dom);
int DOM_comp(const DOM *a, const DOM *b);
int DOM_comp_proj(const DOM *a, const DOM *b);
float DOM_aspect(const DOM *dom);

int DOM_get_region(DOM *dom, int mode);
int DOM_get_grid_domain(DOM *dom);
// A decode result, 0 when the menu is left, -1 after five answers without a
// domain, and -1 when the program is to end: a set region that does not
// decode (status 43), "q", "quit", "exit" or the end of input (status 0).
int DOM_prompt_region(DOM *dom, int mode);

// Region file access.
int DOM_read_menu(const char *file);
int DOM_search_file(const char *file, const char *name, char *out, int out_size = 501);
int DOM_print_file(const char *file);
const char *DOM_get_region_name(int i);
// Key of region menu entry i (nullptr past the end).
const char *DOM_get_region_key(int i);

// Priorities.
int DOM_set_base_prior(float size);
int DOM_set_prior(int n);
int DOM_get_prior();
int DOM_set_loc_prior(int n);
int DOM_get_loc_prior();
int DOM_set_prompt_region(int on);

// Station look-up in a city database ("sao.cty" when file is null/empty):
// 1 found (lat/lon set), 0 not found.
int CTY_get_loc(const char *file, const char *station, float *lat, float *lon);

// The geostationary fixed grid (the satellite view, proj 9, with scan angles
// on a given ellipsoid): `ellipsoid` holds the sweep axis, parm[0] the
// satellite's distance from the earth's centre, parm[1] 1 (scan angles),
// parm[2] and parm[3] the semi-major and semi-minor axes, all in 100 km.
// Plot x/y are the scan angles times the height above the ellipsoid, so
// PROJ's +proj=geos x/y in metres / 1e5.  Codes 0 and 1 keep their meaning
// (sphere; the built-in GRS80 ellipsoid, sweep y with the angles scaled by
// the satellite's distance).
constexpr int DOM_GEOS_SWEEP_Y = 2;
constexpr int DOM_GEOS_SWEEP_X = 3;
inline bool DOM_is_geos(const DOM *dom) { return dom->proj == DOM_SAT && dom->ellipsoid >= DOM_GEOS_SWEEP_Y; }

struct DOM_FIXED_GRID { double sub_lon /*deg*/, height /*m above ellipsoid*/, semi_major, semi_minor /*m*/;
                        int sweep_x /*1 x (GOES-R), 0 y (MSG)*/; double x0, y0 /*scan angles (rad) of the centre of
                        column 0, row 0 = top left*/; double dx, dy /*rad per column (x grows east) and per row
                        (dy < 0 for rows going south, i.e. y0 + row*dy)*/; int nx, ny; };
// Fills dom so that grid index (col, row) of an nx x ny image lies at the
// scan angles (x0 + col*dx, y0 + row*dy).  0 ok, -1 unusable: parameters
// that are not numbers or not physical, columns running west or rows
// running north (dx <= 0, dy >= 0), or a grid centre off the earth's disc.
int DOM_set_fixed_grid(DOM *dom, const DOM_FIXED_GRID *g);  // 0 ok, -1 unusable
