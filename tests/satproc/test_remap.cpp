// Image geometry: domain fitting, window size, plot parameters and input keywords, remapping and zoom on small images
// and the real files, and exact nearest-neighbour remapping of the satellite view against gdalwarp.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "files/file.h"
#include "image/nav.h"
#include "satproc/fit.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"
#include "tests/image/area_blocks.h"
#include "tests/test_support.h"

namespace {

DOM grid(int proj, float clat, float clon, int nx, int ny, float spacing)
{
    DOM d;
    DOM_init(&d);
    d.proj = proj, d.clat = clat, d.clon = clon, d.nx = nx, d.ny = ny, d.dx = d.dy = spacing;
    return d;
}

// The test main resets the modules before each test; tran_sat starts off here.
class Remap : public ::testing::Test {
protected:
    void SetUp() override { SAT_set_tran_sat(0), IMG_init(&img), IMG_init(&out); }
    void TearDown() override { IMG_free(&img), IMG_free(&out); }
    // A w x h image on a 1-degree latitude/longitude grid centred at (0, 0): column c is longitude c - (w-1)/2, row r
    // latitude (h-1)/2 - r.
    void make_image(int w, int h, const std::vector<unsigned char> &px)
    {
        IMG_free(&img), IMG_init(&img);
        img.nx = img.bytes_line = w, img.ny = h, img.depth = 8, img.source = IMG_SRC_ZYR;
        img.data = (unsigned char *)std::malloc(px.size());
        std::memcpy(img.data, px.data(), px.size());
        img.domain = grid(DOM_LATLON, 0, 0, w, h, 1);
    }
    // Remaps a copy of the image onto d into out; its pixels (none when refused).
    std::vector<unsigned char> remap(DOM d)
    {
        IMG_free(&out);
        IMG_copy(&out, &img);
        if (SAT_remap_image(&out, &d) != 1) return {};
        return {out.data, out.data + (size_t)out.nx * out.ny};
    }
    // The real files, read as a program run reads them.
    void read(const char *file)
    {
        IMG_free(&img), IMG_init(&img);
        FLAG_set(FLAG_INPUT, IMG_SRC_AREA), SAT_set_tran_sat(1);  // tran_sat's start value in a program run
        ASSERT_EQ(SAT_read_file(testutil::shared(file).c_str(), &img), 1);
    }
    // A decoded domain, sized to the window unless told not to.
    static DOM domain(const char *text, bool window = true)
    {
        DOM d;
        DOM_init(&d);
        EXPECT_EQ(DOM_decode(text, &d), 1);
        if (window) SAT_domain_image(&d);
        return d;
    }
    // The stepped trace at the default remap_inc stays within half a source pixel (the larger of the column and row
    // differences, every 7th row) of the per-pixel trace by the same path, on a small and a large window.
    void stepped_follows_per_pixel(const char *text)
    {
        for (const char *geometry : {"640x427", "1920x1080"}) {
            SCOPED_TRACE(testing::Message() << text << " " << geometry);
            RES_put("geometry", geometry);
            const DOM d = domain(text);
            std::vector<float> sc(d.nx), sr(d.nx), pc(d.nx), pr(d.nx);
            float worst = -1;
            for (int j = 0; j < d.ny; j += 7) {
                EXPECT_EQ(SAT_remap_positions(&img, &d, j, 0, sc.data(), sr.data()), 0);
                SAT_remap_positions(&img, &d, j, 1, pc.data(), pr.data());
                for (int i = 0; i < d.nx; ++i)
                    if (!std::isnan(pc[i])) {
                        EXPECT_FALSE(std::isnan(sc[i])) << i << " " << j;
                        worst = std::max({worst, std::fabs(sc[i] - pc[i]), std::fabs(sr[i] - pr[i])});
                    }
            }
            EXPECT_TRUE(worst >= 0 && worst < 0.5) << worst;  // something traced, and closely
        }
    }
    IMG img, out;
};
using Fit = Remap;

// A synthetic AREA record: directory and one block (type, then the given words), fitted into an image.
struct FakeArea {
    int32_t dir[64] = {}, block[640] = {};
    AREA_REC rec{};
    FakeArea(const char *type, int lines, int elems, int lres, int eres, std::vector<std::pair<int, int>> words = {})
    {
        dir[1] = 4, dir[5] = dir[6] = 1, dir[8] = lines, dir[9] = elems, dir[11] = lres, dir[12] = eres;
        std::memcpy(block, type, 4);
        for (auto [k, v] : words) block[k] = v;
        rec.dir = dir, std::memcpy(rec.nav_type, type, 4);
        *(type[0] == 'P' ? &rec.ps : !std::strncmp(type, "GOES", 4) ? &rec.goes : &rec.proj) = block;
    }
    const DOM &fit(IMG *img)
    {
        img->nx = dir[9], img->ny = dir[8], img->res_x = (float)dir[12], img->res_y = (float)dir[11];
        img->source = IMG_SRC_AREA;
        AREA_init(&rec), AREA_calc_domain(img, &rec);
        return img->domain;
    }
};

// Map types from their blocks.  grid_domain overrides the navigation.  RECT with exponent words 0: divisor 10^4.
// Mercator: spacing 4000 / earth 6371220 (units 63.713 per radius); the centre (line 200, element 300) lies 300 lines
// above the equator line 500 and 200 elements east of element 100: invproj +proj=merc +lon_0=-90 +R=6371220 of
// (800010.0 m, 1200015.1 m) gives 10.72872 N, 82.80535 W.  An unknown type has no projection.
TEST_F(Fit, MapTypesFromBlocks)
{
    SAT_set_tran_sat(1);
    RES_put("grid_domain", "ll,40,-100,80,60,0.5,0.5");
    const DOM &g = FakeArea("PS  ", 60, 80, 1, 1, {{3, 600000}}).fit(&img);
    EXPECT_EQ(std::vector<float>({(float)g.proj, g.clat, g.clon, (float)g.nx, (float)g.ny, g.dx, g.dy}),
              std::vector<float>({DOM_LATLON, 40, -100, 80, 60, 0.5f, 0.5f}));
    EXPECT_EQ(SAT_get_tran_sat(), 0);
    RES_put("grid_domain", "");
    SAT_set_tran_sat(1);
    const DOM &r = FakeArea("RECT", 100, 200, 2, 3, {{1, 1}, {2, 500000}, {3, 1}, {4, 1200000}, {5, 1000}, {6, 500}})
                       .fit(&img);
    EXPECT_EQ(std::vector<float>({(float)r.proj, r.dx, r.dy}), std::vector<float>({DOM_LATLON, 0.1f * 3, 0.05f * 2}));
    EXPECT_EQ(SAT_get_tran_sat(), 0);
    SAT_set_tran_sat(1);
    const DOM &m = FakeArea("MERC", 200, 300, 2, 2, {{1, 500}, {2, 100}, {4, 4000}, {5, 900000}, {6, 6371220}})
                       .fit(&img);
    EXPECT_EQ(std::pair(m.proj, m.plon), std::pair((int)DOM_MERC, -90.0f));
    EXPECT_NEAR(m.dx, 2 * 4000 * 63.713 / 6371220, 1e-6);
    EXPECT_NEAR(m.clat, 10.72872, 1e-3);
    EXPECT_NEAR(m.clon, -82.80535, 1e-3);
    EXPECT_EQ(FakeArea("XXXX", 10, 10, 1, 1).fit(&img).proj, DOM_MISSING);
}

// A GOES spin-scan block whose image centre is the sub-satellite point.  Near nadir one element (20/15000 degrees of
// scan) covers the angle times the satellite's height over the ground, 357.858 (100 km); the projection's default
// view from 421.61 over a sphere of 63.7122 scales that ground length by 421.61 / 357.898.  4 elements per pixel.
TEST_F(Fit, GoesSpinScanSpacingIsMeasured)
{
    SAT_set_tran_sat(1);
    FakeArea g("GOES", 500, 800, 2, 4);
    GOES_BLOCK_SPEC s{};
    s.sublon = -75, s.date = 96123, s.time = 143000, s.semi_major = 42164.17, s.spin_period = 0.6, s.spin_dec = 90;
    s.line_deg = s.elem_deg = 20, s.lines_per_scan = 8, s.scans = 1821, s.elements = 15001, s.centre_line = 7284;
    GOES_make_block(s, g.block);
    g.dir[5] = 7284 - 500, g.dir[6] = 7501 - 1600;
    const DOM &d = g.fit(&img);
    EXPECT_EQ(d.proj, DOM_SAT);
    EXPECT_NEAR(d.plat, 0, 1e-3);
    EXPECT_NEAR(d.plon, -75, 0.01);
    EXPECT_NEAR(d.clat, 0, 0.05);
    EXPECT_NEAR(d.clon, -75, 0.05);
    EXPECT_NEAR(d.dx, 4 * 20.0 / 15000 * M_PI / 180 * 357.858 * 421.61 / 357.898, 2e-3);
    EXPECT_GT(d.dy, 0);
}

// The window is "geometry" when that is two sizes above 1, else 640 x 427; the default window's spacing spans the
// domain's 50 x 25 degrees over it.  The plot domain is the window's; pixoff shifts the pixels, held to 0..255.
TEST_F(Fit, WindowSizeAndPixelOffset)
{
    const struct { const char *geometry; int w, h; } cases[] = {
        {"", 640, 427},     {"800x600", 800, 600}, {"0x600", 640, 427}, {"1x1", 640, 427},
        {"-5x300", 640, 427}, {"abc", 640, 427},   {"1024", 640, 427},
    };
    DOM d;
    for (auto &c : cases) {
        RES_put("geometry", c.geometry);
        d = domain("ll,40,-100,101,51,0.5,0.5");
        EXPECT_EQ(std::pair(d.nx, d.ny), std::pair(c.w, c.h)) << c.geometry;
    }
    EXPECT_NEAR(d.dx, 50.0 / 639, 1e-5);
    EXPECT_NEAR(d.dy, 25.0 / 426, 1e-5);
    make_image(4, 1, {0, 0, 0, 0});
    const struct { int off; unsigned char in, out; } shifts[] = {{20, 250, 255}, {20, 10, 30}, {-20, 10, 0},
                                                                 {-20, 200, 180}};
    for (auto &c : shifts) {
        std::memset(img.data, c.in, 4);
        RES_put("plot_param", ("pixoff=" + std::to_string(c.off)).c_str()), SAT_plot_param();
        SAT_image_setup(&img, &d);
        EXPECT_EQ(img.data[3], c.out) << c.off << " " << (int)c.in;
        EXPECT_EQ(std::vector({d.nx, d.ny, d.proj}), std::vector({640, 427, (int)DOM_LATLON}));
    }
}

enum { REMAP, TRAN, PIXAV, PIXOFF, BAR, OVER, REFRESH, ZOOM, MINLON, MAXLON };

std::array<float, 10> decode(const char *text)
{
    SAT_param_reset();
    RES_put("plot_param", text);
    SAT_plot_param();
    return {(float)SAT_get_remap_inc(), (float)SAT_get_tran_sat(), (float)SAT_get_pix_ave(), (float)SAT_get_pix_off(),
            (float)SAT_get_bar(),       (float)SAT_get_over(),     (float)SAT_get_refresh(), SAT_get_zoom(),
            SAT_get_min_lon(),          SAT_get_max_lon()};
}

// "remap:" is longer than 5 but has nothing at the 7th character, where the value starts; "no_pixav" compares 8
// characters; "refresh" is a whole-entry keyword; "remapping" is remap with the value "ping".  Cut-off bands: a base,
// then up to three band starts closed by 256; nothing read changes nothing.  The input type from "input" and
// "in_file".
TEST(FitParam, KeywordsCutoffBandsAndInputTypes)
{
    const struct { const char *text; int field; float want; } cases[] = {
        {"remap", REMAP, 20},  {"remap:5", REMAP, 5},         {"REMAP=7", REMAP, 7},     {"remap:", REMAP, 0},
        {"remap5", REMAP, 0},  {"tran_zyr", TRAN, 0},         {"tran_zyr,tran_sat", TRAN, 1},
        {"no_pixav", PIXAV, 0}, {"zoom:2.5", ZOOM, 2.5f},     {"zoom", ZOOM, 0},         {"pixoff:-20", PIXOFF, -20},
        {"minlon:-100,maxlon:-60.5", MINLON, -100},           {"minlon:-100,maxlon:-60.5", MAXLON, -60.5f},
        {"bar", BAR, 1},       {"irbar", BAR, 2},             {"over", OVER, 1},         {"refresh", REFRESH, 1},
        {"refreshx", REFRESH, 0}, {"nothing,remapping", REMAP, 0}, {"nothing,remapping", TRAN, 1},
    };
    for (const auto &c : cases) EXPECT_EQ(decode(c.text)[c.field], c.want) << c.text << " field " << c.field;
    // band count, base, band starts
    const struct { const char *text; std::vector<int> want; } cuts[] = {
        {"cutoff:255:100", {1, 255, 0, 100, 256, 0, 0}}, {"cutoff:7", {0, 7, 0, 256, 0, 0, 0}},
        {"cutoff:1:2:3:4", {3, 1, 0, 2, 3, 4, 256}},     {"cutoff", {0, 0, 0, 0, 0, 0, 0}},
        {"cutoff:x", {0, 0, 0, 0, 0, 0, 0}},
    };
    for (auto &c : cuts) {
        decode(c.text);
        int base, cut[5], num = SAT_get_cut(&base, cut);
        EXPECT_EQ(std::vector({num, base, cut[0], cut[1], cut[2], cut[3], cut[4]}), c.want) << c.text;
    }
    const struct { const char *input, *in_file; int type; } inputs[] = {
        {"", "", 51},           {"img", "", 50},          {"awipz", "", 54},       {"awip", "", 53},
        {"unisat", "", 55},     {"tiff", "", 59},         {"lrit", "", 60},        {"AREA", "", 51},
        {"awi", "", 51},        {"tiff,bogus", "", 59},   {"", "awip:sat_ir", 53}, {"", "awipz:sat_ir", 54},
        {"", "unisat", 55},     {"img", "ir", 50},        {"img", "area", 51},     {"", "lrit", 60},
        {"lrit", "sat_vis", 60},
    };
    for (auto &c : inputs) {
        RES_put("input", c.input), RES_put("in_file", c.in_file), SAT_in_file();
        EXPECT_EQ(FLAG_get(FLAG_INPUT), c.type) << c.input << " / " << c.in_file;
    }
    // GOES-R: "abi" as input or in_file takes the convention "abi"; an in_file entry beginning with it names one of
    // that family (here in any case); a prefix, a separator and another convention stay as for every format.
    const std::string abi = "%S/*_ABI-L*%e*_G*_s%Y%j%h%10n*.nc", abi_l2 = "%S/*_ABI-L2-%e*_G*_s%Y%j%h%10n*.nc",
                      glm = "%S/*_GLM-L2-GLM%e*_G*_s%Y%j%h%n*.nc";
    const struct { const char *input, *in_file; int type; std::string conv; } convs[] = {
        {"abi", "", 61, abi},  {"", "abi", 61, abi},  {"", "abi_l2_RRQPEF", 61, abi_l2}, {"", "ABI_glm_C", 61, glm},
        {"", "abi:sat_ir", 61, "%S/ir/%Y%m%d_%h%15n.area"}, {"lrit", "", 60, "%S/vis/%Y%m%d_%h%15n.area"},
    };
    for (auto &c : convs) {
        RES_put("input", c.input), RES_put("in_file", c.in_file), SAT_in_file();
        EXPECT_EQ(std::pair(FLAG_get(FLAG_INPUT), std::string(FILE_get_name_conv())), std::pair(c.type, c.conv))
            << c.input << " / " << c.in_file;
    }
}

// One output pixel, remapped onto a 1 x 1 domain at the image's (column, row), by hand.  The 4 x 4 image holds 10 *
// row + column + 1 with a 2 x 2 block of 77 at rows and columns 1..2; the 2 x 2 ones test the bands of
// "cutoff=255:100" (base 255, bands [0,100) and [100,256)).
TEST_F(Remap, SamplingRules)
{
    std::vector<unsigned char> g(16);
    for (int i = 0; i < 16; ++i) g[i] = (unsigned char)(10 * (i / 4) + i % 4 + 1);
    g[5] = g[6] = g[9] = g[10] = 77;
    const struct Case { const char *name; std::vector<unsigned char> px; bool average, banded; float col, row;
                        int want; } cases[] = {
        {"all four equal", g, true, false, 1.3f, 1.7f, 77},
        {"blend, truncated", g, true, false, 0.5f, 0, (1 + 2) / 2},
        {"last row and column: no read beyond", g, true, false, 3, 3, 34},
        {"outside", g, true, false, 3.5f, 0, 0},
        {"nearest: 0.5 rounds to the left", g, false, false, 2.5f, 0, 3},
        {"nearest: above 0.5 to the right", g, false, false, 2.51f, 0, 4},
        {"nearest: 0.5 rounds to the upper row", g, false, false, 0, 2.5f, 21},
        {"one band: blend, base as 0", {255, 50, 60, 70}, true, true, 0.5f, 0.5f, (0 + 50 + 60 + 70) / 4},
        {"blend 0 with a base neighbour", {255, 50, 60, 70}, true, true, 0, 0, 255},
        {"two bands: nearest, 0.5 down", {90, 95, 105, 110}, true, true, 0.5f, 0.5f, 90},
        {"two bands: nearest", {90, 95, 105, 110}, true, true, 0.6f, 0.6f, 110},
        {"base as the band's start", {120, 130, 255, 140}, true, true, 0.5f, 0.5f, (120 + 130 + 100 + 140) / 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SAT_param_reset(), SAT_set_tran_sat(0), RES_put("plot_param", c.banded ? "cutoff=255:100" : "");
        SAT_plot_param(), SAT_set_pix_ave(c.average);
        const int n = c.px.size() == 16 ? 4 : 2;
        make_image(n, n, c.px);
        EXPECT_EQ(remap(grid(DOM_LATLON, (n - 1) / 2.0f - c.row, c.col - (n - 1) / 2.0f, 1, 1, 1)).at(0), c.want);
    }
}

// A uniform image from 110 W to 80 W; a 50-pixel-wide output inside it (segments at 0, 20, 40 and column 49 written
// too), then with min_lon -100: west of -100 is 0.
TEST_F(Remap, LastColumnAndLongitudeCutOff)
{
    make_image(61, 21, std::vector<unsigned char>(61 * 21, 7));
    img.domain.clon = -95;
    img.domain.dx = img.domain.dy = 0.5f;
    for (const char *param : {"", "minlon=-100"}) {
        SCOPED_TRACE(param);
        RES_put("plot_param", param), SAT_plot_param();
        auto px = remap(grid(DOM_LATLON, 0, -95, 50, 3, 0.5f));
        ASSERT_EQ(px.size(), 150u);
        EXPECT_EQ(std::vector<float>({(float)out.nx, (float)out.source, out.domain.plon}),
                  std::vector<float>({50, IMG_SRC_ZYR, -95}));
        for (int i = 0; i < 150; ++i) EXPECT_EQ(px[i], *param && -107.25f + i % 50 * 0.5f < -100 ? 0 : 7) << i;
    }
}

// Zoom sizes: the window holds at most the zoomed image, the upper-left source pixel stays at the upper left, a zoom
// by 2 doubles pixels; bad factors change nothing.
TEST_F(Remap, ZoomSizesAndOrigin)
{
    std::vector<unsigned char> px(400 * 300);
    for (size_t i = 0; i < px.size(); ++i) px[i] = (unsigned char)(i * 7 % 251);
    RES_put("geometry", "800x600");
    for (auto [f, w, h] : {std::tuple{2.0f, 800, 600}, {0.5f, 200, 150}, {3.0f, 800, 600}}) {
        make_image(400, 300, px);
        SAT_zoom_image(&img, -9999, -9999, f);
        EXPECT_EQ(std::pair(img.nx, img.ny), std::pair(w, h));
        EXPECT_FLOAT_EQ(img.domain.dx, 1 / f);
        EXPECT_EQ(img.data[0], px[0]);
        EXPECT_TRUE(f != 2 || (img.data[2] == px[1] && img.data[2 * 800] == px[400]));
    }
    for (float bad : {0.0f, -2.0f, NAN, INFINITY}) {
        make_image(400, 300, px);
        EXPECT_EQ(SAT_zoom_image(&img, -9999, -9999, bad), 0);
        EXPECT_EQ(img.nx, 400);
    }
}

// No spacing in the image: nothing locates, zeros.  The domain-only form leaves the record as the remap does, without
// pixels, and refuses what the remap refuses (no domain, no size), keeping the old pixels.
TEST_F(Remap, BadInputAndDomainOnlyRemap)
{
    make_image(4, 4, std::vector<unsigned char>(16, 9));
    img.domain.dx = 0;
    SAT_set_remap_inc(0);
    EXPECT_EQ(remap(grid(DOM_LATLON, 0, 0, 3, 3, 1)), std::vector<unsigned char>(9, 0));
    img.domain.dx = 1, img.source = IMG_SRC_AWIP;
    DOM lamb = grid(DOM_LAMB, 1, 2, 7, 5, 50), none, empty = lamb;
    DOM_init(&none);
    empty.nx = 0;
    for (const DOM *target : {&lamb, &none, &empty}) {
        IMG bare;
        IMG_copy(&bare, &img);
        DOM b = *target;
        EXPECT_EQ(remap(*target).empty(), target != &lamb);
        EXPECT_EQ(SAT_remap_domain(&bare, &b), target == &lamb ? 1 : 0);
        EXPECT_EQ(std::vector({bare.nx, bare.ny, bare.depth, bare.bytes_line, bare.source}),
                  std::vector({out.nx, out.ny, out.depth, out.bytes_line, out.source}));
        EXPECT_EQ(std::memcmp(&bare.domain, &out.domain, sizeof(DOM)), 0);
        EXPECT_EQ(bare.data == nullptr, target == &lamb);
        IMG_free(&bare);
    }
}

// The GVAR file's domain: the GOES imager's visible pixel spans 16 microradians east-west and 28 north-south
// (published instrument figures), plot units are angles times the orbit radius 421.643, and the file takes 4 elements
// and 8 lines a pixel: dx = 4 * 16e-6 * 421.643, dy = 8 * 28e-6 * 421.643; its comment cards give the centre,
// LATLON=25 80.  Stepped traces follow per-pixel ones.  One and two threads give the same image, a third of it or
// more on the earth; the far side of the earth is all 0.  A zoom by 2 about 25 N 80 W moves the pixel mapping so that
// the new image's centre pixel navigates back there (one zoomed line is 4 full-frame lines, about 4 km here).
TEST_F(Remap, GvarFile)
{
    NEED_SHARED(testutil::GVAR_AREA);
    read(testutil::GVAR_AREA);
    const DOM &g = img.domain;
    EXPECT_EQ(std::vector({g.proj, g.ellipsoid, g.nx, g.ny, SAT_get_tran_sat()}), std::vector({(int)DOM_SAT, 1, 1800,
                                                                                               400, 1}));
    EXPECT_NEAR(g.plat, 0, 0.25);
    EXPECT_NEAR(g.plon, -75, 0.5);
    EXPECT_FLOAT_EQ(g.parm[0], 421.643f);
    EXPECT_FLOAT_EQ(g.parm[1], 1);
    EXPECT_NEAR(g.dx, 0.02698515, 1e-7);
    EXPECT_NEAR(g.dy, 0.09444803, 1e-7);
    EXPECT_NEAR(g.clat, 25, 0.15);
    EXPECT_NEAR(g.clon, -80, 0.15);
    for (const char *text : {"ll,25,-80,31,21,1,1", "ps:60:-80:60,25,-80,31,21,1,1"}) stepped_follows_per_pixel(text);
    RES_put("geometry", "1920x1080");
    const DOM d = domain("ll,25,-80,31,21,1,1");
    setenv("ZYR_THREADS", "1", 1);
    auto one = remap(d);
    setenv("ZYR_THREADS", "2", 1);
    auto two = remap(d);
    ASSERT_EQ(one.size(), 1920u * 1080);
    EXPECT_TRUE(one == two);
    EXPECT_GT(std::count_if(one.begin(), one.end(), [](unsigned char v) { return v != 0; }), 1920 * 1080 / 3);
    auto far = remap(domain("ll,20,105,31,21,1,1"));
    EXPECT_TRUE(!far.empty() && std::count(far.begin(), far.end(), 0) == (long)far.size());
    RES_put("geometry", "640x427");
    ASSERT_EQ(SAT_zoom_image(&img, 25, -80, 2), 0);
    EXPECT_EQ(std::vector<float>({(float)img.nx, (float)img.ny, img.domain.clat}), std::vector<float>({640, 427, 25}));
    float lc, ec, lr, er, l, e, la, lo;
    AREA_get_res(&lc, &ec, &lr, &er);
    EXPECT_EQ(std::pair(lr, er), std::pair(4.0f, 2.0f));
    AREA_line_elem(1, &l, &e, 427 * 0.5f, 640 * 0.5f);
    ASSERT_EQ(AREA_tran(1, &la, &lo, &l, &e), 0);
    EXPECT_NEAR(la, 25, 0.1);
    EXPECT_NEAR(lo, -80, 0.1);
}

// The polar stereographic file's domain: invproj +proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105 +R=6371220 of the
// centre's plot point (689690.2 m, -5731563.5 m) gives 38.20007 N, 98.13848 W.  An output grid centred there (the
// navigation of column 320, row 175) traces its middle pixel to column 319.5, row 174.5: the image domain takes that
// centre for its grid centre, half a pixel away for even sizes.  Stepped traces follow per-pixel ones.
TEST_F(Remap, PolarStereographicFile)
{
    NEED_SHARED(testutil::PS_AREA);
    read(testutil::PS_AREA);
    const DOM &p = img.domain;
    EXPECT_EQ(std::vector({p.proj, p.ellipsoid, p.nx, p.ny, SAT_get_tran_sat()}), std::vector({(int)DOM_PSTEREO, 0,
                                                                                               640, 350, 0}));
    EXPECT_EQ(std::vector({p.plat, p.plon, p.parm[0]}), std::vector({60.0f, -105.0f, 60.0f}));
    EXPECT_NEAR(p.dx, 0.0951, 1e-4);
    EXPECT_NEAR(p.dy, 0.1189, 1e-4);
    EXPECT_NEAR(p.clat, 38.20007, 0.002);
    EXPECT_NEAR(p.clon, -98.13848, 0.002);
    for (const char *text :
         {"ll,38.20007,-98.13848,11,11,0.5,0.5", "lc:25:-95:25:25,38.20007,-98.13848,11,11,0.5,0.5"}) {
        SCOPED_TRACE(text);
        const DOM d = domain(text, false);
        std::vector<float> cols(11), rows(11);
        ASSERT_EQ(SAT_remap_positions(&img, &d, 5, 1, cols.data(), rows.data()), 0);
        EXPECT_NEAR(cols[5], 319.5, 0.05);
        EXPECT_NEAR(rows[5], 174.5, 0.05);
    }
    stepped_follows_per_pixel("lc:25:-95:25:25,38,-98,31,21,1,1");
}

// Exact nearest-neighbour remapping against gdalwarp: a noise image in the satellite view (scan angles, ellipsoid)
// written as a +proj=geos GeoTIFF and warped with -r near -et 0 onto the same lat/lon grid.
TEST(RemapGdal, ExactNearestMatchesGdalwarp)
{
    NEED_TOOL("gdalwarp");
    NEED_TOOL("gdal_translate");
    testutil::ScratchDir dir;
    const int n = 600, W = 240, H = 200;
    const double angle = 0.32 / n, h = 35785831.0;  // radians per pixel, satellite height in m
    IMG img;
    IMG_init(&img);
    img.nx = img.ny = img.bytes_line = n, img.depth = 8, img.source = 50;
    img.data = (unsigned char *)std::malloc((size_t)n * n);
    std::mt19937 rng(3);
    for (int i = 0; i < n * n; ++i) img.data[i] = (unsigned char)(1 + rng() % 255);
    img.domain = grid(DOM_SAT, 0, 0, n, n, (float)(angle * 421.64));
    img.domain.plat = img.domain.plon = 0, img.domain.parm[0] = 421.64f, img.domain.parm[1] = 1;
    img.domain.ellipsoid = 1;
    // Grid points are pixel centres: the edges lie half a spacing outside.
    const double e = n / 2.0 * angle * h, d = 0.25, clat = 15, clon = -20;
    auto num = [](auto v) { return std::to_string(v); };  // int or double
    const std::string tif = dir.file("src.tif"), out = dir.file("out.tif");
    ASSERT_EQ(testutil::run({"gdal_translate", "-q", "-a_srs",
                             "+proj=geos +h=35785831 +a=6378137 +b=6356752.31414 +lon_0=0 +sweep=y", "-a_ullr", num(-e),
                             num(e), num(e), num(-e),
                             dir.write("src.pgm", "P5\n600 600\n255\n" + std::string((char *)img.data, (size_t)n * n)),
                             tif}).status, 0);
    ASSERT_EQ(testutil::run({"gdalwarp", "-q", "-r", "near", "-et", "0", "-t_srs", "EPSG:4326", "-te",
                             num(clon - W / 2.0 * d), num(clat - H / 2.0 * d), num(clon + W / 2.0 * d),
                             num(clat + H / 2.0 * d), "-ts", num(W), num(H), tif, out}).status, 0);
    ASSERT_EQ(testutil::run({"gdal_translate", "-q", "-of", "PNM", out, dir.file("out.pgm")}).status, 0);
    std::string ref = testutil::read_file(dir.file("out.pgm"));  // binary PGM, as gdal_translate -of PNM writes it
    ASSERT_EQ(ref.substr(0, 15), "P5\n240 200\n255\n");
    ASSERT_EQ(ref.erase(0, 15).size(), (size_t)W * H);
    SAT_param_reset(), SAT_set_tran_sat(0), SAT_set_remap_inc(0), SAT_set_pix_ave(0);
    DOM o = grid(DOM_LATLON, (float)clat, (float)clon, W, H, (float)d);
    ASSERT_EQ(SAT_remap_image(&img, &o), 1);
    // The known differences: three output pixels (column, row) where the two programs pick different nearest
    // neighbours, listed so that a new difference fails and a vanished one is noticed.
    const std::vector<std::pair<int, int>> known = {{72, 84}, {81, 155}, {81, 164}};
    std::vector<std::pair<int, int>> differ;
    int total = 0;
    for (int j = 2; j < H - 2; ++j)
        for (int i = 2; i < W - 2; ++i) {
            double lat = (clat + (H - 1) / 2.0 * d - j * d) * M_PI / 180;
            double lon = (clon - (W - 1) / 2.0 * d + i * d) * M_PI / 180;
            if (std::acos(std::cos(lat) * std::cos(lon)) > 70 * M_PI / 180) continue;  // near the limb
            ++total;
            if (img.data[j * W + i] != (unsigned char)ref[(size_t)j * W + i]) differ.emplace_back(i, j);
        }
    EXPECT_EQ(total, 46256);
    EXPECT_EQ(differ, known);
    IMG_free(&img);
}

}  // namespace
