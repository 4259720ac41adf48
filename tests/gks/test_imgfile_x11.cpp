// Window dumps on private X servers: the GIF, PNG and XWD files of a drawn
// window, decoded by ImageMagick, hold the colours of the picture as
// XGetImage reads it, on a 24-bit TrueColor and an 8-bit PseudoColor screen.
#include "../image/codec_oracle.h"
#include "../test_support.h"
#include "gks_test_util.h"

#include <set>

#include "gks/imgfile.h"
#include "image/anim.h"
#include "image/gif.h"
#include "image/pngio.h"
#include "image/xwd.h"
#include "plot/plt.h"

namespace {

// The picture as RGB bytes: TrueColor pixels through the visual's masks,
// PseudoColor pixels through the colormap (16-bit components, high byte).
std::string picture_rgb(const gkstest::Picture &p)
{
    Display *d = gget_display();
    Visual *v = DefaultVisual(d, DefaultScreen(d));
    std::string out;
    for (unsigned long px : p.px) {
        uint8_t c[3];
        if (v->c_class == TrueColor) {
            c[0] = (uint8_t)((px & v->red_mask) >> 16);
            c[1] = (uint8_t)((px & v->green_mask) >> 8);
            c[2] = (uint8_t)(px & v->blue_mask);
        } else {
            XColor xc;
            xc.pixel = px;
            XQueryColor(d, DefaultColormap(d, DefaultScreen(d)), &xc);
            c[0] = (uint8_t)(xc.red >> 8);
            c[1] = (uint8_t)(xc.green >> 8);
            c[2] = (uint8_t)(xc.blue >> 8);
        }
        out.append((const char *)c, 3);
    }
    return out;
}

class WindowDumps : public testing::TestWithParam<int> {};

TEST_P(WindowDumps, FilesHoldThePicture)
{
    NEED_TOOL("Xvfb");
    NEED_TOOL("convert");
    gkstest::XServer x(GetParam(), "400x300");
    ASSERT_TRUE(x.ok());
    testutil::ScratchDir dir;
    ASSERT_TRUE(gkstest::open_window(x.name(), dir.file("err"), 160, 120));
    gkstest::basic_colours();
    gkstest::world_unit(1);
    const float tri[6] = {0.1f, 0.1f, 0.9f, 0.2f, 0.4f, 0.9f};
    gset_fill_int_style(1);
    gset_fill_colr_ind(2);
    gfill_area(3, tri);
    const float line[4] = {0.0f, 0.95f, 1.0f, 0.05f};
    gset_line_colr_ind(4);
    gpolyline(2, line);
    float c[3] = {0.2f, 0.6f, 0.3f};
    gset_colr_rep(1, 5, c);
    gset_line_colr_ind(5);
    const float line2[4] = {0.0f, 0.5f, 1.0f, 0.5f};
    gpolyline(2, line2);
    gupdate_window();
    gsync();

    const gkstest::Picture pic = gkstest::grab();
    const std::string want = picture_rgb(pic);
    std::set<unsigned long> distinct(pic.px.begin(), pic.px.end());
    ASSERT_GE(distinct.size(), 4u);  // background, fill and two lines
    // PseudoColor tables go through fractions of 65535 and back, so the
    // 8-bit screen may differ by one.
    const int tol = GetParam() == 8 ? 1 : 0;
    struct Dump { const char *file; int (*dump)(const char *); };
    const Dump dumps[] = {{"w.gif", GIF_dump}, {"w.png", PNG_dump}, {"w.xwd", XWD_dump}};
    for (const Dump &dmp : dumps) {
        SCOPED_TRACE(dmp.file);
        std::string f = dir.file(dmp.file);
        ASSERT_EQ(dmp.dump(f.c_str()), 1);
        std::string got = codec::im_rgb(f);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_LE(codec::max_channel_diff(got, want), tol);
    }
    // The save helper with its chosen type.
    gset_save_image_type(GSAVE_GIF);
    std::string s = dir.file("saved");
    ASSERT_EQ(gsave_image_file(s.c_str()), 1);
    EXPECT_LE(codec::max_channel_diff(codec::im_rgb(s, "gif:"), want), tol);
    gset_save_image_type(GSAVE_PNG);

    // The native file of the window: its size and the picture's gray mean.
    std::string z = dir.file("w.zyr");
    ASSERT_EQ(IMG_dump(z.c_str()), 1);
    codec::Rec back;
    ASSERT_EQ(IMG_read(z.c_str(), back.get(), 1), 1);
    EXPECT_EQ(back->nx, 160);
    EXPECT_EQ(back->ny, 120);
    gclose_ws(1);
    gclose_gks();
}

// A loop of three frames, each with a block elsewhere, into animated GIF
// and APNG files: PIL finds every frame equal to that frame's own PNG dump,
// with the frames' delays.
TEST(WindowDumps, LoopIntoAnimatedFiles)
{
    NEED_TOOL("Xvfb");
    NEED_PIL();
    gkstest::XServer x(24, "400x300");
    ASSERT_TRUE(x.ok());
    testutil::ScratchDir dir;
    ASSERT_TRUE(gkstest::open_window(x.name(), dir.file("err"), 120, 90));
    gkstest::basic_colours();
    std::string want;
    for (int k = 0; k < 3; k++) {
        ASSERT_EQ(gcreate_frame(-1), k);
        gselect_frame(k);
        gkstest::world_unit(1);
        gset_fill_int_style(1);
        gset_fill_colr_ind(2 + k);
        const float r[8] = {0.1f + 0.25f * k, 0.1f, 0.3f + 0.25f * k, 0.1f, 0.3f + 0.25f * k, 0.6f, 0.1f + 0.25f * k, 0.6f};
        gfill_area(4, r);
        std::string f = dir.file("frame" + std::to_string(k) + ".png");
        ASSERT_EQ(PNG_dump(f.c_str()), 1);
        want += codec::pil_rgb(f);
    }
    for (int apng : {0, 1}) {
        std::string f = dir.file(apng ? "loop.png" : "loop.gif");
        ASSERT_EQ(ANIM_dump(f.c_str(), apng), 1);
        std::string out = codec::pil_script(
            "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\nsys.stdout.write('%d %s\\n' % (im.n_frames, im.info.get('loop')))\n"
            "d = []\nfor k in range(im.n_frames):\n    im.seek(k)\n    d.append(str(round(im.info.get('duration'))))\n"
            "    sys.stdout.buffer.write(im.convert('RGB').tobytes())\nsys.stdout.write('\\n' + ' '.join(d))\n",
            f);
        std::string head = "3 0\n";
        ASSERT_EQ(out.substr(0, head.size()), head) << f;
        EXPECT_TRUE(out.compare(head.size(), want.size(), want) == 0) << f;
        // The default delay, 0.5 s, and the last frame's dwell of 1 s.
        EXPECT_EQ(out.substr(head.size() + want.size()), "\n500 500 1000") << f;
    }
    gclose_ws(1);
    gclose_gks();
}

INSTANTIATE_TEST_SUITE_P(Depths, WindowDumps, testing::Values(24, 8),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

}  // namespace
