// What leaves the window: dumps of its frames into ZYRIMG files (and one
// that cannot be written), and the screen print (Alt+m) of a frame loop
// before and after the session replots it (the path a zoom or resize
// takes), which the "noredraw" word keeps off.
#include <array>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/res.h"
#include "gks/clr.h"
#include "image/img.h"
#include "map/dom.h"
#include "plot/plt.h"
#include "plot_test_util.h"

using PlotDump = plottest::XPlotTest;

// Three frames filled red, yellow and white (#FF0000, #FFFF00, #FFFFFF in
// the bundled colour table): frame -4 writes each to a file of its own,
// numbered by the frame.  The file keeps a byte a pixel, the integer mean
// of a true-colour pixel's three colour bytes: 85, 170 and 255.
TEST_F(PlotDump, EveryFrameToItsOwnFile)
{
    gset_xsize(320, 240);
    ASSERT_EQ(PLT_open(1.5f), 0);
    testutil::ScratchDir dir;
    RES_put("image_path", dir.path().c_str());
    const char *names[3] = {"red", "yellow", "white"};
    for (int f = 0; f < 3; ++f) {
        gcreate_frame(f);
        gselect_frame(f);
        GPH_trans(1);
        gset_fill_colr_ind(CLR_get_ind(names[f]));
        GPH_frect(0, 0, 1, 1);
        gdisplay_frame(f);
    }
    // Drawing back on the window's picture: with a frame as the drawing
    // target every file holds that frame (a fault, reported).
    gselect_frame(-3);
    PLT_set_dump(PLT_DUMP_IMG, "frame_%i.img");
    testing::internal::CaptureStdout();
    EXPECT_EQ(PLT_dump(-4), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(names[f]);
        const std::string file = dir.file("frame_0" + std::to_string(f) + ".img");
        EXPECT_NE(out.find("Wrote IMG file: " + file), std::string::npos) << out;
        IMG img;
        IMG_init(&img);
        ASSERT_EQ(IMG_read_zyr(file.c_str(), &img, 0), 1);
        ASSERT_EQ(img.nx, 320);
        EXPECT_EQ(img.data[(size_t)(img.ny / 2) * img.bytes_line + img.nx / 2], 85 * (f + 1));
        IMG_free(&img);
    }
}

TEST(PlotDumpFile, UnwritablePathReportsAndGoesOn)
{
    RES_put("image_path", "/proc/no/such/dir");
    PLT_set_dump(PLT_DUMP_IMG, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(PLT_dump(-2), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("PLT_dump: Unable to write IMG file: /proc/no/such/dir/zyr.xwd"), std::string::npos) << err;
    PLT_set_dump(PLT_DUMP_NONE, nullptr);
    EXPECT_EQ(PLT_dump(0), -1);
}

namespace {

// Two frames drawn as the display driver draws a loop.
void loop_of_two()
{
    for (int i = 0; i < 2; ++i) {
        gcreate_frame(i);
        gselect_frame(i);
        float l[4] = {0.1f, 0.9f, 0.2f, 0.2f + 0.3f * (float)i};
        gpolyline(2, l);
        gdisplay_frame(i);
    }
}

int replot(DOM *)
{
    PLT_reset(1.5f);
    loop_of_two();
    return 0;
}

using PlotPrint = plottest::XPlotTest;
} // namespace

TEST_F(PlotPrint, TheLoopPrintsTheSameBeforeAndAfterAReplot)
{
    testutil::ScratchDir dir;
    setenv("METAOUT", dir.file("screen.meta").c_str(), 1);
    ASSERT_EQ(PLT_open(1.5f), 0);
    loop_of_two();
    std::string err1, err2;
    const std::string first = gkstest::print_meta(dir.file("screen.meta"), &err1);
    EXPECT_EQ(gget_num_images(), 2);
    PLT_set_zoom_func(replot);
    testing::internal::CaptureStdout();
    ASSERT_EQ(PLT_plot_zoom("r-Alt", 0, 0), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gkstest::print_meta(dir.file("screen.meta"), &err2), first);
    EXPECT_EQ(err1.find("No redraw data"), std::string::npos) << err1;
    EXPECT_EQ(err2.find("No redraw data"), std::string::npos) << err2;
    EXPECT_NE(first.find("CLR "), std::string::npos) << first;
    EXPECT_EQ(gget_num_images(), 2);
    EXPECT_EQ(gget_cur_frame(), 1);
}

TEST_F(PlotPrint, NoredrawWordKeepsRecordingOff)
{
    testutil::ScratchDir dir;
    setenv("METAOUT", dir.file("screen.meta").c_str(), 1);
    RES_put("plot_param", "noredraw");
    ASSERT_EQ(PLT_open(1.5f), 0);
    gpolyline(2, std::array<float, 4>{0.1f, 0.9f, 0.2f, 0.5f}.data());
    std::string err;
    gkstest::print_meta(dir.file("screen.meta"), &err);
    EXPECT_NE(err.find("No redraw data"), std::string::npos) << err;
}
