// How the GIF, PNG and XWD writers see the pixels of any image record: one
// pixel value per column read from rows of 1, 4, 8, 16 or 24 bits, or 32 bits
// per pixel, in either byte order, reduced to a palette of at most 256
// distinct values with the colour of each.
#pragma once

#include <cstdint>
#include <vector>

#include "image/img.h"

// Storage layout of a record's rows as the writers read them.
struct IMG_layout {
    int kind;  // 1, 4, 8, 16, 24 or 32 bits per stored pixel
    int ppr;   // pixels per stored row (bytes per line / 4 for 32 bits, else bytes per line * 8 / depth)
};

// The record's layout; false (with a message naming `who`) when the record
// has no pixels, a non-positive size, or a depth the writers cannot read.
bool IMG_layout_of(const IMG *img, IMG_layout *lay, const char *who);


struct IMG_palette {
    int ncolors = 0;          // distinct values met, at most 256
    uint32_t value[256] = {}; // pixel value of each entry, in order of first appearance
    uint8_t rgb[256][3] = {}; // colour of each entry
};

// Reads every pixel (columns at or beyond nx count as value 0), gives each
// distinct value the next palette entry in order of first appearance (a value
// met when 256 are known gets entry 0), and stores the nx x ny entries row by
// row in `index`.  With `in_place` the record's own pixels are replaced by
// their entries, written in the pixel's own width (the GIF writer's rule).
// The colours come from the colour table (x 255, truncated), the channel
// masks, or, for records with neither, a gray ramp.  Returns false (after a
// message) when the record cannot be read.
bool IMG_build_palette(IMG *img, bool in_place, IMG_palette *pal, std::vector<uint8_t> *index,
                       const char *who);

// Shift (zero bits below the lowest one bit) and width (consecutive one
// bits from there) of a channel mask, both counted up to `depth` bits.
void IMG_mask_shift_width(uint32_t mask, int depth, int *shift, int *width);

// ---- file access shared by the image-file readers and writers ----

// Opens an image file through the file layer (standard streams, "|command"
// pipes, "~" expansion, missing folders made for writing).
FILE *IMG_open_file(const char *name, const char *mode);
// Closes what IMG_open_file opened (pipes with pclose, standard streams
// only flushed); false when the close reports an error.
bool IMG_close_file(FILE *fp, const char *name);
// Writes `size` bytes and closes the file: 1, or 0 after "who: Unable to
// write name" when a write or the close fails (the partial file stays).
int IMG_finish_file(FILE *fp, const void *data, size_t size, const char *who, const char *name);
// Reads the rest of a stream into `out`: false when it holds more than
// `cap` bytes or a read fails.
bool IMG_slurp(FILE *fp, std::vector<unsigned char> *out, size_t cap);
