// Image dumps of the window's frames into ZYRIMG files.
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "gks/clr.h"
#include "image/img.h"
#include "plot/plt.h"
#include "plot_test_util.h"

namespace {

class PlotDump : public plottest::XPlotTest {
protected:
    void SetUp() override
    {
        XPlotTest::SetUp();
        if (IsSkipped()) return;
        gset_xsize(320, 240);
        ASSERT_EQ(PLT_open(1.5f), 0);
    }
};

// Frame f is filled with colour "red", "green" or "blue".
void three_frames()
{
    const char *names[3] = {"red", "green", "blue"};
    for (int f = 0; f < 3; ++f) {
        gcreate_frame(f);
        gselect_frame(f);
        GPH_trans(1);
        gset_fill_colr_ind(CLR_get_ind(names[f]));
        GPH_frect(0, 0, 1, 1);
        gdisplay_frame(f);
    }
}

} // namespace

TEST_F(PlotDump, EveryFrameToItsOwnFile)
{
    IMG probe;
    IMG_init(&probe);
    bool capture = gget_image(&probe) != 0;
    IMG_free(&probe);
    if (!capture) GTEST_SKIP() << "the kernel cannot read the window's picture back yet";
    testutil::ScratchDir dir;
    RES_put("image_path", dir.path().c_str());
    three_frames();
    PLT_set_dump(PLT_DUMP_IMG, "frame_%i.img");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(PLT_dump(-4), 0);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    (void)err;
    const char *names[3] = {"red", "green", "blue"};
    for (int f = 0; f < 3; ++f) {
        std::string file = dir.file("frame_0" + std::to_string(f) + ".img");
        EXPECT_NE(out.find("Wrote IMG file: " + file), std::string::npos) << out;
        IMG img;
        IMG_init(&img);
        ASSERT_EQ(IMG_read_zyr(file.c_str(), &img, 0), 1) << file;
        ASSERT_GT(img.nx, 10);
        // The middle pixel carries the frame's colour.
        float want[3];
        CLR_get_rgb(CLR_get_ind(names[f]), &want[0], &want[1], &want[2]);
        size_t mid = (size_t)(img.ny / 2) * img.bytes_line + (size_t)(img.nx / 2) * (img.bits_pixel > 8 ? img.bits_pixel / 8 : 1);
        if (img.indexed && img.cmap) {
            int v = img.data[mid];
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(img.cmap[3 * v + k], want[k], 0.01) << f;
        } else {
            EXPECT_NE(img.data[mid] + img.data[mid + 1] + img.data[mid + 2], 0) << f;
        }
        IMG_free(&img);
    }
}

TEST_F(PlotDump, UnwritablePathReportsAndGoesOn)
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
