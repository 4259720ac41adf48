// The colouring step of the zyrproc tool, run as a process on real GINI
// infrared images: its PPM against an independent Python/numpy colouring
// (tools/check_enhance.py) of the same pixel values.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kTool = ZYR_BINARY_DIR "/zyrproc";
const std::string kGini = std::string(ZYR_SHARED_DATA) + "/gini";

// Exit status of a shell command run quietly, -1 when it died on a signal.
int run(const std::string &cmd)
{
    int st = std::system((cmd + " >/dev/null 2>&1 </dev/null").c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

class Zyrproc : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kTool)) GTEST_SKIP() << "no zyrproc built at " << kTool;
        if (!fs::is_directory(kGini)) GTEST_SKIP() << "no shared GINI samples";
    }
    std::string tool(const std::string &args) const { return kTool + " -inp awip " + args; }
    testutil::ScratchDir dir;
};

}  // namespace

// Each enhancement kind (temperature bins, dither, the default grey ramp) on
// a polar stereographic and a Mercator file; the raw pixels come from the
// same run, so the oracle colours exactly what the tool coloured.
TEST_F(Zyrproc, ColouredPpmMatchesPythonOracle)
{
    if (run("/usr/bin/python3 -c 'import numpy, PIL'") != 0) GTEST_SKIP() << "python3 with numpy and PIL missing";
    const char *files[] = {"AK-NATIONAL_8km_IR_20050912_2345.gini", "HI-NATIONAL_14km_IR_20050918_2000.gini"};
    const char *enhancements[] = {"ir_clouds", "ir_dither", "wv_brbg", ""};
    for (const char *file : files) {
        const std::string in = kGini + "/" + file;
        if (!fs::exists(in)) continue;
        for (const char *enh : enhancements) {
            SCOPED_TRACE(std::string(file) + " " + (*enh ? enh : "default"));
            std::string raw = dir.file("raw.pgm"), got = dir.file("got.ppm"), want = dir.file("want.ppm");
            std::string cof = *enh ? std::string("-ct zyr.clr -cof ") + enh : "";
            ASSERT_EQ(run(tool(cof + " --pgm " + raw + " -of " + got + " " + in)), 0);
            // Without -ct and -cof the enhancement is the 16-entry grey ramp.
            std::string enh_file = *enh ? std::string(ZYR_DATA_DIR "/enhance/") + enh : dir.write("ramp", "ramp 0-15\n");
            ASSERT_EQ(run("/usr/bin/python3 " ZYR_SOURCE_DIR "/tools/check_enhance.py " ZYR_DATA_DIR "/zyr.clr " +
                          enh_file + " " + want + " " + raw),
                      0);
            std::string g = testutil::read_file(got), w = testutil::read_file(want);
            ASSERT_EQ(g.size(), w.size());
            EXPECT_TRUE(g == w) << "coloured pixels differ";
        }
    }
}

// A PGM output stays the uncoloured values even with an enhancement; a PPM
// that cannot be written and an unreadable colour table are reported.
TEST_F(Zyrproc, OutputKindsAndFailures)
{
    const std::string in = kGini + "/HI-NATIONAL_14km_IR_20050918_2000.gini";
    if (!fs::exists(in)) GTEST_SKIP() << "sample missing";
    std::string raw = dir.file("raw.pgm"), out = dir.file("out.pgm");
    ASSERT_EQ(run(tool("-cof ir_clouds --pgm " + raw + " -of " + out + " " + in)), 0);
    EXPECT_EQ(testutil::read_file(raw), testutil::read_file(out));

    EXPECT_EQ(run(tool("-cof ir_clouds -of " + dir.file("no/such/dir.ppm") + " " + in)), 2);
    // A missing colour table leaves the table empty: nothing to colour with.
    EXPECT_EQ(run(tool("-ct " + dir.file("none.clr") + " -of " + dir.file("x.ppm") + " " + in)), 2);
    EXPECT_EQ(run(tool("-of " + dir.file("x.ppm") + " " + dir.file("missing.gini"))), 10);
}
