// The file words of "plot_param" (the animation and GeoTIFF words) against every keyword of its two decoders:
// keywords compare a prefix, so no word may take another; then the GeoTIFF words' names.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <gtest/gtest.h>
#include "../test_support.h"
#include "core/res.h"
#include "image/img.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_geotiff.h"
#include "plot/plt_int.h"
#include "satproc/sat_param.h"

// No keyword (bare or with a value) sets an animation or a GeoTIFF, and the file words (in capitals too) set
// nothing but their own request.
TEST(PlotParam, FileWordsCollideWithNoKeyword)
{
    std::istringstream in( // every keyword of the two decoders, the driver's first
        "remap tran_sat tran_zyr no_pixave zoom fill over bar irbar pixoff minlon maxlon shift refresh "
        "cutoff full fullab nopage page noredraw id wmo cod_wmo tz lalo gridx plt_skip plt_off plt_grid "
        "loc_pr vp_size font gif_inter gif_norm gif_trans inv lcmap nolcmap rwclr norwclr nolooptitle "
        "pscolor psrev clear new kill nobar nohdr shadow max_bad min_size grdfmt gif png img xwd");
    for (std::string entry; in >> entry;) {
        for (const std::string &e : {entry, entry + "=1"}) {
            EXPECT_EQ(PLT_anim_word(e.c_str()), 0) << e;
            EXPECT_EQ(PLT_geotiff_word(e.c_str()), 0) << e;
            RES_put("plot_param", e.c_str());
            PLT_param_decode();
            EXPECT_EQ(PLT_get_anim() | PLT_get_geotiff(), 0) << e;
        }
    }
    const struct {
        const char *words;
        int anim, geotiff;
    } rows[] = {
        {"anim=x.gif,APNG:y.png", PLT_ANIM_GIF | PLT_ANIM_APNG, 0},
        {"geotiff=x.tif,GEOVAL:y.tif", 0, PLT_GEOTIFF_PICTURE | PLT_GEOTIFF_VALUES},
    };
    for (const auto &r : rows) {
        PLT_set_anim(0, nullptr);
        PLT_set_geotiff(0, nullptr);
        SAT_param_reset();
        const plt::State before = plt::state();
        RES_put("plot_param", r.words);
        PLT_param_decode();
        SAT_plot_param();
        EXPECT_EQ(PLT_get_anim(), r.anim) << r.words;
        EXPECT_EQ(PLT_get_geotiff(), r.geotiff) << r.words;
        const plt::State &now = plt::state();
        EXPECT_TRUE(std::equal(before.view_off, before.view_off + 4, now.view_off));
        EXPECT_EQ(std::tuple(now.dump, now.bar, now.over_base), std::tuple(before.dump, before.bar, before.over_base));
        EXPECT_EQ(SAT_get_bar() + SAT_get_over() + SAT_get_refresh(), 0);
        EXPECT_FLOAT_EQ(SAT_get_zoom(), 1.0f);
    }
}

// One word each: what it requests and the file it names in "image_path" (nothing for a word that is not one).
TEST(PlotParam, GeoTiffWordsNameTheirFiles)
{
    testutil::ScratchDir dir;
    RES_put("image_path", dir.path().c_str());
    IMG im;
    IMG_init(&im);
    im.nx = im.ny = im.bytes_line = 2, im.depth = 8;
    unsigned char px[4] = {1, 2, 3, 4};
    im.data = px;
    DOM_init(&im.domain);
    im.domain.proj = DOM_LATLON, im.domain.plon = 0, im.domain.clat = 10, im.domain.clon = 20;
    im.domain.dx = im.domain.dy = 1, im.domain.nx = im.domain.ny = 2;
    const struct {
        const char *word;
        int is_word, kind;
        const char *file;
    } rows[] = {
        {"geotiff", 1, PLT_GEOTIFF_PICTURE, "zyr.tif"},
        {"geotiff=", 1, PLT_GEOTIFF_PICTURE, "zyr.tif"},
        {"geotiff=pic.tif", 1, PLT_GEOTIFF_PICTURE, "pic.tif"},
        {"GeoTiff:Pic2.tif", 1, PLT_GEOTIFF_PICTURE, "Pic2.tif"},
        {"geoval", 1, PLT_GEOTIFF_VALUES, "zyr_val.tif"},
        {"geoval=val.tif", 1, PLT_GEOTIFF_VALUES, "val.tif"},
        {"geotif", 0, 0, ""},
        {"geo=x.tif", 0, 0, ""},
        {"geova", 0, 0, ""},
    };
    for (const auto &r : rows) {
        PLT_set_geotiff(0, nullptr);
        EXPECT_EQ(PLT_geotiff_word(r.word), r.is_word) << r.word;
        EXPECT_EQ(PLT_get_geotiff(), r.kind) << r.word;
        const int other = r.kind == PLT_GEOTIFF_PICTURE ? PLT_GEOTIFF_VALUES : PLT_GEOTIFF_PICTURE;
        EXPECT_EQ(PLT_geotiff_write(&im, other), -1) << r.word;
        if (!r.kind) continue;
        EXPECT_EQ(PLT_geotiff_write(&im, r.kind), 1) << r.word;
        EXPECT_TRUE(std::filesystem::exists(dir.file(r.file))) << r.word;
        std::filesystem::remove(dir.file(r.file));
    }
    PLT_set_geotiff(0, nullptr);
}
