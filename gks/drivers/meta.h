// The metafile driver: workstation type 3 writes either the program's own
// line-oriented text metafile (flavour 0, "zyr"), which gread_metafile
// reads back and replays through the kernel, or a binary CGM file (flavour
// 1, "cgm", ISO 8632-3 encoding, big-endian 16-bit words).
//
// The text flavour records world-level kernel calls ("PL 9 x,y ..."); the
// CGM flavour gets device geometry in driver units of the 1000 x 800 area.
#pragma once

#include <cstdio>

#include "gks/drivers/devfile.h"

// ---- the file ----
FILE *gmeta_open_file(const char *name);
int gmeta_init_file();   // text header or CGM start sequence (new files only)
// Program start: an open file closed as it is, every setting at its start
// value.
void gmeta_reset();
int gmeta_close_file();  // CGM: END PICTURE and END METAFILE (new files only)
// The next page of a plot run: CGM ends the picture and begins another (with
// the colour table set so far); the text flavour writes "PAGE n".  -1
// without a change when appending to an existing file or no file is open.
int gmeta_new_page();
void gmeta_set_type(int t);  // 0 text, 1 binary CGM
int gmeta_get_type();
void gmeta_set_title(const char *title);

// Opening as a workstation: flavour from the options ("cgm", "zyr"; none:
// unchanged, text at program start), file
// from the connection's second field, else "zyrmeta_out", else
// "zyr.meta"; placement from geom (the "geometry" resource).  Writes the
// header.  Returns 0, or -1 after "gopen_ws: unable to open metafile\n".
int gmeta_open_ws(const char *file, const char *options, const char *geom, GDRV_PAGE *page);

// Text records: written only in the text flavour with a file open.
int gmeta_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// "<kw> n " then the points as "%f,%f " with "\n   " after every fourth
// point and a newline at the end.
void gmeta_points(const char *kw, int n, const float *xy);

// ---- binary CGM ----
// Element header: class * 4096 + id * 32 + length (31 = long form), then,
// when length is 31 or param >= 1, the word param (the long-form length or a
// one-word parameter).
void gcgm_control(int cls, int id, int length, int param);
// Point in world coordinates of the selected transform.
void gcgm_point(float x, float y);
// Point in driver units of the 1000 x 800 area, written in VDC (x 10).
void gcgm_ps_point(float x, float y);
// A polyline element (class 4, id 1) in driver units; split into elements
// of at most 8191 points that share their end points.
void gcgm_polyline(int n, const float *xy);
// POLYGON (4, 7) with the current fill colour and solid interior.
void gcgm_polygon(int n, const float *xy);
// CLIP RECTANGLE (3, 5) from driver-unit corners.
void gcgm_clip(float x1, float y1, float x2, float y2);
// Attributes as standard CGM elements, each written when it changes:
// LINE COLOUR / FILL COLOUR (indexed), LINE WIDTH (scale factor), LINE
// TYPE, COLOUR TABLE entries.
void gcgm_set_color(int i);
void gcgm_set_fill_color(int i);
void gcgm_set_width(float w);
void gcgm_set_type(int t);
void gcgm_set_color_rep(int i, float r, float g, float b);
// Resets the "last written" attribute memory (start of a picture).
void gcgm_reset_attrs();

// Replays a text metafile through the kernel on the open workstation.
// Returns 0, or -1 after "gread_metafile: Unable to open image file: %s\n".
int gread_metafile(const char *path);
// The same reader on an open stream (fuzzing, tests); name is for messages.
int gread_metafile_stream(FILE *fp, const char *name);
