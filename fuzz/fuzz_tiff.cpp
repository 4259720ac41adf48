// Fuzzes the TIFF reader from memory, through its row of the reader table:
// directory, libtiff decoding of strips and tiles in every compression,
// GeoKeys and the domains they make.
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::read_row(IMG_SRC_TIFF, data, size);
    return 0;
}
