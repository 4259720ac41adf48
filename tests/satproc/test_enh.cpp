// Enhancement: temperature scales, items, set-up tables, dither patterns and
// the colouring of pixels.
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "gks/clr.h"
#include "satproc/enh.h"
#include "satproc/sat_param.h"

namespace {

// black 0, grey 1, white 2, red 3, blue 4, green 5, yellow 6
void small_table()
{
    CLR_clear_table();
    const std::string t = "black 0 0 0\ngrey 0.5 0.5 0.5\nwhite 1 1 1\nred 1 0 0\n"
                          "blue 0 0 1\ngreen 0 1 0\nyellow 1 1 0\n";
    FILE *fp = fmemopen((void *)t.data(), t.size(), "r");
    CLR_read_stream(fp, 0, nullptr);
    fclose(fp);
}

class Enh : public ::testing::Test {
protected:
    void SetUp() override
    {
        RES_clear();
        small_table();
        SAT_set_dither(0);
        SAT_set_device_class(0);
        SAT_set_imager_source(SAT_SRC_AREA);
    }
    void TearDown() override { RES_clear(); }
    SAT_ENHANCEMENT setup(const char *color_fill)
    {
        RES_put("color_fill", color_fill);
        SAT_color_setup();
        return SAT_get_enhancement();
    }
};

} // namespace

TEST(EnhIr, AreaScaleValuesAndRoundTrip)
{
    SAT_set_imager_source(SAT_SRC_AREA);
    struct { float t; int v; } cases[] = {{0, 114}, {-30, 174}, {-31, 176}, {-110, 255}, {57, 0}, {-29.5f, 173}};
    for (auto c : cases) EXPECT_EQ(SAT_ir_ind(c.t), c.v) << c.t;
    EXPECT_FLOAT_EQ(SAT_ind_ir(176), -31);
    EXPECT_FLOAT_EQ(SAT_ind_ir(174), -30);
    for (int src : {(int)SAT_SRC_AREA, (int)SAT_SRC_AWIPS}) {
        SAT_set_imager_source(src);
        for (int v = 0; v < 256; ++v) EXPECT_EQ(SAT_ir_ind(SAT_ind_ir(v)), v) << v;
    }
}

TEST(EnhIr, UnisysScaleAndItsColdEnd)
{
    SAT_set_imager_source(SAT_SRC_UNISYS);
    for (int v = 0; v <= 251; ++v) EXPECT_NEAR(SAT_ir_ind(SAT_ind_ir(v)), v, 1) << v;
    for (int v = 252; v <= 255; ++v) {
        float t = SAT_ind_ir(v);
        EXPECT_TRUE(std::isfinite(t));
        EXPECT_FLOAT_EQ(t, -273.15f);
    }
    EXPECT_EQ(SAT_ir_ind(-273.15f), 252);
    // Unisys pixel values grow with radiance, so warmer is smaller.
    EXPECT_LT(SAT_ir_ind(30), SAT_ir_ind(-60));
}

TEST(EnhIr, AbsurdTemperaturesStayPixelValues)
{
    for (int src : {(int)SAT_SRC_AREA, (int)SAT_SRC_UNISYS, 59}) {
        SAT_set_imager_source(src);
        for (float t : {1e30f, -1e30f, -300.0f, -9999.0f, NAN, INFINITY, -INFINITY, 1000.0f}) {
            int v = SAT_ir_ind(t);
            EXPECT_TRUE(v >= 0 && v <= 255) << src << " " << t << " " << v;
        }
    }
    SAT_set_imager_source(59);
    EXPECT_EQ(SAT_ir_ind(-50), 0);
    EXPECT_EQ(SAT_ind_ir(100), 0.0f);
}

TEST(EnhDither, PatternsAreNested)
{
    for (int size : {3, 5}) {
        int cells = size * size;
        std::set<std::pair<int, int>> prev;
        for (int d = 0; d <= cells; ++d) {
            std::set<std::pair<int, int>> on;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    if (DITHER_val(size, d, x, y)) on.insert({x, y});
            EXPECT_EQ((int)on.size(), d) << size << " " << d;
            for (auto c : prev) EXPECT_TRUE(on.count(c)) << size << " " << d;
            prev = on;
        }
        // Periodic, and densities outside the range clamp.
        EXPECT_EQ(DITHER_val(size, 1, size / 2 + size * 7, size / 2 + size * 3), 1);
        EXPECT_EQ(DITHER_val(size, -5, 1, 1), 0);
        EXPECT_EQ(DITHER_val(size, 99, 0, 1), 1);
    }
    EXPECT_EQ(DITHER_val(3, 1, 1, 1), 1);  // the first 3x3 cell is the centre
    EXPECT_EQ(DITHER_val(5, 2, 0, 0), 1);
    EXPECT_EQ(DITHER_val(4, 9, 1, 1), 0);
    EXPECT_EQ(DITHER_val(0, 9, 1, 1), 0);
}

TEST_F(Enh, RangeCountsDownAndAddsRampFlag)
{
    int n = 2;
    SAT_decode_colors("blue-grey", &n);  // 4 down to 1
    EXPECT_EQ(n, 6);
    auto e = SAT_get_enhancement();
    EXPECT_EQ(e.color_fill_ind[2], 1004);
    EXPECT_EQ(e.color_fill_ind[3], 1003);
    EXPECT_EQ(e.color_fill_ind[5], 1001);
    n = 254;
    SAT_decode_colors("black-yellow", &n);  // only two entries fit
    EXPECT_EQ(n, 256);
    n = 0;
    SAT_decode_colors("nocolour-red", &n);
    EXPECT_EQ(n, 0);
}

TEST_F(Enh, ItemsBreaksAndInterpolation)
{
    auto e = setup("0:black,white,200:red");
    EXPECT_EQ(e.color_max, 2);
    EXPECT_EQ(e.sat_cut[0], 0);
    EXPECT_EQ(e.sat_cut[1], 100);
    EXPECT_EQ(e.sat_cut[2], 200);
    EXPECT_EQ(e.sat_cut[3], 256);
    EXPECT_EQ(e.sat_ind[99], 0);
    EXPECT_EQ(e.sat_ind[100], 2);
    EXPECT_EQ(e.sat_ind[255], 3);
    EXPECT_EQ(e.sat_color_ind[150], 1);

    e = setup("c0:red,c-30:blue,c-60:green");
    EXPECT_EQ(e.sat_cut[0], 114);
    EXPECT_EQ(e.sat_cut[1], 174);
    EXPECT_EQ(e.sat_cut[2], 205);
    EXPECT_EQ(e.sat_ind[113], 3);  // below the first break: entry 0
    EXPECT_EQ(e.sat_color_ind[113], 0);
    EXPECT_EQ(e.sat_ind[204], 4);
}

TEST_F(Enh, RepeatedOrFallingBreaksFreezeTheBin)
{
    // The bin advances at most once per value and only when the next break
    // equals the value, so a repeated break stops every later advance.
    auto e = setup("0:black,50:red,50:blue,200:green");
    EXPECT_EQ(e.sat_color_ind[49], 0);
    EXPECT_EQ(e.sat_color_ind[50], 1);
    EXPECT_EQ(e.sat_color_ind[255], 1);
    e = setup("0:black,150:red,100:blue,200:green");
    EXPECT_EQ(e.sat_color_ind[150], 1);
    EXPECT_EQ(e.sat_color_ind[255], 1);
}

TEST_F(Enh, DitheredItemsFixThePatternSize)
{
    auto e = setup("red%4blue,green%cwhite,black%Zwhite,grey%12white");
    EXPECT_EQ(e.dither, 3);
    EXPECT_EQ(e.dither_ind[0], 4);
    EXPECT_EQ(e.color_dith_ind[0], 4);
    EXPECT_EQ(e.dither_ind[1], 9);  // 'c' read as a digit, clamped
    EXPECT_EQ(e.dither_ind[2], 9);
    EXPECT_EQ(e.dither_ind[3], 1);  // one density character; "2white" reads as 2
    EXPECT_EQ(e.color_dith_ind[3], 2);

    SAT_set_dither(0);
    e = setup("red%cblue,green%7white,red%,red%9");
    EXPECT_EQ(e.dither, 5);
    EXPECT_EQ(e.dither_ind[0], 2);
    EXPECT_EQ(e.dither_ind[1], 0);  // digit after size 5 clamps to 0
    EXPECT_EQ(e.dither_ind[2], 0);
    EXPECT_EQ(e.color_fill_ind[2], 3);
    EXPECT_EQ(e.dither_ind[3], 0);
    EXPECT_EQ(e.color_max, 3);
}

TEST_F(Enh, OddItemsMakeOneEntryEach)
{
    auto e = setup("red,cyan-white,c1e30:red,c-300:blue,cnan:green,999:yellow,red%");
    EXPECT_EQ(e.color_max, 6);
    EXPECT_EQ(e.color_fill_ind[1], -1);  // "cyan-white" is one unknown word
    EXPECT_EQ(e.sat_cut[1], 0);
    EXPECT_EQ(e.sat_cut[2], 0);
    EXPECT_EQ(e.sat_cut[3], 255);
    EXPECT_EQ(e.sat_cut[4], 0);
    EXPECT_EQ(e.sat_cut[5], 256);
    EXPECT_EQ(e.sat_ind[0], 255);  // unknown colour: index 255 as pixel value
}

TEST_F(Enh, DefaultsFillColoursAndEmptyEnhancement)
{
    testutil::ScratchDir dir;
    dir.write("nofill.clr", "END\n");  // a table with no fill colours
    RES_put("file_path", dir.path().c_str());
    RES_put("color_table", "nofill.clr");
    CLR_read_table(nullptr);
    small_table();
    auto e = setup("");
    EXPECT_EQ(e.color_max, 15);
    for (int p : {0, 15, 16, 100, 255}) EXPECT_EQ(e.sat_ind[p], p / 16) << p;

    RES_clear();
    dir.write("f.clr", "black 0 0 0\nwhite 1 1 1\nred 1 0 0\nEND\nblue 0 0 1\n");
    RES_put("file_path", dir.path().c_str());
    RES_put("color_table", "f.clr");
    CLR_read_table(nullptr);
    SAT_color_setup();
    e = SAT_get_enhancement();
    EXPECT_EQ(e.color_max, 3);
    EXPECT_EQ(e.color_fill_ind[2], 2);
    EXPECT_EQ(e.color_fill_ind[3], 1003);

    e = setup("nocolour-red,none-black");  // no entries: the default ramp
    EXPECT_EQ(e.color_max, 15);
    EXPECT_EQ(e.sat_ind[255], 15);
}

TEST_F(Enh, DeviceColoursForWindowAndPostScript)
{
    // Entries: red, then the ramp white, grey, black; breaks 0, 64, 128, 192.
    SAT_set_device_class(0);
    auto e = setup("0:red,white-black");
    EXPECT_EQ(e.color_ind[0], 3);
    EXPECT_EQ(e.color_ind[1], 1002);
    EXPECT_EQ(e.sat_ind[64], 2);
    EXPECT_EQ(e.sat_ind[200], 0);

    SAT_set_device_class(1);
    e = setup("0:red,white-black");
    EXPECT_EQ(e.color_ind[0], (int)(0.9f / 2.7f * 255));  // red's grey
    EXPECT_EQ(e.color_ind[1], 1255);
    EXPECT_EQ(e.color_ind[3], 1000);
    int g1 = (int)((0.9f * 0.5f + 0.5f + 0.8f * 0.5f) / 2.7f * 255);
    EXPECT_EQ(e.color_ind[2], 1000 + g1);
    // Ramp neighbours blend across the bin: white (64..127) toward grey.
    EXPECT_EQ(e.sat_ind[64], 255);
    EXPECT_EQ(e.sat_ind[96], (255 * (128 - 96) + g1 * (96 - 64)) / 64);
    EXPECT_EQ(e.sat_ind[5], e.color_ind[0]);  // red is no ramp entry: flat

    SAT_set_device_class(2);
    e = setup("0:red,white-black");
    EXPECT_EQ(e.color_ind[0], 3);
    EXPECT_EQ(e.color_ind[1], 1002);
    EXPECT_EQ(e.sat_ind[200], 0);
}

TEST_F(Enh, EnhancementFile)
{
    testutil::ScratchDir dir;
    RES_put("file_path", dir.path().c_str());
    dir.write("ir.enh", "@LongEnhancementName #comment\n  0:black\n@other 200:white\n"
                        "@label=IRtest\n");
    auto e = setup("ir.enh");
    EXPECT_STREQ(e.enhance, "IRtest");
    EXPECT_EQ(e.color_max, 1);
    EXPECT_EQ(e.sat_cut[1], 200);

    dir.write("long.enh", "@LongEnhancementName 0:black\n");
    e = setup("long.enh");
    EXPECT_STREQ(e.enhance, "LongEnhan");

    std::string big = "big";
    for (int i = 0; i < 1000; ++i) big += " red";
    big += " " + std::string(5000, 'q');
    dir.write("big.enh", big);
    e = setup("big.enh");
    EXPECT_EQ(e.color_max, 254);  // 256 words, the name among them

    testing::internal::CaptureStderr();
    e = setup("missing.enh");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("SAT_color_setup: Unable to read enhancement file: missing.enh"), std::string::npos);
    EXPECT_EQ(e.color_max, 254);  // previous tables kept
}

TEST_F(Enh, ColouringPlainDitheredAndFilled)
{
    setup("0:black,100:red%4blue,200:white");
    std::vector<uint8_t> img(6 * 4, 150);
    img[0] = 10;
    img[1] = 250;
    ASSERT_EQ(SAT_color_pixels(img.data(), 5, 4, 6), 0);
    EXPECT_EQ(img[0], 0);
    EXPECT_EQ(img[1], 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 2; x < 5; ++x)
            EXPECT_EQ(img[y * 6 + x], DITHER_val(3, 4, x, y) ? 4 : 3) << x << "," << y;
    EXPECT_EQ(img[5], 150);  // row padding untouched

    SAT_set_fill(3, [](int, int x, int) { return x % 2; });
    std::vector<uint8_t> two = {255, 255};
    SAT_color_pixels(two.data(), 2, 1, 2);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[1], 2);
    SAT_set_fill(0, nullptr);
    EXPECT_EQ(SAT_color_pixels(nullptr, 5, 5, 5), -1);
    EXPECT_EQ(SAT_color_pixels(two.data(), 3, 1, 2), -1);
}

// "-pp fill=7" reaches the colouring: pattern 7 ("//") keeps two pixels of
// every eight in a row, on a diagonal rising to the right, and turns the
// rest black.  A plain enhancement (no dither) and rows wider than the
// dither patterns.
TEST_F(Enh, FillPlotWordStipplesTheImage)
{
    setup("0:black,100:red,200:white");
    RES_put("plot_param", "fill=7");
    SAT_param_reset();
    SAT_plot_param();
    constexpr int W = 64, H = 16;
    std::vector<uint8_t> img(W * H, 150);
    ASSERT_EQ(SAT_color_pixels(img.data(), W, H, W), 0);
    // The kept columns of each row of the 8 x 8 tile, worked out by hand
    // from the drawing of the pattern.
    const int kept[8][2] = {{0, 7}, {0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}};
    int black = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool keep = x % 8 == kept[y % 8][0] || x % 8 == kept[y % 8][1];
            EXPECT_EQ(img[y * W + x], keep ? 3 : 0) << x << "," << y;
            black += img[y * W + x] == 0;
        }
    EXPECT_EQ(black, W * H * 6 / 8);
    SAT_param_reset();  // clears the pattern for the other tests
    std::vector<uint8_t> plain(8, 150);
    SAT_color_pixels(plain.data(), 8, 1, 8);
    EXPECT_EQ(plain, std::vector<uint8_t>(8, 3));
}
