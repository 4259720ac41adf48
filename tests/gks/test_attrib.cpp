// Attribute strings, fill pattern and marker names.
#include <string>

#include <gtest/gtest.h>

#include "core/res.h"
#include "gks/attrib.h"
#include "gks/clr.h"

namespace {

void table() {
    CLR_clear_table();
    const std::string t = "black 0 0 0\nwhite 1 1 1\nred 1 0 0\nblue 0 0 1\n";
    FILE *fp = fmemopen((void *)t.data(), t.size(), "r");
    CLR_read_stream(fp, 0, nullptr);
    fclose(fp);
}

// The fields that are set, as "colour c width w ...".
std::string set_fields(const ATTRIB &a) {
    std::string s;
    auto add = [&s](const char *name, double v) {
        if (v != ATTRIB_UNSET) s += std::string(s.empty() ? "" : " ") + name + " " + std::to_string(v).substr(0, 4);
    };
    add("colour", a.color), add("width", a.width), add("size", a.size), add("expansion", a.expansion);
    add("style", a.style), add("fill", a.fill), add("font", a.font);
    return s;
}

std::string parsed(const char *text) {
    ATTRIB a;
    ATTRIB_init(&a);
    ATTRIB_parse(text, &a);
    return set_fields(a);
}

} // namespace

TEST(Attrib, StringsAsATable) {
    table();
    struct Case { const char *text, *want; } cases[] = {
        {"red:wi=2:st=dsh", "colour 2.00 width 2.00 style 2.00"}, {"w2:s3", "width 2.00 style 3.00"},
        {"blue:st=llsdsh:sc=1.5:te=0.8", "colour 3.00 size 1.50 expansion 0.80 style 4.00"},
        {"white:ST=DOT:HI=2:e3:h4", "colour 1.00 size 4.00 expansion 3.00 style 5.00"},
        {"black:st=7:s2", "colour 0.00 style 2.00"}, {"red:fi=//", "colour 2.00 fill 7.00"},
        {"red:fp=7", "colour 2.00 fill 7.00"}, {"red:fi=5%", "colour 2.00 fill 15.0"}, {"red:f3:fM", "colour 2.00"},
        {"red:fo=2:t3", "colour 2.00 font 3.00"}, {"co=blue:wi=1.5", "colour 3.00 width 1.50"},
        {"none:w1", "colour -1.0 width 1.00"}, {"#FF00FF", "colour 4.00"}, {"purple:w2", "colour -1.0 width 2.00"},
        {"red:wi=:wi=abc:wi=1e30:wi=nan:w", "colour 2.00"}, {"red::zz=3:q7:", "colour 2.00"}, {"", ""},
        {":w3", "width 3.00"},
    };
    for (const auto &c : cases) EXPECT_EQ(parsed(c.text), c.want) << c.text;
    // A first item that names a colour is the colour, even when it would
    // also read as a one-letter option.
    EXPECT_EQ(CLR_add("w2", 0.5f, 0.5f, 0.5f), 5);
    EXPECT_EQ(parsed("w2:s3"), "colour 5.00 style 3.00");
}

TEST(Attrib, FillAndMarkerNames) {
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

TEST(Attrib, GetUpdateAndPrint) {
    table();
    RES_clear();
    ATTRIB a;
    ATTRIB_init(&a);
    EXPECT_EQ(ATTRIB_get("color_text", "white:w1", &a), 0);  // the default
    EXPECT_EQ(set_fields(a), "colour 1.00 width 1.00");
    RES_put("color_text", "red:h2");
    ATTRIB_init(&a);
    EXPECT_EQ(ATTRIB_get("color_text", "white:w1", &a), 1);  // the resource over the default
    EXPECT_EQ(set_fields(a), "colour 2.00 width 1.00 size 2.00");

    ATTRIB dst, src;
    ATTRIB_init(&dst);
    ATTRIB_parse("blue:w3:s4:f2:t1:h5:e6", &dst);
    ATTRIB_init(&src);
    src.width = 9;
    ATTRIB_update(&dst, &src);
    testing::internal::CaptureStdout();
    ATTRIB_print(&dst);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Color: 3\nStyle: 4\nHeight:  5.00\nWidth:  9.00\nExpansion:  6.00\nFill: 2\nFont: 1\n");
    RES_clear();
}
