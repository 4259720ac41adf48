// The headless window ("mem" display) against the X window: each scene is
// drawn through the kernel on a 24-bit Xvfb and headless, both pictures are
// read back with gget_image and compared pixel for pixel.  Then what only
// the headless window does: no server needed, "#" fonts refused, the hold
// returning at once, titles kept, and 128 full-HD frames in a compact store.
#include "../test_support.h"
#include "gks_test_util.h"

#include <cmath>
#include <cstdlib>

#include "image/img.h"

namespace {

using gkstest::XServer;

constexpr int W = 320, H = 256;

// The picture read back as 0xRRGGBB (both windows give 32-bit pixels).
std::vector<uint32_t> read_back() {
    IMG img;
    IMG_init(&img);
    std::vector<uint32_t> px;
    if (gget_image(&img) && img.bits_pixel == 32) {
        px.resize((size_t)img.nx * img.ny);
        for (int y = 0; y < img.ny; y++)
            for (int x = 0; x < img.nx; x++) {
                const unsigned char *p = img.data + (size_t)y * img.bytes_line + 4 * (size_t)x;
                uint32_t v = img.byte_order ? (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]
                                            : (uint32_t)p[3] << 24 | p[2] << 16 | p[1] << 8 | p[0];
                px[(size_t)y * img.nx + x] = v & 0xFFFFFF;
            }
    }
    IMG_free(&img);
    return px;
}

using Scene = void (*)();

std::vector<uint32_t> render(const std::string &display, Scene scene) {
    std::vector<uint32_t> px;
    if (!gkstest::open_window(display, "", W, H)) return px;
    gkstest::basic_colours();
    gkstest::world_unit(1);
    scene();
    gselect_frame(-3);
    px = read_back();
    gclose_ws(1);
    gclose_gks();
    return px;
}

void polyline(std::initializer_list<float> xy) { gpolyline((int)xy.size() / 2, xy.begin()); }

// A 40 x 30 indexed image: colour bands with a black (background) hole.
IMG test_image(int nx = 40, int ny = 30) {
    IMG img;
    IMG_init(&img);
    img.nx = nx;
    img.ny = ny;
    img.bits_pixel = 8;
    img.bytes_line = nx;
    img.indexed = 1;
    img.ncolors = 4;
    img.cmap = (float *)malloc(12 * sizeof(float));
    const float c[12] = {0, 0, 0, 1, 0.5f, 0, 0.2f, 0.4f, 0.6f, 1, 1, 1};
    memcpy(img.cmap, c, sizeof c);
    img.data = (unsigned char *)malloc((size_t)nx * ny);
    for (int y = 0; y < ny; y++)
        for (int x = 0; x < nx; x++) {
            bool hole = std::abs(x - nx / 2) < nx / 5 && std::abs(y - ny / 2) < ny / 5;
            img.data[(size_t)y * nx + x] = hole ? 0 : (unsigned char)(1 + (x / 3 + y / 4) % 3);
        }
    return img;
}

void fan(float width) {
    gset_linewidth(width);
    for (int k = 0; k < 48; k++) {
        double a = k * 2 * M_PI / 48;
        float r = 0.05f + 0.006f * (k % 8);
        gset_line_colr_ind(1 + k % 4);
        polyline({0.3f, 0.4f, 0.3f + r * (float)cos(a) * 4, 0.4f + r * (float)sin(a) * 4});
    }
}

void line_types(float width) {
    gset_linewidth(width);
    for (int t = 1; t <= 5; t++) {
        gset_linetype(t);
        float y = 0.1f + 0.12f * t;
        polyline({0.05f, y, 0.5f, y + 0.03f, 0.9f, y - 0.05f});
    }
}

struct Case {
    const char *name;
    Scene draw;
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const Case kCases[] = {
    {"thin lines in every direction", [] { fan(0); }},
    {"colours of the whole 8-bit range",
     [] {
         for (int i = 0; i < 200; i++) {
             float rgb[3] = {i / 199.0f, (float)fmod(i * 0.37, 1.0), 1.0f - i / 311.0f};
             gset_colr_rep(1, 5 + i, rgb);
             gset_fill_colr_ind(5 + i);
             float x = 0.05f + (i % 20) * 0.045f, y = 0.05f + (i / 20) * 0.07f;
             float r[8] = {x, y, x + 0.04f, y, x + 0.04f, y + 0.06f, x, y + 0.06f};
             gfill_area(4, r);
         }
     }},
    {"concave and self-crossing polygons",
     [] {
         float star[10];
         for (int k = 0; k < 5; k++) {
             star[2 * k] = 0.25f + 0.2f * (float)cos(M_PI / 2 + k * 4 * M_PI / 5);
             star[2 * k + 1] = 0.4f + 0.2f * (float)sin(M_PI / 2 + k * 4 * M_PI / 5);
         }
         gset_fill_colr_ind(2);
         gfill_area(5, star);
         const float comb[] = {0.55f, 0.1f, 0.95f, 0.1f, 0.95f, 0.7f, 0.85f, 0.2f, 0.75f, 0.7f, 0.65f, 0.2f, 0.55f, 0.7f};
         gset_fill_colr_ind(3);
         gfill_area(7, comb);
     }},
    {"clipping to a small viewport",
     [] {
         float vp[4] = {0.3f, 0.6f, 0.2f, 0.5f};
         gset_vp(1, vp);
         gsel_norm_tran(1);
         fan(0);
         gset_fill_colr_ind(4);
         const float tri[] = {-0.2f, -0.2f, 1.3f, 0.5f, 0.2f, 1.2f};
         gfill_area(3, tri);
     }},
    {"images at negative offsets and overlay",
     [] {
         IMG a = test_image(), big = test_image(400, 300);
         gload_image(&a, 5, 5);
         gload_image(&big, -30, -20);
         gset_fill_colr_ind(2);
         const float sq[] = {0.1f, 0.1f, 0.5f, 0.1f, 0.5f, 0.5f, 0.1f, 0.5f};
         gfill_area(4, sq);
         goverlay_image(&a, "", 30, 20);
         goverlay_image(&a, "#FFFFFF", 80, 40);
         IMG_free(&a);
         IMG_free(&big);
     }},
    {"frames shown, copied and cleared",
     [] {
         for (int n = 0; n < 3; n++) {
             gcreate_frame(n);
             gselect_frame(n);
             gset_fill_colr_ind(2 + n);
             float x = 0.1f + 0.2f * n;
             const float r[] = {x, 0.1f, x + 0.3f, 0.1f, x + 0.3f, 0.4f, x, 0.4f};
             gfill_area(4, r);
         }
         // Frame 1 takes frame 0's picture, is drawn on and shown.
         gcopy_frame(1, 0);
         gselect_frame(1);
         fan(0);
         gdisplay_frame(1);
         gselect_frame(-3);
         const float r[] = {0.1f, 0.1f, 0.5f, 0.5f};
         gclear_region(r);
     }},
    {"a frame of 300 colours packed and shown",
     [] {
         gcreate_frame(0);
         gselect_frame(0);
         for (int i = 0; i < 300; i++) {
             float rgb[3] = {(i % 17) / 16.0f, (i / 17) / 17.0f, (i % 5) / 4.0f};
             gset_colr_rep(1, 5 + i % 250, rgb);
             gset_fill_colr_ind(5 + i % 250);
             float x = 0.02f + (i % 20) * 0.048f, y = 0.02f + (i / 20) * 0.05f;
             const float r[] = {x, y, x + 0.045f, y, x + 0.045f, y + 0.045f, x, y + 0.045f};
             gfill_area(4, r);
         }
         gcreate_frame(1);
         gselect_frame(1);
         fan(0);
         gdisplay_frame(0);
     }},
    {"picture zoom",
     [] {
         fan(0);
         gzoom(-3, 100, 90, 3, 0);
     }},
    {"wide lines with caps and joins",
     [] {
         for (int w = 1; w <= 5; w++) {
             gset_linewidth((float)w);
             float y = 0.08f + 0.13f * (w - 1);
             polyline({0.05f, y, 0.3f, y + 0.1f, 0.35f, y, 0.6f, y + 0.05f, 0.62f, y + 0.11f});
         }
     }},
    {"the five line types", [] { line_types(0); }},
    {"the five line types, wide", [] { line_types(2); }},
    {"the 20 stipples",
     [] {
         gset_fill_int_style(2);
         for (int k = 0; k < 20; k++) {
             gset_fill_style_ind(k);
             gset_fill_colr_ind(1 + k % 4);
             float x = 0.05f + (k % 5) * 0.18f, y = 0.05f + (k / 5) * 0.18f;
             const float r[] = {x, y, x + 0.15f, y, x + 0.15f, y + 0.15f, x, y + 0.15f};
             gfill_area(4, r);
         }
     }},
    {"nine markers with shadows",
     [] {
         gset_font_drop(2);
         gset_marker_size(1.5f);
         for (int t = 1; t <= 9; t++) {
             gset_marker_type(t);
             gset_marker_width(t % 3);
             gset_marker_colr_ind(1 + t % 4);
             const float p[] = {0.1f * t, 0.3f, 0.1f * t, 0.6f};
             gpolymarker(2, p);
         }
         gset_font_drop(0);
     }},
    {"rotated stroke text",
     [] {
         gset_char_ht(0.05f);
         for (int k = 0; k < 4; k++) {
             float up[2] = {(float)sin(k * 0.6), (float)cos(k * 0.6)};
             gset_char_up_vec(up);
             gset_text_colr_ind(1 + k);
             const float pos[] = {0.2f + 0.15f * k, 0.2f + 0.1f * k};
             gtext(pos, "Zyr 42");
         }
     }},
    {"xor lines",
     [] {
         fan(0);
         gset_line_gc_func(GXxor);
         gset_linewidth(0);
         polyline({0.0f, 0.0f, 0.8f, 0.7f, 0.1f, 0.7f});
         gset_line_gc_func(GXcopy);
     }},
};

class GksMemVsX : public testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { server = new XServer(24, "640x512"); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    static XServer *server;
};
XServer *GksMemVsX::server = nullptr;

TEST_P(GksMemVsX, SamePixelsAsTheXWindow) {
    if (!server->ok()) GTEST_SKIP() << "no Xvfb";
    const Case &c = GetParam();
    std::vector<uint32_t> x = render(server->name(), c.draw), m = render("mem", c.draw);
    ASSERT_EQ(x.size(), (size_t)W * H);
    ASSERT_EQ(m.size(), x.size());
    size_t differ = 0, first = 0, ink = 0;
    for (size_t i = 0; i < x.size(); i++) {
        ink += x[i] != 0;
        if (x[i] != m[i] && differ++ == 0) first = i;
    }
    EXPECT_GT(ink, 200u) << "scene draws too little to compare";
    std::string at = differ ? " first at (" + std::to_string(first % W) + ", " + std::to_string(first / W) + "): X " +
                                  std::to_string(x[first]) + " mem " + std::to_string(m[first])
                            : "";
    EXPECT_EQ(differ, 0u) << c.name << at;
}

INSTANTIATE_TEST_SUITE_P(Scenes, GksMemVsX, testing::ValuesIn(kCases), [](const auto &info) {
    std::string n;
    for (const char *p = info.param.name; *p; p++) n += isalnum((unsigned char)*p) ? *p : '_';
    return n;
});

// Colour strings (backgrounds, transparent colours) read without a
// server as the server reads them.
TEST_F(GksMemVsX, ColourStringsAsTheServerParsesThem) {
    if (!server->ok()) GTEST_SKIP() << "no Xvfb";
    Display *d = XOpenDisplay(server->name().c_str());
    ASSERT_NE(d, nullptr);
    for (const char *spec : {"#F00", "#FF8000", "#fff000111", "#0000FFFF8000", "rgb:f/80/123", "rgb:ffff/0/8",
                             "NavyBlue", "navy blue", "GRAY50", "DarkSlateGray4", "no such colour", "#12",
                             "rgb:1/2", "#ggg"}) {
        XColor x{}, m{};
        Status ok = XParseColor(d, DefaultColormap(d, DefaultScreen(d)), spec, &x);
        ASSERT_EQ(gks::mem_parse_colour(spec, &m), ok != 0) << spec;
        if (!ok) continue;
        EXPECT_EQ(m.red, x.red) << spec;
        EXPECT_EQ(m.green, x.green) << spec;
        EXPECT_EQ(m.blue, x.blue) << spec;
    }
    XCloseDisplay(d);
}

// What only the headless window does, with no X server to be found.
class GksMemOnly : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        errfile = dir.file("err.txt");
    }
    void TearDown() override {
        gclose_ws(1);
        gclose_gks();
    }
    testutil::ScratchDir dir;
    std::string errfile;
};

TEST_F(GksMemOnly, OpensWithoutServerBySizeRuleAndOnlyAsTheWindow) {
    ASSERT_EQ(gopen_gks(errfile.c_str(), 0), 0);
    // The embedded type stays X only: "mem" is no server.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_NE(gopen_ws(1, "mem", GWS_PIX), 0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    gset_xsize(640, 512);
    gset_geometry("");
    ASSERT_EQ(gopen_ws(1, "mem", GWS_WIN), 0);
    int w, h;
    gget_win_size(&w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 512);
    EXPECT_TRUE(gtype_is_WIN());
    EXPECT_EQ(gget_win_depth(), 24);
    gclose_ws(1);
    gset_geometry("300x200+10+10");
    ASSERT_EQ(gopen_ws(1, "mem", GWS_WIN), 0);
    gget_win_size(&w, &h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
    gset_geometry("");
    // A resize keeps the picture's corner and reaches gget_image.
    gkstest::basic_colours();
    gkstest::world_unit(1);
    EXPECT_EQ(gset_xsize(400, 250), 1);
    EXPECT_EQ(read_back().size(), 400u * 250u);
}

TEST_F(GksMemOnly, ServerFontsRefusedHoldReturnsTitlesKept) {
    ASSERT_EQ(gopen_gks(errfile.c_str(), 0), 0);
    gset_win_title("Loop_one");
    ASSERT_EQ(gopen_ws(1, "mem", GWS_WIN), 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_font("#fixed"), -1);
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("read_font: unable to load font: fixed\n"), std::string::npos) << said;
    // A looping hold has no event to end it: it returns at once, as do the
    // frame wait, the bell and the cursor.
    for (int n = 0; n < 3; n++) gcreate_frame(n);
    testing::internal::CaptureStdout();
    gset_looping(1);
    gset_loop_delay(-4, 30.0f);
    EXPECT_EQ(gloop_sleep(), 0);
    EXPECT_EQ(ghold(0), 0);
    gset_looping(0);
    testing::internal::GetCapturedStdout();
    gbell(0);
    gdisplay_frame(2);
    char extra[64];
    gget_win_title_extra(extra);
    EXPECT_STREQ(extra, "[2]");
    IMG img;
    IMG_init(&img);
    ASSERT_EQ(gget_image(&img), 1);
    EXPECT_STREQ(img.info, "Loop one [2]");
    IMG_free(&img);
}

// 128 frames of 1920 x 1080, each with its own drawing, stay far below the
// 1 GB they would take at 4 bytes a pixel, and each reads back as drawn.
TEST_F(GksMemOnly, FullHdLoopInCompactStore) {
    ASSERT_TRUE(gkstest::open_window("mem", errfile, 1920, 1080));
    gkstest::basic_colours();
    gkstest::world_unit(1);
    for (int n = 0; n < GMAX_FRAMES; n++) {
        ASSERT_EQ(gcreate_frame(n), n);
        gselect_frame(n);
        gset_fill_colr_ind(2 + n % 3);
        float x = 0.005f * n;
        const float r[] = {x, 0.1f, x + 0.1f, 0.1f, x + 0.1f, 0.2f, x, 0.2f};
        gfill_area(4, r);
    }
    EXPECT_LT(gks::mem_bytes(), (size_t)GMAX_FRAMES * 1920 * 1080 + 64u * 1920 * 1080);
    const uint32_t colour[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (int n : {0, 1, 77, GMAX_FRAMES - 1}) {
        gselect_frame(n);
        std::vector<uint32_t> px = read_back();
        ASSERT_EQ(px.size(), 1920u * 1080u);
        int x = (int)xW_p(0.005f * n + 0.05f), y = (int)yW_p(0.15f);
        EXPECT_EQ(px[(size_t)y * 1920 + x], colour[n % 3]) << "frame " << n;
        EXPECT_EQ(px[(size_t)y * 1920 + x + 300], 0u) << "frame " << n;
    }
    // Showing a frame puts its picture in the window.
    gdisplay_frame(77);
    gselect_frame(-3);
    std::vector<uint32_t> shown = read_back();
    gselect_frame(77);
    EXPECT_TRUE(shown == read_back());
}

}  // namespace
