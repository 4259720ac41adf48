// Fuzzes the AREA reader from memory, through its row of the reader table.
// The first byte picks how the rest is fed: as it stands, with word 1 forced
// to the host-order format word (plain mode), or behind a sync pattern (sync-
// framed mode); its high bits set the bit shift.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "image/area.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    if (size < 1) return 0;
    const int mode = data[0] & 3;
    SAT_set_bit_shift(data[0] >> 4);
    std::vector<unsigned char> bytes;
    if (mode == 2) bytes.assign({0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF});
    bytes.insert(bytes.end(), data + 1, data + size);
    if (mode == 1 && bytes.size() >= 8) {
        const int32_t four = 4;
        std::memcpy(bytes.data() + 4, &four, 4);
    }
    if (bytes.empty()) return 0;
    fuzz::read_row(IMG_SRC_AREA, bytes.data(), bytes.size());
    return 0;
}
