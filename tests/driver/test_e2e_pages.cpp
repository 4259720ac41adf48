// File devices end to end: plotters and metafiles draw the same lines
// whether or not the image is remapped for them, and take little memory at
// their full page size.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/driver/e2e_run.h"
#include "tests/test_helpers.h"

namespace {

namespace fs = std::filesystem;

using e2e::have;
using e2e::quote;
using e2e::Result;
using e2e::shell;
using e2e::zyrsat;

const std::string kData = ZYR_SHARED_DATA;
const std::string kGini = kData + "/gini/EAST-CONUS_8km_13.3_20050912_2240.gini";

bool have_samples() { return fs::exists(e2e::kZyrsat) && fs::is_directory(kData); }

// A file's text without its lines that begin with one of the prefixes (the
// creation time of a metafile header).
std::string without_lines(const std::string &text, const std::string &prefix)
{
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(at, prefix.size(), prefix) != 0) out.append(text, at, end - at);
        at = end;
    }
    return out;
}

// Whether a plotter or metafile plot made without the image's pixels (the
// normal case) equals the one made when "out_file" asks for the remapped
// image, which remaps the pixels.
TEST(E2ePages, PlotterAndMetafileSkipThePictureWithSameLines)
{
    if (!have_samples()) GTEST_SKIP() << "no zyrsat or samples";
    testutil::ScratchDir dir;
    std::string in = dir.write("in.gini", testutil::read_file(kGini));
    struct Device {
        const char *name, *options;
    } devices[] = {{"page.hpgl", "h,%s"}, {"page.cgm", "m,%s,cgm"}, {"page.meta", "m,%s,zyr"}};
    for (const Device &d : devices) {
        std::string plots[2];
        for (int with_image = 0; with_image < 2; with_image++) {
            char conn[512];
            std::snprintf(conn, sizeof conn, d.options, dir.file(d.name).c_str());
            std::vector<std::string> args = {"-b", "-inp", "awip", "-pd", "us", "-pp", "irbar,lalo=10",
                                             "-la", "Pages", "-ge", "400x300", "-de", conn};
            if (with_image) args.insert(args.end(), {"-of", "img=" + dir.file("remap.zyr")});
            args.push_back(in);
            Result r = zyrsat(args, dir.path());
            ASSERT_EQ(r.status, 0) << r.out;
            plots[with_image] = without_lines(testutil::read_file(dir.file(d.name)), "#CreationDate:");
        }
        EXPECT_GT(plots[0].size(), 1000u) << d.name;
        EXPECT_TRUE(plots[0] == plots[1]) << d.name << " differs when the image is remapped";
    }
    EXPECT_TRUE(fs::exists(dir.file("remap.zyr")));

    // A whole plotter page (10150 x 7612 units) needs no picture of that
    // size: the run stays far below one byte per plotter unit (77 MB).
    if (!fs::exists("/usr/bin/time")) GTEST_SKIP() << "needs GNU time";
    Result r = shell("/usr/bin/time -f 'peak %M' " + quote(e2e::kZyrsat) +
                         " -b -inp awip -pd us -de h," + quote(dir.file("full.hpgl")) + " " + quote(in),
                     dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    size_t at = r.out.rfind("peak ");
    ASSERT_NE(at, std::string::npos) << r.out;
    long kb = std::atol(r.out.c_str() + at + 5);
    EXPECT_LT(kb, 40 * 1024) << "peak resident size in kB";
}

}  // namespace
