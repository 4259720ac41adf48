// "-de p,NAME": the plot session writes PostScript to that file, with the
// labels around the panel, and closing needs no window.
#include <string>

#include <gtest/gtest.h>

#include "../gks/drivers/drv_util.h"
#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "gks/gks.h"
#include "plot/plt.h"

TEST(PlotPs, DeviceFileWithLabels)
{
    testutil::ScratchDir dir;
    std::string ps = dir.file("out.ps");
    RES_clear();
    RES_put("file_path", ZYR_DATA_DIR);
    RES_put("device", ("p," + ps).c_str());
    FLAG_set(FLAG_DEVICE, 0);
    FLAG_set_batch(1);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    testing::internal::CaptureStdout();
    ASSERT_EQ(PLT_open(1.5f), 0);
    EXPECT_EQ(FLAG_get(FLAG_DEVICE), GWS_PS);
    PLT_init_labels();
    PLT_label_up_left("UPPERLEFT");
    PLT_label_low_right("LOWERRIGHT");
    EXPECT_EQ(PLT_labels(), 0);
    // A file device in batch mode: nothing to hold, nothing detaches.
    EXPECT_EQ(PLT_close(), 0);
    testing::internal::GetCapturedStdout();
    std::string text = testutil::read_file(ps);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("%!PS"), std::string::npos);
    if (!drvtest::have_tool("gs")) GTEST_SKIP() << "ghostscript not installed";
    drvtest::Picture pic;
    ASSERT_EQ(drvtest::render_ps(ps, 50, &pic), 0);
    long dark = 0;
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) dark += pic.dark(x, y);
    EXPECT_GT(dark, 50);  // the border and the two labels
}
