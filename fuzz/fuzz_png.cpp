// Fuzzes the PNG reader (libpng with the reader's transforms and size caps)
// through a memory stream.
#include <cstdint>
#include <cstdio>

#include "fuzz_common.h"
#include "image/img.h"
#include "image/pngio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    if (size == 0) return 0;
    FILE *fp = fmemopen((void *)data, size, "rb");
    if (!fp) return 0;
    IMG img;
    IMG_init(&img);
    PNG_read_stream(fp, &img, 0, "fuzz");
    IMG_free(&img);
    std::fclose(fp);
    return 0;
}
