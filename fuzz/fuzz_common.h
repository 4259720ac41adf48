// Shared set-up of the fuzz targets: each runs inside a scratch folder of
// its own, so whatever a fuzzed option names (message files and the like)
// stays there.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "driver/flags.h"
#include "driver/res.h"

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

// The program's declared resources.
inline const int keyed[] = {
    RES_HELP, RES_BATCH, RES_MESSAGE, RES_FILE_PATH, RES_DATA_PATH, RES_CON_PATH, RES_GRID_PATH,
    RES_RAW_PATH, RES_IMAGE_PATH, RES_WATCH_PATH, RES_TEXT_PATH, RES_MODEL_PATH, RES_SAT_PATH,
    RES_CITY_FILE, RES_MAP_FILE, RES_INPUT, RES_OUTPUT, RES_NAME_CONV, RES_IN_FILE, RES_OUT_FILE,
    RES_FILE_PARAM, RES_CURRENT, RES_HOUR, RES_NUM_HOUR, RES_PLOT_DOMAIN, RES_GRID_DOMAIN,
    RES_REGION, RES_STAT_PRIOR, RES_PLOT_TYPE, RES_PLOT_SCALE, RES_PLOT_FORMAT, RES_PLOT_PARAM,
    RES_DRAW, RES_LABEL, RES_CON_INTERVAL, RES_CON_BASE, RES_FONT_LIST, RES_COLOR_TABLE,
    RES_COLOR_TEXT, RES_COLOR_DATA, RES_COLOR_MAP, RES_COLOR_GRID, RES_COLOR_LINE, RES_COLOR_FILL,
    RES_DEVICE, RES_TITLE, RES_ICON, RES_BACKGROUND, RES_GEOMETRY, 0,
};
inline const int positional[] = {RES_FILENAME, 0};

inline void reset()
{
    RES_clear();
    MESS_reset();
    MESS_set_out(0);
    FLAG_resetplot(1);
}

} // namespace fuzz
