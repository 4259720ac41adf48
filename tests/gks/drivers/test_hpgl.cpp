// HPGL driver: every mode (each read by hp2xx), settings written on change,
// line breaks, fills, options and placement.
#include <cstdio>
#include <functional>

#include "drv_util.h"
#include "gks/drivers/hpgl.h"
#include "gks/drivers/ps.h"

using testutil::read_file;

namespace {

const std::string kPcl = "\x1B" "E\x1B%1B\x1B&l1O\n", kPclEnd = "\x1B%0A\x1B" "E";

class HpglDriver : public ::testing::Test {
protected:
    // Opens name ("+name" appends), draws, closes; the file.
    std::string plot(const std::string &name, const char *options, const std::function<void()> &draw = {},
                     GDRV_PAGE *page = nullptr, const char *geometry = nullptr) {
        std::string path = dir_.file(name.substr(name[0] == '+'));
        EXPECT_EQ(ghpgl_open_ws((name[0] == '+' ? "+" + path : path).c_str(), options, geometry, page), 0);
        if (draw) draw();
        EXPECT_EQ(ghpgl_close_file(), 0);
        return read_file(path);
    }
    testutil::ScratchDir dir_;
};

// Every setting the driver has, each repeated (colour 7 is gray 0.8 / 2.7:
// fill level 70), a filled triangle and 21 points of polyline.
void settings() {
    gps_set_color_rep(7, 0.0f, 0.0f, 1.0f);
    ghpgl_printf("#\n");
    ghpgl_set_color(1), ghpgl_set_color(503), ghpgl_set_color(505), ghpgl_set_color(507), ghpgl_set_color(2);
    ghpgl_set_width(503, 1), ghpgl_set_width(505, 1), ghpgl_set_width(505, 1), ghpgl_set_width(504, 1.5f);
    ghpgl_set_print_bold(3), ghpgl_set_width(1, 1.5f);
    ghpgl_set_type(1), ghpgl_set_type(4), ghpgl_set_type(4), ghpgl_set_type(0);
    ghpgl_set_fill_color(7), ghpgl_set_fill_color(7), ghpgl_set_fill_color(-1);
    ghpgl_set_print_solid(1), ghpgl_set_fill_color(7), ghpgl_set_print_solid(0);
    std::vector<float> tri = {0, 0, 100.4f, 0, 50, 99.5f}, line;
    ghpgl_polygon(3, tri.data());
    for (int k = 0; k < 21; ++k) line.push_back((float)k), line.push_back((float)(2 * k));
    ghpgl_polyline(21, line.data());
    ghpgl_clip(10, 10, 500, 400);
}

// Sizes in plotter units (1015 an inch), the margin 10 units.
struct Mode {
    const char *options;
    std::string file, page;
} const kModes[] = {
    {"", kPcl + "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n" + kPclEnd, "10150x7612.5+10+10"},
    {"pcl", kPcl + "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n" + kPclEnd, "10150x7612.5+10+10"},
    {"nopcl", "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n", "10150x7612.5+10+10"},
    {"lj", kPcl + "IN;SP1;PA;\nRO90;\nPW1.0;SV;LT;\nSP;PG;\n" + kPclEnd, "7612.5x10150+10+10"},
    {"nopcl,port", "IN;SP1;PA;\nRO90;\nPW1.0;SV;LT;\nSP;PG;\n", "7612.5x10150+10+10"},
    {"NOPCL,rot=180,lwidth=2.5", "IN;SP1;PA;\nRO180;\nPW2.5;SV;LT;\nSP;PG;\n", "10150x7612.5+10+10"},
    {"nopcl,rot=270,letter", "IN;SP1;PA;\nRO270;\nPW1.0;SV;LT;\nSP;PG;\n", "8120x10657.5+10+10"},
    {"nopcl,port,land,rot=45", "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n", "10150x7612.5+10+10"},
};

} // namespace

// A new page ends one and starts the next; appending writes neither start
// nor end and keeps the other file's page.
TEST_F(HpglDriver, StartAndEndInEveryMode) {
    for (const Mode &c : kModes) {
        GDRV_PAGE page{};
        EXPECT_EQ(plot("m.hpgl", c.options, {}, &page), c.file) << c.options;
        EXPECT_EQ(drvtest::page_text(page), c.page) << c.options;
    }
    std::string start = kPcl + "IN;SP1;PA;\nPW1.0;SV;LT;\n", end = "SP;PG;\n" + kPclEnd;
    std::string two = plot("a.hpgl", "pcl", [] { ghpgl_move_abs(1, 2); EXPECT_EQ(ghpgl_new_page(), 0); ghpgl_move_abs(3, 4); });
    EXPECT_EQ(two, start + "PU1,2;" + end + start + "PU3,4;" + end);
    EXPECT_EQ(plot("+a.hpgl", "nopcl", [] { ghpgl_move_abs(5, 6); EXPECT_EQ(ghpgl_new_page(), -1); }), two + "PU5,6;");
}

// hp2xx reads every mode with every setting, meeting nothing unexpected; it
// applies "RO" and measures a frame round the whole drawable area as the
// page's long by short side at 40 units a mm (the driver's 1015 an inch is
// 1016's) with a quarter mm of pen.
TEST_F(HpglDriver, Hp2xxReadsEveryMode) {
    NEED_TOOL("hp2xx");
    for (const Mode &c : kModes) {
        SCOPED_TRACE(c.options);
        GDRV_PAGE p{};
        plot("r.hpgl", c.options, [&] {
            std::vector<float> frame = {p.xoff, p.yoff, p.xoff + p.width, p.yoff, p.xoff + p.width, p.yoff + p.height,
                                        p.xoff, p.yoff + p.height, p.xoff, p.yoff};
            ghpgl_polyline(5, frame.data()), settings();
        }, &p);
        std::string f = dir_.file("r.hpgl"), log;
        EXPECT_EQ(testutil::shell("hp2xx -m png -t -d 10 -f " + f + ".png " + f + " >" + f + ".log 2>&1").status, 0);
        float w = 0, h = 0;
        size_t at = (log = read_file(f + ".log")).find("Width  x  height:");
        EXPECT_NE(log.find("Unexpected event(s):  0"), std::string::npos) << log;
        ASSERT_TRUE(at != std::string::npos && std::sscanf(log.c_str() + at, "Width  x  height: %f x %f", &w, &h) == 2) << log;
        EXPECT_NEAR(w, std::max(p.width, p.height) / 40, 0.3);
        EXPECT_NEAR(h, std::min(p.width, p.height) / 40, 0.3);
    }
}

// The environment's options come first, the connection's override them;
// placement in pixels of 0.1 inch (10.15 units) from the variable or the
// resource ("-" offsets are not HPGL's form: only the size is read); nothing
// written, and nothing fails, without an open file; settings on change.
TEST_F(HpglDriver, OptionsPlacementAndSettings) {
    setenv("zyrhp_param", "nopcl,port", 1);
    EXPECT_EQ(plot("e.hpgl", "rot=0"), "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n");
    GDRV_PAGE page{};
    unsetenv("zyrhp_param"), setenv("zyrhp_geometry", "400x300+100+50", 1);
    plot("g.hpgl", "", {}, &page);
    EXPECT_EQ(drvtest::page_text(page), "4060x3045+1025+517.5");
    plot("g.hpgl", "", {}, &page, "100x100-5-5");
    EXPECT_EQ(drvtest::page_text(page), "1015x1015+10+10");
    plot("g.hpgl", "", {}, &page, "+20+30");
    EXPECT_EQ(drvtest::page_text(page), "10150x7612.5+213+314.5");
    EXPECT_EQ(ghpgl_printf("PU;"), 0);
    ghpgl_polyline(2, std::vector<float>{0, 0, 1, 1}.data());
    EXPECT_EQ(ghpgl_close_file(), -1);
    // Widths: 505 four times, 504 twice, print-bold 3 x 1.5; line type 4 is "LT6,10,1"; a break after every tenth point.
    std::string text = plot("s.hpgl", "nopcl", settings);
    EXPECT_EQ(text.substr(text.find("#\n") + 2),
              "SV1,0;\nSV1,30;\nSV;\nPW4.0;\nPW3.0;\nPW4.5;\nLT6,10,1;\nFT10,70;\nFT10,0;\nFT1;\n"
              "PU0,0;PM0;PD100,0;PD50,100;PM1;PM2;FP;\nPU0,0;PD1,2;PD2,4;PD3,6;PD4,8;PD5,10;PD6,12;PD7,14;PD8,16;PD9,18;\n"
              "PD10,20;PD11,22;PD12,24;PD13,26;PD14,28;PD15,30;PD16,32;PD17,34;PD18,36;PD19,38;\nPD20,40;\n"
              "IW 10,10,500,400;\nSP;PG;\n");
}

