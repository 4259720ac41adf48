// Window dumps on private X servers: the GIF, PNG and XWD files of a drawn
// window, decoded by ImageMagick, hold the colours of the picture as
// XGetImage reads it, on a 24-bit TrueColor and an 8-bit PseudoColor screen.
#include "../image/codec_oracle.h"
#include "../test_support.h"
#include "gks_test_util.h"

#include <set>

#include "gks/imgfile.h"
#include "image/gif.h"
#include "image/pngio.h"
#include "image/xwd.h"

namespace {

// The picture as RGB bytes: TrueColor pixels through the visual's masks,
// PseudoColor pixels through the colormap (16-bit components, high byte).
std::string picture_rgb(const gkstest::Picture &p) {
    Display *d = gget_display();
    Visual *v = DefaultVisual(d, DefaultScreen(d));
    std::string out;
    for (unsigned long px : p.px) {
        XColor xc{px, (unsigned short)((px & v->red_mask) >> 8), (unsigned short)(px & v->green_mask),
                  (unsigned short)((px & v->blue_mask) << 8), 0, 0};
        if (v->c_class != TrueColor) XQueryColor(d, DefaultColormap(d, DefaultScreen(d)), &xc);
        out += {(char)(xc.red >> 8), (char)(xc.green >> 8), (char)(xc.blue >> 8)};
    }
    return out;
}

class WindowDumps : public testing::TestWithParam<int> {};

// PseudoColor tables go through fractions of 65535 and back, so the 8-bit
// screen may differ by one; gsave_image_file writes its chosen type.
TEST_P(WindowDumps, FilesHoldThePicture) {
    NEED_TOOL("Xvfb");
    NEED_TOOL("convert");
    gkstest::XServer x(GetParam(), "400x300");
    testutil::ScratchDir dir;
    ASSERT_TRUE(x.ok() && gkstest::open_window(x.name(), dir.file("err"), 160, 120));
    gkstest::basic_colours(), gkstest::world_unit(1);
    const float tri[6] = {0.1f, 0.1f, 0.9f, 0.2f, 0.4f, 0.9f}, line[4] = {0, 0.95f, 1, 0.05f}, line2[4] = {0, 0.5f, 1, 0.5f};
    float c[3] = {0.2f, 0.6f, 0.3f};
    gset_fill_int_style(1), gset_fill_colr_ind(2), gfill_area(3, tri);
    gset_line_colr_ind(4), gpolyline(2, line);
    gset_colr_rep(1, 5, c), gset_line_colr_ind(5), gpolyline(2, line2);
    gupdate_window(), gsync(), gset_save_image_type(GSAVE_GIF);
    const gkstest::Picture pic = gkstest::grab();
    const std::string want = picture_rgb(pic);
    ASSERT_GE(std::set<unsigned long>(pic.px.begin(), pic.px.end()).size(), 4u); // background, fill and two lines
    std::pair<const char *, int (*)(const char *)> dumps[] = {
        {"w.gif", GIF_dump}, {"w.png", PNG_dump}, {"w.xwd", XWD_dump}, {"saved", gsave_image_file}};
    for (auto [file, dump] : dumps) {
        std::string f = dir.file(file), got;
        ASSERT_EQ(dump(f.c_str()), 1) << file;
        ASSERT_EQ((got = codec::im_rgb(f, *file == 's' ? "gif:" : "")).size(), want.size()) << file;
        EXPECT_LE(codec::max_channel_diff(got, want), GetParam() == 8 ? 1 : 0) << file;
    }
    gclose_ws(1), gclose_gks(); // before the server goes
}

INSTANTIATE_TEST_SUITE_P(Depths, WindowDumps, testing::Values(24, 8),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

}  // namespace
