// The headless window ("mem" display) against the X window, pixel for pixel, on the same scenes;
// then what only the headless window does.
#include "gks_test_util.h"

#include <array>
#include <cmath>

namespace {

constexpr int W = 320, H = 256;

using gkstest::read_back;

void polyline(std::initializer_list<float> xy) { gpolyline((int)xy.size() / 2, xy.begin()); }
void rect(float x, float y, float w, float h) {
    gfill_area(4, std::array<float, 8>{x, y, x + w, y, x + w, y + h, x, y + h}.data());
}

// An indexed image: colour bands with a black (background) hole.
IMG test_image(int nx, int ny) {
    IMG img;
    IMG_init(&img), img.nx = nx, img.ny = ny, img.bits_pixel = 8, img.bytes_line = nx, img.indexed = 1, img.ncolors = 4;
    const float c[12] = {0, 0, 0, 1, 0.5f, 0, 0.2f, 0.4f, 0.6f, 1, 1, 1};
    img.cmap = (float *)memcpy(malloc(sizeof c), c, sizeof c);
    img.data = (unsigned char *)malloc((size_t)nx * ny);
    for (int i = 0, x = 0, y = 0; i < nx * ny; i++, x = i % nx, y = i / nx)
        img.data[i] = std::abs(x - nx / 2) < nx / 5 && std::abs(y - ny / 2) < ny / 5 ? 0 : 1 + (x / 3 + y / 4) % 3;
    return img;
}

// Drawings in the unit square of transform 1.
void fan() {
    for (int k = 0; k < 48; k++) {
        float a = (float)(k * 2 * M_PI / 48), r = 4 * (0.05f + 0.006f * (k % 8));
        gset_line_colr_ind(1 + k % 4), polyline({0.5f, 0.5f, 0.5f + r * std::cos(a), 0.5f + r * std::sin(a)});
    }
}
void line_types(float width) {  // the five line types, and joins of widths 1 to 5
    gset_linewidth(width);
    for (int t = 1; t <= 5; t++) gset_linetype(t), polyline({0.05f, 0.12f * t, 0.5f, 0.12f * t + 0.03f, 0.9f, 0.12f * t - 0.05f});
    gset_linetype(1);
    for (int w = 1; w <= 5 && width == 0; w++) {
        float y = 0.08f + 0.18f * (w - 1);
        gset_linewidth((float)w), polyline({0.05f, y, 0.3f, y + 0.1f, 0.35f, y, 0.6f, y + 0.05f, 0.62f, y + 0.11f});
    }
    gset_linewidth(0);
}
void patches(int n, int per_row) {  // colours 5 and up, made up
    const float s = 0.9f / per_row;
    for (int i = 0; i < n; i++) {
        float rgb[3] = {(i % 17) / 16.0f, (float)fmod(i * 0.37, 1.0), 1.0f - i / 311.0f};
        gset_colr_rep(1, 5 + i % 250, rgb), gset_fill_colr_ind(5 + i % 250);
        rect(0.02f + (i % per_row) * s, 0.02f + (i / per_row) * s, 0.9f * s, 0.9f * s);
    }
}
void polygons_and_stipples() {  // a star and a comb, the 20 stipples over them
    float star[10];
    for (int k = 0; k < 5; k++)
        star[2 * k] = 0.3f + 0.25f * (float)cos(M_PI / 2 + k * 4 * M_PI / 5), star[2 * k + 1] = 0.5f + 0.25f * (float)sin(M_PI / 2 + k * 4 * M_PI / 5);
    const float comb[] = {0.55f, 0.1f, 0.95f, 0.1f, 0.95f, 0.7f, 0.85f, 0.2f, 0.75f, 0.7f, 0.65f, 0.2f, 0.55f, 0.7f};
    gset_fill_colr_ind(2), gfill_area(5, star), gset_fill_colr_ind(3), gfill_area(7, comb), gset_fill_int_style(2);
    for (int k = 0; k < 20; k++)
        gset_fill_style_ind(k), gset_fill_colr_ind(1 + k % 4), rect(0.05f + (k % 5) * 0.19f, 0.05f + (k / 5) * 0.19f, 0.16f, 0.16f);
    gset_fill_int_style(1);
}
void markers_and_text() {  // the nine marker types with shadows, rotated stroke text
    gset_font_drop(2), gset_marker_size(1.5f);
    for (int t = 1; t <= 9; t++) {
        const float p[] = {0.1f * t, 0.3f, 0.1f * t, 0.7f};
        gset_marker_type(t), gset_marker_width(t % 3), gset_marker_colr_ind(1 + t % 4), gpolymarker(2, p);
    }
    gset_font_drop(0), gset_char_ht(0.08f);
    for (int k = 0; k < 4; k++) {
        float up[2] = {(float)sin(k * 0.6), (float)cos(k * 0.6)}, pos[] = {0.1f + 0.2f * k, 0.2f + 0.15f * k};
        gset_char_up_vec(up), gset_text_colr_ind(1 + k), gtext(pos, "Zyr 42");
    }
}
void xor_lines() { fan(), gset_line_gc_func(GXxor), polyline({0.0f, 0.0f, 0.8f, 0.7f, 0.1f, 0.7f}), gset_line_gc_func(GXcopy); }
void images() {  // at negative offsets, overlaid with and without a transparent colour
    IMG a = test_image(40, 30), big = test_image(400, 300);
    gload_image(&a, 5, 5), gload_image(&big, -30, -20), gset_fill_colr_ind(2), rect(0.1f, 0.1f, 0.4f, 0.4f);
    goverlay_image(&a, "", 30, 20), goverlay_image(&a, "#FFFFFF", 80, 40);
    IMG_free(&a), IMG_free(&big);
}
void frames() {  // shown, copied, cleared; one of 300 colours packed
    for (int n = 0; n < 3; n++) gcreate_frame(n), gselect_frame(n), gset_fill_colr_ind(2 + n), rect(0.1f + 0.2f * n, 0.1f, 0.3f, 0.3f);
    const float r[] = {0.1f, 0.1f, 0.5f, 0.5f};
    gcopy_frame(1, 0), gselect_frame(1), fan(), gdisplay_frame(1);
    gselect_frame(-3), gclear_region(r), gselect_frame(2), patches(300, 20), gdisplay_frame(2);
}

// A scene: up to four drawings, each in a quarter of the window, then `after` on the whole.
struct Case { const char *name; std::vector<void (*)()> parts; void (*after)() = nullptr; };
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const Case kCases[] = {
    {"lines", {fan, [] { line_types(0); }, [] { line_types(2); }, xor_lines}},
    {"fills_markers_text_images", {[] { patches(200, 15); }, polygons_and_stipples, markers_and_text, images}},
    {"frames", {frames}},
    {"zoomed", {fan}, [] { gzoom(-3, 100, 90, 3, 0); }},
};

class GksMemVsX : public testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { server = new gkstest::XServer(24, "640x512"); }
    static void TearDownTestSuite() { delete server, server = nullptr; }
    void SetUp() override { if (!server->ok()) GTEST_SKIP() << "needs Xvfb"; }
    static std::vector<uint32_t> render(const std::string &display, const Case &c) {
        if (!gkstest::open_window(display, "", W, H)) return {};
        gkstest::basic_colours();
        for (size_t i = 0; i < c.parts.size(); i++) {
            float q = c.parts.size() > 1 ? 0.5f : 1, vp[4] = {q * (i % 2), q * (i % 2 + 1), q * (i / 2), q * (i / 2 + 1)};
            gkstest::world_unit(1), gset_vp(1, vp), c.parts[i]();
        }
        if (c.after) c.after();
        std::vector<uint32_t> px = (gselect_frame(-3), read_back());
        return gclose_ws(1), gclose_gks(), px;
    }
    static inline gkstest::XServer *server = nullptr;
};

TEST_P(GksMemVsX, SamePixelsAsTheXWindow) {
    std::vector<uint32_t> x = render(server->name(), GetParam()), m = render("mem", GetParam());
    ASSERT_EQ(std::vector<size_t>({x.size(), m.size()}), std::vector<size_t>({(size_t)W * H, (size_t)W * H}));
    size_t differ = 0, first = 0, ink = 0;
    for (size_t i = 0; i < x.size(); i++) ink += x[i] != 0, first = x[i] != m[i] && differ++ == 0 ? i : first;
    EXPECT_GT(ink, 200u) << "scene draws too little to compare";
    EXPECT_EQ(differ, 0u) << "first at (" << first % W << ", " << first / W << "): X " << std::hex << x[first] << " mem " << m[first];
}

INSTANTIATE_TEST_SUITE_P(Scenes, GksMemVsX, testing::ValuesIn(kCases), [](const auto &info) { return info.param.name; });

// Colour strings (backgrounds, transparent colours) read without a server as the server reads them.
TEST_F(GksMemVsX, ColourStringsAsTheServerParsesThem) {
    Display *d = XOpenDisplay(server->name().c_str());
    ASSERT_NE(d, nullptr);
    for (const char *spec : {"#F00", "#FF8000", "#fff000111", "#0000FFFF8000", "rgb:f/80/123", "rgb:ffff/0/8", "NavyBlue",
                             "navy blue", "GRAY50", "DarkSlateGray4", "no such colour", "#12", "rgb:1/2", "#ggg"}) {
        XColor x{}, m{};
        Status ok = XParseColor(d, DefaultColormap(d, DefaultScreen(d)), spec, &x);
        ASSERT_EQ(gks::mem_parse_colour(spec, &m), ok != 0) << spec;
        EXPECT_TRUE(!ok || (m.red == x.red && m.green == x.green && m.blue == x.blue)) << spec;
    }
    XCloseDisplay(d);
}

// What only the headless window does, with no X server to be found.
class GksMemOnly : public testing::Test {
protected:
    void SetUp() override { unsetenv("DISPLAY"); }
    void TearDown() override { gclose_ws(1), gclose_gks(); }
    testutil::ScratchDir dir;
    std::string errfile = dir.file("err.txt");
};

TEST_F(GksMemOnly, OpensWithoutServerRefusesServerFontsAndDoesNotHold) {
    ASSERT_EQ(gopen_gks(errfile.c_str(), 0), 0);
    testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
    EXPECT_NE(gopen_ws(1, "mem", GWS_PIX), 0);  // the embedded type stays X only
    gset_geometry("300x200+10+10"), gset_win_title("Loop_one");
    ASSERT_EQ(gopen_ws(1, "mem", GWS_WIN), 0);
    int w, h;
    gget_win_size(&w, &h);
    // A looping hold has no event to end it: it returns at once, as do the frame wait and the bell.
    for (int n = 0; n < 3; n++) gcreate_frame(n);
    gset_looping(1), gset_loop_delay(-4, 30.0f);
    EXPECT_EQ(std::vector<int>({w, h, gtype_is_WIN(), gget_win_depth(), read_font("#fixed"), gloop_sleep(), ghold(0)}),
              std::vector<int>({300, 200, 1, 24, -1, 0, 0}));
    gset_looping(0), gbell(0);
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("read_font: unable to load font: fixed\n"), std::string::npos) << said;
    gdisplay_frame(2);
    IMG img;
    EXPECT_EQ((IMG_init(&img), gget_image(&img)), 1);
    EXPECT_STREQ(img.info, "Loop one [2]");
    IMG_free(&img), gset_geometry("");  // a resize reaches the picture read back
    EXPECT_EQ(std::vector<size_t>({(size_t)gset_xsize(400, 250), read_back().size()}), std::vector<size_t>({1, 400u * 250u}));
}

// 128 frames of 1920 x 1080, each its own drawing, stay far below the 1 GB they would take at 4
// bytes a pixel, and each reads back as drawn.
TEST_F(GksMemOnly, FullHdLoopInCompactStore) {
    ASSERT_TRUE(gkstest::open_window("mem", errfile, 1920, 1080));
    gkstest::basic_colours(), gkstest::world_unit(1);
    for (int n = 0; n < GMAX_FRAMES; n++) {
        ASSERT_EQ(gcreate_frame(n), n);
        gselect_frame(n), gset_fill_colr_ind(2 + n % 3), rect(0.005f * n, 0.1f, 0.1f, 0.1f);
    }
    EXPECT_LT(gks::mem_bytes(), (size_t)GMAX_FRAMES * 1920 * 1080 + 64u * 1920 * 1080);
    const uint32_t colour[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    // The unit square spans the 1079 pixels of the shorter side, y down: the middle at (0.005 n + 0.05, 0.15).
    for (int n : {0, 1, 77, GMAX_FRAMES - 1}) {
        std::vector<uint32_t> px = (gselect_frame(n), read_back());
        ASSERT_EQ(px.size(), 1920u * 1080u);
        size_t at = (size_t)std::lround(1079 * 0.85) * 1920 + (size_t)std::lround(1079 * (0.005 * n + 0.05));
        EXPECT_EQ(std::vector<uint32_t>({px[at], px[at + 300]}), std::vector<uint32_t>({colour[n % 3], 0})) << "frame " << n;
    }
    std::vector<uint32_t> shown = (gdisplay_frame(77), gselect_frame(-3), read_back());
    EXPECT_TRUE((gselect_frame(77), shown == read_back()));  // showing puts its picture in the window
}

}  // namespace
