// Every bundled enhancement against an independent Python/numpy build of its
// lookup table (tools/check_enhance.py), pixel for pixel on a ramp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../gks/drivers/drv_util.h"
#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "gks/clr.h"
#include "image/img.h"
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

// Real infrared GINI images through the AWIPS reader, coloured here and by
// the independent script from the same pixel values.
TEST(EnhOracle, GiniInfraredImagesMatchPython)
{
    if (std::system("/usr/bin/python3 -c 'import numpy, PIL' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with numpy and PIL not available";
    const std::string gini = std::string(ZYR_SHARED_DATA) + "/gini";
    if (!fs::is_directory(gini)) GTEST_SKIP() << "no shared GINI samples";
    testutil::ScratchDir dir;
    RES_clear();
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    SAT_set_device_class(0);
    FLAG_set(FLAG_INPUT, IMG_SRC_AWIP);
    int files = 0;
    for (const char *name : {"HI-NATIONAL_14km_IR_20050918_2000.gini", "AK-NATIONAL_8km_IR_20050912_2345.gini"}) {
        std::string path = gini + "/" + name;
        if (!fs::exists(path)) continue;
        SCOPED_TRACE(name);
        IMG img;
        IMG_init(&img);
        testing::internal::CaptureStdout();
        int ok = SAT_read_file(path.c_str(), &img);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(ok, 1);
        std::string pgm = dir.file("in.pgm");
        FILE *fp = std::fopen(pgm.c_str(), "wb");
        std::fprintf(fp, "P5 %d %d 255\n", img.nx, img.ny);
        for (int y = 0; y < img.ny; ++y) std::fwrite(img.data + (size_t)y * img.bytes_line, 1, img.nx, fp);
        std::fclose(fp);
        for (const char *enh : {"ir_clouds", "ir_dither"}) {
            std::string ppm = dir.file(std::string(enh) + ".ppm");
            std::string cmd = "/usr/bin/python3 " ZYR_SOURCE_DIR "/tools/check_enhance.py " ZYR_DATA_DIR "/zyr.clr " ZYR_DATA_DIR
                              "/enhance/" + std::string(enh) + " " + ppm + " " + pgm;
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            drvtest::Picture want = drvtest::read_ppm(ppm);
            ASSERT_EQ(want.width, img.nx);
            ASSERT_EQ(want.height, img.ny);
            std::vector<uint8_t> px((size_t)img.nx * img.ny);
            for (int y = 0; y < img.ny; ++y)
                std::memcpy(&px[(size_t)y * img.nx], img.data + (size_t)y * img.bytes_line, img.nx);
            SAT_set_dither(0);
            RES_put("color_fill", enh);
            testing::internal::CaptureStdout();
            SAT_color_setup();
            testing::internal::GetCapturedStdout();
            SAT_color_pixels(px.data(), img.nx, img.ny, img.nx);
            long bad = 0;
            for (int y = 0; y < img.ny; ++y)
                for (int x = 0; x < img.nx; ++x) {
                    float c[3];
                    CLR_get_rgb(px[(size_t)y * img.nx + x], &c[0], &c[1], &c[2]);
                    for (int k = 0; k < 3; ++k) bad += (int)(c[k] * 255 + 0.5f) != want.at(x, y)[k];
                }
            EXPECT_EQ(bad, 0) << enh;
        }
        IMG_free(&img);
        ++files;
    }
    if (files == 0) GTEST_SKIP() << "infrared GINI samples missing";
}
