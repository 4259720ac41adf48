// A single input file that ends early ends zyrsat with status 10 and the
// reader's message naming the file, for every input type the readers share
// (TIFF has tests of its own); the reader-level cuts are in
// tests/image/test_truncated.cpp.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

const std::string kData = ZYR_SHARED_DATA;

std::string cut_sample(const std::string &rel)
{
    std::string b = testutil::read_file(kData + "/" + rel);
    return b.substr(0, b.size() / 2);
}

TEST(TruncatedRun, OneCutFileEndsWithTen)
{
    if (!std::filesystem::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
    if (!std::filesystem::is_directory(kData)) GTEST_SKIP() << "no sample data";
    testutil::ScratchDir dir;
    // Built files: a Unisys image and a ZYRIMG of 100 x 100 pixels holding
    // half their pixels.
    std::string unisys = "idcut x100 y100 lat0 lon0 end ";
    unisys.resize(5000, '\x40');
    std::string zyr = "ZYRIMG\n12-SEP-2005 06:00\ncut\n100 100\n" + std::string(5000, '\x40');
    struct Case {
        const char *type, *name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"awip", "cut.gini", cut_sample("gini/EAST-CONUS_4km_12.0_20050912_0600.gini")},
        {"area", "cut.area", cut_sample("area/cmx3g8_wv_1998.260_0745_mcidas.ara")},
        {"lrit", "cut.lrit", cut_sample("lrit/IMG_ENH_01_IR1_20120101_000920_01.lrit")},
        {"unisat", "cut.unisys", unisys},
        {"img", "cut.zyr", zyr},
    };
    for (const Case &c : cases) {
        std::string path = dir.write(c.name, c.bytes);
        testutil::Result r = testutil::zyrsat({"-b", "-inp", c.type, "-de", "p," + dir.file("x.ps"), path},
                                    dir.path());
        EXPECT_EQ(r.status, 10) << c.type << ": " << r.out;
        EXPECT_NE(r.out.find(path + ": "), std::string::npos) << c.type << ": " << r.out;
    }
}

}  // namespace
