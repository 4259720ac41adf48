// The bundled coastlines against the coasts of real images: runs tools/check_map_accuracy.py (GINI grids through
// PROJ, LRIT and a gdalwarp-made GeoTIFF through zyrproc's own readers and navigation) and checks that each case with
// a usable coast peaks within a pixel of where the map puts it.  The one check of coasts against PROJ in the suite.
#include <cstdio>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"

namespace {

testutil::Result run_check(const std::string &options)
{
    return testutil::shell("/usr/bin/python3 " ZYR_SOURCE_DIR "/tools/check_map_accuracy.py " + options + " " +
                           testutil::quote(testutil::shared("")) + " '' " ZYR_BINARY_DIR "/zyrproc");
}

// The peak line that follows the case's first line: "x y verdict", or "".
std::string verdict(const std::string &out, const std::string &name)
{
    static const std::regex peak(R"(peak at shift x=(-?\d) y=(-?\d), [0-9.]+ times the far shifts: (\w+))");
    std::smatch m;
    size_t at = out.find(name);
    std::string rest = at == std::string::npos ? "" : out.substr(at);
    return std::regex_search(rest, m, peak) ? m[1].str() + " " + m[2].str() + " " + m[3].str() : "";
}

}  // namespace

// Every case with a visible coast passes; the cloud-covered ones may only be inconclusive, never a failure.  A coast
// moved by a known amount is found moved by exactly that amount, and fails: the search measures placement rather than
// always answering "near zero".
TEST(MapAccuracy, CoastsFallOnImageCoasts)
{
    NEED_SHARED("gini");
    NEED_TOOL("proj");
    NEED_TOOL("gdalwarp");
    NEED_TOOL("gdal_translate");
    if (testutil::shell("/usr/bin/python3 -c 'import numpy'").status != 0) GTEST_SKIP() << "needs numpy";
    testutil::Result r = run_check("");
    SCOPED_TRACE(r.out);
    EXPECT_EQ(r.status, 0);
    for (const char *name : {"WEST-CONUS_4km_3.9", "SUPER-NATIONAL_8km_IR", "IR1_20120101_000920_01",
                             "WEST-CONUS warped to lat/lon (GeoTIFF)"})
        EXPECT_TRUE(verdict(r.out, name).ends_with(" PASS")) << name << ": " << verdict(r.out, name);
    EXPECT_NE(r.out.find(", 0 FAIL\n"), std::string::npos);
    EXPECT_EQ(r.out.find(": FAIL"), std::string::npos);
    testutil::Result moved = run_check("--only WEST-CONUS_4km --offset 3,-2");
    int bx = 99, by = 99, mx = 99, my = 99;
    ASSERT_EQ(std::sscanf(verdict(r.out, "WEST-CONUS_4km").c_str(), "%d %d", &bx, &by), 2);
    ASSERT_EQ(std::sscanf(verdict(moved.out, "WEST-CONUS").c_str(), "%d %d", &mx, &my), 2) << moved.out;
    EXPECT_EQ(std::pair(mx, my), std::pair(bx - 3, by + 2));
    EXPECT_NE(moved.status, 0);
}
