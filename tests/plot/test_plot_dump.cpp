// Dumps of the window's frames into ZYRIMG files, and a dump that cannot be
// written.
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/res.h"
#include "gks/clr.h"
#include "image/img.h"
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
