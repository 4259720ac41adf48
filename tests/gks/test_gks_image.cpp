// Image transfer on TrueColor and PseudoColor screens, and image files without a window.
#include "gks_test_util.h"

#include <X11/Xatom.h>

#include <filesystem>
#include <set>

#include "../image/codec_oracle.h"
#include "gks/imgfile.h"
#include "image/gif.h"
#include "image/xwd.h"

namespace {

using UV = std::vector<unsigned long>;

// An 8-bit indexed image whose pixel (x, y) is (x + y) % mod, with a table of `colours` entries:
// colour k = (k/16, 1 - k/16, 1/2), exact in binary.  A 24-bit pixel keeps the top 8 bits of 65535
// x each component (255 x it, truncated): colour 0 is 0x00FF7F, 5 is 0x4FAF7F (79.7 and 175.3), 14
// is 0xDF1F7F (223.1 and 31.9), 15 is 0xEF0F7F.
struct TestImage : codec::Rec {
    TestImage(int nx, int ny, int colours, int mod) {
        this->nx = nx, this->ny = ny, depth = 8, bits_pixel = 8, bytes_line = nx, indexed = 1, ncolors = colours;
        cmap = (float *)malloc(sizeof(float) * 3 * (colours ? colours : 1));
        for (int k = 0; k < colours; k++) cmap[3 * k] = k / 16.0f, cmap[3 * k + 1] = 1 - k / 16.0f, cmap[3 * k + 2] = 0.5f;
        data = (unsigned char *)malloc((size_t)nx * ny);
        for (int i = 0; i < nx * ny; i++) data[i] = (unsigned char)((i % nx + i / nx) % mod);
    }
};

class GksImage : public gkstest::WindowTest {
protected:
    void setup() override {
        if (gget_visual()->c_class != TrueColor || gget_win_depth() != 24) GTEST_SKIP() << "needs a 24-bit screen";
        float vp[4] = {0.2f, 0.6f, 0.2f, 0.6f};
        gset_vp(0, vp), gget_xviewport(&vp_);
    }
    unsigned long at(int x, int y) { return gkstest::picture_pixel(vp_.x + x, vp_.y + y); }
    GXRect vp_{};
};

TEST_F(GksImage, PlacedOverlaidReadBackAndBadRecordsLeftAlone) {
    TestImage t(10, 6, 16, 16), u(40, 1, 16, 40);
    const unsigned long black = BlackPixel(gget_display(), gget_screen());
    ASSERT_EQ(gload_image(t.get(), 0, 0), 1);
    EXPECT_EQ(UV({at(0, 0), at(9, 5), at(10, 0)}), UV({0x00FF7F, 0xDF1F7F, black}));
    // (-1, -1): the image's last pixel sits one pixel in from the bottom right corner.
    ASSERT_EQ(gload_image(t.get(), -1, -1), 1);
    int r = vp_.width - 1, b = vp_.height - 1;
    EXPECT_EQ(UV({at(r - 1, b - 1), at(r - 10, b - 6), at(r, b)}), UV({0xDF1F7F, 0x00FF7F, black}));
    EXPECT_EQ(gload_image(t.get(), 5000, 0), 0);  // entirely outside the viewport
    // Values beyond the table take colour 0; no table at all is grey.
    ASSERT_EQ(gload_image(u.get(), 0, 0), 1);
    EXPECT_EQ(UV({at(0, 0), at(5, 0), at(15, 0), at(16, 0), at(39, 0)}), UV({0x00FF7F, 0x4FAF7F, 0xEF0F7F, 0x00FF7F, 0x00FF7F}));
    u.ncolors = 0, u.indexed = 0;
    ASSERT_EQ(gload_image(u.get(), 0, 0), 1);
    EXPECT_EQ(at(33, 0), 0x212121u);
    // True colour: 32-bit pixels, most significant byte first, red in the low byte.
    codec::Rec img;
    img->nx = 2, img->ny = 1, img->depth = 24, img->bits_pixel = 32, img->bytes_line = 8, img->byte_order = 1;
    img->red_mask = 0xFF, img->green_mask = 0xFF00, img->blue_mask = 0xFF0000;
    img->data = (unsigned char *)memcpy(malloc(8), "\0\x10\x20\x30\0\xC0\x80\x40", 8);
    ASSERT_EQ(gload_image(img.get(), 0, 0), 1);
    EXPECT_EQ(UV({at(0, 0), at(1, 0)}), UV({0x302010, 0x4080C0}));
    // The overlay leaves its transparent colour out.
    XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(2));  // red underneath
    XFillRectangle(gget_display(), gget_base_window(), gget_root_gc(), 0, 0, 640, 512);
    TestImage t2(8, 8, 2, 2);
    const float cmap[6] = {0, 0, 0, 0, 1, 0};  // 0 black, 1 green
    memcpy(t2.cmap, cmap, sizeof cmap);
    ASSERT_EQ(goverlay_image(t2.get(), "black", 0, 0), 1);
    for (int i = 0; i < 64; i++) EXPECT_EQ(at(i % 8, i / 8), (i % 8 + i / 8) % 2 ? 0x00FF00u : 0xFF0000u) << i;
    EXPECT_EQ(goverlay_image(t2.get(), "no-such-colour-name", 0, 0), 0);
    TestImage t3(16, 16, 16, 16);
    gload_image(t3.get(), 0, 0), gset_win_title("GOES east");
    codec::Rec back, unnamed;
    ASSERT_EQ(gget_image(back.get()), 1);
    EXPECT_STREQ(back->info, "GOES east");
    EXPECT_EQ(std::vector<long>({back->nx, back->ny, back->indexed, back->red_mask}), std::vector<long>({640, 512, 0, 0xFF0000}));
    auto pic = gkstest::grab();
    EXPECT_TRUE(gkstest::read_back() == std::vector<uint32_t>(pic.px.begin(), pic.px.end()));
    ASSERT_EQ((XDeleteProperty(gget_display(), gget_root_window(), XA_WM_NAME), gget_image(unnamed.get())), 1);
    EXPECT_STREQ(unnamed->info, "xwdump");
    // Records that do not describe their data are left alone.
    TestImage t4(10, 10, 16, 16);
    auto before = gkstest::grab();
    struct Case { const char *what; void (*spoil)(IMG &); } cases[] = {
        {"short lines", [](IMG &i) { i.bytes_line = 5; }},      {"no data", [](IMG &i) { i.data = nullptr; }},
        {"zero width", [](IMG &i) { i.nx = 0; }},               {"negative height", [](IMG &i) { i.ny = -3; }},
        {"odd storage", [](IMG &i) { i.bits_pixel = 12; }},     {"table without colours", [](IMG &i) { i.cmap = nullptr; }},
        {"huge", [](IMG &i) { i.nx = 100000; }},
    };
    for (auto &c : cases) {
        IMG copy = *t4.get();
        EXPECT_EQ((c.spoil(copy), gload_image(&copy, 0, 0) + goverlay_image(&copy, "", 0, 0)), 0) << c.what;
    }
    EXPECT_TRUE(gkstest::grab() == before);
}

TEST(GksPseudoColor, ImagesAndColourCellsOfAnEightBitScreen) {
    NEED_TOOL("Xvfb");
    gkstest::XServer x(8, "800x600");
    ASSERT_TRUE(x.ok() && gopen_gks(nullptr, 0) == 0 && gopen_ws(1, x.name().c_str(), GWS_WIN) == 0) << x.name();
    ASSERT_EQ(std::vector<int>({gget_visual()->c_class, gget_win_depth()}), std::vector<int>({PseudoColor, 8}));
    TestImage t(16, 4, 16, 16), u(16, 1, 16, 16);
    ASSERT_EQ(gload_image(t.get(), 0, 0), 1);
    codec::Rec back;
    ASSERT_EQ(gget_image(back.get()), 1);
    EXPECT_EQ(std::vector<int>({back->indexed, back->ncolors, back->bits_pixel}), std::vector<int>({1, 256, 8}));
    GXRect v;
    gget_xviewport(&v);
    // The colour set-up rewrites an image's values as pixels in place: the same pixels the load
    // used, and their table entries the image's colours.
    ASSERT_EQ(gsetup_image_colors(u.get(), -1), 1);
    for (int k = 0; k < 16; k++) {
        int px = back->data[(size_t)v.y * back->bytes_line + v.x + k];
        EXPECT_NEAR(back->cmap[3 * px], k / 16.0f, 0.02) << k;
        EXPECT_NEAR(back->cmap[3 * px + 1], 1 - k / 16.0f, 0.02) << k;
        EXPECT_EQ(u.data[k], px) << k;
    }
    // 256 distinct grays: the shared cells run out, later ones still get a pixel (the nearest cell).
    std::set<long> pixels;
    for (int i = 0; i < 256; i++) pixels.insert(galloc_colr(i, i / 255.0f, i / 255.0f, i / 255.0f));
    EXPECT_TRUE(pixels.size() > 150 && *pixels.begin() >= 0 && *pixels.rbegin() < 256) << pixels.size();
    XColor c;
    for (int i = 0; i < 256; i += 15) EXPECT_NEAR((gquery_xcolor(i, &c), c.red / 65535.0), i / 255.0, 0.05) << i;
    EXPECT_GE(galloc_colr(-1, 0.9f, 0.1f, 0.3f), 0);  // the map is full: the nearest existing cell
    // A private colormap gets read-write cells: a colour stored again stays in its cell.
    gclose_ws(1), gset_local_colormap(1), gset_rw_colors(1);
    ASSERT_EQ(gopen_ws(1, x.name().c_str(), GWS_WIN), 0);
    float red[3] = {1, 0, 0}, blue[3] = {0, 0, 1};
    long p7 = (gset_colr_rep(1, 7, red), gget_color_ind(7));
    gset_colr_rep(1, 7, blue), gquery_xcolor(7, &c);
    EXPECT_EQ(std::vector<long>({gget_color_ind(7), c.red, c.blue}), std::vector<long>({p7, 0, 65535}));
    gclose_ws(1), gset_local_colormap(0), gset_rw_colors(0), gclose_gks();
}

// No workstation: nothing drawn, read back or saved; a query takes any file (as for a 32-bit
// window), a read for display refuses an XWD deeper than the absent window (depth 0).
TEST(GksImageClosed, NothingDrawnReadOrSavedWithoutAWorkstationAndSaveTypes) {
    ASSERT_EQ(gchk_graphics(), 0);
    TestImage t(4, 4, 16, 16);
    codec::Rec src, back, q, r, g;
    EXPECT_EQ(std::vector<int>({gload_image(t.get(), 0, 0), goverlay_image(t.get(), "", 0, 0), gget_image(back.get()),
                                gcreate_frame(0), gdisplay_frame(0)}),
              std::vector<int>({0, 0, 0, 0, 0}));
    testutil::ScratchDir dir;
    codec::patterned(src.get(), 9, 4, 3, 7);
    std::string xwd = dir.file("a.xwd"), gif = dir.file("a.gif"), saved = dir.file("saved.png");
    ASSERT_EQ(XWD_write(xwd.c_str(), src.get()) + GIF_write(gif.c_str(), src.get()), 2);
    EXPECT_EQ(std::vector<int>({gquery_image_file(xwd.c_str(), q.get()), q->nx, gread_image_file(xwd.c_str(), r.get()),
                                gread_image_file(gif.c_str(), g.get()), g->ny, gload_image_file(gif.c_str(), 0, 0),
                                goverlay_image_file(gif.c_str(), "black", 0, 0), gsave_image_file(saved.c_str()),
                                GIF_dump(saved.c_str())}),
              std::vector<int>({1, 9, 0, 1, 4, 0, 0, 0, 0}));
    EXPECT_FALSE(std::filesystem::exists(saved));
    // The save type (PNG by default, 0 and 5 refused) and the writer behind each, by the first bytes.
    EXPECT_EQ(std::vector<int>({gget_save_image_type(), gset_save_image_type(0), gset_save_image_type(5),
                                gset_save_image_type(GSAVE_GIF), gget_save_image_type()}),
              std::vector<int>({GSAVE_PNG, -1, -1, 0, GSAVE_GIF}));
    const std::pair<int, std::string> magic[] = {
        {GSAVE_GIF, "GIF89a"}, {GSAVE_PNG, "\x89PNG"}, {GSAVE_ZYR, "ZYRIMG\n"}, {GSAVE_XWD, std::string("\0\0\0", 3)}};
    for (const auto &[type, start] : magic) {
        std::string f = dir.file(std::string("f").append(std::to_string(type)));
        ASSERT_EQ(gwrite_image_file(f.c_str(), src.get(), type), 1) << type;
        EXPECT_EQ(testutil::read_file(f).substr(0, start.size()), start) << type;
    }
}

}  // namespace
