// Fuzzes the GOES-R fixed-grid netCDF reader from memory, through its row of
// the reader table (netCDF's in-memory open): the header alone, a window of
// the grid's top left corner, the whole grid when it is small, and the value
// at a pixel.
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    const IMG_READER *row = IMG_reader_by_code(IMG_SRC_ABI);
    IMG_SOURCE source;
    source.name = "fuzz";
    source.bytes = data;
    source.size = size;
    IMG img;
    IMG_init(&img);
    IMG_READ_OUT out{&img, nullptr};
    if (row->read_header(&source, &out) == IMG_READ_OK) {
        // Large grids (a forged size) are read through a window only.
        const bool small = (int64_t)img.nx * img.ny <= 4096 * 4;
        const IMG_WINDOW corner{1, 40, 2, 40};
        IMG_free(&img);
        row->read(&source, small ? nullptr : &corner, &out);
        IMG_free(&img);
        double v;
        char units[32];
        row->value(&source, 1, 3, 2, &v, units, sizeof units);
    }
    IMG_free(&img);
    return 0;
}
