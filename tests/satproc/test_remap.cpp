// Remapping and zoom: sampling rules on small latitude/longitude images, the last column and longitude cut-off, zoom
// sizes, bad input, the real files' stepped trace against their per-pixel trace, threads, and exact nearest-neighbour
// remapping of the satellite view against gdalwarp.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
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

class Remap : public ::testing::Test {
protected:
    void SetUp() override
    {
        SAT_param_reset(), SAT_set_tran_sat(0), AREA_reset(), IMG_init(&img);
        RES_put("geometry", ""), RES_put("grid_domain", ""), RES_put("plot_param", "");
    }
    void TearDown() override { IMG_free(&img), RES_put("plot_param", ""); }
    // A w x h image on a 1-degree latitude/longitude grid centred at (0, 0): column c is longitude c - (w-1)/2, row r
    // latitude (h-1)/2 - r.
    void make_image(int w, int h, const std::vector<unsigned char> &px)
    {
        IMG_free(&img);
        IMG_init(&img);
        img.nx = img.bytes_line = w, img.ny = h, img.depth = 8, img.source = IMG_SRC_ZYR;
        img.data = (unsigned char *)std::malloc(px.size());
        std::memcpy(img.data, px.data(), px.size());
        img.domain = grid(DOM_LATLON, 0, 0, w, h, 1);
    }
    // Remaps a copy onto d; returns its status.
    int remap(IMG *copy, DOM d)
    {
        IMG_copy(copy, &img);
        return SAT_remap_image(copy, &d);
    }
    // The real files (GVAR: satellite view, navigated per pixel; polar stereographic), read as a program run reads them.
    void read(const char *file)
    {
        IMG_free(&img);
        IMG_init(&img);
        FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
        SAT_set_tran_sat(1);  // its start value in a program run
        ASSERT_EQ(SAT_read_file(testutil::shared(file).c_str(), &img), 1);
    }
    static DOM window_domain(const char *text)
    {
        DOM d;
        DOM_init(&d);
        EXPECT_EQ(DOM_decode(text, &d), 1);
        SAT_domain_image(&d);
        return d;
    }
    IMG img;
};

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
        SAT_param_reset();
        SAT_set_tran_sat(0);
        RES_put("plot_param", c.banded ? "cutoff=255:100" : "");
        SAT_plot_param();
        SAT_set_pix_ave(c.average);
        const int n = c.px.size() == 16 ? 4 : 2;
        make_image(n, n, c.px);
        IMG copy;
        remap(&copy, grid(DOM_LATLON, (n - 1) / 2.0f - c.row, c.col - (n - 1) / 2.0f, 1, 1, 1));
        EXPECT_EQ(copy.data[0], c.want);
        IMG_free(&copy);
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
        RES_put("plot_param", param);
        SAT_plot_param();
        IMG copy;
        ASSERT_EQ(remap(&copy, grid(DOM_LATLON, 0, -95, 50, 3, 0.5f)), 1);
        EXPECT_EQ(std::vector<float>({(float)copy.nx, (float)copy.source, copy.domain.plon}),
                  std::vector<float>({50, IMG_SRC_ZYR, -95}));
        for (int i = 0; i < 150; ++i) EXPECT_EQ(copy.data[i], *param && -107.25f + i % 50 * 0.5f < -100 ? 0 : 7) << i;
        IMG_free(&copy);
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
    IMG copy;
    ASSERT_EQ(remap(&copy, grid(DOM_LATLON, 0, 0, 3, 3, 1)), 1);
    EXPECT_EQ(std::vector<unsigned char>(copy.data, copy.data + 9), std::vector<unsigned char>(9, 0));
    IMG_free(&copy);
    make_image(4, 4, std::vector<unsigned char>(16, 9));
    img.source = IMG_SRC_AWIP;
    DOM lamb = grid(DOM_LAMB, 1, 2, 7, 5, 50), none, empty = lamb;
    DOM_init(&none);
    empty.nx = 0;
    for (const DOM *target : {&lamb, &none, &empty}) {
        IMG full, bare;
        int r = remap(&full, *target);
        IMG_copy(&bare, &img);
        DOM b = *target;
        EXPECT_EQ(r, target == &lamb ? 1 : 0);
        EXPECT_EQ(SAT_remap_domain(&bare, &b), r);
        EXPECT_EQ(std::vector({bare.nx, bare.ny, bare.depth, bare.bytes_line, bare.source}),
                  std::vector({full.nx, full.ny, full.depth, full.bytes_line, full.source}));
        EXPECT_EQ(std::memcmp(&bare.domain, &full.domain, sizeof(DOM)), 0);
        EXPECT_EQ(bare.data == nullptr, target == &lamb);
        IMG_free(&full);
        IMG_free(&bare);
    }
}

// The stepped trace at the default remap_inc stays within half a source pixel (the larger of the column and row
// differences, every 7th row) of the per-pixel trace by the same path.
TEST_F(Remap, SteppedTraceFollowsThePerPixelTrace)
{
    NEED_SHARED(testutil::GVAR_AREA);
    NEED_SHARED(testutil::PS_AREA);
    const std::pair<const char *, const char *> cases[] = {{testutil::GVAR_AREA, "ll,25,-80,31,21,1,1"},
                                                           {testutil::GVAR_AREA, "ps:60:-80:60,25,-80,31,21,1,1"},
                                                           {testutil::PS_AREA, "lc:25:-95:25:25,38,-98,31,21,1,1"}};
    for (const auto &[file, domain] : cases)
        for (const char *geometry : {"640x427", "1920x1080"}) {
            SCOPED_TRACE(testing::Message() << file << " " << domain << " " << geometry);
            read(file);
            RES_put("geometry", geometry);
            const DOM d = window_domain(domain);
            std::vector<float> sc(d.nx), sr(d.nx), pc(d.nx), pr(d.nx);
            float worst = -1;
            for (int j = 0; j < d.ny; j += 7) {
                EXPECT_EQ(SAT_remap_positions(&img, &d, j, 0, sc.data(), sr.data()), 0);
                SAT_remap_positions(&img, &d, j, 1, pc.data(), pr.data());
                for (int i = 0; i < d.nx; ++i) {
                    if (std::isnan(pc[i])) continue;
                    EXPECT_FALSE(std::isnan(sc[i])) << i << " " << j;
                    worst = std::max({worst, std::fabs(sc[i] - pc[i]), std::fabs(sr[i] - pr[i])});
                }
            }
            EXPECT_GE(worst, 0);  // something traced
            EXPECT_LT(worst, 0.5);
        }
}

// One and two threads give the same image, a third of it or more on the earth; the far side of the earth is all 0.
TEST_F(Remap, ThreadsGiveTheSameImageAndOffEarthIsZero)
{
    NEED_SHARED(testutil::GVAR_AREA);
    read(testutil::GVAR_AREA);
    ASSERT_EQ(SAT_get_tran_sat(), 1);
    RES_put("geometry", "1920x1080");
    const DOM d = window_domain("ll,25,-80,31,21,1,1");
    IMG one, two;
    setenv("ZYR_THREADS", "1", 1);
    remap(&one, d);
    setenv("ZYR_THREADS", "2", 1);
    remap(&two, d);
    unsetenv("ZYR_THREADS");
    const long n = 1920 * 1080;
    ASSERT_EQ(one.nx * one.ny, n);
    EXPECT_EQ(std::memcmp(one.data, two.data, n), 0);
    EXPECT_GT(n - std::count(one.data, one.data + n, 0), n / 3);
    IMG_free(&one);
    IMG_free(&two);
    remap(&one, window_domain("ll,20,105,31,21,1,1"));
    EXPECT_EQ(std::count(one.data, one.data + one.nx * one.ny, 0), one.nx * one.ny);
    IMG_free(&one);
}

// Zoom by 2 about 25 N 80 W: the new image's centre pixel navigates back there through the moved pixel mapping (one
// zoomed line is 4 full-frame lines, about 4 km here).
TEST_F(Remap, ZoomThroughTheNavigation)
{
    NEED_SHARED(testutil::GVAR_AREA);
    read(testutil::GVAR_AREA);
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

// An output grid centred on the polar stereographic image's centre (38.20007 N, 98.13848 W by invproj, the navigation
// of column 320, row 175) traces its middle pixel to column 319.5, row 174.5: the image domain takes that centre for
// its grid centre, half a pixel away for even sizes.
TEST_F(Remap, PolarStereographicFileOntoLatLonAndLambert)
{
    NEED_SHARED(testutil::PS_AREA);
    read(testutil::PS_AREA);
    ASSERT_EQ(SAT_get_tran_sat(), 0);
    for (const char *text :
         {"ll,38.20007,-98.13848,11,11,0.5,0.5", "lc:25:-95:25:25,38.20007,-98.13848,11,11,0.5,0.5"}) {
        SCOPED_TRACE(text);
        DOM d;
        DOM_init(&d);
        ASSERT_EQ(DOM_decode(text, &d), 1);
        std::vector<float> cols(11), rows(11);
        ASSERT_EQ(SAT_remap_positions(&img, &d, 5, 1, cols.data(), rows.data()), 0);
        EXPECT_NEAR(cols[5], 319.5, 0.05);
        EXPECT_NEAR(rows[5], 174.5, 0.05);
    }
    RES_put("geometry", "640x427");
    DOM d = window_domain("lc:25:-95:25:25,38,-98,31,21,1,1");
    ASSERT_EQ(SAT_remap_image(&img, &d), 1);
    EXPECT_GT(std::count_if(img.data, img.data + img.nx * img.ny, [](unsigned char v) { return v != 0; }), 0);
    EXPECT_EQ(img.domain.proj, DOM_LAMB);
}

// Exact nearest-neighbour remapping against gdalwarp: a noise image in the satellite view (scan angles, ellipsoid)
// written as a +proj=geos GeoTIFF and warped with -r near -et 0 onto the same lat/lon grid.
TEST(RemapGdal, ExactNearestMatchesGdalwarp)
{
    NEED_TOOL("gdalwarp");
    NEED_TOOL("gdal_translate");
    testutil::ScratchDir dir;
    const int n = 600;
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
    std::string pgm = dir.write("src.pgm", "P5\n600 600\n255\n" + std::string((const char *)img.data, (size_t)n * n)),
                tif = dir.file("src.tif"), out = dir.file("out.tif");
    // Grid points are pixel centres: the edges lie half a spacing outside.
    const double e = n / 2.0 * angle * h;
    char cmd[2048];
    std::snprintf(cmd, sizeof cmd,
                  "gdal_translate -q -a_srs '+proj=geos +h=35785831 +a=6378137 +b=6356752.31414 +lon_0=0 +sweep=y' "
                  "-a_ullr %.4f %.4f %.4f %.4f %s %s",
                  -e, e, e, -e, pgm.c_str(), tif.c_str());
    ASSERT_EQ(testutil::shell(cmd).status, 0);
    const int W = 240, H = 200;
    const double d = 0.25, clat = 15, clon = -20;
    std::snprintf(cmd, sizeof cmd,
                  "gdalwarp -q -r near -et 0 -t_srs EPSG:4326 -te %.4f %.4f %.4f %.4f -ts %d %d %s %s && "
                  "gdal_translate -q -of PNM %s %s",
                  clon - W / 2.0 * d, clat - H / 2.0 * d, clon + W / 2.0 * d, clat + H / 2.0 * d, W, H, tif.c_str(),
                  out.c_str(), out.c_str(), dir.file("out.pgm").c_str());
    ASSERT_EQ(testutil::shell(cmd).status, 0);
    std::string ref = testutil::read_file(dir.file("out.pgm"));  // binary PGM, as gdal_translate -of PNM writes it
    ASSERT_EQ(ref.substr(0, 15), "P5\n240 200\n255\n");
    ASSERT_EQ(ref.erase(0, 15).size(), (size_t)W * H);

    SAT_param_reset();
    SAT_set_tran_sat(0);
    SAT_set_remap_inc(0);
    SAT_set_pix_ave(0);
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
