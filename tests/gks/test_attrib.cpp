// Colour table, attribute strings, fill pattern and marker names; expected values worked by hand.
#include <cstring>

#include "../test_support.h"
#include "core/res.h"
#include "gks/attrib.h"
#include "gks/clr.h"

namespace {

int read_text(const std::string &text, int first = 0, int *fill = nullptr) {
    FILE *fp = fmemopen((void *)text.data(), text.size(), "r");
    int n = CLR_read_stream(fp, first, fill);
    fclose(fp);
    return n;
}

// Entry i as "name r g b", components in 1/255ths (so hex reads exactly).
std::string entry(int i) {
    float r, g, b;
    char buf[80];
    CLR_get_rgb(i, &r, &g, &b), snprintf(buf, sizeof buf, "%s %g %g %g", CLR_get_name(i), r * 255, g * 255, b * 255);
    return buf;
}

// The fields of an attribute that are set, as "colour c width w ...".
std::string set_fields(const ATTRIB &a) {
    std::string s;
    auto add = [&s](const char *name, double v) {
        if (v != ATTRIB_UNSET) s += std::string(s.empty() ? "" : " ") + name + " " + std::to_string(v).substr(0, 4);
    };
    add("colour", a.color), add("width", a.width), add("size", a.size), add("expansion", a.expansion);
    add("style", a.style), add("fill", a.fill), add("font", a.font);
    return s;
}

std::string parsed(const char *text) { ATTRIB a; return ATTRIB_init(&a), ATTRIB_parse(text, &a), set_fields(a); }

TEST(ClrRead, LineFormsFilesFillRulesAndHostileInput) {
    CLR_clear_table();
    int fill = 0;
    EXPECT_EQ(read_text("# comment\nblack 0 0 0\r\n  white   1 1 1  \n\n12 orange 1 0.5 0\nteal #008080\nEND\n"
                        "40 navyish #00007F\nnohash 12\n999 faraway 1 1 1\n", 0, &fill), 41);
    EXPECT_EQ(fill, 14);  // colours counted up to END: indices 0..13
    const std::pair<int, const char *> want[] = {{0, "black 0 0 0"}, {1, "white 255 255 255"}, {12, "orange 255 127.5 0"},
                                                 {13, "teal 0 128 128"}, {40, "navyish 0 0 127"}};
    for (auto [i, text] : want) EXPECT_EQ(entry(i), text) << i;
    testutil::ScratchDir dir;
    dir.write("a.clr", "black 0 0 0\ngrey 0.5 0.5 0.5\nwhite 1 1 1\nEND\nred 1 0 0\n");
    dir.write("b.clr", "green 0 1 0\n");
    dir.write("c.clr", "black 0 0 0\nwhite 1 1 1\nred 1 0 0\n");
    // The second file continues after the first; named explicitly: no fill count; the resource's
    // file: up to END, or (c.clr, no END) the highest index.
    RES_clear(), RES_put("file_path", dir.path().c_str()), CLR_read_table("a.clr,missing.clr,b.clr");
    std::vector<int> got{CLR_get_num(), CLR_get_ind("green"), CLR_get_num_fill()};
    RES_put("color_table", "a.clr"), CLR_read_table(nullptr), got.push_back(CLR_get_num_fill());
    RES_put("color_table", "c.clr"), CLR_read_table(""), got.push_back(CLR_get_num_fill()), RES_clear();
    EXPECT_EQ(got, std::vector<int>({5, 4, 0, 3, 2}));
    CLR_clear_table();
    std::string many;
    for (int i = 0; i < 300; ++i) many.append("c").append(std::to_string(i)).append(" 0.1 0.2 0.3\n");
    EXPECT_EQ(read_text(many), 256);
    EXPECT_STREQ(CLR_get_name(255), "c255");
    // Entry 0 is the junk line's, entry 1 "big"; the line at -4 and those after it fall outside.
    std::string junk("\x00\xff\x01#\n\x80\x90 1 2 3\n", 14);
    EXPECT_EQ(read_text(std::string(200, 'x') + " 1 0 0\n5 " + std::string(150, 'y') + " 1 1 1\n" + junk +
                        "big 7e38 -3 nan\n-4 neg 1 1 1\nbadhex #GG0011\nlost 1 1 1\n"), 2);
    EXPECT_STREQ(CLR_get_name(1), "big");
    EXPECT_LE(std::strlen(CLR_get_name(0)), 19u);
    float c[3];
    for (int i = 0; i < CLR_get_num(); ++i)
        for (float v : (CLR_get_rgb(i, &c[0], &c[1], &c[2]), c)) EXPECT_TRUE(v >= 0 && v <= 1) << i;
}

TEST(ClrLookup, OrderOfRulesFullTableAndOutOfRange) {
    CLR_clear_table();
    read_text("black 0 0 0\nwhite 1 1 1\nRed 1 0 0\nred 0.5 0 0\n");
    struct Case { const char *word; int want; } cases[] = {
        {"", -1}, {"end", -2}, {"END", -2}, {"none", -1}, {"Off", -1}, {"back", -1}, {"pblk", 500}, {"pbblk", 501},
        {"ptblk", 502}, {"pwht", 503}, {"pbwht", 504}, {"ptwht", 505}, {"pgry", 506}, {"pbgry", 507}, {"PTGRY", 508},
        {"WHITE", 1}, {"red", 2}, {"12", 12}, {"7abc", 7}, {"purple", -1}, {"#12345", -1}, {"#GG0000", -1},
        {"#12345678x", -1}, {"-3", -1},
    };
    for (const auto &c : cases) EXPECT_EQ(CLR_get_ind(c.word), c.want) << c.word;
    EXPECT_EQ(std::vector<int>({CLR_get_ind(nullptr), CLR_get_num()}), std::vector<int>({-1, 4}));  // nothing added
    // Hex words add an entry named as written, once (then found by name); nine digits are three
    // decimal components.
    EXPECT_EQ(std::vector<int>({CLR_get_ind("#FF0000"), CLR_get_ind("#ff0000"), CLR_get_ind("#255128000")}), std::vector<int>({4, 4, 5}));
    EXPECT_EQ(entry(4) + ", " + entry(5), "#FF0000 255 0 0, #255128000 255 128 0");
    CLR_clear_table();
    EXPECT_EQ(entry(3), " 0 0 0");
    for (int i = 0; i < 256; ++i) ASSERT_EQ(CLR_add("x", i / 255.0f, 0, 0), i);
    EXPECT_EQ(std::vector<int>({CLR_add("y", 1, 1, 1), CLR_get_ind("#00FF00"), CLR_get_num()}), std::vector<int>({-1, -1, 256}));
    EXPECT_EQ(entry(-1), "x 0 0 0");      // unknown colour reads entry 0
    EXPECT_EQ(entry(1000), "x 255 0 0");  // past the end reads the last
}

TEST(Attrib, StringsFillAndMarkerNamesAsTables) {
    CLR_clear_table();
    read_text("black 0 0 0\nwhite 1 1 1\nred 1 0 0\nblue 0 0 1\n");
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
    // A first item that names a colour is the colour, even when it would also read as an option.
    EXPECT_EQ(CLR_add("w2", 0.5f, 0.5f, 0.5f), 5);
    EXPECT_EQ(parsed("w2:s3"), "colour 5.00 style 3.00");
    // A resource over the default; an update taking the set fields; the print.
    ATTRIB a, src;
    auto get = [&a] {
        int r = (ATTRIB_init(&a), ATTRIB_get("color_text", "white:w1", &a));
        return std::to_string(r) + " " + set_fields(a);
    };
    RES_clear();
    EXPECT_EQ(get(), "0 colour 1.00 width 1.00");
    RES_put("color_text", "red:h2");
    EXPECT_EQ(get(), "1 colour 2.00 width 1.00 size 2.00");
    RES_clear(), ATTRIB_init(&a), ATTRIB_init(&src), ATTRIB_parse("blue:w3:s4:f2:t1:h5:e6", &a);
    src.width = 9, ATTRIB_update(&a, &src);
    EXPECT_EQ(testutil::stdout_of([&] { ATTRIB_print(&a); }),
              "Color: 3\nStyle: 4\nHeight:  5.00\nWidth:  9.00\nExpansion:  6.00\nFill: 2\nFont: 1\n");
    struct { const char *name; int n; } fills[] = {
        {"sol", 0}, {"st", 1}, {"ost", 2}, {"rst", 3}, {"lst", 4}, {"vln", 5}, {"||", 5}, {"dlr", 6}, {"\\\\", 6},
        {"\\", 6}, {"drl", 7}, {"//", 7}, {"hln", 8}, {"--", 8}, {"hat", 9}, {"XX", 9}, {"clr", 10}, {"0%", 10},
        {"1%", 11}, {"9%", 19}, {"7", 7}, {"12", 12}, {"junk", 0}, {"HAT", 9},
    }, marks[] = {
        {"pnt", 1}, {".", 1}, {"plus", 2}, {"+", 2}, {"star", 3}, {"*", 3}, {"crcl", 4}, {"circle", 4}, {"o", 4},
        {"x", 5}, {"sqr", 6}, {"square", 6}, {"#", 6}, {"tri", 7}, {"^", 7}, {"triangle", 7}, {"itri", 9}, {"v", 9},
        {"dot", 8}, {"12", 12},
    };
    for (auto f : fills) EXPECT_EQ(ATTR_parse_fill_pat(f.name), f.n) << f.name;
    for (auto m : marks) EXPECT_EQ(ATTR_parse_marker(m.name), m.n) << m.name;
}

}  // namespace
