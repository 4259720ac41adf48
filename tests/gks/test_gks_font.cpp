// Stroke font files and font lists: the reader on good, named, oversized
// and cut-short files, and the list forms with their fallbacks.
#include "../test_support.h"
#include "gks_test_util.h"

namespace {

// Text setters need an open workstation: the window on $DISPLAY.  Text
// height 105 is one font unit a unit of width, glyphs 25 units apart.
class GksFont : public gkstest::WindowTest {
protected:
    void setup() override { gset_char_ht(105), gset_expan(1), gset_char_space(0.25f), gset_space(0); }
    testutil::ScratchDir dir;
};

// A one-glyph font: "A" is a vertical stroke at x 0..20; `index` gives the
// index entry of every character (-1 none, 1 the stroke).
std::string font(bool named, int (*index)(int) = [](int c) { return c == 'A' ? 1 : -1; }) {
    std::string o = named ? "1 tiny\n255 A\n" : "255\n";
    o += "128 35 20 140 254\n";
    for (int c = 0; c < 256; c++) o += std::to_string(index(c)) + (c % 16 == 15 ? "\n" : " ");
    return o;
}

TEST_F(GksFont, ReadsPlainAndNamedFilesAndMeasuresGlyphs) {
    // "AA" 20 + 25 + 20; the blank 40 wide; B without a glyph 0 wide.
    struct Case { bool named; const char *text; float width; } cases[] = {
        {false, "A", 20}, {true, "A", 20}, {false, "AA", 65}, {false, "A A", 130}, {true, "ABA", 90}};
    for (auto &c : cases) {
        std::string f = dir.write(c.named ? "n.fnt" : "p.fnt", font(c.named));
        ASSERT_EQ(read_font(f.c_str()), 0);
        EXPECT_FLOAT_EQ(gtext_width(c.text), c.width) << c.text << " named " << c.named;
    }
    // Expansion scales glyphs and gaps; a fixed space gives every character
    // (100 + 25) x the space.
    gset_expan(2);
    EXPECT_FLOAT_EQ(gtext_width("AA"), 130);
    gset_expan(1), gset_space(0.5f);
    EXPECT_FLOAT_EQ(gtext_width("AAA"), 3 * 62.5f);
    // Index entries pointing outside the table are taken as missing glyphs.
    gset_space(0);
    std::string w = dir.write("wild.fnt", font(false, [](int c) { return c == 'A' ? 99999 : c == 'B' ? 1 : -7; }));
    ASSERT_EQ(read_font(w.c_str()), 0);
    EXPECT_FLOAT_EQ(gtext_width("A"), 0);
    EXPECT_FLOAT_EQ(gtext_width("B"), 20);
}

TEST_F(GksFont, RefusesFilesThatDoNotFitOrEndEarly) {
    ASSERT_EQ(read_font(dir.write("good.fnt", font(false)).c_str()), 0);
    std::string big = "255 ";
    for (int i = 0; i < 7600; i++) big += "1 35 ";  // 15201 numbers
    big += "254\n";
    for (int c = 0; c < 256; c++) big += "-1 ";
    std::string cases[][2] = {{"big.fnt", big}, {"noend.fnt", "255 128 35 20 140\n"}, {"noindex.fnt", "255 128 35 20 140 254 1 2 3\n"},
                              {"badbyte.fnt", "255 128 35 300 140 254\n"}, {"words.fnt", "255 x y z 254\n"}, {"empty.fnt", ""}};
    for (auto &c : cases) {
        std::string f = dir.write(c[0], c[1]);
        testing::internal::CaptureStderr();
        EXPECT_EQ(read_font(f.c_str()), -1) << c[0];
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("read_font: font file does not fit the font table: " + f), std::string::npos) << err;
        EXPECT_FLOAT_EQ(gtext_width("A"), 20) << c[0];  // the old font stays
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_font(dir.file("missing.fnt").c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "read_font: unable to load font file: " + dir.file("missing.fnt") + "\n");
}

TEST_F(GksFont, FontListFormsAndFallbacks) {
    // The bundled list: modern first.
    gset_font_list("");
    ASSERT_EQ(gsetup_fonts(), 0);
    float modern = gtext_width("Hello");
    EXPECT_GT(modern, 0);
    const std::pair<const char *, int> index[] = {{"SERIF", 3}, {"duplex", 2}, {"nosuch", 1}, {"4", 4}};
    for (auto [name, n] : index) EXPECT_EQ(gget_font_index(name), n) << name;
    int fp[2] = {3, 2}, bad[2] = {6, 2};
    ASSERT_EQ(gset_fontprec(fp), 0);
    float serif = gtext_width("Hello");
    EXPECT_NE(serif, modern);
    testing::internal::CaptureStderr();
    EXPECT_EQ(gset_fontprec(bad), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("gset_fontprec: invalid font id: 6\n"), std::string::npos);

    // A comma list of files: the first is loaded, names are empty.
    gset_font_list("serif.fnt,modern.fnt");
    ASSERT_EQ(gsetup_fonts(), 0);
    EXPECT_FLOAT_EQ(gtext_width("Hello"), serif);
    EXPECT_EQ(gget_font_index("modern"), 1);

    // "fi:" list file of name/file lines.
    gset_font_list(("fi:" + dir.write("my.lst", "second duplex.fnt\nfirst modern.fnt\n")).c_str());
    ASSERT_EQ(gsetup_fonts(), 0);
    EXPECT_EQ(gget_font_index("FIRST"), 2);

    // An unreadable list file: the message, then modern.fnt.
    gset_font_list("fi:/no/such/list");
    testing::internal::CaptureStderr();
    EXPECT_EQ(gsetup_fonts(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "gsetup_fonts: unable to load font list file: /no/such/list\n");
    EXPECT_FLOAT_EQ(gtext_width("Hello"), modern);
    EXPECT_EQ(gget_font_index("serif"), 1);
    gset_font_list("");
}

TEST_F(GksFont, ServerFontsByHashName) {
    EXPECT_EQ(read_font("#fixed"), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_font("#-no-such-font-*"), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("read_font: unable to load font: -no-such-font-*"),
              std::string::npos);
    gset_text_colr_ind(2);
    float pos[2] = {0.5f, 0.5f};
    gtext(pos, "Server");
    auto b = gkstest::box_of(gkstest::grab(), (unsigned long)gget_color_ind(2));
    EXPECT_GT(b.n, 20);
    EXPECT_GE(b.x1, 255);  // left aligned at the point (x 255.5 of the 511 pixel square)
}

}  // namespace
