// Workstation set-up beyond the plain window: the embedded workstation's
// parameter errors (its drawing is tested with a second process in
// test_gks_xdotool.cpp), backgrounds and inverse colours.
#include "../test_support.h"
#include "gks_test_util.h"

#include <cstdlib>

namespace {

TEST(GksEmbedded, ParameterErrors) {
    const char *display = getenv("DISPLAY");
    if (!display) GTEST_SKIP() << "needs an X display";
    testutil::ScratchDir dir;
    std::string err = dir.file("e"), d = display;
    unsetenv("zyrwindow"), unsetenv("WINDOW");
    ASSERT_EQ(gopen_gks(err.c_str(), 0), 0);
    for (const std::string &conn : {d, d + ",0:640x512:0", d + ",/no/such/idfile"})
        EXPECT_EQ(gopen_ws(1, conn.c_str(), GWS_PIX), -1) << conn;
    gclose_gks();
    EXPECT_EQ(testutil::read_file(err), "gopen_ws: window parameters not specified\ngopen_ws: window id not specified\n"
                                        "gopen_ws: unable to open window id file\n");
}

TEST(GksBackground, NamedBackgroundAndInverseColours) {
    const char *display = getenv("DISPLAY");
    if (!display) GTEST_SKIP() << "needs an X display";
    gset_background("blue");
    ASSERT_TRUE(gkstest::open_window(display, ""));
    ASSERT_EQ(gget_visual()->c_class, TrueColor);
    EXPECT_EQ(gkstest::picture_pixel(10, 10), gget_blu_mask());
    EXPECT_EQ((unsigned long)gget_back_color(), gget_blu_mask());
    gclose_ws(1), gset_background("none");
    setenv("zyrinverse", "1", 1);
    ASSERT_EQ(gopen_ws(1, display, GWS_WIN), 0);
    EXPECT_EQ(gkstest::picture_pixel(10, 10), WhitePixel(gget_display(), gget_screen()));
    gclose_ws(1), unsetenv("zyrinverse"), gset_inverse(0), gset_background(""), gclose_gks();
}

}  // namespace
