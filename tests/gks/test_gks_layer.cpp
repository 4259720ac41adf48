// Layers on the window, headless and on X servers of 24 and 8 bits: a layer put onto a frame sets the pixels the same
// drawing sets there, whatever lies under them, and leaves the others; a layer drawn with an exclusive-or line, or
// while the display list records, is not kept; a resize drops the layers.
#include "gks_test_util.h"

#include <cstdlib>

namespace {

// Dashed lines, a patterned fill, markers and text over the unit square: pixels set and left unset side by side.
void overlay()
{
    const float line[] = {0.1f, 0.1f, 0.9f, 0.8f, 0.2f, 0.9f};
    gset_line_colr_ind(2), gset_linetype(2), gpolyline(3, line), gset_linetype(1);
    const float area[] = {0.3f, 0.3f, 0.7f, 0.3f, 0.7f, 0.6f, 0.3f, 0.6f, 0.3f, 0.3f};
    gset_fill_colr_ind(3), gset_fill_int_style(2), gset_fill_style_ind(2), gfill_area(5, area);
    const float marks[] = {0.5f, 0.2f, 0.8f, 0.3f};
    gset_marker_colr_ind(4), gset_marker_type(2), gpolymarker(2, marks);
    const float pos[] = {0.1f, 0.7f};
    gset_text_colr_ind(1), gtext(pos, "Layer");
}

// Frame k made the drawing target, a band of colour 4 across its lower half for the layer to keep or cover.
void frame_with_band(int k)
{
    gcreate_frame(k), gselect_frame(k);
    const float band[] = {0, 0, 1, 0, 1, 0.5f, 0, 0.5f, 0, 0};
    gset_fill_colr_ind(4), gset_fill_int_style(1), gfill_area(5, band);
}

// The drawing target's pixel values, as the server or the headless window holds them.
std::vector<unsigned long> target_pixels()
{
    int w = 0, h = 0;
    gget_win_size(&w, &h);
    if (!gget_display()) {
        const std::vector<uint32_t> px = gkstest::read_back();
        return {px.begin(), px.end()};
    }
    std::vector<unsigned long> px;
    XImage *im = XGetImage(gget_display(), gget_draw_window(), 0, 0, w, h, AllPlanes, ZPixmap);
    for (int i = 0; im && i < w * h; i++) px.push_back(XGetPixel(im, i % w, i / w));
    if (im) XDestroyImage(im);
    return px;
}

void check_layers(const std::string &display)
{
    testutil::ScratchDir dir;
    ASSERT_TRUE(gkstest::open_window(display, dir.file("gks.err"), 200, 160));
    gkstest::basic_colours();
    gkstest::world_unit(1);
    EXPECT_EQ(glayer_begin(), 0) << "the display list records the window's own picture";

    frame_with_band(0);
    overlay();
    const std::vector<unsigned long> want = target_pixels();
    ASSERT_EQ(want.size(), 200u * 160u);

    frame_with_band(1);
    ASSERT_EQ(glayer_begin(), 1);
    overlay();
    const int id = glayer_end();
    ASSERT_GT(id, 0);
    EXPECT_EQ(target_pixels(), want) << "put where it was drawn";
    frame_with_band(2);
    EXPECT_EQ(glayer_put(id), 1);
    EXPECT_EQ(target_pixels(), want) << "put onto another frame";

    frame_with_band(3);
    const std::vector<unsigned long> before = target_pixels();
    gset_line_gc_func(GXxor);
    ASSERT_EQ(glayer_begin(), 1);
    overlay();
    EXPECT_EQ(glayer_end(), 0);
    gset_line_gc_func(GXcopy);
    EXPECT_EQ(target_pixels(), before) << "an exclusive-or layer is neither kept nor put";

    gresize_window(180, 150);
    EXPECT_EQ(glayer_put(id), 0);
    gclose_ws(1), gclose_gks();
}

TEST(GksLayer, HeadlessLayerSetsThePixelsDrawingSets) { check_layers("mem"); }

TEST(GksLayer, XLayerSetsThePixelsDrawingSets)
{
    const char *d = std::getenv("DISPLAY");
    if (!d || !*d) GTEST_SKIP() << "needs an X display";
    check_layers(d);
}

// Eight-bit pixels come back from the server one byte each, and the all-bits fill is 0xFF.
TEST(GksLayer, XLayerOnAnEightBitServer)
{
    NEED_TOOL("Xvfb");
    gkstest::XServer x(8, "400x300");
    ASSERT_TRUE(x.ok());
    check_layers(x.name());
}

}  // namespace
