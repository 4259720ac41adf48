// End-to-end checks of the headless window ("-de d,mem"): the same batch
// plot of a real AREA and GINI file (image, maps, grid, colour bar, labels)
// dumped headless and from a 24-bit Xvfb window gives the same PNG pixels,
// compared by python3 with PIL (a mismatch leaves a diff image); and with no
// DISPLAY at all, batch runs write GIF, PNG, XWD and ZYRIMG dumps that
// ImageMagick's identify reads.
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/img.h"
#include "tests/gks/gks_test_util.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

using testutil::have;
using testutil::kZyrsat;
using testutil::quote;
using testutil::Result;
using testutil::shell;
using testutil::zyrsat;

const std::string kData = ZYR_SHARED_DATA;
const std::string kPython = "/usr/bin/python3";

// Prints the number of differing pixels of two pictures (or "size a b");
// with differences, writes argv[3]: differing pixels white on black.
const char *kCompare = R"PY(
import sys
from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert("RGB")
b = Image.open(sys.argv[2]).convert("RGB")
if a.size != b.size:
    print("size", a.size, b.size)
    sys.exit(0)
d = ImageChops.difference(a, b).convert("L").point(lambda v: 255 if v else 0)
n = sum(1 for v in d.getdata() if v)
if n:
    d.save(sys.argv[3])
print(n)
)PY";

class E2eHeadless : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kZyrsat)) GTEST_SKIP() << "no zyrsat built at " << kZyrsat;
        if (!fs::is_directory(kData)) GTEST_SKIP() << "no sample data at " << kData;
    }
    // Inputs are copied first: a run never writes next to a shared sample.
    std::string copy_in(const std::string &src, const std::string &name)
    {
        return dir.write(name, testutil::read_file(kData + "/" + src));
    }
    testutil::ScratchDir dir;
};

TEST_F(E2eHeadless, SameBatchPlotAsTheXWindow)
{
    if (!fs::exists(kPython) || shell(kPython + " -c 'import PIL'", "/").status != 0)
        GTEST_SKIP() << "no python3 with PIL";
    gkstest::XServer server(24, "1280x1024");
    if (!server.ok()) GTEST_SKIP() << "no Xvfb";
    std::string script = dir.write("compare.py", kCompare);
    struct Case {
        const char *name, *type, *domain, *file;
    };
    const Case cases[] = {
        {"area", "area", "se", "area/cmx3g8_wv_1998.260_0745_mcidas.ara"},
        {"gini", "awip", "us", "gini/EAST-CONUS_8km_13.3_20050912_2240.gini"},
    };
    for (const Case &c : cases) {
        std::string in = copy_in(c.file, std::string(c.name) + ".in");
        std::string pics[2];
        const std::string displays[2] = {"mem", server.name()};
        for (int k = 0; k < 2; k++) {
            pics[k] = dir.file(std::string(c.name) + (k ? "_x.png" : "_mem.png"));
            std::vector<std::string> args = {"-b", "-inp", c.type, "-pd", c.domain, "-pp", "irbar,lalo=10",
                                             "-la", "Same picture", "-de", "d," + displays[k],
                                             "-out_file", "png=" + pics[k]};
            args.push_back(in);
            Result r = zyrsat(args, dir.path(), "-u DISPLAY");
            ASSERT_EQ(r.status, 0) << c.name << " on " << displays[k] << ": " << r.out;
        }
        std::string diff = testing::TempDir() + "zyr_headless_diff_" + c.name + ".png";
        Result cmp = shell(kPython + " " + quote(script) + " " + quote(pics[0]) + " " + quote(pics[1]) + " " +
                               quote(diff),
                           dir.path());
        ASSERT_EQ(cmp.status, 0) << cmp.out;
        EXPECT_EQ(cmp.out, "0\n") << c.name << ": pixels differ, diff image " << diff;
    }
}

// No X server anywhere: the headless window's dumps are written and read by
// ImageMagick; asking for the X window instead still ends with status 4.
TEST_F(E2eHeadless, WithoutDisplayDumpsEveryFormat)
{
    if (!have("identify")) GTEST_SKIP() << "no ImageMagick";
    std::string in = copy_in("gini/EAST-CONUS_8km_13.3_20050912_2240.gini", "in.gini");
    const std::vector<std::string> base = {"-b", "-inp", "awip", "-pd", "us", "-ge", "500x400"};
    for (std::string fmt : {"gif", "png", "xwd"}) {
        std::string out = dir.file("dump." + fmt);
        std::vector<std::string> args = base;
        args.insert(args.end(), {"-de", "d,mem", "-pp", fmt + "=" + out, in});
        Result r = zyrsat(args, dir.path(), "-u DISPLAY");
        ASSERT_EQ(r.status, 0) << fmt << ": " << r.out;
        Result id = shell("identify -format '%m %w %h' " + quote(out), dir.path());
        ASSERT_EQ(id.status, 0) << fmt << ": " << id.out;
        std::string want = fmt == "gif" ? "GIF" : fmt == "png" ? "PNG" : "XWD";
        EXPECT_EQ(id.out, want + " 500 400") << fmt;
    }
    // The program's own image file of the picture.
    std::string zyr = dir.file("dump.zyr");
    std::vector<std::string> args = base;
    args.insert(args.end(), {"-de", "d,mem", "-pp", "img=" + zyr, in});
    Result r = zyrsat(args, dir.path(), "-u DISPLAY");
    ASSERT_EQ(r.status, 0) << r.out;
    IMG img;
    IMG_init(&img);
    ASSERT_EQ(IMG_read_zyr(zyr.c_str(), &img, 0), 1) << r.out;
    EXPECT_EQ(img.nx, 500);
    EXPECT_EQ(img.ny, 400);
    IMG_free(&img);

    args = base;
    args.insert(args.end(), {"-out_file", "png=" + dir.file("x.png"), in});
    EXPECT_EQ(zyrsat(args, dir.path(), "-u DISPLAY").status, 4);
}

}  // namespace
