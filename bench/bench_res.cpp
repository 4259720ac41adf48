// Start-up cost of the resource system: RES_init over a 200-line defaults
// file (directives, star keys, quoted values) plus 20 command-line options.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat.h"

namespace {


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
        RES_init((int)args.size(), argv.data(), SAT_keyed_resources(), SAT_positional_resources());
        benchmark::DoNotOptimize(RES_get("label"));
    }
    unlink(defaults.c_str());
}
BENCHMARK(BM_ResInit)->Unit(benchmark::kMicrosecond);

} // namespace
