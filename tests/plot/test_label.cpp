// Label store, label formats (against GNU date) and the "label" resource.
#include <cstring>
#include <random>
#include <sstream>
#include "../test_support.h"
#include "core/records.h"
#include "core/res.h"
#include "files/date.h"
#include "plot/plt.h"

namespace {

std::string fmt(const char *f)
{
    char out[PLT_LABEL_SIZE];
    return PLT_label_format(f, out);
}

} // namespace

TEST(Label, StoreLinesOverlaysAndLimits)
{
    PLT_init_labels();
    PLT_set_label_type(1);
    EXPECT_EQ(PLT_label_up_left("first"), 0);
    EXPECT_EQ(PLT_label_low_right("lr"), 0);
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "first");
    EXPECT_STREQ(PLT_get_label(PLT_LR, 0), "lr");
    EXPECT_EQ(PLT_next_overlay(), 1);
    PLT_label_up_left("second");
    EXPECT_STREQ(PLT_get_label(PLT_UL, 1), "second");
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "first");
    EXPECT_EQ(PLT_get_num_over(), 2);

    std::string t68(68, 'a'), t69(69, 'b');
    EXPECT_EQ(PLT_label_strcpy(PLT_UC, t68.c_str()), 0);
    EXPECT_EQ(PLT_get_label(PLT_UC, 1), t68);
    EXPECT_EQ(PLT_label_strcpy(PLT_UC, t69.c_str()), -1);
    EXPECT_EQ(PLT_get_label(PLT_UC, 1), t68);
    std::string t200(200, 'c');
    EXPECT_EQ(PLT_label_up_right(t200.c_str()), -1);
    PLT_label_strcat(PLT_UC, "tail");  // cut to the line's size
    EXPECT_EQ(std::string(PLT_get_label(PLT_UC, 1)).size(), (size_t)PLT_LABEL_SIZE - 1);
    EXPECT_EQ(PLT_label_strcpy(6, "x"), -1);
    EXPECT_EQ(PLT_label_strcpy(-1, "x"), -1);
    EXPECT_STREQ(PLT_get_label(9, 0), "");
    EXPECT_STREQ(PLT_get_label(0, 6), "");

    for (int i = 2; i <= 5; ++i) EXPECT_EQ(PLT_next_overlay(), i);
    EXPECT_EQ(PLT_next_overlay(), -1);
    PLT_init_labels();
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "");
    EXPECT_EQ(PLT_get_num_over(), 0);
}

TEST(Label, NegativeTypeAppendsToFirstLine)
{
    PLT_init_labels();
    PLT_set_label_type(-1);
    PLT_label_up_left("GOES");
    PLT_next_overlay();
    PLT_label_up_left("IR");
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "GOES IR");
    PLT_label_up_left("VIS");  // same overlay: replaces what it appended
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "GOES VIS");
    PLT_next_overlay();
    PLT_label_up_left(std::string(54, 'x').c_str());  // 8 + 54 > 59: own line
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "GOES VIS");
    EXPECT_EQ(std::string(PLT_get_label(PLT_UL, 2)), std::string(54, 'x'));
    PLT_label_up_left(std::string(51, 'y').c_str());  // 8 + 51 = 59: appended
    EXPECT_EQ(std::string(PLT_get_label(PLT_UL, 0)), "GOES VIS " + std::string(51, 'y'));
    PLT_set_label_type(0);
}

// Worked by hand: 36 hours after Tuesday 5 March 2024 07:09 is Wednesday
// 6 March 19:09; the forecast time is 1.5 days.
TEST(Label, FormatCodesAndTheLabelResource)
{
    DATE d{2024, 3, 5, -9999, -9999, 7, 9, 0};
    PLT_label_date(&d);
    PLT_label_for_time(36);
    EXPECT_EQ(fmt("%m/%d_%h:%n_100%%"), "03/05 07:09 100%");
    EXPECT_EQ(fmt("%q%Z|"), "|");
    EXPECT_EQ(fmt("trailing%"), "trailing");
    EXPECT_EQ(fmt("%D"), "0709Z  5 MAR 24");
    EXPECT_EQ(fmt("%F|%f"), "1.5 day|36 hour");
    EXPECT_EQ(fmt("%V"), "19Z WED  6 MAR 24");
    EXPECT_EQ(fmt("%W"), "WED  6 MAR 24");
    EXPECT_EQ(fmt(std::string(300, 'z').c_str()).size(), (size_t)PLT_LABEL_SIZE - 1);
    EXPECT_EQ(fmt(nullptr), "");
    RES_put("label", "ll2:Test,ul:%b_%y,ul9:bad,zz:nothing,lr:");
    PLT_labels();
    EXPECT_STREQ(PLT_get_label(PLT_LL, 2), "Test");
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "Mar 24");
    EXPECT_STREQ(PLT_get_label(PLT_LR, 0), "");
}

// 1000 random times of 1970 to 2099 against GNU date.
TEST(Label, FormatMatchesGnuDate)
{
    NEED_TOOL("date");
    testutil::ScratchDir dir;
    std::mt19937 rng(7);
    std::uniform_int_distribution<long long> secs(0, 4102444799LL);
    std::vector<long long> times(1000);
    std::string list;
    for (auto &t : times) list.append("@").append(std::to_string(t = secs(rng))).append("\n");
    dir.write("times", list);
    testutil::Result r = testutil::shell("TZ=UTC LC_ALL=C date -f times '+%b %d %m %H %M %y'", dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream res(r.out);
    std::string want;
    for (long long t : times) {
        ASSERT_TRUE(std::getline(res, want));
        int64_t s = t;
        DATE d;
        DATE_get_gmdate(&s, &d);
        PLT_label_date(&d);
        ASSERT_EQ(fmt("%b_%d_%m_%h_%n_%y"), want) << t;
    }
}

// The upper-left title of an image: platform and field of an image of values, the reader's info otherwise (plain
// counts, or values that name neither); the record's texts read within their fields.
TEST(Label, ImageTitle)
{
    const struct Case { int kind; const char *platform, *name, *info, *want; } cases[] = {
        {IMG_VALUE_LINEAR, "G16", "RRQPE", "reader text", "G16 RRQPE"},
        {IMG_VALUE_TEMPERATURE, "", "CMI C13", "reader text", "CMI C13"},
        {IMG_VALUE_REFLECTANCE, "G17", "", "reader text", "G17"},
        {IMG_VALUE_LINEAR, "", "", "reader text", "reader text"},
        {IMG_VALUE_NONE, "G16", "RRQPE", "GOES-8 IR", "GOES-8 IR"},
    };
    char out[PLT_LABEL_SIZE];
    for (const Case &c : cases) {
        IMG image;
        IMG_init(&image);
        image.value_kind = c.kind;
        std::snprintf(image.platform, sizeof image.platform, "%s", c.platform);
        std::snprintf(image.value_name, sizeof image.value_name, "%s", c.name);
        std::snprintf(image.info, sizeof image.info, "%s", c.info);
        EXPECT_STREQ(PLT_image_title(&image, out), c.want) << c.kind << " " << c.platform << " " << c.name;
    }
    IMG full;
    IMG_init(&full);
    full.value_kind = IMG_VALUE_LINEAR;
    std::memset(full.platform, 'P', sizeof full.platform);
    std::memset(full.value_name, 'N', sizeof full.value_name);
    EXPECT_EQ(std::string(PLT_image_title(&full, out)),
              std::string(sizeof full.platform, 'P') + " " + std::string(sizeof full.value_name, 'N'));
    EXPECT_STREQ(PLT_image_title(nullptr, out), "");
}
