// Plot parameters and input keywords: every keyword with its prefix length
// and argument position, the cut-off bands, and the input type chosen by
// "input" and "in_file".
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "satproc/sat_param.h"

namespace {

struct Got {
    int remap_inc, tran_sat, pix_ave, pix_off, bar, over, refresh;
    float zoom, min_lon, max_lon;
};

Got decode(const char *text)
{
    SAT_param_reset();
    RES_put("plot_param", text);
    SAT_plot_param();
    return {SAT_get_remap_inc(), SAT_get_tran_sat(), SAT_get_pix_ave(), SAT_get_pix_off(), SAT_get_bar(),
            SAT_get_over(),      SAT_get_refresh(),  SAT_get_zoom(),    SAT_get_min_lon(), SAT_get_max_lon()};
}

TEST(FitParam, KeywordsAndArgumentPositions)
{
    EXPECT_EQ(decode("remap").remap_inc, 20);
    EXPECT_EQ(decode("remap:5").remap_inc, 5);
    EXPECT_EQ(decode("REMAP=7").remap_inc, 7);
    EXPECT_EQ(decode("remap:").remap_inc, 0);  // longer than 5 but nothing at the 7th character
    EXPECT_EQ(decode("remap5").remap_inc, 0);  // the value starts at the 7th character
    EXPECT_EQ(decode("tran_zyr").tran_sat, 0);
    EXPECT_EQ(decode("tran_zyr,tran_sat").tran_sat, 1);
    EXPECT_EQ(decode("no_pixav").pix_ave, 0);  // 8 characters compared
    EXPECT_FLOAT_EQ(decode("zoom:2.5").zoom, 2.5f);
    EXPECT_FLOAT_EQ(decode("zoom").zoom, 0.0f);
    EXPECT_EQ(decode("pixoff:-20").pix_off, -20);
    EXPECT_FLOAT_EQ(decode("minlon:-100,maxlon:-60.5").min_lon, -100);
    EXPECT_FLOAT_EQ(decode("minlon:-100,maxlon:-60.5").max_lon, -60.5f);
    EXPECT_EQ(decode("bar").bar, 1);
    EXPECT_EQ(decode("irbar").bar, 2);
    EXPECT_EQ(decode("over").over, 1);
    EXPECT_EQ(decode("refresh").refresh, 1);
    EXPECT_EQ(decode("refreshx").refresh, 0);  // a whole-entry keyword
    Got none = decode("nothing,remapping");     // "remapping" is remap with the value "ping"
    EXPECT_EQ(none.remap_inc, 0);
    EXPECT_EQ(none.tran_sat, 1);
}

TEST(FitParam, CutoffBands)
{
    struct { const char *text; int base, numcut, cut[5]; } cases[] = {
        {"cutoff:255:100", 255, 1, {0, 100, 256, 0, 0}},
        {"cutoff:7", 7, 0, {0, 256, 0, 0, 0}},
        {"cutoff:1:2:3:4", 1, 3, {0, 2, 3, 4, 256}},
        {"cutoff", 0, 0, {0, 0, 0, 0, 0}},    // nothing read: nothing changes
        {"cutoff:x", 0, 0, {0, 0, 0, 0, 0}},
    };
    for (auto &c : cases) {
        decode(c.text);
        int base, cut[5];
        EXPECT_EQ(SAT_get_cut(&base, cut), c.numcut) << c.text;
        EXPECT_EQ(base, c.base) << c.text;
        for (int i = 0; i < 5; ++i) EXPECT_EQ(cut[i], c.cut[i]) << c.text << " " << i;
    }
}

TEST(FitParam, InputTypeFromInputAndInFile)
{
    struct { const char *input, *in_file; int type; } cases[] = {
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
