// File devices end to end: several input files give a page each on
// PostScript and HPGL and a picture each in a CGM, every page the same as
// the file's plot alone (rendered by ghostscript and hp2xx, or decoded);
// plotters and metafiles draw the same lines whether or not the image is
// remapped for them, and take little memory at their full page size.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/gks/drivers/drv_util.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

using testutil::have;
using testutil::quote;
using testutil::Result;
using testutil::shell;
using testutil::zyrsat;

const std::string kData = ZYR_SHARED_DATA;
const std::string kGini = kData + "/gini/EAST-CONUS_8km_13.3_20050912_2240.gini";

const std::string kGiniEarly = kData + "/gini/EAST-CONUS_4km_12.0_20050912_0600.gini";

bool have_samples() { return fs::exists(testutil::kZyrsat) && fs::is_directory(kData); }

// Two GINI files of one day; plots of both together and of each alone.
class E2ePages : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_samples()) GTEST_SKIP() << "no zyrsat or samples";
        files[0] = dir.write("a.gini", testutil::read_file(kGiniEarly));
        files[1] = dir.write("b.gini", testutil::read_file(kGini));
    }
    // Plots the files onto "us" with the device letter and options, to
    // out in the scratch folder; returns the file's path.
    std::string plot(const std::string &device, const std::string &out, std::vector<std::string> inputs,
                     const std::string &options = "")
    {
        std::vector<std::string> args = {"-b", "-inp", "awip", "-pd", "us", "-de", device + "," + dir.file(out) + options};
        args.insert(args.end(), inputs.begin(), inputs.end());
        Result r = zyrsat(args, dir.path());
        EXPECT_EQ(r.status, 0) << r.out;
        return dir.file(out);
    }
    // The picture as binary PPM bytes (ImageMagick), empty when unreadable.
    std::string ppm(const std::string &picture)
    {
        if (!fs::exists(picture)) return "";
        Result c = shell("convert " + quote(picture) + " " + quote("ppm:" + picture + ".ppm"), "/");
        return c.status == 0 ? testutil::read_file(picture + ".ppm") : "";
    }
    testutil::ScratchDir dir;
    std::string files[2];
};

// Each file's page, rendered by ghostscript, is the page of that file alone.
TEST_F(E2ePages, PostScriptPagePerFile)
{
    if (!have("gs")) GTEST_SKIP() << "needs gs";
    auto render = [&](const std::string &ps, const std::string &stem) {
        Result g = shell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r20 -sOutputFile=" +
                             quote(dir.file(stem + "%d.ppm")) + " " + quote(ps),
                         "/");
        EXPECT_EQ(g.status, 0) << g.out;
    };
    render(plot("p", "both.ps", {files[0], files[1]}), "both");
    render(plot("p", "a.ps", {files[0]}), "a");
    render(plot("p", "b.ps", {files[1]}), "b");
    ASSERT_TRUE(fs::exists(dir.file("both2.ppm"))) << "one page for two files";
    EXPECT_FALSE(fs::exists(dir.file("both3.ppm")));
    std::string page1 = testutil::read_file(dir.file("both1.ppm")), page2 = testutil::read_file(dir.file("both2.ppm"));
    EXPECT_TRUE(page1 == testutil::read_file(dir.file("a1.ppm")));
    EXPECT_TRUE(page2 == testutil::read_file(dir.file("b1.ppm")));
    EXPECT_FALSE(page1 == page2) << "the measure cannot tell the files apart";
}

// hp2xx reads a page per file (a second page goes to "<name>.1.png"), each
// the same picture as the file's plot alone.
TEST_F(E2ePages, HpglPagePerFile)
{
    if (!have("hp2xx") || !have("convert")) GTEST_SKIP() << "needs hp2xx and ImageMagick";
    auto render = [&](const std::string &hpgl, const std::string &stem) {
        Result h = shell("hp2xx -q -m png -d 20 -f " + quote(dir.file(stem + ".png")) + " " + quote(hpgl), "/");
        EXPECT_EQ(h.status, 0) << h.out;
    };
    render(plot("h", "both.hpgl", {files[0], files[1]}), "both");
    render(plot("h", "a.hpgl", {files[0]}), "a");
    render(plot("h", "b.hpgl", {files[1]}), "b");
    ASSERT_TRUE(fs::exists(dir.file("both.1.png"))) << "one page for two files";
    EXPECT_FALSE(fs::exists(dir.file("both.2.png")));
    std::string page1 = ppm(dir.file("both.png")), page2 = ppm(dir.file("both.1.png"));
    EXPECT_FALSE(page1.empty());
    EXPECT_TRUE(page1 == ppm(dir.file("a.png")));
    EXPECT_TRUE(page2 == ppm(dir.file("b.png")));
    EXPECT_FALSE(page1 == page2) << "the measure cannot tell the files apart";
}

// A CGM holds a picture per file whose polylines are those of the file's
// plot alone; the text metafile marks the second page.
TEST_F(E2ePages, MetafilePicturePerFile)
{
    // The polyline parameters of each picture.
    auto pictures = [](const std::string &path) {
        std::string err;
        std::vector<std::vector<std::vector<uint8_t>>> pics;
        for (const drvtest::Element &e : drvtest::decode(testutil::read_file(path), &err)) {
            if (e.cls == 0 && e.id == 3) pics.emplace_back();
            if (e.cls == 4 && e.id == 1 && !pics.empty()) pics.back().push_back(e.params);
        }
        EXPECT_EQ(err, "") << path;
        return pics;
    };
    auto both = pictures(plot("m", "both.cgm", {files[0], files[1]}, ",cgm"));
    auto a = pictures(plot("m", "a.cgm", {files[0]}, ",cgm"));
    auto b = pictures(plot("m", "b.cgm", {files[1]}, ",cgm"));
    ASSERT_EQ(both.size(), 2u);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_GT(a[0].size(), 100u);
    EXPECT_TRUE(both[0] == a[0]);
    EXPECT_TRUE(both[1] == b[0]);
    EXPECT_FALSE(a[0] == b[0]) << "the measure cannot tell the files apart";

    std::string text = testutil::read_file(plot("m", "both.meta", {files[0], files[1]}, ",zyr"));
    EXPECT_EQ(drvtest::count(text, "\nPAGE "), 1u);
    EXPECT_NE(text.find("\nPAGE 2\n"), std::string::npos);
}

// Whether a plotter or metafile plot made without the image's pixels (the
// normal case) equals the one made when "out_file" asks for the remapped
// image, which remaps the pixels.
TEST_F(E2ePages, PlotterAndMetafileSkipThePictureWithSameLines)
{
    const std::string &in = files[1];
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
            plots[with_image] = drvtest::blank_lines(testutil::read_file(dir.file(d.name)), "#CreationDate:");
        }
        EXPECT_GT(plots[0].size(), 1000u) << d.name;
        EXPECT_TRUE(plots[0] == plots[1]) << d.name << " differs when the image is remapped";
    }
    EXPECT_TRUE(fs::exists(dir.file("remap.zyr")));

    // A whole plotter page (10150 x 7612 units) needs no picture of that
    // size: the run stays far below one byte per plotter unit (77 MB).
    if (!fs::exists("/usr/bin/time")) GTEST_SKIP() << "needs GNU time";
    Result r = shell("/usr/bin/time -f 'peak %M' " + quote(testutil::kZyrsat) +
                         " -b -inp awip -pd us -de h," + quote(dir.file("full.hpgl")) + " " + quote(in),
                     dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    size_t at = r.out.rfind("peak ");
    ASSERT_NE(at, std::string::npos) << r.out;
    long kb = std::atol(r.out.c_str() + at + 5);
    EXPECT_LT(kb, 40 * 1024) << "peak resident size in kB";
}

}  // namespace
