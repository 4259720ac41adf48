// Enhancement: temperature scales, items, set-up tables, dither patterns and the colouring of pixels, the bundled
// colour table and enhancements against independent sources, and the colour bar read back from a private X server.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../plot/plot_test_util.h"
#include "../test_support.h"
#include "core/records.h"
#include "core/res.h"
#include "gks/clr.h"
#include "gks/gks.h"
#include "plot/plt.h"
#include "satproc/enh.h"
#include "satproc/sat_param.h"

namespace {

// Temperature scales by hand.  AREA and AWIPS: 114 - 2 T down to -30 C, 145 - T below.  Unisys values grow with
// radiance (warmer is smaller); 252..255 lie past its cold end and read as absolute zero.  Absurd temperatures and
// unknown sources still give pixel values.
TEST(EnhIr, Scales)
{
    SAT_set_imager_source(SAT_SRC_AREA);
    const struct { float t; int v; } cases[] = {{0, 114}, {-30, 174}, {-31, 176}, {-110, 255}, {57, 0}, {-29.5f, 173}};
    for (auto c : cases) EXPECT_EQ(SAT_ir_ind(c.t), c.v) << c.t;
    EXPECT_EQ(std::vector({SAT_ind_ir(176), SAT_ind_ir(174)}), std::vector({-31.0f, -30.0f}));
    for (int src : {(int)SAT_SRC_AREA, (int)SAT_SRC_AWIPS, (int)SAT_SRC_UNISYS}) {
        SAT_set_imager_source(src);
        for (int v = 0; v < 256; ++v)
            if (src != SAT_SRC_UNISYS) EXPECT_EQ(SAT_ir_ind(SAT_ind_ir(v)), v) << v;
            else if (v < 252) EXPECT_NEAR(SAT_ir_ind(SAT_ind_ir(v)), v, 1) << v;
            else EXPECT_FLOAT_EQ(SAT_ind_ir(v), -273.15f) << v;
    }
    EXPECT_EQ(SAT_ir_ind(-273.15f), 252);
    EXPECT_LT(SAT_ir_ind(30), SAT_ir_ind(-60));
    for (int src : {(int)SAT_SRC_AREA, (int)SAT_SRC_UNISYS, 59}) {
        SAT_set_imager_source(src);
        for (float t : {1e30f, -1e30f, -300.0f, -9999.0f, NAN, INFINITY, -INFINITY, 1000.0f})
            EXPECT_EQ(SAT_ir_ind(t) & ~255, 0) << src << " " << t;
    }
    EXPECT_EQ(std::pair(SAT_ir_ind(-50), SAT_ind_ir(100)), std::pair(0, 0.0f));
}

// Each density switches on one more cell and keeps the earlier ones; periodic; densities outside the range clamp;
// the first 3 x 3 cell is the centre; unknown sizes are off.
TEST(EnhDither, PatternsAreNested)
{
    for (int size : {3, 5}) {
        for (int d = 0, on = 0; d <= size * size; ++d, on = 0) {
            for (int x = 0; x < size; ++x)
                for (int y = 0; y < size; ++y) {
                    on += DITHER_val(size, d, x, y);
                    EXPECT_GE(DITHER_val(size, d, x, y), DITHER_val(size, d - 1, x, y)) << size << " " << d;
                }
            EXPECT_EQ(on, d) << size;
        }
        EXPECT_EQ(DITHER_val(size, 1, size / 2 + size * 7, size / 2 + size * 3), 1);
        EXPECT_EQ(std::pair(DITHER_val(size, -5, 1, 1), DITHER_val(size, 99, 0, 1)), std::pair(0, 1));
    }
    EXPECT_EQ(std::vector({DITHER_val(3, 1, 1, 1), DITHER_val(5, 2, 0, 0), DITHER_val(4, 9, 1, 1),
                           DITHER_val(0, 9, 1, 1)}), std::vector({1, 1, 0, 0}));
}

class Enh : public ::testing::Test {
protected:
    void SetUp() override
    {
        CLR_clear_table();
        std::string t = "black 0 0 0\ngrey .5 .5 .5\nwhite 1 1 1\nred 1 0 0\nblue 0 0 1\ngreen 0 1 0\nyellow 1 1 0\n";
        FILE *fp = fmemopen(t.data(), t.size(), "r");
        CLR_read_stream(fp, 0, nullptr), fclose(fp);
    }
    static SAT_ENHANCEMENT setup(const char *color_fill)
    {
        RES_put("color_fill", color_fill);
        SAT_color_setup();
        return SAT_get_enhancement();
    }
};

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
        // a range counts down (ramp entries: colour + 1000)
        {"range", "blue-grey", 0, {{'m', 0, 3}, {'f', 0, 1004}, {'f', 3, 1001}}},
        {"empty: the 16-step ramp", "", 0, {{'m', 0, 15}, {'i', 0, 0}, {'i', 15, 0}, {'i', 16, 1}, {'i', 255, 15}}},
        {"no entries: the ramp", "nocolour-red,none-black", 0, {{'m', 0, 15}, {'i', 255, 15}}},
        // red, then the ramp white, grey, black; breaks 0, 64, 128, 192
        {"window", "0:red,white-black", 0, {{'o', 0, 3}, {'o', 1, 1002}, {'i', 64, 2}, {'i', 200, 0}}},
        {"colour PostScript", "0:red,white-black", 2, {{'o', 0, 3}, {'o', 1, 1002}, {'i', 200, 0}}},
        // greys trunc((0.9 r + g + 0.8 b) / 2.7 * 255) by hand: grey 0.5 is 127; ramp neighbours blend across the
        // bin, half way at 96: (255 + 127) / 2.  Red is exactly 85, but the code's float arithmetic gives 84.99997
        // and truncates to 84: a known difference, kept visible.
        {"grey PostScript", "0:red,white-black", 1,
         {{'o', 0, 84}, {'o', 1, 1255}, {'o', 2, 1127}, {'o', 3, 1000}, {'i', 5, 84}, {'i', 64, 255}, {'i', 96, 191}}},
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
    int n = 254;
    SAT_decode_colors("black-yellow", &n);  // only two of the seven entries fit
    EXPECT_EQ(n, 256);
    // No items: the table's fill colours (those before END), then the ramp.
    testutil::ScratchDir dir;
    RES_put("color_table", dir.write("f.clr", "black 0 0 0\nwhite 1 1 1\nred 1 0 0\nEND\nblue 0 0 1\n").c_str());
    CLR_read_table(nullptr);
    auto e = setup("");
    EXPECT_EQ(std::vector({e.color_max, e.color_fill_ind[2], e.color_fill_ind[3]}), std::vector({3, 2, 1003}));
}

// An image record that says what its counts stand for.
IMG value_image(int kind, int source, float offset, float scale, const char *name = "", const char *units = "")
{
    IMG image;
    IMG_init(&image);
    image.source = source, image.value_kind = kind, image.value_offset = offset, image.value_scale = scale;
    std::snprintf(image.value_name, sizeof image.value_name, "%s", name);
    std::snprintf(image.value_units, sizeof image.value_units, "%s", units);
    return image;
}

// "c" items by the kind of the last image: temperatures on the AREA scale for brightness temperatures of any source
// (0 C is 114, -50 C 195), nothing for plain counts of a source without a scale, values in the image's own units for
// linear counts (the first count whose value reaches the item's, held to 1..256, either direction of the scale).
TEST_F(Enh, BreaksByValueKind)
{
    const struct Case { const char *name; IMG image; const char *fill; std::vector<int> breaks; } cases[] = {
        {"temperature", value_image(IMG_VALUE_TEMPERATURE, IMG_SRC_ABI, 0, 0), "c0:red,c-50:blue", {114, 195}},
        {"plain counts", value_image(IMG_VALUE_NONE, IMG_SRC_ABI, 0, 0), "c0:red,c-50:blue", {0, 0}},
        // value = 0.25 (count - 1): 10 is count 41, 10.1 first reached at 42
        {"linear", value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, -0.25f, 0.25f), "0:black,c0:blue,c10:red,c10.1:green,c-3:red,c1e9:red",
         {0, 1, 41, 42, 1, 256}},
        // value = 100 - 0.5 count: 50 and below from count 100, -20 from 240
        {"falling", value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, 100, -0.5f), "c50:red,c-20:blue", {100, 240}},
        {"reflectance", value_image(IMG_VALUE_REFLECTANCE, IMG_SRC_ABI, 0, 1 / 254.0f), "c0.5:white,c1:red", {127, 254}},
        {"no scale: plain counts", value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, 0, 0), "c0:red,c5:blue", {0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SAT_set_image_values(&c.image);
        auto e = setup(c.fill);
        for (size_t i = 0; i < c.breaks.size(); ++i) EXPECT_EQ(e.sat_cut[i], c.breaks[i]) << i;
    }
    SAT_set_image_values(nullptr);
    EXPECT_EQ(std::pair(SAT_ir_ind(0), SAT_get_image_values().kind), std::pair(114, (int)IMG_VALUE_NONE));
}

// Without "color_fill" a linear quantity gets the missing count black and counts 1..255 in eleven bins of 23 or 24
// counts, ColorBrewer Spectral from its blue end up to its red end; reflectances and temperatures keep the plain
// ramp of counts.
TEST(EnhValues, DefaultRampOfALinearQuantity)
{
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    SAT_set_device_class(0);
    IMG rain = value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, -0.1f, 0.1f, "RRQPE", "mm h-1");
    SAT_set_image_values(&rain);
    SAT_color_setup();
    SAT_ENHANCEMENT e = SAT_get_enhancement();
    EXPECT_EQ(e.sat_ind[0], CLR_get_ind("black"));
    std::vector<std::pair<int, int>> runs;  // colour, length
    for (int p = 1; p < 256; ++p)
        if (runs.empty() || runs.back().first != e.sat_ind[p]) runs.push_back({e.sat_ind[p], 1});
        else ++runs.back().second;
    ASSERT_EQ(runs.size(), 11u);
    for (int k = 0; k < 11; ++k) {
        const std::string name = (k < 2 ? "spectral1" : "spectral0") + std::to_string((11 - k) % 10);
        EXPECT_EQ(runs[k].first, CLR_get_ind(name.c_str())) << k;
        EXPECT_TRUE(runs[k].second == 23 || runs[k].second == 24) << k << " " << runs[k].second;
    }
    for (int kind : {IMG_VALUE_REFLECTANCE, IMG_VALUE_TEMPERATURE}) {
        IMG image = value_image(kind, IMG_SRC_ABI, 0, 1 / 254.0f);
        SAT_set_image_values(&image);
        SAT_color_setup();
        EXPECT_EQ(SAT_get_enhancement().color_max, 15) << kind;
    }
}

// An enhancement file: the first word names it (9 characters kept), "@label=" renames it, '#' and other '@' words are
// skipped; at most 256 words; a missing file warns and keeps the tables.
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
    dir.write("big.enh", big + " " + std::string(5000, 'q'));
    EXPECT_EQ(setup("big.enh").color_max, 254);
    std::string err = testutil::stderr_of([&] { e = setup("missing.enh"); });
    EXPECT_NE(err.find("SAT_color_setup: Unable to read enhancement file: missing.enh"), std::string::npos);
    EXPECT_EQ(e.color_max, 254);
}

// Plain, dithered (red%4blue: the cells DITHER_val switches on are blue) and stippled by a fill function; "-pp fill=7"
// (pattern "//") keeps two pixels of every eight in a row on a diagonal rising to the right, the rest black (kept
// columns of each tile row worked out by hand from the drawing of the pattern).
TEST_F(Enh, Colouring)
{
    setup("0:black,100:red%4blue,200:white");
    std::vector<uint8_t> img(6 * 4, 150);
    img[0] = 10, img[1] = 250;
    ASSERT_EQ(SAT_color_pixels(img.data(), 5, 4, 6), 0);
    EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.begin() + 2), std::vector<uint8_t>({0, 2}));
    for (int y = 0; y < 4; ++y)
        for (int x = 2; x < 5; ++x) EXPECT_EQ(img[y * 6 + x], DITHER_val(3, 4, x, y) ? 4 : 3) << x << "," << y;
    EXPECT_EQ(img[5], 150);  // row padding untouched
    SAT_set_fill(3, [](int, int x, int) { return x % 2; });
    std::vector<uint8_t> two = {255, 255};
    SAT_color_pixels(two.data(), 2, 1, 2);
    EXPECT_EQ(two, std::vector<uint8_t>({0, 2}));
    SAT_set_fill(0, nullptr);
    EXPECT_EQ(std::pair(SAT_color_pixels(nullptr, 5, 5, 5), SAT_color_pixels(two.data(), 3, 1, 2)), std::pair(-1, -1));
    setup("0:black,100:red,200:white");
    RES_put("plot_param", "fill=7"), SAT_param_reset(), SAT_plot_param();
    constexpr int W = 64, H = 16;
    std::vector<uint8_t> st(W * H, 150);
    ASSERT_EQ(SAT_color_pixels(st.data(), W, H, W), 0);
    const int kept[8][2] = {{0, 7}, {0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            EXPECT_EQ(st[y * W + x], x % 8 == kept[y % 8][0] || x % 8 == kept[y % 8][1] ? 3 : 0) << x << "," << y;
    SAT_param_reset();  // clears the pattern
    std::vector<uint8_t> plain(8, 150);
    SAT_color_pixels(plain.data(), 8, 1, 8);
    EXPECT_EQ(plain, std::vector<uint8_t>(8, 3));
}

// The bundled table: black first, white at 15 after a rising grey ramp, the grey block consecutive (so that range
// items make a ramp), and every name X11's rgb.txt knows with rgb.txt's colour.
TEST(EnhData, ColourTableMatchesRgbTxt)
{
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    ASSERT_TRUE(CLR_get_num() > 16 + 101 && CLR_get_num() <= 256 - 40) << CLR_get_num();
    EXPECT_EQ(std::vector({CLR_get_ind("black"), CLR_get_ind("white"), CLR_get_ind("gray99") - CLR_get_ind("gray1")}),
              std::vector({0, 15, 98}));
    float prev = -1, r, g, b;
    for (int i = 0; i < 16; ++i, prev = r) {
        CLR_get_rgb(i, &r, &g, &b);
        EXPECT_TRUE(r == g && g == b && r > prev) << i;
    }
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
    int checked = 0;
    for (int i = 0; i < CLR_get_num(); ++i) {
        auto it = want.find(CLR_get_name(i));
        if (it == want.end()) continue;
        CLR_get_rgb(i, &r, &g, &b);
        EXPECT_FLOAT_EQ(r, (it->second >> 16) / 255.0f) << it->first;
        EXPECT_FLOAT_EQ(g, (it->second >> 8 & 255) / 255.0f) << it->first;
        EXPECT_FLOAT_EQ(b, (it->second & 255) / 255.0f) << it->first;
        ++checked;
    }
    EXPECT_GE(checked, 16 + 101 + 40);
}

// Every bundled enhancement on a ramp of all 256 values, against a Python/numpy build of its lookup table
// (tools/check_enhance.py), pixel for pixel.
TEST(EnhData, BundledEnhancementsMatchPython)
{
    NEED_NUMPY();
    testutil::ScratchDir dir;
    CLR_read_table(ZYR_DATA_DIR "/zyr.clr");
    SAT_set_imager_source(SAT_SRC_AREA), SAT_set_device_class(0);
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ZYR_DATA_DIR "/enhance")) {
        std::string name = entry.path().filename(), ppm = dir.file(name + ".ppm");
        SCOPED_TRACE(name);
        ASSERT_EQ(testutil::run({testutil::python(), ZYR_SOURCE_DIR "/tools/check_enhance.py", ZYR_DATA_DIR "/zyr.clr",
                                 entry.path().string(), ppm}).status, 0);
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

using EnhBar = plottest::XPlotTest;

// The temperature bar on both infrared scales and the plain bar, for black/red/green/blue in quarters.  The bar spans
// the panel's left half from 3 % of its width; under its white top edge every cell away from ticks and bin edges
// shows its quarter's colour, a long white tick marks -50 C; under the bottom edge, clear of it, numbers in the text
// colour are centred on ticks of the scale (every 10 C, or every 16 counts), at least three.  Without room under the
// panel nothing is drawn.
TEST_F(EnhBar, CellsTicksNumbersAndNoRoom)
{
    gset_xsize(1200, 800);
    PLT_set_view_offset(0.04f);  // the default margins, whatever a test before left
    ASSERT_EQ(PLT_open(1.5f), 0);
    RES_put("color_fill", "0:black,64:red,128:green,192:blue");
    const unsigned long white = gget_color_ind(CLR_get_ind("white"));
    std::vector<unsigned long> colours;
    for (const char *c : {"black", "red", "green", "blue"}) colours.push_back(gget_color_ind(CLR_get_ind(c)));
    for (auto [ir, source] : {std::pair{1, SAT_SRC_AREA}, {1, SAT_SRC_UNISYS}, {0, SAT_SRC_AREA}}) {
        SCOPED_TRACE(testing::Message() << "ir " << ir << " source " << source);
        SAT_set_imager_source(source), SAT_color_setup(), gclear_ws(1, 1);
        ASSERT_EQ(SAT_color_bar(ir), 0);
        gupdate_window();
        float v[4];
        PLT_get_view(v);
        const float x0 = v[0] + 0.03f * (v[1] - v[0]), xm = (v[0] + v[1]) / 2, cw = (xm - x0) / 256;
        auto px = [&](float value) { return (int)xNDC_p(x0 + value * cw); };
        auto tick_gap = [&](float value) {  // distance in values to the nearest tick of the scale
            float best = 1e9f;
            for (int t = 50; t >= -110 && ir; t -= 10) best = std::min(best, std::fabs(value - SAT_ir_ind((float)t)));
            for (int c = 0; c < 256 && !ir; c += 16) best = std::min(best, std::fabs(value - c));
            return best;
        };
        gkstest::Picture pic = gkstest::grab();
        // Down a column clear of ticks: the top edge, the cells, the bottom edge.
        const int xc = px(100.5f);
        int y = (int)yNDC_p(v[2]) + 1;
        while (y < pic.h && pic.at(xc, y) != white) ++y;
        while (y < pic.h && pic.at(xc, y) == white) ++y;
        const int cells = y + 1;
        while (y < pic.h && pic.at(xc, y) != white) ++y;
        while (y + 1 < pic.h && pic.at(xc, y + 1) == white) ++y;
        ASSERT_LT(y, pic.h - 4);
        const int bottom = y;
        int checked = 0;
        for (int p = 0; p < 256; ++p) {
            if (p % 64 < 3 || p % 64 > 60 || p % 16 == 0 || p % 16 == 15 || (ir && tick_gap(p + 0.5f) < 1.5f)) continue;
            ASSERT_EQ(pic.at(px(p + 0.5f), cells), colours[p / 64]) << p;
            ++checked;
        }
        EXPECT_GT(checked, 60);
        EXPECT_TRUE(!ir || source != SAT_SRC_AREA || pic.at(px(SAT_ir_ind(-50)), cells + 2) == white);
        EXPECT_NE(pic.at((int)xNDC_p(xm + 0.02f), cells), colours[3]);  // nothing right of the bar's half
        for (int x = px(0) + 1; x < px(256) - 1; ++x) ASSERT_NE(pic.at(x, bottom + 1), white) << x;
        int top = -1, low = -1;  // the numbers' rows
        for (int r = bottom + 1; r < pic.h; ++r)
            for (int x = px(0) - 30; x < px(256) + 30; ++x)
                if (pic.at(x, r) == white) top = top < 0 ? r : top, low = r;
        ASSERT_GT(top, bottom + 1);
        EXPECT_GE(low - top, 5);
        // Column runs of white in those rows, merged where less than a third of the height apart: one per number.
        std::vector<std::pair<int, int>> groups;
        for (int x = px(0) - 30; x <= px(256) + 30; ++x) {
            bool on = false;
            for (int r = top; r <= low && !on; ++r) on = pic.at(x, r) == white;
            if (on && !groups.empty() && x - groups.back().second <= (low - top + 1) / 3) groups.back().second = x;
            else if (on) groups.push_back({x, x});
        }
        ASSERT_GE(groups.size(), 3u);
        for (auto [a, b] : groups) {
            float best = 1e9f;
            for (int p = 0; p < 256; ++p)
                if (tick_gap((float)p) == 0) best = std::min(best, std::fabs((a + b) / 2.0f - px((float)p)));
            EXPECT_LE(best, 2.5f) << "number at columns " << a << ".." << b;
        }
    }
    PLT_set_view_offsets(0, 0, 0, 0), PLT_reset(1.5f);
    gkstest::Picture before = gkstest::grab();
    EXPECT_EQ(SAT_color_bar(0), -1);
    gupdate_window();
    EXPECT_TRUE(gkstest::grab() == before);
}

} // namespace

namespace {

// The records of a text metafile ("FA 4 x,y x,y ...", "TE x,y text"), continuation lines joined.
struct MetaRecord {
    std::string key, text;
    std::vector<std::pair<float, float>> points;
};
std::vector<MetaRecord> meta_records(const std::string &file)
{
    std::vector<MetaRecord> out;
    std::istringstream in(testutil::read_file(file));
    for (std::string line; std::getline(in, line);) {
        const bool more = !line.empty() && line[0] == ' ' && !out.empty();
        std::istringstream words(line);
        MetaRecord r;
        if (more) r = out.back(), out.pop_back();
        else words >> r.key;
        for (std::string w; words >> w;) {
            float x, y;
            if (r.key == "TE" && r.points.size() == 1) {
                std::getline(words, r.text);
                r.text = w + r.text;
                break;
            }
            if (std::sscanf(w.c_str(), "%f,%f", &x, &y) == 2) r.points.push_back({x, y});
        }
        out.push_back(r);
    }
    return out;
}

} // namespace

// The bar of an image of values, drawn on a text metafile: the numbers are round values one step apart (1, 2 or 5
// times a power of ten), each where its value falls between the centres of the cells of the counts standing for the
// values around it (value = offset + scale * count); ticks hang from the top at the numbers; the caption names the field and its units (a ratio's "1" left out)
// after the bar.  Brightness temperatures of any source are numbered as the AREA scale places them.
TEST(EnhValues, BarNumberedInValues)
{
    testutil::ScratchDir dir;
    RES_put("file_path", ZYR_DATA_DIR);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    const struct Case { const char *name; IMG image; int ir; std::string caption; } cases[] = {
        {"rain rate", value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, -0.1f, 0.1f, "RRQPE", "mm h-1"), 0, "RRQPE (mm h-1)"},
        {"falling", value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, 300, -0.004f, "X", "W"), 1, "X (W)"},
        // units the reader had to cut: blanks folded, the partial word dropped
        {"cut units", value_image(IMG_VALUE_LINEAR, IMG_SRC_ABI, 0, 0.1f, "flash", "Count per nominal    3136 um2"), 0,
         "flash (Count per nominal ...)"},
        {"reflectance", value_image(IMG_VALUE_REFLECTANCE, IMG_SRC_ABI, 0, 1 / 254.0f, "CMI C02", "1"), 1, "CMI C02"},
        {"temperature", value_image(IMG_VALUE_TEMPERATURE, IMG_SRC_ABI, 0, 0, "CMI C13", "K"), 1, "CMI C13"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(std::string(c.name) + ".meta");
        FLAG_set(FLAG_DEVICE, GWS_META);
        RES_put("device", ("m," + file + ",zyr").c_str());
        ASSERT_EQ(PLT_open(1.5f), 0);
        SAT_set_image_values(&c.image);
        SAT_color_setup();
        ASSERT_EQ(SAT_color_bar(c.ir), 0);
        GPH_end(1);
        // The 256 cells are the last fills; the texts after them are the numbers, then the caption.
        std::vector<MetaRecord> recs = meta_records(file), cells, texts;
        for (const MetaRecord &r : recs) {
            if (r.key == "FA" && r.points.size() >= 4) cells.push_back(r);
            if (r.key == "TE") texts.push_back(r);
        }
        ASSERT_GE(cells.size(), 256u);
        cells.erase(cells.begin(), cells.end() - 256);
        auto left = [&](int p) { return std::min_element(cells[p].points.begin(), cells[p].points.end())->first; };
        const float cw = left(1) - left(0), right_end = left(255) + cw;
        ASSERT_GE(texts.size(), 4u);
        EXPECT_EQ(texts.back().text, c.caption);
        EXPECT_GT(texts.back().points[0].first, right_end);
        texts.pop_back();
        if (c.image.value_kind == IMG_VALUE_TEMPERATURE) {
            EXPECT_EQ(texts.back().text.back(), 'C');
            for (const MetaRecord &t : texts) {
                int temp = std::atoi(t.text.c_str());
                EXPECT_EQ(temp % 10, 0) << t.text;
                // on the AREA scale: 145 - T below -30 C, 114 - 2 T above
                int count = temp < -30 ? 145 - temp : 114 - 2 * temp;
                EXPECT_NEAR(t.points[0].first, left(count), 1e-4) << t.text;
            }
            continue;
        }
        std::vector<double> values;
        for (const MetaRecord &t : texts) values.push_back(std::strtod(t.text.c_str(), nullptr));
        const double step = std::fabs(values[1] - values[0]), decade = std::pow(10, std::floor(std::log10(step) + 1e-9));
        const double mantissa = step / decade;
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6)
            << step;
        for (size_t k = 0; k < values.size(); ++k) {
            SCOPED_TRACE(texts[k].text);
            EXPECT_NEAR(std::fabs(values[k] - values[0]), k * step, 1e-6 * step);
            EXPECT_NEAR(std::remainder(values[k], step), 0, 1e-6 * step);
            // between the centres of the two counts whose values enclose it, in proportion
            const double count = (values[k] - c.image.value_offset) / c.image.value_scale;
            const int p = (int)std::floor(count);
            ASSERT_TRUE(p >= 1 && p <= 255);
            EXPECT_NEAR(texts[k].points[0].first, left(p) + cw / 2 + (count - p) * cw, 0.02 * cw);
            bool tick = false;
            for (const MetaRecord &r : recs)
                tick |= r.key == "PL" && r.points.size() == 2 && std::fabs(r.points[0].first - texts[k].points[0].first) < 1e-5 &&
                        r.points[0].first == r.points[1].first;
            EXPECT_TRUE(tick);
        }
    }
}
