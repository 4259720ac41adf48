// Interactive domain zoom, resize, refresh and the position line, called
// directly with world positions of the map panel.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/res.h"
#include "map/dom.h"
#include "map/map.h"
#include "plot/plt.h"

namespace {

std::vector<DOM> drawn;
int record(DOM *d)
{
    drawn.push_back(*d);
    return 0;
}

DOM install(const char *text)
{
    DOM d;
    DOM_init(&d);
    EXPECT_EQ(DOM_decode(text, &d), 1) << text;
    MAP_domain(&d);
    return d;
}

std::string quiet_zoom(const char *name, float x, float y, int *result)
{
    testing::internal::CaptureStdout();
    *result = PLT_plot_zoom(name, x, y);
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(PlotZoom, RectangleGivesCentreSpacingAndRestores)
{
    RES_clear();
    drawn.clear();
    PLT_set_zoom_func(record);
    install("ps:60:-100,45,-100,41,31,1.0,1.0");
    DOM first;
    MAP_get_domain(&first);
    ASSERT_GT(first.nx, 1);
    ASSERT_GT(first.ny, 1);
    float x1, y1, x2, y2;
    MAP_tran(&x1, &y1, 38, -112);
    MAP_tran(&x2, &y2, 47, -95);
    ASSERT_NE(x1, x2);
    ASSERT_NE(y1, y2);
    int r = 0;
    quiet_zoom("B1-P-Shft", x1, y1, &r);
    std::string out = quiet_zoom("B1-R", x2, y2, &r);
    ASSERT_EQ(r, 1);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NE(out.find("New domain: "), std::string::npos);
    float lat, lon;
    MAP_untran(&lat, &lon, (x1 + x2) / 2, (y1 + y2) / 2);
    const DOM &z = drawn[0];
    EXPECT_NEAR(z.clat, lat, 1e-4);
    EXPECT_NEAR(z.clon, lon, 1e-4);
    float spacing = std::max(std::fabs(x2 - x1) / (first.nx - 1), std::fabs(y2 - y1) / (first.ny - 1));
    EXPECT_NEAR(z.dx, spacing, 1e-5);
    EXPECT_NEAR(z.dy, spacing, 1e-5);
    EXPECT_EQ(z.nx, first.nx);
    EXPECT_EQ(PLT_get_zoom(), 1);

    // Second zoom in the new domain, then Alt+u goes back to the first.
    MAP_domain(&z);
    quiet_zoom("B1-P-Shft", 0.5f, 0.5f, &r);
    quiet_zoom("B1-R", 2.0f, 1.5f, &r);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(PLT_get_zoom(), 2);
    out = quiet_zoom("u-Alt", 0, 0, &r);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_NE(out.find("Original domain: "), std::string::npos);
    EXPECT_EQ(DOM_comp(&drawn[2], &first), 1);  // 1: the same domain
    EXPECT_EQ(PLT_get_zoom(), 0);
    quiet_zoom("u-Alt", 0, 0, &r);  // nothing zoomed: nothing to restore
    EXPECT_EQ(drawn.size(), 3u);
}

TEST(PlotZoom, ZeroWidthCancelAndRedraw)
{
    drawn.clear();
    PLT_set_zoom_func(record);
    install("ll,40,-100,81,61,0.5,0.5");
    int r = 0;
    quiet_zoom("B1-P-Shft", 1, 1, &r);
    quiet_zoom("B1-R", 1, 5, &r);  // same x: ignored, rectangle stays active
    EXPECT_EQ(r, -1);
    quiet_zoom("B1-R", 4, 1, &r);  // same y
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(drawn.empty());
    quiet_zoom("B2-P", 3, 3, &r);  // anything else cancels
    quiet_zoom("B1-R", 4, 4, &r);
    EXPECT_TRUE(drawn.empty());
    quiet_zoom("B1-R-Shft", 4, 4, &r);  // no rectangle pending
    EXPECT_TRUE(drawn.empty());
    quiet_zoom("r-Alt", 0, 0, &r);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NEAR(drawn[0].clat, 40, 1e-4);

    PLT_set_resize_func(record);
    EXPECT_EQ(PLT_plot_resize("other"), 0);
    EXPECT_EQ(PLT_plot_resize("size"), 1);
    EXPECT_EQ(drawn.size(), 2u);
}

TEST(PlotZoom, PositionLineOnlyForAltV)
{
    install("ll,40,-100,81,61,0.5,0.5");
    float x, y;
    MAP_tran(&x, &y, 42.5f, -97.25f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(PLT_print_location("v", x, y), 0);
    EXPECT_EQ(PLT_print_location("u-Alt", x, y), 0);
    EXPECT_EQ(PLT_print_values("v-Alt", x, y), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Lat:  42.50 Lon:  -97.25 XY: ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}
