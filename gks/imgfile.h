// Image files on the workstation: reading a file into the picture, saving
// the picture as a file, and the codes of the save types.
//
// The helpers themselves (gload_image_file, goverlay_image_file,
// gread_image_file, gquery_image_file, gsave_image_file,
// gset_save_image_type, gget_save_image_type) are declared in gks/gks.h.
#pragma once

// Save types of gset_save_image_type.  PNG is the default: lossless for
// every picture the palette writers can hold, and the smallest file.
enum {
    GSAVE_GIF = 1,
    GSAVE_PNG = 2,
    GSAVE_XWD = 3,
    GSAVE_ZYR = 4,  // the program's own image file, uncompressed
};

// Writes an image record in one of the save types: 1 success, 0 failure.
// GIF replaces the record's pixels by palette entries (see image/gif.h).
struct IMG;
int gwrite_image_file(const char *name, IMG *img, int type);

// The current window into a GIF, PNG or XWD file: 1 success, 0 failure.
int GIF_dump(const char *name);
int PNG_dump(const char *name);
int XWD_dump(const char *name);
