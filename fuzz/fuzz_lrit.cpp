// Fuzzes the LRIT reader from memory, through its row of the reader table. 
// The first byte picks the form: the rest as a whole file (header chain and
// plain data), or a JPEG stream (from the first FF D8 on) behind a built
// header of a 64 x 48 image with compression 2, so both JPEG libraries are
// reached from real streams.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    if (size < 1) return 0;
    const int mode = data[0] & 1;
    data++, size--;
    std::vector<unsigned char> bytes;
    if (mode == 0) {
        bytes.assign(data, data + size);
    } else {
        size_t soi = 0;
        while (soi + 1 < size && !(data[soi] == 0xFF && data[soi + 1] == 0xD8)) soi++;
        // Primary (16 bytes, total 25) and structure records.
        const unsigned char head[25] = {0, 0, 16, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 0,
                                        1, 0, 9, 8, 0, 64, 0, 48, 2};
        bytes.assign(head, head + 25);
        bytes.insert(bytes.end(), data + soi, data + size);
    }
    if (bytes.empty()) return 0;
    fuzz::read_row(IMG_SRC_LRIT, bytes.data(), bytes.size());
    return 0;
}
