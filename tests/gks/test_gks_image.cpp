// Image transfer: placement in the viewport, colour tables on TrueColor and
// PseudoColor screens, transparent overlays, reading the picture back, and
// records that do not describe their data.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/Xatom.h>

#include <cstdlib>
#include <cstring>

#include "image/img.h"

namespace {

using gkstest::picture_pixel;

// An 8-bit indexed image whose pixel (x, y) is (x + y) % mod, with a table
// of `colours` entries (colour k = (k/15, 1 - k/15, 0.5) for k < 16).
struct TestImage {
    IMG img;
    TestImage(int nx, int ny, int colours, int mod) {
        IMG_init(&img);
        img.nx = nx;
        img.ny = ny;
        img.depth = 8;
        img.bits_pixel = 8;
        img.bytes_line = nx;
        img.indexed = 1;
        img.ncolors = colours;
        img.cmap = (float *)malloc(sizeof(float) * 3 * (colours ? colours : 1));
        for (int k = 0; k < colours; k++) {
            img.cmap[3 * k] = k / 15.0f;
            img.cmap[3 * k + 1] = 1 - k / 15.0f;
            img.cmap[3 * k + 2] = 0.5f;
        }
        img.data = (unsigned char *)malloc((size_t)nx * ny);
        for (int y = 0; y < ny; y++)
            for (int x = 0; x < nx; x++) img.data[y * nx + x] = (unsigned char)((x + y) % mod);
    }
    ~TestImage() { IMG_free(&img); }
};

// The 24-bit pixel of table colour k (components x 255, truncated).
unsigned long tc_pixel(int k) {
    unsigned r = (unsigned)(k / 15.0f * 255), g = (unsigned)((1 - k / 15.0f) * 255), b = (unsigned)(0.5f * 255);
    return ((unsigned long)r << 16) | (g << 8) | b;
}

class GksImage : public ::testing::Test {
protected:
    void SetUp() override {
        const char *d = getenv("DISPLAY");
        if (!d) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(gkstest::open_window(d, ""));
        if (gget_visual()->c_class != TrueColor || gget_win_depth() != 24) GTEST_SKIP() << "not a 24-bit screen";
        gkstest::basic_colours();
        float vp[4] = {0.2f, 0.6f, 0.2f, 0.6f};
        gset_vp(0, vp);
        gget_xviewport(&vp_);
    }
    void TearDown() override {
        gclose_ws(1);
        gclose_gks();
    }
    GXRect vp_{};
};

TEST_F(GksImage, PlacedFromEitherEdgeOfTheViewport) {
    TestImage t(10, 6, 16, 16);
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    EXPECT_EQ(picture_pixel(vp_.x, vp_.y), tc_pixel(0));
    EXPECT_EQ(picture_pixel(vp_.x + 9, vp_.y + 5), tc_pixel(14));
    EXPECT_EQ(picture_pixel(vp_.x + 10, vp_.y), BlackPixel(gget_display(), gget_screen()));
    // (-1, -1): the image's last pixel sits one pixel in from the bottom right corner.
    ASSERT_EQ(gload_image(&t.img, -1, -1), 1);
    int right = vp_.x + vp_.width - 1, bottom = vp_.y + vp_.height - 1;
    EXPECT_EQ(picture_pixel(right - 1, bottom - 1), tc_pixel(14));
    EXPECT_EQ(picture_pixel(right - 10, bottom - 6), tc_pixel(0));
    EXPECT_EQ(picture_pixel(right, bottom), BlackPixel(gget_display(), gget_screen()));
}

TEST_F(GksImage, ValuesBeyondTheTableTakeColourZeroAndNoTableIsGray) {
    TestImage t(40, 1, 16, 40);
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    for (int x = 0; x < 40; x++) EXPECT_EQ(picture_pixel(vp_.x + x, vp_.y), tc_pixel(x < 16 ? x : 0)) << x;
    t.img.ncolors = 0;
    t.img.indexed = 0;
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    EXPECT_EQ(picture_pixel(vp_.x + 33, vp_.y), 0x212121u);
}

TEST_F(GksImage, TrueColourRecordsKeepTheirChannels) {
    IMG img;
    IMG_init(&img);
    img.nx = 2;
    img.ny = 1;
    img.depth = 24;
    img.bits_pixel = 32;
    img.bytes_line = 8;
    img.byte_order = 1;  // most significant byte first
    img.red_mask = 0xFF;  // red in the low byte: exchanged on the way
    img.green_mask = 0xFF00;
    img.blue_mask = 0xFF0000;
    unsigned char px[8] = {0, 0x10, 0x20, 0x30, 0, 0xC0, 0x80, 0x40};
    img.data = (unsigned char *)malloc(8);
    memcpy(img.data, px, 8);
    ASSERT_EQ(gload_image(&img, 0, 0), 1);
    EXPECT_EQ(picture_pixel(vp_.x, vp_.y), 0x302010u);
    EXPECT_EQ(picture_pixel(vp_.x + 1, vp_.y), 0x4080C0u);
    IMG_free(&img);
}

TEST_F(GksImage, OverlayLeavesTheTransparentColourOut) {
    // The picture underneath: red everywhere in the viewport.
    XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(2));
    XFillRectangle(gget_display(), gget_base_window(), gget_root_gc(), 0, 0, 640, 512);
    TestImage t(8, 8, 2, 2);
    t.img.cmap[0] = t.img.cmap[1] = t.img.cmap[2] = 0;                     // 0 black
    t.img.cmap[3] = 0, t.img.cmap[4] = 1, t.img.cmap[5] = 0;               // 1 green
    ASSERT_EQ(goverlay_image(&t.img, "black", 0, 0), 1);
    unsigned long red = gget_color_ind(2), green = 0x00FF00;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(picture_pixel(vp_.x + x, vp_.y + y), (x + y) % 2 ? green : red) << x << "," << y;
    EXPECT_EQ(goverlay_image(&t.img, "no-such-colour-name", 0, 0), 0);
}

TEST_F(GksImage, ReadBackGivesThePictureAndTheTitle) {
    TestImage t(16, 16, 16, 16);
    gload_image(&t.img, 0, 0);
    gset_win_title("GOES east");
    IMG back;
    IMG_init(&back);
    ASSERT_EQ(gget_image(&back), 1);
    EXPECT_STREQ(back.info, "GOES east");
    EXPECT_EQ(back.nx, 640);
    EXPECT_EQ(back.ny, 512);
    EXPECT_EQ(back.indexed, 0);
    EXPECT_EQ(back.bits_pixel, 32);
    EXPECT_EQ(back.red_mask, 0xFF0000u);
    // Round trip: every pixel read back is its table colour.
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            const unsigned char *p = back.data + (size_t)(vp_.y + y) * back.bytes_line + (size_t)(vp_.x + x) * 4;
            uint32_t v = back.byte_order ? (p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3])
                                         : (p[3] << 24 | p[2] << 16 | p[1] << 8 | p[0]);
            ASSERT_EQ(v & 0xFFFFFF, tc_pixel((x + y) % 16));
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
    struct Case {
        const char *what;
        void (*spoil)(IMG &);
    } cases[] = {
        {"short lines", [](IMG &i) { i.bytes_line = 5; }},
        {"no data", [](IMG &i) { i.data = nullptr; }},
        {"zero width", [](IMG &i) { i.nx = 0; }},
        {"negative height", [](IMG &i) { i.ny = -3; }},
        {"odd storage", [](IMG &i) { i.bits_pixel = 12; }},
        {"table without colours", [](IMG &i) { i.cmap = nullptr; }},
        {"huge", [](IMG &i) { i.nx = 100000; }},
    };
    for (auto &c : cases) {
        IMG copy = t.img;
        c.spoil(copy);
        EXPECT_EQ(gload_image(&copy, 0, 0), 0) << c.what;
        EXPECT_EQ(goverlay_image(&copy, "", 0, 0), 0) << c.what;
    }
    EXPECT_TRUE(gkstest::grab() == before);
    // Entirely outside the viewport: nothing to do.
    EXPECT_EQ(gload_image(&t.img, 5000, 0), 0);
}

TEST(GksImagePseudo, EightBitScreenAllocatesTheTableAndReadsItBack) {
    gkstest::XServer x(8, "800x600");
    if (!x.ok()) GTEST_SKIP() << "no Xvfb";
    ASSERT_EQ(gopen_gks(nullptr, 0), 0);
    ASSERT_EQ(gopen_ws(1, x.name().c_str(), GWS_WIN), 0);
    TestImage t(16, 4, 16, 16);
    ASSERT_EQ(gload_image(&t.img, 0, 0), 1);
    IMG back;
    IMG_init(&back);
    ASSERT_EQ(gget_image(&back), 1);
    EXPECT_EQ(back.indexed, 1);
    EXPECT_EQ(back.ncolors, 256);
    EXPECT_EQ(back.bits_pixel, 8);
    GXRect v;
    gget_xviewport(&v);
    for (int k = 0; k < 16; k++) {
        int px = back.data[(size_t)v.y * back.bytes_line + v.x + k];
        EXPECT_NEAR(back.cmap[3 * px], k / 15.0f, 0.02) << k;
        EXPECT_NEAR(back.cmap[3 * px + 1], 1 - k / 15.0f, 0.02) << k;
    }
    auto back_pixel = [&](int k) { return back.data[(size_t)v.y * back.bytes_line + v.x + k]; };
    // The colour set-up rewrites an image's values as pixels in place: the
    // same pixels the load used.
    TestImage u(16, 1, 16, 16);
    ASSERT_EQ(gsetup_image_colors(&u.img, -1), 1);
    for (int k = 0; k < 16; k++) EXPECT_EQ(u.img.data[k], back_pixel(k)) << k;
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
