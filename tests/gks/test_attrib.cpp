// Attribute strings, fill pattern and marker names.
#include <string>

#include <gtest/gtest.h>

#include "core/res.h"
#include "gks/attrib.h"
#include "gks/clr.h"

namespace {

void table()
{
    CLR_clear_table();
    const std::string t = "black 0 0 0\nwhite 1 1 1\nred 1 0 0\nblue 0 0 1\n";
    FILE *fp = fmemopen((void *)t.data(), t.size(), "r");
    CLR_read_stream(fp, 0, nullptr);
    fclose(fp);
}

struct Want {
    int color = ATTRIB_UNSET;
    float width = ATTRIB_UNSET, size = ATTRIB_UNSET, expansion = ATTRIB_UNSET;
    int style = ATTRIB_UNSET, fill = ATTRIB_UNSET, font = ATTRIB_UNSET;
};

} // namespace

TEST(Attrib, StringsAsATable)
{
    table();
    struct Case { const char *text; Want want; } cases[] = {
        {"red:wi=2:st=dsh", {.color = 2, .width = 2, .style = 2}},
        {"w2:s3", {.width = 2, .style = 3}},
        {"blue:st=llsdsh:sc=1.5:te=0.8", {.color = 3, .size = 1.5f, .expansion = 0.8f, .style = 4}},
        {"white:ST=DOT:HI=2:e3:h4", {.color = 1, .size = 4, .expansion = 3, .style = 5}},
        {"black:st=7:s2", {.color = 0, .style = 2}},
        {"red:fi=//", {.color = 2, .fill = 7}},
        {"red:fp=7", {.color = 2, .fill = 7}},
        {"red:fi=5%", {.color = 2, .fill = 15}},
        {"red:f3:fM", {.color = 2}},
        {"red:fo=2:t3", {.color = 2, .font = 3}},
        {"co=blue:wi=1.5", {.color = 3, .width = 1.5f}},
        {"none:w1", {.color = -1, .width = 1}},
        {"#FF00FF", {.color = 4}},
        {"purple:w2", {.color = -1, .width = 2}},
        {"red:wi=:wi=abc:wi=1e30:wi=nan:w", {.color = 2}},
        {"red::zz=3:q7:", {.color = 2}},
        {"", {}},
        {":w3", {.width = 3}},
    };
    for (const auto &c : cases) {
        ATTRIB a;
        ATTRIB_init(&a);
        ATTRIB_parse(c.text, &a);
        const Want &w = c.want;
        EXPECT_EQ(a.color, w.color) << c.text;
        EXPECT_EQ(a.width, w.width) << c.text;
        EXPECT_EQ(a.size, w.size) << c.text;
        EXPECT_EQ(a.expansion, w.expansion) << c.text;
        EXPECT_EQ(a.style, w.style) << c.text;
        EXPECT_EQ(a.fill, w.fill) << c.text;
        EXPECT_EQ(a.font, w.font) << c.text;
    }
    // A first item that names a colour is the colour, even when it would
    // also read as a one-letter option.
    int w2 = CLR_add("w2", 0.5f, 0.5f, 0.5f);
    ATTRIB a;
    ATTRIB_init(&a);
    ATTRIB_parse("w2:s3", &a);
    EXPECT_EQ(a.color, w2);
    EXPECT_EQ(a.width, (float)ATTRIB_UNSET);
    EXPECT_EQ(a.style, 3);
}

TEST(Attrib, FillAndMarkerNames)
{
    struct { const char *name; int n; } fills[] = {
        {"sol", 0}, {"st", 1}, {"ost", 2}, {"rst", 3}, {"lst", 4}, {"vln", 5}, {"||", 5},
        {"dlr", 6}, {"\\\\", 6}, {"\\", 6}, {"drl", 7}, {"//", 7}, {"hln", 8}, {"--", 8},
        {"hat", 9}, {"XX", 9}, {"clr", 10}, {"0%", 10}, {"1%", 11}, {"9%", 19}, {"7", 7},
        {"12", 12}, {"junk", 0}, {"HAT", 9},
    };
    for (auto f : fills) EXPECT_EQ(ATTR_parse_fill_pat(f.name), f.n) << f.name;
    struct { const char *name; int n; } marks[] = {
        {"pnt", 1}, {".", 1}, {"plus", 2}, {"+", 2}, {"star", 3}, {"*", 3}, {"crcl", 4},
        {"circle", 4}, {"o", 4}, {"x", 5}, {"sqr", 6}, {"square", 6}, {"#", 6}, {"tri", 7},
        {"^", 7}, {"triangle", 7}, {"itri", 9}, {"v", 9}, {"dot", 8}, {"12", 12},
    };
    for (auto m : marks) EXPECT_EQ(ATTR_parse_marker(m.name), m.n) << m.name;
}

TEST(Attrib, GetUpdateAndPrint)
{
    table();
    RES_clear();
    ATTRIB a;
    ATTRIB_init(&a);
    EXPECT_EQ(ATTRIB_get("color_text", "white:w1", &a), 0);
    EXPECT_EQ(a.color, 1);
    RES_put("color_text", "red:h2");
    ATTRIB_init(&a);
    EXPECT_EQ(ATTRIB_get("color_text", "white:w1", &a), 1);
    EXPECT_EQ(a.color, 2);
    EXPECT_EQ(a.width, 1.0f);
    EXPECT_EQ(a.size, 2.0f);

    ATTRIB dst, src;
    ATTRIB_init(&dst);
    ATTRIB_parse("blue:w3:s4:f2:t1:h5:e6", &dst);
    ATTRIB_init(&src);
    src.width = 9;
    ATTRIB_update(&dst, &src);
    EXPECT_EQ(dst.width, 9.0f);
    EXPECT_EQ(dst.color, 3);
    EXPECT_EQ(dst.style, 4);

    testing::internal::CaptureStdout();
    ATTRIB_print(&dst);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Color: 3\nStyle: 4\nHeight:  5.00\nWidth:  9.00\nExpansion:  6.00\nFill: 2\nFont: 1\n");
    RES_clear();
}
