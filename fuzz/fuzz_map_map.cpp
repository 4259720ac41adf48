// Fuzzes the map database reader from memory, in whichever form the bytes
// take (text or big-endian).  The first byte picks the projection, so the
// wrap handling of every projection with a cut is reached; lines go to a
// sink that checks their size instead of to the graphics kernel.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz_common.h"
#include "map/dom.h"
#include "map/map.h"

namespace {

const char *const domains[] = {"ll,0,0,361,181,1,1", "me:0:30,0,30,181,121,2.2,2.2", "mo,0,0,129,65,2,2",
                               "lc:25:-95:25,38,-97,61,37,0.8,0.8", "ps,40,-100,31,21,1,1",
                               "sat:0:-75,0,-75,131,131,1,1", "or:40:-100,40,-100", "laea:90:0,90,0"};

void sink(int n, const float *pts, int)
{
    if (n < 2 || n > 32768 + 1) std::abort();
    volatile float s = 0;
    for (int i = 0; i < 2 * n; ++i) s = s + pts[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    if (size < 1) return 0;
    DOM d;
    DOM_decode(domains[data[0] % (sizeof domains / sizeof domains[0])], &d);
    MAP_domain(&d);
    MAP_set_line_sink(sink);
    FILE *fp = fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "rb");
    if (!fp) return 0;
    MAP_map(fp);
    std::fclose(fp);
    return 0;
}
