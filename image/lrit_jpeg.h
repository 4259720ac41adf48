// JPEG image data of LRIT files, at 8-bit precision through libjpeg-turbo and
// at 12-bit precision through GDCM's 12-bit IJG build.  The two libraries
// share one include guard and rename their functions by macros, so each is
// used from a source file of its own (lrit_jpeg8.cpp, lrit_jpeg12.cpp) that
// includes the same body, lrit_jpeg_impl.inc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Sample precision from the stream's first SOF marker; 0 when none is found.
// With `sof` given, the marker's code (0xC0..0xCF) is stored there.
int lrit_jpeg_precision(const unsigned char *data, size_t size, int *sof = nullptr);

// Decodes into an nx x ny byte buffer (rows top first), keeping the low 8
// bits of every sample; a picture of another size is clipped or leaves the
// rest at 0.  Colour streams are decoded to grey when the library can
// (YCbCr), else the first component is kept.  0 success, -1 failure (message
// printed, naming `name`), data that end before the last row included.
int lrit_jpeg_decode8(const unsigned char *data, size_t size, int nx, int ny, unsigned char *out,
                      const char *name);
int lrit_jpeg_decode12(const unsigned char *data, size_t size, int nx, int ny, unsigned char *out,
                       const char *name);

// Grey-scale encoders for the LRIT writer tool and the tests: samples are
// taken modulo the precision's range; lossless uses predictor 1.  0 success.
int lrit_jpeg_encode8(const uint16_t *samples, int w, int h, int quality, bool lossless,
                      std::vector<unsigned char> &out);
int lrit_jpeg_encode12(const uint16_t *samples, int w, int h, int quality, bool lossless,
                       std::vector<unsigned char> &out);
