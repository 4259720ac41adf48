// The window workstation under a real X server (its embedded drawing: test_gks_xdotool.cpp).
#include "gks_test_util.h"

namespace {

using gkstest::picture_pixel;

#define NEED_DISPLAY(d) \
    const std::string d = getenv("DISPLAY") ? getenv("DISPLAY") : ""; \
    if (d.empty()) GTEST_SKIP() << "needs an X display"

class GksWindow : public gkstest::WindowTest {
protected:
    GksWindow() { err_ = scratch_.file("gks.err"); }
};

// The class name and size; a colour within 0.01 of red (any index) reuses index 2, a new one
// takes the next; on TrueColor the pixel is the colour in the visual's channels.
TEST_F(GksWindow, OpensWithClassNameAndSizeReusesNearColoursChecksIndexes) {
    XClassHint ch;
    ASSERT_TRUE(XGetClassHint(gget_display(), gget_root_window(), &ch));
    EXPECT_STREQ(ch.res_class, "Zyr");
    XFree(ch.res_name), XFree(ch.res_class);
    XWindowAttributes wa;
    XGetWindowAttributes(gget_display(), gget_root_window(), &wa);
    EXPECT_EQ(std::vector<int>({wa.width, wa.height, wa.border_width, gchk_graphics()}), std::vector<int>({640, 512, 5, 1}));
    long m0 = gget_max_colr(), near = galloc_colr(-1, 0.995f, 0.002f, 0.0f), m1 = gget_max_colr();
    int r, g, b;
    galloc_colr(-1, 0.5f, 0.25f, 0.75f), gget_color_rgb256(5, &r, &g, &b);
    EXPECT_EQ(std::vector<long>({m0, near, m1, gget_max_colr(), r, g, b}),
              std::vector<long>({4, gget_color_ind(2), 4, 5, 127, 63, 191}));
    ASSERT_EQ(gget_visual()->c_class, TrueColor);
    EXPECT_EQ((unsigned long)gget_color_ind(2), gget_red_mask());
    EXPECT_EQ(gget_color_rgb_Xval(0, 0xFFFF, 0), gget_grn_mask());
    // Colour indexes 0..256, the background -1 and 500..508 are accepted; every other one gives a
    // message.  Setters need an allocated colour on the window.
    float rgb[3] = {1, 1, 1};
    std::string want;
    for (int index : {-2, 257, 499, 509, 500, 508, -1, 256}) {
        bool bad = index < -1 || (index > 256 && index < 500) || index > 508;
        EXPECT_EQ(gset_colr_rep(1, index, rgb), bad ? -1 : 0) << index;
        if (bad) want += "gset_colr_rep: invalid color index: " + std::to_string(index) + "\n";
    }
    EXPECT_EQ(std::vector<int>({gset_line_colr_ind(77), gset_fill_colr_ind(300), gset_marker_colr_ind(505)}),
              std::vector<int>({-1, -1, 0}));
    want += "gset_line_colr_ind: color index not initialized\ngset_fill_colr_ind: invalid color index: 300\n";
    EXPECT_EQ(gkstest::messages(err_), want);
}

TEST(GksWindowGeometry, OffsetsBackgroundsInverseColoursAndEmbeddedErrors) {
    NEED_DISPLAY(d);
    ASSERT_EQ(gopen_gks(nullptr, 0), 0);
    gset_xsize(200, 100), gset_geometry("-10-10"), gset_background("blue");
    ASSERT_EQ(gopen_ws(1, d.c_str(), GWS_WIN), 0);
    int rw, rh;
    XWindowAttributes wa;
    gget_root_size(&rw, &rh), XGetWindowAttributes(gget_display(), gget_root_window(), &wa);
    // Negative offsets: outer right and bottom edges (border included) 10 pixels in.
    EXPECT_EQ(std::vector<int>({wa.x + wa.width + 2 * wa.border_width, wa.y + wa.height + 2 * wa.border_width}),
              std::vector<int>({rw - 10, rh - 10}));
    ASSERT_EQ(gget_visual()->c_class, TrueColor);
    EXPECT_EQ(std::vector<unsigned long>({picture_pixel(10, 10), (unsigned long)gget_back_color()}),
              std::vector<unsigned long>({gget_blu_mask(), gget_blu_mask()}));
    gclose_ws(1), gset_geometry("300x200+20+30"), gset_background("none"), setenv("zyrinverse", "1", 1);
    ASSERT_EQ(gopen_ws(1, d.c_str(), GWS_WIN), 0);
    XGetWindowAttributes(gget_display(), gget_root_window(), &wa);
    EXPECT_EQ(std::vector<int>({wa.x, wa.y, wa.width, gget_window_height()}), std::vector<int>({20, 30, 300, 200}));
    EXPECT_EQ(picture_pixel(10, 10), WhitePixel(gget_display(), gget_screen()));
    gclose_ws(1), unsetenv("zyrinverse"), gset_inverse(0), gset_background(""), gset_geometry(""), gclose_gks();
    // The embedded workstation's parameter errors.
    testutil::ScratchDir dir;
    std::string err = dir.file("e");
    unsetenv("zyrwindow"), unsetenv("WINDOW");
    ASSERT_EQ(gopen_gks(err.c_str(), 0), 0);
    for (const std::string &conn : {d, d + ",0:640x512:0", d + ",/no/such/idfile"})
        EXPECT_EQ(gopen_ws(1, conn.c_str(), GWS_PIX), -1) << conn;
    EXPECT_EQ((gclose_gks(), testutil::read_file(err)),
              "gopen_ws: window parameters not specified\ngopen_ws: window id not specified\n"
              "gopen_ws: unable to open window id file\n");
}

TEST_F(GksWindow, TwentyFifthXErrorEndsWithStatusFour) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child re-runs: the parent's X stays untouched
    EXPECT_EXIT({  // no such pixmap: BadPixmap
        for (int i = 0; i < 30; i++) { XFreePixmap(gget_display(), (Pixmap)0x7ffffff0); XSync(gget_display(), False); }
        exit(0);
    }, ::testing::ExitedWithCode(4), "X11 error: too many errors");
}

TEST_F(GksWindow, ZoomAboutTheCentreAndCornersAndResize) {
    // A picture whose pixels tell where they came from: a red dot at (160, 128).
    unsigned long red = (unsigned long)gget_color_ind(2);
    XSetForeground(gget_display(), gget_root_gc(), red);
    XDrawPoint(gget_display(), gget_base_window(), gget_root_gc(), 160, 128);
    ASSERT_EQ(gzoom(-2, 320, 256, 2, 0), 1);
    EXPECT_EQ(std::vector<float>({xZ_p(0), yZ_p(0), xZ_p(639), (float)gget_zoom()}), std::vector<float>({160, 128, 479.5f, 2}));
    // The red source pixel now covers window pixels (0..1, 0..1); unzoom puts the picture back.
    EXPECT_EQ(std::vector<bool>({picture_pixel(0, 0) == red, picture_pixel(1, 1) == red, picture_pixel(2, 2) == red}),
              std::vector<bool>({true, true, false}));
    gunzoom();
    EXPECT_EQ(std::vector<bool>({gget_zoom() == 1, picture_pixel(160, 128) == red, picture_pixel(0, 0) == red}),
              std::vector<bool>({true, true, false}));
    // About the corners the region is clamped inside the picture.
    gzoom(-2, 0, 0, 2, 0);
    std::vector<float> got{xZ_p(0), yZ_p(0)};
    gunzoom(), gzoom(-2, 639, 511, 2, 0), got.insert(got.end(), {xZ_p(0), yZ_p(0), xZ_p(639)}), gunzoom();
    EXPECT_EQ(got, std::vector<float>({0, 0, 320, 256, 639.5f}));
    XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(3));
    XDrawPoint(gget_display(), gget_base_window(), gget_root_gc(), 5, 6);
    int w, h, resized = gresize_window(800, 600);
    gget_win_size(&w, &h);
    EXPECT_EQ(std::vector<int>({resized, w, h}), std::vector<int>({1, 800, 600}));
    EXPECT_EQ(picture_pixel(5, 6), (unsigned long)gget_color_ind(3));
    gset_win_size(w, h);
    EXPECT_EQ(std::vector<float>({yW_p(0), (float)gresize_window(-1, -1)}), std::vector<float>({599, 0}));  // same size
}

}  // namespace
