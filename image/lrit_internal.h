// What the LRIT/HRIT reader tells the rest of the image layer about one file
// of a segment set: its headers, its pixels, the domain of a frame.
// Internal to image/.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"
#include "image/reader_table.h"

namespace rdr {

// The header records of one LRIT/HRIT file.
struct LritHeader {
    bool complete = false;      // every header record the primary header counts was read
    int64_t total = 0;          // header length: the data field starts here
    int file_type = 0;          // 0 image data, 128 prologue, 129 epilogue, ...
    bool have_struct = false;
    int bits = 0, cols = 0, lines = 0, compress = -1;
    bool have_nav = false;
    char proj[33] = "";
    int32_t cfac = 0, lfac = 0, coff = 0, loff = 0;
    bool have_seg = false;
    bool seg13 = false;         // the 13-byte segment record (EUMETSAT): LOFF per segment
    int seg = 0, nseg = 0;      // segment number and count (13-byte form: planned last)
    int first_line = 1;         // 7-byte form: the segment's first line of the image
    int sat = 0, chan = 0;      // 13-byte form: spacecraft and channel
    int first_seg = 1, last_seg = 0;  // 13-byte form: the planned segments
    std::string annotation;
    DATE date{};
};

// The headers of a file; false (after a message naming the file) when they
// are cut short or cannot be read.
bool lrit_headers(const IMG_SOURCE *source, LritHeader *h);
// Reads one file's image as the single-file read does, its 10-bit samples
// through `lut10` (1024 entries; null: their top 8 bits); 0, or -1 after a
// message.
int lrit_read_lut(const IMG_SOURCE *source, const unsigned char *lut10, IMG *image);
// The satellite-view domain of a frame of h.cols x h.lines pixels whose first
// line is image line h.first_line, with the navigation of h.
void lrit_domain(const LritHeader &h, const char *name, IMG *image);

}  // namespace rdr
