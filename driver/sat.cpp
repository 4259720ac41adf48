#include "driver/sat.h"

#include "core/flags.h"
#include "core/hooks.h"
#include "core/mq.h"
#include "core/res.h"
#include "core/util.h"
#include "files/date.h"
#include "files/file.h"
#include "gks/gks.h"
#include "image/img.h"
#include "map/map.h"
#include "plot/plt.h"
#include "satproc/enh.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"

#include <cstdio>
#include <cstdlib>

namespace {

const int keyed_resources[] = {
    RES_HELP, RES_BATCH, RES_MESSAGE, RES_FILE_PATH, RES_DATA_PATH, RES_CON_PATH, RES_GRID_PATH,
    RES_RAW_PATH, RES_IMAGE_PATH, RES_WATCH_PATH, RES_TEXT_PATH, RES_MODEL_PATH, RES_SAT_PATH,
    RES_CITY_FILE, RES_MAP_FILE, RES_INPUT, RES_OUTPUT, RES_NAME_CONV, RES_IN_FILE, RES_VARIABLE, RES_OUT_FILE,
    RES_FILE_PARAM, RES_CURRENT, RES_HOUR, RES_NUM_HOUR, RES_PLOT_DOMAIN, RES_GRID_DOMAIN,
    RES_REGION, RES_STAT_PRIOR, RES_PLOT_TYPE, RES_PLOT_SCALE, RES_PLOT_FORMAT, RES_PLOT_PARAM,
    RES_DRAW, RES_LABEL, RES_CON_INTERVAL, RES_CON_BASE, RES_FONT_LIST, RES_COLOR_TABLE,
    RES_COLOR_TEXT, RES_COLOR_DATA, RES_COLOR_MAP, RES_COLOR_GRID, RES_COLOR_LINE, RES_COLOR_FILL,
    RES_DEVICE, RES_TITLE, RES_ICON, RES_BACKGROUND, RES_GEOMETRY, RES_END,
};
const int positional_resources[] = {RES_FILENAME, RES_END};

} // namespace

const int *SAT_keyed_resources() { return keyed_resources; }
const int *SAT_positional_resources() { return positional_resources; }

void SAT_register_hooks()
{
    FILE_register_hooks();
    MAP_register_hooks();
    IMG_register_hooks();
    PLT_register_hooks();
    HOOK_table().catalogue_entry = RES_enter;
}

void SAT_reset_all()
{
    // Top layer first: what a layer holds open may be another's below it.
    SAT_reset_driver();
    PLT_reset_state();
    SAT_param_reset();
    SAT_remap_reset();
    SAT_reset_enhancement();
    IMG_reset();
    MAP_reset();
    greset_kernel();
    FILE_reset();
    DATE_reset();
    RES_clear();
    MESS_reset();
    MQ_reset();
    ZYR_reset();
    FLAG_reset_all();
    HOOK_reset();
    SAT_register_hooks();
}

void ZYR_exit(int status)
{
    std::fflush(nullptr);
    std::exit(status);
}

void SAT_exit_if_requested()
{
    if (ZYR_exit_requested()) ZYR_exit(ZYR_exit_status());
}
