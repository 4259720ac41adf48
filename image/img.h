// The image record that every image travels in (satellite files, remapped
// images, window grabs), its small set of operations, and the program's own
// image file, ZYRIMG: a four-line text header followed by the pixel rows,
// plain or as a chain of independent zlib streams.
#pragma once

#include <cstdint>
#include <cstdio>

#include "files/date.h"
#include "map/dom.h"

// Input types that produce an image (the same codes as the input-type flag).
constexpr int IMG_SRC_ZYR = 50;
constexpr int IMG_SRC_AREA = 51;
constexpr int IMG_SRC_AWIP = 53;
constexpr int IMG_SRC_UNISYS = 55;
constexpr int IMG_SRC_TIFF = 59;
constexpr int IMG_SRC_LRIT = 60;

// Plain record, fields in file order of the program's data model.  The
// pixels are rows from the top; `data` and `cmap` are owned by the record.
struct IMG {
    int32_t source;        // input type that produced the image, 0 when unset
    int32_t type;
    int32_t version;
    char date_label[52];   // at most 51 characters
    DATE date;
    char info[76];         // at most 75 characters
    int32_t nx;
    int32_t ny;
    int32_t depth;         // bits of value per pixel (8 for satellite data)
    float res_x, res_y;    // sensor resolution, element and line direction
    float off_x, off_y;    // full-frame position of the first element and line
    int32_t bits_pixel;    // storage bits per pixel: 8, 16, 24, 32; 0 plain bytes
    int32_t bytes_line;
    int32_t byte_order;    // 1 most significant byte first, 0 least first
    int32_t indexed;       // 1 values index the colour table, 0 true colour
    int32_t ncolors;
    uint32_t red_mask, green_mask, blue_mask;
    float *cmap;           // ncolors (r, g, b) triples in 0..1, or null
    int32_t transparent;   // index of the transparent colour, -1 none
    DOM domain;            // proj -9999 when the image has no map domain
    unsigned char *data;   // bytes_line * ny bytes, or null
};

int IMG_init(IMG *image);
int IMG_free(IMG *image);
int IMG_print(uint32_t level, const IMG *image);
// Copies every field and gives the destination its own pixel buffer.  The
// colour table pointer is shared, not duplicated: free it through one record.
int IMG_copy(IMG *dest, const IMG *src);

// Any supported image file, chosen by its first bytes.  query 0 reads for
// display, 1 only for its properties.  Nonzero success, 0 failure.
int IMG_read(const char *name, IMG *image, int query);
// 1 success, -1 unopenable, not a ZYRIMG file or pixels that end early, 0 no
// memory for the pixels.
int IMG_read_zyr(const char *name, IMG *image, int flag);
// Same reader on an open stream (the "*" option's pixel file is still opened
// by name).  Used by IMG_read_zyr and by the fuzz target.
int IMG_read_zyr_stream(FILE *in, const char *name, IMG *image);
// 1 success, 0 when the file cannot be created.
int IMG_write(const char *name, const IMG *image, int compress);
// The current window as a ZYRIMG file with the plot's map domain (widened
// from the panel to the whole window), date and labels: 1 success, 0 failure.
int IMG_dump(const char *name);
