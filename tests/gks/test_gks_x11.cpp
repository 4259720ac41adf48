// The window workstation under a real X server: opening, geometry,
// backgrounds, colours (PseudoColor screens with the images), X errors, the
// zoom, and the embedded workstation's parameter errors (its drawing is
// tested with a second process in test_gks_xdotool.cpp).
#include "../test_support.h"
#include "gks_test_util.h"

namespace {

using gkstest::picture_pixel;

std::string display_24() { return getenv("DISPLAY") ? getenv("DISPLAY") : ""; }

class GksWindow : public gkstest::WindowTest {
protected:
    GksWindow() { err_ = scratch_.file("gks.err"); }
};

TEST_F(GksWindow, OpensWithClassNameAndSize) {
    XClassHint ch;
    ASSERT_TRUE(XGetClassHint(gget_display(), gget_root_window(), &ch));
    EXPECT_STREQ(ch.res_class, "Zyr");
    XFree(ch.res_name), XFree(ch.res_class);
    XWindowAttributes wa;
    XGetWindowAttributes(gget_display(), gget_root_window(), &wa);
    EXPECT_EQ(std::vector<int>({wa.width, wa.height, wa.border_width, gchk_graphics()}), std::vector<int>({640, 512, 5, 1}));
}

TEST(GksWindowGeometry, OffsetsBackgroundsAndInverseColours) {
    const std::string d = display_24();
    if (d.empty()) GTEST_SKIP() << "needs an X display";
    ASSERT_EQ(gopen_gks(nullptr, 0), 0);
    gset_xsize(200, 100), gset_geometry("-10-10"), gset_background("blue");
    ASSERT_EQ(gopen_ws(1, d.c_str(), GWS_WIN), 0);
    int rw, rh;
    gget_root_size(&rw, &rh);
    XWindowAttributes wa;
    XGetWindowAttributes(gget_display(), gget_root_window(), &wa);
    // Negative offsets: outer right and bottom edges (border included) 10 pixels in.
    EXPECT_EQ(wa.x + wa.width + 2 * wa.border_width, rw - 10);
    EXPECT_EQ(wa.y + wa.height + 2 * wa.border_width, rh - 10);
    ASSERT_EQ(gget_visual()->c_class, TrueColor);
    EXPECT_EQ(std::vector<unsigned long>({picture_pixel(10, 10), (unsigned long)gget_back_color()}),
              std::vector<unsigned long>({gget_blu_mask(), gget_blu_mask()}));
    gclose_ws(1), gset_geometry("300x200+20+30"), gset_background("none"), setenv("zyrinverse", "1", 1);
    ASSERT_EQ(gopen_ws(1, d.c_str(), GWS_WIN), 0);
    XGetWindowAttributes(gget_display(), gget_root_window(), &wa);
    EXPECT_EQ(std::vector<int>({wa.x, wa.y, wa.width, gget_window_height()}), std::vector<int>({20, 30, 300, 200}));
    EXPECT_EQ(picture_pixel(10, 10), WhitePixel(gget_display(), gget_screen()));
    gclose_ws(1), unsetenv("zyrinverse"), gset_inverse(0), gset_background(""), gset_geometry(""), gclose_gks();
}

TEST(GksEmbedded, ParameterErrors) {
    const std::string d = display_24();
    if (d.empty()) GTEST_SKIP() << "needs an X display";
    testutil::ScratchDir dir;
    std::string err = dir.file("e");
    unsetenv("zyrwindow"), unsetenv("WINDOW");
    ASSERT_EQ(gopen_gks(err.c_str(), 0), 0);
    for (const std::string &conn : {d, d + ",0:640x512:0", d + ",/no/such/idfile"})
        EXPECT_EQ(gopen_ws(1, conn.c_str(), GWS_PIX), -1) << conn;
    gclose_gks();
    EXPECT_EQ(testutil::read_file(err), "gopen_ws: window parameters not specified\ngopen_ws: window id not specified\n"
                                        "gopen_ws: unable to open window id file\n");
}

TEST_F(GksWindow, NearColoursAreReusedAndNewOnesTakeTheNextIndex) {
    EXPECT_EQ(gget_max_colr(), 4);
    // Any index: a colour within 0.01 of red reuses index 2.
    EXPECT_EQ(galloc_colr(-1, 0.995f, 0.002f, 0.0f), gget_color_ind(2));
    EXPECT_EQ(gget_max_colr(), 4);
    galloc_colr(-1, 0.5f, 0.25f, 0.75f);
    EXPECT_EQ(gget_max_colr(), 5);
    int r, g, b;
    gget_color_rgb256(5, &r, &g, &b);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({127, 63, 191}));
    // TrueColor: the pixel is the colour in the visual's channels.
    ASSERT_EQ(gget_visual()->c_class, TrueColor);
    EXPECT_EQ((unsigned long)gget_color_ind(2), gget_red_mask());
    EXPECT_EQ(gget_color_rgb_Xval(0, 0xFFFF, 0), gget_grn_mask());
}

// Colour indexes: 0..256, the background -1 and the device-independent
// 500..508 are accepted; every other one gives a message.  Setters need an
// allocated colour on the window.
TEST_F(GksWindow, ColourIndexValidation) {
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

TEST_F(GksWindow, TwentyFifthXErrorEndsWithStatusFour) {
    // The child re-runs the test: the parent's X connection stays untouched.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            for (int i = 0; i < 30; i++) {
                XFreePixmap(gget_display(), (Pixmap)0x7ffffff0);  // no such pixmap: BadPixmap
                XSync(gget_display(), False);
            }
            exit(0);
        },
        ::testing::ExitedWithCode(4), "X11 error: too many errors");
}

TEST_F(GksWindow, ZoomAboutTheCentreAndTheCorners) {
    // A picture whose pixels tell where they came from: a red dot at (160, 128).
    unsigned long red = (unsigned long)gget_color_ind(2);
    XSetForeground(gget_display(), gget_root_gc(), red);
    XDrawPoint(gget_display(), gget_base_window(), gget_root_gc(), 160, 128);
    ASSERT_EQ(gzoom(-2, 320, 256, 2, 0), 1);
    EXPECT_EQ(std::vector<float>({xZ_p(0), yZ_p(0), xZ_p(639), (float)gget_zoom()}), std::vector<float>({160, 128, 479.5f, 2}));
    // The red source pixel now covers window pixels (0..1, 0..1); unzoom
    // puts the saved picture back.
    EXPECT_EQ(std::vector<bool>({picture_pixel(0, 0) == red, picture_pixel(1, 1) == red, picture_pixel(2, 2) == red}),
              std::vector<bool>({true, true, false}));
    gunzoom();
    EXPECT_EQ(std::vector<bool>({gget_zoom() == 1, picture_pixel(160, 128) == red, picture_pixel(0, 0) == red}),
              std::vector<bool>({true, true, false}));
    // About the corners the region is clamped inside the picture.
    gzoom(-2, 0, 0, 2, 0);
    EXPECT_EQ(std::vector<float>({xZ_p(0), yZ_p(0)}), std::vector<float>({0, 0}));
    gunzoom(), gzoom(-2, 639, 511, 2, 0);
    EXPECT_EQ(std::vector<float>({xZ_p(0), yZ_p(0), xZ_p(639)}), std::vector<float>({320, 256, 639.5f}));
    gunzoom();
}

TEST_F(GksWindow, ResizeKeepsThePictureAndRefitsTheTransforms) {
    XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(3));
    XDrawPoint(gget_display(), gget_base_window(), gget_root_gc(), 5, 6);
    EXPECT_EQ(gresize_window(800, 600), 1);
    int w, h;
    gget_win_size(&w, &h);
    EXPECT_EQ(w * 1000 + h, 800600);
    EXPECT_EQ(picture_pixel(5, 6), (unsigned long)gget_color_ind(3));
    gset_win_size(w, h);
    EXPECT_FLOAT_EQ(yW_p(0), 599);
    EXPECT_EQ(gresize_window(-1, -1), 0);  // already this size
}

}  // namespace
