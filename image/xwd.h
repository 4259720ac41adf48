// XWD files (X11 window dumps, file version 7, ZPixmap).
//
// The writer stores the record as it stands: its depth, bits per pixel,
// byte order and rows, PseudoColor with its colour table or TrueColor with
// its masks.  The reader fills the record from a dump; like the X server it
// refuses a dump deeper than the record's depth on entry (IMG_read sets it
// to the window's depth).  Messages go to the standard error stream.
#pragma once

#include <cstddef>

struct IMG;

// 1 success, 0 failure.
int XWD_read(const char *name, IMG *image, int query);
int XWD_read_mem(const unsigned char *data, size_t size, IMG *image, int query);
int XWD_write(const char *name, const IMG *image);
