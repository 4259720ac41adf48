// A domain zoom's replot against the first plot of the same file: the whole
// per-file chain (read, remap, colour, map overlay, labels) into an open
// PostScript session writing to /dev/null, first for the "us" region and then
// for a domain a quarter of its area about the same centre, as a zoom with the
// mouse asks for.  Needs the EAST-CONUS sample; skipped when it is missing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat.h"
#include "files/date.h"
#include "files/file.h"
#include "map/dom.h"
#include "plot/plt.h"
#include "satproc/sat_param.h"

namespace {

const std::string sample =
    std::string(ZYR_DATA_DIR) + "/../../shared/data/gini/EAST-CONUS_4km_12.0_20050912_0600.gini";

// Opens the session once per process, the way the driver's first call does.
bool session()
{
    static bool ok = [] {
        if (access(sample.c_str(), R_OK) != 0) return false;
        static char a0[] = "zyrsat", a1[] = "-b", a2[] = "-inp", a3[] = "awip", a4[] = "-de",
                    a5[] = "p,/dev/null", a6[] = "-me", a7[] = "none";
        static std::string file = sample;
        static char *argv[] = {a0, a1, a2, a3, a4, a5, a6, a7, file.data(), nullptr};
        RES_init(9, argv, SAT_keyed_resources(), SAT_positional_resources());
        RES_put("file_path", ZYR_DATA_DIR);
        SAT_in_file();
        SAT_plot_param();
        char name[FILE_NAME_SIZE];
        FILE_get_file("", name);
        DATE date{};
        FILE_get_date(&date);
        SAT_set_date(&date);
        PLT_open(1.5f);
        return true;
    }();
    return ok;
}

void replot(benchmark::State &state, const char *domain)
{
    if (!session()) {
        state.SkipWithError("EAST-CONUS sample missing");
        return;
    }
    DOM dom;
    DOM_init(&dom);
    DOM_decode(domain, &dom);
    for (auto _ : state) SAT_plot(&dom);
}

void BM_first_plot_us(benchmark::State &state) { replot(state, "us"); }
// "us" is ps,39,-97,25,17,2.3,2.3: half the spacing on each side shows a
// quarter of the area at the same grid size, as a zoom by two does.
void BM_zoom_replot(benchmark::State &state) { replot(state, "ps,39,-97,25,17,1.15,1.15"); }

} // namespace

BENCHMARK(BM_first_plot_us)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_zoom_replot)->Unit(benchmark::kMillisecond);
