// Image files on the workstation without a display: what reads, what is
// refused, and that nothing is written when there is no picture.
#include <gtest/gtest.h>

#include <filesystem>

#include "../image/codec_oracle.h"
#include "../test_support.h"
#include "gks/gks.h"
#include "gks/imgfile.h"
#include "image/gif.h"
#include "image/xwd.h"

namespace {

TEST(ImageFileHelpers, WithoutAWorkstation)
{
    ASSERT_EQ(gchk_graphics(), 0);
    testutil::ScratchDir dir;
    codec::Rec src;
    codec::patterned(src.get(), 9, 4, 3, 7);
    std::string xwd = dir.file("a.xwd"), gif = dir.file("a.gif");
    ASSERT_EQ(XWD_write(xwd.c_str(), src.get()), 1);
    ASSERT_EQ(GIF_write(gif.c_str(), src.get()), 1);

    // A query takes any file (as for a 32-bit window); a read for display
    // refuses an XWD deeper than the absent window (depth 0).
    codec::Rec q, r, g;
    EXPECT_EQ(gquery_image_file(xwd.c_str(), q.get()), 1);
    EXPECT_EQ(q->nx, 9);
    EXPECT_EQ(gread_image_file(xwd.c_str(), r.get()), 0);
    EXPECT_EQ(gread_image_file(gif.c_str(), g.get()), 1);
    EXPECT_EQ(g->ny, 4);

    // Nothing to draw into or read back: 0, and no file appears.
    EXPECT_EQ(gload_image_file(gif.c_str(), 0, 0), 0);
    EXPECT_EQ(goverlay_image_file(gif.c_str(), "black", 0, 0), 0);
    std::string saved = dir.file("saved.png");
    EXPECT_EQ(gsave_image_file(saved.c_str()), 0);
    EXPECT_EQ(GIF_dump(saved.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(saved));
}

TEST(ImageFileHelpers, SaveTypes)
{
    EXPECT_EQ(gget_save_image_type(), GSAVE_PNG);
    for (int t : {GSAVE_GIF, GSAVE_XWD, GSAVE_ZYR, GSAVE_PNG}) {
        EXPECT_EQ(gset_save_image_type(t), 0);
        EXPECT_EQ(gget_save_image_type(), t);
    }
    EXPECT_EQ(gset_save_image_type(0), -1);
    EXPECT_EQ(gset_save_image_type(5), -1);
    EXPECT_EQ(gget_save_image_type(), GSAVE_PNG);

    // The writer behind each type, told apart by the files' first bytes.
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
