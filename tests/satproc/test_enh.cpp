// Enhancement: temperature scales, items, set-up tables, dither patterns and the colouring of pixels.
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
#include "gks/drivers/ps.h"
#include "gks/gks.h"
#include "plot/plt.h"
#include "satproc/enh.h"
#include "satproc/sat_param.h"

namespace {

// The grey of pure red on monochrome PostScript: 85 in exact arithmetic, 84 as the code computes it (a known
// difference; see SetUpTables).
constexpr int kRedGrey = 84;

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
        SAT_set_dither(0), SAT_set_device_class(0), SAT_set_imager_source(SAT_SRC_AREA);
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
    EXPECT_EQ(std::pair(SAT_ind_ir(176), SAT_ind_ir(174)), std::pair(-31.0f, -30.0f));
    for (int src : {(int)SAT_SRC_AREA, (int)SAT_SRC_AWIPS}) {
        SAT_set_imager_source(src);
        for (int v = 0; v < 256; ++v) EXPECT_EQ(SAT_ir_ind(SAT_ind_ir(v)), v) << v;
    }
}

TEST(EnhIr, UnisysScaleAndItsColdEnd)
{
    SAT_set_imager_source(SAT_SRC_UNISYS);
    for (int v = 0; v <= 251; ++v) EXPECT_NEAR(SAT_ir_ind(SAT_ind_ir(v)), v, 1) << v;
    for (int v = 252; v <= 255; ++v) EXPECT_FLOAT_EQ(SAT_ind_ir(v), -273.15f) << v;
    EXPECT_EQ(SAT_ir_ind(-273.15f), 252);
    EXPECT_LT(SAT_ir_ind(30), SAT_ir_ind(-60));  // Unisys pixel values grow with radiance: warmer is smaller
}

TEST(EnhIr, AbsurdTemperaturesStayPixelValues)
{
    for (int src : {(int)SAT_SRC_AREA, (int)SAT_SRC_UNISYS, 59}) {
        SAT_set_imager_source(src);
        for (float t : {1e30f, -1e30f, -300.0f, -9999.0f, NAN, INFINITY, -INFINITY, 1000.0f})
            EXPECT_EQ(SAT_ir_ind(t) & ~255, 0) << src << " " << t << " " << SAT_ir_ind(t);
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
        EXPECT_EQ(std::pair(DITHER_val(size, -5, 1, 1), DITHER_val(size, 99, 0, 1)), std::pair(0, 1));
    }
    // the first 3x3 cell is the centre; unknown sizes are off
    EXPECT_EQ(std::vector({DITHER_val(3, 1, 1, 1), DITHER_val(5, 2, 0, 0), DITHER_val(4, 9, 1, 1),
                           DITHER_val(0, 9, 1, 1)}), std::vector({1, 1, 0, 0}));
}

TEST_F(Enh, RangeCountsDownAndAddsRampFlag)
{
    int n = 2;
    SAT_decode_colors("blue-grey", &n);  // 4 down to 1
    EXPECT_EQ(n, 6);
    auto e = SAT_get_enhancement();
    EXPECT_EQ(std::vector<int>(e.color_fill_ind + 2, e.color_fill_ind + 6), (std::vector<int>{1004, 1003, 1002, 1001}));
    n = 254;
    SAT_decode_colors("black-yellow", &n);  // only two entries fit
    EXPECT_EQ(n, 256);
    n = 0;
    SAT_decode_colors("nocolour-red", &n);
    EXPECT_EQ(n, 0);
}

// The tables a color_fill text sets up, by hand.  Table entries: black 0, grey 1, white 2, red 3, blue 4, green 5,
// yellow 6.  Fields: m colour count - 1, n dither size, c sat_cut, i sat_ind, k sat_color_ind, f color_fill_ind, d
// dither_ind, D color_dith_ind, o color_ind.
TEST_F(Enh, SetUpTables)
{
    struct Want { char field; int i, v; };
    const struct Case { const char *name, *fill; int device; std::vector<Want> want; } cases[] = {
        {"breaks and interpolation", "0:black,white,200:red", 0,
         {{'m', 0, 2}, {'c', 0, 0}, {'c', 1, 100}, {'c', 2, 200}, {'c', 3, 256}, {'i', 99, 0}, {'i', 100, 2},
          {'i', 255, 3}, {'k', 150, 1}}},
        // temperatures on the AREA scale: 0 C is 114, -30 C 174, -60 C 205
        {"temperature breaks", "c0:red,c-30:blue,c-60:green", 0,
         {{'c', 0, 114}, {'c', 1, 174}, {'c', 2, 205}, {'i', 113, 3}, {'k', 113, 0}, {'i', 204, 4}}},
        // the bin advances at most once per value and only when the next break equals the value: a repeated or
        // falling break stops it
        {"repeated break", "0:black,50:red,50:blue,200:green", 0, {{'k', 49, 0}, {'k', 50, 1}, {'k', 255, 1}}},
        {"falling break", "0:black,150:red,100:blue,200:green", 0, {{'k', 150, 1}, {'k', 255, 1}}},
        // 'c' reads as a digit and clamps; one density character ("2white" reads 2)
        {"dither 3", "red%4blue,green%cwhite,black%Zwhite,grey%12white", 0,
         {{'n', 0, 3}, {'d', 0, 4}, {'D', 0, 4}, {'d', 1, 9}, {'d', 2, 9}, {'d', 3, 1}, {'D', 3, 2}}},
        {"dither 5", "red%cblue,green%7white,red%,red%9", 0,
         {{'n', 0, 5}, {'d', 0, 2}, {'d', 1, 0}, {'d', 2, 0}, {'f', 2, 3}, {'d', 3, 0}, {'m', 0, 3}}},
        // "cyan-white" is one unknown word; unknown colour: 255 as pixel value
        {"odd items", "red,cyan-white,c1e30:red,c-300:blue,cnan:green,999:yellow,red%", 0,
         {{'m', 0, 6}, {'f', 1, -1}, {'c', 1, 0}, {'c', 2, 0}, {'c', 3, 255}, {'c', 4, 0}, {'c', 5, 256},
          {'i', 0, 255}}},
        {"empty: the 16-step ramp", "", 0, {{'m', 0, 15}, {'i', 0, 0}, {'i', 15, 0}, {'i', 16, 1}, {'i', 255, 15}}},
        {"no entries: the ramp", "nocolour-red,none-black", 0, {{'m', 0, 15}, {'i', 255, 15}}},
        // red, then the ramp white, grey, black; breaks 0, 64, 128, 192
        {"window", "0:red,white-black", 0, {{'o', 0, 3}, {'o', 1, 1002}, {'i', 64, 2}, {'i', 200, 0}}},
        {"colour PostScript", "0:red,white-black", 2, {{'o', 0, 3}, {'o', 1, 1002}, {'i', 200, 0}}},
        // greys trunc((0.9 r + g + 0.8 b) / 2.7 * 255) by hand: grey 0.5 is 127; ramp neighbours blend across the
        // bin, half way at 96: (255 + 127) / 2.  Red is exactly 85, but the code's float arithmetic gives 84.99997
        // and truncates to 84: a known difference, kept visible (kRedGrey).
        {"grey PostScript", "0:red,white-black", 1,
         {{'o', 0, kRedGrey}, {'o', 1, 1255}, {'o', 2, 1127}, {'o', 3, 1000}, {'i', 5, kRedGrey}, {'i', 64, 255},
          {'i', 96, 191}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SAT_set_dither(0);
        SAT_set_device_class(c.device);
        auto e = setup(c.fill);
        for (const Want &w : c.want) {
            int got = w.field == 'm' ? e.color_max
                    : w.field == 'n' ? e.dither
                    : w.field == 'c' ? e.sat_cut[w.i]
                    : w.field == 'i' ? e.sat_ind[w.i]
                    : w.field == 'k' ? e.sat_color_ind[w.i]
                    : w.field == 'f' ? e.color_fill_ind[w.i]
                    : w.field == 'd' ? e.dither_ind[w.i]
                    : w.field == 'D' ? e.color_dith_ind[w.i]
                                     : e.color_ind[w.i];
            EXPECT_EQ(got, w.v) << w.field << "[" << w.i << "]";
        }
    }
}

TEST_F(Enh, TablesWithoutFillColours)
{
    testutil::ScratchDir dir;
    RES_put("file_path", dir.path().c_str());
    dir.write("nofill.clr", "END\n");  // no fill colours: the ramp still
    RES_put("color_table", "nofill.clr");
    CLR_read_table(nullptr);
    small_table();
    EXPECT_EQ(setup("").color_max, 15);
    dir.write("f.clr", "black 0 0 0\nwhite 1 1 1\nred 1 0 0\nEND\nblue 0 0 1\n");
    RES_put("color_fill", "");
    RES_put("color_table", "f.clr");
    CLR_read_table(nullptr);
    SAT_color_setup();
    auto e = SAT_get_enhancement();
    EXPECT_EQ(std::vector({e.color_max, e.color_fill_ind[2], e.color_fill_ind[3]}), std::vector({3, 2, 1003}));
}

TEST_F(Enh, EnhancementFile)
{
    testutil::ScratchDir dir;
    RES_put("file_path", dir.path().c_str());
    dir.write("ir.enh", "@LongEnhancementName #comment\n  0:black\n@other 200:white\n@label=IRtest\n");
    auto e = setup("ir.enh");
    EXPECT_STREQ(e.enhance, "IRtest");
    EXPECT_EQ(std::pair(e.color_max, e.sat_cut[1]), std::pair(1, 200));
    dir.write("long.enh", "@LongEnhancementName 0:black\n");
    EXPECT_STREQ(setup("long.enh").enhance, "LongEnhan");
    std::string big = "big";
    for (int i = 0; i < 1000; ++i) big += " red";
    big += " " + std::string(5000, 'q');
    dir.write("big.enh", big);
    EXPECT_EQ(setup("big.enh").color_max, 254);  // 256 words, the name among them
    std::string err = testutil::stderr_of([&] { e = setup("missing.enh"); });
    EXPECT_NE(err.find("SAT_color_setup: Unable to read enhancement file: missing.enh"), std::string::npos);
    EXPECT_EQ(e.color_max, 254);  // previous tables kept
}

TEST_F(Enh, ColouringPlainDitheredAndFilled)
{
    setup("0:black,100:red%4blue,200:white");
    std::vector<uint8_t> img(6 * 4, 150);
    img[0] = 10, img[1] = 250;
    ASSERT_EQ(SAT_color_pixels(img.data(), 5, 4, 6), 0);
    EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.begin() + 2), std::vector<uint8_t>({0, 2}));
    for (int y = 0; y < 4; ++y)
        for (int x = 2; x < 5; ++x)
            EXPECT_EQ(img[y * 6 + x], DITHER_val(3, 4, x, y) ? 4 : 3) << x << "," << y;
    EXPECT_EQ(img[5], 150);  // row padding untouched

    SAT_set_fill(3, [](int, int x, int) { return x % 2; });
    std::vector<uint8_t> two = {255, 255};
    SAT_color_pixels(two.data(), 2, 1, 2);
    EXPECT_EQ(two, std::vector<uint8_t>({0, 2}));
    SAT_set_fill(0, nullptr);
    EXPECT_EQ(SAT_color_pixels(nullptr, 5, 5, 5), -1);
    EXPECT_EQ(SAT_color_pixels(two.data(), 3, 1, 2), -1);
}

// "-pp fill=7" reaches the colouring: pattern 7 ("//") keeps two pixels of every eight in a row, on a diagonal rising
// to the right, and turns the rest black.  A plain enhancement (no dither) and rows wider than the dither patterns.
// The kept columns of each row of the 8 x 8 tile are worked out by hand from the drawing of the pattern.
TEST_F(Enh, FillPlotWordStipplesTheImage)
{
    setup("0:black,100:red,200:white");
    RES_put("plot_param", "fill=7");
    SAT_param_reset();
    SAT_plot_param();
    constexpr int W = 64, H = 16;
    std::vector<uint8_t> img(W * H, 150);
    ASSERT_EQ(SAT_color_pixels(img.data(), W, H, W), 0);
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

// On PostScript the entries are greys unless the colour switch is on: red's grey is 0.9 / 2.7 of full scale (85
// exactly; kRedGrey), blue's 0.8 / 2.7 (75).
TEST(EnhPs, DeviceColoursFollowThePostScriptColourSwitch)
{
    testutil::ScratchDir dir;
    setenv("zyrps_print", dir.file("m.ps").c_str(), 1);
    unsetenv("PSCOLOR");
    RES_clear();
    RES_put("file_path", ZYR_DATA_DIR);
    FLAG_set(FLAG_DEVICE, GWS_PS);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    testing::internal::CaptureStdout();
    ASSERT_EQ(PLT_open(1.5f), 0);
    SAT_set_device_class(-1);
    RES_put("color_fill", "0:red,128:blue");
    auto entries = [] {
        SAT_color_setup();
        return std::pair(SAT_get_enhancement().color_ind[0], SAT_get_enhancement().color_ind[1]);
    };
    EXPECT_EQ(entries(), std::pair(kRedGrey, 75));
    gps_set_colorPS(1);
    EXPECT_EQ(entries(), std::pair(CLR_get_ind("red"), CLR_get_ind("blue")));
    gps_set_colorPS(0);
    GPH_end(1);
    testing::internal::GetCapturedStdout();
    unsetenv("zyrps_print");
}
