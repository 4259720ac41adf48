// Frames and looping; expected frames and delays worked by hand from the steps taken.
#include "gks_test_util.h"

#include <cmath>

namespace {

using gkstest::picture_pixel;
using V = std::vector<int>;

class GksFrame : public gkstest::WindowTest {
protected:
    // n frames, frame k filled with colour k + 1 at its top-left pixel.
    void make_frames(int n) {
        for (int k = 0; k < n; k++) {
            ASSERT_EQ(gcreate_frame(-1), k);
            gselect_frame(k), XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(k + 1));
            XFillRectangle(gget_display(), gget_draw_window(), gget_root_gc(), 0, 0, 4, 4);
        }
        gselect_frame(-3);
    }
    static unsigned long colour(int i) { return (unsigned long)gget_color_ind(i); }
};

TEST_F(GksFrame, SteppingForwardBackwardAndRocking) {
    int none = ginc_frame(0);  // no frames; then nothing shown yet
    make_frames(3);
    EXPECT_EQ(std::vector<int>({none, ginc_frame(0)}), V({-1, 0}));
    struct Case { int direction, from; V want; } cases[] = {{1, 2, {0, 1, 2, 0}}, {3, 2, {1, 0, 1, 2, 1}}, {0, 0, {2, 1, 0, 2}}};
    for (const auto &c : cases) {
        gdisplay_frame(c.from), gset_loop_direct(c.direction);
        V seq;
        while (seq.size() < c.want.size()) seq.push_back(ginc_frame(0)), gdisplay_frame(seq.back());
        EXPECT_EQ(seq, c.want) << "direction " << c.direction;
    }
    // Explicit steps from the frame shown (2): past the end wraps to 0, before the start to the last.
    gset_loop_direct(1);
    EXPECT_EQ(V({ginc_frame(-1), ginc_frame(2), ginc_frame(-3)}), V({1, 0, 2}));
}

TEST_F(GksFrame, DelaysOfCreatedFramesAndSpeedChanges) {
    auto delays = [] { V d(5); for (int k = 0; k < 5; k++) d[k] = (int)std::lround(gget_frame_delay(k) * 10); return d; };
    // Every frame 0.5 s, the last 1 s more to mark the loop's end; -4 sets all but the last, -1
    // the last, 300 (beyond the table) nothing.
    make_frames(5);
    std::vector<V> got{delays()};
    EXPECT_EQ(testutil::stdout_of([] { ginc_loop_delay(-1.0f); }), "Loop delay decremented to: 0.00\n");
    got.push_back(delays()), gset_loop_delay(-4, 0.3f), gset_loop_delay(300, 9.0f), got.push_back(delays());
    gset_loop_delay(-1, 2.0f), got.push_back(delays());
    EXPECT_EQ(got, std::vector<V>({{5, 5, 5, 5, 10}, {0, 0, 0, 0, 10}, {3, 3, 3, 3, 10}, {3, 3, 3, 3, 20}}));
}

TEST_F(GksFrame, DisplayingCopyingSwitchingClearingDeleting) {
    make_frames(3);
    gset_win_title("Loop");
    ASSERT_EQ(gdisplay_frame(1), 1);
    char extra[64];
    gget_win_title_extra(extra), gdisplay_frame(-2);
    EXPECT_EQ(std::make_tuple(picture_pixel(0, 0), std::string(extra), gget_cur_frame()), std::make_tuple(colour(2), std::string("[1]"), 1));
    gcopy_frame(0, 2), gdisplay_frame(0);
    std::vector<unsigned long> got{picture_pixel(0, 0), gget_frame_id(1), gget_frame_id(0)};
    gswitch_frame(0, 1), got.insert(got.end(), {gget_frame_id(0), gget_frame_id(1)});
    gclear_frame(1), gdisplay_frame(1), got.push_back(picture_pixel(0, 0));
    EXPECT_EQ(got, std::vector<unsigned long>({colour(3), got[1], got[2], got[1], got[2], (unsigned long)gget_back_color()}));
    gdelete_all_frames(), ginit_loop(), make_frames(3), gdisplay_frame(2);
    ASSERT_EQ(gdelete_frame(-2), 1);  // the current one, here the last
    EXPECT_EQ(V({gget_num_images(), gget_cur_frame(), (int)gget_frame_delay(1)}), V({2, 1, 1}));  // the new last: the end delay
    gdelete_all_frames(), ginit_loop();
    make_frames(3);
    gdisplay_frame(1);
    ASSERT_EQ(gdelete_frame(1), 1);  // frame 2 moves into number 1 and is shown
    EXPECT_EQ(V({gget_num_images(), gget_cur_frame(), picture_pixel(0, 0) == colour(3)}), V({2, 1, 1}));
    // Out of the table; past the count (frees only the empty slot).
    EXPECT_EQ(V({gdelete_frame(200), gdelete_frame(5), gget_num_images()}), V({0, 1, 2}));
    gdelete_frame(0), gdelete_frame(0);
    EXPECT_EQ(V({gget_num_images(), gget_cur_frame()}), V({0, -1}));
}

TEST_F(GksFrame, TheTableStopsAt128LoopingAndTheClientAppend) {
    for (int k = 0; k < 128; k++) ASSERT_EQ(gcreate_frame(-1), k);
    testutil::stderr_of([] { EXPECT_EQ(V({gcreate_frame(-1), gcreate_frame(500), gselect_frame(130)}), V({-1, -1, 0})); });
    EXPECT_EQ(gget_num_images(), 128);
    // Up to 52 bytes of data with each frame.
    EXPECT_EQ(V({gset_image_data(127, "abc", 3), gset_image_data(128, "abc", 3), gset_image_data(0, "x", 53)}), V({1, 0, 0}));
    char buf[52];
    EXPECT_EQ(std::string(buf, gget_image_data(127, buf)), "abc");
    gdelete_all_frames(), ginit_loop();
    std::string said = testutil::stdout_of([] { gtoggle_loop(2); });
    V on = {gget_looping(), gget_cursor_type()};
    said += testutil::stdout_of([] { gtoggle_loop(2); });
    EXPECT_EQ(std::vector<V>({on, {gget_looping(), gget_cursor_type()}}), std::vector<V>({{1, GCUR_EXCHANGE}, {0, GCUR_DOT}}));
    EXPECT_EQ(said, "Looping initiated\nLooping stopped\n");
    testutil::stdout_of(gappend_frame);  // with no frames: frame 0, and looping starts
    EXPECT_EQ(V({gget_num_images(), gget_looping(), (gappend_frame(), gget_num_images())}), V({1, 1, 2}));
}

}  // namespace
