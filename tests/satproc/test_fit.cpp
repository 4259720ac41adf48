// Image domain fitting (the real GVAR and polar stereographic AREA files, synthetic blocks of the map types, the
// grid_domain override, the window size, the plot domain's pixel offset) and the plot parameters and input keywords.
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "image/nav.h"
#include "satproc/fit.h"
#include "satproc/sat_param.h"
#include "tests/image/area_blocks.h"
#include "tests/test_support.h"

namespace {

class Fit : public ::testing::Test {
protected:
    void SetUp() override
    {
        SAT_param_reset(), AREA_reset(), IMG_init(&img);
        RES_put("grid_domain", ""), RES_put("geometry", "");
    }
    void TearDown() override { IMG_free(&img); }
    IMG img;
};

// A synthetic AREA record: directory and one block (type, then the given words), fitted into an image.
struct FakeArea {
    int32_t dir[64] = {}, block[640] = {};
    AREA_REC rec{};
    FakeArea(const char *type, int lines, int elems, int lres, int eres, std::vector<std::pair<int, int>> words = {})
    {
        dir[1] = 4, dir[5] = dir[6] = 1, dir[8] = lines, dir[9] = elems, dir[11] = lres, dir[12] = eres;
        std::memcpy(block, type, 4);
        for (auto [k, v] : words) block[k] = v;
        rec.dir = dir;
        std::memcpy(rec.nav_type, type, 4);
        int32_t **slot = !std::strncmp(type, "PS", 2) || !std::strncmp(type, "MSAT", 4) ? &rec.ps
                       : !std::strncmp(type, "TANC", 4)                                 ? &rec.tanc
                       : !std::strncmp(type, "GVAR", 4)                                 ? &rec.gvar
                       : !std::strncmp(type, "GOES", 4)                                 ? &rec.goes
                                                                                        : &rec.proj;
        *slot = block;
    }
    const DOM &fit(IMG *img)
    {
        img->nx = dir[9], img->ny = dir[8], img->res_x = (float)dir[12], img->res_y = (float)dir[11];
        img->source = IMG_SRC_AREA;
        AREA_init(&rec);
        AREA_calc_domain(img, &rec);
        return img->domain;
    }
};

// The real files.  GVAR: the GOES imager's visible pixel spans 16 microradians east-west and 28 north-south
// (published instrument figures), plot units are angles times the orbit radius 421.643, and the file takes 4 elements
// and 8 lines a pixel: dx = 4 * 16e-6 * 421.643, dy = 8 * 28e-6 * 421.643; its comment cards give the centre,
// LATLON=25 80.  Polar stereographic: invproj +proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105 +R=6371220 of the centre's
// plot point (689690.2 m, -5731563.5 m) gives 38.20007 N, 98.13848 W.
TEST_F(Fit, RealFiles)
{
    const struct Case {
        const char *file;
        int proj, ellipsoid, nx, ny, tran_sat;
        float plat, plon, parm0, parm1, plon_tol;
        double dx, dy, dtol, clat, clon, ctol;
    } cases[] = {
        {testutil::GVAR_AREA, DOM_SAT, 1, 1800, 400, 1, 0, -75, 421.643f, 1, 0.5f, 0.02698515, 0.09444803, 1e-7, 25,
         -80, 0.15},
        {testutil::PS_AREA, DOM_PSTEREO, 0, 640, 350, 0, 60, -105, 60, NAN, 0, 0.0951, 0.1189, 1e-4, 38.20007,
         -98.13848, 0.002},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        NEED_SHARED(c.file);
        SAT_set_tran_sat(1);  // its start value in a program run
        IMG_free(&img);
        IMG_init(&img);
        FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
        ASSERT_EQ(SAT_read_file(testutil::shared(c.file).c_str(), &img), 1);
        const DOM &d = img.domain;
        EXPECT_EQ(std::vector({d.proj, d.ellipsoid, d.nx, d.ny}), std::vector({c.proj, c.ellipsoid, c.nx, c.ny}));
        EXPECT_NEAR(d.plat, c.plat, c.plon_tol / 2);
        EXPECT_NEAR(d.plon, c.plon, c.plon_tol);
        EXPECT_FLOAT_EQ(d.parm[0], c.parm0);
        EXPECT_TRUE(std::isnan(c.parm1) || d.parm[1] == c.parm1) << d.parm[1];
        EXPECT_NEAR(d.dx, c.dx, c.dtol);
        EXPECT_NEAR(d.dy, c.dy, c.dtol);
        EXPECT_NEAR(d.clat, c.clat, c.ctol);
        EXPECT_NEAR(d.clon, c.clon, c.ctol);
        EXPECT_EQ(SAT_get_tran_sat(), c.tran_sat);
    }
}

// Map types from their blocks.  grid_domain overrides the navigation.  RECT with exponent words 0: divisor 10^4.
// Mercator: spacing 4000 / earth 6371220 (units 63.713 per radius); the centre (line 200, element 300) lies 300 lines
// above the equator line 500 and 200 elements east of element 100: invproj +proj=merc +lon_0=-90 +R=6371220 of
// (800010.0 m, 1200015.1 m) gives 10.72872 N, 82.80535 W.  An unknown type has no projection.
TEST_F(Fit, MapTypesFromBlocks)
{
    RES_put("grid_domain", "ll,40,-100,80,60,0.5,0.5");
    const DOM &g = FakeArea("PS  ", 60, 80, 1, 1, {{3, 600000}}).fit(&img);
    EXPECT_EQ(std::vector<float>({(float)g.proj, g.clat, g.clon, (float)g.nx, (float)g.ny, g.dx, g.dy}),
              std::vector<float>({DOM_LATLON, 40, -100, 80, 60, 0.5f, 0.5f}));
    EXPECT_EQ(SAT_get_tran_sat(), 0);
    RES_put("grid_domain", "");

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

// A synthetic imager block with the default scan limits: nadir lies at full-frame line 0.220896 / 28e-6 + 4.5 =
// 7893.6 and element 0.24544 / 16e-6 + 1 = 15341 (by hand).  The image's centre pixel (row 400, column 500 at 4 a
// pixel) is put there, so the fitted centre is the sub-satellite point; the spacing is 4 * 16e-6 * 421.643 as for the
// real file.
TEST_F(Fit, GvarBlockCentreIsTheSubSatellitePoint)
{
    FakeArea g("GVAR", 800, 1000, 4, 4);
    GVAR_BLOCK_SPEC s{};
    s.sublon = -135, s.instrument = 1, s.year = 2002, s.day = 10;
    GVAR_make_block(s, g.block);
    g.dir[5] = 7894 + 1 - 400 * 4, g.dir[6] = 15341 + 1 - 500 * 4;
    const DOM &d = g.fit(&img);
    EXPECT_EQ(d.proj, DOM_SAT);
    EXPECT_NEAR(d.dx, 0.02698515, 1e-7);
    EXPECT_NEAR(d.plon, -135, 1e-4);
    EXPECT_NEAR(d.clat, 0, 0.01);
    EXPECT_NEAR(d.clon, -135, 0.01);
}

// Near nadir one element (20/15000 degrees of scan) covers the angle times the satellite's height over the ground,
// 357.858 (100 km); the projection's default view from 421.61 over a sphere of 63.7122 scales that ground length by
// 421.61 / 357.898.  4 elements per pixel.  The image centre is the sub-satellite point.
TEST_F(Fit, GoesSpinScanSpacingIsMeasured)
{
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
    EXPECT_EQ(SAT_get_tran_sat(), 1);
}

// The window is "geometry" when that is two sizes above 1, else 640 x 427; the default window's spacing spans the
// domain's 50 x 25 degrees over it.  The plot domain is the window's; pixoff shifts the pixels, held to 0..255.
TEST_F(Fit, WindowSizeAndPixelOffset)
{
    const struct { const char *geometry; int w, h; } cases[] = {
        {"", 640, 427}, {"800x600", 800, 600}, {"0x600", 640, 427}, {"1x1", 640, 427},
        {"-5x300", 640, 427}, {"abc", 640, 427}, {"1024", 640, 427},
    };
    DOM d;
    for (auto &c : cases) {
        RES_put("geometry", c.geometry);
        DOM_init(&d);
        ASSERT_EQ(DOM_decode("ll,40,-100,101,51,0.5,0.5", &d), 1);
        SAT_domain_image(&d);
        EXPECT_EQ(std::pair(d.nx, d.ny), std::pair(c.w, c.h)) << c.geometry;
    }
    EXPECT_NEAR(d.dx, 50.0 / 639, 1e-5);
    EXPECT_NEAR(d.dy, 25.0 / 426, 1e-5);
    DOM_init(&d);
    SAT_domain_image(&d);
    EXPECT_EQ(d.nx, DOM_MISSING);

    unsigned char px[4];
    img.nx = img.bytes_line = 4, img.ny = 1, img.source = IMG_SRC_ZYR, img.data = px;
    DOM_decode("ll,40,-100,4,1,0.5,0.5", &img.domain);
    const struct { int off; unsigned char in, out; } shifts[] = {{20, 250, 255}, {20, 10, 30}, {-20, 10, 0},
                                                                 {-20, 200, 180}};
    for (auto &c : shifts) {
        std::memset(px, c.in, 4);
        RES_put("plot_param", ("pixoff=" + std::to_string(c.off)).c_str());
        SAT_plot_param();
        SAT_image_setup(&img, &d);
        EXPECT_EQ(px[3], c.out) << c.off << " " << (int)c.in;
        EXPECT_EQ(std::vector({d.nx, d.ny, d.proj}), std::vector({640, 427, (int)DOM_LATLON}));
    }
    img.data = nullptr;
    RES_put("plot_param", "");
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
// then up to three band starts closed by 256; nothing read changes nothing.
TEST(FitParam, KeywordsArgumentsAndCutoffBands)
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
    const struct { const char *text; int base, numcut, cut[5]; } cuts[] = {
        {"cutoff:255:100", 255, 1, {0, 100, 256, 0, 0}}, {"cutoff:7", 7, 0, {0, 256, 0, 0, 0}},
        {"cutoff:1:2:3:4", 1, 3, {0, 2, 3, 4, 256}},     {"cutoff", 0, 0, {0, 0, 0, 0, 0}},
        {"cutoff:x", 0, 0, {0, 0, 0, 0, 0}},
    };
    for (auto &c : cuts) {
        decode(c.text);
        int base, cut[5];
        EXPECT_EQ(SAT_get_cut(&base, cut), c.numcut) << c.text;
        EXPECT_EQ(base, c.base) << c.text;
        EXPECT_EQ(std::vector(cut, cut + 5), std::vector(c.cut, c.cut + 5)) << c.text;
    }
}

TEST(FitParam, InputTypeFromInputAndInFile)
{
    const struct { const char *input, *in_file; int type; } cases[] = {
        {"", "", 51},           {"img", "", 50},          {"awipz", "", 54},       {"awip", "", 53},
        {"unisat", "", 55},     {"tiff", "", 59},         {"lrit", "", 60},        {"AREA", "", 51},
        {"awi", "", 51},        {"tiff,bogus", "", 59},   {"", "awip:sat_ir", 53}, {"", "awipz:sat_ir", 54},
        {"", "unisat", 55},     {"img", "ir", 50},        {"img", "area", 51},     {"", "lrit", 60},
        {"lrit", "sat_vis", 60},
    };
    for (auto &c : cases) {
        RES_put("input", c.input);
        RES_put("in_file", c.in_file);
        SAT_in_file();
        EXPECT_EQ(FLAG_get(FLAG_INPUT), c.type) << c.input << " / " << c.in_file;
    }
}

}  // namespace
