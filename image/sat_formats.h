// PNG_read_data, the libpng read callback of the AWIPS reader, and the LRIT
// reader's state functions.  The readers themselves are reached through the
// reader table (image/reader_table.h) or their file readers (image/readers.h).
#pragma once

#include <cstddef>

#include "image/img.h"

// libpng read callback over a PNG stream held in memory (see gini.cpp).
struct png_struct_def;
void PNG_read_data(png_struct_def *png, unsigned char *buffer, size_t length);

// LRIT reader state: one file at a time.
int LRIT_open(const char *path);   // 1 opened, 0 failure
int LRIT_close();
int LRIT_header();                 // 1 while records remain
int LRIT_read_header(IMG *image);
int LRIT_read(IMG *image);         // 0 success, -1 failure
