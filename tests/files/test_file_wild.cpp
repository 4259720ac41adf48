// Name conventions with wildcards, as the bundled GOES-R conventions use
// them: a name built for a date is looked up in its folder among files
// named like the real ones (the scan start to a tenth of a second, the end
// and creation times), and typed names give their scan start back.
#include "files/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../test_support.h"
#include "core/res.h"

namespace {

constexpr int M = -9999;
using testutil::ScratchDir;

DATE at(int y, int mo, int d, int h, int mi) { return DATE{y, mo, d, M, M, h, mi, 0}; }

// GOES-16 names; day 076 of 2023 is 17 March, day 081 of 2019 is 22 March
// and day 183 of 2018 is 2 July (`date -u -d 2023-03-17 +%j`).
const char *const kRain1440cg = "CG_ABI-L2-RRQPEF-M6_G16_s20230761440209_e20230761449517_c20230761450032.nc";
const char *const kRain1440or = "OR_ABI-L2-RRQPEF-M6_G16_s20230761440209_e20230761449517_c20230761450040.nc";
const char *const kRain1510 = "OR_ABI-L2-RRQPEF-M6_G16_s20230761510209_e20230761519517_c20230761520040.nc";
const char *const kFire1440 = "CG_ABI-L2-FDCF-M6_G16_s20230761440209_e20230761449517_c20230761450058.nc";
const char *const kConus1511 = "OR_ABI-L2-CMIPC-M6C13_G16_s20230761511172_e20230761513557_c20230761514035.nc";
const char *const kConus1516 = "OR_ABI-L2-CMIPC-M6C13_G16_s20230761516172_e20230761518557_c20230761519041.nc";
const char *const kConus1516c02 = "OR_ABI-L2-CMIPC-M6C02_G16_s20230761516172_e20230761518545_c20230761519009.nc";
const char *const kAod1000 = "OR_ABI-L2-AODF-M3_G16_s20190811000369_e20190811011136_c20190811012168.nc";
const char *const kAod1015 = "OR_ABI-L2-AODF-M3_G16_s20190811015369_e20190811026136_c20190811027168.nc";
const char *const kGlm0433 = "OR_GLM-L2-GLMC-M3_G16_s20181830433000_e20181830434000_c20191931535490.nc";
const char *const kGlm0434 = "OR_GLM-L2-GLMC-M3_G16_s20181830434000_e20181830435000_c20191931535500.nc";
const char *const kLcfa0433 = "OR_GLM-L2-LCFA_G16_s20181830433200_e20181830433400_c20181830433427.nc";
// A name a wildcard can read two ways: the hour and minute after its first
// "_s", or after its second.
const char *const kTwoWays = "x_s1510_s1400.nc";
// A folder named like the 15:20 rain rate is no file.
const char *const kRain1520dir = "OR_ABI-L2-RRQPEF-M6_G16_s20230761520209_e20230761529517_c20230761530040.nc";

// Empty files (only names matter here) in a scratch folder set as sat_path,
// with the bundled conventions.
class WildNames : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char *n : {kRain1440cg, kRain1440or, kRain1510, kFire1440, kConus1511, kConus1516, kConus1516c02,
                              kAod1000, kAod1015, kGlm0433, kGlm0434, kLcfa0433, kTwoWays})
            dir.write(n, "");
        std::filesystem::create_directory(dir.file(kRain1520dir));
        RES_clear();
        RES_put("sat_path", dir.path().c_str());
    }
    // The name a convention gives for a date, without the folder.
    std::string name(const char *conv, DATE d)
    {
        FILE_set_name(conv);
        char out[FILE_NAME_SIZE] = "";
        FILE_set_date(&d, out);
        const std::string s = out;
        return s.rfind(dir.path() + "/", 0) == 0 ? s.substr(dir.path().size() + 1) : "elsewhere: " + s;
    }
    ScratchDir dir;
};

// Each convention for a date: the step (seconds) and the name found, or
// the pattern when the step's slot holds no file.  Of several in the slot
// the newest that starts no later than the minute asked is taken, else the
// earliest; of equal starts the last name (the operational "OR_" beside a
// "CG_" copy).
TEST_F(WildNames, NamesFoundByTheirSlot)
{
    const struct Case { const char *conv; DATE date; int step; std::string want; } cases[] = {
        {"abi_l2_RRQPEF", at(2023, 3, 17, 15, 10), 600, kRain1510},
        {"abi_l2_RRQPEF", at(2023, 3, 17, 15, 19), 600, kRain1510},  // the step's last minute
        {"abi_l2_RRQPEF", at(2023, 3, 17, 15, 9), 600, "*_ABI-L2-RRQPEF*_G*_s20230761500*.nc"},  // the slot before
        {"abi_l2_RRQPEF", at(2023, 3, 17, 15, 20), 600, "*_ABI-L2-RRQPEF*_G*_s20230761520*.nc"},  // a folder only
        {"abi_l2_RRQPEF", at(2023, 3, 17, 14, 40), 600, kRain1440or},
        {"abi_l2_RRQPEF", at(2023, 3, 18, 15, 10), 600, "*_ABI-L2-RRQPEF*_G*_s20230771510*.nc"},  // the next day
        {"abi_l2_FDCF", at(2023, 3, 17, 14, 45), 600, kFire1440},
        {"abi_l2_CMIPC-M6C13", at(2023, 3, 17, 15, 10), 600, kConus1511},  // both start later: the earliest
        {"abi_l2_CMIPC-M6C13", at(2023, 3, 17, 15, 15), 600, kConus1511},
        {"abi_l2_CMIPC-M6C13", at(2023, 3, 17, 15, 16), 600, kConus1516},
        {"abi_l2_CMIPC-M?C02", at(2023, 3, 17, 15, 16), 600, kConus1516c02},
        {"abi_l2_CMIPC", at(2023, 3, 17, 15, 19), 600, kConus1516},  // C02 and C13 start together: C13
        {"abi_l2_AODF", at(2019, 3, 22, 10, 0), 600, kAod1000},  // mode 3: a quarter hour to each slot
        {"abi_l2_AODF", at(2019, 3, 22, 10, 10), 600, kAod1015},
        {"abi_l2_AODF", at(2019, 3, 22, 10, 20), 600, "*_ABI-L2-AODF*_G*_s20190811020*.nc"},
        {"abi_l1b_RadF", at(2023, 3, 17, 15, 10), 600, "*_ABI-L1b-RadF*_G*_s20230761510*.nc"},
        {"abi", at(2023, 3, 17, 14, 49), 600, kRain1440or},  // any product: the last name of the three
        {"abi_FDC", at(2023, 3, 17, 14, 49), 600, kFire1440},
        {"abi_glm", at(2018, 7, 2, 4, 33), 60, kGlm0433},  // gridded only, not the flashes of the same minute
        {"abi_glm_C", at(2018, 7, 2, 4, 34), 60, kGlm0434},
        {"abi_glm_F", at(2018, 7, 2, 4, 34), 60, "*_GLM-L2-GLMF*_G*_s20181830434*.nc"},
        {"@%S/x*_s%h%10n*.nc", at(2023, 3, 17, 15, 10), 600, kTwoWays},
        {"@%S/x*_s%h%10n*.nc", at(2023, 3, 17, 14, 0), 600, kTwoWays},
        {"@%S/x*_s%h%10n*.nc", at(2023, 3, 17, 15, 0), 600, "x*_s1500*.nc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.conv) + " " + std::to_string(c.date.hour) + ":" + std::to_string(c.date.minute));
        EXPECT_EQ(name(c.conv, c.date), c.want);
        EXPECT_EQ(FILE_get_late_off(), c.step);
    }
    // A folder that is not there: the pattern in it.
    RES_put("sat_path", dir.file("none").c_str());
    EXPECT_EQ(name("abi_l2_RRQPEF", at(2023, 3, 17, 15, 10)), "none/*_ABI-L2-RRQPEF*_G*_s20230761510*.nc");
    // A file added after a search is found by the next one.
    RES_put("sat_path", dir.path().c_str());
    EXPECT_EQ(name("abi_l1b_RadF-M6C13", at(2023, 3, 17, 15, 10)), "*_ABI-L1b-RadF-M6C13*_G*_s20230761510*.nc");
    const char *rad = "OR_ABI-L1b-RadF-M6C13_G16_s20230761510209_e20230761519517_c20230761519599.nc";
    dir.write(rad, "");
    EXPECT_EQ(name("abi_l1b_RadF-M6C13", at(2023, 3, 17, 15, 10)), rad);
}

// Typed names give their scan start (to the minute); a walk back from it
// steps by the convention's 10 minutes through the same folder, finding
// the slots with files and the patterns of the others.  The latest file
// skips the 15:10 file, too small (still being written), for the 14:40 one.
TEST_F(WildNames, TypedNamesWalksAndTheLatestFile)
{
    FILE_set_name("abi_l2_RRQPEF");
    char out[FILE_NAME_SIZE];
    DATE d;
    struct Typed { std::string typed; const char *fields; } typed[] = {
        {dir.file(kRain1510), "2023-3-17 15:10"},
        {dir.file(kAod1000), "-9999--9999--9999 -9999:-9999"},  // another product
        {dir.file("OR_ABI-L2-RRQPEF-M6_G16_s2023076.nc"), "-9999--9999--9999 -9999:-9999"},  // cut short
        {dir.file("notes.txt"), "-9999--9999--9999 -9999:-9999"},
    };
    for (const Typed &t : typed) {
        EXPECT_EQ((FILE_set_file(t.typed.c_str(), out), std::string(out)), t.typed);
        FILE_get_date(&d);
        char f[64];
        snprintf(f, sizeof f, "%d-%d-%d %d:%d", d.year, d.month, d.day, d.hour, d.minute);
        EXPECT_STREQ(f, t.fields) << t.typed;
    }
    FILE_set_file(dir.file(kRain1510).c_str(), out);
    FILE_get_date(&d);
    RES_put("num_hour", "-0:30");
    FILE_first(&d);
    std::vector<std::string> names;
    while (FILE_get_next(out) && names.size() < 10) names.emplace_back(out);
    const std::string p = dir.path() + "/";
    EXPECT_EQ(names, (std::vector<std::string>{p + kRain1440or, p + "*_ABI-L2-RRQPEF*_G*_s20230761450*.nc",
                                               p + "*_ABI-L2-RRQPEF*_G*_s20230761500*.nc", p + kRain1510}));
    EXPECT_EQ(FILE_get_num_file(), 3);

    dir.write(kRain1440or, std::string(2048, 'x'));  // above the convention's least size
    setenv("zyrcurtime", "202303171525", 1);
    FILE_set_name("abi_l2_RRQPEF");
    EXPECT_EQ(FILE_set_current("la", out), 1679064000);  // date -u -d '2023-03-17 14:40' +%s
    EXPECT_EQ(std::string(out), p + kRain1440or);
    unsetenv("zyrcurtime");
}

}  // namespace
