// Memory entry points of the AWIPS, Unisys, TIFF and LRIT readers (the
// file readers of image/sat_read.h load the file and call these; the fuzz
// targets and tests call them directly), PNG_read_data, and the LRIT reader
// state functions.
#pragma once

#include <cstddef>
#include <cstdio>

#include "image/img.h"

// AWIPS product: variant 53 plain, 54 zlib-compressed (the bytes decide when
// they disagree with the variant).  `name` is used in messages only.
int SAT_read_AWIP_mem(const unsigned char *data, size_t size, int variant, const char *name,
                      IMG *image);
int SAT_read_Unisys_mem(const unsigned char *data, size_t size, const char *name, IMG *image);
int SAT_read_TIFF_mem(const unsigned char *data, size_t size, const char *name, IMG *image);

// libpng read callback over a PNG stream held in memory (see gini.cpp).
struct png_struct_def;
void PNG_read_data(png_struct_def *png, unsigned char *buffer, size_t length);

// LRIT reader state: one file at a time.
int LRIT_open(const char *path);   // 1 opened, 0 failure
// Starts a file on a stream the caller keeps (fmemopen for fuzzing).
int LRIT_open_stream(FILE *in, const char *name);
int LRIT_close();
int LRIT_header();                 // 1 while records remain
int LRIT_read_header(IMG *image);
int LRIT_read(IMG *image);         // 0 success, -1 failure
