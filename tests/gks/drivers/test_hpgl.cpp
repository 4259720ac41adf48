// HPGL driver: start and end bytes in every mode, suppression of repeated
// settings, polyline line breaks, fills, and hp2xx renders compared with
// Ghostscript's render of the same drawing.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "drv_util.h"
#include "gks/drivers/devfile.h"
#include "gks/drivers/hpgl.h"
#include "gks/drivers/ps.h"

using testutil::read_file;
using testutil::ScratchDir;

namespace {

void unset_hp_env()
{
    for (const char *v : {"zyrhp_param", "zyrhp_out", "zyrhp_geometry", "PSCOLOR"}) unsetenv(v);
}

std::string empty_hpgl(const std::string &path, const char *options, GDRV_PAGE *page = nullptr)
{
    EXPECT_EQ(ghpgl_open_ws(path.c_str(), options, nullptr, page), 0);
    EXPECT_EQ(ghpgl_close_file(), 0);
    return read_file(path[0] == '+' ? path.substr(1) : path);
}

const std::string kPcl = "\x1B" "E\x1B%1B\x1B&l1O\n";
const std::string kPclEnd = "\x1B%0A\x1B" "E";

} // namespace

TEST(HpglDriver, StartAndEndInEveryMode)
{
    unset_hp_env();
    ScratchDir dir;
    struct Case {
        const char *options;
        std::string expected;
        float w, h;
    } cases[] = {
        {"", kPcl + "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n" + kPclEnd, 10150, 7612.5f},
        {"pcl", kPcl + "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n" + kPclEnd, 10150, 7612.5f},
        {"nopcl", "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n", 10150, 7612.5f},
        {"lj", kPcl + "IN;SP1;PA;\nRO90;\nPW1.0;SV;LT;\nSP;PG;\n" + kPclEnd, 7612.5f, 10150},
        {"nopcl,port", "IN;SP1;PA;\nRO90;\nPW1.0;SV;LT;\nSP;PG;\n", 7612.5f, 10150},
        {"NOPCL,rot=180,lwidth=2.5", "IN;SP1;PA;\nRO180;\nPW2.5;SV;LT;\nSP;PG;\n", 10150, 7612.5f},
        {"nopcl,rot=270,letter", "IN;SP1;PA;\nRO270;\nPW1.0;SV;LT;\nSP;PG;\n", 8119.99f, 10657.5f},
        {"nopcl,port,land,rot=45", "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n", 10150, 7612.5f},
    };
    int k = 0;
    for (const Case &c : cases) {
        GDRV_PAGE page{};
        EXPECT_EQ(empty_hpgl(dir.file(std::to_string(k++) + ".hpgl"), c.options, &page), c.expected) << c.options;
        EXPECT_NEAR(page.width, c.w, 0.02) << c.options;
        EXPECT_NEAR(page.height, c.h, 0.02) << c.options;
        EXPECT_FLOAT_EQ(page.xoff, 10) << c.options;
    }
    // Appending writes neither start nor end.
    std::string path = dir.file("a.hpgl");
    std::string before = empty_hpgl(path, "nopcl");
    ASSERT_EQ(ghpgl_open_ws(("+" + path).c_str(), "nopcl", nullptr, nullptr), 0);
    ghpgl_move_abs(1, 2);
    ghpgl_close_file();
    EXPECT_EQ(read_file(path), before + "PU1,2;");
    // hp2xx reads every variant and meets nothing unexpected.
    NEED_TOOL("hp2xx");
    for (k = 0; k < (int)std::size(cases); ++k) EXPECT_TRUE(drvtest::hp2xx_clean(dir.file(std::to_string(k) + ".hpgl"))) << cases[k].options;
}

TEST(HpglDriver, NewPageEndsThePageAndStartsTheNext)
{
    unset_hp_env();
    ScratchDir dir;
    std::string path = dir.file("pages.hpgl");
    const std::string start = "IN;SP1;PA;\nPW1.0;SV;LT;\n", end = "SP;PG;\n";
    for (const char *options : {"nopcl", "pcl"}) {
        const bool pcl = options[0] == 'p';
        ASSERT_EQ(ghpgl_open_ws(path.c_str(), options, nullptr, nullptr), 0);
        ghpgl_move_abs(1, 2);
        ASSERT_EQ(ghpgl_new_page(), 0);
        ghpgl_move_abs(3, 4);
        ASSERT_EQ(ghpgl_close_file(), 0);
        std::string page1 = (pcl ? kPcl : "") + start + "PU1,2;" + end + (pcl ? kPclEnd : "");
        std::string page2 = (pcl ? kPcl : "") + start + "PU3,4;" + end + (pcl ? kPclEnd : "");
        EXPECT_EQ(read_file(path), page1 + page2) << options;
    }
    // A plot appended to another file stays on that file's page.
    std::string before = read_file(path);
    ASSERT_EQ(ghpgl_open_ws(("+" + path).c_str(), "nopcl", nullptr, nullptr), 0);
    EXPECT_EQ(ghpgl_new_page(), -1);
    ASSERT_EQ(ghpgl_close_file(), 0);
    EXPECT_EQ(read_file(path), before);
}

TEST(HpglDriver, OutputNamesPlacementAndFailure)
{
    unset_hp_env();
    ScratchDir dir;
    setenv("zyrhp_out", dir.file("env.hpgl").c_str(), 1);
    setenv("zyrhp_param", "nopcl,port", 1);
    ASSERT_EQ(ghpgl_open_ws("", "rot=0", nullptr, nullptr), 0); // the fields override the variable
    ghpgl_close_file();
    EXPECT_EQ(read_file(dir.file("env.hpgl")), "IN;SP1;PA;\nPW1.0;SV;LT;\nSP;PG;\n");
    unset_hp_env();

    GDRV_PAGE page{};
    setenv("zyrhp_geometry", "400x300+100+50", 1);
    ASSERT_EQ(ghpgl_open_ws(dir.file("g.hpgl").c_str(), "", nullptr, &page), 0);
    ghpgl_close_file();
    EXPECT_FLOAT_EQ(page.width, 4060);
    EXPECT_FLOAT_EQ(page.height, 3045);
    EXPECT_FLOAT_EQ(page.xoff, 1025);
    EXPECT_FLOAT_EQ(page.yoff, 517.5f);
    // The "geometry" resource wins over the variable; "-" offsets are not
    // HPGL's form, so only the size is read.
    ASSERT_EQ(ghpgl_open_ws(dir.file("g.hpgl").c_str(), "", "100x100-5-5", &page), 0);
    ghpgl_close_file();
    EXPECT_FLOAT_EQ(page.width, 1015);
    EXPECT_FLOAT_EQ(page.xoff, 10);
    ASSERT_EQ(ghpgl_open_ws(dir.file("g.hpgl").c_str(), "", "+20+30", &page), 0);
    ghpgl_close_file();
    EXPECT_FLOAT_EQ(page.xoff, 213);
    EXPECT_FLOAT_EQ(page.yoff, 314.5f);
    unset_hp_env();

    EXPECT_EQ(ghpgl_open_ws(dir.file("none/x.hpgl").c_str(), "", nullptr, nullptr), -1);
    EXPECT_EQ(ghpgl_printf("PU;"), 0);
    ghpgl_polyline(2, std::vector<float>{0, 0, 1, 1}.data());
    EXPECT_EQ(ghpgl_close_file(), -1);
}

TEST(HpglDriver, SettingsLinesAndFills)
{
    unset_hp_env();
    ScratchDir dir;
    std::string path = dir.file("s.hpgl");
    ASSERT_EQ(ghpgl_open_ws(path.c_str(), "nopcl", nullptr, nullptr), 0);
    gps_set_color_rep(7, 0.0f, 0.0f, 1.0f); // gray 0.8 / 2.7: fill level 70
    ghpgl_printf("#\n");
    ghpgl_set_color(1);     // no shading already: nothing
    ghpgl_set_color(503);
    ghpgl_set_color(505);   // same level: nothing
    ghpgl_set_color(507);
    ghpgl_set_color(2);
    ghpgl_set_width(503, 1);
    ghpgl_set_width(505, 1); // four times
    ghpgl_set_width(505, 1);
    ghpgl_set_width(504, 1.5f);
    ghpgl_set_print_bold(3);
    ghpgl_set_width(1, 1.5f);
    ghpgl_set_type(1);
    ghpgl_set_type(4);
    ghpgl_set_type(4);
    ghpgl_set_type(0);
    ghpgl_set_fill_color(7);
    ghpgl_set_fill_color(7);
    ghpgl_set_fill_color(-1);
    ghpgl_set_print_solid(1);
    ghpgl_set_fill_color(7);
    std::vector<float> tri = {0, 0, 100.4f, 0, 50, 99.5f};
    ghpgl_polygon(3, tri.data());
    std::vector<float> line;
    for (int k = 0; k < 21; ++k) line.push_back((float)k), line.push_back((float)(2 * k));
    ghpgl_polyline(21, line.data());
    ghpgl_clip(10, 10, 500, 400);
    ghpgl_close_file();
    std::string text = read_file(path);
    std::string body = text.substr(text.find("#\n") + 2);
    std::string pts;
    for (int k = 0; k < 21; ++k) {
        pts += (k ? "PD" : "PU") + std::to_string(k) + "," + std::to_string(2 * k) + ";";
        if (k % 10 == 9 || k == 20) pts += "\n";
    }
    EXPECT_EQ(body, "SV1,0;\nSV1,30;\nSV;\nPW4.0;\nPW3.0;\nPW4.5;\nLT6,10,1;\n"
                    "FT10,70;\nFT10,0;\nFT1;\nPU0,0;PM0;PD100,0;PD50,100;PM1;PM2;FP;\n" +
                        pts + "IW 10,10,500,400;\nSP;PG;\n");
    NEED_TOOL("hp2xx");
    std::string log;
    EXPECT_TRUE(drvtest::hp2xx_clean(path, &log)) << log;
}

// hp2xx reads every command the driver writes (nothing unexpected), and its
// picture of a drawing matches Ghostscript's picture of the same drawing
// written as PostScript, once both are cropped to their ink.
TEST(HpglDriver, Hp2xxMatchesGhostscript)
{
    NEED_TOOL("hp2xx");
    NEED_TOOL("gs");
    NEED_TOOL("convert");
    unset_hp_env();
    ScratchDir dir;
    // The drawing in inches: a frame, a diagonal, a zigzag.
    std::vector<std::vector<float>> lines = {
        {0.5f, 0.5f, 6.5f, 0.5f, 6.5f, 4.5f, 0.5f, 4.5f, 0.5f, 0.5f},
        {0.5f, 0.5f, 6.5f, 4.5f},
        {1, 3, 2, 4, 3, 3, 4, 4, 5, 3, 6, 4},
    };
    std::string hp = dir.file("d.hpgl"), ps = dir.file("d.ps");
    ASSERT_EQ(ghpgl_open_ws(hp.c_str(), "nopcl", nullptr, nullptr), 0);
    ASSERT_EQ(gps_open_ws(ps.c_str(), "eps,port", nullptr, "T", nullptr, nullptr), 0);
    gps_set_width(1, 3);
    for (auto &l : lines) {
        std::vector<float> u(l.size());
        for (size_t k = 0; k < l.size(); ++k) u[k] = l[k] * 1015;
        ghpgl_set_color(1);
        ghpgl_polyline((int)l.size() / 2, u.data());
        gps_printf("np\n");
        for (size_t k = 0; k < l.size(); k += 2)
            (k ? gps_line_abs : gps_move_abs)(l[k] * 72, l[k + 1] * 72);
        gps_printf("stroke\n");
    }
    ghpgl_close_file();
    gps_close_file();

    std::string log = dir.file("hp2xx.log");
    std::string cmd = "hp2xx -m png -t -d 50 -p 1 -f " + dir.file("hp.png") + " " + hp + " >" + log + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string out = read_file(log);
    EXPECT_NE(out.find("Unexpected event(s):  0"), std::string::npos) << out;
    ASSERT_EQ(std::system(("convert " + dir.file("hp.png") + " " + dir.file("hp.ppm")).c_str()), 0);
    testutil::Raster a, b;
    ASSERT_TRUE(testutil::read_ppm(dir.file("hp.ppm"), &a));
    ASSERT_EQ(drvtest::render_ps(ps, 50, &b), 0);
    auto ca = drvtest::ink_crop(a), cb = drvtest::ink_crop(b);
    EXPECT_NEAR(ca.w, cb.w, 2);
    EXPECT_NEAR(ca.h, cb.h, 2);
    EXPECT_LE(drvtest::max_ink_distance(ca, cb), 2);
    EXPECT_LE(drvtest::max_ink_distance(cb, ca), 2);
}

// Turning the plotter by 90 or 270 degrees swaps the drawable's axes, so a
// frame round the whole drawable area stays on the 10.5 x 8 inch landscape
// sheet in every rotation: hp2xx (which applies "RO") measures it.
TEST(HpglDriver, RotatedDrawablesStayOnTheSheet)
{
    NEED_TOOL("hp2xx");
    unset_hp_env();
    ScratchDir dir;
    for (const char *options : {"nopcl", "nopcl,port", "nopcl,rot=180", "nopcl,rot=270", "lj"}) {
        std::string hp = dir.file("r.hpgl");
        GDRV_PAGE p{};
        ASSERT_EQ(ghpgl_open_ws(hp.c_str(), options, nullptr, &p), 0);
        std::vector<float> frame = {p.xoff, p.yoff, p.xoff + p.width, p.yoff, p.xoff + p.width, p.yoff + p.height,
                                    p.xoff, p.yoff + p.height, p.xoff, p.yoff};
        ghpgl_polyline(5, frame.data());
        ghpgl_close_file();
        std::string log = dir.file("r.log");
        ASSERT_EQ(std::system(("hp2xx -m png -t -d 10 -f " + dir.file("r.png") + " " + hp + " >" + log + " 2>&1").c_str()), 0);
        std::string out = read_file(log);
        float w = 0, h = 0;
        size_t at = out.find("Width  x  height:");
        ASSERT_NE(at, std::string::npos) << out;
        ASSERT_EQ(std::sscanf(out.c_str() + at, "Width  x  height: %f x %f", &w, &h), 2);
        EXPECT_LE(w, 10.5f * 25.4f) << options;
        EXPECT_LE(h, 8.0f * 25.4f) << options;
        EXPECT_GT(w, 9.9f * 25.4f) << options; // and it fills the sheet's long side
    }
}
