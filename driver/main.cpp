// zyrsat: plots satellite images.
#include "driver/flags.h"
#include "driver/res.h"
#include "driver/util.h"

namespace {

// The resources this program knows, in the order its help lists them.
const int keyed_resources[] = {
    RES_HELP, RES_BATCH, RES_MESSAGE, RES_FILE_PATH, RES_DATA_PATH, RES_CON_PATH, RES_GRID_PATH,
    RES_RAW_PATH, RES_IMAGE_PATH, RES_WATCH_PATH, RES_TEXT_PATH, RES_MODEL_PATH, RES_SAT_PATH,
    RES_CITY_FILE, RES_MAP_FILE, RES_INPUT, RES_OUTPUT, RES_NAME_CONV, RES_IN_FILE, RES_OUT_FILE,
    RES_FILE_PARAM, RES_CURRENT, RES_HOUR, RES_NUM_HOUR, RES_PLOT_DOMAIN, RES_GRID_DOMAIN,
    RES_REGION, RES_STAT_PRIOR, RES_PLOT_TYPE, RES_PLOT_SCALE, RES_PLOT_FORMAT, RES_PLOT_PARAM,
    RES_DRAW, RES_LABEL, RES_CON_INTERVAL, RES_CON_BASE, RES_FONT_LIST, RES_COLOR_TABLE,
    RES_COLOR_TEXT, RES_COLOR_DATA, RES_COLOR_MAP, RES_COLOR_GRID, RES_COLOR_LINE, RES_COLOR_FILL,
    RES_DEVICE, RES_TITLE, RES_ICON, RES_BACKGROUND, RES_GEOMETRY, RES_END,
};
const int positional_resources[] = {RES_FILENAME, RES_END};

} // namespace

int main(int argc, char **argv)
{
    RES_init(argc, argv, keyed_resources, positional_resources);

    if (FLAG_help()) {
        char *prog = RES_get_progname(nullptr);
        MESS_print(15, "%s: This program plots satellite data\n", prog);
        RES_help_print(prog, keyed_resources, positional_resources);
        ZYR_exit(0);
    }

    MESS_print_prog("SATELLITE IMAGE DISPLAY");
    return 0;
}
