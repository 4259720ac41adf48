// Start-up cost of the resource system: RES_init over a 200-line defaults
// file (directives, star keys, quoted values) plus 20 command-line options.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/flags.h"
#include "driver/res.h"

namespace {

const int keyed[] = {
    RES_HELP, RES_BATCH, RES_MESSAGE, RES_FILE_PATH, RES_DATA_PATH, RES_CON_PATH, RES_GRID_PATH,
    RES_RAW_PATH, RES_IMAGE_PATH, RES_WATCH_PATH, RES_TEXT_PATH, RES_MODEL_PATH, RES_SAT_PATH,
    RES_CITY_FILE, RES_MAP_FILE, RES_INPUT, RES_OUTPUT, RES_NAME_CONV, RES_IN_FILE, RES_OUT_FILE,
    RES_FILE_PARAM, RES_CURRENT, RES_HOUR, RES_NUM_HOUR, RES_PLOT_DOMAIN, RES_GRID_DOMAIN,
    RES_REGION, RES_STAT_PRIOR, RES_PLOT_TYPE, RES_PLOT_SCALE, RES_PLOT_FORMAT, RES_PLOT_PARAM,
    RES_DRAW, RES_LABEL, RES_CON_INTERVAL, RES_CON_BASE, RES_FONT_LIST, RES_COLOR_TABLE,
    RES_COLOR_TEXT, RES_COLOR_DATA, RES_COLOR_MAP, RES_COLOR_GRID, RES_COLOR_LINE, RES_COLOR_FILL,
    RES_DEVICE, RES_TITLE, RES_ICON, RES_BACKGROUND, RES_GEOMETRY, 0,
};
const int positional[] = {RES_FILENAME, 0};

const char *names[] = {"label", "title", "plot_param", "color_map", "color_grid", "geometry",
                       "background", "map_file", "font_list", "num_hour"};

std::string write_defaults()
{
    char path[] = "/tmp/zyrbenchXXXXXX";
    int fd = mkstemp(path);
    FILE *fp = fdopen(fd, "w");
    int lines = 0;
    auto line = [&](const std::string &s) {
        std::fprintf(fp, "%s\n", s.c_str());
        ++lines;
    };
    line("# defaults for the benchmark");
    line("DEF site");
    while (lines < 200) {
        int i = lines;
        switch (i % 8) {
        case 0: line("IF site"); break;
        case 1: line(std::string("*") + names[i % 10] + " value" + std::to_string(i)); break;
        case 2: line(std::string("zyrsat.") + names[(i + 3) % 10] + ": \"quoted value " + std::to_string(i) + "\""); break;
        case 3: line("ELSE"); break;
        case 4: line(std::string("zyrgrid.") + names[i % 10] + " other"); break;
        case 5: line("END"); break;
        case 6: line(std::string("zyrsat*own_setting_") + std::to_string(i) + " x"); break;
        default: line("# comment " + std::to_string(i)); break;
        }
    }
    std::fclose(fp);
    return path;
}

void BM_ResInit(benchmark::State &state)
{
    std::string defaults = write_defaults();
    std::vector<std::string> args = {
        "zyrsat", "-df", defaults, "-pd", "us", "-re=ne", "-la", "x", "-ti", "t", "-ge", "640x480",
        "-me", "mess", "-dr", "+map,-grid", "-pp", "remap 5,bar", "-inp", "area", "-if", "ir",
        "-of", "imgz", "-cb", "-5", "-pl", "cf", "-pf", "use", "-unknown_one", "1", "-bg", "black",
        "-cot", "white", "a.area", "b.area"};
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        RES_clear();
        MESS_reset();
        RES_init((int)args.size(), argv.data(), keyed, positional);
        benchmark::DoNotOptimize(RES_get("label"));
    }
    unlink(defaults.c_str());
}
BENCHMARK(BM_ResInit)->Unit(benchmark::kMicrosecond);

} // namespace
