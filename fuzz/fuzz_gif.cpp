// Fuzzes the GIF reader from bytes in memory: header, extensions, tables,
// the LZW decoder and the placement of the image on the screen.
#include <cstdint>

#include "fuzz_common.h"
#include "image/gif.h"
#include "image/img.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    IMG img;
    IMG_init(&img);
    GIF_read_mem(data, size, &img, 0, "fuzz");
    IMG_free(&img);
    return 0;
}
