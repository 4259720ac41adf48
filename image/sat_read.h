// Reader dispatch: picks the reader for the input-type flag, fills the one
// image record and prints what it found.  The AREA reader itself and its
// record live in image/area.h.
#pragma once

#include "image/area.h"
#include "image/img.h"

// 1 when an image was read, 0 otherwise (also 0 after an "output" request).
int SAT_read_file(const char *name, IMG *image);
// The AREA record of the last AREA file read (navigation set-up reads it).
const AREA_REC *SAT_get_area();

// Readers of the other input types: -1 failure, 0 success.
int SAT_read_AWIP(const char *name, IMG *image);
int SAT_read_Unisys(const char *name, IMG *image);
int SAT_read_TIFF(const char *name, IMG *image);
int SAT_read_LRIT(const char *name, IMG *image);
