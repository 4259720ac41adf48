// The map overlay put from a layer: every frame of a loop equals the frame drawn without the layer (real GINI and
// AREA loops with a navigation change mid-loop, a zoom and a resize replotting the loop), on the headless window and
// on an X window, and the layer is used.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/res.h"
#include "driver/sat.h"
#include "files/date.h"
#include "files/file.h"
#include "gks/gks.h"
#include "map/map.h"
#include "plot/plt.h"
#include "satproc/sat_param.h"
#include "tests/test_support.h"

namespace {

struct Case {
    const char *name;
    std::vector<std::string> args;  // input type and files
    bool zoom_and_resize;
};

// The frames a headless loop dumps: after the first plot, and after a zoom and a resize replotting the loop the way
// the window's callbacks do.
std::vector<testutil::Raster> run_loop(const Case &c, const std::string &device, bool layer,
                                       const testutil::ScratchDir &dir, long *puts)
{
    SAT_reset_all();
    PLT_set_map_layer(layer);
    std::vector<std::string> argv = {"zyrsat", "-b", "-de", device, "-pd", "lamb,38,-95,960,540,0.07,0.07", "-ge",
                                     "480x270", "-pp", "irbar,lalo=10", "-la", "Layer", "-of",
                                     "png=" + dir.file("f_%i.png")};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    testutil::Args a(argv);
    RES_init(a.argc(), a.argv(), SAT_keyed_resources(), SAT_positional_resources());
    SAT_in_file();
    DOM dom;
    DOM_init(&dom);
    RES_getval("plot_domain", &dom, RES_T_DOMAIN);
    char name[FILE_NAME_SIZE] = "";
    FILE_get_file("", name);
    DATE date{};
    FILE_get_date(&date);
    SAT_set_date(&date);
    SAT_plot_param();
    EXPECT_EQ(PLT_open(DOM_aspect(&dom)), 0);
    std::vector<testutil::Raster> frames;
    const size_t files = c.args.size() - 2;
    auto plot = [&](DOM *d) {
        SAT_plot(d);
        for (size_t i = 0; i < files; ++i) {
            char f[32];
            std::snprintf(f, sizeof f, "f_%02zu.png", i);
            frames.emplace_back();
            EXPECT_TRUE(testutil::read_png(dir.file(f), &frames.back())) << f;
        }
    };
    plot(&dom);
    if (c.zoom_and_resize) {
        DOM zoomed = dom;
        zoomed.clat = 36, zoomed.clon = -100, zoomed.dx = zoomed.dy = 0.03f;
        plot(&zoomed);
        gresize_window(400, 300);
        plot(&zoomed);
    }
    PLT_close();
    *puts = PLT_map_layers_put();
    return frames;
}

// Each case's loop with and without the layer on one device.
void compare_loops(const std::string &device)
{
    const char *west = "gini/WEST-CONUS_4km_3.9_20050912_2130.gini", *wv = "gini/WEST-CONUS_4km_WV_20151208_2200.gini",
               *east = "gini/EAST-CONUS_4km_12.0_20050912_0600.gini", *goes8 = "area/cmx3g8_wv_1998.260_0745_mcidas.ara";
    for (const char *f : {west, wv, east, goes8}) NEED_SHARED(f);
    testutil::ScratchDir dir;
    if (testutil::run({ZYR_BINARY_DIR "/make_demo_loop", dir.file("sat"), "--frames", "3"}).status != 0)
        GTEST_SKIP() << "make_demo_loop not built";
    const std::string demo = dir.file("sat/ir/20250612_18"), w = testutil::shared(west), e = testutil::shared(east);
    const Case cases[] = {
        {"GINI, another satellite mid-loop", {"-inp", "awip", w, testutil::shared(wv), e, e, w}, false},
        {"AREA, a GOES-8 image mid-loop", {"-inp", "area", demo + "00.area", demo + "15.area",
                                           testutil::shared(goes8), demo + "30.area"}, false},
        {"GINI, zoomed and resized", {"-inp", "awip", e, e, e}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        long puts = 0, none = 0;
        const std::vector<testutil::Raster> drawn = run_loop(c, device, false, dir, &none);
        const std::vector<testutil::Raster> layered = run_loop(c, device, true, dir, &puts);
        EXPECT_EQ(none, 0);
        EXPECT_GT(puts, 0);
        ASSERT_EQ(drawn.size(), layered.size());
        for (size_t k = 0; k < drawn.size(); ++k)
            EXPECT_EQ(testutil::differing_pixels(drawn[k], layered[k]), 0) << "frame " << k;
    }
}

TEST(MapLayer, LoopFramesAsDrawnWithoutIt) { compare_loops("d,mem"); }

// On a server the layer is a pixmap and a clip mask put with one copy.
TEST(MapLayer, XWindowLoopFramesAsDrawnWithoutIt)
{
    const char *d = std::getenv("DISPLAY");
    if (!d || !*d) GTEST_SKIP() << "needs an X display";
    compare_loops(std::string("d,") + d);
}

}  // namespace
