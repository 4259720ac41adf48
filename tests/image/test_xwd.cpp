// XWD files: dumps of real X servers (24- and 8-bit Xvfb screens through
// xwd -root) read as ImageMagick reads them, records with unpadded rows
// written so that ImageMagick accepts them, and damaged headers.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "codec_oracle.h"
#include "tests/gks/gks_test_util.h"
#include "image/xwd.h"

namespace {

// Paints coloured bands and blocks over the root window.
void paint_root(const std::string &display)
{
    Display *d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    Window root = DefaultRootWindow(d);
    GC gc = XCreateGC(d, root, 0, nullptr);
    Colormap cm = DefaultColormap(d, DefaultScreen(d));
    const char *names[] = {"red", "green", "blue", "yellow", "orange", "purple", "gray40", "white", "navy", "pink"};
    for (int i = 0; i < 10; i++) {
        XColor c, exact;
        if (!XAllocNamedColor(d, cm, names[i], &c, &exact)) continue;
        XSetForeground(d, gc, c.pixel);
        XFillRectangle(d, root, gc, i * 7, 0, 7, 40);
        XFillRectangle(d, root, gc, 70, i * 4, 30, 3);
    }
    XFreeGC(d, gc);
    XSync(d, False);
    XCloseDisplay(d);
}

class XwdScreens : public testing::TestWithParam<const char *> {};

TEST_P(XwdScreens, ReadsXwdRootDumpsAsImageMagickDoes)
{
    NEED_TOOL("Xvfb");
    NEED_TOOL("xwd");
    NEED_TOOL("convert");
    const std::string screen = GetParam();  // width x height x depth
    const size_t cut = screen.rfind('x');
    gkstest::XServer server(std::stoi(screen.substr(cut + 1)), screen.substr(0, cut).c_str());
    ASSERT_TRUE(server.ok());
    paint_root(server.name());
    testutil::ScratchDir dir;
    std::string path = dir.file("root.xwd");
    ASSERT_EQ(testutil::run({"xwd", "-root", "-silent", "-display", server.name(), "-out", path}).status, 0);
    codec::Rec rec;
    // The depth a 32-bit window would let through.
    rec->depth = 32;
    ASSERT_EQ(XWD_read(path.c_str(), rec.get(), 0), 1);
    EXPECT_EQ(rec->nx, 120);
    EXPECT_EQ(rec->ny, 50);
    std::string ours = codec::record_rgb(rec.get());
    std::string im = codec::im_rgb(path, "xwd:");
    ASSERT_EQ(ours.size(), im.size());
    // The 8-bit colormap holds 16-bit components, which the reader keeps as
    // fractions and ImageMagick rounds: both agree to within one.
    EXPECT_LE(codec::max_channel_diff(ours, im), 1);
    // And the same through the dispatch, as for a 24-bit window; a deeper
    // dump than the window is refused.
    codec::Rec via;
    ASSERT_EQ(IMG_read(path.c_str(), via.get(), 1), 1);
    EXPECT_EQ(via->nx, 120);
    codec::Rec shallow;
    shallow->depth = rec->depth - 1;
    EXPECT_EQ(XWD_read(path.c_str(), shallow.get(), 0), 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, XwdScreens, testing::Values("120x50x24", "120x50x8"),
                         [](const auto &info) { return std::string(info.param).substr(7) + "bit"; });

// Rows as records from files hold them (odd length, no padding): the dump
// gives the true pad, ImageMagick reads it, and our reader reads it back.
TEST(XwdWrite, UnpaddedRowsAndRoundTrip)
{
    NEED_TOOL("convert");
    testutil::ScratchDir dir;
    codec::Rec rec;
    const int nx = 37, ny = 5;
    rec->nx = nx;
    rec->ny = ny;
    rec->depth = 8;
    rec->bits_pixel = 0;  // plain satellite bytes
    rec->bytes_line = nx;
    rec->data = (unsigned char *)malloc(nx * ny);
    for (int i = 0; i < nx * ny; i++) rec->data[i] = (unsigned char)(i * 5);
    strcpy(rec->info, "GOES-8 IR");
    std::string path = dir.file("gray.xwd");
    ASSERT_EQ(XWD_write(path.c_str(), rec.get()), 1);
    std::string want;
    for (int i = 0; i < nx * ny; i++) want.append(3, (char)(unsigned char)(i * 5));
    EXPECT_EQ(codec::first_diff(codec::im_rgb(path, "xwd:"), want), -1);
    codec::Rec back;
    back->depth = 8;
    ASSERT_EQ(XWD_read(path.c_str(), back.get(), 0), 1);
    EXPECT_EQ(back->bytes_line, nx);
    EXPECT_EQ(std::string(back->info), "GOES-8 IR");
    EXPECT_EQ(0, memcmp(back->data, rec->data, nx * ny));
    EXPECT_EQ(back->ncolors, 256);
    EXPECT_FLOAT_EQ(back->cmap[3 * 255], 1.0f);
}

// Damaged headers: 0 and a message, never an allocation the file does not
// back.  (Cut and damaged files: the seed replay.)
TEST(XwdRead, BrokenInput)
{
    testutil::ScratchDir dir;
    codec::Rec rec;
    std::vector<uint32_t> values(20 * 6);
    for (size_t i = 0; i < values.size(); i++) values[i] = (uint32_t)i % 9;
    codec::fill(rec.get(), 20, 6, 8, 8, 1, values);
    rec->indexed = 1;
    rec->ncolors = 9;
    rec->cmap = codec::exact_table(std::vector<codec::RGB>(9, codec::RGB{1, 2, 3}));
    strcpy(rec->info, "w");
    std::string path = dir.file("s.xwd");
    ASSERT_EQ(XWD_write(path.c_str(), rec.get()), 1);
    const std::string good = testutil::read_file(path);
    auto read = [](const std::string &b) {
        codec::Rec r;
        r->depth = 24;
        return XWD_read_mem((const unsigned char *)b.data(), b.size(), r.get(), 0);
    };
    ASSERT_EQ(read(good), 1);
    auto with = [&](int field, uint32_t v) {
        std::string b = good;
        for (int i = 0; i < 4; i++) b[4 * field + i] = (char)(v >> (24 - 8 * i));
        return b;
    };
    struct Bad { const char *what; int field; uint32_t value; };
    const Bad bad[] = {
        {"version", 1, 6},          {"header size small", 0, 99},   {"header past file", 0, 1u << 30},
        {"depth over window", 3, 25}, {"format XY", 2, 1},          {"bits per pixel 7", 11, 7},
        {"short rows", 12, 3},      {"colours past file", 19, 1000000}, {"height past file", 5, 1u << 20},
        {"width past rows", 4, 5000}, {"byte order 9", 7, 9},
    };
    for (const Bad &b : bad) EXPECT_EQ(read(with(b.field, b.value)), 0) << b.what;
    codec::Rec r;
    EXPECT_EQ(XWD_read(dir.file("missing").c_str(), r.get(), 0), 0);
}

}  // namespace
