// 12-bit JPEG data of LRIT files through GDCM's 12-bit IJG library, whose
// header renames every function and struct by macros.
#include <cstddef>
#include <cstdio>
#include <vector>

// The 12-bit library is C without linkage guards.
extern "C" {
#include <gdcmjpeg/12/jpeglib.h>
#include <gdcmjpeg/12/jerror.h>
}

#include "image/lrit_jpeg.h"

#define LRIT_JPEG_DECODE lrit_jpeg_decode12
#define LRIT_JPEG_ENCODE lrit_jpeg_encode12
#define LRIT_JPEG_BITS 12
#define LRIT_JPEG_HAS_LOSSLESS 1
#include "image/lrit_jpeg_impl.inc"
