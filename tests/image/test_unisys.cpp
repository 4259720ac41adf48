// Unisys keyword-header images (no real sample exists): sizes, keywords, the
// frame words' sensor mapping, the grid domain resource and bad headers.

#include "core/res.h"
#include "image/nav.h"
#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

using build::unisys;

TEST(Unisys, SizesKeywordsAndTheZeroedHeader)
{
    auto file = unisys(640, 480, "x640 y480 end ");
    codec::Rec img;
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    EXPECT_EQ(std::vector<int>({img.source, img.nx, img.ny, img.bytes_line, img.domain.proj, img.domain.nx}),
              (std::vector<int>{55, 640, 480, 640, 99, 640}));
    EXPECT_EQ(codec::image_bytes(img), std::string(14, '\0') + std::string(file.begin() + 14, file.end()));

    file = unisys(100, 80, "idGOES-8_IR x100 y80 ftm886000000 pl lat40.5 lon-100.25 ref160 ref2-95 ref325 ref435 end\n");
    codec::Rec k;
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &k), 0);
    EXPECT_STREQ(k.info, "GOES-8_IR");
    // 886000000 s after 1970: 1998-01-28 15:06:40 UTC (python3 datetime).
    EXPECT_EQ(std::vector<int>({k.date.year, k.date.month, k.date.day, k.date.hour, k.domain.proj}), (std::vector<int>{1998, 1, 28, 15, 4}));
    const DOM &d = k.domain;
    EXPECT_EQ(std::vector<float>({d.dx, d.clat, d.clon, d.plat, d.plon, d.parm[0], d.parm[1]}),
              (std::vector<float>{0.08f, 40.5f, -100.25f, 60, -95, 25, 35}));
}

TEST(Unisys, FrameWordsAndGridDomain)
{
    // Start scan 100, start line 50, end scan 740, end line 530, element
    // and line resolution 1 on a 640 x 480 image: line correction
    // 49*2 = 98, element correction 120, line resolution (2*529-98)/480 = 2,
    // element resolution (760-120)/640 = 1.
    auto file = unisys(640, 480, "x640 y480 ssn100 sln50 esn740 eln530 sr1 lr1 end ");
    codec::Rec img, grid;
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    float lc, ec, lr, er;
    AREA_get_res(&lc, &ec, &lr, &er);
    EXPECT_EQ(std::vector<float>({lc, ec, lr, er}), (std::vector<float>{98, 120, 2, 1}));
    RES_put("grid_domain", "sat:0:-75,30,-80,200,100,0.2,0.2");
    file = unisys(64, 32, "x64 y32 end ");
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &grid), 0);
    EXPECT_EQ(std::vector<int>({grid.domain.proj, grid.domain.nx, grid.domain.ny}), (std::vector<int>{9, 64, 32}));
}

TEST(Unisys, BadHeaders)
{
    std::string thirty;
    for (int i = 0; i < 30; i++) thirty += "qq ";
    struct { const char *name; std::string text; size_t size; int result; } cases[] = {
        {"no end, two words", "x10 y10", 100, -1},
        {"no size", "idabc lat4 lon5 end ", 100, -1},
        {"absurd size", "x99999999 y99999999 end ", 100, -1},
        {"negative size", "x-5 y10 end ", 100, -1},
        {"header longer than the image", "x2 y2 end ", 12, 0},
        {"thirty words, end after them", thirty + "x4 y4 end ", 200, -1},
    };
    for (auto &c : cases) {
        std::vector<unsigned char> b(c.text.begin(), c.text.end());
        b.resize(std::max(b.size(), c.size), 1);
        codec::Rec img;
        EXPECT_EQ(codec::read_as(IMG_SRC_UNISYS, b.data(), b.size(), &img), c.result) << c.name;
        EXPECT_EQ(codec::image_bytes(img), c.result ? "" : std::string(4, '\0')) << c.name;
    }
    IMG img;
    EXPECT_EQ(SAT_read_Unisys("/nonexistent/u.img", &img), -1);
}

}  // namespace
