// Fuzzes the TIFF reader from memory: directory, libtiff decoding of strips
// and tiles in every compression, GeoKeys and the domains they make.
#include <cstdint>

#include "fuzz_common.h"
#include "image/sat_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    IMG img;
    SAT_read_TIFF_mem(data, size, "fuzz", &img);
    IMG_free(&img);
    return 0;
}
