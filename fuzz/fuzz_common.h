// Shared set-up of the fuzz targets: each runs inside a scratch folder of
// its own, so whatever a fuzzed option names (message files and the like)
// stays there.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "driver/sat.h"
#include "image/reader_table.h"

namespace fuzz {

inline const char *scratch()
{
    // A plain buffer, not a string: the clean-up below runs at exit, after
    // static objects may already be gone.
    static char dir[] = "/tmp/zyrfuzzXXXXXX";
    static const bool made = [] {
        if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
        // Whatever the run wrote there goes when the fuzzer exits.
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
        // Nothing from the surroundings: no defaults search list, no time zone.
        unsetenv("zyrdefault");
        unsetenv("zyrtz");
        MESS_set_out(0); // keep the fuzzer's output readable
        return true;
    }();
    (void)made;
    return dir;
}

inline void reset()
{
    RES_clear();
    MESS_reset();
    MESS_set_out(0);
    FLAG_resetplot(1);
    ZYR_clear_exit();  // an input that asked for the program's end
}

// Feeds the bytes to the reader table's row of an input code, as the
// program feeds a file: one memory source, the row's own read.
inline void read_row(int code, const unsigned char *bytes, size_t size)
{
    IMG img;
    IMG_init(&img);
    AREA_REC area;
    AREA_rec_init(&area);
    IMG_READ_OUT out{&img, &area};
    IMG_reader_read_memory(IMG_reader_by_code(code), bytes, size, "fuzz", nullptr, &out);
    IMG_free(&img);
    AREA_free(&area);
}

} // namespace fuzz
