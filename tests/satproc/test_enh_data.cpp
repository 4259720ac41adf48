// The bundled colour table and enhancements.
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

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
    for (int i = 0; i < 16; ++i) {
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
    if (!rgb) GTEST_SKIP() << "no rgb.txt";
    std::map<std::string, int> want;  // packed 0xRRGGBB, first definition of a name
    std::string line;
    while (std::getline(rgb, line)) {
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

TEST(EnhData, EveryEnhancementLoads)
{
    RES_clear();
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    int files = 0;
    for (const auto &entry : fs::directory_iterator(ZYR_DATA_DIR "/enhance")) {
        std::string name = entry.path().filename();
        SCOPED_TRACE(name);
        SAT_set_dither(0);
        RES_put("color_fill", name.c_str());
        testing::internal::CaptureStdout();
        SAT_color_setup();
        std::string out = testing::internal::GetCapturedStdout();
        SAT_ENHANCEMENT e = SAT_get_enhancement();
        EXPECT_NE(out.find("Enhancement: "), std::string::npos);
        EXPECT_GT(e.color_max, 0);
        for (int i = 0; i <= e.color_max; ++i) {
            EXPECT_GE(e.color_fill_ind[i], 0) << i;
            if (e.dither_ind[i] > 0) {
                EXPECT_GE(e.color_dith_ind[i], 0) << i;
            }
            EXPECT_LE(e.sat_cut[i], e.sat_cut[i + 1]) << i;
        }
        ++files;
    }
    EXPECT_GE(files, 5);
}
