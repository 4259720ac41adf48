// The satellite file readers other than AREA (whose reader and record live
// in image/area.h): each fills one image record from a file.
#pragma once

#include "image/area.h"
#include "image/img.h"


// Readers of the other input types: -1 failure, 0 success.
int SAT_read_AWIP(const char *name, IMG *image);
int SAT_read_Unisys(const char *name, IMG *image);
int SAT_read_TIFF(const char *name, IMG *image);
int SAT_read_LRIT(const char *name, IMG *image);
