// 8-bit JPEG data of LRIT files through libjpeg-turbo, and the stream's
// precision (which picks the library).
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "image/lrit_jpeg.h"

#define LRIT_JPEG_DECODE lrit_jpeg_decode8
#define LRIT_JPEG_ENCODE lrit_jpeg_encode8
#define LRIT_JPEG_BITS 8
#include "image/lrit_jpeg_impl.inc"

int lrit_jpeg_precision(const unsigned char *data, size_t size, int *sof)
{
    // Markers after SOI: each FFxx with a 2-byte length, until a SOF.
    size_t i = 2;
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    while (i + 4 < size) {
        if (data[i] != 0xFF) return 0;
        unsigned m = data[i + 1];
        if (m == 0xFF) { i++; continue; }
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            if (sof) *sof = (int)m;
            return i + 4 < size ? data[i + 4] : 0;
        }
        if (m == 0xD9 || m == 0xDA) return 0;
        i += 2 + ((size_t)data[i + 2] << 8 | data[i + 3]);
    }
    return 0;
}
