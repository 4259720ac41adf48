// The colour bar drawn in a window on a private X server, read back.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "../plot/plot_test_util.h"
#include "core/flags.h"
#include "core/res.h"
#include "gks/clr.h"
#include "plot/plt.h"
#include "satproc/enh.h"

namespace {

class EnhBar : public plottest::XPlotTest {
protected:
    void SetUp() override
    {
        XPlotTest::SetUp();
        if (IsSkipped()) return;
        gset_xsize(1200, 800);
        PLT_set_view_offset(0.04f);  // the default margins, whatever a test before left
        ASSERT_EQ(PLT_open(1.5f), 0);
        SAT_set_imager_source(SAT_SRC_AREA);
        RES_put("color_fill", "0:black,64:red,128:green,192:blue");
        SAT_color_setup();
    }
    static int px(float x) { return (int)xNDC_p(x); }  // pixel position of an NDC point
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
    // Cells: sampled in the upper half of the band (the part the bar keeps when it makes room for its numbers), away
    // from ticks and bin edges.
    float ys = yt - 0.3f * (yt - yb);
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
    EXPECT_EQ(pic.at(px(xt), py(yt - 0.4f * (yt - yb))), white);
    // The outline's top edge is white across the bar.
    bool edge = false;
    for (int dy = -1; dy <= 1; ++dy) edge |= pic.at(px((x0 + xm) / 2), py(yt) + dy) == white;
    EXPECT_TRUE(edge);
    // Nothing to the right of the bar's half of the panel.
    EXPECT_NE(pic.at(px(xm + 0.02f), py(ys)), (unsigned long)gget_color_ind(colours[3]));
}

TEST_F(EnhBar, NoRoomDrawsNothing)
{
    PLT_set_view_offsets(0, 0, 0, 0);
    PLT_reset(1.5f);
    gkstest::Picture before = gkstest::grab();
    EXPECT_EQ(SAT_color_bar(0), -1);
    gupdate_window();
    EXPECT_TRUE(gkstest::grab() == before);
}

namespace {

// Column runs of a colour in a band of rows, merged where they are less than merge pixels apart: the numbers of a
// scale, one run each.
std::vector<std::pair<int, int>> column_groups(const gkstest::Picture &pic, unsigned long colour, int y0, int y1,
                                               int x0, int x1, int merge)
{
    std::vector<std::pair<int, int>> g;
    for (int x = std::max(x0, 0); x <= std::min(x1, pic.w - 1); ++x) {
        bool on = false;
        for (int y = y0; y <= y1 && !on; ++y) on = pic.at(x, y) == colour;
        if (!on) continue;
        if (!g.empty() && x - g.back().second <= merge) g.back().second = x;
        else g.push_back({x, x});
    }
    return g;
}

} // namespace

// The numbers of the temperature bar on both infrared scales and of the plain bar sit under the bar, clear of it, in
// the text colour, each centred on a tick of its scale (every 10 C on the temperature bar, every 16 counts on the
// plain one), at least three.
TEST_F(EnhBar, NumbersSitUnderTheBarOnItsTicks)
{
    const std::pair<int, int> bars[] = {{1, SAT_SRC_AREA}, {1, SAT_SRC_UNISYS}, {0, SAT_SRC_AREA}};
    for (auto [ir, source] : bars) {
        SCOPED_TRACE(testing::Message() << "ir " << ir << " source " << source);
        SAT_set_imager_source(source);
        SAT_color_setup();
        gclear_ws(1, 1);
        ASSERT_EQ(SAT_color_bar(ir), 0);
        gupdate_window();
        float v[4];
        PLT_get_view(v);
        const float x0 = v[0] + 0.03f * (v[1] - v[0]), xm = (v[0] + v[1]) / 2, cw = (xm - x0) / 256;
        gkstest::Picture pic = gkstest::grab();
        const unsigned long white = gget_color_ind(CLR_get_ind("white"));
        // The bar's lower edge: down from the panel along a column clear of ticks, the last outline row.
        const int xc = px(x0 + 100.5f * cw);
        int y = py(v[2]) + 1;
        while (y < pic.h && pic.at(xc, y) != white) ++y;   // top edge
        while (y < pic.h && pic.at(xc, y) == white) ++y;
        while (y < pic.h && pic.at(xc, y) != white) ++y;   // the cells
        while (y + 1 < pic.h && pic.at(xc, y + 1) == white) ++y;
        ASSERT_LT(y, pic.h - 4);
        const int bottom = y;
        // Not touching: the row under the edge is clear along the bar.
        for (int x = px(x0) + 1; x < px(xm) - 1; ++x) ASSERT_NE(pic.at(x, bottom + 1), white) << x;
        // The text's rows, then its numbers.
        int top = -1, low = -1;
        for (int r = bottom + 1; r < pic.h; ++r)
            for (int x = px(x0) - 30; x < px(xm) + 30; ++x)
                if (pic.at(x, r) == white) {
                    if (top < 0) top = r;
                    low = r;
                }
        ASSERT_GT(top, bottom + 1);
        const int height = low - top + 1;
        EXPECT_GE(height, 6);
        auto groups = column_groups(pic, white, top, low, px(x0) - 30, px(xm) + 30, height / 3);
        ASSERT_GE(groups.size(), 3u);
        for (auto [a, b] : groups) {
            float centre = (a + b) / 2.0f, best = 1e9f;
            auto gap = [&](float v) { return std::fabs(centre - px(x0 + v * cw)); };
            if (ir == 1)
                for (int t = 50; t >= -110; t -= 10) best = std::min(best, gap((float)SAT_ir_ind((float)t)));
            else
                for (int c = 0; c < 256; c += 16) best = std::min(best, gap((float)c));
            EXPECT_LE(best, 2.5f) << "number at columns " << a << ".." << b;
        }
    }
}
