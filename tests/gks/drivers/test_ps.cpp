// PostScript driver: prologue and trailer, state written only on change,
// image hex layout, options and placement, the number formatter, and
// Ghostscript's reading of every kind of file the driver writes.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "drv_util.h"
#include "gks/clr.h"
#include "gks/drivers/devfile.h"
#include "gks/drivers/ps.h"
#include "image/img.h"

using testutil::read_file;

namespace {

const std::string kOps = "/inch {72 mul} def\n/dot {.33 mul} def\n/mv {moveto} def\n/ln {lineto} def\n"
                         "/lw {setlinewidth} def\n/np {newpath} def\n/cp {closepath} def\n";
const std::string kHead = "%%Title: ZYR Graphics Display: T\n%%Creator: ZYR Postscript Processor-2.0\n%%CreationDate:\n";
const std::string kTail = "2 setlinejoin\n1 dot lw\n[] 0 setdash\n";

class PsDriver : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *v : {"zyrps_param", "zyrps_print", "PSPRINT", "PSCOLOR", "zyrps_geometry", "PSGEOMETRY"})
            unsetenv(v);
    }
    void TearDown() override { SetUp(); }
    // Opens name ("+name" appends) with the options, draws, closes; the file with its time stamp blanked.
    std::string plot(const std::string &name, const char *options, const std::function<void()> &draw = {},
                     GDRV_PAGE *page = nullptr, int *inverse = nullptr) {
        bool add = name[0] == '+';
        std::string path = dir_.file(name.substr(add));
        EXPECT_EQ(gps_open_ws(((add ? "+" : "") + path).c_str(), options, nullptr, "T", page, inverse), 0);
        if (draw) draw();
        EXPECT_EQ(gps_close_file(), 0);
        return drvtest::blank_lines(read_file(path), "%%CreationDate:");
    }
    // What draw writes after the prologue, up to the end of the plot.
    std::string body(const char *options, const std::function<void()> &draw) {
        std::string text = plot("m.ps", options, [&] { gps_printf("%%%%mark\n"), draw(); });
        text = text.substr(text.find("%%mark\n") + 7);
        return text.substr(0, text.find("%%End"));
    }
    testutil::ScratchDir dir_;
};

void image(const std::vector<unsigned char> &pix, int nx, int x0, int y0, int x, int y, int w, int h) {
    IMG img{};
    img.nx = nx, img.ny = (int)pix.size() / nx, img.bytes_line = nx, img.bits_pixel = 8, img.depth = 8;
    img.data = (unsigned char *)pix.data();
    EXPECT_EQ(gps_image_rect(&img, x0, y0, x, y, w, h), 0);
}

} // namespace

// The whole file of a landscape page and of an encapsulated picture; the
// lines each other option changes.
TEST_F(PsDriver, PrologueAndTrailerVariants) {
    struct Case {
        const char *options;
        std::vector<std::string> has;
    } cases[] = {
        {"", {"%!PS-Adobe-1.0\n" + kHead + "%%Pages: (atend)\n%%EndComments\n%%Postscript initialization\n30 dict begin\n"
              "%%Page: 1 1\n/saveobj save def\n" + kOps + "90 rotate\n.25 inch -8.25 inch translate\n0 setgray\n" +
              kTail + "%%Begin plot\n%%ZYR Plot: T\n%%End of plot\nsaveobj restore\nshowpage\n%%Trailer\nend\n"
              "%%Pages: 1\n%%EOF\n"}},
        {"eps", {"%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 576 756\n" + kHead + "%%EndComments\n%%Postscript "
                 "initialization\n" + kOps + "90 rotate\n0. inch -8.50 inch translate\n0 setgray\n" + kTail +
                 "%%Begin plot\n%%ZYR Plot: T\n%%End of plot\nshowpage\n%%EOF\n"}},
        {"port", {"%%Page: 1 1\n", "/cp {closepath} def\n.25 inch .25 inch translate\n0 setgray\n"}},
        {"EPS,Port", {"%%BoundingBox: 0 0 756 576\n", "/cp {closepath} def\n0 setgray\n", "plot\nshowpage\n%%EOF\n"}},
        {"color,scale=0.5,legal", {"-8.25 inch translate\n0 0 0 setrgbcolor\n", "[] 0 setdash\n0.50 0.50 scale\n"}},
        {"eps,noeps,a4", {"%!PS-Adobe-1.0\n", "90 rotate\n.25 inch -8.01 inch translate\n"}},
    };
    for (const Case &c : cases) {
        std::string text = plot("p.ps", c.options);
        if (c.has.size() == 1) { EXPECT_EQ(text, c.has[0]) << c.options; }
        for (const std::string &h : c.has) EXPECT_NE(text.find(h), std::string::npos) << c.options << ": " << h;
    }
}

// Appending adds a plot without prologue ("+" on a missing file starts a
// complete one); a new page repeats the page set-up, except in an
// encapsulated or appended plot.
TEST_F(PsDriver, AppendingAndNewPages) {
    std::string first = plot("p.ps", "eps");
    EXPECT_EQ(plot("+p.ps", "", [] { gps_move_abs(10, 10); }),
              first + "0 setgray\n1 dot lw\n[] 0 setdash\n%%ZYR Plot: T\n10.00 10.00 mv\n%%End of plot\n");
    EXPECT_EQ(plot("+new.ps", "").rfind("%!PS-Adobe-1.0\n", 0), 0u);
    std::string text = plot("pages.ps", "", [] {
        gps_move_abs(10, 10);
        EXPECT_EQ(gps_new_page(), 0);
        gps_move_abs(20, 20);
    });
    EXPECT_EQ(text.substr(text.find("10.00 10.00 mv\n") + 15),
              "%%End of plot\nsaveobj restore\nshowpage\n%%Page: 2 2\n/saveobj save def\n" + kOps +
                  "90 rotate\n.25 inch -8.25 inch translate\n0 setgray\n" + kTail + "%%Begin plot\n%%ZYR Plot: T\n"
                  "20.00 20.00 mv\n%%End of plot\nsaveobj restore\nshowpage\n%%Trailer\nend\n%%Pages: 2\n%%EOF\n");
    EXPECT_EQ(plot("e.ps", "eps", [] { EXPECT_EQ(gps_new_page(), -1); }).find("%%Page"), std::string::npos);
    EXPECT_EQ(drvtest::count(plot("+e.ps", "", [] { EXPECT_EQ(gps_new_page(), -1); }), "showpage"), 1u);
}

// Output to a command, names from the environment, and an unopenable file.
TEST_F(PsDriver, OutputsAndFailures) {
    ASSERT_EQ(gps_open_ws(("|cat > " + dir_.file("spooled.ps")).c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    ASSERT_EQ(gps_close_file(), 0);
    EXPECT_NE(read_file(dir_.file("spooled.ps")).find("%%EOF\n"), std::string::npos);
    // A command that ends without reading: the close fails, the program lives on.
    ASSERT_EQ(gps_open_ws("|true", "", nullptr, "T", nullptr, nullptr), 0);
    for (int k = 0; k < 100000; ++k) gps_line_abs(1, 1);
    EXPECT_EQ(gps_close_file(), -1);
    setenv("PSPRINT", dir_.file("psprint.ps").c_str(), 1);
    ASSERT_EQ(gps_open_ws("", "", nullptr, "T", nullptr, nullptr), 0);
    gps_close_file();
    setenv("zyrps_print", dir_.file("zyrps.ps").c_str(), 1);
    ASSERT_EQ(gps_open_ws(nullptr, "", nullptr, "T", nullptr, nullptr), 0);
    gps_close_file();
    EXPECT_FALSE(read_file(dir_.file("psprint.ps")).empty() || read_file(dir_.file("zyrps.ps")).empty());
    EXPECT_EQ(gps_open_ws(dir_.file("no/such/dir/x.ps").c_str(), "", nullptr, "T", nullptr, nullptr), -1);
    // Nothing is written, and nothing fails, without an open file.
    EXPECT_EQ(gps_printf("stroke\n"), 0);
    gps_set_color(3), gps_line_abs(1, 2);
    EXPECT_EQ(gps_close_file(), -1);
}

// Each change written once, nothing for a repeat.  Colour 3 is (1, 0.5,
// 0.25); colour 4 (0, 1, 0) is gray (0 + 1 + 0) / 2.7 = 0.370.
TEST_F(PsDriver, SettingsWriteOnlyChanges) {
    struct Case {
        const char *name, *options;
        void (*act)();
        const char *body;
    } cases[] = {
        {"colour, black, dash, width", "color",
         [] {
             gps_set_color(3), gps_set_color(3), gps_set_color(500); // black: "0 setgray" (level unknown after RGB)
             gps_set_color(501), gps_set_color(3), gps_set_type(2), gps_set_type(2), gps_set_type(9); // 9: no such type
             gps_set_width(1, 2), gps_set_width(1, 2);
         },
         "1.00 0.50 0.25 setrgbcolor\n0 setgray\n1.00 0.50 0.25 setrgbcolor\n[6] 0 setdash\n2.0 dot lw\n"},
        {"gray fills, black lines, solid printing (black)", "",
         [] {
             gps_set_fill_color(4), gps_set_fill_color(4), gps_set_color(4), gps_set_fill_color(-1);
             gps_set_print_solid(1), gps_set_fill_color(4), gps_set_print_solid(0);
         },
         "0.370 setgray\n0 setgray\n1 setgray\n0 setgray\n"},
        // Base width 3: 503 x 1.5, 505 four times, 504 twice, 506 print-bold x base x w.
        {"special indexes scale the width", "lwidth=3.7",
         [] {
             gps_set_width(503, 1.5f), gps_set_color(503), gps_set_width(505, 1.5f), gps_set_width(504, 1.5f);
             gps_set_width(506, 1.5f), gps_set_print_bold(2), gps_set_width(506, 1.5f);
         },
         "4.5 dot lw\n1 setgray\n18 dot lw\n9 dot lw\n4.5 dot lw\n9.0 dot lw\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(body(c.options, [&] { gps_set_color_rep(3, 1, 0.5f, 0.25f), gps_set_color_rep(4, 0, 1, 0), c.act(); }),
                  c.body) << c.name;
    gps_set_reverse(1); // reversed, white is gray 0
    gps_set_color_rep(5, 1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(gps_get_gray(5), 0.0f, 1e-6);
    gps_set_reverse(0);
}

// A 3 x 2 image in a 5 x 4 viewport: negative offsets pad with white
// before, positive ones start inside; the rest is white.
TEST_F(PsDriver, ImageHexLayoutWithOffsets) {
    struct Case {
        int x0, y0;
        const char *rows;
    } cases[] = {
        {-1, -2, "FFFFFFFFFF\nFFFFFFFFFF\nFF010203FF\nFF111213FF\n"},
        {1, 1, "1213FFFFFF\nFFFFFFFFFF\nFFFFFFFFFF\nFFFFFFFFFF\n"},
        {0, 0, "010203FFFF\n111213FFFF\nFFFFFFFFFF\nFFFFFFFFFF\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(body("", [&] { image({1, 2, 3, 0x11, 0x12, 0x13}, 3, c.x0, c.y0, 7, 9, 5, 4); }),
                  std::string("gsave\n7 9 translate\n5 4 scale\n/picstr 5 string def\n5 4 8 [ 5 0 0 -4 0 4 ]\n"
                              "{ currentfile picstr readhexstring pop }\nimage\n") + c.rows + "grestore\n")
            << c.x0 << "," << c.y0;
    // In colour the samples come from the colour table, 80 to a line.
    CLR_clear_table();
    CLR_add("black", 0, 0, 0), CLR_add("orange", 1.0f, 0.5f, 0.0f);
    std::string text = plot("ci.ps", "color", [] { image(std::vector<unsigned char>(100, 1), 100, 0, 0, 0, 0, 90, 1); });
    std::string orange;
    for (int k = 0; k < 90; ++k) orange += (k == 80 ? "\nFF7F00" : "FF7F00");
    EXPECT_NE(text.find("false 3 colorimage\n" + orange + "\ngrestore"), std::string::npos);
    CLR_clear_table();
}

// Placement strings on a 756 x 576 page, 0.72 points a pixel.
TEST(PsPlacement, GeometryStrings) {
    struct Case {
        const char *text;
        bool changed;
        GDRV_PAGE expect;
    } cases[] = {
        {"500x400+100+50", true, {360, 288, 72, 36}}, {"500x400", true, {360, 288, 0, 0}},
        {"+100-50", true, {756, 576, 72, -36}},       {"P2x2+1+0", true, {378, 288, 378, 288}}, // top right cell
        {"P20x0.5+0+0", true, {94.5f, 576, 0, 0}}, // columns clamp to 8, rows to 1
        {"P2x2", false, {756, 576, 0, 0}},         // incomplete cell form
        {"huge", false, {756, 576, 0, 0}},            {"0x400", false, {756, 576, 0, 0}},
        {"", false, {756, 576, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        GDRV_PAGE p{756, 576, 0, 0};
        EXPECT_EQ(gdrv_geometry(c.text, GDRV_GEOM_RULE{0.72f, 0.0f, false}, &p), c.changed);
        drvtest::expect_page(p, c.expect);
    }
}

// Paper words and sizes (points); the environment's options come first, the connection's override them.
TEST_F(PsDriver, PaperAndOptionWords) {
    struct Case {
        const char *options;
        float w, h;
    } cases[] = {{"", 756, 576},        {"A3", 1154.88f, 805.68f}, {"sz=8x6", 540, 396},
                 {"sz=junk", 756, 576}, {"sz=-3x2", 756, 576},     {"ansid,unknownword,scale=abc,lwidth=", 2412, 1548}};
    for (const Case &c : cases) {
        GDRV_PAGE page{};
        plot("o.ps", c.options, {}, &page);
        EXPECT_NEAR(page.width, c.w, 0.01) << c.options;
        EXPECT_NEAR(page.height, c.h, 0.01) << c.options;
    }
    setenv("zyrps_param", "eps,port", 1);
    int inverse = 0;
    EXPECT_NE(plot("o.ps", "land,color", {}, nullptr, &inverse).find("%%BoundingBox: 0 0 576 756\n"), std::string::npos);
    EXPECT_EQ(inverse, 1);
    EXPECT_EQ(gps_get_colorPS(), 1);
}

// The fast number formatter agrees with printf digit for digit.
TEST(PsNumbers, FormatterMatchesPrintf) {
    std::vector<float> values = {0.0f, -0.0f, 0.5f, 1.5f, 2.5f, -2.5f, 0.125f, 0.005f, 0.015f, 1e-7f, -1e-7f,
                                 99999.995f, 100000.0f, -100000.0f, 123.456f, 1e12f, 3e38f, NAN, INFINITY};
    unsigned seed = 12345;
    for (int k = 0; k < 200000; ++k) {
        seed = seed * 1103515245u + 12345u;
        values.push_back((float)((int)(seed >> 8) % 2000001 - 1000000) / (float)(1 + (seed & 1023)));
    }
    for (float v : values)
        for (int d : {0, 2, 6}) {
            char want[96], got[96];
            std::snprintf(want, sizeof want, "%.*f", d, (double)v);
            got[gdrv_fmt(got, v, d)] = 0;
            ASSERT_STREQ(got, want) << "value " << v << " decimals " << d;
        }
}

// Ghostscript reads every kind of file without an error: pages, both
// encapsulated layouts, colour and scale, a plot appended to an
// encapsulated one, gray and colour images.  In its 72 dpi render of a
// letter page a line and an image land where the page geometry puts them:
// unrotated at (x + 18, y + 18) from the bottom left; rotated, x runs up
// and y leftwards.
TEST_F(PsDriver, GhostscriptReadsEveryKindOfFile) {
    NEED_TOOL("gs");
    CLR_clear_table();
    CLR_add("black", 0, 0, 0), CLR_add("orange", 1.0f, 0.5f, 0.0f);
    auto img = [] { image({1, 2, 3, 0x11, 0x12, 0x13}, 3, -1, -2, 7, 9, 5, 4), image({1, 1}, 2, 0, 0, 0, 0, 90, 1); };
    auto line_and_image = [] {
        gps_clip(0, 0, 755, 575), gps_set_width(1, 3), gps_set_color(1);
        gps_printf("np\n"), gps_move_abs(100, 100), gps_line_abs(300, 100), gps_printf("stroke\n");
        image(std::vector<unsigned char>(40 * 20, 0), 40, 0, 0, 400, 300, 40, 20); // black at (400, 300)
    };
    struct Case {
        const char *file, *options;
        std::function<void()> draw;
        int placed = 0; // 1 unrotated, 2 rotated
    } cases[] = {
        {"pages.ps", "", [] { gps_move_abs(10, 10), gps_new_page(), gps_move_abs(20, 20); }},
        {"eps.ps", "eps", {}}, {"eport.ps", "EPS,Port", {}}, {"a4.ps", "eps,noeps,a4", {}},
        {"app.ps", "eps", {}}, {"+app.ps", "", [] { gps_move_abs(10, 10); }},
        {"gray.ps", "scale=0.5,legal", img}, {"colour.ps", "color", img},
        {"port.ps", "port", line_and_image, 1}, {"land.ps", "land", line_and_image, 2},
    };
    for (const Case &c : cases) plot(c.file, c.options, c.draw);
    CLR_clear_table();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = dir_.file(c.file + (c.file[0] == '+'));
        testutil::Raster pic;
        ASSERT_EQ(drvtest::render_ps(path, 72, &pic), 0) << read_file(path + ".gslog");
        if (!c.placed) continue;
        ASSERT_EQ(pic.w * 1000 + pic.h, 612792);
        auto dark = [&](int x, int y) { return c.placed == 1 ? pic.dark(x + 18, 792 - (y + 18)) : pic.dark(594 - y, 792 - (x + 18)); };
        EXPECT_TRUE(dark(200, 100) && dark(420, 310));  // on the line, in the image
        EXPECT_FALSE(dark(200, 110) || dark(320, 100)); // beside and past the line
        EXPECT_FALSE(dark(445, 310) || dark(420, 325)); // past the image
    }
}
