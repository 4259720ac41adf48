// Reader dispatch: the reader table's row for the input-type flag fills the
// one image record; the program prints what it found and sets the plot
// labels and the satellite navigation state.
#pragma once

#include "image/img.h"

// 1 when an image was read, 0 otherwise (also 0 after an "output" request).
// A read that asks for the end of the program (a region prompt answered
// with "exit") ends it here, before any further message.
int SAT_read_file(const char *name, IMG *image);
