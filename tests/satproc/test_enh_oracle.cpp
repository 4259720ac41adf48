// Every bundled enhancement against an independent Python/numpy build of its
// lookup table (tools/check_enhance.py), pixel for pixel on a ramp.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../gks/drivers/drv_util.h"
#include "../test_helpers.h"
#include "driver/res.h"
#include "satproc/clr.h"
#include "satproc/enh.h"

namespace fs = std::filesystem;

TEST(EnhOracle, BundledEnhancementsMatchPython)
{
    if (std::system("/usr/bin/python3 -c 'import numpy, PIL' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with numpy and PIL not available";
    testutil::ScratchDir dir;
    RES_clear();
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    SAT_set_imager_source(SAT_SRC_AREA);
    SAT_set_device_class(0);
    int files = 0;
    for (const auto &entry : fs::directory_iterator(ZYR_DATA_DIR "/enhance")) {
        std::string name = entry.path().filename();
        SCOPED_TRACE(name);
        std::string ppm = dir.file(name + ".ppm");
        std::string cmd = "/usr/bin/python3 " ZYR_SOURCE_DIR "/tools/check_enhance.py " ZYR_DATA_DIR "/zyr.clr " +
                          entry.path().string() + " " + ppm;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        drvtest::Picture want = drvtest::read_ppm(ppm);
        ASSERT_EQ(want.width, 256);
        ASSERT_EQ(want.height, 5);

        SAT_set_dither(0);
        RES_put("color_fill", name.c_str());
        testing::internal::CaptureStdout();
        SAT_color_setup();
        testing::internal::GetCapturedStdout();
        std::vector<uint8_t> img(256 * 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 256; ++x) img[y * 256 + x] = (uint8_t)x;
        SAT_color_pixels(img.data(), 256, 5, 256);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 256; ++x) {
                float c[3];
                CLR_get_rgb(img[y * 256 + x], &c[0], &c[1], &c[2]);
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ((int)(c[k] * 255 + 0.5f), want.at(x, y)[k]) << x << "," << y << " " << k;
            }
        ++files;
    }
    EXPECT_GE(files, 5);
}
