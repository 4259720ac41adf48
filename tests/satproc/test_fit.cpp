// Image domain fitting: the real GVAR and polar stereographic AREA files,
// synthetic blocks of the map types, the grid_domain override, the window
// size and the plot domain's pixel offset.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "image/nav.h"
#include "map/map.h"
#include "satproc/fit.h"
#include "satproc/sat_param.h"
#include "tests/image/area_blocks.h"

namespace {

class Fit : public ::testing::Test {
protected:
    void SetUp() override
    {
        SAT_param_reset();
        AREA_reset();
        RES_put("grid_domain", "");
        RES_put("geometry", "");
        IMG_init(&img);
    }
    void TearDown() override { IMG_free(&img); }

    bool read_shared(const char *rel)
    {
        std::string path = testutil::shared_data(rel);
        if (FILE *f = std::fopen(path.c_str(), "rb")) std::fclose(f);
        else return false;
        FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
        return SAT_read_file(path.c_str(), &img) == 1;
    }
    IMG img;
};

// A synthetic AREA record: directory and one block, owned by the test.
struct FakeArea {
    int32_t dir[64] = {};
    int32_t block[640] = {};
    AREA_REC rec{};
    FakeArea(const char *type, int lines, int elems, int lres, int eres)
    {
        dir[1] = 4;
        dir[5] = dir[6] = 1;
        dir[8] = lines;
        dir[9] = elems;
        dir[11] = lres;
        dir[12] = eres;
        std::memcpy(block, type, 4);
        rec.dir = dir;
        std::memcpy(rec.nav_type, type, 4);
        if (!std::strncmp(type, "PS", 2) || !std::strncmp(type, "MSAT", 4)) rec.ps = block;
        else if (!std::strncmp(type, "TANC", 4)) rec.tanc = block;
        else if (!std::strncmp(type, "GVAR", 4)) rec.gvar = block;
        else if (!std::strncmp(type, "GOES", 4)) rec.goes = block;
        else rec.proj = block;
    }
    void fit(IMG *img)
    {
        img->nx = dir[9];
        img->ny = dir[8];
        img->res_x = (float)dir[12];
        img->res_y = (float)dir[11];
        img->source = IMG_SRC_AREA;
        AREA_init(&rec);
        AREA_calc_domain(img, &rec);
    }
};

TEST_F(Fit, GvarFileGetsTheSatelliteView)
{
    if (!read_shared(testutil::GVAR_AREA)) GTEST_SKIP() << "no shared data";
    const DOM &d = img.domain;
    EXPECT_EQ(d.proj, DOM_SAT);
    EXPECT_EQ(d.ellipsoid, 1);
    EXPECT_FLOAT_EQ(d.parm[0], 421.643f);
    EXPECT_FLOAT_EQ(d.parm[1], 1.0f);
    EXPECT_EQ(d.nx, 1800);
    EXPECT_EQ(d.ny, 400);
    EXPECT_NEAR(d.plat, 0, 0.2);
    EXPECT_NEAR(d.plon, -75, 0.5);
    EXPECT_FLOAT_EQ(d.dx, (float)(4 * scan_delta() * 421.643));
    EXPECT_FLOAT_EQ(d.dy, (float)(8 * elev_delta() * 421.643));
    // The comment cards: LATLON=25 80.
    EXPECT_NEAR(d.clat, 25, 0.15);
    EXPECT_NEAR(d.clon, -80, 0.15);
    EXPECT_EQ(SAT_get_tran_sat(), 1);
}

TEST_F(Fit, PolarStereographicFile)
{
    if (!read_shared(testutil::PS_AREA)) GTEST_SKIP() << "no shared data";
    const DOM &d = img.domain;
    EXPECT_EQ(d.proj, DOM_PSTEREO);
    EXPECT_FLOAT_EQ(d.plat, 60);
    EXPECT_FLOAT_EQ(d.plon, -105);
    EXPECT_FLOAT_EQ(d.parm[0], 60);
    EXPECT_NEAR(d.dx, 0.0951, 1e-4);
    EXPECT_NEAR(d.dy, 0.1189, 1e-4);
    // invproj +proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105 +R=6371220 of the
    // centre's plot point (689690.2 m, -5731563.5 m): 38.20007 N, 98.13848 W.
    EXPECT_NEAR(d.clat, 38.20007, 0.002);
    EXPECT_NEAR(d.clon, -98.13848, 0.002);
    EXPECT_EQ(d.nx, 640);
    EXPECT_EQ(d.ny, 350);
    EXPECT_EQ(SAT_get_tran_sat(), 0);
}

TEST_F(Fit, GridDomainOverridesTheNavigation)
{
    const char *text = "ll,40,-100,80,60,0.5,0.5";
    RES_put("grid_domain", text);
    FakeArea a("PS  ", 60, 80, 1, 1);
    a.block[3] = 600000;
    a.fit(&img);
    DOM want;
    DOM_init(&want);
    DOM_decode(text, &want);
    EXPECT_EQ(std::memcmp(&img.domain, &want, sizeof want), 0);
    EXPECT_EQ(SAT_get_tran_sat(), 0);
}

TEST_F(Fit, MapTypesFromBlocks)
{
    // RECT with exponent words 0: divisor 10^4.
    FakeArea r("RECT", 100, 200, 2, 3);
    r.block[1] = 1;
    r.block[2] = 500000;
    r.block[3] = 1;
    r.block[4] = 1200000;
    r.block[5] = 1000;
    r.block[6] = 500;
    r.fit(&img);
    EXPECT_EQ(img.domain.proj, DOM_LATLON);
    EXPECT_FLOAT_EQ(img.domain.dx, 0.1f * 3);
    EXPECT_FLOAT_EQ(img.domain.dy, 0.05f * 2);
    EXPECT_EQ(SAT_get_tran_sat(), 0);

    // Mercator: spacing 4000 / earth 6371220 (units 63.713 per radius).  The
    // centre (line 200, element 300) lies 300 lines above the equator line
    // 500 and 200 elements east of element 100:
    // invproj +proj=merc +lon_0=-90 +R=6371220 of (800010.0 m, 1200015.1 m)
    // gives 10.72872 N, 82.80535 W (plot units of 100 km on the map's sphere).
    SAT_set_tran_sat(1);
    FakeArea m("MERC", 200, 300, 2, 2);
    m.block[1] = 500;
    m.block[2] = 100;
    m.block[4] = 4000;
    m.block[5] = 900000;
    m.block[6] = 6371220;
    m.fit(&img);
    const double s = 4000 * 63.713 / 6371220;
    EXPECT_EQ(img.domain.proj, DOM_MERC);
    EXPECT_FLOAT_EQ(img.domain.plon, -90);
    EXPECT_NEAR(img.domain.dx, 2 * s, 1e-6);
    float x, y;
    MAP_domain(&img.domain);
    MAP_tran(&x, &y, img.domain.clat, img.domain.clon);
    EXPECT_NEAR(x, 200 * s, 1e-3);
    EXPECT_NEAR(y, 300 * s, 1e-3);
    EXPECT_NEAR(img.domain.clat, 10.72872, 1e-3);
    EXPECT_NEAR(img.domain.clon, -82.80535, 1e-3);

    // Unknown type: no projection.
    FakeArea u("XXXX", 10, 10, 1, 1);
    u.fit(&img);
    EXPECT_EQ(img.domain.proj, DOM_MISSING);
}

TEST_F(Fit, GvarResolutionScalesTheSpacing)
{
    FakeArea g("GVAR", 800, 1000, 4, 4);
    GVAR_BLOCK_SPEC s{};
    s.sublon = -135;
    s.instrument = 1;
    s.year = 2002;
    s.day = 10;
    GVAR_make_block(s, g.block);
    g.dir[5] = 3000;
    g.dir[6] = 12000;
    g.fit(&img);
    EXPECT_EQ(img.domain.proj, DOM_SAT);
    EXPECT_FLOAT_EQ(img.domain.dx, (float)(4 * scan_delta() * 421.643));
    EXPECT_NEAR(img.domain.plon, -135, 1e-4);
    // The centre is the navigated centre pixel.
    float l, e, la, lo;
    AREA_line_elem(1, &l, &e, 400, 500);
    AREA_tran(1, &la, &lo, &l, &e);
    EXPECT_FLOAT_EQ(img.domain.clat, la);
    EXPECT_FLOAT_EQ(img.domain.clon, lo);
}

TEST_F(Fit, GoesSpinScanSpacingIsMeasured)
{
    FakeArea g("GOES", 500, 800, 2, 4);
    GOES_BLOCK_SPEC s{};
    s.sublon = -75;
    s.date = 96123;
    s.time = 143000;
    s.semi_major = 42164.17;
    s.spin_period = 0.6;
    s.line_deg = s.elem_deg = 20;
    s.lines_per_scan = 8;
    s.scans = 1821;
    s.elements = 15001;
    s.centre_line = 7284;
    s.spin_dec = 90;
    GOES_make_block(s, g.block);
    g.dir[5] = 7284 - 500;  // the image centre is the sub-satellite point
    g.dir[6] = 7501 - 1600;
    g.fit(&img);
    const DOM &d = img.domain;
    EXPECT_EQ(d.proj, DOM_SAT);
    EXPECT_NEAR(d.plat, 0, 1e-3);
    EXPECT_NEAR(d.plon, -75, 0.01);
    EXPECT_NEAR(d.clat, 0, 0.05);
    EXPECT_NEAR(d.clon, -75, 0.05);
    // Near nadir one element (20/15000 degrees of scan) covers the angle
    // times the satellite's height over the ground, 357.858 (100 km); the
    // projection's default view from 421.61 over a sphere of 63.7122 scales
    // that ground length by 421.61 / 357.898.  4 elements per pixel.
    EXPECT_NEAR(d.dx, 4 * 20.0 / 15000 * M_PI / 180 * 357.858 * 421.61 / 357.898, 2e-3);
    EXPECT_GT(d.dy, 0);
    EXPECT_EQ(SAT_get_tran_sat(), 1);
}

TEST_F(Fit, WindowSizeFromGeometry)
{
    struct { const char *geometry; int w, h; } cases[] = {
        {"", 640, 427}, {"800x600", 800, 600}, {"0x600", 640, 427}, {"1x1", 640, 427},
        {"-5x300", 640, 427}, {"abc", 640, 427}, {"1024", 640, 427},
    };
    for (auto &c : cases) {
        RES_put("geometry", c.geometry);
        DOM d;
        DOM_init(&d);
        ASSERT_EQ(DOM_decode("ll,40,-100,101,51,0.5,0.5", &d), 1);
        SAT_domain_image(&d);
        EXPECT_EQ(d.nx, c.w) << c.geometry;
        EXPECT_EQ(d.ny, c.h) << c.geometry;
    }
    // The spacing spans the domain's limits over the window.
    RES_put("geometry", "");
    DOM d;
    DOM_init(&d);
    DOM_decode("ll,40,-100,101,51,0.5,0.5", &d);
    SAT_domain_image(&d);
    EXPECT_NEAR(d.dx, 50.0 / 639, 1e-5);
    EXPECT_NEAR(d.dy, 25.0 / 426, 1e-5);
    DOM none;
    DOM_init(&none);
    SAT_domain_image(&none);
    EXPECT_EQ(none.nx, DOM_MISSING);
}

TEST_F(Fit, PlotDomainAndPixelOffset)
{
    img.nx = img.bytes_line = 4;
    img.ny = 1;
    img.source = IMG_SRC_ZYR;
    DOM_decode("ll,40,-100,4,1,0.5,0.5", &img.domain);
    struct { int off; unsigned char in, out; } cases[] = {{20, 250, 255}, {20, 10, 30}, {-20, 10, 0}, {-20, 200, 180}};
    for (auto &c : cases) {
        img.data = (unsigned char *)std::malloc(4);
        std::memset(img.data, c.in, 4);
        RES_put("plot_param", ("pixoff=" + std::to_string(c.off)).c_str());
        SAT_plot_param();
        RES_put("plot_param", "");
        DOM plot;
        SAT_image_setup(&img, &plot);
        EXPECT_EQ(img.data[3], c.out) << c.off << " " << (int)c.in;
        EXPECT_EQ(plot.nx, 640);
        EXPECT_EQ(plot.ny, 427);
        EXPECT_EQ(plot.proj, DOM_LATLON);
        std::free(img.data);
        img.data = nullptr;
    }
}

}  // namespace
