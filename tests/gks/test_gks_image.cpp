// Image transfer: placement in the viewport, colour tables on TrueColor and
// PseudoColor screens, transparent overlays, reading the picture back, and
// records that do not describe their data.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/Xatom.h>

#include "image/img.h"

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
    void SetUp() override {
        WindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (gget_visual()->c_class != TrueColor || gget_win_depth() != 24) GTEST_SKIP() << "needs a 24-bit screen";
        float vp[4] = {0.2f, 0.6f, 0.2f, 0.6f};
        gset_vp(0, vp);
        gget_xviewport(&vp_);
    }
    GXRect vp_{};
};

TEST_F(GksImage, PlacedFromEitherEdgeOfTheViewport) {
    TestImage t(10, 6, 16, 16);
    const unsigned long black = BlackPixel(gget_display(), gget_screen());
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    EXPECT_EQ(picture_pixel(vp_.x, vp_.y), 0x00FF7Fu);
    EXPECT_EQ(picture_pixel(vp_.x + 9, vp_.y + 5), 0xDF1F7Fu);
    EXPECT_EQ(picture_pixel(vp_.x + 10, vp_.y), black);
    // (-1, -1): the image's last pixel sits one pixel in from the bottom right corner.
    ASSERT_EQ(gload_image(&t.img, -1, -1), 1);
    int right = vp_.x + vp_.width - 1, bottom = vp_.y + vp_.height - 1;
    EXPECT_EQ(picture_pixel(right - 1, bottom - 1), 0xDF1F7Fu);
    EXPECT_EQ(picture_pixel(right - 10, bottom - 6), 0x00FF7Fu);
    EXPECT_EQ(picture_pixel(right, bottom), black);
    // Entirely outside the viewport: nothing to do.
    EXPECT_EQ(gload_image(&t.img, 5000, 0), 0);
}

TEST_F(GksImage, ValuesBeyondTheTableTakeColourZeroAndNoTableIsGray) {
    TestImage t(40, 1, 16, 40);
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    const std::pair<int, unsigned long> want[] = {{0, 0x00FF7F}, {5, 0x4FAF7F}, {15, 0xEF0F7F}, {16, 0x00FF7F}, {39, 0x00FF7F}};
    for (auto [x, px] : want) EXPECT_EQ(picture_pixel(vp_.x + x, vp_.y), px) << x;
    t.img.ncolors = 0, t.img.indexed = 0;
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    EXPECT_EQ(picture_pixel(vp_.x + 33, vp_.y), 0x212121u);  // value 33 as grey
}

TEST_F(GksImage, TrueColourRecordsKeepTheirChannels) {
    IMG img;
    IMG_init(&img);
    img.nx = 2, img.ny = 1, img.depth = 24, img.bits_pixel = 32, img.bytes_line = 8;
    img.byte_order = 1;  // most significant byte first
    img.red_mask = 0xFF, img.green_mask = 0xFF00, img.blue_mask = 0xFF0000;  // red in the low byte
    const unsigned char px[8] = {0, 0x10, 0x20, 0x30, 0, 0xC0, 0x80, 0x40};
    img.data = (unsigned char *)malloc(8);
    memcpy(img.data, px, 8);
    ASSERT_EQ(gload_image(&img, 0, 0), 1);
    EXPECT_EQ(picture_pixel(vp_.x, vp_.y), 0x302010u);
    EXPECT_EQ(picture_pixel(vp_.x + 1, vp_.y), 0x4080C0u);
    IMG_free(&img);
}

TEST_F(GksImage, OverlayLeavesTheTransparentColourOut) {
    XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(2));  // red underneath
    XFillRectangle(gget_display(), gget_base_window(), gget_root_gc(), 0, 0, 640, 512);
    TestImage t(8, 8, 2, 2);
    const float cmap[6] = {0, 0, 0, 0, 1, 0};  // 0 black, 1 green
    memcpy(t.img.cmap, cmap, sizeof cmap);
    ASSERT_EQ(goverlay_image(&t.img, "black", 0, 0), 1);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(picture_pixel(vp_.x + x, vp_.y + y), (x + y) % 2 ? 0x00FF00u : 0xFF0000u) << x << "," << y;
    EXPECT_EQ(goverlay_image(&t.img, "no-such-colour-name", 0, 0), 0);
}

TEST_F(GksImage, ReadBackGivesTheServersPictureAndTheTitle) {
    TestImage t(16, 16, 16, 16);
    gload_image(&t.img, 0, 0);
    gset_win_title("GOES east");
    IMG back;
    IMG_init(&back);
    ASSERT_EQ(gget_image(&back), 1);
    EXPECT_STREQ(back.info, "GOES east");
    EXPECT_EQ(std::vector<int>({back.nx, back.ny, back.indexed, back.bits_pixel}), std::vector<int>({640, 512, 0, 32}));
    EXPECT_EQ(back.red_mask, 0xFF0000u);
    auto pic = gkstest::grab();
    for (int y = 0; y < 512; y += 3)
        for (int x = 0; x < 640; x += 3) {
            const unsigned char *p = back.data + (size_t)y * back.bytes_line + (size_t)x * 4;
            unsigned long v = back.byte_order ? p[1] << 16 | p[2] << 8 | p[3] : p[2] << 16 | p[1] << 8 | p[0];
            ASSERT_EQ(v, pic.at(x, y)) << x << "," << y;
        }
    IMG_free(&back);
    // An unnamed window reads back as "xwdump".
    XDeleteProperty(gget_display(), gget_root_window(), XA_WM_NAME);
    IMG_init(&back);
    ASSERT_EQ(gget_image(&back), 1);
    EXPECT_STREQ(back.info, "xwdump");
    IMG_free(&back);
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
    TestImage t(16, 4, 16, 16);
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    IMG back;
    IMG_init(&back);
    ASSERT_EQ(gget_image(&back), 1);
    EXPECT_EQ(std::vector<int>({back.indexed, back.ncolors, back.bits_pixel}), std::vector<int>({1, 256, 8}));
    GXRect v;
    gget_xviewport(&v);
    // The colour set-up rewrites an image's values as pixels in place: the
    // same pixels the load used, and their table entries the image's colours.
    TestImage u(16, 1, 16, 16);
    ASSERT_EQ(gsetup_image_colors(&u.img, -1), 1);
    for (int k = 0; k < 16; k++) {
        int px = back.data[(size_t)v.y * back.bytes_line + v.x + k];
        EXPECT_NEAR(back.cmap[3 * px], k / 16.0f, 0.02) << k;
        EXPECT_NEAR(back.cmap[3 * px + 1], 1 - k / 16.0f, 0.02) << k;
        EXPECT_EQ(u.img.data[k], px) << k;
    }
    IMG_free(&back);
    gclose_ws(1);
    gclose_gks();
}

TEST(GksImageClosed, NothingWithoutAWorkstation) {
    TestImage t(4, 4, 16, 16);
    EXPECT_EQ(gload_image(&t.img, 0, 0), 0);
    EXPECT_EQ(goverlay_image(&t.img, "", 0, 0), 0);
    IMG back;
    IMG_init(&back);
    EXPECT_EQ(gget_image(&back), 0);
    EXPECT_EQ(gcreate_frame(0), 0);
    EXPECT_EQ(gdisplay_frame(0), 0);
}

}  // namespace
