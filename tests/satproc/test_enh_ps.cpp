// The colour bar in PostScript, rendered by Ghostscript.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../gks/drivers/drv_util.h"
#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "gks/clr.h"
#include "gks/drivers/ps.h"
#include "gks/gks.h"
#include "plot/plt.h"
#include "satproc/enh.h"

namespace {

// Colour class of a rendered pixel: 'k' black, 'r', 'g', 'b', 'w' white, '?' other.
char classify(const unsigned char *p)
{
    auto hi = [](int v) { return v > 200; };
    auto lo = [](int v) { return v < 55; };
    if (lo(p[0]) && lo(p[1]) && lo(p[2])) return 'k';
    if (hi(p[0]) && hi(p[1]) && hi(p[2])) return 'w';
    if (hi(p[0]) && lo(p[1]) && lo(p[2])) return 'r';
    if (lo(p[0]) && hi(p[1]) && lo(p[2])) return 'g';
    if (lo(p[0]) && lo(p[1]) && hi(p[2])) return 'b';
    return '?';
}

struct ColourRun { char c; int n; };

} // namespace

TEST(EnhPs, ColourBarCellsLeftToRight)
{
    if (!drvtest::have_tool("gs")) GTEST_SKIP() << "ghostscript not installed";
    testutil::ScratchDir dir;
    std::string ps = dir.file("bar.ps");
    setenv("zyrps_print", ps.c_str(), 1);
    setenv("PSCOLOR", "1", 1);
    RES_clear();
    RES_put("file_path", ZYR_DATA_DIR);
    RES_put("color_text", "black");
    FLAG_set(FLAG_DEVICE, GWS_PS);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    ASSERT_EQ(PLT_open(1.5f), 0);
    RES_put("color_fill", "0:black,64:red,128:green,192:blue");
    SAT_color_setup();
    ASSERT_EQ(SAT_color_bar(0), 0);
    GPH_end(1);
    unsetenv("zyrps_print");
    unsetenv("PSCOLOR");

    drvtest::Picture pic;
    ASSERT_EQ(drvtest::render_ps(ps, 100, &pic), 0);
    // The page is landscape: the bar's left-to-right runs up the rendered
    // portrait page.  Take the column through the bar with the most red.
    int best = -1, most = 0;
    for (int x = 0; x < pic.width; ++x) {
        int n = 0;
        for (int y = 0; y < pic.height; ++y) n += classify(pic.at(x, y)) == 'r';
        if (n > most) most = n, best = x;
    }
    ASSERT_GT(most, 20);
    std::vector<ColourRun> runs;
    for (int y = pic.height - 1; y >= 0; --y) {
        char c = classify(pic.at(best, y));
        if (!runs.empty() && runs.back().c == c) ++runs.back().n;
        else runs.push_back({c, 1});
    }
    std::string order;
    std::vector<int> lengths;
    for (const auto &r : runs)
        if (r.n >= 5 && r.c != 'w' && r.c != '?') order += r.c, lengths.push_back(r.n);
    ASSERT_EQ(order, "krgb");
    for (int n : lengths) EXPECT_NEAR(n, lengths[1], lengths[1] * 0.1 + 2);
}

TEST(EnhPs, DeviceColoursFollowThePostScriptColourSwitch)
{
    testutil::ScratchDir dir;
    setenv("zyrps_print", dir.file("m.ps").c_str(), 1);
    unsetenv("PSCOLOR");
    RES_clear();
    RES_put("file_path", ZYR_DATA_DIR);
    FLAG_set(FLAG_DEVICE, GWS_PS);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    testing::internal::CaptureStdout();
    ASSERT_EQ(PLT_open(1.5f), 0);
    SAT_set_device_class(-1);
    RES_put("color_fill", "0:red,128:blue");
    SAT_color_setup();
    SAT_ENHANCEMENT e = SAT_get_enhancement();
    EXPECT_EQ(e.color_ind[0], (int)(0.9f / 2.7f * 255));  // grey of red
    EXPECT_EQ(e.color_ind[1], (int)(0.8f / 2.7f * 255));
    gps_set_colorPS(1);
    SAT_color_setup();
    e = SAT_get_enhancement();
    EXPECT_EQ(e.color_ind[0], CLR_get_ind("red"));
    EXPECT_EQ(e.color_ind[1], CLR_get_ind("blue"));
    gps_set_colorPS(0);
    GPH_end(1);
    testing::internal::GetCapturedStdout();
    unsetenv("zyrps_print");
}
