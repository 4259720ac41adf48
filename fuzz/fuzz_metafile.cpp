// Fuzzes the text metafile reader from memory, replaying every record into
// a metafile workstation that writes to /dev/null: keywords, counts, point
// lists, text records and junk.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/res.h"
#include "fuzz_common.h"
#include "gks/drivers/meta.h"
#include "gks/gks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    static const bool opened = [] {
        RES_put("file_path", ZYR_DATA_DIR); // stroke fonts for the text records
        gopen_gks(nullptr, 0);
        return gopen_ws(1, ",/dev/null,zyr", GWS_META) == 0;
    }();
    if (!opened || size == 0) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    FILE *f = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!f) return 0;
    gread_metafile_stream(f, "fuzz");
    std::fclose(f);
    return 0;
}
