// The bundled colour table and enhancements against independent sources: X11's rgb.txt for the named colours, and a
// Python/numpy build of every enhancement's lookup table (tools/check_enhance.py), pixel for pixel on a ramp.
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/res.h"
#include "gks/clr.h"
#include "satproc/enh.h"

namespace fs = std::filesystem;

TEST(EnhData, TableLayout)
{
    RES_clear();
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    ASSERT_GT(CLR_get_num(), 16 + 101);
    EXPECT_LE(CLR_get_num(), 256 - 40);
    EXPECT_EQ(CLR_get_ind("black"), 0);
    EXPECT_EQ(CLR_get_ind("white"), 15);
    float prev = -1;
    for (int i = 0; i < 16; ++i) {  // a grey ramp, rising
        float r, g, b;
        CLR_get_rgb(i, &r, &g, &b);
        EXPECT_TRUE(r == g && g == b) << i;
        EXPECT_GT(r, prev) << i;
        prev = r;
    }
    // The grey block is consecutive so that range items make a ramp.
    EXPECT_EQ(CLR_get_ind("gray99") - CLR_get_ind("gray1"), 98);
}

TEST(EnhData, NamedColoursMatchRgbTxt)
{
    std::ifstream rgb("/usr/share/X11/rgb.txt");
    if (!rgb) GTEST_SKIP() << "needs /usr/share/X11/rgb.txt";
    std::map<std::string, int> want;  // packed 0xRRGGBB, first definition of a name
    for (std::string line; std::getline(rgb, line);) {
        std::istringstream in(line);
        int r, g, b;
        std::string name, extra;
        if (line[0] == '!' || !(in >> r >> g >> b >> name) || (in >> extra)) continue;
        for (auto &c : name) c = (char)std::tolower((unsigned char)c);
        want.emplace(name, r << 16 | g << 8 | b);
    }
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    int checked = 0;
    for (int i = 0; i < CLR_get_num(); ++i) {
        auto it = want.find(CLR_get_name(i));
        if (it == want.end()) continue;
        float r, g, b;
        CLR_get_rgb(i, &r, &g, &b);
        EXPECT_FLOAT_EQ(r, (it->second >> 16) / 255.0f) << it->first;
        EXPECT_FLOAT_EQ(g, (it->second >> 8 & 255) / 255.0f) << it->first;
        EXPECT_FLOAT_EQ(b, (it->second & 255) / 255.0f) << it->first;
        ++checked;
    }
    EXPECT_GE(checked, 16 + 101 + 40);
}

TEST(EnhOracle, BundledEnhancementsMatchPython)
{
    NEED_NUMPY();
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
        ASSERT_EQ(testutil::run({testutil::python(), ZYR_SOURCE_DIR "/tools/check_enhance.py", ZYR_DATA_DIR "/zyr.clr",
                                 entry.path().string(), ppm})
                      .status,
                  0);
        testutil::Raster want;
        ASSERT_TRUE(testutil::read_ppm(ppm, &want));
        ASSERT_EQ(std::pair(want.w, want.h), std::pair(256, 5));
        SAT_set_dither(0);
        RES_put("color_fill", name.c_str());
        EXPECT_NE(testutil::stdout_of(SAT_color_setup).find("Enhancement: "), std::string::npos);
        std::vector<uint8_t> img(256 * 5);
        for (int i = 0; i < 256 * 5; ++i) img[i] = (uint8_t)(i % 256);
        SAT_color_pixels(img.data(), 256, 5, 256);
        testutil::Raster got = want;
        for (int i = 0; i < 256 * 5; ++i) {
            float c[3];
            CLR_get_rgb(img[i], &c[0], &c[1], &c[2]);
            for (int k = 0; k < 3; ++k) got.px[3 * i + k] = (unsigned char)(int)(c[k] * 255 + 0.5f);
        }
        EXPECT_EQ(testutil::differing_pixels(got, want, 0, dir.file(name + ".diff.ppm")), 0);
        ++files;
    }
    EXPECT_GE(files, 5);
}
