// The colouring step of the zyrproc tool, run as a process on real GINI infrared images (AWIPS reader).
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"

namespace {

constexpr const char *kHawaii = "gini/HI-NATIONAL_14km_IR_20050918_2000.gini";
constexpr const char *kAlaska = "gini/AK-NATIONAL_8km_IR_20050912_2345.gini";

int zyrproc(const std::string &args)
{
    return testutil::shell(ZYR_BINARY_DIR "/zyrproc -inp awip " + args + " >/dev/null 2>&1").status;
}

} // namespace

// Each enhancement kind (temperature bins, dither, a colour ramp, the default 16-entry grey ramp) on a polar
// stereographic and a Mercator file, against an independent Python/numpy colouring (tools/check_enhance.py) of the
// raw pixels of the same run.
TEST(Zyrproc, ColouredPpmMatchesPythonOracle)
{
    NEED_SHARED(kAlaska);
    NEED_SHARED(kHawaii);
    NEED_NUMPY();
    testutil::ScratchDir dir;
    const std::string raw = dir.file("raw.pgm"), got = dir.file("got.ppm"), want = dir.file("want.ppm");
    for (const char *file : {kAlaska, kHawaii})
        for (std::string enh : {"ir_clouds", "ir_dither", "wv_brbg", ""}) {
            SCOPED_TRACE(std::string(file) + " " + enh);
            std::string cof = enh.empty() ? "" : "-ct zyr.clr -cof " + enh;
            ASSERT_EQ(zyrproc(cof + " --pgm " + raw + " -of " + got + " " + testutil::shared(file)), 0);
            std::string table = enh.empty() ? dir.write("ramp", "ramp 0-15\n") : ZYR_DATA_DIR "/enhance/" + enh;
            ASSERT_EQ(testutil::run({testutil::python(), ZYR_SOURCE_DIR "/tools/check_enhance.py",
                                     ZYR_DATA_DIR "/zyr.clr", table, want, raw}).status, 0);
            EXPECT_TRUE(testutil::read_file(got) == testutil::read_file(want)) << "coloured pixels differ";
        }
}

// A PGM output stays the uncoloured values even with an enhancement; a PPM that cannot be written, an unreadable
// colour table (nothing to colour with) and a missing input are reported with their statuses.
TEST(Zyrproc, OutputKindsAndFailures)
{
    NEED_SHARED(kHawaii);
    testutil::ScratchDir dir;
    const std::string in = testutil::shared(kHawaii), raw = dir.file("raw.pgm"), out = dir.file("out.pgm");
    ASSERT_EQ(zyrproc("-cof ir_clouds --pgm " + raw + " -of " + out + " " + in), 0);
    EXPECT_EQ(testutil::read_file(raw), testutil::read_file(out));
    EXPECT_EQ(zyrproc("-cof ir_clouds -of " + dir.file("no/such/dir.ppm") + " " + in), 2);
    EXPECT_EQ(zyrproc("-ct " + dir.file("none.clr") + " -of " + dir.file("x.ppm") + " " + in), 2);
    EXPECT_EQ(zyrproc("-of " + dir.file("x.ppm") + " " + dir.file("missing.gini")), 10);
}
