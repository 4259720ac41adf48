// Fuzzes the XWD reader from bytes in memory, as for a 32-bit window.
#include <cstdint>

#include "fuzz_common.h"
#include "image/img.h"
#include "image/xwd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    IMG img;
    IMG_init(&img);
    img.depth = 32;
    XWD_read_mem(data, size, &img, 0);
    IMG_free(&img);
    return 0;
}
