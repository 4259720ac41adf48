// Workstation set-up beyond the plain window: the embedded workstation
// drawing into another client's pixmap, backgrounds and inverse colours.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/Xatom.h>

#include <cstdlib>

#include "core/res.h"

namespace {

const char *display() { return getenv("DISPLAY"); }

// Another client's window and picture pixmap, as the loop-window process has.
struct Owner {
    Display *d = nullptr;
    Window w = 0;
    Pixmap p = 0;
    explicit Owner(const char *name) {
        d = XOpenDisplay(name);
        if (!d) return;
        w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 200, 0, 0, 0);
        XStoreName(d, w, "Owner [3]");
        XSelectInput(d, w, StructureNotifyMask);
        p = XCreatePixmap(d, w, 320, 200, DefaultDepth(d, DefaultScreen(d)));
        GC gc = XCreateGC(d, p, 0, nullptr);
        XFillRectangle(d, p, gc, 0, 0, 320, 200);
        XFreeGC(d, gc);
        XSync(d, False);
    }
    ~Owner() {
        if (!d) return;
        XFreePixmap(d, p);
        XDestroyWindow(d, w);
        XCloseDisplay(d);
    }
    unsigned long pixel(int x, int y) {
        XImage *im = XGetImage(d, p, x, y, 1, 1, AllPlanes, ZPixmap);
        unsigned long v = XGetPixel(im, 0, 0);
        XDestroyImage(im);
        return v;
    }
};

TEST(GksEmbedded, DrawsIntoTheOwnersPixmapAndSignalsOnClose) {
    if (!display()) GTEST_SKIP() << "needs an X display";
    Owner own(display());
    ASSERT_NE(own.d, nullptr);
    testutil::ScratchDir dir;
    // Parameters through a window-id file found along file_path: "W3" -> zyrloop.3.
    char params[64];
    snprintf(params, sizeof params, "+%lu:%lu:320x200:0", (unsigned long)own.w, (unsigned long)own.p);
    dir.write("zyrloop.3", std::string(params) + "\n");
    RES_put("file_path", dir.path().c_str());
    ASSERT_EQ(gopen_gks(nullptr, 0), 0);
    gset_pix_mode(9);
    gset_geometry("");
    std::string conn = std::string(display()) + ",W3";
    ASSERT_EQ(gopen_ws(1, conn.c_str(), GWS_PIX), 0);
    EXPECT_EQ(gtype_is_PIX(), 1);
    EXPECT_EQ(gtype_is_WIN_PIX(), 1);
    EXPECT_STREQ(gget_win_title(), "Owner");  // read back, cut at " ["
    int w, h;
    gget_win_size(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    float red[3] = {1, 0, 0};
    gset_colr_rep(1, 2, red);
    gset_line_colr_ind(2);
    float l[4] = {0, 0.5f, 1, 0.5f};
    gpolyline(2, l);
    gsync();
    EXPECT_EQ(gnum_objs(), 0);  // no recording on the embedded workstation
    // y 0.5 of the 199-pixel square: pixel row 99.5, rounded to 100.
    EXPECT_EQ(own.pixel(50, (int)(yW_p(0.5f) + 0.5f)), (unsigned long)gget_color_ind(2));
    gclose_ws(1);
    gclose_gks();
    // Pixel mode 9: closing told the owner to end its hold.
    XEvent ev;
    bool got = false;
    for (int i = 0; i < 20 && !got; i++) {
        while (XPending(own.d)) {
            XNextEvent(own.d, &ev);
            if (ev.type == ClientMessage && ev.xclient.format == 8 && ev.xclient.data.b[0] == 9) got = true;
        }
        if (!got) usleep(50000);
    }
    EXPECT_TRUE(got);
    gset_pix_mode(0);
    RES_put("file_path", "");
}

TEST(GksEmbedded, ParameterErrors) {
    testutil::ScratchDir dir;
    std::string err = dir.file("e");
    unsetenv("zyrwindow");
    unsetenv("WINDOW");
    if (!display()) GTEST_SKIP() << "needs an X display";
    ASSERT_EQ(gopen_gks(err.c_str(), 0), 0);
    std::string d = display();
    EXPECT_EQ(gopen_ws(1, d.c_str(), GWS_PIX), -1);
    EXPECT_EQ(gopen_ws(1, (d + ",0:640x512:0").c_str(), GWS_PIX), -1);
    EXPECT_EQ(gopen_ws(1, (d + ",/no/such/idfile").c_str(), GWS_PIX), -1);
    gclose_gks();
    EXPECT_EQ(testutil::read_file(err), "gopen_ws: window parameters not specified\n"
                                   "gopen_ws: window id not specified\n"
                                   "gopen_ws: unable to open window id file\n");
}

TEST(GksBackground, NamedBackgroundAndInverseColours) {
    if (!display()) GTEST_SKIP() << "needs an X display";
    gset_background("blue");
    ASSERT_TRUE(gkstest::open_window(display(), ""));
    if (gget_visual()->c_class == TrueColor) {
        EXPECT_EQ(gkstest::picture_pixel(10, 10), gget_blu_mask());
        EXPECT_EQ((unsigned long)gget_back_color(), gget_blu_mask());
    }
    gclose_ws(1);
    gset_background("none");
    setenv("zyrinverse", "1", 1);
    ASSERT_EQ(gopen_ws(1, display(), GWS_WIN), 0);
    EXPECT_EQ(gkstest::picture_pixel(10, 10), WhitePixel(gget_display(), gget_screen()));
    gclose_ws(1);
    unsetenv("zyrinverse");
    gset_inverse(0);
    gset_background("");
    gclose_gks();
}

}  // namespace
