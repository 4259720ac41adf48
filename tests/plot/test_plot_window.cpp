// The plot session in a window on a private X server: label bands and
// alignment, full labels inside the panel, no room, and panel geometry.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "core/flags.h"
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
    // Bounding box of white pixels inside a pixel rectangle.
    static gkstest::Box white_in(const gkstest::Picture &p, int x1, int y1, int x2, int y2)
    {
        unsigned long white = gget_color_ind(CLR_get_ind("white"));
        gkstest::Box b;
        for (int y = std::max(0, y1); y <= std::min(p.h - 1, y2); ++y)
            for (int x = std::max(0, x1); x <= std::min(p.w - 1, x2); ++x)
                if (p.at(x, y) == white) {
                    ++b.n;
                    b.x1 = std::min(b.x1, x), b.x2 = std::max(b.x2, x);
                    b.y1 = std::min(b.y1, y), b.y2 = std::max(b.y2, y);
                }
        return b;
    }
    // Number of separate text rows (runs of rows holding white) in a box.
    static int text_rows(const gkstest::Picture &p, int x1, int y1, int x2, int y2)
    {
        int rows = 0;
        bool in = false;
        for (int y = y1; y <= y2; ++y) {
            bool any = white_in(p, x1, y, x2, y).n > 0;
            if (any && !in) ++rows;
            in = any;
        }
        return rows;
    }
};

void six_labels(int overlays)
{
    PLT_init_labels();
    PLT_set_label_type(1);
    for (int o = 0; o < overlays; ++o) {
        if (o) PLT_next_overlay();
        PLT_label_up_left("LEFT");
        PLT_label_up_center("CENTRE");
        PLT_label_up_right("RIGHT");
        PLT_label_low_left("LOWLEFT");
        PLT_label_low_center("LOWMID");
        PLT_label_low_right("LOWRIGHT");
    }
}

} // namespace

TEST_F(PlotWindow, SixLabelsThreeOverlaysInTheirBands)
{
    PLT_set_view_offsets(0, 0, 0.1f, 0.1f);
    ASSERT_EQ(PLT_open(1.5f), 0);
    six_labels(3);
    ASSERT_EQ(PLT_labels(), 0);
    gupdate_window();
    gkstest::Picture pic = gkstest::grab();
    float v[4];
    PLT_get_view(v);
    int L = (int)xNDC_p(v[0]), R = (int)xNDC_p(v[1]), T = (int)yNDC_p(v[3]), B = (int)yNDC_p(v[2]);
    int third = (R - L) / 3, tol = 4;
    // Upper band: above the panel top; lower band: below its bottom.
    auto ul = white_in(pic, L, 0, L + third, T - 2), uc = white_in(pic, L + third, 0, R - third, T - 2),
         ur = white_in(pic, R - third, 0, R, T - 2);
    auto ll = white_in(pic, L, B + 2, L + third, pic.h - 1), lc = white_in(pic, L + third, B + 2, R - third, pic.h - 1),
         lr = white_in(pic, R - third, B + 2, R, pic.h - 1);
    for (auto *b : {&ul, &uc, &ur, &ll, &lc, &lr}) ASSERT_GT(b->n, 0);
    int dx = (int)std::lround(0.01 * (R - L));
    EXPECT_NEAR(ul.x1, L + dx, tol);
    EXPECT_NEAR(ur.x2, R - dx, tol);
    EXPECT_NEAR((uc.x1 + uc.x2) / 2, (L + R) / 2, tol);
    EXPECT_NEAR(ll.x1, L + dx, tol);
    EXPECT_NEAR(lr.x2, R - dx, tol);
    EXPECT_NEAR((lc.x1 + lc.x2) / 2, (L + R) / 2, tol);
    EXPECT_EQ(text_rows(pic, L, 0, R, T - 2), 3);
    EXPECT_EQ(text_rows(pic, L, B + 2, R, pic.h - 1), 3);
    // The upper labels stay in the band between the panel and the page top.
    EXPECT_GT(ul.y1, (int)yNDC_p(GPH_get_vert_win_size()) - 1);
}

TEST_F(PlotWindow, FullLabelsInsideThePanel)
{
    RES_put("plot_param", "fullab");
    ASSERT_EQ(PLT_open(1.5f), 0);
    six_labels(1);
    ASSERT_EQ(PLT_labels(), 0);
    gupdate_window();
    gkstest::Picture pic = gkstest::grab();
    float v[4];
    PLT_get_view(v);
    int L = (int)xNDC_p(v[0]), R = (int)xNDC_p(v[1]), T = (int)yNDC_p(v[3]), B = (int)yNDC_p(v[2]);
    auto upper = white_in(pic, L + 2, T + 2, R - 2, (T + B) / 2);
    auto lower = white_in(pic, L + 2, (T + B) / 2, R - 2, B - 2);
    EXPECT_GT(upper.n, 0);
    EXPECT_GT(lower.n, 0);
}

TEST_F(PlotWindow, NoRoomLeavesLabelsOut)
{
    // No margins and the page's own aspect: the panel is the page share.
    RES_put("plot_param", "full");
    ASSERT_EQ(PLT_open(0), 0);
    six_labels(1);
    EXPECT_EQ(PLT_labels(), -1);
    gupdate_window();
    gkstest::Picture after = gkstest::grab();
    float v[4];
    PLT_get_view(v);
    // Only the border may have been drawn: nothing outside the panel.
    int T = (int)yNDC_p(v[3]), B = (int)yNDC_p(v[2]);
    EXPECT_EQ(white_in(after, 0, 0, after.w - 1, T - 2).n, 0);
    EXPECT_EQ(white_in(after, 0, B + 2, after.w - 1, after.h - 1).n, 0);
}

TEST_F(PlotWindow, PanelGeometryTopRightQuarter)
{
    RES_put("plot_param", "vp_size=2x2+1+0");
    ASSERT_EQ(PLT_open(0), 0);
    float v[4], share[4];
    PLT_get_view(v);
    GPH_get_view_size(share);
    float xvp = share[1] * 1.0f, yvp = GPH_get_vert_win_size();
    EXPECT_NEAR(share[0], 0.5f, 1e-4);
    EXPECT_NEAR(share[2], yvp / 2, 1e-4);
    EXPECT_NEAR(share[3], yvp, 1e-4);
    EXPECT_GE(v[0], xvp / 2 - 1e-4);
    EXPECT_GE(v[2], yvp / 2 - 1e-4);
    EXPECT_LE(v[3], yvp + 1e-4);
}

TEST_F(PlotWindow, DeviceResourceNamesTheDisplay)
{
    std::string name = server_->name();
    unsetenv("DISPLAY");
    FLAG_set(FLAG_DEVICE, 0);
    RES_put("device", ("d," + name).c_str());
    ASSERT_EQ(PLT_open(1.5f), 0);
    EXPECT_EQ(FLAG_get(FLAG_DEVICE), GWS_WIN);
    EXPECT_EQ(gchk_graphics(), 1);
    EXPECT_EQ(PLT_get_work_type(), GWS_WIN);
}
