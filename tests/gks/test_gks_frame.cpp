// Frames and looping: the table, addressing, stepping directions, delays,
// deletion rules and showing a frame on the window.
#include "../test_support.h"
#include "gks_test_util.h"

#include "core/util.h"

namespace {

using gkstest::picture_pixel;

class GksFrame : public gkstest::WindowTest {
protected:
    // n frames, frame k filled with colour k + 1 at its top-left pixel.
    void make_frames(int n) {
        for (int k = 0; k < n; k++) {
            ASSERT_EQ(gcreate_frame(-1), k);
            gselect_frame(k);
            XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(k + 1));
            XFillRectangle(gget_display(), gget_draw_window(), gget_root_gc(), 0, 0, 4, 4);
        }
        gselect_frame(-3);
    }
    std::vector<int> steps(int n) {
        std::vector<int> seq;
        for (int i = 0; i < n; i++) {
            int f = ginc_frame(0);
            seq.push_back(f);
            gdisplay_frame(f);
        }
        return seq;
    }
};

TEST_F(GksFrame, SteppingForwardAndRocking) {
    EXPECT_EQ(ginc_frame(0), -1);  // no frames
    make_frames(3);
    EXPECT_EQ(ginc_frame(0), 0);   // nothing shown yet
    gdisplay_frame(2);
    gset_loop_direct(1);
    EXPECT_EQ(steps(4), (std::vector<int>{0, 1, 2, 0}));
    gdisplay_frame(2);
    gset_loop_direct(3);
    EXPECT_EQ(steps(5), (std::vector<int>{1, 0, 1, 2, 1}));
    // Backward wraps to the last frame; explicit steps too.
    gdisplay_frame(0);
    gset_loop_direct(0);
    EXPECT_EQ(ginc_frame(0), 2);
    gset_loop_direct(1);
    EXPECT_EQ(ginc_frame(-1), 2);
    EXPECT_EQ(ginc_frame(2), 2);
}

TEST_F(GksFrame, DelaysOfCreatedFramesAndSpeedChanges) {
    make_frames(5);
    const float want[5] = {0.5f, 0.5f, 0.5f, 0.5f, 1.0f};
    for (int k = 0; k < 5; k++) EXPECT_FLOAT_EQ(gget_frame_delay(k), want[k]) << k;
    testing::internal::CaptureStdout();
    ginc_loop_delay(-1.0f);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Loop delay decremented to: 0.00\n"), std::string::npos) << out;
    EXPECT_FLOAT_EQ(gget_loop_delay(), 0);
    for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(gget_frame_delay(k), 0) << k;
    EXPECT_FLOAT_EQ(gget_frame_delay(4), 1.0f);
    gset_loop_delay(-4, 0.3f);
    EXPECT_FLOAT_EQ(gget_frame_delay(3), 0.3f);
    EXPECT_FLOAT_EQ(gget_frame_delay(4), 1.0f);
    gset_loop_delay(-1, 2.0f);
    EXPECT_FLOAT_EQ(gget_frame_delay(4), 2.0f);
    gset_loop_delay(300, 9.0f);  // beyond the table: ignored
    gset_loop_delay(-4, 0.5f);
}

TEST_F(GksFrame, DisplayingCopiesTheFrameAndTitlesTheWindow) {
    make_frames(3);
    gset_win_title("Loop");
    ASSERT_EQ(gdisplay_frame(1), 1);
    EXPECT_EQ(picture_pixel(0, 0), (unsigned long)gget_color_ind(2));
    EXPECT_EQ(gget_cur_frame(), 1);
    char extra[64];
    gget_win_title_extra(extra);
    EXPECT_STREQ(extra, "[1]");
    gdisplay_frame(-2);
    EXPECT_EQ(gget_cur_frame(), 1);
    // Copy and switch.
    gcopy_frame(0, 2);
    gdisplay_frame(0);
    EXPECT_EQ(picture_pixel(0, 0), (unsigned long)gget_color_ind(3));
    unsigned long id0 = gget_frame_id(0), id1 = gget_frame_id(1);
    gswitch_frame(0, 1);
    EXPECT_EQ(gget_frame_id(0), id1);
    EXPECT_EQ(gget_frame_id(1), id0);
    gclear_frame(1);
    gdisplay_frame(1);
    EXPECT_EQ(picture_pixel(0, 0), (unsigned long)gget_back_color());
}

TEST_F(GksFrame, DeletingTheCurrentLastOrMiddleFrame) {
    make_frames(3);
    gdisplay_frame(2);
    ASSERT_EQ(gdelete_frame(-2), 1);
    EXPECT_EQ(gget_num_images(), 2);
    EXPECT_EQ(gget_cur_frame(), 1);
    EXPECT_FLOAT_EQ(gget_frame_delay(1), 1.0f);

    gdelete_all_frames();
    ginit_loop();
    make_frames(3);
    gdisplay_frame(1);
    ASSERT_EQ(gdelete_frame(1), 1);
    // Frame 2 moved into number 1 and is shown.
    EXPECT_EQ(gget_num_images(), 2);
    EXPECT_EQ(gget_cur_frame(), 1);
    EXPECT_EQ(picture_pixel(0, 0), (unsigned long)gget_color_ind(3));
    // Out of the table or past the count.
    EXPECT_EQ(gdelete_frame(200), 0);
    EXPECT_EQ(gdelete_frame(5), 1);  // frees only the (empty) slot
    EXPECT_EQ(gget_num_images(), 2);
    gdelete_frame(0);
    gdelete_frame(0);
    EXPECT_EQ(gget_num_images(), 0);
    EXPECT_EQ(gget_cur_frame(), -1);
}

TEST_F(GksFrame, TheTableStopsAt128) {
    for (int k = 0; k < GMAX_FRAMES; k++) ASSERT_EQ(gcreate_frame(-1), k);
    testing::internal::CaptureStderr();
    EXPECT_EQ(gcreate_frame(-1), -1);
    EXPECT_EQ(gcreate_frame(500), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(gget_num_images(), GMAX_FRAMES);
    EXPECT_EQ(gselect_frame(130), 0);
    EXPECT_EQ(gset_image_data(127, "abc", 3), 1);
    EXPECT_EQ(gset_image_data(128, "abc", 3), 0);
    EXPECT_EQ(gset_image_data(0, "x", 53), 0);
    char buf[52];
    EXPECT_EQ(gget_image_data(127, buf), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST_F(GksFrame, LoopingAndTheClientAppend) {
    testing::internal::CaptureStdout();
    gtoggle_loop(2);
    EXPECT_EQ(gget_looping(), 1);
    EXPECT_EQ(gget_cursor_type(), GCUR_EXCHANGE);
    gtoggle_loop(2);
    EXPECT_EQ(gget_looping(), 0);
    EXPECT_EQ(gget_cursor_type(), GCUR_DOT);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Looping initiated\n"), std::string::npos);
    EXPECT_NE(out.find("Looping stopped\n"), std::string::npos);
    // Appending with no frames creates frame 0 and starts looping.
    testing::internal::CaptureStdout();
    gappend_frame();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gget_num_images(), 1);
    EXPECT_EQ(gget_looping(), 1);
    make_frames(0);
    gappend_frame();
    EXPECT_EQ(gget_num_images(), 2);
}

TEST_F(GksFrame, SleepWaitsForTheCurrentFramesDelay) {
    make_frames(2);
    gdisplay_frame(0);
    gset_loop_delay(0, 0.3f);
    ZYR_init_time();
    gloop_sleep();
    EXPECT_GE(ZYR_elapse_time(), 0.3f);
}

}  // namespace
