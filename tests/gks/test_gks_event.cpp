// Event handling: key and button bindings, callback names and positions,
// loop speed keys, the rubber band, image saving and ending input, driven
// by events built here and handed to the event processor.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/keysym.h>

#include <filesystem>

#include "core/res.h"

namespace {

struct Call {
    int kind;
    std::string name;
    float x, y;
};
std::vector<Call> calls;
int record_call(int kind, const char *name, float x, float y) {
    calls.push_back({kind, name, x, y});
    return 0;
}

class GksEvent : public gkstest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        calls.clear();
        gset_mouse_callback(record_call);
        gset_input_mode(1);
    }
    void TearDown() override {
        gset_mouse_callback(nullptr);
        WindowTest::TearDown();
    }
    void key(KeySym ks, unsigned state = 0) {
        XEvent ev{};
        ev.xkey.type = KeyPress;
        ev.xkey.display = gget_display();
        ev.xkey.window = gget_root_window();
        ev.xkey.keycode = XKeysymToKeycode(gget_display(), ks);
        ev.xkey.state = state;
        gprocess_x11_event(&ev);
    }
    void button(unsigned b, bool press, int x, int y, unsigned state = 0) {
        XEvent ev{};
        ev.xbutton.type = press ? ButtonPress : ButtonRelease;
        ev.xbutton.display = gget_display();
        ev.xbutton.window = gget_root_window();
        ev.xbutton.button = b;
        ev.xbutton.x = x;
        ev.xbutton.y = y;
        ev.xbutton.state = state;
        gprocess_x11_event(&ev);
    }
    void motion(int x, int y) {
        XEvent ev{};
        ev.xmotion.type = MotionNotify;
        ev.xmotion.display = gget_display();
        ev.xmotion.window = gget_root_window();
        ev.xmotion.x = x;
        ev.xmotion.y = y;
        gprocess_x11_event(&ev);
    }
    void frames(int n) {
        for (int k = 0; k < n; k++) gcreate_frame(-1);
        gdisplay_frame(0);
    }
};

TEST_F(GksEvent, KeyNamesWithSuffixesAndTheEndingKeys) {
    key(XK_a);
    key(XK_a, ShiftMask);
    key(XK_a, ControlMask);                       // printable despite Ctrl
    key(XK_bracketright, ControlMask | ShiftMask);
    key(XK_b, Mod1Mask);                          // unbound Alt key: passed on
    key(XK_Left);                                 // no text: empty name
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].name, "a");
    EXPECT_EQ(calls[0].kind, 2);
    EXPECT_EQ(calls[1].name, "A-Shft");
    EXPECT_EQ(calls[2].name, "a-Cntrl");
    EXPECT_EQ(calls[3].name, "}-Shft-Cntrl");
    EXPECT_EQ(calls[4].name, "b-Alt");
    EXPECT_EQ(calls[5].name, "");
    EXPECT_EQ(gget_input_mode(), 1);
    key(XK_Return);
    EXPECT_EQ(calls.back().name, "Ret");
    EXPECT_EQ(gget_input_mode(), 0);
    // No hold active: keys are ignored.
    gset_input_mode(0);
    calls.clear();
    key(XK_a);
    EXPECT_TRUE(calls.empty());
    gset_input_mode(1);
    key(XK_q, Mod1Mask);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(gget_input_mode(), 0);
}

TEST_F(GksEvent, LoopSpeedAndFrameStepping) {
    frames(3);
    key(XK_bracketright, Mod1Mask);  // not looping: next frame
    EXPECT_EQ(gget_cur_frame(), 1);
    key(XK_bracketleft, Mod1Mask);
    EXPECT_EQ(gget_cur_frame(), 0);
    button(3, true, 10, 10);
    EXPECT_EQ(gget_cur_frame(), 1);
    button(1, true, 10, 10);
    EXPECT_EQ(gget_cur_frame(), 0);
    testing::internal::CaptureStdout();
    key(XK_l, Mod1Mask);
    EXPECT_EQ(gget_looping(), 1);
    const float faster[] = {0.4f, 0.3f, 0.2f};
    for (float want : faster) {
        key(XK_bracketright, Mod1Mask);
        EXPECT_NEAR(gget_loop_delay(), want, 1e-5);
        EXPECT_NEAR(gget_frame_delay(0), want, 1e-5);
    }
    ginc_loop_delay(-0.1f);
    key(XK_bracketright, Mod1Mask);  // at 0.1 s: 0.05 s off
    EXPECT_NEAR(gget_loop_delay(), 0.05f, 1e-5);
    key(XK_bracketleft, Mod1Mask);   // below 0.09 s: 0.05 s on
    EXPECT_NEAR(gget_loop_delay(), 0.1f, 1e-5);
    button(2, true, 0, 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gget_looping(), 0);
    EXPECT_EQ(gget_frame_delay(2), 1.0f);  // the last frame keeps its dwell
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(), [](const Call &c) { return c.kind == 2; }));
}

TEST_F(GksEvent, ButtonsReportWorldPointsThroughTheZoom) {
    float w[4] = {0, 100, 0, 100};
    gset_win(0, w);
    button(1, true, 0, 511, ShiftMask);
    button(1, false, 511, 0, ShiftMask);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "B1-P-Shft");
    EXPECT_EQ(calls[0].kind, 3);
    EXPECT_NEAR(calls[0].x, 0, 1e-3);
    EXPECT_NEAR(calls[0].y, 0, 1e-3);
    EXPECT_EQ(calls[1].name, "B1-R-Shft");
    EXPECT_NEAR(calls[1].x, 100, 1e-3);
    EXPECT_NEAR(calls[1].y, 100, 1e-3);
    // Zoomed x2 about the centre: window pixel (0, 0) shows picture (160, 128).
    gzoom(-2, 320, 256, 2, 0);
    calls.clear();
    button(2, true, 0, 0, Mod1Mask);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "B2-P-Alt");
    EXPECT_NEAR(calls[0].x, xp_W(160), 1e-3);
    EXPECT_NEAR(calls[0].y, yp_W(128), 1e-3);
    EXPECT_EQ(gget_looping(), 0);  // Alt: no frame action
    // Alt+u while zoomed unzooms without the callback; at zoom 1 it passes.
    calls.clear();
    key(XK_u, Mod1Mask);
    EXPECT_EQ(gget_zoom(), 1);
    EXPECT_TRUE(calls.empty());
    key(XK_u, Mod1Mask);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "u-Alt");
}

TEST_F(GksEvent, RubberBandIsVisibleWhileDraggingAndLeavesNoTrace) {
    gupdate_window();
    auto shot = [] {
        int w = 640, h = 512;
        XImage *im = XGetImage(gget_display(), gget_root_window(), 0, 0, w, h, AllPlanes, ZPixmap);
        std::vector<unsigned long> px((size_t)w * h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) px[(size_t)y * w + x] = XGetPixel(im, x, y);
        XDestroyImage(im);
        return px;
    };
    auto before = shot();
    gset_rubber_band(2);
    int lim[4] = {0, 0, 300, 300};
    gset_rubber_band_limits(lim);
    button(1, true, 100, 100);
    motion(200, 150);
    gsync();
    auto mid = shot();
    EXPECT_NE(mid[150 * 640 + 150], before[150 * 640 + 150]);  // bottom edge of the rectangle
    EXPECT_EQ(mid[120 * 640 + 150], before[120 * 640 + 150]);  // inside stays
    motion(400, 400);  // clamped to 300, 300
    gsync();
    auto clamped = shot();
    EXPECT_NE(clamped[300 * 640 + 200], before[300 * 640 + 200]);
    EXPECT_EQ(clamped[150 * 640 + 150], before[150 * 640 + 150]);
    button(1, false, 250, 250);
    gsync();
    EXPECT_TRUE(shot() == before);
}

TEST_F(GksEvent, SavingLoopingFramesNamesEveryFile) {
    testutil::ScratchDir dir;
    RES_put("image_path", dir.path().c_str());
    gset_win_title("GOES east");
    frames(3);
    testing::internal::CaptureStdout();
    gset_looping(1);
    key(XK_g, Mod1Mask);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Creating GIF files:\n"), std::string::npos) << out;
    for (const char *f : {"GOES_-00.gif", "GOES_-01.gif", "GOES_-02.gif"})
        EXPECT_TRUE(std::filesystem::exists(dir.file(f))) << f << "\n" << out;
    gset_looping(0);
    testing::internal::CaptureStdout();
    key(XK_x, Mod1Mask);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::filesystem::exists(dir.file("GOES_-00.xwd")));
    RES_put("image_path", "");
}

TEST_F(GksEvent, ClientMessagesAndFakeResizes) {
    XEvent ev{};
    ev.xconfigure.type = ConfigureNotify;
    ev.xconfigure.window = gget_root_window();
    ev.xconfigure.width = 65535;
    ev.xconfigure.height = 65535;
    gprocess_x11_event(&ev);  // the window's real size has not changed
    EXPECT_TRUE(calls.empty());
    XEvent cm{};
    cm.xclient.type = ClientMessage;
    cm.xclient.window = gget_root_window();
    cm.xclient.format = 8;
    cm.xclient.data.b[0] = 2;
    testing::internal::CaptureStdout();
    gprocess_x11_event(&cm);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gget_num_images(), 1);
    EXPECT_EQ(gget_looping(), 1);
    cm.xclient.data.b[0] = 9;
    gprocess_x11_event(&cm);
    EXPECT_EQ(gget_input_mode(), 0);
}

TEST_F(GksEvent, HoldEndsOnTheClientsEndMessage) {
    // A second connection sends the ending message; the hold returns.
    Display *other = XOpenDisplay(getenv("DISPLAY"));
    ASSERT_NE(other, nullptr);
    XEvent cm{};
    cm.xclient.type = ClientMessage;
    cm.xclient.window = gget_root_window();
    cm.xclient.message_type = 62;
    cm.xclient.format = 8;
    cm.xclient.data.b[0] = 9;
    XSendEvent(other, gget_root_window(), False, 0, &cm);
    XFlush(other);
    ghold(0);
    EXPECT_EQ(gget_input_mode(), 0);
    EXPECT_EQ(gget_cursor_type(), GCUR_X);
    XCloseDisplay(other);
}

}  // namespace
