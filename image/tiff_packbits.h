// PackBits run-length decoding, as TIFF compression 32773 stores strips and
// tiles.
#pragma once

#include <cstdint>

// Decodes from `in` (n bytes) until `want` bytes are made or the input ends;
// runs reaching past either buffer are cut.  Returns the bytes made.
uint64_t packbits_decode(const unsigned char *in, uint64_t n, unsigned char *out, uint64_t want);
