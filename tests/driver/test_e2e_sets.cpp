// Segment sets on the command line: zyrsat draws the segments of one image
// (with prologue and epilogue) as one frame on a lat/lon and a Lambert
// domain; zyrproc reads the same set; a cut segment ends either with a
// message naming it and status 10.
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

}  // namespace
