// PostScript driver: prologue and trailer bytes, state suppression, widths,
// image hex layout, option and placement handling, and Ghostscript renders.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_util.h"
#include "gks/clr.h"
#include "gks/drivers/devfile.h"
#include "gks/drivers/ps.h"
#include "image/img.h"

using drvtest::blank_lines;
using testutil::read_file;
using testutil::ScratchDir;

namespace {

const char *const kOps = "/inch {72 mul} def\n/dot {.33 mul} def\n/mv {moveto} def\n/ln {lineto} def\n"
                         "/lw {setlinewidth} def\n/np {newpath} def\n/cp {closepath} def\n";
const char *const kHead = "%%Title: ZYR Graphics Display: T\n%%Creator: ZYR Postscript Processor-2.0\n"
                          "%%CreationDate:\n%%EndComments\n%%Postscript initialization\n";
// A file of pages (not encapsulated): the page count at the end, page 1
// inside the dictionary.
const char *const kPagedHead = "%%Title: ZYR Graphics Display: T\n%%Creator: ZYR Postscript Processor-2.0\n"
                               "%%CreationDate:\n%%Pages: (atend)\n%%EndComments\n%%Postscript initialization\n"
                               "30 dict begin\n%%Page: 1 1\n";
const std::string kPageEnd = "%%Begin plot\n%%ZYR Plot: T\n%%End of plot\nsaveobj restore\nshowpage\n"
                             "%%Trailer\nend\n%%Pages: 1\n%%EOF\n";
const char *const kTail = "2 setlinejoin\n1 dot lw\n[] 0 setdash\n";

// Opens a PostScript workstation file with the options, closes it at once
// and returns the file with its time stamp blanked.
std::string empty_plot(const ScratchDir &dir, const char *options, const std::string &name = "p.ps")
{
    GDRV_PAGE page{};
    int inverse = 0;
    std::string path = dir.file(name);
    EXPECT_EQ(gps_open_ws(path.c_str(), options, nullptr, "T", &page, &inverse), 0);
    EXPECT_EQ(gps_close_file(), 0);
    return blank_lines(read_file(path), "%%CreationDate:");
}

void unset_ps_env()
{
    for (const char *v : {"zyrps_param", "zyrps_print", "PSPRINT", "PSCOLOR", "zyrps_geometry", "PSGEOMETRY"})
        unsetenv(v);
}

} // namespace

TEST(PsDriver, PrologueAndTrailerVariants)
{
    unset_ps_env();
    ScratchDir dir;
    struct Case {
        const char *options;
        std::string expected;
    } cases[] = {
        {"", std::string("%!PS-Adobe-1.0\n") + kPagedHead + "/saveobj save def\n" + kOps +
                 "90 rotate\n.25 inch -8.25 inch translate\n0 setgray\n" + kTail +
                 kPageEnd},
        {"port", std::string("%!PS-Adobe-1.0\n") + kPagedHead + "/saveobj save def\n" + kOps +
                     ".25 inch .25 inch translate\n0 setgray\n" + kTail +
                     kPageEnd},
        {"eps", std::string("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 576 756\n") + kHead + kOps +
                    "90 rotate\n0. inch -8.50 inch translate\n0 setgray\n" + kTail +
                    "%%Begin plot\n%%ZYR Plot: T\n%%End of plot\nshowpage\n%%EOF\n"},
        {"EPS,Port", std::string("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 756 576\n") + kHead + kOps +
                         "0 setgray\n" + kTail + "%%Begin plot\n%%ZYR Plot: T\n%%End of plot\nshowpage\n%%EOF\n"},
        {"color,scale=0.5,legal", std::string("%!PS-Adobe-1.0\n") + kPagedHead + "/saveobj save def\n" +
                                      kOps + "90 rotate\n.25 inch -8.25 inch translate\n0 0 0 setrgbcolor\n" +
                                      kTail + "0.50 0.50 scale\n" + kPageEnd},
        {"eps,noeps,a4", std::string("%!PS-Adobe-1.0\n") + kPagedHead + "/saveobj save def\n" + kOps +
                             "90 rotate\n.25 inch -8.01 inch translate\n0 setgray\n" + kTail +
                             kPageEnd},
    };
    int k = 0;
    for (const Case &c : cases)
        EXPECT_EQ(empty_plot(dir, c.options, std::to_string(k++) + ".ps"), c.expected) << "options: " << c.options;
    // Ghostscript reads every variant without an error.
    NEED_TOOL("gs");
    for (k = 0; k < (int)std::size(cases); ++k)
        EXPECT_EQ(drvtest::render_ps(dir.file(std::to_string(k) + ".ps"), 10), 0) << cases[k].options;
}

TEST(PsDriver, AppendingContinuesWithoutPrologue)
{
    unset_ps_env();
    ScratchDir dir;
    std::string first = empty_plot(dir, "eps");
    std::string path = "+" + dir.file("p.ps");
    ASSERT_EQ(gps_open_ws(path.c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    gps_move_abs(10, 10);
    ASSERT_EQ(gps_close_file(), 0);
    std::string both = blank_lines(read_file(dir.file("p.ps")), "%%CreationDate:");
    EXPECT_EQ(both, first + "0 setgray\n1 dot lw\n[] 0 setdash\n%%ZYR Plot: T\n10.00 10.00 mv\n%%End of plot\n");
    // Appending to a file that does not exist yet starts a complete file.
    std::string fresh = "+" + dir.file("new.ps");
    ASSERT_EQ(gps_open_ws(fresh.c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    ASSERT_EQ(gps_close_file(), 0);
    EXPECT_EQ(read_file(dir.file("new.ps")).rfind("%!PS-Adobe-1.0\n", 0), 0u);
    // The continuation relies on the first plot's operators, which an
    // encapsulated file leaves defined.
    NEED_TOOL("gs");
    EXPECT_EQ(drvtest::render_ps(dir.file("p.ps"), 10), 0);
}

TEST(PsDriver, NewPageEndsThePageAndStartsTheNext)
{
    unset_ps_env();
    ScratchDir dir;
    std::string path = dir.file("pages.ps");
    ASSERT_EQ(gps_open_ws(path.c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    gps_move_abs(10, 10);
    ASSERT_EQ(gps_new_page(), 0);
    gps_move_abs(20, 20);
    ASSERT_EQ(gps_close_file(), 0);
    std::string text = read_file(path);
    size_t at = text.find("10.00 10.00 mv\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at + 15), std::string("%%End of plot\nsaveobj restore\nshowpage\n%%Page: 2 2\n"
                                                "/saveobj save def\n") +
                                        kOps + "90 rotate\n.25 inch -8.25 inch translate\n0 setgray\n" + kTail +
                                        "%%Begin plot\n%%ZYR Plot: T\n20.00 20.00 mv\n%%End of plot\n"
                                        "saveobj restore\nshowpage\n%%Trailer\nend\n%%Pages: 2\n%%EOF\n");

    // An encapsulated picture and a plot appended to another file keep
    // their one page.
    ASSERT_EQ(gps_open_ws(path.c_str(), "eps", nullptr, "T", nullptr, nullptr), 0);
    EXPECT_EQ(gps_new_page(), -1);
    ASSERT_EQ(gps_close_file(), 0);
    std::string eps = read_file(path);
    ASSERT_EQ(gps_open_ws(("+" + path).c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    EXPECT_EQ(gps_new_page(), -1);
    ASSERT_EQ(gps_close_file(), 0);
    EXPECT_EQ(drvtest::count(read_file(path), "showpage"), 1u);
    EXPECT_EQ(read_file(path).find("%%Page"), std::string::npos);
    EXPECT_EQ(eps.find("%%Page"), std::string::npos);
}

TEST(PsDriver, PipeSpoolsToCommand)
{
    unset_ps_env();
    ScratchDir dir;
    std::string cmd = "|cat > " + dir.file("spooled.ps");
    ASSERT_EQ(gps_open_ws(cmd.c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    ASSERT_EQ(gps_close_file(), 0);
    std::string text = read_file(dir.file("spooled.ps"));
    EXPECT_EQ(text.rfind("%!PS-Adobe-1.0\n", 0), 0u);
    EXPECT_NE(text.find("%%EOF\n"), std::string::npos);
    // A command that ends without reading: the close fails, the program lives on.
    ASSERT_EQ(gps_open_ws("|true", "", nullptr, "T", nullptr, nullptr), 0);
    std::vector<float> pts(200000, 1.0f);
    for (size_t k = 0; k < pts.size(); k += 2) gps_line_abs(pts[k], pts[k + 1]);
    EXPECT_EQ(gps_close_file(), -1);
}

TEST(PsDriver, OutputNameFallbacksAndFailure)
{
    unset_ps_env();
    ScratchDir dir;
    setenv("PSPRINT", dir.file("psprint.ps").c_str(), 1);
    ASSERT_EQ(gps_open_ws("", "", nullptr, "T", nullptr, nullptr), 0);
    gps_close_file();
    EXPECT_FALSE(read_file(dir.file("psprint.ps")).empty());
    setenv("zyrps_print", dir.file("zyrps.ps").c_str(), 1);
    ASSERT_EQ(gps_open_ws(nullptr, "", nullptr, "T", nullptr, nullptr), 0);
    gps_close_file();
    EXPECT_FALSE(read_file(dir.file("zyrps.ps")).empty());
    unset_ps_env();

    std::string bad = dir.file("no/such/dir/x.ps");
    EXPECT_EQ(gps_open_ws(bad.c_str(), "", nullptr, "T", nullptr, nullptr), -1);
    // Nothing is written, and nothing fails, without an open file.
    EXPECT_EQ(gps_printf("stroke\n"), 0);
    gps_set_color(3);
    gps_line_abs(1, 2);
    EXPECT_EQ(gps_close_file(), -1);
}

// What the settings write between a mark and the end of the plot: each
// change once, nothing for a repeat.
TEST(PsDriver, SettingsWriteOnlyChanges)
{
    struct Case {
        const char *name, *options;
        void (*act)();
        const char *body;
    } cases[] = {
        {"colour, black, dash, width", "color",
         [] {
             gps_set_color(3);
             gps_set_color(3);
             gps_set_color(500); // black: "0 setgray" (the level was unknown after RGB)
             gps_set_color(501); // still black: nothing
             gps_set_color(3);
             gps_set_type(2);
             gps_set_type(2);
             gps_set_type(9); // no such type: nothing
             gps_set_width(1, 2);
             gps_set_width(1, 2);
         },
         "1.00 0.50 0.25 setrgbcolor\n0 setgray\n1.00 0.50 0.25 setrgbcolor\n[6] 0 setdash\n2.0 dot lw\n"},
        {"gray fills, black lines, solid printing", "",
         [] {
             gps_set_fill_color(4);
             gps_set_fill_color(4);
             gps_set_color(4); // lines print black in gray mode
             gps_set_fill_color(-1);
             gps_set_print_solid(1);
             gps_set_fill_color(4); // solid printing: black
             gps_set_print_solid(0);
         },
         "0.370 setgray\n0 setgray\n1 setgray\n0 setgray\n"},
        {"special indexes scale the width (lwidth=3.7: base 3)", "lwidth=3.7",
         [] {
             gps_set_width(503, 1.5f); // base x 1.5
             gps_set_color(503);
             gps_set_width(505, 1.5f); // four times
             gps_set_width(504, 1.5f); // twice
             gps_set_width(506, 1.5f); // print-bold x base x w again
             gps_set_print_bold(2);
             gps_set_width(506, 1.5f);
         },
         "4.5 dot lw\n1 setgray\n18 dot lw\n9 dot lw\n4.5 dot lw\n9.0 dot lw\n"},
    };
    unset_ps_env();
    ScratchDir dir;
    std::string path = dir.file("c.ps");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(gps_open_ws(path.c_str(), c.options, nullptr, "T", nullptr, nullptr), 0);
        gps_set_color_rep(3, 1.0f, 0.5f, 0.25f);
        gps_set_color_rep(4, 0.0f, 1.0f, 0.0f); // gray (0 + 1 + 0) / 2.7
        gps_printf("%%%%mark\n");
        c.act();
        gps_close_file();
        std::string text = read_file(path);
        std::string body = text.substr(text.find("%%mark\n") + 7);
        EXPECT_EQ(body.substr(0, body.find("%%End")), c.body);
    }
    // Grays: (r + g + b) / 2.7, white reversed is 0.
    EXPECT_NEAR(gps_get_gray(4), 1.0f / 2.7f, 1e-6);
    gps_set_reverse(1);
    gps_set_color_rep(5, 1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(gps_get_gray(5), 0.0f, 1e-6);
    gps_set_reverse(0);
}

TEST(PsDriver, ImageHexLayoutWithOffsets)
{
    unset_ps_env();
    ScratchDir dir;
    std::string path = dir.file("i.ps");
    unsigned char pix[] = {0x01, 0x02, 0x03, 0x11, 0x12, 0x13};
    IMG img{};
    img.nx = 3, img.ny = 2, img.bytes_line = 3, img.bits_pixel = 8, img.depth = 8;
    img.data = pix;
    struct Case {
        int x0, y0;
        const char *rows;
    } cases[] = {
        // 5 x 4 viewport: -1 pads one white column and -2 two white rows.
        {-1, -2, "FFFFFFFFFF\nFFFFFFFFFF\nFF010203FF\nFF111213FF\n"},
        // Positive offsets start inside the image; the rest is white.
        {1, 1, "1213FFFFFF\nFFFFFFFFFF\nFFFFFFFFFF\nFFFFFFFFFF\n"},
        {0, 0, "010203FFFF\n111213FFFF\nFFFFFFFFFF\nFFFFFFFFFF\n"},
    };
    for (const Case &c : cases) {
        path = dir.file(std::to_string(c.x0) + std::to_string(c.y0) + ".ps");
        ASSERT_EQ(gps_open_ws(path.c_str(), "", nullptr, "T", nullptr, nullptr), 0);
        gps_printf("%%%%mark\n");
        ASSERT_EQ(gps_image_rect(&img, c.x0, c.y0, 7, 9, 5, 4), 0);
        gps_close_file();
        std::string text = read_file(path);
        std::string body = text.substr(text.find("%%mark\n") + 7);
        EXPECT_EQ(body.substr(0, body.find("%%End")),
                  std::string("gsave\n7 9 translate\n5 4 scale\n/picstr 5 string def\n5 4 8 [ 5 0 0 -4 0 4 ]\n"
                              "{ currentfile picstr readhexstring pop }\nimage\n") +
                      c.rows + "grestore\n")
            << c.x0 << "," << c.y0;
    }
    NEED_TOOL("gs");
    for (const Case &c : cases)
        EXPECT_EQ(drvtest::render_ps(dir.file(std::to_string(c.x0) + std::to_string(c.y0) + ".ps"), 10), 0);
}

TEST(PsDriver, ColourImageSamplesAndLineBreaks)
{
    unset_ps_env();
    CLR_clear_table();
    CLR_add("black", 0, 0, 0);
    CLR_add("orange", 1.0f, 0.5f, 0.0f);
    ScratchDir dir;
    std::string path = dir.file("ci.ps");
    std::vector<unsigned char> pix(100, 1);
    IMG img{};
    img.nx = 100, img.ny = 1, img.bytes_line = 100, img.bits_pixel = 8, img.depth = 8;
    img.data = pix.data();
    ASSERT_EQ(gps_open_ws(path.c_str(), "color", nullptr, "T", nullptr, nullptr), 0);
    ASSERT_EQ(gps_image_rect(&img, 0, 0, 0, 0, 90, 1), 0);
    gps_close_file();
    std::string text = read_file(path);
    size_t at = text.find("false 3 colorimage\n");
    ASSERT_NE(at, std::string::npos);
    std::string data = text.substr(at + 19, text.find("grestore") - at - 19);
    std::string orange;
    for (int k = 0; k < 80; ++k) orange += "FF7F00";
    std::string rest;
    for (int k = 0; k < 10; ++k) rest += "FF7F00";
    EXPECT_EQ(data, orange + "\n" + rest + "\n");
    CLR_clear_table();
    NEED_TOOL("gs");
    EXPECT_EQ(drvtest::render_ps(path, 10), 0);
}

TEST(PsDriver, PlacementStrings)
{
    GDRV_GEOM_RULE ps_rule{0.72f, 0.0f, false};
    struct Case {
        const char *text;
        bool changed;
        GDRV_PAGE expect;
    } cases[] = {
        {"500x400+100+50", true, {360, 288, 72, 36}},
        {"500x400", true, {360, 288, 0, 0}},
        {"+100-50", true, {756, 576, 72, -36}},
        {"P2x2+1+0", true, {378, 288, 378, 288}},  // top right cell
        {"P20x0.5+0+0", true, {94.5f, 576, 0, 0}}, // columns clamp to 8, rows to 1
        {"P2x2", false, {756, 576, 0, 0}},         // incomplete cell form
        {"huge", false, {756, 576, 0, 0}},
        {"0x400", false, {756, 576, 0, 0}},
        {"", false, {756, 576, 0, 0}},
    };
    for (const Case &c : cases) {
        GDRV_PAGE p{756, 576, 0, 0};
        EXPECT_EQ(gdrv_geometry(c.text, ps_rule, &p), c.changed) << c.text;
        EXPECT_FLOAT_EQ(p.width, c.expect.width) << c.text;
        EXPECT_FLOAT_EQ(p.height, c.expect.height) << c.text;
        EXPECT_FLOAT_EQ(p.xoff, c.expect.xoff) << c.text;
        EXPECT_FLOAT_EQ(p.yoff, c.expect.yoff) << c.text;
    }
}

TEST(PsDriver, PaperAndOptionWords)
{
    unset_ps_env();
    ScratchDir dir;
    struct Case {
        const char *options;
        float w, h;
    } cases[] = {
        {"", 756, 576},
        {"A3", 1154.88f, 805.68f},
        {"sz=8x6", 540, 396},
        {"sz=junk", 756, 576},
        {"sz=-3x2", 756, 576},
        {"ansid,unknownword,scale=abc,lwidth=", 2412, 1548},
    };
    for (const Case &c : cases) {
        GDRV_PAGE page{};
        ASSERT_EQ(gps_open_ws(dir.file("o.ps").c_str(), c.options, nullptr, "T", &page, nullptr), 0);
        gps_close_file();
        EXPECT_NEAR(page.width, c.w, 0.01) << c.options;
        EXPECT_NEAR(page.height, c.h, 0.01) << c.options;
    }
    // Options from the environment come first, the connection's fields override them.
    setenv("zyrps_param", "eps,port", 1);
    int inverse = 0;
    ASSERT_EQ(gps_open_ws(dir.file("o.ps").c_str(), "land,color", nullptr, "T", nullptr, &inverse), 0);
    gps_close_file();
    std::string text = read_file(dir.file("o.ps"));
    EXPECT_NE(text.find("%%BoundingBox: 0 0 576 756\n"), std::string::npos);
    EXPECT_EQ(inverse, 1);
    EXPECT_EQ(gps_get_colorPS(), 1);
    unset_ps_env();
}

// The fast number formatter must agree with printf digit for digit.
TEST(PsDriver, NumberFormatterMatchesPrintf)
{
    std::vector<float> values = {0.0f, -0.0f, 0.5f, 1.5f, 2.5f, -2.5f, 0.125f, 0.005f, 0.015f, 1e-7f, -1e-7f,
                                 99999.995f, 100000.0f, -100000.0f, 123.456f, 1e12f, 3e38f, NAN, INFINITY};
    unsigned seed = 12345;
    for (int k = 0; k < 200000; ++k) {
        seed = seed * 1103515245u + 12345u;
        float v = (float)((int)(seed >> 8) % 2000001 - 1000000) / (float)(1 + (seed & 1023));
        values.push_back(v);
    }
    for (float v : values)
        for (int d : {0, 2, 6}) {
            char want[96], got[96];
            std::snprintf(want, sizeof want, "%.*f", d, (double)v);
            int n = gdrv_fmt(got, v, d);
            got[n] = 0;
            ASSERT_STREQ(got, want) << "value " << v << " decimals " << d;
        }
}

// Lines and an image drawn through the driver land where the page geometry
// puts them in Ghostscript's render, rotated and unrotated.
TEST(PsDriver, GhostscriptRendersLinesAndImage)
{
    NEED_TOOL("gs");
    unset_ps_env();
    ScratchDir dir;
    std::vector<unsigned char> pix(40 * 20, 0);
    IMG img{};
    img.nx = 40, img.ny = 20, img.bytes_line = 40, img.bits_pixel = 8, img.depth = 8;
    img.data = pix.data();
    for (const char *opt : {"port", "land"}) {
        std::string path = dir.file(std::string(opt) + ".ps");
        ASSERT_EQ(gps_open_ws(path.c_str(), opt, nullptr, "T", nullptr, nullptr), 0);
        gps_clip(0, 0, 755, 575);
        gps_set_width(1, 3);
        gps_set_color(1);
        gps_printf("np\n");
        gps_move_abs(100, 100);
        gps_line_abs(300, 100); // horizontal line at y = 100 from x = 100 to 300
        gps_printf("stroke\n");
        // A black 40 x 20 image at (400, 300) in a 40 x 20 viewport.
        ASSERT_EQ(gps_image_rect(&img, 0, 0, 400, 300, 40, 20), 0);
        gps_close_file();
        testutil::Raster pic;
        ASSERT_EQ(drvtest::render_ps(path, 72, &pic), 0) << read_file(path + ".gslog");
        ASSERT_EQ(pic.w, 612);
        ASSERT_EQ(pic.h, 792);
        bool port = std::strcmp(opt, "port") == 0;
        // Page pixel of a drawing point: unrotated (x + 18, y + 18) from the
        // bottom left; rotated by 90 degrees, x runs up the page and y leftwards.
        auto px = [&](float x, float y) { return port ? (int)(x + 18) : (int)(594 - y); };
        auto py = [&](float x, float y) { return port ? (int)(792 - (y + 18)) : (int)(792 - (x + 18)); };
        EXPECT_TRUE(pic.dark(px(200, 100), py(200, 100))) << opt;
        EXPECT_FALSE(pic.dark(px(200, 110), py(200, 110))) << opt;
        EXPECT_FALSE(pic.dark(px(320, 100), py(320, 100))) << opt;
        EXPECT_TRUE(pic.dark(px(420, 310), py(420, 310))) << opt;
        EXPECT_FALSE(pic.dark(px(445, 310), py(445, 310))) << opt;
        EXPECT_FALSE(pic.dark(px(420, 325), py(420, 325))) << opt;
    }
}
