// Primitives on the window (pixels, clipping, messages, redraw) and the stroke fonts behind text.
#include "gks_test_util.h"

#include <array>

namespace {

using gkstest::box_of;
using gkstest::grab;

class GksPrim : public gkstest::WindowTest {
protected:
    GksPrim() { err_ = scratch_.file("gks.err"); }
    // World = pixels with y up: transform 1 maps 0..639 x 0..511 onto the whole 640 x 512 window.
    void setup() override {
        ginq_maxview(1, &xvp_, &yvp_);
        float page[4] = {0, xvp_, 0, yvp_}, world[4] = {0, 639, 0, 511};
        gset_ws_win(1, page), gset_vp(1, page), gset_win(1, world), gsel_norm_tran(1);
        red_ = (unsigned long)gget_color_ind(2);
    }
    static int py(int wy) { return 511 - wy; }
    static void line(float x1, float y1, float x2, float y2) { gpolyline(2, std::array<float, 4>{x1, y1, x2, y2}.data()); }
    static void rect(float x1, float y1, float x2, float y2) {
        gfill_area(5, std::array<float, 10>{x1, y1, x2, y1, x2, y2, x1, y2, x1, y1}.data());
    }
    unsigned long red_ = 0;
    float xvp_, yvp_;
};

TEST_F(GksPrim, LinesDashesAndTheViewportClip) {
    // One-pixel lines with butt ends: the pixel at the far end belongs to the next segment (x
    // 100..299; upwards in world = rows 501 up to 452).
    gset_line_colr_ind(2), line(100, 200, 300, 200), line(50, 10, 50, 60);
    auto pic = grab();
    for (int x = 100; x < 300; x++) ASSERT_EQ(pic.at(x, py(200)), red_) << x;
    for (int y = 11; y <= 60; y++) ASSERT_EQ(pic.at(50, py(y)), red_) << y;
    EXPECT_EQ(box_of(pic, red_).n, 200 + 50);
    // Line types 2 (6 on, 6 off) and 5 (2 on, 2 off) from the line's start; a reset brings back
    // solid lines on the window too (a dashed grid once left the map lines after it dashed).
    struct Case { int type, on, period, y; } cases[] = {{2, 6, 12, 400}, {5, 2, 4, 420}, {0, 1, 1, 440}};
    for (const auto &c : cases) {
        c.type ? gset_linetype(c.type) : (greset_line(), gset_line_colr_ind(2));
        line(0, (float)c.y, 119, (float)c.y), pic = grab();
        for (int x = 0; x < 119; x++) ASSERT_EQ(pic.at(x, py(c.y)) == red_, x % c.period < c.on) << c.type << " " << x;
    }
    // Left half of the page, same scale (world 0..319.5): the viewport edge is at pixel 319.5, the
    // clip x = 0, width round(319.5 + 1) = 321 pixels.
    float vp[4] = {0, 0.5f, 0, yvp_}, wn[4] = {0, 319.5f, 0, 511};
    gset_vp(1, vp), gset_win(1, wn), gset_line_colr_ind(2), line(10, 100, 600, 100);
    EXPECT_EQ(box_of(grab(), red_).x2, 320);
    int before = gnum_objs();
    float out[4] = {400, 100, 500, 100};
    EXPECT_EQ(std::vector<int>({gpolyline(2, out), gnum_objs(), gpolyline(1, out)}), std::vector<int>({0, before, -1}));
    EXPECT_EQ(gkstest::messages(err_), "gpolyline: invalid number of points: 1\n");
}

TEST_F(GksPrim, FillsCoverTheirAreaWithTheStipplePatterns) {
    gset_fill_colr_ind(2), rect(100, 100, 200, 150);
    auto b = box_of(grab(), red_);
    EXPECT_EQ(std::vector<long>({b.x1, b.y1, b.x2, b.y2, b.n}), std::vector<long>({100, py(150), 200, py(100), 101 * 51}));
    // Interior pixels follow the pattern's rows (published table, bit 7 leftmost) from the origin.
    gset_fill_int_style(2);
    struct Case { int style; float x; unsigned char rows[8]; } cases[] = {
        {0, 300, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, {1, 400, {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55}},
        {3, 300, {0x24, 0x11, 0x82, 0x48, 0x42, 0x11, 0x28, 0x84}}, {10, 500, {0, 0, 0, 0, 0, 0, 0, 0}},
        {11, 500, {0x40, 0x10, 0x20, 0x01, 0x00, 0x04, 0x08, 0x02}}, {19, 400, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto &c : cases) {
        gclear_ws(1, 1), gset_fill_style_ind(c.style), rect(c.x, 300, c.x + 40, 340);
        auto pic = grab();
        for (int y = py(335); y <= py(305); y++)
            for (int x = (int)c.x + 5; x <= (int)c.x + 35; x++)
                ASSERT_EQ(pic.at(x, y) == red_, (c.rows[y % 8] & (0x80 >> (x % 8))) != 0)
                    << "style " << c.style << " at " << x << "," << y;
    }
    EXPECT_EQ(gset_fill_style_ind(20), -1);
}

TEST_F(GksPrim, MarkersTakeTheirShapeSizeAndShadow) {
    // Device boxes (y down) of one marker at (100, 100) = pixel (100, 411): size 1 is 10 pixels.
    float white[3] = {1, 1, 1}, p[2] = {100, 100};
    gset_marker_colr_ind(2);
    struct Case { int type; float size; int x1, y1, x2, y2; long n; const char *why; } cases[] = {
        {2, 1, 95, 406, 104, 415, 19, "plus: strokes 95..105 each way, far end pixels left out"},
        {6, 2, 90, 401, 110, 421, 80, "square: the outline of 21 x 21 pixels"},
        {8, 1, 100, 411, 100, 411, 1, "dot: the one pixel"},
    };
    for (const auto &c : cases) {
        gclear_ws(1, 1), gset_marker_type(c.type), gset_marker_size(c.size), gpolymarker(1, p);
        auto b = box_of(grab(), red_);
        EXPECT_EQ(std::vector<long>({b.x1, b.y1, b.x2, b.y2, b.n}), std::vector<long>({c.x1, c.y1, c.x2, c.y2, c.n})) << c.why;
    }
    // Drop shadows in black on white: copies 0..2 pixels right and down, the first under the point.
    gset_colr_rep(1, -1, white), gclear_ws(1, 1), gset_font_drop(3), gpolymarker(1, p);
    auto pic = grab();
    unsigned long black = BlackPixel(gget_display(), gget_screen());
    EXPECT_EQ(std::vector<unsigned long>({pic.at(101, 412), pic.at(102, 413), pic.at(100, 411), (unsigned long)box_of(pic, black).n}),
              std::vector<unsigned long>({black, black, red_, 2}));
}

TEST_F(GksPrim, StrokeTextHasTheFontsWidthAndCapHeight) {
    // "H" of data/fonts/modern.fnt: stems at x 0 and 70 from y 35 (base) to 140 (cap), 25 apart.
    int a[2] = {0, 4}, c[2] = {2, 4};  // left or centre, base line
    float pos[2] = {100, 200};
    gset_text_colr_ind(2), gset_char_ht(105), gset_text_align(a), gtext(pos, "H");  // one font unit per pixel
    auto b = box_of(grab(), red_);
    EXPECT_EQ(std::vector<int>({b.x1, b.y1, b.x2, b.y2}), std::vector<int>({100, py(200) - 105, 170, py(200)}));
    EXPECT_EQ(std::vector<float>({gtext_width("H"), gtext_width("HH")}), std::vector<float>({70, 165}));
    // Centred "AB" starts half its width left of the point.
    gclear_ws(1, 1), gset_text_align(c), gtext(pos, "AB");
    float w = gtext_width("AB");
    b = box_of(grab(), red_);
    EXPECT_TRUE(std::abs(b.x1 - (100 - w / 2)) <= 1 && std::abs(b.x2 - (100 + w / 2)) <= 1) << b.x1 << " " << b.x2 << " " << w;
    // Up vector (1, 0): turned 90 degrees clockwise, the text runs down, the base line the
    // vertical through x 300, the cap line 20 right.
    float up[2] = {1, 0}, top[2] = {300, 450};
    gclear_ws(1, 1), gset_text_align(a), gset_char_up_vec(up), gset_char_ht(20), gtext(top, "HHHH");
    b = box_of(grab(), red_);
    EXPECT_GT(b.y2 - b.y1, 3 * (b.x2 - b.x1));
    EXPECT_EQ(std::vector<int>({b.x1, b.y1, b.x2}), std::vector<int>({300, py(450), 320}));
}

int user_calls = 0;
int user_redraw(void *data) { return user_calls += *(int *)data, 0; }

TEST_F(GksPrim, ReplayAfterWipeSegmentsAndSetterMessages) {
    float l[6] = {10, 10, 300, 200, 600, 20}, f[8] = {50, 300, 250, 300, 150, 480, 50, 300}, m[4] = {400, 400, 500, 300},
          pos[2] = {300, 100}, vp[4] = {0.5f, 0.8f, 0.1f, 0.5f};
    gset_line_colr_ind(2), gset_linetype(3), gpolyline(3, l);
    gset_fill_colr_ind(3), gset_fill_int_style(2), gset_fill_style_ind(4), gfill_area(4, f);
    gset_marker_colr_ind(4), gset_marker_type(4), gpolymarker(2, m);
    gset_text_colr_ind(1), gset_char_ht(30), gtext(pos, "Redraw 42");
    int k = 5;
    gset_vp(1, vp), gpolyline(3, l), gset_redraw_func(user_redraw, &k, sizeof k);
    auto before = grab();
    ASSERT_GT(box_of(before, red_).n, 100);
    XSetForeground(gget_display(), gget_root_gc(), gget_back_color());
    XFillRectangle(gget_display(), gget_base_window(), gget_root_gc(), 0, 0, 640, 512);
    ASSERT_EQ(box_of(grab(), red_).n, 0);
    int n = gnum_objs();
    user_calls = 0, gobj_redraw_plot();
    EXPECT_EQ(std::vector<int>({gnum_objs(), user_calls}), std::vector<int>({n, 5}));  // replay records nothing
    EXPECT_TRUE(grab() == before);
    // A segment's objects (its open and close too) go with it; with recording off nothing is kept.
    gcreate_seg(7), gpolyline(2, l), gpolyline(2, l), gclose_seg(7);
    std::vector<int> got{gnum_objs()};
    gdel_seg(7), got.push_back(gnum_objs()), gset_redraw(0), gpolyline(2, l), got.push_back(gnum_objs());
    EXPECT_EQ(got, std::vector<int>({n + 4, n, n}));
    // Setters refuse bad values with a message.
    struct Case { int (*call)(); const char *msg; } cases[] = {
        {[] { return gset_marker_size(-1); }, "gset_marker_size: invalid marker size: -1.000000\n"},
        {[] { return gset_marker_width(-2); }, "gset_marker_width: invalid marker width: -2.000000\n"},
        {[] { return gset_char_ht(-0.5f); }, "gset_char_ht: invalid character height: -0.500000\n"},
        {[] { return gset_expan(-1); }, "gset_expan: invalid expansion factor: -1.000000\n"},
        {[] { return gset_text_width(-3); }, "gset_text_width: invalid text width: -3.000000\n"},
        {[] { return gset_fill_style_ind(-1); }, "gset_fill_style_ind: invalid style index: -1\n"},
        {[] { return gset_text_colr_ind(600); }, "gset_text_colr_ind: invalid color index: 600\n"},
    };
    std::string want;
    for (auto &c : cases) { want += c.msg; EXPECT_EQ(c.call(), -1) << c.msg; }
    float p[4] = {0, 0, 1, 1};
    gclose_ws(1);  // with no workstation open the primitives refuse
    EXPECT_EQ(std::vector<int>({gpolyline(2, p), gtext(p, "x")}), std::vector<int>({-1, -1}));
    EXPECT_EQ(gkstest::messages(err_), want + "gpolyline: GKS not opened\ngtext: GKS not opened\n");
}

// Stroke font files and lists: text height 105 is one font unit a unit of width, glyphs 25 units
// apart.  A one-glyph font: "A" is a vertical stroke at x 0..20; `index` gives the index entry of
// every character (-1 none, 1 the stroke).
class GksFont : public gkstest::WindowTest {
protected:
    void setup() override { gset_char_ht(105), gset_expan(1), gset_char_space(0.25f), gset_space(0); }
    std::string font(const char *name, bool named, int (*index)(int) = [](int c) { return c == 'A' ? 1 : -1; }) {
        std::string o = named ? "1 tiny\n255 A\n" : "255\n";
        o += "128 35 20 140 254\n";
        for (int c = 0; c < 256; c++) o += std::to_string(index(c)) + (c % 16 == 15 ? "\n" : " ");
        return scratch_.write(name, o);
    }
};

TEST_F(GksFont, FilesListsAndServerFonts) {
    // "AA" 20 + 25 + 20; the blank 40 wide; B without a glyph 0 wide.
    struct Case { bool named; const char *text; float width; } cases[] = {
        {false, "A", 20}, {true, "A", 20}, {false, "AA", 65}, {false, "A A", 130}, {true, "ABA", 90}};
    for (auto &c : cases) {
        ASSERT_EQ(read_font(font("f.fnt", c.named).c_str()), 0);
        EXPECT_FLOAT_EQ(gtext_width(c.text), c.width) << c.text << " named " << c.named;
    }
    // Expansion scales glyphs and gaps; a fixed space gives every character (100 + 25) x the space.
    float expanded = (gset_expan(2), gtext_width("AA"));
    float spaced = (gset_expan(1), gset_space(0.5f), gtext_width("AAA"));
    EXPECT_EQ(std::vector<float>({expanded, spaced}), std::vector<float>({130, 3 * 62.5f}));
    gset_space(0);  // index entries pointing outside the table are missing glyphs
    ASSERT_EQ(read_font(font("wild.fnt", false, [](int c) { return c == 'A' ? 99999 : c == 'B' ? 1 : -7; }).c_str()), 0);
    EXPECT_EQ(std::vector<float>({gtext_width("A"), gtext_width("B")}), std::vector<float>({0, 20}));
    ASSERT_EQ(read_font(font("good.fnt", false).c_str()), 0);
    std::string big = "255 ";  // 15201 numbers, then the index
    for (int i = 0; i < 7600 + 256; i++) big += i < 7600 ? "1 35 " : i == 7600 ? "254\n-1 " : "-1 ";
    std::string bad[][2] = {{"big.fnt", big}, {"noend.fnt", "255 128 35 20 140\n"}, {"noindex.fnt", "255 128 35 20 140 254 1 2 3\n"},
                              {"badbyte.fnt", "255 128 35 300 140 254\n"}, {"words.fnt", "255 x y z 254\n"}, {"empty.fnt", ""}};
    for (auto &c : bad) {
        std::string f = scratch_.write(c[0], c[1]);
        std::string err = testutil::stderr_of([&] { EXPECT_EQ(read_font(f.c_str()), -1) << c[0]; });
        EXPECT_NE(err.find("read_font: font file does not fit the font table: " + f), std::string::npos) << err;
        EXPECT_FLOAT_EQ(gtext_width("A"), 20) << c[0];  // the old font stays
    }
    std::string missing = scratch_.file("missing.fnt");
    EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(read_font(missing.c_str()), -1); }), "read_font: unable to load font file: " + missing + "\n");
    gset_font_list("");  // the bundled list: modern first
    ASSERT_EQ(gsetup_fonts(), 0);
    float modern = gtext_width("Hello");
    EXPECT_GT(modern, 0);
    EXPECT_EQ(std::vector<int>({gget_font_index("SERIF"), gget_font_index("duplex"), gget_font_index("nosuch"), gget_font_index("4")}),
              std::vector<int>({3, 2, 1, 4}));
    int fp[2] = {3, 2}, badfp[2] = {6, 2};
    ASSERT_EQ(gset_fontprec(fp), 0);
    float serif = gtext_width("Hello");
    EXPECT_NE(serif, modern);
    EXPECT_NE(testutil::stderr_of([&] { EXPECT_EQ(gset_fontprec(badfp), -1); }).find("gset_fontprec: invalid font id: 6\n"), std::string::npos);
    gset_font_list("serif.fnt,modern.fnt");  // a comma list of files: the first loaded, no names
    ASSERT_EQ(gsetup_fonts(), 0);
    EXPECT_FLOAT_EQ(gtext_width("Hello"), serif);
    EXPECT_EQ(gget_font_index("modern"), 1);
    gset_font_list(("fi:" + scratch_.write("my.lst", "second duplex.fnt\nfirst modern.fnt\n")).c_str());
    ASSERT_EQ(gsetup_fonts(), 0);
    EXPECT_EQ(gget_font_index("FIRST"), 2);
    gset_font_list("fi:/no/such/list");  // unreadable list file: the message, then modern.fnt
    EXPECT_EQ(testutil::stderr_of([] { EXPECT_EQ(gsetup_fonts(), 0); }), "gsetup_fonts: unable to load font list file: /no/such/list\n");
    EXPECT_EQ(std::vector<float>({gtext_width("Hello"), (float)gget_font_index("serif")}), std::vector<float>({modern, 1}));
    gset_font_list("");
    EXPECT_EQ(read_font("#fixed"), 0);
    EXPECT_NE(testutil::stderr_of([] { EXPECT_EQ(read_font("#-no-such-font-*"), -1); }).find("read_font: unable to load font: -no-such-font-*"),
              std::string::npos);
    float pos[2] = {0.5f, 0.5f};
    gset_text_colr_ind(2), gtext(pos, "Server");
    auto b = box_of(grab(), (unsigned long)gget_color_ind(2));
    EXPECT_GT(b.n, 20);
    EXPECT_GE(b.x1, 255);  // left aligned at the point (x 255.5 of the 511 pixel square)
}

}  // namespace
