// Printing the display list (Alt+m, screen print) while a frame loop is on
// the window: the loop survives with its pictures, and a replot leaves the
// list as the first plot did.
#include "../test_support.h"
#include "gks_test_util.h"

namespace {

// The window's picture, from the server or from the headless store.
std::vector<unsigned long> picture(const std::string &display) {
    if (display != "mem") return gkstest::grab().px;
    std::vector<uint32_t> px;
    gks::mem_read(gget_base_window(), px);
    return {px.begin(), px.end()};
}

// n frames, frame k holding a red bar k + 1 tenths wide, each shown once.
void draw_loop(int n) {
    gkstest::world_unit(1);
    gset_fill_int_style(1), gset_fill_colr_ind(2);
    for (int k = 0; k < n; k++) {
        ASSERT_EQ(gcreate_frame(k), k);  // by number, as the driver does: a replot reuses them
        float w = 0.1f * (float)(k + 1), xy[8] = {0, 0, w, 0, w, 0.5f, 0, 0.5f};
        gselect_frame(k), gfill_area(4, xy), gdisplay_frame(k);
    }
}

class GksPrintLoop : public testing::TestWithParam<const char *> {
protected:
    void SetUp() override {
        display_ = GetParam();
        if (display_ == "X" && !getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        if (display_ == "X") display_ = getenv("DISPLAY");
        setenv("METAOUT", meta_.c_str(), 1);
        ASSERT_TRUE(gkstest::open_window(display_, ""));
        gkstest::basic_colours();
    }
    std::string display_;
    testutil::ScratchDir dir_;
    std::string meta_ = dir_.file("screen.meta");
};

// A workstation reset (a redraw) afterwards empties the table and frees
// the pictures it held rather than losing them.
TEST_P(GksPrintLoop, PrintingKeepsTheFramesTheirPicturesAndTheCurrentOne) {
    draw_loop(3);
    std::vector<unsigned long> ids, before[3];
    for (int k = 0; k < 3; k++) ids.push_back(gget_frame_id(k)), gdisplay_frame(k), before[k] = picture(display_);
    ASSERT_NE(before[0], before[2]);
    gdisplay_frame(1);
    std::string err;
    gkstest::print_meta(meta_, &err);
    EXPECT_EQ(std::vector<int>({gget_num_images(), gget_cur_frame()}), std::vector<int>({3, 1}));
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(gget_frame_id(k), ids[k]) << k;
        EXPECT_EQ(gdisplay_frame(k), 1) << k;
        EXPECT_EQ(picture(display_), before[k]) << k;
    }
    EXPECT_EQ(ginc_frame(0), 0); // stepping goes on through the kept loop
    ginit_plot(GMODE_REDRAW);
    EXPECT_EQ(gget_num_images(), 0);
    std::vector<uint32_t> px;
    for (unsigned long id : ids) EXPECT_FALSE(display_ == "mem" && gks::mem_read(id, px)) << id;
}

// A zoom or resize replot (which starts in transform 0) empties the list and
// draws its loop again; the settings made before the frames are recorded
// again, so the screen print writes what it wrote before the replot.
// Recording switched off by the user stays off through the replot.
TEST_P(GksPrintLoop, AReplotOfTheLoopPrintsAsTheFirstPlotDid) {
    auto plot = [](bool record = true) {
        gclear_ws(1, 1);
        if (!record) gset_redraw(0);
        gsel_norm_tran(0), gkstest::basic_colours(), draw_loop(2);
    };
    plot();
    std::string err1, err2, first = gkstest::print_meta(meta_, &err1);
    plot();
    EXPECT_EQ(gkstest::print_meta(meta_, &err2), first);
    EXPECT_EQ((err1 + err2).find("No redraw data"), std::string::npos) << err1 << err2;
    EXPECT_NE(first.find("CLR 1 2 1.0"), std::string::npos) << first;
    plot(false), plot();
    EXPECT_EQ(std::vector<int>({gget_redraw(), gnum_objs()}), std::vector<int>({0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Displays, GksPrintLoop, testing::Values("mem", "X"),
                         [](const auto &info) { return std::string(info.param) == "mem" ? "Mem" : "X"; });

}  // namespace
