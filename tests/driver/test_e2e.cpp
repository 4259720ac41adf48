// What only a whole run of the built zyrsat shows: exit statuses and
// messages, the walk through files by date, the installed program.
#include <chrono>
#include <regex>
#include <sstream>
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testutil::quote;
using testutil::Result;
using testutil::shared;

const std::string kGini = "gini/EAST-CONUS_8km_13.3_20050912_2240.gini";
const std::string kArea = "area/cmx3g8_wv_1998.260_0745_mcidas.ara";

class E2e : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
        NEED_SHARED(kGini);
        NEED_SHARED(kArea);
    }
    // A copy (or its first half) in the scratch folder: a run never writes
    // next to a sample.
    std::string copy(const std::string &rel, const std::string &name, bool half = false)
    {
        const std::string b = testutil::read_file(shared(rel));
        return dir.write(name, b.substr(0, half ? b.size() / 2 : b.size()));
    }
    testutil::ScratchDir dir;
};

// The help text, byte for byte, with status 0.
TEST(E2eHelp, PrintsTheKeptText)
{
    const Result r = testutil::zyrsat({"-h"}, "/");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, testutil::read_file(ZYR_SOURCE_DIR "/tests/driver/zyrsat_help.txt"));
}

// The libraries the program loads only when a file needs them are not among
// those the dynamic loader maps at every start.
TEST(E2eStart, LibrariesLoadedOnDemandAreNotLinked)
{
    if (!fs::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
    NEED_TOOL("readelf");
    const Result r = testutil::run({"readelf", "-d", testutil::kZyrsat});
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_NE(r.out.find("(NEEDED)"), std::string::npos) << r.out;
    const struct { const char *what, *soname; } lazy[] = {
        {"netCDF", ZYR_NETCDF_SONAME},
        {"TIFF", ZYR_TIFF_SONAME},
    };
    for (const auto &l : lazy)
        EXPECT_EQ(r.out.find("[" + std::string(l.soname) + "]"), std::string::npos) << l.what << "\n" << r.out;
}

// Every row runs with no DISPLAY.  A single file that cannot be read ends
// the run with status 10 and the reader's message naming the file; the cut
// files keep their header and lose data (the built Unisys and ZYRIMG files
// of 100 x 100 pixels hold half their pixels).
TEST_F(E2e, StatusesAndMessages)
{
    const char *early = "gini/EAST-CONUS_4km_12.0_20050912_0600.gini";
    const char *lrit = "lrit/IMG_ENH_01_IR1_20120101_000920_01.lrit";
    NEED_SHARED(early);
    NEED_SHARED(lrit);
    const std::string gini = copy(kGini, "in.gini");
    std::string junk(3000, '\0'), unisys = "idcut x100 y100 lat0 lon0 end ";
    for (size_t i = 0; i < junk.size(); i++) junk[i] = (char)(i * 7919 % 251);
    unisys.resize(5000, '\x40');
    const std::string zyr = "ZYRIMG\n12-SEP-2005 06:00\ncut\n100 100\n" + std::string(5000, 'x');
    const std::string cut[] = {copy(early, "cut.gini", 1), copy(kArea, "cut.area", 1), copy(lrit, "cut.lrit", 1),
                               dir.write("cut.unisys", unisys), dir.write("cut.zyr", zyr)};
    const std::string junk_area = dir.write("junk.area", junk), bad = dir.write("bad.area", std::string(4000, '\0'));
    dir.write("plain", "");  // a folder that is a plain file: unwritable even for root
    auto ps = [&](const char *type, const std::string &file) {
        return std::vector<std::string>{"-b", "-de", "p," + dir.file("x.ps"), "-inp", type, file};
    };
    const std::vector<std::string> prompt = {"-de", "p," + dir.file("x.ps"), "-inp", "awip"};
    struct Case {
        const char *name;
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string message;  // must be in the output; after "!" must not
    };
    const Case cases[] = {
        {"missing file", ps("area", dir.file("none.area")), "", 10, "Unable to open file"},
        {"junk AREA", ps("area", junk_area), "", 10, "SAT_read_AREA"},
        {"GINI cut in half", ps("awip", cut[0]), "", 10, cut[0] + ": "},
        {"AREA cut in half", ps("area", cut[1]), "", 10, cut[1] + ": "},
        {"LRIT cut in half", ps("lrit", cut[2]), "", 10, cut[2] + ": "},
        {"Unisys cut in half", ps("unisat", cut[3]), "", 10, cut[3] + ": "},
        {"ZYRIMG cut in half", ps("img", cut[4]), "", 10, cut[4] + ": "},
        {"bad plot domain", {"-b", "-de", "p,x.ps", "-inp", "awip", "-pd", "lamb,abc", "-me", "out1", gini}, "", 0,
         "DOM_decode: Invalid plot domain"},
        {"window without display", {"-de", "d", "-inp", "awip", gini}, "", 4, "GPH_begin: Error opening workstation"},
        {"unknown device letter", {"-b", "-de", "z", "-inp", "awip", gini}, "", 4,
         "GPH_begin: Error opening workstation"},
        {"unwritable PostScript", {"-b", "-de", "p," + dir.file("plain/x.ps"), "-inp", "awip", gini}, "", 4,
         "unable to open postscript file"},
        {"window answered at the prompt", {"-inp", "awip", gini}, "d\n", 4, "Display (D) or Postscript (P): "},
        {"four names not found", prompt, "a\nb\nc\nd\n", 10, "File not found: ./d"},
        // Were "exit" not taken, what follows it would end with 10 or 4.
        {"exit at the name prompt", prompt, "exit\na\nb\nc\nd\n", 0, "!File not found"},
        {"exit at the device prompt", {"-inp", "awip", gini}, "exit\nd\n", 0, "!GPH_begin"},
        {"set at a prompt", prompt, "set\nexit\n", 0, "Set resources"},
        {"end of input at the name prompt", prompt, "", 0, "Enter the satellite filename: "},
        {"end of input at the device prompt", {"-inp", "awip", gini}, "", 0, "Display (D) or Postscript (P): "},
        {"no frames for a loop", {"-b", "-de", "d,mem", "-me", "out1", "-pp", "anim=none.gif,apng=none.png", bad, bad},
         "", 0, "No frames to write to APNG file: none.png"},
        {"unwritable loop", {"-b", "-de", "d,mem", "-inp", "awip", "-pp", "anim=plain/x.gif", gini, gini}, "", 0,
         "Unable to write animated GIF file: plain/x.gif"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Result r = testutil::zyrsat(c.args, dir.path(), "-u DISPLAY", c.input);
        EXPECT_EQ(r.status, c.status) << r.out;
        if (c.message[0] == '!')
            EXPECT_EQ(r.out.find(c.message.substr(1)), std::string::npos) << r.out;
        else
            EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(dir.file("none.gif")) || fs::exists(dir.file("none.png")));
}

// A -nh walk over copies named by the "sat_ir" convention visits them in
// the order of the dates in their names, not of their making or their
// modification times, stepping by the template's 15 minutes (an "Unable to
// open" for each empty slot) or by the step after the comma of -nh.
TEST_F(E2e, HoursWalkKeepsDateOrder)
{
    fs::create_directory(dir.file("ir"));
    for (const char *t : {"0800", "0600", "0700"}) {
        std::string name = copy(kArea, std::string("ir/20190917_") + t + ".area");
        fs::last_write_time(name, fs::file_time_type::clock::now() - std::chrono::hours(t[1] - '0'));
    }
    const std::vector<std::string> want = {"20190917_0600", "20190917_0700", "20190917_0800"};
    for (auto [span, empty_slots] : {std::pair{"2", 6}, std::pair{"2,1", 0}}) {
        SCOPED_TRACE(span);
        Result r = testutil::zyrsat({"-b", "-if", "ir", "-sp", dir.path(), "-ho", "#201909170600", "-nh", span,
                                     "-pd", "us", "-de", "p," + dir.file("walk.ps"), "-out_file",
                                     "img=" + dir.file(std::string(span) + "w_%Y%m%d_%h%15n.zyr")},
                                    dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        std::vector<std::string> written;
        std::regex re("Writing image file: [^\n]*w_(\\d{8}_\\d{4})\\.zyr");
        for (std::sregex_iterator it(r.out.begin(), r.out.end(), re), end; it != end; ++it)
            written.push_back((*it)[1]);
        EXPECT_EQ(written, want) << r.out;
        size_t empty = 0;
        for (size_t at = 0; (at = r.out.find("Unable to open", at)) != std::string::npos; at++) empty++;
        EXPECT_EQ(empty, (size_t)empty_slots) << r.out;
    }
}

// An installed copy runs from elsewhere with a clean environment, taking
// every data file from its own share/zyrsat (seen by strace) and drawing a
// page that ghostscript finds over 30 % black; its manual page lists every
// option of -h and is clean for mandoc and groff.
TEST_F(E2e, InstalledProgramAndManualPage)
{
    NEED_TOOL("gs");
    NEED_TOOL("strace");
    const std::string prefix = dir.file("prefix"), gini = copy(kGini, "in.gini");
    Result r = testutil::shell("cmake --install " + quote(ZYR_BINARY_DIR) + " --prefix " + quote(prefix), "/");
    ASSERT_EQ(r.status, 0) << r.out;
    fs::create_directory(dir.file("elsewhere"));
    // (A sanitizer build's leak check cannot run under a tracer.)
    r = testutil::shell("strace -f -qq -e trace=open,openat,stat,newfstatat,access -o trace.txt env -i "
                        "PATH=/usr/bin:/bin ASAN_OPTIONS=detect_leaks=0 " + quote(prefix + "/bin/zyrsat") +
                            " -b -inp awip -de p,out.ps -pd us " + quote(gini),
                        dir.file("elsewhere"));
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string trace = testutil::read_file(dir.file("elsewhere/trace.txt"));
    EXPECT_EQ(trace.find(ZYR_DATA_DIR), std::string::npos) << "the build's data folder was used";
    for (const char *data : {"name_conv", "zyr.clr", "zyr.reg", "fonts/", "maps/land"})
        EXPECT_NE(trace.find("share/zyrsat/" + std::string(data)), std::string::npos) << data;
    r = testutil::shell("gs -q -o - -sDEVICE=inkcov out.ps | awk '{print ($4 > 0.3)}'", dir.file("elsewhere"));
    EXPECT_EQ(r.out, "1\n");

    const std::string man = prefix + "/share/man/man1/zyrsat.1", page = testutil::read_file(man);
    std::istringstream help(testutil::zyrsat({"-h"}, dir.path()).out);
    int options = 0;
    for (std::string line; std::getline(help, line);) {
        if (line.size() < 3 || line[0] != ' ' || line[1] != '-') continue;
        std::string opt = line.substr(2, line.find(' ', 2) - 2);
        options++;
        EXPECT_TRUE(page.find(".It Fl " + opt + " ") != std::string::npos ||
                    page.find(".It Fl " + opt + "\n") != std::string::npos)
            << "-" << opt;
    }
    EXPECT_GT(options, 40);
    NEED_TOOL("mandoc");
    NEED_TOOL("groff");
    for (const char *lint : {"mandoc -T lint -W warning ", "groff -man -ww -z "}) {
        r = testutil::shell(lint + quote(man), "/");
        EXPECT_EQ(r.status, 0) << lint << r.out;
        EXPECT_EQ(r.out, "") << lint;
    }
}

}  // namespace
