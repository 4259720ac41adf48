// The remap's table kept between frames and its margins filled without tracing: every frame's pixels equal those of
// tracing every pixel of every frame (real GINI and AREA loops with a navigation change, zoom and resize mid-loop, the
// satellite view onto several projections), and the program's pictures equal those it drew before either existed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "satproc/fit.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"
#include "tests/test_support.h"

namespace {

using Pixels = std::vector<unsigned char>;

struct Frame {
    std::string file;
    int input;
    const char *domain, *geometry;
};

// Each frame read as a program run reads it and remapped onto its domain sized to its window.
std::vector<Pixels> run_loop(const std::vector<Frame> &frames, bool reuse)
{
    SAT_remap_set_reuse(reuse), SAT_remap_set_margins(reuse);
    std::vector<Pixels> out;
    for (const Frame &f : frames) {
        IMG img;
        IMG_init(&img);
        FLAG_set(FLAG_INPUT, f.input), SAT_set_tran_sat(1);
        EXPECT_EQ(SAT_read_file(f.file.c_str(), &img), 1) << f.file;
        RES_put("geometry", f.geometry);
        DOM d;
        EXPECT_EQ(DOM_decode(f.domain, &d), 1);
        SAT_domain_image(&d);
        EXPECT_EQ(SAT_remap_image(&img, &d), 1) << f.file;
        out.emplace_back(img.data, img.data ? img.data + (size_t)img.nx * img.ny : img.data);
        IMG_free(&img);
    }
    return out;
}

// A loop through the table gives the frames of tracing every frame, building `builds` tables, in every sampling mode.
void expect_loop(const std::vector<Frame> &frames, long builds)
{
    struct Mode {
        int inc, ave;
    };
    for (const Mode m : {Mode{20, 1}, Mode{20, 0}, Mode{0, 0}, Mode{0, 1}}) {
        SCOPED_TRACE(testing::Message() << "remap_inc " << m.inc << " pix_ave " << m.ave);
        SAT_set_remap_inc(m.inc), SAT_set_pix_ave(m.ave);
        const std::vector<Pixels> each = run_loop(frames, false);
        const long before = SAT_remap_table_builds();
        const std::vector<Pixels> reused = run_loop(frames, true);
        EXPECT_EQ(SAT_remap_table_builds() - before, builds);
        ASSERT_EQ(each.size(), reused.size());
        for (size_t k = 0; k < each.size(); ++k) EXPECT_TRUE(each[k] == reused[k]) << "frame " << k;
    }
}

const char *kWest = "gini/WEST-CONUS_4km_3.9_20050912_2130.gini", *kWestWv = "gini/WEST-CONUS_4km_WV_20151208_2200.gini",
           *kEast = "gini/EAST-CONUS_4km_12.0_20050912_0600.gini", *kConus = "lamb,38,-95,960,540,0.07,0.07";

// Two West-CONUS images share one sector (the second builds the table); the East-CONUS pair after them is another
// satellite's and builds its own; the last West-CONUS frame, alone again, is traced.
TEST(RemapReuse, GiniLoopWithNavigationChange)
{
    NEED_SHARED(kWest);
    NEED_SHARED(kWestWv);
    NEED_SHARED(kEast);
    const std::string w = testutil::shared(kWest), wv = testutil::shared(kWestWv), e = testutil::shared(kEast);
    expect_loop({{w, IMG_SRC_AWIP, kConus, "480x270"},
                 {wv, IMG_SRC_AWIP, kConus, "480x270"},
                 {e, IMG_SRC_AWIP, kConus, "480x270"},
                 {e, IMG_SRC_AWIP, kConus, "480x270"},
                 {w, IMG_SRC_AWIP, kConus, "480x270"}},
                2);
}

// A zoom (another domain) and a resize (another window) each end the table's use; frames between share theirs.
TEST(RemapReuse, ZoomAndResizeBuildAgain)
{
    NEED_SHARED(kEast);
    const std::string e = testutil::shared(kEast);
    const char *zoomed = "lamb,36,-100,960,540,0.03,0.03";
    expect_loop({{e, IMG_SRC_AWIP, kConus, "480x270"},
                 {e, IMG_SRC_AWIP, kConus, "480x270"},
                 {e, IMG_SRC_AWIP, zoomed, "480x270"},
                 {e, IMG_SRC_AWIP, zoomed, "480x270"},
                 {e, IMG_SRC_AWIP, zoomed, "400x300"},
                 {e, IMG_SRC_AWIP, zoomed, "400x300"}},
                3);
}

// Generated GVAR frames (one satellite, times 15 minutes apart) around a real GOES-8 image of 1998 in the middle: the
// first pair builds a table, the frames after it are alone with their keys and traced.
TEST(RemapReuse, AreaLoopWithAnotherSatellite)
{
    NEED_SHARED("area/cmx3g8_wv_1998.260_0745_mcidas.ara");
    testutil::ScratchDir dir;
    const auto r = testutil::run({ZYR_BINARY_DIR "/make_demo_loop", dir.file("sat"), "--frames", "3"});
    if (r.status != 0) GTEST_SKIP() << "make_demo_loop not built";
    const std::string demo = dir.file("sat/ir/20250612_18");
    const char *wide = "lamb,35,-90,960,540,0.12,0.12";
    expect_loop({{demo + "00.area", IMG_SRC_AREA, wide, "480x270"},
                 {demo + "15.area", IMG_SRC_AREA, wide, "480x270"},
                 {testutil::shared("area/cmx3g8_wv_1998.260_0745_mcidas.ara"), IMG_SRC_AREA, wide, "480x270"},
                 {demo + "30.area", IMG_SRC_AREA, wide, "480x270"}},
                1);
}

// A whole disc of the satellite view (space around it) onto pictures that show the disc's edge, a part of it, the
// disc seen over the pole, from another hemisphere, and across the picture's seam (the disc under 170 E on a map
// centred on 0 E): the margins filled untraced leave every pixel as tracing them gives it.
TEST(RemapMargins, SatelliteViewOntoProjections)
{
    struct Case {
        float plon;
        const char *domain;
    };
    const Case cases[] = {{0, "ll,0,0,400,300,0.5,0.5"},     {0, "ll,40,50,300,200,0.2,0.2"},
                          {0, "ps,70,0,300,300,0.5,0.5"},    {0, "or,20,-40,300,300,0.5,0.5"},
                          {0, "lamb,40,30,320,240,0.5,0.5"}, {170, "ll,0,0,400,300,0.9,0.6"}};
    const int n = 301;
    std::mt19937 rng(5);
    Pixels px((size_t)n * n);
    for (auto &v : px) v = (unsigned char)(1 + rng() % 255);
    SAT_set_tran_sat(0), SAT_remap_set_reuse(0);
    for (const Case &c : cases)
        for (const int inc : {20, 0}) {
            SCOPED_TRACE(testing::Message() << c.domain << " under " << c.plon << " remap_inc " << inc);
            SAT_set_remap_inc(inc), SAT_set_pix_ave(inc != 0);
            Pixels got[2];
            for (const int margins : {0, 1}) {
                IMG img;
                IMG_init(&img);
                img.nx = img.ny = img.bytes_line = n, img.depth = 8, img.source = IMG_SRC_ZYR;
                img.data = (unsigned char *)std::malloc(px.size());
                std::memcpy(img.data, px.data(), px.size());
                DOM &g = img.domain;
                DOM_init(&g);
                g.proj = DOM_SAT, g.plat = g.clat = 0, g.plon = g.clon = c.plon, g.parm[0] = 421.64f, g.parm[1] = 1;
                g.ellipsoid = 1, g.nx = g.ny = n, g.dx = g.dy = 0.33f / n * 421.64f;
                DOM d;
                ASSERT_EQ(DOM_decode(c.domain, &d), 1);
                SAT_remap_set_margins(margins);
                ASSERT_EQ(SAT_remap_image(&img, &d), 1);
                got[margins].assign(img.data, img.data + (size_t)img.nx * img.ny);
                IMG_free(&img);
            }
            EXPECT_TRUE(got[0] == got[1]);
            EXPECT_GT(std::count(got[0].begin(), got[0].end(), 0), 1000);  // margins there are
        }
}

// The program's pictures of a generated AREA loop and a GINI frame, with the table kept and without it, are those it
// drew before the table and the margins existed (FNV-1a of the pixels as RGB).
TEST(RemapReuse, ProgramPicturesAsBefore)
{
    NEED_SHARED(kEast);
    testutil::ScratchDir dir;
    if (testutil::run({ZYR_BINARY_DIR "/make_demo_loop", dir.file("sat"), "--frames", "3"}).status != 0)
        GTEST_SKIP() << "make_demo_loop not built";
    const std::string demo = dir.file("sat/ir/20250612_18");
    const std::vector<std::string> common = {"-b", "-pd", kConus, "-ge", "960x540", "-de", "d,mem"};
    auto fnv = [](const testutil::Raster &r) {
        uint64_t h = 0xcbf29ce484222325ull;
        for (unsigned char v : r.px) h = (h ^ v) * 0x100000001b3ull;
        return h;
    };
    for (const char *env : {"-u DISPLAY", "-u DISPLAY ZYR_REMAP_REUSE=0"}) {
        SCOPED_TRACE(env);
        std::vector<std::string> loop = common, gini = common;
        loop.insert(loop.end(), {"-pp", "irbar", "-of", "png=" + dir.file("loop_%i.png"), demo + "00.area",
                                 demo + "15.area", demo + "30.area"});
        gini.insert(gini.end(), {"-inp", "awip", "-pp", "irbar,lalo=10", "-la", "Ref", "-of",
                                 "png=" + dir.file("gini.png"), testutil::shared(kEast)});
        ASSERT_EQ(testutil::zyrsat(loop, dir.path(), env).status, 0);
        ASSERT_EQ(testutil::zyrsat(gini, dir.path(), env).status, 0);
        const std::pair<const char *, uint64_t> want[] = {{"loop_00.png", 0x9e748bfce1b7a60full},
                                                          {"loop_01.png", 0x5b065c7340e42a1dull},
                                                          {"loop_02.png", 0x08397b7d9574c8ebull},
                                                          {"gini.png", 0xdc858c83c1849d7aull}};
        for (const auto &[file, hash] : want) {
            testutil::Raster r;
            ASSERT_TRUE(testutil::read_png(dir.file(file), &r)) << file;
            EXPECT_EQ(fnv(r), hash) << file;
        }
    }
}

}  // namespace
