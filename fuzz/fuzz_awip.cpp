// Fuzzes the AWIPS reader from memory, through its row of the reader table. 
// The first byte picks the form: the rest as it stands (plain, PNG or zlib as
// the bytes say), or rebuilt as a zlib product: a plain heading, the first
// 533 bytes (heading and PDB) deflated as one stream, the remainder deflated
// in streams of a few hundred bytes, so the fuzzer reaches the chain without
// forging checksums.
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "fuzz_common.h"

namespace {

void deflate_into(std::vector<unsigned char> &out, const uint8_t *p, size_t n)
{
    uLongf len = compressBound(n);
    size_t at = out.size();
    out.resize(at + len);
    compress(out.data() + at, &len, p, n);
    out.resize(at + len);
}

}  // namespace

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
        static const char heading[] = "TIGE03 KNES 120600\r\r\n";
        bytes.assign(heading, heading + 21);
        size_t first = size < 533 ? size : 533;
        deflate_into(bytes, data, first);
        for (size_t at = first; at < size; at += 300) deflate_into(bytes, data + at, size - at < 300 ? size - at : 300);
    }
    fuzz::read_row(mode ? IMG_SRC_AWIPZ : IMG_SRC_AWIP, bytes.data(), bytes.size());
    return 0;
}
