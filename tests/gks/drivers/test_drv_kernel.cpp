// The file drivers behind the kernel: opening workstations 3, 4 and 5 and
// their failures, what the primitives write, the page against the window,
// HPGL pen positions worked by hand, the text metafile read back, and the
// screen print.
#include <regex>
#include <string>
#include <vector>

#include "../gks_test_util.h"
#include "core/res.h"
#include "core/util.h"
#include "drv_util.h"
#include "gks/drivers/meta.h"
#include "gks/gks.h"
#include "image/img.h"

using testutil::read_file;
using testutil::ScratchDir;

namespace {

void unset_driver_env() {
    for (const char *v : {"zyrps_param", "zyrps_print", "PSPRINT", "PSCOLOR", "zyrps_geometry", "PSGEOMETRY", "zyrhp_param",
                          "zyrhp_out", "zyrhp_geometry", "zyrmeta_out", "METAOUT", "zyrprint", "zyrredraw"})
        unsetenv(v);
}

class FileWs : public ::testing::Test {
protected:
    void SetUp() override {
        unset_driver_env();
        RES_clear();
        RES_put("file_path", ZYR_DATA_DIR);
        gset_inverse(0); // the "color" option of an earlier PostScript workstation turns it on
        err_ = dir_.file("gks.err");
        ASSERT_EQ(gopen_gks(err_.c_str(), 0), 0);
    }
    void TearDown() override {
        if (gchk_graphics()) gclose_ws(1);
        gclose_gks();
        unset_driver_env();
    }
    // A window of the size on $DISPLAY (the kernel reopened).
    bool open_window(int w, int h) { return gclose_gks(), gkstest::open_window(getenv("DISPLAY"), err_, w, h); }
    // Opens workstation type on "display,file,options".
    int open(int type, const std::string &file, const std::string &options = "") {
        return gopen_ws(1, ("," + file + (options.empty() ? "" : "," + options)).c_str(), type);
    }
    std::string errors() {
        gclose_gks(); // flushes and closes the error file
        std::string e = read_file(err_);
        gopen_gks(err_.c_str(), 0);
        return e;
    }
    ScratchDir dir_;
    std::string err_;
};

#define NEED_X() \
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display"

// Transform 2 over most of the page.
void set_panel() {
    float win[4] = {0, 100, 0, 80}, vp[4] = {0.05f, 0.95f, 0.05f, 0.77f};
    gset_win(2, win), gset_vp(2, vp), gsel_norm_tran(2);
}

// Lines, a filled triangle and text in transform 2.  Every attribute a
// drawing here changes is set first: a metafile records changes only, so
// its replay starts from whatever the kernel holds.
void draw_scene() {
    gkstest::basic_colours();
    float up[] = {0, 1}, frame[] = {0, 0, 100, 0, 100, 80, 0, 80, 0, 0}, zig[] = {10, 10, 20, 60, 30, 10, 40, 60, 50, 10};
    float diag[] = {55, 5, 95, 75}, tri[] = {60, 50, 90, 50, 75, 70}, pos[] = {60, 20};
    int align[] = {0, 0}, font[] = {1, 2};
    gset_char_up_vec(up), gset_text_align(align), gset_expan(1), gset_char_space(0.25f), gset_space(0);
    gset_text_width(1), gset_fill_style_ind(0), gset_fontprec(font);
    set_panel();
    gset_line_colr_ind(1), gset_linewidth(1), gset_linetype(1);
    gpolyline(5, frame), gpolyline(5, zig);
    gset_line_colr_ind(2), gpolyline(2, diag);
    gset_fill_colr_ind(3), gset_fill_int_style(1), gfill_area(3, tri);
    gset_text_colr_ind(4), gset_char_ht(8), gtext(pos, "AB");
}

// A 60 x 40 white image at the top left corner of transform 2's viewport
// (on paper padded with white to the whole viewport, so drawn first).
void draw_image() {
    set_panel();
    std::vector<unsigned char> pix(60 * 40, 2);
    std::vector<float> cmap = {0, 0, 0, 1, 1, 1, 1, 1, 1};
    IMG img{};
    img.nx = 60, img.ny = 40, img.depth = 8, img.bits_pixel = 8, img.bytes_line = 60;
    img.indexed = 1, img.ncolors = 3, img.cmap = cmap.data(), img.transparent = -1;
    img.data = pix.data();
    EXPECT_EQ(gload_image(&img, 0, 0), gtype_is_PS() ? 0 : 1);
}

} // namespace

// An output (or a display) that cannot be opened gives no workstation and
// one message; through the world layer the program is asked to end with
// status 4.
TEST_F(FileWs, UnopenableOutputsGiveNoWorkstation) {
    const std::string file = "," + dir_.file("missing/dir/out");
    struct Case {
        int type;
        std::string conn;
        const char *message;
    } cases[] = {
        {GWS_PS, file, "gopen_ws: unable to open postscript file\n"},
        {GWS_HPGL, file, "gopen_ws: unable to open HPGL file\n"},
        {GWS_META, file, "gopen_ws: unable to open metafile\n"},
        {GWS_WIN, ":987", "gopen_ws: unable to connect to display\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        testing::internal::CaptureStderr();
        EXPECT_EQ(gopen_ws(1, c.conn.c_str(), c.type), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(gchk_graphics());
        EXPECT_EQ(errors(), c.message); // once, and nothing else
        int t = c.type;
        gclose_gks(), ZYR_clear_exit();
        testing::internal::CaptureStderr();
        EXPECT_EQ(GPH_begin(1, c.conn.c_str(), &t), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message + std::string("GPH_begin: Error opening workstation\n"));
        EXPECT_TRUE(ZYR_exit_requested() && ZYR_exit_status() == 4);
        ZYR_clear_exit(), gclose_gks(), gopen_gks(err_.c_str(), 0);
    }
    // "zyrprint" = "hpgl" turns a PostScript request into HPGL.
    setenv("zyrprint", "HPGL", 1);
    ASSERT_EQ(open(GWS_PS, dir_.file("p.out"), "nopcl"), 0);
    EXPECT_TRUE(gtype_is_HPGL());
    gclose_ws(1);
    EXPECT_EQ(read_file(dir_.file("p.out")).rfind("IN;SP1;PA;\n", 0), 0u);
}

TEST_F(FileWs, PostScriptPrimitivesWriteCommentsAndPaths) {
    std::string path = dir_.file("k.ps");
    ASSERT_EQ(open(GWS_PS, path, "color"), 0);
    int w, h;
    gget_win_size(&w, &h);
    EXPECT_EQ(w * 1000 + h, 756576);
    gkstest::basic_colours();
    gkstest::world_unit(1);
    float l[] = {0.1f, 0.1f, 0.9f, 0.1f}, m[] = {0.5f, 0.5f}, r[] = {0.2f, 0.4f, 0.2f, 0.4f};
    float tri[] = {0.1f, 0.1f, 0.2f, 0.1f, 0.15f, 0.2f}, pos[] = {0.5f, 0.25f};
    gset_linewidth(0), gpolyline(2, l), gpolyline(2, l); // width 0 prints as 1
    gmessage(1, "hello"), gpolymarker(1, m), gclear_region(r);
    gset_fill_int_style(1), gfill_area(3, tri);
    gset_char_ht(0.05f), gtext(pos, "Hi");
    gclose_ws(1);
    std::string text = read_file(path), body = text.substr(text.find("%%ZYR Plot:"));
    // Transform 1 over the fitted square: driver x = 575 x, y likewise; its
    // clip is the viewport moved out by 0.1.
    for (const char *want :
         {"%%PL:2\n1.00 1.00 1.00 setrgbcolor\nnp\n57.50 57.50 mv\n517.50 57.50 ln\nstroke\n%%PL:2\nnp\n57.50 57.50 mv\n"
          "517.50 57.50 ln\nstroke\n",
          "%%Message: hello\n", "%%PM:1\n", "%%TE:0.500000 0.250000 Hi\n",
          "%%CLR\nnp\n115.00 115.00 mv\n115.00 230.00 ln\n230.00 230.00 ln\n230.00 115.00 ln\ncp\n1.00 1.00 1.00 setrgbcolor\nfill\n",
          "initclip\nnp\n-0.10 -0.10 mv\n-0.10 575.10 ln\n575.10 575.10 ln\n575.10 -0.10 ln\ncp\nclip\n",
          "%%FA:3\nnp\n57.50 57.50 mv\n115.00 57.50 ln\n86.25 115.00 ln\ncp\n"})
        EXPECT_NE(body.find(want), std::string::npos) << want << "\nin:\n" << body;
    EXPECT_EQ(drvtest::count(body, "dot lw\n"), drvtest::count(body, "1.0 dot lw\n"));
    EXPECT_GE(drvtest::count(body, "stroke\n"), 4u); // two lines, the marker, the strokes of "Hi"
}

// The same drawing (lines, a fill, text and an image) on the window and as
// PostScript: Ghostscript's page shows ink where the window shows colour,
// within two pixels.
TEST_F(FileWs, PostScriptPageMatchesTheWindow) {
    NEED_TOOL("gs");
    NEED_X();
    ASSERT_TRUE(open_window(756, 576));
    draw_image(), draw_scene();
    gkstest::Picture win = gkstest::grab();
    gclose_ws(1);
    std::string path = dir_.file("page.ps");
    ASSERT_EQ(open(GWS_PS, path, "eps,port"), 0);
    draw_image(), draw_scene(), gclose_ws(1);
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
    EXPECT_NE(win.at(40, 150), 0u);
    EXPECT_TRUE(b.dark(40, 150));
    EXPECT_LE(drvtest::max_ink_distance(a, b), 2);
    EXPECT_LE(drvtest::max_ink_distance(b, a), 2);
}

// HPGL from the kernel: every command is well formed, and the pen lands
// where the transform puts it.  The device is 10150 x 7612 units with the
// unit square fitted to 7611 units at offset 10; window (-10..30, 5..25)
// on viewport (0.1..0.9, 0.2..0.7), so world (x, y) is unit
// (0.1 + 0.02 (x + 10), 0.2 + 0.025 (y - 5)) x 7611 + 10, worked by hand:
// (-10, 5) -> (771.1, 1532.2); (30, 25) -> (6859.9, 5337.7);
// (0, 15) -> (2293.3, 3434.95); (20, 10) -> (5337.7, 2483.6).
TEST_F(FileWs, HpglPenPositionsFollowTheTransform) {
    std::string path = dir_.file("t.hpgl");
    ASSERT_EQ(open(GWS_HPGL, path, "nopcl"), 0);
    const float wn[4] = {-10, 30, 5, 25}, vp[4] = {0.1f, 0.9f, 0.2f, 0.7f}, pts[8] = {-10, 5, 30, 25, 0, 15, 20, 10};
    gset_win(1, wn), gset_vp(1, vp), gsel_norm_tran(1), gpolyline(4, pts), gclose_ws(1);
    int ox = -1, oy = -1;
    gget_win_offset(&ox, &oy); // the plotter's margin lasts as long as its file
    EXPECT_EQ(ox * 1000 + oy, 0);
    std::string text = read_file(path);
    // Syntax: two-letter mnemonics with parameters, each ended by ";".
    std::string flat = std::regex_replace(text, std::regex("\n"), "");
    EXPECT_TRUE(std::regex_match(flat, std::regex("(([A-Z]{2}[-0-9.,]*|IW [-0-9.,]*);)+"))) << text;
    std::string pen = text.substr(text.find("PU"));
    EXPECT_EQ(pen.rfind("PU771,1532;PD6860,5338;PD2293,3435;PD5338,2484;", 0), 0u) << pen;
    // The clip of the viewport, moved out by 0.1 unit.
    EXPECT_NE(text.find("IW 771,1532,6860,5338;\n"), std::string::npos) << text;
}

TEST_F(FileWs, CgmThroughTheKernel) {
    std::string path = dir_.file("k.cgm");
    ASSERT_EQ(open(GWS_META, path, "cgm"), 0);
    EXPECT_EQ(gmeta_get_type(), 1);
    gkstest::world_unit(1);
    float l[] = {0.1f, 0.1f, 0.9f, 0.1f}, pos[] = {0.2f, 0.5f};
    gset_line_colr_ind(503), gpolyline(2, l), gset_line_colr_ind(505), gpolyline(2, l);
    gset_char_ht(0.05f), gtext(pos, "H"); // stroke text arrives as polylines
    gclose_ws(1), gmeta_set_type(0);
    std::string b = read_file(path);
    // LINE WIDTH elements: 1.0 for colour 503, four times that for 505.
    EXPECT_NE(b.find(std::string("\x50\x64\x00\x01\x00\x00", 6)), std::string::npos);
    EXPECT_NE(b.find(std::string("\x50\x64\x00\x04\x00\x00", 6)), std::string::npos);
    // Polyline elements: the two lines and the three strokes of the "H".
    EXPECT_EQ(drvtest::count(b, std::string("\x40\x3F", 2)), 5u);
}

// A text metafile read into a second metafile workstation gives the same
// records, except those the reader skips; replayed on the window it
// draws exactly what direct drawing draws.
TEST_F(FileWs, TextMetafileRoundTrip) {
    // Every kind of record the writer has.
    auto draw_all = [] {
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
    ASSERT_EQ(open(GWS_META, a, "zyr"), 0);
    gmessage(1, "BEGIN"), draw_all(), gclose_ws(1);
    ASSERT_EQ(open(GWS_META, b, "zyr"), 0);
    ASSERT_EQ(gread_metafile(a.c_str()), 0);
    gclose_ws(1);

    // The records from "ME BEGIN" on, without those the reader skips.
    auto body = [](const std::string &path) {
        std::string text = read_file(path);
        static const std::regex skipped("\n(WS_WIN|WS_VP|CLR_REG|SEG_CR|SEG_CL|SEG_DE) [^\n]*");
        return std::regex_replace(text.substr(std::min(text.size(), text.find("\nME BEGIN\n"))), skipped, "");
    };
    EXPECT_EQ(body(a), body(b));
    // Every record kind the writer has went through the reader.
    std::string at = read_file(a);
    for (const char *k : {"WIN", "VP", "TR", "PL", "FA", "PM", "TE", "CLR", "ME", "PL_CLR", "PL_LW", "PL_TYPE",
                          "FA_CLR", "FA_INT", "FA_ST", "PM_CLR", "PM_TYPE", "PM_SIZE", "PM_WDTH", "TE_CLR",
                          "TE_HGHT", "TE_EXP", "TE_WDTH", "TE_UP", "TE_ALGN", "TE_SPC", "TE_CSPC", "TE_FNT"})
        EXPECT_NE(at.find(std::string("\n") + k + " "), std::string::npos) << k;
    EXPECT_NE(at.find("SEG_CR 3\n"), std::string::npos);
    EXPECT_NE(at.find("CLR_REG 1.000000 2.000000 3.000000 4.000000\n"), std::string::npos);
    NEED_X();
    ASSERT_TRUE(open_window(640, 512));
    draw_all();
    gkstest::Picture direct = gkstest::grab();
    gclear_ws(1, 1), gsel_norm_tran(0);
    ASSERT_EQ(gread_metafile(a.c_str()), 0);
    EXPECT_TRUE(direct == gkstest::grab());
}

TEST_F(FileWs, MetafileReaderRefusesBadInput) {
    std::string out = dir_.file("o.meta");
    ASSERT_EQ(open(GWS_META, out, "zyr"), 0);
    std::string long_text(300, 'x');
    static const char junk[] = "ZYRMETA\n\x00\xff\x01PL\x00 2 1,1 2,2\n\x80\x80";
    std::string inputs[] = {
        "ZYRMETA\nPL 2000000000 1,2 3,4\n",               // count beyond the file
        "ZYRMETA\nPL 3 1,2 nan,4 5,6\nFA 2 inf,1 2,2\n",   // non-finite numbers
        "ZYRMETA\nPL 3 1,2 3,4",                           // truncated
        "ZYRMETA\nVERYLONGKEYWORD 1 2\nPL_CLRXX 3\n",      // over-long and unknown keywords
        "ZYRMETA\nTE 1,2 " + long_text + "\n",             // text cut at 100 characters
        "ZYRMETA\nPL_LW 1e999\nTR 99999999999\nCLR 1 2 0.5\nTE_ALGN 1\n",
        std::string(junk, sizeof junk - 1),
        "ZYRMETA\nPL 2 0.1,0.2 0.3,0.4\n",                 // the one good record
    };
    for (const std::string &in : inputs) {
        FILE *fp = fmemopen((void *)in.data(), in.size(), "r");
        EXPECT_EQ(gread_metafile_stream(fp, "mem"), 0);
        std::fclose(fp);
    }
    EXPECT_EQ(gread_metafile(dir_.file("none.meta").c_str()), -1);
    gclose_ws(1);
    std::string text = read_file(out);
    EXPECT_EQ(drvtest::count(text, "\nPL "), 1u) << text;
    EXPECT_NE(text.find("PL 2 0.100000,0.200000 0.300000,0.400000 \n"), std::string::npos);
    EXPECT_NE(text.find("TE 1.000000,2.000000 " + long_text.substr(0, 100) + "\n"), std::string::npos);
    EXPECT_TRUE(text.find("FA ") == std::string::npos && text.find("inf") == std::string::npos &&
                text.find("nan") == std::string::npos) << text;
    EXPECT_NE(errors().find("gread_metafile: Unable to open image file: " + dir_.file("none.meta")), std::string::npos);
}

// Printing the window's display list as a metafile and as PostScript: the
// files hold the drawing and the window's state comes back; an empty list
// still gives header and trailer; an unopenable file gives -1 and messages.
TEST_F(FileWs, ScreenPrints) {
    NEED_X();
    struct Case {
        const char *name, *redraw, *file;
        int status;
        size_t lines;
        const char *messages;
    } cases[] = {
        {"recorded", "", "s", 0, 3, ""},
        {"nothing recorded", "No", "e", 0, 0,
         "gobj_print_meta: No redraw data to make metafile from\n"
         "gobj_print_plot: No redraw data to make Postscript file from\n"},
        {"unopenable", "", "none/x", -1, 0, "gprint_meta: unable to open metafile\ngprint_plot: unable to open postscript file\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (*c.redraw) setenv("zyrredraw", c.redraw, 1);
        ASSERT_TRUE(open_window(640, 512));
        draw_scene();
        std::string meta = dir_.file(std::string(c.file) + ".meta"), ps = dir_.file(std::string(c.file) + ".ps");
        setenv("METAOUT", meta.c_str(), 1), setenv("PSPRINT", ps.c_str(), 1);
        int cursor = gget_cursor_type(), redraw = gget_redraw();
        testing::internal::CaptureStderr();
        EXPECT_EQ(gobj_print_meta(), c.status);
        EXPECT_EQ(gobj_print_plot(), c.status);
        std::string err = testing::internal::GetCapturedStderr();
        int w, h;
        gget_win_size(&w, &h);
        EXPECT_TRUE(gtype_is_WIN() && w == 640 && h == 512) << w << "x" << h;
        EXPECT_TRUE(gget_cursor_type() == cursor && gget_redraw() == redraw);
        gclose_ws(1), unsetenv("zyrredraw");
        EXPECT_EQ(err + errors(), c.messages);
        if (c.status) continue;
        std::string mt = read_file(meta), pt = read_file(ps);
        EXPECT_EQ(mt.rfind("ZYRMETA\n#Title: ZYR Graphics Display: ", 0), 0u);
        EXPECT_TRUE(pt.rfind("%!PS-Adobe-1.0\n", 0) == 0 && pt.find("%%EOF\n") != std::string::npos);
        EXPECT_EQ(drvtest::count(mt, "\nPL "), c.lines) << mt;
        EXPECT_EQ(drvtest::count(pt, "%%PL:"), c.lines);
    }
}
