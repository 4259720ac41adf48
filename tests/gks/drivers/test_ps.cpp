// PostScript driver: the file of every layout (checked as text and read by
// Ghostscript), state written only on change, image hex layout, options and
// placement, and the number formatter against printf.
#include <cmath>
#include <functional>

#include "drv_util.h"
#include "gks/clr.h"
#include "gks/drivers/ps.h"
#include "image/img.h"

using testutil::read_file;

namespace {

const std::string kOps = "/inch {72 mul} def\n/dot {.33 mul} def\n/mv {moveto} def\n/ln {lineto} def\n"
                         "/lw {setlinewidth} def\n/np {newpath} def\n/cp {closepath} def\n";
const std::string kHead = "%%Title: ZYR Graphics Display: T\n%%Creator: ZYR Postscript Processor-2.0\n%%CreationDate:\n";
const std::string kTail = "2 setlinejoin\n1 dot lw\n[] 0 setdash\n";
const std::string kPage = "/saveobj save def\n" + kOps + "90 rotate\n.25 inch -8.25 inch translate\n0 setgray\n" + kTail +
                          "%%Begin plot\n%%ZYR Plot: T\n";
const std::string kLand = "%!PS-Adobe-1.0\n" + kHead + "%%Pages: (atend)\n%%EndComments\n%%Postscript initialization\n"
                          "30 dict begin\n%%Page: 1 1\n" + kPage + "%%End of plot\nsaveobj restore\nshowpage\n%%Trailer\n"
                          "end\n%%Pages: 1\n%%EOF\n";
const std::string kEps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 576 756\n" + kHead + "%%EndComments\n%%Postscript "
                         "initialization\n" + kOps + "90 rotate\n0. inch -8.50 inch translate\n0 setgray\n" + kTail +
                         "%%Begin plot\n%%ZYR Plot: T\n%%End of plot\nshowpage\n%%EOF\n";

class PsDriver : public ::testing::Test {
protected:
    // Opens name ("+name" appends) with the options, draws, closes; the file with its time stamp blanked.
    std::string plot(const std::string &name, const char *options, const std::function<void()> &draw = {},
                     GDRV_PAGE *page = nullptr, int *inverse = nullptr) {
        std::string path = dir_.file(name.substr(name[0] == '+'));
        EXPECT_EQ(gps_open_ws((name[0] == '+' ? "+" + path : path).c_str(), options, nullptr, "T", page, inverse), 0);
        if (draw) draw();
        EXPECT_EQ(gps_close_file(), 0);
        return drvtest::blank_lines(read_file(path), "%%CreationDate:");
    }
    testutil::ScratchDir dir_;
};

void image(const std::vector<unsigned char> &pix, int nx, int x0, int y0, int x, int y, int w, int h) {
    IMG img{};
    img.nx = nx, img.ny = (int)pix.size() / nx, img.bytes_line = nx, img.bits_pixel = 8, img.depth = 8;
    img.data = (unsigned char *)pix.data();
    EXPECT_EQ(gps_image_rect(&img, x0, y0, x, y, w, h), 0);
}

// Colour 3 is (1, 0.5, 0.25); colour 4 (0, 1, 0) is gray (0 + 1 + 0) / 2.7 = 0.370; a mark before the drawing.
void mark() { gps_set_color_rep(3, 1, 0.5f, 0.25f), gps_set_color_rep(4, 0, 1, 0), gps_printf("%%%%mark\n"); }
std::string marked(const std::string &body) { return "%%mark\n" + body + "%%End of plot"; }
// A 3 x 2 image in a 5 x 4 viewport at (7, 9).
const std::vector<unsigned char> kPix = {1, 2, 3, 0x11, 0x12, 0x13};
const std::string kImage = "gsave\n7 9 translate\n5 4 scale\n/picstr 5 string def\n5 4 8 [ 5 0 0 -4 0 4 ]\n"
                           "{ currentfile picstr readhexstring pop }\nimage\n";

// Every kind of file: a fragment starting "%!" is the whole file, a marked
// one all the drawing wrote.
struct Layout {
    const char *file, *options;
    std::function<void()> draw;
    std::vector<std::string> has;
};
const std::vector<Layout> &layouts() {
    static const auto no_page = [] { EXPECT_EQ(gps_new_page(), -1); };
    static std::string orange;
    for (int k = 0; orange.size() < 541; ++k) orange += (k == 80 ? "\nFF7F00" : "FF7F00"); // 90 samples, 80 to a line
    static const std::vector<Layout> all = {
        {"land.ps", "", {}, {kLand}},
        {"eps.ps", "eps", no_page, {kEps}},
        {"+eps.ps", "", [] { gps_move_abs(10, 10), no_page(); }, // appended: no prologue
         {kEps + "0 setgray\n1 dot lw\n[] 0 setdash\n%%ZYR Plot: T\n10.00 10.00 mv\n%%End of plot\n"}},
        {"+new.ps", "", {}, {kLand}}, // "+" on a missing file starts a complete one
        {"pages.ps", "", [] { gps_move_abs(10, 10), gps_new_page(), gps_move_abs(20, 20); },
         {"10.00 10.00 mv\n%%End of plot\nsaveobj restore\nshowpage\n%%Page: 2 2\n" + kPage +
          "20.00 20.00 mv\n%%End of plot\nsaveobj restore\nshowpage\n%%Trailer\nend\n%%Pages: 2\n%%EOF\n"}},
        {"port.ps", "port", {}, {"%%Page: 1 1\n", "/cp {closepath} def\n.25 inch .25 inch translate\n0 setgray\n"}},
        {"eport.ps", "EPS,Port", {}, {"%%BoundingBox: 0 0 756 576\n", "/cp {closepath} def\n0 setgray\n", "plot\nshowpage\n%%EOF\n"}},
        {"a4.ps", "eps,noeps,a4", {}, {"%%Pages: (atend)\n", "90 rotate\n.25 inch -8.01 inch translate\n"}},
        // Each change written once, nothing for a repeat; black after a colour is "0 setgray"; type 9 does not exist.
        {"rgb.ps", "color", [] { mark(), gps_set_color(3), gps_set_color(3), gps_set_color(500), gps_set_color(501), gps_set_color(3),
                                 gps_set_type(2), gps_set_type(2), gps_set_type(9), gps_set_width(1, 2), gps_set_width(1, 2); },
         {marked("1.00 0.50 0.25 setrgbcolor\n0 setgray\n1.00 0.50 0.25 setrgbcolor\n[6] 0 setdash\n2.0 dot lw\n")}},
        {"gray.ps", "", [] { mark(), gps_set_fill_color(4), gps_set_fill_color(4), gps_set_color(4), gps_set_fill_color(-1),
                             gps_set_print_solid(1), gps_set_fill_color(4), gps_set_print_solid(0); }, // solid printing: black
         {marked("0.370 setgray\n0 setgray\n1 setgray\n0 setgray\n")}},
        // Base width 3: 503 x 1.5, 505 four times, 504 twice, 506 print-bold x base x w.
        {"widths.ps", "lwidth=3.7", [] { mark(), gps_set_width(503, 1.5f), gps_set_color(503), gps_set_width(505, 1.5f),
                                         gps_set_width(504, 1.5f), gps_set_width(506, 1.5f), gps_set_print_bold(2), gps_set_width(506, 1.5f); },
         {marked("4.5 dot lw\n1 setgray\n18 dot lw\n9 dot lw\n4.5 dot lw\n9.0 dot lw\n")}},
        // Negative offsets pad with white before, positive ones start inside; the rest is white.
        {"img1.ps", "", [] { mark(), image(kPix, 3, -1, -2, 7, 9, 5, 4); }, {marked(kImage + "FFFFFFFFFF\nFFFFFFFFFF\nFF010203FF\nFF111213FF\ngrestore\n")}},
        {"img2.ps", "", [] { mark(), image(kPix, 3, 1, 1, 7, 9, 5, 4); }, {marked(kImage + "1213FFFFFF\nFFFFFFFFFF\nFFFFFFFFFF\nFFFFFFFFFF\ngrestore\n")}},
        {"img3.ps", "", [] { mark(), image(kPix, 3, 0, 0, 7, 9, 5, 4); }, {marked(kImage + "010203FFFF\n111213FFFF\nFFFFFFFFFF\nFFFFFFFFFF\ngrestore\n")}},
        // In colour the image samples come from the colour table.
        {"colour.ps", "color,scale=0.5,legal",
         [] { CLR_add("black", 0, 0, 0), CLR_add("orange", 1.0f, 0.5f, 0.0f), image(std::vector<unsigned char>(100, 1), 100, 0, 0, 0, 0, 90, 1); },
         {"-8.25 inch translate\n0 0 0 setrgbcolor\n", "[] 0 setdash\n0.50 0.50 scale\n", "false 3 colorimage\n" + orange + "\ngrestore"}},
    };
    return all;
}

} // namespace

TEST_F(PsDriver, FileOfEveryLayout) {
    for (const Layout &c : layouts()) {
        std::string text = plot(c.file, c.options, c.draw);
        for (const std::string &h : c.has)
            EXPECT_TRUE(h.rfind("%!", 0) == 0 ? text == h : text.find(h) != std::string::npos) << c.file << ": " << h << "\nin:\n" << text;
    }
}

// Ghostscript reads every kind without an error (placement on the page is
// compared with the window in the kernel tests).
TEST_F(PsDriver, GhostscriptReadsEveryLayout) {
    NEED_TOOL("gs");
    for (const Layout &c : layouts()) {
        SCOPED_TRACE(c.file);
        plot(c.file, c.options, c.draw);
        std::string path = dir_.file(c.file + (c.file[0] == '+'));
        EXPECT_EQ(drvtest::render_ps(path, 72), 0) << read_file(path + ".gslog");
    }
}

// Output to a command (one that ends without reading fails the close, the
// program lives on); nothing written, and nothing fails, without an open file.
TEST_F(PsDriver, OutputsAndFailures) {
    ASSERT_EQ(gps_open_ws(("|cat > " + dir_.file("spooled.ps")).c_str(), "", nullptr, "T", nullptr, nullptr), 0);
    ASSERT_EQ(gps_close_file(), 0);
    EXPECT_EQ(drvtest::blank_lines(read_file(dir_.file("spooled.ps")), "%%CreationDate:"), kLand);
    ASSERT_EQ(gps_open_ws("|true", "", nullptr, "T", nullptr, nullptr), 0);
    for (int k = 0; k < 100000; ++k) gps_line_abs(1, 1);
    EXPECT_EQ(gps_close_file(), -1);
    EXPECT_EQ(gps_printf("stroke\n"), 0);
    gps_set_color(3), gps_line_abs(1, 2);
    EXPECT_EQ(gps_close_file(), -1);
}

// Placement strings on a 756 x 576 page, 0.72 points a pixel: "P" cells
// (columns clamp to 8, rows to 1); the rest leave the page as it was.
TEST(PsPlacement, GeometryStrings) {
    std::pair<const char *, const char *> cases[] = {
        {"500x400+100+50", "360x288+72+36"}, {"500x400", "360x288+0+0"}, {"+100-50", "756x576+72-36"},
        {"P2x2+1+0", "378x288+378+288"},     {"P20x0.5+0+0", "94.5x576+0+0"}, {"P2x2", ""}, {"huge", ""}, {"0x400", ""}, {"", ""}};
    for (auto [text, want] : cases) {
        GDRV_PAGE p{756, 576, 0, 0};
        EXPECT_EQ(gdrv_geometry(text, GDRV_GEOM_RULE{0.72f, 0.0f, false}, &p), *want != 0) << text;
        EXPECT_EQ(drvtest::page_text(p), *want ? want : "756x576+0+0") << text;
    }
}

// Paper words and sizes (points); the environment's options come first, the connection's override them.
TEST_F(PsDriver, PaperAndOptionWords) {
    std::pair<const char *, const char *> cases[] = {
        {"", "756x576"},        {"A3", "1154.88x805.68"}, {"sz=8x6", "540x396"},
        {"sz=junk", "756x576"}, {"sz=-3x2", "756x576"},   {"ansid,unknownword,scale=abc,lwidth=", "2412x1548"}};
    for (auto [options, want] : cases) {
        GDRV_PAGE page{};
        plot("o.ps", options, {}, &page);
        EXPECT_EQ(drvtest::page_text(page, false), want) << options;
    }
    setenv("zyrps_param", "eps,port", 1);
    int inverse = 0;
    EXPECT_NE(plot("o.ps", "land,color", {}, nullptr, &inverse).find("%%BoundingBox: 0 0 576 756\n"), std::string::npos);
    EXPECT_TRUE(inverse == 1 && gps_get_colorPS() == 1);
    gps_set_reverse(1), gps_set_color_rep(5, 1.0f, 1.0f, 1.0f); // reversed, white is gray 0
    EXPECT_NEAR(gps_get_gray(5), 0.0f, 1e-6);
}

// The fast number formatter agrees with printf digit for digit.
TEST(PsNumbers, FormatterMatchesPrintf) {
    std::vector<float> values = {0.0f, -0.0f, 0.5f, 1.5f, 2.5f, -2.5f, 0.125f, 0.005f, 0.015f, 1e-7f, -1e-7f,
                                 99999.995f, 100000.0f, -100000.0f, 123.456f, 1e12f, 3e38f, NAN, INFINITY};
    for (unsigned k = 0, seed = 12345; k < 200000; ++k)
        seed = seed * 1103515245u + 12345u, values.push_back((float)((int)(seed >> 8) % 2000001 - 1000000) / (float)(1 + (seed & 1023)));
    char want[96], got[96];
    for (float v : values)
        for (int d : {0, 2, 6}) {
            std::snprintf(want, sizeof want, "%.*f", d, (double)v), got[gdrv_fmt(got, v, d)] = 0;
            ASSERT_STREQ(got, want) << "value " << v << " decimals " << d;
        }
}
