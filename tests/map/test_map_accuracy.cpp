// The bundled coastlines against the coasts of real images: runs
// tools/check_map_accuracy.py (GINI grids through PROJ, LRIT and a
// gdalwarp-made GeoTIFF through zyrproc's own readers and navigation) and
// checks that each case with a usable coast peaks within a pixel of where
// the map puts it.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string kPython = "/usr/bin/python3";  // the one with numpy
const std::string kScript = ZYR_SOURCE_DIR "/tools/check_map_accuracy.py";
const std::string kTool = ZYR_BINARY_DIR "/zyrproc";
const std::string kShared = ZYR_SHARED_DATA;

bool quiet_ok(const std::string &cmd)
{
    int st = std::system(("(" + cmd + ") >/dev/null 2>&1 </dev/null").c_str());
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

struct CheckRun {
    int status = -1;
    std::string out;
};

CheckRun run_check(const std::string &options)
{
    CheckRun r;
    std::string cmd = kPython + " " + kScript + " " + options + " '" + kShared + "' '' '" + kTool + "' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The peak line that follows the case's first line: "x y verdict", or "".
std::string verdict(const std::string &out, const std::string &name)
{
    size_t at = out.find(name);
    if (at == std::string::npos) return "";
    std::smatch m;
    std::string rest = out.substr(at);
    static const std::regex peak(R"(peak at shift x=(-?\d) y=(-?\d), [0-9.]+ times the far shifts: (\w+))");
    if (!std::regex_search(rest, m, peak)) return "";
    return m[1].str() + " " + m[2].str() + " " + m[3].str();
}

class MapAccuracy : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::is_directory(kShared)) GTEST_SKIP() << "no shared samples at " << kShared;
        if (!fs::exists(kTool)) GTEST_SKIP() << "no zyrproc built at " << kTool;
        if (!quiet_ok(kPython + " -c 'import numpy'")) GTEST_SKIP() << "no python3 with numpy";
        if (!quiet_ok("command -v proj")) GTEST_SKIP() << "no PROJ proj";
        if (!quiet_ok("command -v gdalwarp && command -v gdal_translate")) GTEST_SKIP() << "no gdal-bin";
    }
};

}  // namespace

// Every case with a visible coast passes; the cloud-covered ones may only be
// inconclusive, never a failure.
TEST_F(MapAccuracy, CoastsFallOnImageCoasts)
{
    CheckRun r = run_check("");
    SCOPED_TRACE(r.out);
    EXPECT_EQ(r.status, 0);
    for (const char *name : {"WEST-CONUS_4km_3.9", "SUPER-NATIONAL_8km_IR", "IR1_20120101_000920_01",
                             "WEST-CONUS warped to lat/lon (GeoTIFF)"}) {
        std::string v = verdict(r.out, name);
        EXPECT_TRUE(v.ends_with(" PASS")) << name << ": " << v;
    }
    EXPECT_NE(r.out.find(", 0 FAIL\n"), std::string::npos);
    EXPECT_EQ(r.out.find(": FAIL"), std::string::npos);
}

// A coast moved by a known amount is found moved by exactly that amount: the
// search measures placement rather than always answering "near zero".
TEST_F(MapAccuracy, KnownOffsetIsFound)
{
    CheckRun base = run_check("--only WEST-CONUS_4km");
    CheckRun moved = run_check("--only WEST-CONUS_4km --offset 3,-2");
    int bx = 99, by = 99, mx = 99, my = 99;
    ASSERT_EQ(std::sscanf(verdict(base.out, "WEST-CONUS").c_str(), "%d %d", &bx, &by), 2) << base.out;
    ASSERT_EQ(std::sscanf(verdict(moved.out, "WEST-CONUS").c_str(), "%d %d", &mx, &my), 2) << moved.out;
    EXPECT_EQ(mx, bx - 3);
    EXPECT_EQ(my, by + 2);
    EXPECT_NE(moved.status, 0);  // a 3-pixel misplacement fails the check
}
