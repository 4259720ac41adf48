// End-to-end runs of the built zyrsat program: exit statuses and messages for
// bad input, batch plots of the sample files to PostScript (rendered with
// ghostscript) and to PNG dumps (checked with ImageMagick), loops, the native
// image file output and the demo data generator.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

using testutil::kZyrsat;
const std::string kData = ZYR_SHARED_DATA;
const std::string kGini = kData + "/gini/EAST-CONUS_8km_13.3_20050912_2240.gini";
const std::string kArea = kData + "/area/cmx3g8_wv_1998.260_0745_mcidas.ara";

using testutil::have;
using testutil::quote;
using testutil::Result;
using testutil::shell;
using testutil::zyrsat;

// How much of a rendered picture carries something: the share of pixels
// that are not the page's white and the number of distinct colours.
struct Ink {
    double share = 0;
    size_t colours = 0;
    bool ok = false;
};

Ink ink_of_ppm(const std::string &path)
{
    Ink ink;
    testutil::Raster r;
    if (!testutil::read_ppm(path, &r)) return ink;
    size_t inked = 0;
    std::set<unsigned> seen;
    for (int y = 0; y < r.h; y++)
        for (int x = 0; x < r.w; x++) {
            unsigned rgb = r.rgb(x, y);
            inked += rgb != 0xFFFFFF;
            seen.insert(rgb);
        }
    ink.share = (double)inked / ((double)r.w * r.h);
    ink.colours = seen.size();
    ink.ok = true;
    return ink;
}

// Renders the first page of a PostScript file with ghostscript.
Ink render_ps(const std::string &ps, const std::string &dir)
{
    std::string ppm = ps + ".%02d.ppm";
    Result r = shell("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r30 -sOutputFile=" +
                      quote(ppm) + " " + quote(ps),
                  dir);
    EXPECT_EQ(r.status, 0) << r.out;
    return ink_of_ppm(ps + ".01.ppm");
}

class E2e : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kZyrsat)) GTEST_SKIP() << "no zyrsat built at " << kZyrsat;
        if (!fs::is_directory(kData)) GTEST_SKIP() << "no sample data at " << kData;
    }
    testutil::ScratchDir dir;
};

TEST_F(E2e, HelpEndsWithZero)
{
    Result r = zyrsat({"-h"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("zyrsat: This program plots satellite data"), std::string::npos);
}

// One unreadable file ends the program with status 10 and the reader's
// message.
TEST_F(E2e, UnreadableSingleFileGivesTen)
{
    std::string gini = testutil::read_file(kGini), area = testutil::read_file(kArea);
    ASSERT_GT(gini.size(), 100000u);
    ASSERT_GT(area.size(), 100000u);
    struct Case {
        const char *name, *type;
        std::string bytes;
        const char *message;
    };
    std::string junk(3000, '\0');
    for (size_t i = 0; i < junk.size(); i++) junk[i] = (char)(i * 7919 % 251);
    const std::vector<Case> cases = {
        {"missing.area", "area", "", "Unable to open file"},
        {"cut_header.gini", "awip", gini.substr(0, 40), "SAT_read_AWIP"},
        {"cut_dir.area", "area", area.substr(0, 200), "SAT_read_AREA"},
        {"junk.gini", "awip", junk, "SAT_read_AWIP"},
        {"junk.area", "area", junk, "SAT_read_AREA"},
    };
    for (const auto &c : cases) {
        std::string path = dir.file(c.name);
        if (!c.bytes.empty()) dir.write(c.name, c.bytes);
        Result r = zyrsat({"-b", "-inp", c.type, "-de", "p," + dir.file("x.ps"), path},
                       dir.path());
        EXPECT_EQ(r.status, 10) << c.name << ": " << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.name << ": " << r.out;
    }
    // Files cut inside their data: tests/driver/test_truncated_run.cpp.
}

TEST_F(E2e, WindowWithoutDisplayGivesFour)
{
    // The device chosen on the command line, then answered at the prompt.
    Result r = zyrsat({"-inp", "awip", "-de", "d", kGini}, dir.path(), "-u DISPLAY");
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("GPH_begin: Error opening workstation"), std::string::npos) << r.out;
    r = shell("echo d | env -u DISPLAY " + quote(kZyrsat) + " -inp awip " + quote(kGini) +
                  " 2>&1; echo status=$?; :",
              dir.path());
    EXPECT_NE(r.out.find("status=4"), std::string::npos) << r.out;
}

TEST_F(E2e, BadPlotDomainIsReportedAndThePlotIsNative)
{
    if (!have("gs")) GTEST_SKIP() << "no ghostscript";
    std::string ps = dir.file("bad.ps");
    Result r = zyrsat({"-b", "-inp", "awip", "-de", "p," + ps, "-pd", "lamb,abc", "-me", "out1", kGini},
                   dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("DOM_decode: Invalid plot domain"), std::string::npos) << r.out;
    // The native plot is the image's own Lambert projection.
    EXPECT_NE(r.out.find("lamb:90.000:-95.000:25.000"), std::string::npos) << r.out;
    Ink ink = render_ps(ps, dir.path());
    ASSERT_TRUE(ink.ok);
    EXPECT_GT(ink.share, 0.3);
    EXPECT_GT(ink.colours, 8u);
}

// Every sample reader's file plotted in batch to PostScript: ghostscript
// renders a page that is mostly image, with many grey levels.
TEST_F(E2e, SamplesPlotToPostScript)
{
    if (!have("gs")) GTEST_SKIP() << "no ghostscript";
    struct Case {
        const char *name, *type, *domain, *file;
        double min_share;
    };
    const Case cases[] = {
        {"area_se", "area", "se", "area/cmx3g8_wv_1998.260_0745_mcidas.ara", 0.5},
        {"gini_us", "awip", "us", "gini/EAST-CONUS_8km_13.3_20050912_2240.gini", 0.5},
        {"coms", "lrit", "", "lrit/IMG_ENH_01_IR1_20120101_000920_02.lrit", 0.3},
        {"tiff", "tiff", "", "tiff/intergraph_geog.tif", 0.05},
    };
    for (const auto &c : cases) {
        std::string ps = dir.file(std::string(c.name) + ".ps");
        std::vector<std::string> args = {"-b", "-inp", c.type, "-de", "p," + ps};
        if (*c.domain) args.insert(args.end(), {"-pd", c.domain});
        args.push_back(kData + "/" + c.file);
        Result r = zyrsat(args, dir.path());
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.out;
        std::string text = testutil::read_file(ps);
        EXPECT_EQ(text.rfind("%!PS", 0), 0u) << c.name;
        EXPECT_NE(text.find("showpage"), std::string::npos) << c.name;
        Ink ink = render_ps(ps, dir.path());
        ASSERT_TRUE(ink.ok) << c.name;
        EXPECT_GT(ink.share, c.min_share) << c.name;
        EXPECT_GT(ink.colours, 8u) << c.name;
    }
}

// Image dumps need the X display (the window is drawn, then read back).
class E2eX : public E2e {
protected:
    void SetUp() override
    {
        E2e::SetUp();
        if (IsSkipped()) return;
        const char *d = std::getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no DISPLAY for image dumps";
        if (!have("identify")) GTEST_SKIP() << "no ImageMagick";
    }
};

TEST_F(E2eX, GiniDumpsToPng)
{
    // A copy of the input: a dump named wrongly cannot reach the sample.
    std::string local = dir.write("in.gini", testutil::read_file(kGini));
    std::string png = dir.file("dump_%i.png");
    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-out_file", "png=" + png, local},
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    // A "png" word in out_file is a picture dump, never a native image file.
    EXPECT_EQ(r.out.find("Writing image file"), std::string::npos) << r.out;
    std::string out = dir.file("dump_win.png");
    ASSERT_TRUE(fs::exists(out)) << r.out;
    Result id = shell("identify -format '%m %w %h %k' " + quote(out), dir.path());
    ASSERT_EQ(id.status, 0) << id.out;
    std::string fmt;
    int w = 0, h = 0, colours = 0;
    std::istringstream(id.out) >> fmt >> w >> h >> colours;
    EXPECT_EQ(fmt, "PNG");
    EXPECT_GE(w, 300);
    EXPECT_GE(h, 200);
    EXPECT_GT(colours, 8);
}

// Three files with the middle one unreadable: the walk skips it without
// counting it, so the two frames are dumped as 00 and 01.
TEST_F(E2eX, LoopSkipsAnUnreadableFile)
{
    std::string a = dir.write("a.gini", testutil::read_file(kGini));
    dir.write("b.gini", std::string(4000, 'x'));
    std::string c = dir.write("c.gini", testutil::read_file(kGini));
    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-out_file", "png=" + dir.file("loop_%i.png"),
                       a, "b.gini", c},
                      dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("SAT_read_AWIP"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir.file("loop_00.png"))) << r.out;
    EXPECT_TRUE(fs::exists(dir.file("loop_01.png"))) << r.out;
    EXPECT_FALSE(fs::exists(dir.file("loop_02.png"))) << r.out;
    Result id = shell("identify -format '%w %h\\n' loop_00.png loop_01.png", dir.path());
    EXPECT_EQ(id.status, 0) << id.out;
    EXPECT_EQ(id.out, "640 512\n640 512\n");
}

// "out_file" writes the remapped image as a native image file named by its
// template from the image's date; zyrsat reads it back and plots it.
// A label with a date code shows the date of the file drawn with it: two
// GINI files of one day at 06:00 and 22:40 (their names and headers agree)
// on one PostScript page, whose texts are kept in the page's comments.
TEST_F(E2e, LabelDateCodesShowEachFilesDate)
{
    const std::string early = kData + "/gini/EAST-CONUS_4km_12.0_20050912_0600.gini";
    std::string ps = dir.file("two.ps");
    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-de", "p," + ps, "-la", "lc:IR %D", early, kGini},
                      dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream page(testutil::read_file(ps));
    std::vector<std::string> labels;
    for (std::string line; std::getline(page, line);)
        if (line.rfind("%%TE:", 0) == 0 && line.find(" IR ") != std::string::npos)
            labels.push_back(line.substr(line.find(" IR ") + 1));
    ASSERT_EQ(labels.size(), 2u) << r.out;
    EXPECT_EQ(labels[0], "IR 0600Z 12 SEP 05");
    EXPECT_EQ(labels[1], "IR 2240Z 12 SEP 05");
}

TEST_F(E2e, OutFileWritesANativeImage)
{
    std::string local = dir.write("in.gini", testutil::read_file(kGini));
    std::string tmpl = dir.file("out_%Y%m%d_%h%15n.zyr");
    Result r = zyrsat({"-b", "-inp", "awip", "-de", "p," + dir.file("a.ps"), "-pd", "us",
                    "-out_file", "img=" + tmpl, local},
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::string want = dir.file("out_20050912_2230.zyr");
    EXPECT_NE(r.out.find("Writing image file: " + want), std::string::npos) << r.out;
    ASSERT_TRUE(fs::exists(want)) << r.out;
    EXPECT_GT(fs::file_size(want), 100000u);
    r = zyrsat({"-b", "-inp", "img", "-de", "p," + dir.file("b.ps"), "-me", "out1", want}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Reading image file: " + want), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("SAT_read"), std::string::npos) << r.out;
}

// An installed copy runs from elsewhere with a clean environment, and its
// manual page is clean for mandoc and groff and lists every option of -h.
// The map files a PostScript page drew, from its "Map: FILE" messages.
std::string maps_drawn(const std::string &ps)
{
    std::istringstream in(testutil::read_file(ps));
    std::string line, maps;
    const std::string tag = "%%Message: Map: ";
    while (std::getline(in, line))
        if (line.compare(0, tag.size(), tag) == 0) maps += (maps.empty() ? "" : ",") + line.substr(tag.size());
    return maps;
}

// A new user's map list is the bundled ladder, set by the bundled defaults
// file; a search list of one's own (here an empty file) gives the fixed
// rule back, and a map_file of one's own replaces the ladder.
TEST_F(E2e, MapLadderComesFromTheBundledDefaults)
{
    const std::vector<std::string> plot = {"-b", "-inp", "awip", "-de", "p,out.ps", "-pd", "us", kGini};
    Result r = zyrsat(plot, dir.path(), "-u zyrdefault");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(maps_drawn(dir.file("out.ps")), "maps/land-50m.map,maps/border-50m.map,maps/states.map");
    std::vector<std::string> own = plot;
    own.insert(own.begin(), {"-df", dir.write("empty.cfg", "")});
    r = zyrsat(own, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(maps_drawn(dir.file("out.ps")), "zyr.map");
    dir.write("zyr.cfg", "*map_file cont.map\n");  // "." is on the default search list
    r = zyrsat(plot, dir.path(), "-u zyrdefault");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(maps_drawn(dir.file("out.ps")), "cont.map");
}

TEST_F(E2e, InstalledProgramAndManualPage)
{
    if (!have("cmake") || !have("gs")) GTEST_SKIP() << "no cmake or ghostscript";
    std::string prefix = dir.file("prefix");
    Result in = shell("cmake --install " + quote(ZYR_BINARY_DIR) + " --prefix " + quote(prefix), dir.path());
    ASSERT_EQ(in.status, 0) << in.out;
    std::string man = prefix + "/share/man/man1/zyrsat.1";
    ASSERT_TRUE(fs::exists(man)) << in.out;
    fs::create_directory(dir.file("elsewhere"));
    // Traced when strace is there: every data file comes from the installed
    // share/zyrsat, none from the build's data folder.
    const bool traced = have("strace");
    // (A sanitizer build's leak check cannot run under a tracer.)
    std::string run = std::string("env -i PATH=/usr/bin:/bin ") + (traced ? "ASAN_OPTIONS=detect_leaks=0 " : "") +
                      quote(prefix + "/bin/zyrsat") + " -b -inp awip -de p,out.ps -pd us " + quote(kGini);
    if (traced) run = "strace -f -qq -e trace=open,openat,stat,newfstatat,access -o trace.txt " + run;
    Result r = shell(run, dir.file("elsewhere"));
    ASSERT_EQ(r.status, 0) << r.out;
    if (traced) {
        std::string trace = testutil::read_file(dir.file("elsewhere/trace.txt"));
        EXPECT_EQ(trace.find(ZYR_DATA_DIR), std::string::npos) << "the build's data folder was used";
        for (const char *data : {"name_conv", "zyr.clr", "zyr.reg", "fonts/", "maps/land"})
            EXPECT_NE(trace.find("share/zyrsat/" + std::string(data)), std::string::npos) << data;
    }
    Ink ink = render_ps(dir.file("elsewhere/out.ps"), dir.path());
    ASSERT_TRUE(ink.ok);
    EXPECT_GT(ink.share, 0.5);
    EXPECT_GT(ink.colours, 8u);

    if (have("mandoc")) {
        Result lint = shell("mandoc -T lint -W warning " + quote(man), dir.path());
        EXPECT_EQ(lint.status, 0) << lint.out;
    }
    if (have("groff")) {
        Result g = shell("groff -man -ww -z " + quote(man), dir.path());
        EXPECT_EQ(g.status, 0) << g.out;
        EXPECT_EQ(g.out, "");
    }
    std::string page = testutil::read_file(man);
    std::istringstream help(zyrsat({"-h"}, dir.path()).out);
    std::string line;
    int options = 0;
    while (std::getline(help, line)) {
        if (line.size() < 3 || line[0] != ' ' || line[1] != '-') continue;
        std::string opt = line.substr(2, line.find(' ', 2) - 2);
        options++;
        bool found = page.find(".It Fl " + opt + " ") != std::string::npos ||
                     page.find(".It Fl " + opt + "\n") != std::string::npos;
        EXPECT_TRUE(found) << "-" << opt;
    }
    EXPECT_GT(options, 40);
}

// The demo's job on three generated frames: the generator writes files
// named by the "sat_ir" convention, zyrsat plots them as a loop with the
// temperature bar, and the counts read back as the temperatures the
// generator meant: cloud tops 200-260 K, surfaces near 270-320 K, both
// cooled by up to some tens of kelvin towards the limb.
TEST(E2eDemo, GeneratedLoopPlots)
{
    const std::string gen = ZYR_BINARY_DIR "/make_demo_loop";
    if (!fs::exists(kZyrsat) || !fs::exists(gen)) GTEST_SKIP() << "programs not built";
    if (!have("gs")) GTEST_SKIP() << "no ghostscript";
    testutil::ScratchDir dir;
    Result g = shell(quote(gen) + " sat --frames 3 --start 202506121810", dir.path());
    ASSERT_EQ(g.status, 0) << g.out;
    const char *names[] = {"20250612_1800.area", "20250612_1815.area", "20250612_1830.area"};
    std::vector<std::string> args = {"-b", "-de", "p," + dir.file("loop.ps"), "-pd", "us", "-pp", "irbar"};
    for (const char *n : names) {
        std::string path = dir.file(std::string("sat/ir/") + n);
        ASSERT_TRUE(fs::exists(path)) << g.out;
        args.push_back(path);
    }
    // Counts through the infrared formula: 0..175 is (114 - v) / 2 Celsius,
    // above that 145 - v.
    std::string a = testutil::read_file(dir.file("sat/ir/20250612_1800.area"));
    ASSERT_GT(a.size(), 2816u + 100000u);
    size_t cold = 0, warm = 0, odd = 0, space = 0, n = a.size() - 2816;
    for (size_t k = 2816; k < a.size(); k++) {
        int v = (unsigned char)a[k];
        if (v == 0) {  // beyond the earth's edge
            space++;
            continue;
        }
        double tk = (v > 175 ? 145.0 - v : (114 - v) * 0.5) + 273.15;
        if (tk < 261) cold++;
        else if (tk > 265) warm++;
        if (tk < 150 || tk > 330) odd++;
    }
    EXPECT_LT(space, n / 5);
    EXPECT_GT(cold, n / 20) << "too little high cloud";
    EXPECT_GT(warm, n / 5) << "too little clear sky";
    EXPECT_LT(odd, n / 100) << "temperatures outside what the scene holds";
    // Successive frames differ (the clouds move) but not wholesale.
    std::string b = testutil::read_file(dir.file("sat/ir/20250612_1815.area"));
    ASSERT_EQ(a.size(), b.size());
    size_t changed = 0;
    for (size_t k = 2816; k < a.size(); k++) changed += a[k] != b[k];
    EXPECT_GT(changed, n / 50);
    EXPECT_LT(changed, n / 2);

    Result r = zyrsat(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    Ink ink = render_ps(dir.file("loop.ps"), dir.path());
    ASSERT_TRUE(ink.ok);
    EXPECT_GT(ink.share, 0.5);
    EXPECT_GT(ink.colours, 16u);
}

}  // namespace
