// Reader dispatch: picks the reader for the input-type flag, fills the one
// image record, prints what it found, sets the plot labels and the
// satellite navigation state.
#pragma once

#include "image/area.h"
#include "image/img.h"

// 1 when an image was read, 0 otherwise (also 0 after an "output" request).
int SAT_read_file(const char *name, IMG *image);
// The AREA record of the last AREA file read (navigation set-up reads it).
const AREA_REC *SAT_get_area();
