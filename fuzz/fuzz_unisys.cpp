// Fuzzes the Unisys reader from memory: keyword header and pixels.
#include <cstdint>

#include "fuzz_common.h"
#include "image/sat_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    IMG img;
    SAT_read_Unisys_mem(data, size, "fuzz", &img);
    IMG_free(&img);
    return 0;
}
