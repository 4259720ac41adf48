// Unisys keyword-header images, built by unisys_build.h (no real sample
// exists; the python writer in tools/ makes the same layout for fuzz seeds).
#include <cstring>
#include <string>
#include <vector>

#include "core/res.h"
#include "image/nav.h"
#include "image/readers.h"
#include "rdr_oracle.h"
#include "unisys_build.h"

namespace {

using unisysbuild::unisys;

TEST(Unisys, SizesAndZeroedHeader)
{
    auto file = unisys(640, 480, "x640 y480 end ");
    IMG img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    EXPECT_EQ(img.source, 55);
    EXPECT_EQ(img.nx, 640);
    EXPECT_EQ(img.ny, 480);
    EXPECT_EQ(img.bytes_line, 640);
    EXPECT_EQ(img.domain.proj, 99);
    EXPECT_EQ(img.domain.nx, 640);
    for (int i = 0; i < 14; i++) EXPECT_EQ(img.data[i], 0) << i;
    EXPECT_EQ(0, memcmp(img.data + 14, file.data() + 14, file.size() - 14));
    IMG_free(&img);
}

TEST(Unisys, KeywordsFillInfoDateAndDomain)
{
    auto file = unisys(100, 80, "idGOES-8_IR x100 y80 ftm886000000 pl lat40.5 lon-100.25 "
                                "ref160 ref2-95 ref325 ref435 end\n");
    IMG img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    EXPECT_STREQ(img.info, "GOES-8_IR");
    // 886000000 s after 1970: 1998-01-28 15:06:40 UTC (python3 datetime).
    EXPECT_EQ(img.date.year, 1998);
    EXPECT_EQ(img.date.month, 1);
    EXPECT_EQ(img.date.day, 28);
    EXPECT_EQ(img.date.hour, 15);
    EXPECT_EQ(img.domain.proj, 4);
    EXPECT_FLOAT_EQ(img.domain.dx, 0.08f);
    EXPECT_FLOAT_EQ(img.domain.clat, 40.5f);
    EXPECT_FLOAT_EQ(img.domain.clon, -100.25f);
    EXPECT_FLOAT_EQ(img.domain.plat, 60);
    EXPECT_FLOAT_EQ(img.domain.plon, -95);
    EXPECT_FLOAT_EQ(img.domain.parm[0], 25);
    EXPECT_FLOAT_EQ(img.domain.parm[1], 35);
    IMG_free(&img);
}

TEST(Unisys, FrameWordsSetTheSensorMapping)
{
    // Start scan 100, start line 50, end scan 740, end line 530, element
    // and line resolution 1 on a 640 x 480 image: line correction
    // 49*2 = 98, element correction 120, line resolution (2*529-98)/480 = 2,
    // element resolution (760-120)/640 = 1.
    auto file = unisys(640, 480, "x640 y480 ssn100 sln50 esn740 eln530 sr1 lr1 end ");
    IMG img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    float lc, ec, lr, er;
    AREA_get_res(&lc, &ec, &lr, &er);
    EXPECT_FLOAT_EQ(lc, 98);
    EXPECT_FLOAT_EQ(ec, 120);
    EXPECT_FLOAT_EQ(lr, 2);
    EXPECT_FLOAT_EQ(er, 1);
    IMG_free(&img);
}

TEST(Unisys, GridDomainResourceGivesTheDomain)
{
    RES_put("grid_domain", "sat:0:-75,30,-80,200,100,0.2,0.2");
    auto file = unisys(64, 32, "x64 y32 end ");
    IMG img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    EXPECT_EQ(img.domain.proj, 9);
    EXPECT_EQ(img.domain.nx, 64);
    EXPECT_EQ(img.domain.ny, 32);
    IMG_free(&img);
}

TEST(Unisys, BadHeaders)
{
    struct { const char *name; std::string text; size_t size; int result; } cases[] = {
        {"no end, two words", "x10 y10", 100, -1},
        {"no size", "idabc lat4 lon5 end ", 100, -1},
        {"absurd size", "x99999999 y99999999 end ", 100, -1},
        {"negative size", "x-5 y10 end ", 100, -1},
        {"header longer than the image", "x2 y2 end ", 12, 0},
        {"thirty words, end after them", [] { std::string t; for (int i = 0; i < 30; i++) t += "qq "; return t + "x4 y4 end "; }(), 200, -1},
    };
    for (auto &c : cases) {
        std::vector<unsigned char> b(c.text.begin(), c.text.end());
        b.resize(std::max(b.size(), c.size), 1);
        IMG img;
        EXPECT_EQ(rdrtest::read_as(IMG_SRC_UNISYS, b.data(), b.size(), &img), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(img.data[0] | img.data[1] | img.data[2] | img.data[3], 0) << c.name;
        }
        IMG_free(&img);
    }
    // Every cut of a good file either reads or is refused.
    auto file = unisys(40, 30, "idcut x40 y30 lat1 lon2 pl end ");
    for (size_t len = 0; len < 64; len++) {
        IMG img;
        rdrtest::read_as(IMG_SRC_UNISYS, file.data(), len, &img);
        IMG_free(&img);
    }
    IMG img;
    EXPECT_EQ(SAT_read_Unisys("/nonexistent/u.img", &img), -1);
}

}  // namespace
