// The file drivers behind the kernel: failed opens, one drawing on each, the
// page against the window, the text metafile read back, the screen print.
#include <regex>

#include "../gks_test_util.h"
#include "core/res.h"
#include "core/util.h"
#include "drv_util.h"
#include "gks/drivers/meta.h"

using testutil::read_file;

namespace {

class FileWs : public ::testing::Test {
protected:
    void SetUp() override { RES_put("file_path", ZYR_DATA_DIR), gopen_gks(err_.c_str(), 0); }
    bool open_window(int w, int h) { return gclose_gks(), gkstest::open_window(getenv("DISPLAY"), err_, w, h); }
    // The kernel's messages so far, its message file started again.
    std::string errors() {
        std::string m = gkstest::messages(err_);
        return gclose_gks(), gopen_gks(err_.c_str(), 0), m;
    }
    testutil::ScratchDir dir_;
    std::string err_ = dir_.file("gks.err");
};

// Lines, a filled triangle and text in transform 2 over most of the page.
// Every attribute it uses is set first: a metafile records changes only, so
// its replay starts from whatever the kernel holds.
void draw_scene() {
    gkstest::basic_colours();
    float up[] = {0, 1}, frame[] = {0, 0, 100, 0, 100, 80, 0, 80, 0, 0}, zig[] = {10, 10, 20, 60, 30, 10, 40, 60, 50, 10};
    float diag[] = {55, 5, 95, 75}, tri[] = {60, 50, 90, 50, 75, 70}, pos[] = {60, 20}, win[4] = {0, 100, 0, 80},
          vp[4] = {0.05f, 0.95f, 0.05f, 0.77f};
    int align[] = {0, 0}, font[] = {1, 2};
    gset_char_up_vec(up), gset_text_align(align), gset_expan(1), gset_char_space(0.25f), gset_space(0);
    gset_text_width(1), gset_fill_style_ind(0), gset_fontprec(font);
    gset_win(2, win), gset_vp(2, vp), gsel_norm_tran(2);
    gset_line_colr_ind(1), gset_linewidth(1), gset_linetype(1);
    gpolyline(5, frame), gpolyline(5, zig);
    gset_line_colr_ind(2), gpolyline(2, diag);
    gset_fill_colr_ind(3), gset_fill_int_style(1), gfill_area(3, tri);
    gset_text_colr_ind(4), gset_char_ht(8), gtext(pos, "AB");
}

} // namespace

// An output (or a display) that cannot be opened gives no workstation and
// one message; through the world layer the program is asked to end with
// status 4.  "zyrprint" = "hpgl" turns a PostScript request into HPGL.
TEST_F(FileWs, UnopenableOutputsGiveNoWorkstation) {
    std::pair<int, std::string> cases[] = {{GWS_PS, "open postscript file"}, {GWS_HPGL, "open HPGL file"}, {GWS_META, "open metafile"},
                                           {GWS_WIN, "connect to display"}};
    for (auto &[type, what] : cases) {
        std::string message = "gopen_ws: unable to " + what + "\n", conn = type == GWS_WIN ? ":987" : std::string(",").append(dir_.file("no/dir/out"));
        int t = type;
        SCOPED_TRACE(message);
        EXPECT_EQ(testutil::stderr_of([&] { EXPECT_TRUE(gopen_ws(1, conn.c_str(), type) == -1 && !gchk_graphics()); }), "");
        EXPECT_EQ(errors(), message); // once, and nothing else
        gclose_gks();
        EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(GPH_begin(1, conn.c_str(), &t), -1); }),
                  message + "GPH_begin: Error opening workstation\n");
        EXPECT_TRUE(ZYR_exit_requested() && ZYR_exit_status() == 4);
        ZYR_clear_exit(), gclose_gks(), gopen_gks(err_.c_str(), 0);
    }
    setenv("zyrprint", "HPGL", 1);
    const std::string pconn = std::string(",").append(dir_.file("p.out")).append(",nopcl");
    ASSERT_TRUE(gopen_ws(1, pconn.c_str(), GWS_PS) == 0 && gtype_is_HPGL());
    gclose_ws(1);
    EXPECT_EQ(read_file(dir_.file("p.out")).rfind("IN;SP1;PA;\n", 0), 0u);
}

// One drawing in transform 1 (the unit square over the fitted square) on each file device, named by its variable:
// PostScript's square is 575 points from 0, HPGL's 7611 units from 10; line width 0 (HPGL's thinnest, 1 on the
// others), colour 505's four times one; clips are the viewport moved out by 0.1.  Worked by hand: x = 0.1 ->
// 57.50 points, 771.1 units; 0.9 -> 517.50, 6859.9; the H at (0.5, 0.25) 0.05 high: 3815.5, 1912.75 to 2293.3.
TEST_F(FileWs, EachDeviceWritesTheDrawing) {
    struct Case {
        int type;
        const char *file, *env, *options;
        std::vector<std::string> has;
        std::string counted;
        size_t count;
    } cases[] = {
        {GWS_PS, "k.ps", "PSPRINT", "color",
         {"%%PL:2\n1.00 1.00 1.00 setrgbcolor\nnp\n57.50 57.50 mv\n517.50 57.50 ln\nstroke\n%%PL:2\nnp\n57.50 57.50 mv\n517.50 57.50 ln\n"
          "stroke\n%%PL:2\n4 dot lw\n1 setgray\n", "%%Message: hello\n", "%%PM:1\n", "%%TE:0.500000 0.250000 H\n1.0 dot lw\n",
          "%%CLR\nnp\n115.00 115.00 mv\n115.00 230.00 ln\n230.00 230.00 ln\n230.00 115.00 ln\ncp\n1.00 1.00 1.00 setrgbcolor\nfill\n",
          "initclip\nnp\n-0.10 -0.10 mv\n-0.10 575.10 ln\n575.10 575.10 ln\n575.10 -0.10 ln\ncp\nclip\n",
          "%%FA:3\nnp\n57.50 57.50 mv\n115.00 57.50 ln\n86.25 115.00 ln\ncp\n"},
         "%%PL:", 3},
        {GWS_HPGL, "k.hpgl", "zyrhp_out", "nopcl",
         {"PW0.0;\nPU771,771;PD6860,771;\nPU771,771;PD6860,771;\n", "PW4.0;", "IW 10,10,7621,7621;\n", "PU3816,2293;PD3816,1913;"},
         "PU771,771;PD6860,771;", 3},
        // LINE WIDTH 1.0 and 4.0 (16.16 fixed point); the lines, the H's three strokes and the marker's square.
        {GWS_META, "k.cgm", "zyrmeta_out", "cgm", {std::string("\x50\x64\x00\x01\x00\x00", 6), std::string("\x50\x64\x00\x04\x00\x00", 6)},
         std::string("\x40\x3F", 2), 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        setenv(c.env, dir_.file(c.file).c_str(), 1);
        ASSERT_EQ(gopen_ws(1, (",," + std::string(c.options)).c_str(), c.type), 0);
        int w, h;
        gget_win_size(&w, &h);
        gkstest::basic_colours(), gkstest::world_unit(1);
        float l[] = {0.1f, 0.1f, 0.9f, 0.1f}, m[] = {0.5f, 0.5f}, r[] = {0.2f, 0.4f, 0.2f, 0.4f};
        float tri[] = {0.1f, 0.1f, 0.2f, 0.1f, 0.15f, 0.2f}, pos[] = {0.5f, 0.25f};
        gset_linewidth(0), gpolyline(2, l), gpolyline(2, l), gset_linewidth(1), gset_line_colr_ind(505), gpolyline(2, l);
        gmessage(1, "hello"), gclear_region(r), gset_fill_int_style(1), gfill_area(3, tri);
        gset_char_ht(0.05f), gtext(pos, "H"), gpolymarker(1, m);
        gclose_ws(1);
        std::string text = read_file(dir_.file(c.file));
        for (const std::string &want : c.has) EXPECT_NE(text.find(want), std::string::npos) << want << "\nin:\n" << text;
        EXPECT_EQ(drvtest::count(text, c.counted), c.count);
        EXPECT_TRUE(c.type != GWS_PS || w * 1000 + h == 756576) << w << "x" << h;
        if (c.type != GWS_HPGL) continue;
        // Two-letter mnemonics with parameters, each ended by ";"; the plotter's margin lasts as long as its file.
        EXPECT_TRUE(std::regex_match(std::regex_replace(text, std::regex("\n"), ""), std::regex("(([A-Z]{2}[-0-9.,]*|IW [-0-9.,]*);)+")));
        int ox = -1, oy = -1;
        gget_win_offset(&ox, &oy);
        EXPECT_EQ(ox * 1000 + oy, 0);
    }
}

// The same drawing (lines, a fill, text and an image) on the window and as
// PostScript: Ghostscript's page shows ink where the window shows colour,
// within two pixels.
TEST_F(FileWs, PostScriptPageMatchesTheWindow) {
    NEED_TOOL("gs");
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
    // A 60 x 40 white image at the top left of transform 2's viewport (on
    // paper padded with white to the whole viewport, so drawn first).
    auto draw = [] {
        std::vector<unsigned char> pix(60 * 40, 2);
        std::vector<float> cmap = {0, 0, 0, 1, 1, 1, 1, 1, 1}, win = {0, 100, 0, 80}, vp = {0.05f, 0.95f, 0.05f, 0.77f};
        IMG img{};
        img.nx = 60, img.ny = 40, img.depth = 8, img.bits_pixel = 8, img.bytes_line = 60;
        img.indexed = 1, img.ncolors = 3, img.cmap = cmap.data(), img.transparent = -1, img.data = pix.data();
        gset_win(2, win.data()), gset_vp(2, vp.data()), gsel_norm_tran(2);
        EXPECT_EQ(gload_image(&img, 0, 0), gtype_is_PS() ? 0 : 1);
        draw_scene();
    };
    ASSERT_TRUE(open_window(756, 576));
    draw();
    gkstest::Picture win = gkstest::grab();
    std::string path = dir_.file("page.ps");
    ASSERT_EQ(gopen_ws(1, ("," + path + ",eps,port").c_str(), GWS_PS), 0);
    draw(), gclose_ws(1);
    testutil::Raster page;
    ASSERT_EQ(drvtest::render_ps(path, 72, &page, "-dDEVICEWIDTHPOINTS=756 -dDEVICEHEIGHTPOINTS=576"), 0)
        << read_file(path + ".gslog");
    ASSERT_EQ(page.w * 1000 + page.h, 756576);
    // Window row py is driver y = 575 - py, which is page row 576 - y = py + 1.
    testutil::Raster a{756, 576, std::vector<unsigned char>(756 * 576 * 3, 255)}, b = a;
    long inked = 0;
    for (int y = 0; y < 575; ++y)
        for (int x = 0; x < 756; ++x) {
            if (win.at(x, y) != 0) std::fill_n(&a.px[3 * ((size_t)y * 756 + x)], 3, 0), ++inked;
            unsigned p = page.rgb(x, y + 1);
            if ((p >> 16) + (p >> 8 & 255) + (p & 255) < 3 * 250) std::fill_n(&b.px[3 * ((size_t)y * 756 + x)], 3, 0);
        }
    ASSERT_GT(inked, 1000);
    // The image: window rows 132..171 from column 29 (the viewport's top left pixel).
    EXPECT_TRUE(win.at(40, 150) != 0 && b.dark(40, 150));
    EXPECT_LE(drvtest::max_ink_distance(a, b), 2);
    EXPECT_LE(drvtest::max_ink_distance(b, a), 2);
}

// A text metafile read into a second metafile workstation gives the same
// records, except those the reader skips.
TEST_F(FileWs, TextMetafileRoundTrip) {
    auto draw_all = [] { // every kind of record the writer has
        draw_scene();
        float m[] = {20, 20, 30, 30, 40, 20}, up[] = {1, 1}, pos[] = {30, 70}, r[] = {1, 2, 3, 4};
        int al[] = {2, 3}, font[] = {2, 2};
        gcreate_seg(3), gset_linetype(3), gset_linewidth(2.5f);
        gset_marker_colr_ind(2), gset_marker_type(4), gset_marker_size(1.5f), gset_marker_width(2);
        gpolymarker(3, m), gclose_seg(3);
        gset_char_up_vec(up), gset_text_align(al), gset_expan(1.5f), gset_char_space(0.5f), gset_space(2);
        gset_text_width(2), gset_fontprec(font), gtext(pos, "Turned");
        gset_fill_style_ind(7), gclear_region(r);
    };
    std::string a = dir_.file("a.meta"), b = dir_.file("b.meta");
    ASSERT_EQ(gopen_ws(1, ("," + a + ",zyr").c_str(), GWS_META), 0);
    gmessage(1, "BEGIN"), draw_all(), gclose_ws(1);
    ASSERT_EQ(gopen_ws(1, ("," + b + ",zyr").c_str(), GWS_META), 0);
    ASSERT_EQ(gread_metafile(a.c_str()), 0);
    gclose_ws(1);
    std::string at = read_file(a), bt = read_file(b);
    static const std::regex skipped("\n(WS_WIN|WS_VP|CLR_REG|SEG_CR|SEG_CL|SEG_DE) [^\n]*"); // from "ME BEGIN" on
    EXPECT_EQ(std::regex_replace(at.substr(std::min(at.size(), at.find("\nME BEGIN\n"))), skipped, ""),
              std::regex_replace(bt.substr(std::min(bt.size(), bt.find("\nME BEGIN\n"))), skipped, ""));
    for (const char *k : {"WIN", "VP", "TR", "PL", "FA", "PM", "TE", "CLR", "ME", "PL_CLR", "PL_LW", "PL_TYPE",
                          "FA_CLR", "FA_INT", "FA_ST", "PM_CLR", "PM_TYPE", "PM_SIZE", "PM_WDTH", "TE_CLR",
                          "TE_HGHT", "TE_EXP", "TE_WDTH", "TE_UP", "TE_ALGN", "TE_SPC", "TE_CSPC", "TE_FNT"})
        EXPECT_NE(at.find(std::string("\n") + k + " "), std::string::npos) << k;
    EXPECT_TRUE(at.find("SEG_CR 3\n") != std::string::npos && at.find("CLR_REG 1.000000 2.000000 3.000000 4.000000\n") != std::string::npos);
}

// Only the one good record gets through; text is cut at 100 characters.
TEST_F(FileWs, MetafileReaderRefusesBadInput) {
    std::string out = dir_.file("o.meta"), long_text(300, 'x');
    ASSERT_EQ(gopen_ws(1, ("," + out + ",zyr").c_str(), GWS_META), 0);
    static const char junk[] = "ZYRMETA\n\x00\xff\x01PL\x00 2 1,1 2,2\n\x80\x80";
    std::string inputs[] = {
        "ZYRMETA\nPL 2000000000 1,2 3,4\n",             // count beyond the file
        "ZYRMETA\nPL 3 1,2 nan,4 5,6\nFA 2 inf,1 2,2\n", // non-finite numbers
        "ZYRMETA\nPL 3 1,2 3,4",                         // truncated
        "ZYRMETA\nVERYLONGKEYWORD 1 2\nPL_CLRXX 3\n",    // over-long and unknown keywords
        "ZYRMETA\nTE 1,2 " + long_text + "\n",
        "ZYRMETA\nPL_LW 1e999\nTR 99999999999\nCLR 1 2 0.5\nTE_ALGN 1\n",
        std::string(junk, sizeof junk - 1),
        "ZYRMETA\nPL 2 0.1,0.2 0.3,0.4\n",
    };
    for (const std::string &in : inputs) {
        FILE *fp = fmemopen((void *)in.data(), in.size(), "r");
        EXPECT_EQ(gread_metafile_stream(fp, "mem"), 0);
        std::fclose(fp);
    }
    EXPECT_EQ(gread_metafile(dir_.file("none.meta").c_str()), -1);
    gclose_ws(1);
    std::string text = read_file(out);
    EXPECT_EQ(drvtest::count(text, "\nPL ") + drvtest::count(text, "\nFA "), 1u) << text;
    EXPECT_EQ(text.substr(std::min(text.size(), text.find("\nTE "))),
              "\nTE 1.000000,2.000000 " + long_text.substr(0, 100) + "\nPL 2 0.100000,0.200000 0.300000,0.400000 \n");
    EXPECT_NE(errors().find("gread_metafile: Unable to open image file: " + dir_.file("none.meta")), std::string::npos);
}

// Printing the window's display list as PostScript (the metafile print is
// checked with the frame loops): the file holds the drawing and the window's
// state comes back; an empty list gives a message, an unopenable file -1.
TEST_F(FileWs, ScreenPrints) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
    struct Case {
        const char *redraw, *file;
        int status;
        size_t lines;
        const char *messages;
    } cases[] = {{"", "s.ps", 0, 3, ""},
                 {"No", "e.ps", 0, 0, "gobj_print_plot: No redraw data to make Postscript file from\n"},
                 {"", "none/x.ps", -1, 0, "gprint_plot: unable to open postscript file\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        if (*c.redraw) setenv("zyrredraw", c.redraw, 1);
        ASSERT_TRUE(open_window(640, 512));
        draw_scene(), setenv("PSPRINT", dir_.file(c.file).c_str(), 1);
        int cursor = gget_cursor_type(), redraw = gget_redraw(), w, h;
        const std::string err = testutil::stderr_of([&] { EXPECT_EQ(gobj_print_plot(), c.status); }),
                          pt = read_file(dir_.file(c.file));
        gget_win_size(&w, &h);
        EXPECT_TRUE(gtype_is_WIN() && w == 640 && h == 512 && gget_cursor_type() == cursor && gget_redraw() == redraw);
        gclose_ws(1), unsetenv("zyrredraw");
        EXPECT_EQ(err + errors(), c.messages);
        EXPECT_EQ(drvtest::count(pt, "%%PL:"), c.lines);
        EXPECT_TRUE(c.status || (pt.rfind("%!PS-Adobe-1.0\n", 0) == 0 && pt.find("%%EOF\n") != std::string::npos));
    }
}
