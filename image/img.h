// The image record that every image travels in (satellite files, remapped
// images, window grabs), its small set of operations, and the program's own
// image file, ZYRIMG: a four-line text header followed by the pixel rows,
// plain or as a chain of independent zlib streams.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/records.h"

int IMG_print(uint32_t level, const IMG *image);

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

// Fills the image layer's hook slots: reading any image file into the
// graphics kernel and writing the kernel's save types.
void IMG_register_hooks();
// Program start of the image layer: no navigation, no byte swapping, no
// segment file open, plain GIF output.
void IMG_reset();
