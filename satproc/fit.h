// The image's own domain from its navigation (AREA_calc_domain,
// GVAR_calc_domain), the plot domain that shows an image pixel for pixel
// (SAT_image_setup) and a requested domain sized to the window
// (SAT_domain_image).
#pragma once

#include "image/area.h"
#include "image/img.h"
#include "map/dom.h"

// Fills image->domain from an AREA file's directory and navigation block;
// call after AREA_init.  Returns 0.
int AREA_calc_domain(IMG *image, const AREA_REC *area);
// Satellite-projection domain of a GVAR-navigated image.  Returns 0.
int GVAR_calc_domain(IMG *image);
// Plot domain of the image as displayed; applies the pixel offset.  Returns 0.
int SAT_image_setup(IMG *image, DOM *plot);
// Sizes a requested earth domain to the window.  Returns 0.
int SAT_domain_image(DOM *dom);
// Width and height in pixels of the image panel (normalisation transform 2)
// when graphics are open, else of the resource "geometry", else 640 x 427.
void SAT_view_size(int *w, int *h);
