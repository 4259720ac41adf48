// Plot parameters and input keywords: every keyword with its prefix length and argument position, the cut-off bands,
// and the input type chosen by "input" and "in_file".
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/flags.h"
#include "core/res.h"
#include "satproc/sat_param.h"

namespace {

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
// characters; "refresh" is a whole-entry keyword; "remapping" is remap with the value "ping".
TEST(FitParam, KeywordsAndArgumentPositions)
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
}

TEST(FitParam, CutoffBands)
{
    struct { const char *text; int base, numcut, cut[5]; } cases[] = {
        {"cutoff:255:100", 255, 1, {0, 100, 256, 0, 0}},
        {"cutoff:7", 7, 0, {0, 256, 0, 0, 0}},
        {"cutoff:1:2:3:4", 1, 3, {0, 2, 3, 4, 256}},
        {"cutoff", 0, 0, {0, 0, 0, 0, 0}},  // nothing read: nothing changes
        {"cutoff:x", 0, 0, {0, 0, 0, 0, 0}},
    };
    for (auto &c : cases) {
        decode(c.text);
        int base, cut[5];
        EXPECT_EQ(SAT_get_cut(&base, cut), c.numcut) << c.text;
        EXPECT_EQ(base, c.base) << c.text;
        EXPECT_EQ(std::vector(cut, cut + 5), std::vector(c.cut, c.cut + 5)) << c.text;
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
