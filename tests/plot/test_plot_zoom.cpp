// Interactive zoom, resize, redraw and the position line at world positions
// of a latitude/longitude domain centred on 40 N 100 W: world x is degrees
// east of 100 W, world y the latitude, so expected domains are hand-worked.
#include "../test_support.h"
#include "map/dom.h"
#include "map/map.h"
#include "plot/plt.h"

namespace {

std::vector<DOM> drawn;
int record(DOM *d) { return drawn.push_back(*d), 0; }

DOM install()
{
    DOM d;
    DOM_init(&d);
    EXPECT_EQ(DOM_decode("ll,40,-100,81,61,0.5,0.5", &d), 1);
    MAP_domain(&d);
    MAP_get_domain(&d);
    drawn.clear();
    PLT_set_zoom_func(record);
    return d;
}

// PLT_plot_zoom's result, its printed text to out.
int zoom(const char *name, float x, float y, std::string *out = nullptr)
{
    int r = 0;
    const std::string text = testutil::stdout_of([&] { r = PLT_plot_zoom(name, x, y); });
    if (out) *out = text;
    return r;
}

} // namespace

TEST(PlotZoom, RectangleGivesCentreSpacingAndRestores)
{
    const DOM first = install();
    // Corners 112 W 38 N and 95 W 47 N: the middle is 103.5 W 42.5 N; the
    // spacing is the larger of 17 / 80 and 9 / 60 degrees.
    std::string out;
    EXPECT_EQ(zoom("B1-P-Shft", -12, 38), 0);
    EXPECT_EQ(zoom("B1-R", 5, 47, &out), 1);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NE(out.find("New domain: "), std::string::npos);
    const DOM z = drawn[0];
    EXPECT_NEAR(z.clat, 42.5, 1e-4);
    EXPECT_NEAR(z.clon, -103.5, 1e-4);
    EXPECT_NEAR(z.dx, 0.2125, 1e-5);
    EXPECT_NEAR(z.dy, 0.2125, 1e-5);
    EXPECT_EQ(std::pair(z.nx, z.ny), std::pair(81, 61));
    EXPECT_EQ(PLT_get_zoom(), 1);
    // A second zoom in the new domain, then Alt+u goes back to the first.
    MAP_domain(&z);
    zoom("B1-P-Shft", 0.5f, 0.5f);
    zoom("B1-R", 2.0f, 1.5f);
    EXPECT_EQ(PLT_get_zoom(), 2);
    zoom("u-Alt", 0, 0, &out);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_NE(out.find("Original domain: "), std::string::npos);
    EXPECT_EQ(DOM_comp(&drawn[2], &first), 1);  // 1: the same domain
    EXPECT_EQ(PLT_get_zoom(), 0);
    zoom("u-Alt", 0, 0);  // nothing zoomed: nothing to restore
    EXPECT_EQ(drawn.size(), 3u);
}

TEST(PlotZoom, ZeroWidthCancelRedrawResizeAndPositionLine)
{
    install();
    zoom("B1-P-Shft", 1, 1);
    EXPECT_EQ(zoom("B1-R", 1, 5), -1);  // same x: ignored, rectangle stays active
    EXPECT_EQ(zoom("B1-R", 4, 1), -1);  // same y
    zoom("B2-P", 3, 3);                  // anything else cancels
    zoom("B1-R", 4, 4);
    zoom("B1-R-Shft", 4, 4);  // no rectangle pending
    EXPECT_TRUE(drawn.empty());
    zoom("r-Alt", 0, 0);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NEAR(drawn[0].clat, 40, 1e-4);
    PLT_set_resize_func(record);
    EXPECT_EQ(PLT_plot_resize("other"), 0);
    EXPECT_EQ(PLT_plot_resize("size"), 1);
    EXPECT_EQ(drawn.size(), 2u);
    // Only Alt+v prints; world (2.75, 42.5) is 97.25 W 42.5 N.
    const std::string out = testutil::stdout_of([] {
        EXPECT_EQ(PLT_print_location("v", 2.75f, 42.5f), 0);
        EXPECT_EQ(PLT_print_location("u-Alt", 2.75f, 42.5f), 0);
        EXPECT_EQ(PLT_print_values("v-Alt", 2.75f, 42.5f), 1);
    });
    EXPECT_EQ(out.rfind("Lat:  42.50 Lon:  -97.25 XY:   2.75  42.50", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}
