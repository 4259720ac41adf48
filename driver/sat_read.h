// Reader dispatch: the reader table's row for the input-type flag fills the
// one image record; the program prints what it found and sets the plot
// labels and the satellite navigation state.
#pragma once

#include "image/img.h"

// 1 when an image was read, 0 otherwise (also 0 after an "output" request).
int SAT_read_file(const char *name, IMG *image);
