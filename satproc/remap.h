// Remapping a navigated image onto a map domain, and zooming an image in its
// own geometry.  Both replace the image's pixels and domain.
#pragma once

#include "image/img.h"
#include "map/dom.h"

// 1 remapped, 0 without change (missing output projection or unusable image).
int SAT_remap_image(IMG *image, DOM *dom);
// What SAT_remap_image does to the record, without the pixels: the image
// takes the domain and its size and drops its pixel data.  For devices that
// cannot show an image, whose plot needs only the domain.  Same result,
// except that domains above the remap's 100 million pixels are taken too.
int SAT_remap_domain(IMG *image, const DOM *dom);
// Zooms by factor about (lat, lon), or from the upper-left when lat is -9999.
int SAT_zoom_image(IMG *image, float lat, float lon, float factor);

// Source positions (column, row of the image; NaN where nothing traces) of
// output row `row` of `dom`: per_pixel 0 as the remap traces it (stepped, or
// exact mode for remap_inc 0), 1 every pixel traced by the same path as the
// stepped mode's segment ends.  For tests and measurements.  0, or -1 when
// the domain or row is unusable.
int SAT_remap_positions(const IMG *image, const DOM *dom, int row, int per_pixel, float *cols, float *rows);

// Reuse of the remap's table between frames (on unless the environment sets
// ZYR_REMAP_REUSE=0): frames whose source navigation, size, target domain
// and remap settings match gather through one table instead of tracing
// again (the first of them traces straight into its pixels, the second
// builds the table); the pixels are the same either way.  The switch
// is for tests and measurements; turning it off frees the table.
void SAT_remap_set_reuse(int on);
// Whether the margins around the image are found and filled without
// tracing (on at start); the pixels are the same either way.  For tests and
// measurements; the table is freed.
void SAT_remap_set_margins(int on);
// Tables built since the last reset.
long SAT_remap_table_builds();
// Frees the table and puts both switches back.
void SAT_remap_reset();
