// Segment sets on the command line: zyrsat draws the segments of one image
// (with prologue and epilogue) as one frame on a lat/lon and a Lambert
// domain; zyrproc reads the same set; a cut segment ends either with a
// message naming it and status 10.  A built MSG HRV set through zyrproc:
// the 11136-column grid, radiances, not temperatures.
#include "tests/image/build.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testutil::Result;
using testutil::shared;

const std::string kMsg = "hrit/H-000-MSG2__-MSG2________-";
const std::vector<std::string> kSet = {kMsg + "IR_108___-000005___-201010111400-__", kMsg + "_________-PRO______-201010111400-__",
                                       kMsg + "IR_108___-000004___-201010111400-__", kMsg + "_________-EPI______-201010111400-__"};

class E2eSets : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
        for (const std::string &f : kSet) NEED_SHARED(f);
    }
    std::vector<std::string> files() const
    {
        std::vector<std::string> out;
        for (const std::string &f : kSet) out.push_back(shared(f));
        return out;
    }
    testutil::ScratchDir dir;
};

size_t count_of(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) n++;
    return n;
}

// One image file written (one frame), one PostScript page, of the set's
// time; its remapped pixels hold the picture (the domains lie on the two
// segments' latitudes).
TEST_F(E2eSets, OneFramePerSetOnLatLonAndLambert)
{
    for (const char *pd : {"ll,0,10,400,300,0.05,0.05", "lamb,5,10,400,300,0.05,0.05"}) {
        SCOPED_TRACE(pd);
        const std::string kind = std::string(pd).substr(0, std::string(pd).find(','));
        std::vector<std::string> args = {"-b", "-de", "p," + dir.file(kind + ".ps"), "-inp", "lrit", "-pd", pd,
                                         "-of", "img=" + dir.file(kind + "_%Y%m%d_%h%n.zyr")};
        for (const std::string &f : files()) args.push_back(f);
        const Result r = testutil::zyrsat(args, dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(count_of(r.out, "Writing image file: " + dir.file(kind + "_20101011_1415.zyr")), 1u) << r.out;
        EXPECT_EQ(count_of(r.out, "Writing image file"), 1u) << r.out;
        EXPECT_EQ(count_of(testutil::read_file(dir.file(kind + ".ps")), "%%Page:"), 1u);
        const std::string img = testutil::read_file(dir.file(kind + "_20101011_1415.zyr"));
        ASSERT_GT(img.size(), 400u * 300u);
        const std::string px = img.substr(img.size() - 400 * 300);
        EXPECT_GT(std::count_if(px.begin(), px.end(), [](char c) { return c != 0; }), 400 * 300 * 9 / 10);
    }
}

// zyrproc reads the set as one image: --pgm the whole disk, --value a
// temperature, --pixel and --latlon on the whole image's navigation.
TEST_F(E2eSets, ZyrprocTakesTheSet)
{
    std::vector<std::string> args = {ZYR_BINARY_DIR "/zyrproc", "-inp", "lrit", "--pgm", dir.file("set.pgm"), "--value",
                                     "1856,1500", "--pixel", "1856,1600", "--latlon", "6.972941,0"};
    for (const std::string &f : files()) args.push_back(f);
    const Result r = testutil::run(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(testutil::read_file(dir.file("set.pgm")).substr(0, 15), "P5\n3712 3712\n25");
    EXPECT_NE(r.out.find("\n6.972941 0.000000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n1856.000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" 1600.000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" K\n"), std::string::npos) << r.out;
}

// A segment cut short, or one whose headers are cut: zyrsat and zyrproc
// name the file and end with status 10.
TEST_F(E2eSets, CutSegmentStatus10)
{
    const std::string seg = testutil::read_file(shared(kSet[2]));
    for (size_t keep : {seg.size() / 2, (size_t)3000}) {
        const std::string cut = dir.write("cut" + std::to_string(keep), seg.substr(0, keep));
        std::vector<std::string> set = files();
        set[2] = cut;
        SCOPED_TRACE(cut);
        std::vector<std::string> sat = {"-b", "-de", "p," + dir.file("x.ps"), "-inp", "lrit"}, proc = {ZYR_BINARY_DIR "/zyrproc", "-inp", "lrit"};
        sat.insert(sat.end(), set.begin(), set.end());
        proc.insert(proc.end(), set.begin(), set.end());
        for (const Result &r : {testutil::zyrsat(sat, dir.path()), testutil::run(proc, dir.path())}) {
            EXPECT_EQ(r.status, 10) << r.out;
            EXPECT_NE(r.out.find(cut + ":"), std::string::npos) << r.out;
        }
    }
}

// Two HRV segments and a prologue whose planned coverage puts the lower
// window (grid lines 1..8000) at grid columns 1401..6968, named as EUMETSAT
// names them so that zyrproc gathers them as one set: the sub-satellite
// point at grid column and line 5566 (image 5570, 5570: the grid's columns
// run from the east, its lines from the south, the image is north-up), the
// value at column 0 of line 0 of segment 18 (grid column 1401, line 7889:
// image 9735, 3247) a radiance.
TEST(E2eHrv, ZyrprocReadsTheSetOnTheGrid)
{
    if (!fs::exists(ZYR_BINARY_DIR "/zyrproc")) GTEST_SKIP() << "no zyrproc built";
    testutil::ScratchDir dir;
    auto write = [&](const std::string &name, const build::Bytes &b) { return dir.write(name, std::string(b.begin(), b.end())); };
    std::vector<std::string> args = {ZYR_BINARY_DIR "/zyrproc", "-inp", "lrit", "--latlon", "0,0", "--value", "9735,3247"};
    args.push_back(write(build::msg2_name("HRV", "000018"), build::hrv_segment(18)));
    args.push_back(write(build::msg2_name("", "PRO"),
                         build::msg_aux(128, 386892 + 55, {1, 8000, 1401, 6968, 8001, 11136, 1901, 7468}, build::msg2_name("", "PRO"), 12, 0.0279, -1.4229)));
    args.push_back(write(build::msg2_name("HRV", "000020"), build::hrv_segment(20)));
    const Result r = testutil::run(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\n5570.0000 5570.0000\n"), std::string::npos) << r.out;
    char value[64];
    std::snprintf(value, sizeof value, "\n%.9g mW m-2 sr-1 (cm-1)-1\n", -1.4229 + 0.0279 * build::hrv_sample(18, 0, 0));
    EXPECT_NE(r.out.find(value), std::string::npos) << r.out;
}

}  // namespace
