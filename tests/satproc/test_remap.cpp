// Remapping and zoom: sampling rules on small latitude/longitude images, the
// stepped trace's last column and longitude cut-off, zoom sizes, the GVAR
// file's stepped trace against its per-pixel trace, threads, bad input.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

namespace {

class Remap : public ::testing::Test {
protected:
    void SetUp() override
    {
        SAT_param_reset();
        SAT_set_tran_sat(0);
        AREA_reset();
        RES_put("geometry", "");
        RES_put("grid_domain", "");
        IMG_init(&img);
    }
    void TearDown() override { IMG_free(&img); }

    // A w x h image on a 1-degree latitude/longitude grid centred at (0, 0):
    // column c is longitude c - (w-1)/2, row r latitude (h-1)/2 - r.
    void make_image(int w, int h, const std::vector<unsigned char> &px)
    {
        IMG_free(&img);
        IMG_init(&img);
        img.nx = img.bytes_line = w;
        img.ny = h;
        img.depth = 8;
        img.source = IMG_SRC_ZYR;
        img.data = (unsigned char *)std::malloc(px.size());
        std::memcpy(img.data, px.data(), px.size());
        DOM_init(&img.domain);
        img.domain.proj = DOM_LATLON;
        img.domain.clat = img.domain.clon = 0;
        img.domain.dx = img.domain.dy = 1;
        img.domain.nx = w;
        img.domain.ny = h;
    }
    // Remaps onto a 1 x 1 domain at the image's (col, row) and returns the pixel.
    int sample_at(float col, float row)
    {
        IMG copy;
        IMG_copy(&copy, &img);
        DOM d;
        DOM_init(&d);
        d.proj = DOM_LATLON;
        d.clon = col - (img.nx - 1) / 2.0f;
        d.clat = (img.ny - 1) / 2.0f - row;
        d.nx = d.ny = 1;
        d.dx = d.dy = 1;
        SAT_remap_image(&copy, &d);
        int v = copy.data[0];
        IMG_free(&copy);
        return v;
    }
    IMG img;
};

TEST_F(Remap, SamplingRules)
{
    // Value 10*row + col + 1, except a 2x2 block of 77 at rows/cols 1..2.
    std::vector<unsigned char> px(16);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) px[r * 4 + c] = (unsigned char)(10 * r + c + 1);
    px[5] = px[6] = px[9] = px[10] = 77;
    make_image(4, 4, px);
    EXPECT_EQ(sample_at(1.3f, 1.7f), 77);             // all four equal
    EXPECT_EQ(sample_at(0.5f, 0.0f), (1 + 2) / 2);    // blend, truncated
    EXPECT_EQ(sample_at(3.0f, 3.0f), 34);             // last row and column: no read beyond
    EXPECT_EQ(sample_at(3.5f, 0.0f), 0);              // outside
    SAT_set_pix_ave(0);
    EXPECT_EQ(sample_at(2.5f, 0.0f), 3);              // 0.5 rounds to the left neighbour
    EXPECT_EQ(sample_at(2.51f, 0.0f), 4);             // above 0.5 to the right one
    EXPECT_EQ(sample_at(0.0f, 2.5f), 21);             // and to the upper row
}

TEST_F(Remap, BandedSampling)
{
    // Base 255, one limit 100: bands [0,100) and [100,256).
    RES_put("plot_param", "cutoff=255:100");
    SAT_plot_param();
    RES_put("plot_param", "");
    struct { unsigned char p[4]; float fc, fr; int want; } cases[] = {
        {{255, 50, 60, 70}, 0.5f, 0.5f, (0 + 50 + 60 + 70) / 4},
        {{255, 50, 60, 70}, 0.0f, 0.0f, 255},   // blend 0 = cutoff[0] with a base neighbour
        {{90, 95, 105, 110}, 0.5f, 0.5f, 90},   // two bands: nearest, 0.5 rounds down
        {{90, 95, 105, 110}, 0.6f, 0.6f, 110},
        {{120, 130, 255, 140}, 0.5f, 0.5f, (120 + 130 + 100 + 140) / 4},
    };
    for (auto &c : cases) {
        make_image(2, 2, {c.p[0], c.p[1], c.p[2], c.p[3]});
        EXPECT_EQ(sample_at(c.fc, c.fr), c.want) << (int)c.p[0] << " " << c.fc;
    }
}

TEST_F(Remap, LastColumnAndLongitudeCutOff)
{
    // A uniform image from 110 W to 80 W; a 50-pixel-wide output inside it:
    // segments at 0, 20, 40 and column 49 written too.
    make_image(61, 21, std::vector<unsigned char>(61 * 21, 7));
    img.domain.clon = -95;
    img.domain.dx = img.domain.dy = 0.5f;
    DOM d;
    DOM_init(&d);
    d.proj = DOM_LATLON;
    d.clat = 0;
    d.clon = -95;
    d.nx = 50;
    d.ny = 3;
    d.dx = d.dy = 0.5f;
    IMG copy;
    IMG_copy(&copy, &img);
    ASSERT_EQ(SAT_remap_image(&copy, &d), 1);
    ASSERT_EQ(copy.nx, 50);
    for (int i = 0; i < 150; ++i) EXPECT_EQ(copy.data[i], 7) << i;
    EXPECT_EQ(copy.source, IMG_SRC_ZYR);
    EXPECT_FLOAT_EQ(copy.domain.plon, -95);
    IMG_free(&copy);

    // min_lon -100 with the output centred at -95: west of -100 is 0.
    RES_put("plot_param", "minlon=-100");
    SAT_plot_param();
    RES_put("plot_param", "");
    IMG_copy(&copy, &img);
    SAT_remap_image(&copy, &d);
    for (int i = 0; i < 50; ++i) {
        float lon = -95 - 24.5f * 0.5f + i * 0.5f;
        EXPECT_EQ(copy.data[i], lon < -100 ? 0 : 7) << lon;
    }
    IMG_free(&copy);
}

TEST_F(Remap, ZoomSizesAndOrigin)
{
    std::vector<unsigned char> px(400 * 300);
    for (size_t i = 0; i < px.size(); ++i) px[i] = (unsigned char)(i * 7 % 251);
    RES_put("geometry", "800x600");
    struct { float f; int w, h; } cases[] = {{2, 800, 600}, {0.5f, 200, 150}, {3, 800, 600}};
    for (auto &c : cases) {
        make_image(400, 300, px);
        float dx = img.domain.dx;
        SAT_zoom_image(&img, -9999, -9999, c.f);
        EXPECT_EQ(img.nx, c.w);
        EXPECT_EQ(img.ny, c.h);
        EXPECT_FLOAT_EQ(img.domain.dx, dx / c.f);
        // The upper-left source pixel lands at the upper left.
        EXPECT_EQ(img.data[0], px[0]);
    }
    make_image(400, 300, px);
    SAT_zoom_image(&img, -9999, -9999, 2);
    EXPECT_EQ(img.data[2], px[1]);
    EXPECT_EQ(img.data[2 * 800], px[400]);
    for (float bad : {0.0f, -2.0f, NAN, INFINITY}) {
        make_image(400, 300, px);
        EXPECT_EQ(SAT_zoom_image(&img, -9999, -9999, bad), 0);
        EXPECT_EQ(img.nx, 400);
    }
}

TEST_F(Remap, BadInputGivesZeros)
{
    make_image(4, 4, std::vector<unsigned char>(16, 9));
    img.domain.dx = 0;  // no spacing: nothing locates
    SAT_set_remap_inc(0);
    DOM d;
    DOM_init(&d);
    d.proj = DOM_LATLON;
    d.clat = d.clon = 0;
    d.nx = d.ny = 3;
    d.dx = d.dy = 1;
    IMG copy;
    IMG_copy(&copy, &img);
    ASSERT_EQ(SAT_remap_image(&copy, &d), 1);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(copy.data[i], 0);
    IMG_free(&copy);
    DOM none;
    DOM_init(&none);
    EXPECT_EQ(SAT_remap_image(&img, &none), 0);
    d.nx = 0;
    EXPECT_EQ(SAT_remap_image(&img, &d), 0);
}

// The domain-only form leaves the record as the remap does, without
// pixels, and refuses what the remap refuses.
TEST_F(Remap, DomainOnlyRemapGivesTheRemapsRecord)
{
    make_image(4, 4, std::vector<unsigned char>(16, 9));
    img.source = IMG_SRC_AWIP;
    DOM d;
    DOM_init(&d);
    d.proj = DOM_LAMB;
    d.clat = 1, d.clon = 2;
    d.nx = 7, d.ny = 5;
    d.dx = d.dy = 50;
    DOM none;
    DOM_init(&none);
    DOM empty = d;
    empty.nx = 0;
    for (const DOM *target : {&d, &none, &empty}) {
        IMG full, bare;
        IMG_copy(&full, &img);
        IMG_copy(&bare, &img);
        DOM a = *target, b = *target;
        EXPECT_EQ(SAT_remap_domain(&bare, &b), SAT_remap_image(&full, &a));
        EXPECT_EQ(bare.nx, full.nx);
        EXPECT_EQ(bare.ny, full.ny);
        EXPECT_EQ(bare.depth, full.depth);
        EXPECT_EQ(bare.bytes_line, full.bytes_line);
        EXPECT_EQ(bare.source, full.source);
        EXPECT_EQ(std::memcmp(&bare.domain, &full.domain, sizeof(DOM)), 0);
        // Pixels only where the remap refused (the old ones are kept).
        EXPECT_EQ(bare.data == nullptr, target == &d);
        IMG_free(&full);
        IMG_free(&bare);
    }
}

// Largest distance (source pixels, the larger of the column and row
// differences) between the stepped trace at the current remap_inc and the
// per-pixel trace by the same path, over every 7th row; printed with the
// 99.9th percentile.
float stepped_error(const IMG &img, const DOM &d, const char *what)
{
    std::vector<float> sc(d.nx), sr(d.nx), pc(d.nx), pr(d.nx), diffs;
    for (int j = 0; j < d.ny; j += 7) {
        EXPECT_EQ(SAT_remap_positions(&img, &d, j, 0, sc.data(), sr.data()), 0);
        SAT_remap_positions(&img, &d, j, 1, pc.data(), pr.data());
        for (int i = 0; i < d.nx; ++i) {
            if (std::isnan(pc[i])) continue;
            EXPECT_FALSE(std::isnan(sc[i])) << what << " " << i << " " << j;
            diffs.push_back(std::max(std::fabs(sc[i] - pc[i]), std::fabs(sr[i] - pr[i])));
        }
    }
    EXPECT_FALSE(diffs.empty()) << what;
    if (diffs.empty()) return 0;
    std::sort(diffs.begin(), diffs.end());
    std::printf("stepped trace %s %dx%d: max %.4f, 99.9%% %.4f pixel\n", what, d.nx, d.ny, diffs.back(),
                diffs[(size_t)(diffs.size() * 0.999)]);
    return diffs.back();
}

// ---- the real GVAR file ----

class RemapGvar : public Remap {
protected:
    bool read()
    {
        std::string path = testutil::shared_data(testutil::GVAR_AREA);
        if (FILE *f = std::fopen(path.c_str(), "rb")) std::fclose(f);
        else return false;
        FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
        SAT_set_tran_sat(1);  // its start value in a program run
        return SAT_read_file(path.c_str(), &img) == 1;
    }
    DOM window_domain(const char *text)
    {
        DOM d;
        DOM_init(&d);
        DOM_decode(text, &d);
        SAT_domain_image(&d);
        return d;
    }
};

TEST_F(RemapGvar, SteppedTraceFollowsThePerPixelTrace)
{
    if (!read()) GTEST_SKIP() << "no shared data";
    ASSERT_EQ(SAT_get_tran_sat(), 1);
    struct { const char *dom, *geometry; } cases[] = {
        {"ll,25,-80,31,21,1,1", "640x427"},
        {"ll,25,-80,31,21,1,1", "1920x1080"},
        {"ps:60:-80:60,25,-80,31,21,1,1", "640x427"},
        {"ps:60:-80:60,25,-80,31,21,1,1", "1920x1080"},
    };
    for (auto &c : cases) {
        RES_put("geometry", c.geometry);
        float worst = stepped_error(img, window_domain(c.dom), c.dom);
        EXPECT_LT(worst, 0.5) << c.dom << " " << c.geometry;
    }
}

TEST_F(RemapGvar, ThreadsGiveTheSameImageAndOffEarthIsZero)
{
    if (!read()) GTEST_SKIP() << "no shared data";
    RES_put("geometry", "1920x1080");
    DOM d = window_domain("ll,25,-80,31,21,1,1");
    IMG one, two;
    IMG_copy(&one, &img);
    IMG_copy(&two, &img);
    setenv("ZYR_THREADS", "1", 1);
    SAT_remap_image(&one, &d);
    setenv("ZYR_THREADS", "2", 1);
    SAT_remap_image(&two, &d);
    unsetenv("ZYR_THREADS");
    ASSERT_EQ(one.nx * one.ny, 1920 * 1080);
    EXPECT_EQ(std::memcmp(one.data, two.data, (size_t)one.nx * one.ny), 0);
    size_t nonzero = std::count_if(one.data, one.data + one.nx * one.ny, [](unsigned char v) { return v != 0; });
    EXPECT_GT(nonzero, (size_t)one.nx * one.ny / 3);
    IMG_free(&one);
    IMG_free(&two);

    // The far side of the earth: every pixel 0.
    DOM far = window_domain("ll,20,105,31,21,1,1");
    IMG_copy(&one, &img);
    SAT_remap_image(&one, &far);
    EXPECT_EQ(std::count(one.data, one.data + one.nx * one.ny, 0), one.nx * one.ny);
    IMG_free(&one);
}

}  // namespace

namespace {

TEST_F(RemapGvar, ZoomThroughTheNavigation)
{
    if (!read()) GTEST_SKIP() << "no shared data";
    RES_put("geometry", "640x427");
    // Zoom by 2 about 25 N 80 W: the new image's centre pixel navigates back
    // there through the moved pixel mapping.
    ASSERT_EQ(SAT_zoom_image(&img, 25, -80, 2), 0);
    EXPECT_EQ(img.nx, 640);
    EXPECT_EQ(img.ny, 427);
    EXPECT_FLOAT_EQ(img.domain.clat, 25);
    float lc, ec, lr, er;
    AREA_get_res(&lc, &ec, &lr, &er);
    EXPECT_FLOAT_EQ(lr, 4);
    EXPECT_FLOAT_EQ(er, 2);
    float l, e, la, lo;
    AREA_line_elem(1, &l, &e, 427 * 0.5f, 640 * 0.5f);
    ASSERT_EQ(AREA_tran(1, &la, &lo, &l, &e), 0);
    // One zoomed line is 4 full-resolution lines (about 4 km here).
    EXPECT_NEAR(la, 25, 0.1);
    EXPECT_NEAR(lo, -80, 0.1);
}

}  // namespace

namespace {

TEST_F(Remap, PolarStereographicFileOntoLatLonAndLambert)
{
    std::string path = testutil::shared_data(testutil::PS_AREA);
    if (FILE *f = std::fopen(path.c_str(), "rb")) std::fclose(f);
    else GTEST_SKIP() << "no shared data";
    FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
    ASSERT_EQ(SAT_read_file(path.c_str(), &img), 1);
    ASSERT_EQ(SAT_get_tran_sat(), 0);
    // An output grid centred on the image centre (38.20007 N, 98.13848 W by
    // invproj, the navigation of column 320, row 175) traces its middle pixel
    // to column 319.5, row 174.5: the image domain takes that centre for its
    // grid centre, half a pixel away for even sizes.
    for (const char *text : {"ll,38.20007,-98.13848,11,11,0.5,0.5", "lc:25:-95:25:25,38.20007,-98.13848,11,11,0.5,0.5"}) {
        DOM d;
        DOM_init(&d);
        ASSERT_EQ(DOM_decode(text, &d), 1);
        std::vector<float> cols(11), rows(11);
        ASSERT_EQ(SAT_remap_positions(&img, &d, 5, 1, cols.data(), rows.data()), 0);
        EXPECT_NEAR(cols[5], 319.5, 0.05) << text;
        EXPECT_NEAR(rows[5], 174.5, 0.05) << text;
    }
    // Stepped against per-pixel trace onto Lambert grids fitted to two
    // window sizes.
    const char *lc = "lc:25:-95:25:25,38,-98,31,21,1,1";
    DOM d;
    for (const char *geometry : {"640x427", "1920x1080"}) {
        RES_put("geometry", geometry);
        DOM_init(&d);
        DOM_decode(lc, &d);
        SAT_domain_image(&d);
        EXPECT_LT(stepped_error(img, d, lc), 0.5) << geometry;
    }
    ASSERT_EQ(SAT_remap_image(&img, &d), 1);
    size_t nonzero = std::count_if(img.data, img.data + img.nx * img.ny, [](unsigned char v) { return v != 0; });
    EXPECT_GT(nonzero, 0u);
    EXPECT_EQ(img.domain.proj, DOM_LAMB);
}

}  // namespace
