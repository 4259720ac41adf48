// PNG image files through libpng.
//
// The writer stores any image record as an 8-bit palette image (256-entry
// PLTE) with "Title", "Software" and "Creation Time" text; it leaves the
// record's pixels as they are.  It writes the file through zlib itself
// (png_write.cpp), with the compression tuned for plotted pictures.  The
// reader takes every colour type; see pngfile.cpp for how each is laid
// into the record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct IMG;

// 1 success, 0 failure.  query 1 stops after the header.
int PNG_read(const char *name, IMG *image, int query);
// The same reader on an open stream positioned at the signature.
int PNG_read_stream(FILE *fp, IMG *image, int query, const char *name);

// 1 success, 0 failure.
int PNG_write(const char *name, IMG *image);

// How a PNG's rows are compressed: zlib's level and strategy (0 default
// matching, 3 run lengths only, Z_RLE) and the row filter.
enum { PNG_ROW_FILTER_NONE = 0, PNG_ROW_FILTER_UP = 2 };
struct PNG_deflate {
    int level;
    int strategy;
    int filter;
};
// The writers' choice (see png_write.cpp for the measurements behind it).
inline constexpr PNG_deflate PNG_DUMP_DEFLATE{1, 3, PNG_ROW_FILTER_UP};

// Encodes w x h palette entries (rows from the top) with a palette of
// `ncolors` RGB triples as a complete PNG file appended to `out`, with the
// three text chunks when `title` is not null.  False (no message) when
// the sizes are bad or zlib fails.  Safe on any thread.
bool PNG_encode_indices(const uint8_t *index, int w, int h, const uint8_t (*rgb)[3], int ncolors,
                        const char *title, std::vector<uint8_t> *out);
// The same with other compression settings (the benchmark's trials).
bool PNG_encode_indices_with(const uint8_t *index, int w, int h, const uint8_t (*rgb)[3], int ncolors,
                             const char *title, const PNG_deflate &how, std::vector<uint8_t> *out);
// The same for RGB rows (3 bytes a pixel), without text chunks.
// Chunk pieces shared by the PNG and APNG writers: a 32-bit big-endian
// number, and a whole chunk (length, type, data, CRC) appended to `o`.
void PNG_put_be32(std::vector<uint8_t> *o, uint32_t v);
void PNG_put_chunk(std::vector<uint8_t> *o, const char *type, const void *data, size_t n);

bool PNG_encode_rgb(const uint8_t *rgb, int w, int h, std::vector<uint8_t> *out);
