// The colour bar drawn in a window on a private X server, read back.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "../plot/plot_test_util.h"
#include "driver/flags.h"
#include "driver/res.h"
#include "plot/plt.h"
#include "satproc/clr.h"
#include "satproc/enh.h"

namespace {

class EnhBar : public plottest::XPlotTest {
protected:
    void SetUp() override
    {
        XPlotTest::SetUp();
        if (IsSkipped()) return;
        gset_xsize(1200, 800);
        ASSERT_EQ(PLT_open(1.5f), 0);
        SAT_set_imager_source(SAT_SRC_AREA);
        RES_put("color_fill", "0:black,64:red,128:green,192:blue");
        SAT_color_setup();
    }
    // Pixel position of an NDC point.
    static int px(float x) { return (int)xNDC_p(x); }
    static int py(float y) { return (int)yNDC_p(y); }
};

} // namespace

TEST_F(EnhBar, CellsInEnhancementColoursAndTicks)
{
    ASSERT_EQ(SAT_color_bar(1), 0);
    gupdate_window();
    float v[4], area[4];
    PLT_get_view(v);
    GPH_get_view_size(area);
    float gap = std::min(v[2] - area[2], 0.035f);
    float x0 = v[0] + 0.03f * (v[1] - v[0]), xm = (v[0] + v[1]) / 2, cw = (xm - x0) / 256;
    float yb = v[2] - gap, yt = v[2] - 0.15f * gap;
    gkstest::Picture pic = gkstest::grab();
    const int colours[4] = {CLR_get_ind("black"), CLR_get_ind("red"), CLR_get_ind("green"), CLR_get_ind("blue")};
    // Cells: sampled in the middle band, away from ticks and bin edges.
    float ys = yb + 0.55f * (yt - yb);
    int checked = 0;
    for (int p = 0; p < 256; ++p) {
        if (p % 64 < 3 || p % 64 > 60 || p % 16 == 0 || p % 16 == 15) continue;
        float xs = x0 + (p + 0.5f) * cw;
        bool near_tick = false;
        for (int t = 50; t >= -110; t -= 10)
            near_tick |= std::abs(xs - (x0 + SAT_ir_ind((float)t) * cw)) < 1.5f * cw;
        if (near_tick) continue;
        ASSERT_EQ(pic.at(px(xs), py(ys)), (unsigned long)gget_color_ind(colours[p / 64])) << p;
        ++checked;
    }
    EXPECT_GT(checked, 60);
    // A long temperature tick at value(-50) runs from the top down, white.
    unsigned long white = gget_color_ind(CLR_get_ind("white"));
    float xt = x0 + SAT_ir_ind(-50) * cw;
    EXPECT_EQ(pic.at(px(xt), py(yt - 0.012f)), white);
    // The outline's top edge is white across the bar.
    bool edge = false;
    for (int dy = -1; dy <= 1; ++dy) edge |= pic.at(px((x0 + xm) / 2), py(yt) + dy) == white;
    EXPECT_TRUE(edge);
    // Nothing to the right of the bar's half of the panel.
    EXPECT_NE(pic.at(px(xm + 0.02f), py(ys)), (unsigned long)gget_color_ind(colours[3]));
}

TEST_F(EnhBar, NoRoomDrawsNothing)
{
    gkstest::Picture before = gkstest::grab();
    PLT_set_view_offsets(0, 0, 0, 0);
    PLT_reset(1.5f);
    before = gkstest::grab();
    EXPECT_EQ(SAT_color_bar(0), -1);
    gupdate_window();
    EXPECT_TRUE(gkstest::grab() == before);
}
