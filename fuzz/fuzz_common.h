// Shared set-up of the fuzz targets: each runs inside a scratch folder of
// its own, so whatever a fuzzed option names (message files and the like)
// stays there.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "driver/flags.h"
#include "driver/res.h"
#include "driver/sat.h"

namespace fuzz {

inline const std::string &scratch()
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/zyrfuzzXXXXXX";
        const char *d = mkdtemp(tmpl);
        std::string path = d ? d : "/tmp";
        if (chdir(path.c_str()) != 0) std::abort();
        // Nothing from the surroundings: no defaults search list, no time zone.
        unsetenv("zyrdefault");
        unsetenv("zyrtz");
        MESS_set_out(0); // keep the fuzzer's output readable
        return path;
    }();
    return dir;
}

inline void reset()
{
    RES_clear();
    MESS_reset();
    MESS_set_out(0);
    FLAG_resetplot(1);
}

} // namespace fuzz
