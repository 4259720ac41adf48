// Fuzzes the Unisys reader from memory, through its row of the reader table:
// keyword header and pixels.
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    fuzz::read_row(IMG_SRC_UNISYS, data, size);
    return 0;
}
