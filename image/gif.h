// GIF image files with the program's own LZW coder and decoder.
//
// The writer turns any image record into a palette image of at most 256
// colours (GIF89a, one global table, optional interlacing and transparent
// background).  NOTE: GIF_write replaces the record's pixels in place by
// their palette entries; write a copy when the pixels are still needed.
//
// The reader reads the first image of a file into an 8-bit indexed record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct IMG;

// 1 success, 0 failure.  query 1 stops after the screen descriptor.
int GIF_read(const char *name, IMG *image, int query);
// The same reader over bytes in memory (`name` only names them in messages).
int GIF_read_mem(const unsigned char *data, size_t size, IMG *image, int query, const char *name);

// 1 success, 0 failure (message at error level; a partial file may remain).
int GIF_write(const char *name, IMG *image);
// Switches of the writer, set by plot parameters.  Both return 0.
int GIF_interlace(int flag);
int GIF_transparent(int flag);

// ---- the coder, for the writers of single and animated files ----

// Options of one encoded image beyond the pixels.
struct GIF_frame_opts {
    bool interlace = false;
    int transparent = -1;     // palette entry of the transparent colour, -1 none
};

// Appends the LZW-coded image data of w x h palette entries (rows from the
// top) to `out`: the minimum code size byte, the data sub-blocks of at most
// 254 bytes and the zero-length block.  `code_size` is 2 to 8.
void GIF_lzw_encode(const uint8_t *index, int w, int h, int code_size, bool interlace,
                    std::vector<uint8_t> *out);

// Decodes LZW data (the bytes of the sub-blocks joined, without their length
// bytes) into at most `count` entries.  Returns the number of entries
// produced, or -1 for a corrupt stream: a code past the table, or a table
// filled past 4095 entries without a clear code.  The stream ends at the end
// code or at the end of the bytes.
long GIF_lzw_decode(const uint8_t *data, size_t size, int code_size, uint8_t *out, size_t count);

// Row of the image stored as the n-th row of an interlaced image.
int GIF_interlace_row(int n, int h);

// Palette rounding of the writer: the table holds 2^bits entries (bits at
// least 1), the LZW minimum code size is bits but at least 2.
void GIF_table_bits(int ncolors, int *bits, int *code_size);
