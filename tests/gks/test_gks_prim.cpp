// Primitives on the window: the pixels lines, fills, markers and text set
// in the picture, clipping, and redraw from the display list.
#include "../test_support.h"
#include "gks_test_util.h"

#include <cstring>
#include <fstream>

namespace {

using gkstest::box_of;
using gkstest::grab;
using gkstest::picture_pixel;

class GksPrim : public ::testing::Test {
protected:
    void SetUp() override {
        const char *d = getenv("DISPLAY");
        if (!d) GTEST_SKIP() << "no X display";
        err_ = dir_.file("gks.err");
        ASSERT_TRUE(gkstest::open_window(d, err_));
        gkstest::basic_colours();
        // World = pixels with y up: transform 1 maps 0..639 x 0..511 onto the
        // whole 640 x 512 window (the page is 1 x 511/639 in NDC).
        float xvp, yvp;
        ginq_maxview(1, &xvp, &yvp);
        float page[4] = {0, xvp, 0, yvp}, world[4] = {0, 639, 0, 511};
        gset_ws_win(1, page);
        gset_vp(1, page);
        gset_win(1, world);
        gsel_norm_tran(1);
        red_ = (unsigned long)gget_color_ind(2);
        back_ = (unsigned long)gget_back_color();
    }
    void TearDown() override {
        gclose_ws(1);
        gclose_gks();
    }
    static int py(int wy) { return 511 - wy; }
    testutil::ScratchDir dir_;
    std::string err_;
    unsigned long red_ = 0, back_ = 0;
};

TEST_F(GksPrim, LinesLandOnTheirPixelsAndDashesFollowTheTable) {
    ASSERT_FLOAT_EQ(xW_p(100), 100);
    ASSERT_FLOAT_EQ(yW_p(200), 311);
    gset_line_colr_ind(2);
    float h[4] = {100, 200, 300, 200};
    gpolyline(2, h);
    float v[4] = {50, 10, 50, 60};
    gpolyline(2, v);
    // One-pixel lines with butt ends: the pixel at the far end belongs to
    // the next segment (x 100..299; upwards in world = rows 501 up to 452).
    auto pic = grab();
    for (int x = 100; x < 300; x++) EXPECT_EQ(pic.at(x, py(200)), red_) << x;
    EXPECT_NE(pic.at(99, py(200)), red_);
    EXPECT_NE(pic.at(300, py(200)), red_);
    EXPECT_NE(pic.at(200, py(201)), red_);
    for (int y = 11; y <= 60; y++) EXPECT_EQ(pic.at(50, py(y)), red_) << y;
    EXPECT_EQ(box_of(pic, red_).n, 200 + 50);

    // Type 2: 6 on, 6 off from the start of the line.
    gset_linetype(2);
    float d[4] = {0, 400, 119, 400};
    gpolyline(2, d);
    pic = grab();
    for (int x = 0; x < 120; x++) EXPECT_EQ(pic.at(x, py(400)) == red_, (x % 12) < 6) << x;
    // Type 5: 2 on, 2 off.
    gset_linetype(5);
    float e[4] = {0, 420, 39, 420};
    gpolyline(2, e);
    pic = grab();
    for (int x = 0; x < 40; x++) EXPECT_EQ(pic.at(x, py(420)) == red_, (x % 4) < 2) << x;
    // A reset brings back solid lines on the window too (a dashed grid once
    // left the map lines drawn after it dashed).
    greset_line();
    gset_line_colr_ind(2);
    float r[4] = {0, 440, 39, 440};
    gpolyline(2, r);
    pic = grab();
    for (int x = 0; x < 39; x++) EXPECT_EQ(pic.at(x, py(440)), red_) << x;
}

TEST_F(GksPrim, ClipCutsAtTheViewportAndOutsideLinesAreSkipped) {
    float xvp, yvp;
    ginq_maxview(1, &xvp, &yvp);
    // Left half of the page, same scale: world 0..319.5.
    float vp[4] = {0, 0.5f, 0, yvp}, wn[4] = {0, 319.5f, 0, 511};
    gset_vp(1, vp);
    gset_win(1, wn);
    gset_line_colr_ind(2);
    float l[4] = {10, 100, 600, 100};
    gpolyline(2, l);
    // The viewport edge is at pixel 319.5: the clip is x = 0, width
    // round(319.5 + 1) = 321 pixels.
    auto pic = grab();
    EXPECT_EQ(pic.at(320, py(100)), red_);
    EXPECT_NE(pic.at(321, py(100)), red_);
    EXPECT_EQ(box_of(pic, red_).x2, 320);
    int before = gnum_objs();
    float out[4] = {400, 100, 500, 100};
    EXPECT_EQ(gpolyline(2, out), 0);
    EXPECT_EQ(gnum_objs(), before);  // not even recorded
    float one[2] = {1, 1};
    EXPECT_EQ(gpolyline(1, one), -1);
    gclose_gks();
    EXPECT_EQ(gkstest::slurp(err_), "gpolyline: invalid number of points: 1\n");
    gopen_gks(nullptr, 0);
}

TEST_F(GksPrim, FillsCoverTheirAreaWithTheStipplePatterns) {
    gset_fill_colr_ind(2);
    auto rect = [](float x1, float y1, float x2, float y2) {
        float p[10] = {x1, y1, x2, y1, x2, y2, x1, y2, x1, y1};
        gfill_area(5, p);
    };
    rect(100, 100, 200, 150);
    auto pic = grab();
    auto b = box_of(pic, red_);
    EXPECT_EQ(b.x1, 100);
    EXPECT_EQ(b.x2, 200);
    EXPECT_EQ(b.y1, py(150));
    EXPECT_EQ(b.y2, py(100));
    EXPECT_EQ(b.n, 101L * 51L);

    gset_fill_int_style(2);
    struct Case {
        int style;
        float x;
    } cases[] = {{0, 300}, {19, 400}, {10, 500}, {3, 300}, {1, 400}, {11, 500}};
    for (int k = 0; k < 6; k++) {
        gclear_ws(1, 1);
        gset_fill_style_ind(cases[k].style);
        rect(cases[k].x, 300, cases[k].x + 40, 340);
        pic = grab();
        const unsigned char *rows = gget_fill_pattern(cases[k].style);
        // Interior pixels follow the pattern bits, anchored at the picture origin.
        for (int y = py(335); y <= py(305); y++)
            for (int x = (int)cases[k].x + 5; x <= (int)cases[k].x + 35; x++) {
                bool on = rows[y % 8] & (0x80 >> (x % 8));
                ASSERT_EQ(pic.at(x, y) == red_, on) << "style " << cases[k].style << " at " << x << "," << y;
            }
    }
    EXPECT_EQ(gset_fill_style_ind(20), -1);
}

TEST_F(GksPrim, MarkersTakeTheirShapeSizeAndShadow) {
    gset_marker_colr_ind(2);
    gset_marker_size(1.0f);  // 10 pixels: half size 5
    gset_marker_type(2);
    float p[2] = {100, 100};
    gpolymarker(1, p);
    auto pic = grab();
    auto b = box_of(pic, red_);
    // Strokes (95..105, y) and (x, 95..105) in device pixels (y down), far
    // end pixels left out.
    EXPECT_EQ(b.x1, 95);
    EXPECT_EQ(b.x2, 104);
    EXPECT_EQ(b.y1, py(100) - 5);
    EXPECT_EQ(b.y2, py(100) + 4);
    EXPECT_EQ(b.n, 19);
    gclear_ws(1, 1);
    gset_marker_type(6);
    gset_marker_size(2.0f);
    gpolymarker(1, p);
    pic = grab();
    b = box_of(pic, red_);
    EXPECT_EQ(b.x2 - b.x1, 20);
    EXPECT_EQ(b.y2 - b.y1, 20);
    EXPECT_EQ(b.n, 80);  // outline of a 21 x 21 square
    gclear_ws(1, 1);
    gset_marker_type(8);
    float pts[6] = {10, 10, 20, 30, 600, 500};
    gpolymarker(3, pts);
    pic = grab();
    EXPECT_EQ(box_of(pic, red_).n, 3);
    EXPECT_EQ(pic.at(20, py(30)), red_);
    // Drop shadows in black on a white background: copies of the point
    // 0..2 pixels right and down, the first hidden under the point itself.
    float white[3] = {1, 1, 1};
    gset_colr_rep(1, -1, white);
    gclear_ws(1, 1);
    gset_font_drop(3);
    gpolymarker(1, p);
    pic = grab();
    unsigned long black = BlackPixel(gget_display(), gget_screen());
    EXPECT_EQ(pic.at(101, py(100) + 1), black);
    EXPECT_EQ(pic.at(102, py(100) + 2), black);
    EXPECT_EQ(pic.at(100, py(100)), red_);
    EXPECT_EQ(box_of(pic, black).n, 2);
    gset_font_drop(0);
}

// Glyph width of a character read straight from the font file.
int file_width(const std::string &path, unsigned char c) {
    std::ifstream f(path);
    std::vector<long> v;
    long x;
    while (f >> x) v.push_back(x);
    size_t end = 0;
    while (v[end] != 254) end++;
    long at = v[end + 1 + c];
    int w = 0;
    for (long i = at; v[i] != 255 && v[i] != 254; i += 2) w = std::max<long>(w, v[i] >= 128 ? v[i] - 128 : v[i]);
    return w;
}

TEST_F(GksPrim, StrokeTextHasTheFontsWidthAndCapHeight) {
    gset_text_colr_ind(2);
    gset_char_ht(105);  // one font unit per pixel
    int a[2] = {0, 4};  // base line
    gset_text_align(a);
    float pos[2] = {100, 200};
    gtext(pos, "H");
    auto pic = grab();
    auto b = box_of(pic, red_);
    int wH = file_width(std::string(ZYR_SOURCE_DIR) + "/data/fonts/modern.fnt", 'H');
    EXPECT_EQ(b.x1, 100);
    EXPECT_EQ(b.x2 - b.x1, wH);
    EXPECT_EQ(b.y2, py(200));        // base line
    EXPECT_EQ(b.y2 - b.y1, 105);     // cap line 105 units up
    EXPECT_NEAR(gtext_width("H"), wH, 1e-3);
    // "HH": two glyphs and one gap of 25 units.
    EXPECT_NEAR(gtext_width("HH"), 2 * wH + 25, 1e-3);

    // Centred "AB" starts half its width left of the point.
    gclear_ws(1, 1);
    int c[2] = {2, 4};
    gset_text_align(c);
    float w = gtext_width("AB");
    gtext(pos, "AB");
    b = box_of(grab(), red_);
    EXPECT_NEAR(b.x1, 100 - w / 2, 1.0);
    EXPECT_NEAR(b.x2, 100 + w / 2, 1.0);

    // Up vector (1, 0): the text runs downwards.
    gclear_ws(1, 1);
    int l[2] = {0, 4};
    gset_text_align(l);
    float up[2] = {1, 0};
    gset_char_up_vec(up);
    gset_char_ht(20);
    float top[2] = {300, 450};
    gtext(top, "HHHH");
    b = box_of(grab(), red_);
    EXPECT_GT(b.y2 - b.y1, 3 * (b.x2 - b.x1));
    // Turned 90 degrees clockwise: the base line is the vertical through
    // x 300 and the cap line lies 20 units to its right.
    EXPECT_EQ(b.y1, py(450));
    EXPECT_EQ(b.x1, 300);
    EXPECT_EQ(b.x2, 320);
}

TEST_F(GksPrim, SetterValidationMessages) {
    struct Case {
        int (*call)();
        const char *msg;
    } cases[] = {
        {[] { return gset_marker_size(-1); }, "gset_marker_size: invalid marker size: -1.000000\n"},
        {[] { return gset_marker_width(-2); }, "gset_marker_width: invalid marker width: -2.000000\n"},
        {[] { return gset_char_ht(-0.5f); }, "gset_char_ht: invalid character height: -0.500000\n"},
        {[] { return gset_expan(-1); }, "gset_expan: invalid expansion factor: -1.000000\n"},
        {[] { return gset_text_width(-3); }, "gset_text_width: invalid text width: -3.000000\n"},
        {[] { return gset_fill_style_ind(-1); }, "gset_fill_style_ind: invalid style index: -1\n"},
        {[] { return gset_text_colr_ind(600); }, "gset_text_colr_ind: invalid color index: 600\n"},
    };
    std::string want;
    for (auto &c : cases) {
        EXPECT_EQ(c.call(), -1) << c.msg;
        want += c.msg;
    }
    gclose_gks();
    EXPECT_EQ(gkstest::slurp(err_), want);
    gopen_gks(nullptr, 0);
    // With no workstation open the primitives refuse.
    gclose_ws(1);
    testutil::ScratchDir d2;
    std::string e2 = d2.file("e");
    gclose_gks();
    gopen_gks(e2.c_str(), 0);
    float p[4] = {0, 0, 1, 1};
    EXPECT_EQ(gpolyline(2, p), -1);
    EXPECT_EQ(gtext(p, "x"), -1);
    gclose_gks();
    EXPECT_EQ(gkstest::slurp(e2), "gpolyline: GKS not opened\ngtext: GKS not opened\n");
    gopen_gks(nullptr, 0);
}

int user_calls = 0;
int user_redraw(void *data) {
    user_calls += *(int *)data;
    return 0;
}

TEST_F(GksPrim, ReplayAfterWipeGivesIdenticalPixels) {
    gset_line_colr_ind(2);
    gset_linetype(3);
    float l[6] = {10, 10, 300, 200, 600, 20};
    gpolyline(3, l);
    gset_fill_colr_ind(3);
    gset_fill_int_style(2);
    gset_fill_style_ind(4);
    float f[8] = {50, 300, 250, 300, 150, 480, 50, 300};
    gfill_area(4, f);
    gset_marker_colr_ind(4);
    gset_marker_type(4);
    float m[4] = {400, 400, 500, 300};
    gpolymarker(2, m);
    gset_text_colr_ind(1);
    gset_char_ht(30);
    float pos[2] = {300, 100};
    gtext(pos, "Redraw 42");
    float vp[4] = {0.5f, 0.8f, 0.1f, 0.5f};
    gset_vp(1, vp);
    gpolyline(3, l);
    int k = 5;
    gset_redraw_func(user_redraw, &k, sizeof k);
    auto before = grab();
    ASSERT_GT(box_of(before, red_).n, 100);

    XSetForeground(gget_display(), gget_root_gc(), back_);
    XFillRectangle(gget_display(), gget_base_window(), gget_root_gc(), 0, 0, 640, 512);
    ASSERT_EQ(box_of(grab(), red_).n, 0);
    user_calls = 0;
    int n = gnum_objs();
    gobj_redraw_plot();
    EXPECT_EQ(gnum_objs(), n);  // replay records nothing
    EXPECT_EQ(user_calls, 5);
    EXPECT_TRUE(grab() == before);
}

TEST_F(GksPrim, SegmentDeletionRemovesItsObjects) {
    gset_line_colr_ind(2);
    float l[4] = {0, 0, 10, 10};
    gpolyline(2, l);
    int n0 = gnum_objs();
    gcreate_seg(7);
    gpolyline(2, l);
    gpolyline(2, l);
    gclose_seg(7);
    EXPECT_EQ(gnum_objs(), n0 + 4);
    gdel_seg(7);
    EXPECT_EQ(gnum_objs(), n0);
    // Recording off: nothing is kept.
    gset_redraw(0);
    gpolyline(2, l);
    EXPECT_EQ(gnum_objs(), n0);
}

}  // namespace
