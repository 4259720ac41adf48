// The plot session in a window on a private X server: label bands and
// alignment, full labels inside the panel, no room, and panel geometry.
#include <cmath>
#include "core/res.h"
#include "gks/clr.h"
#include "plot/plt.h"
#include "plot_test_util.h"

namespace {

class PlotWindow : public plottest::XPlotTest {
protected:
    void SetUp() override
    {
        XPlotTest::SetUp();
        gset_xsize(1000, 800);
    }
    // Opens the session, draws the six labels on each overlay and grabs
    // the window; the panel's pixel edges go to L, R, T, B.
    int draw(int overlays, float aspect = 1.5f)
    {
        EXPECT_EQ(PLT_open(aspect), 0);
        PLT_init_labels();
        PLT_set_label_type(1);
        for (int o = 0; o < overlays; ++o) {
            if (o) PLT_next_overlay();
            PLT_label_up_left("LEFT"), PLT_label_up_center("CENTRE"), PLT_label_up_right("RIGHT");
            PLT_label_low_left("LOWLEFT"), PLT_label_low_center("LOWMID"), PLT_label_low_right("LOWRIGHT");
        }
        int drawn = PLT_labels();
        gupdate_window();
        pic = gkstest::grab();
        float v[4];
        PLT_get_view(v);
        L = (int)xNDC_p(v[0]), R = (int)xNDC_p(v[1]), T = (int)yNDC_p(v[3]), B = (int)yNDC_p(v[2]);
        return drawn;
    }
    // Bounding box of the white (text) pixels inside a pixel rectangle.
    gkstest::Box white(int x1, int y1, int x2, int y2) const
    {
        const unsigned long w = gget_color_ind(CLR_get_ind("white"));
        gkstest::Box b;
        for (int y = std::max(0, y1); y <= std::min(pic.h - 1, y2); ++y)
            for (int x = std::max(0, x1); x <= std::min(pic.w - 1, x2); ++x)
                if (pic.at(x, y) == w)
                    b.n++, b.x1 = std::min(b.x1, x), b.x2 = std::max(b.x2, x), b.y1 = std::min(b.y1, y),
                           b.y2 = std::max(b.y2, y);
        return b;
    }
    // Separate text rows (runs of rows holding white) in a rectangle.
    int text_rows(int x1, int y1, int x2, int y2) const
    {
        int rows = 0;
        for (int y = y1, in = 0, any; y <= y2; ++y, in = any) rows += (any = white(x1, y, x2, y).n > 0) && !in;
        return rows;
    }
    gkstest::Picture pic;
    int L = 0, R = 0, T = 0, B = 0;
};

} // namespace

// Left labels start and right labels end 1 % of the panel width inside its
// edges, centre labels are centred; three overlays make three rows above
// and three below the panel.
TEST_F(PlotWindow, SixLabelsThreeOverlaysInTheirBands)
{
    PLT_set_view_offsets(0, 0, 0.1f, 0.1f);
    ASSERT_EQ(draw(3), 0);
    const int third = (R - L) / 3, tol = 4, dx = (int)std::lround(0.01 * (R - L));
    for (auto [top, bottom] : {std::pair{0, T - 2}, std::pair{B + 2, pic.h - 1}}) {
        SCOPED_TRACE(top ? "lower band" : "upper band");
        auto left = white(L, top, L + third, bottom), mid = white(L + third, top, R - third, bottom),
             right = white(R - third, top, R, bottom);
        ASSERT_GT(left.n * mid.n * right.n, 0);
        EXPECT_NEAR(left.x1, L + dx, tol);
        EXPECT_NEAR(right.x2, R - dx, tol);
        EXPECT_NEAR((mid.x1 + mid.x2) / 2, (L + R) / 2, tol);
        EXPECT_EQ(text_rows(L, top, R, bottom), 3);
    }
    // The upper labels stay in the band between the panel and the page top.
    EXPECT_GT(white(L, 0, L + third, T - 2).y1, (int)yNDC_p(GPH_get_vert_win_size()) - 1);
}

TEST_F(PlotWindow, FullLabelsInsideThePanel)
{
    RES_put("plot_param", "fullab");
    ASSERT_EQ(draw(1), 0);
    EXPECT_GT(white(L + 2, T + 2, R - 2, (T + B) / 2).n, 0);
    EXPECT_GT(white(L + 2, (T + B) / 2, R - 2, B - 2).n, 0);
}

// No margins and the page's own aspect: the panel is the page share, and
// nothing but the border may be drawn, nothing outside the panel.
TEST_F(PlotWindow, NoRoomLeavesLabelsOut)
{
    RES_put("plot_param", "full");
    EXPECT_EQ(draw(1, 0), -1);
    EXPECT_EQ(white(0, 0, pic.w - 1, T - 2).n, 0);
    EXPECT_EQ(white(0, B + 2, pic.w - 1, pic.h - 1).n, 0);
}

// "2x2+1+0": the cell of column 1, row 0 (the top) of a 2 x 2 grid.
TEST_F(PlotWindow, PanelGeometryTopRightQuarter)
{
    RES_put("plot_param", "vp_size=2x2+1+0");
    ASSERT_EQ(PLT_open(0), 0);
    float v[4], share[4];
    PLT_get_view(v);
    GPH_get_view_size(share);
    const float xvp = share[1], yvp = GPH_get_vert_win_size();
    EXPECT_NEAR(share[0], 0.5f, 1e-4);
    EXPECT_NEAR(share[2], yvp / 2, 1e-4);
    EXPECT_NEAR(share[3], yvp, 1e-4);
    EXPECT_GE(v[0], xvp / 2 - 1e-4);
    EXPECT_GE(v[2], yvp / 2 - 1e-4);
    EXPECT_LE(v[3], yvp + 1e-4);
}
