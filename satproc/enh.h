// Colour enhancement: pixel values (0..255) to colour indices through bins
// of an enhancement, infrared temperature <-> pixel value scales, dither
// patterns and the colour bar under the image.
#pragma once

#include <cstdint>
#include <cstdio>

struct IMG;

// Source codes the temperature scales know (the input format numbers).
enum { SAT_SRC_AREA = 51, SAT_SRC_AWIPS = 53, SAT_SRC_AWIPS2 = 54, SAT_SRC_UNISYS = 55 };

// Builds the enhancement of the next frame from "color_fill" and the colour
// table.  Returns 0.
int SAT_color_setup();
// The set-up for an enhancement file already open (the reader proper; the
// file named by "color_fill" and the fuzzers come through here).
int SAT_color_setup_stream(FILE *fp);
// Decodes one enhancement item into entry *n and on, advancing *n.
int SAT_decode_colors(const char *item, int *n);
// Colours an 8-bit image in place and gives the image the colour table.
int SAT_color_image(IMG *image);
// The pixel step of SAT_color_image on bare rows (ny rows of bpl bytes,
// nx pixels each).
int SAT_color_pixels(uint8_t *data, int nx, int ny, int bpl);
// Pixel value of temperature t (deg C) and temperature of pixel value v, for
// the scale of the last image's source.
int SAT_ir_ind(float t);
float SAT_ind_ir(int v);
// 1 when the dither pattern of the size (3 or 5) and density puts the
// second colour at pixel (x, y).
int DITHER_val(int size, int density, int x, int y);

// Source of the last image read; SAT_read_file sets it after each
// successful read so that the temperature scales match the image.
void SAT_set_imager_source(int source);

// What the counts of the last image read stand for (the image record's
// value fields).  Brightness temperatures (IMG_VALUE_TEMPERATURE) sit on the
// AREA infrared scale whatever their format, so they read through it: the
// "c" items of an enhancement and the temperature bar come out true.
// Reflectances and other quantities (IMG_VALUE_REFLECTANCE, _LINEAR) are
// value = offset + scale * count for counts 1..255: their "c" items give
// breaks in those values, the bar is numbered in them, and a linear
// quantity without "color_fill" gets the default value ramp (see
// SAT_color_setup).
struct SAT_VALUE_SCALE {
    int kind;       // IMG_VALUE_*
    float offset;
    float scale;
    char units[24];
    char name[32];
};
// Takes the value fields and the source of the image just read (null: plain
// counts of the AREA source, as at program start).
void SAT_set_image_values(const IMG *image);
SAT_VALUE_SCALE SAT_get_image_values();
// True when the last image's counts are linear in a value (reflectance or
// any quantity) with a usable scale.
bool SAT_values_linear();
// The count at which values reach v on that scale: the first count whose
// value is v or beyond (rounding errors of a float scale forgiven), held to
// 1..256 so that the missing count 0 never starts a value's bin.
int SAT_value_ind(double v);
// Fill pattern of the "fill" plot parameter (0: none) and the test of its
// bit at a pixel (null: the kernel's 8 x 8 pattern bitmaps); a clear bit
// turns the pixel black.
void SAT_set_fill(int pattern, int (*bit_set)(int pattern, int x, int y));

// Read access to the enhancement for the colour bar, the PostScript
// driver and the tests.
struct SAT_ENHANCEMENT {
    int color_max;
    int dither;
    const int *color_fill_ind;   // 256
    const int *color_dith_ind;   // 256
    const int *dither_ind;       // 256
    const int *sat_cut;          // 257
    const int *color_ind;        // 256
    const uint8_t *sat_ind;      // 256
    const uint8_t *sat_dith_ind; // 256
    const uint8_t *sat_dither;   // 256
    const int *sat_color_ind;    // 256
    const char *enhance;
};
SAT_ENHANCEMENT SAT_get_enhancement();
// Dither size kept across frames; tests and new programs reset it.
void SAT_set_dither(int size);
// Device class for the device colours: 0 window and other non-PostScript
// devices, 1 monochrome PostScript, 2 colour PostScript.  -1 (the start):
// follow the device flag and the PostScript driver's colour switch.
void SAT_set_device_class(int cls);
// Program start: no enhancement loaded, no dither, the area imager source,
// the device class from the flag, no fill pattern.
void SAT_reset_enhancement();
