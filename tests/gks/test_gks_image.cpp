// Image transfer: placement in the viewport, colour tables on TrueColor and
// PseudoColor screens, transparent overlays, reading the picture back,
// records that do not describe their data, and image files without a window.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/Xatom.h>

#include <filesystem>

#include "../image/codec_oracle.h"
#include "gks/imgfile.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/xwd.h"

namespace {

using gkstest::picture_pixel;

// An 8-bit indexed image whose pixel (x, y) is (x + y) % mod, with a table
// of `colours` entries: colour k = (k/16, 1 - k/16, 1/2), exact in binary.
// A 24-bit pixel keeps the top 8 bits of 65535 x each component (the same
// as 255 x it, truncated): colour 0 is 0x00FF7F, 5 is 0x4FAF7F (79.7 and
// 175.3), 14 is 0xDF1F7F (223.1 and 31.9), 15 is 0xEF0F7F.
struct TestImage {
    IMG img;
    TestImage(int nx, int ny, int colours, int mod) {
        IMG_init(&img);
        img.nx = nx, img.ny = ny, img.depth = 8, img.bits_pixel = 8, img.bytes_line = nx, img.indexed = 1;
        img.ncolors = colours;
        img.cmap = (float *)malloc(sizeof(float) * 3 * (colours ? colours : 1));
        for (int k = 0; k < colours; k++)
            img.cmap[3 * k] = k / 16.0f, img.cmap[3 * k + 1] = 1 - k / 16.0f, img.cmap[3 * k + 2] = 0.5f;
        img.data = (unsigned char *)malloc((size_t)nx * ny);
        for (int y = 0; y < ny; y++)
            for (int x = 0; x < nx; x++) img.data[y * nx + x] = (unsigned char)((x + y) % mod);
    }
    ~TestImage() { IMG_free(&img); }
};

class GksImage : public gkstest::WindowTest {
protected:
    void setup() override {
        if (gget_visual()->c_class != TrueColor || gget_win_depth() != 24) GTEST_SKIP() << "needs a 24-bit screen";
        float vp[4] = {0.2f, 0.6f, 0.2f, 0.6f};
        gset_vp(0, vp);
        gget_xviewport(&vp_);
    }
    unsigned long at(int x, int y) { return picture_pixel(vp_.x + x, vp_.y + y); }
    GXRect vp_{};
};

TEST_F(GksImage, PlacedFromEitherEdgeAndColouredByItsTable) {
    TestImage t(10, 6, 16, 16), u(40, 1, 16, 40);
    const unsigned long black = BlackPixel(gget_display(), gget_screen());
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    EXPECT_EQ(std::vector<unsigned long>({at(0, 0), at(9, 5), at(10, 0)}), std::vector<unsigned long>({0x00FF7F, 0xDF1F7F, black}));
    // (-1, -1): the image's last pixel sits one pixel in from the bottom right corner.
    ASSERT_EQ(gload_image(&t.img, -1, -1), 1);
    int r = vp_.width - 1, b = vp_.height - 1;
    EXPECT_EQ(std::vector<unsigned long>({at(r - 1, b - 1), at(r - 10, b - 6), at(r, b)}),
              std::vector<unsigned long>({0xDF1F7F, 0x00FF7F, black}));
    EXPECT_EQ(gload_image(&t.img, 5000, 0), 0);  // entirely outside the viewport
    // Values beyond the table take colour 0; no table at all is grey.
    ASSERT_EQ(gload_image(&u.img, 0, 0), 1);
    const std::pair<int, unsigned long> want[] = {{0, 0x00FF7F}, {5, 0x4FAF7F}, {15, 0xEF0F7F}, {16, 0x00FF7F}, {39, 0x00FF7F}};
    for (auto [x, px] : want) EXPECT_EQ(at(x, 0), px) << x;
    u.img.ncolors = 0, u.img.indexed = 0;
    ASSERT_EQ(gload_image(&u.img, 0, 0), 1);
    EXPECT_EQ(at(33, 0), 0x212121u);
}

TEST_F(GksImage, TrueColourRecordsKeepTheirChannels) {
    codec::Rec img;
    img->nx = 2, img->ny = 1, img->depth = 24, img->bits_pixel = 32, img->bytes_line = 8;
    img->byte_order = 1;  // most significant byte first
    img->red_mask = 0xFF, img->green_mask = 0xFF00, img->blue_mask = 0xFF0000;  // red in the low byte
    img->data = (unsigned char *)malloc(8);
    memcpy(img->data, "\0\x10\x20\x30\0\xC0\x80\x40", 8);
    ASSERT_EQ(gload_image(img.get(), 0, 0), 1);
    EXPECT_EQ(at(0, 0), 0x302010u);
    EXPECT_EQ(at(1, 0), 0x4080C0u);
}

TEST_F(GksImage, OverlayLeavesTheTransparentColourOut) {
    XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(2));  // red underneath
    XFillRectangle(gget_display(), gget_base_window(), gget_root_gc(), 0, 0, 640, 512);
    TestImage t(8, 8, 2, 2);
    const float cmap[6] = {0, 0, 0, 0, 1, 0};  // 0 black, 1 green
    memcpy(t.img.cmap, cmap, sizeof cmap);
    ASSERT_EQ(goverlay_image(&t.img, "black", 0, 0), 1);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(at(x, y), (x + y) % 2 ? 0x00FF00u : 0xFF0000u) << x << "," << y;
    EXPECT_EQ(goverlay_image(&t.img, "no-such-colour-name", 0, 0), 0);
}

TEST_F(GksImage, ReadBackGivesTheServersPictureAndTheTitle) {
    TestImage t(16, 16, 16, 16);
    gload_image(&t.img, 0, 0);
    gset_win_title("GOES east");
    codec::Rec back, unnamed;
    ASSERT_EQ(gget_image(back.get()), 1);
    EXPECT_STREQ(back->info, "GOES east");
    EXPECT_EQ(std::vector<long>({back->nx, back->ny, back->indexed, back->red_mask}), std::vector<long>({640, 512, 0, 0xFF0000}));
    auto pic = gkstest::grab();
    EXPECT_TRUE(gkstest::read_back() == std::vector<uint32_t>(pic.px.begin(), pic.px.end()));
    XDeleteProperty(gget_display(), gget_root_window(), XA_WM_NAME);
    ASSERT_EQ(gget_image(unnamed.get()), 1);
    EXPECT_STREQ(unnamed->info, "xwdump");
}

TEST_F(GksImage, RecordsThatDoNotDescribeTheirDataAreLeftAlone) {
    TestImage t(10, 10, 16, 16);
    auto before = gkstest::grab();
    struct Case { const char *what; void (*spoil)(IMG &); } cases[] = {
        {"short lines", [](IMG &i) { i.bytes_line = 5; }},      {"no data", [](IMG &i) { i.data = nullptr; }},
        {"zero width", [](IMG &i) { i.nx = 0; }},               {"negative height", [](IMG &i) { i.ny = -3; }},
        {"odd storage", [](IMG &i) { i.bits_pixel = 12; }},     {"table without colours", [](IMG &i) { i.cmap = nullptr; }},
        {"huge", [](IMG &i) { i.nx = 100000; }},
    };
    for (auto &c : cases) {
        IMG copy = t.img;
        c.spoil(copy);
        EXPECT_EQ(gload_image(&copy, 0, 0), 0) << c.what;
        EXPECT_EQ(goverlay_image(&copy, "", 0, 0), 0) << c.what;
    }
    EXPECT_TRUE(gkstest::grab() == before);
}

TEST(GksImagePseudo, EightBitScreenAllocatesTheTableAndReadsItBack) {
    NEED_TOOL("Xvfb");
    gkstest::XServer x(8, "800x600");
    ASSERT_TRUE(x.ok());
    ASSERT_EQ(gopen_gks(nullptr, 0), 0);
    ASSERT_EQ(gopen_ws(1, x.name().c_str(), GWS_WIN), 0);
    TestImage t(16, 4, 16, 16), u(16, 1, 16, 16);
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    codec::Rec back;
    ASSERT_EQ(gget_image(back.get()), 1);
    EXPECT_EQ(std::vector<int>({back->indexed, back->ncolors, back->bits_pixel}), std::vector<int>({1, 256, 8}));
    GXRect v;
    gget_xviewport(&v);
    // The colour set-up rewrites an image's values as pixels in place: the
    // same pixels the load used, and their table entries the image's colours.
    ASSERT_EQ(gsetup_image_colors(&u.img, -1), 1);
    for (int k = 0; k < 16; k++) {
        int px = back->data[(size_t)v.y * back->bytes_line + v.x + k];
        EXPECT_NEAR(back->cmap[3 * px], k / 16.0f, 0.02) << k;
        EXPECT_NEAR(back->cmap[3 * px + 1], 1 - k / 16.0f, 0.02) << k;
        EXPECT_EQ(u.img.data[k], px) << k;
    }
    gclose_ws(1), gclose_gks();
}

// No workstation: nothing drawn, read back or saved; a query takes any file
// (as for a 32-bit window), a read for display refuses an XWD deeper than
// the absent window (depth 0).
TEST(GksImageClosed, NothingDrawnReadOrSavedWithoutAWorkstation) {
    ASSERT_EQ(gchk_graphics(), 0);
    TestImage t(4, 4, 16, 16);
    codec::Rec src, back, q, r, g;
    EXPECT_EQ(gload_image(&t.img, 0, 0), 0);
    EXPECT_EQ(goverlay_image(&t.img, "", 0, 0), 0);
    EXPECT_EQ(gget_image(back.get()), 0);
    EXPECT_EQ(gcreate_frame(0), 0);
    EXPECT_EQ(gdisplay_frame(0), 0);
    testutil::ScratchDir dir;
    codec::patterned(src.get(), 9, 4, 3, 7);
    std::string xwd = dir.file("a.xwd"), gif = dir.file("a.gif"), saved = dir.file("saved.png");
    ASSERT_EQ(XWD_write(xwd.c_str(), src.get()), 1);
    ASSERT_EQ(GIF_write(gif.c_str(), src.get()), 1);
    EXPECT_EQ(gquery_image_file(xwd.c_str(), q.get()), 1);
    EXPECT_EQ(q->nx, 9);
    EXPECT_EQ(gread_image_file(xwd.c_str(), r.get()), 0);
    EXPECT_EQ(gread_image_file(gif.c_str(), g.get()), 1);
    EXPECT_EQ(g->ny, 4);
    EXPECT_EQ(gload_image_file(gif.c_str(), 0, 0), 0);
    EXPECT_EQ(goverlay_image_file(gif.c_str(), "black", 0, 0), 0);
    EXPECT_EQ(gsave_image_file(saved.c_str()), 0);
    EXPECT_EQ(GIF_dump(saved.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(saved));
}

// The save type (PNG by default, 0 and 5 refused) and the writer behind
// each, told apart by the files' first bytes.
TEST(GksImageClosed, SaveTypesPickTheirWriters) {
    EXPECT_EQ(gget_save_image_type(), GSAVE_PNG);
    EXPECT_EQ(gset_save_image_type(0), -1);
    EXPECT_EQ(gset_save_image_type(5), -1);
    EXPECT_EQ(gset_save_image_type(GSAVE_GIF), 0);
    EXPECT_EQ(gget_save_image_type(), GSAVE_GIF);
    testutil::ScratchDir dir;
    const std::pair<int, std::string> magic[] = {
        {GSAVE_GIF, "GIF89a"}, {GSAVE_PNG, "\x89PNG"}, {GSAVE_ZYR, "ZYRIMG\n"}, {GSAVE_XWD, std::string("\0\0\0", 3)}};
    for (const auto &[type, start] : magic) {
        codec::Rec rec;
        codec::patterned(rec.get(), 5, 3, 1, 5);
        std::string f = dir.file(std::string("f").append(std::to_string(type)));
        ASSERT_EQ(gwrite_image_file(f.c_str(), rec.get(), type), 1) << type;
        EXPECT_EQ(testutil::read_file(f).substr(0, start.size()), start) << type;
    }
}

}  // namespace
