// Fuzzes the ZYRIMG reader from memory, through its row of the reader table:
// header lines, size and domain lines, the skip options and the chain of zlib
// streams.  The "*" option (pixels in a file named by the input) is taken out
// so a run never opens files the input names.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    std::vector<unsigned char> bytes(data, data + size);
    for (auto &b : bytes) {
        if (b == '\n') break;
        if (b == '*') b = '-';
    }
    if (bytes.empty()) return 0;
    fuzz::read_row(IMG_SRC_ZYR, bytes.data(), bytes.size());
    return 0;
}
