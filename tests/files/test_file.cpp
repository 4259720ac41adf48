// File-name conventions: template expansion and its step, reading names
// back, the time override, the convention file, the current and latest
// file, the walk, and the file utilities.
#include "files/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"

namespace {

constexpr int M = -9999;

class FileTest : public testing::Test {
protected:
    void SetUp() override
    {
        RES_clear();
        FILE_set_name("none");
        FILE_reset_time();
        FILE_set_min_size(0);
        unsetenv("zyrcurtime");
    }
    static DATE at(int y, int mo, int d, int h, int mi) { return DATE{y, mo, d, M, M, h, mi, 0}; }
    static std::string build(const char *templ, DATE d)
    {
        FILE_set_name(templ);
        char out[FILE_NAME_SIZE];
        FILE_set_date(&d, out);
        return out;
    }
    static std::string read_back(const char *templ, const char *name, DATE *d)
    {
        FILE_set_name(templ);
        char out[FILE_NAME_SIZE];
        FILE_set_file(name, out);
        FILE_get_date(d);
        return out;
    }
    static std::vector<std::string> walk(const DATE &start)
    {
        FILE_first(&start);
        std::vector<std::string> names;
        char name[FILE_NAME_SIZE];
        while (FILE_get_next(name) && names.size() < 100) names.emplace_back(name);
        return names;
    }
};

TEST_F(FileTest, TemplateFieldsAndStep)
{
    RES_put("region", "us");
    FILE_set_key('q', "abc def");
    const DATE d = at(2004, 7, 9, 14, 25);
    struct Case {
        const char *templ;
        const char *name;
        int late_off;
        int file_hour, file_minute;
    } cases[] = {
        {"@%Y%m%d%h", "2004070914", 3600, 14, 25},
        {"@%Y%m%d%3h", "2004070912", 10800, 12, 25},
        {"@%y%b%d_%j", "04jul09_191", 86400, 14, 25},
        {"@%Y%m%d_%h%15n", "20040709_1415", 900, 14, 15},
        {"@%2d/%h%n", "08/1425", 60, 14, 25},
        {"@a b{c}%%", "a_bc%", M, 14, 25},
        {"@%S/x", "./x", M, 14, 25},
        {"@%{region}_%{unset}%h", "us_14", 3600, 14, 25},
        {"@%q.%2q.%z", "abc_def.ab.0", M, 14, 25},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(build(c.templ, d), c.name) << c.templ;
        EXPECT_EQ(FILE_get_late_off(), c.late_off) << c.templ;
        EXPECT_EQ(FILE_get_offset(), c.late_off < 1 ? 100000 : c.late_off) << c.templ;
        DATE f;
        FILE_get_date(&f);
        EXPECT_EQ(f.hour, c.file_hour) << c.templ;
        EXPECT_EQ(f.minute, c.file_minute) << c.templ;
    }
    RES_put("sat_path", "/data/sat");
    EXPECT_EQ(build("@%S/%Y", d), "/data/sat/2004");
    // Missing fields print as zeros.
    EXPECT_EQ(build("@%Y%m%h", at(M, M, M, M, M)), "00000000");
}

TEST_F(FileTest, NegativeOverridesSelectCycles)
{
    const DATE d = at(2004, 7, 9, 14, 25);
    struct Case {
        const char *hour;
        const char *templ;
        const char *name;
        int late_off;
    } cases[] = {
        {"-103", "@%d%h", "0913", 10800},  // every 3 hours, shifted by 1
        {"-6", "@%d%h", "0912", 21600},
        {"-5d", "@%d%h", "0514", 3600},    // day cycle 5 rounds the day
        {"-:15", "@%h%n", "1415", 900},
    };
    for (const auto &c : cases) {
        FILE_set_time(c.hour);
        EXPECT_EQ(build(c.templ, d), c.name) << c.hour;
        EXPECT_EQ(FILE_get_late_off(), c.late_off) << c.hour;
    }
}

TEST_F(FileTest, HourResourceDecodesIntoTheOverride)
{
    struct Case {
        const char *text;
        int year, month, day, hour, minute;
    } cases[] = {
        {"#200407091425", 2004, 7, 9, 14, 25},
        {"#2004070914", 2004, 7, 9, 14, M},
        {"070914", M, 7, 9, 14, M},
        {"0914", M, M, 9, 14, M},
        {"914", M, M, 9, 14, M},
        {"2d12:30", M, M, 2, 12, 30},
        {":45", M, M, M, M, 45},
        {"-:30", M, M, M, M, -30},
        {"12:30", M, M, M, 12, 30},
        {"-0:30", M, M, M, M, -30},
        {"6", M, M, M, 6, M},
    };
    for (const auto &c : cases) {
        RES_conv_data(c.text, nullptr, RES_T_HOUR);
        DATE s;
        FILE_get_time(&s);
        EXPECT_EQ(s.year, c.year) << c.text;
        EXPECT_EQ(s.month, c.month) << c.text;
        EXPECT_EQ(s.day, c.day) << c.text;
        EXPECT_EQ(s.hour, c.hour) << c.text;
        EXPECT_EQ(s.minute, c.minute) << c.text;
    }
}

TEST_F(FileTest, TypedNamesReadBackAgainstTheTemplate)
{
    struct Case {
        const char *templ, *typed, *full;
        int year, month, day, hour;
    } cases[] = {
        {"@%S/%Y%m%d%h.ir", "2004070914.ir", "./2004070914.ir", 2004, 7, 9, 14},
        {"@%S/%Y%m%d%h.ir", "/abs/dir/2004070914.ir", "/abs/dir/2004070914.ir", 2004, 7, 9, 14},
        {"@%S/%Y%m%d%h.ir", "20040709xx.ir", "./20040709xx.ir", 2004, 7, 9, M},
        {"@%S/%Y%m%d%h.ir", "junk", "./junk", M, M, M, M},
        {"@%y%j.%h", "04191.14", "04191.14", 2004, 7, 9, 14},
        {"@%y%m%d", "980917", "980917", 1998, 9, 17, M},
        {"@%b%d_%q.*", "jul09_goes.anything", "jul09_goes.anything", M, 7, 9, M},
        {"@x%Y", "@literal/name", "literal/name", M, M, M, M},
    };
    for (const auto &c : cases) {
        DATE d;
        EXPECT_EQ(read_back(c.templ, c.typed, &d), c.full) << c.typed;
        EXPECT_EQ(d.year, c.year) << c.typed;
        EXPECT_EQ(d.month, c.month) << c.typed;
        EXPECT_EQ(d.day, c.day) << c.typed;
        EXPECT_EQ(d.hour, c.hour) << c.typed;
    }
    // Names built after a literal full path stay in its directory.
    FILE_set_name("@%S/%Y%m%d%h.ir");
    FILE_set_filename("/a/b/2004070914.ir");
    char out[FILE_NAME_SIZE];
    DATE next = at(2004, 7, 9, 15, 0);
    FILE_set_date(&next, out);
    EXPECT_STREQ(out, "/a/b/2004070915.ir");
}

TEST_F(FileTest, OverlongNamesAndTemplatesAreCut)
{
    std::string longname(400, 'n');
    std::string longtempl = "@" + std::string(300, 't') + "%Y%m%d%h";
    char out[FILE_NAME_SIZE];
    FILE_set_name(longtempl.c_str());
    DATE d = at(2004, 7, 9, 14, 25);
    FILE_set_date(&d, out);
    EXPECT_EQ(std::strlen(out), (size_t)FILE_NAME_SIZE - 1);
    FILE_set_file(longname.c_str(), out);
    EXPECT_LT(std::strlen(out), (size_t)FILE_NAME_SIZE);
    FILE_set_key('k', longname.c_str());
    EXPECT_EQ(std::strlen(FILE_get_key('k')), 29u);
}

TEST_F(FileTest, ConventionFileMatchesKeysAndFallbacks)
{
    testutil::ScratchDir dir;
    std::string longline(400, 'x');
    dir.write("conv", "# name template header size\n" + longline + " y - 3\n"
                      "sat_ir %S/ir/%Y%m%d_%h%15n.area - 1024\n"
                      "sat_ %S/%e/%Y%m%d%h.area %S/%e/%Y%m%d%h.hdr 10\n"
                      "keyed %c_%Y - 0\n");
    RES_put("file_path", dir.path().c_str());
    RES_put("name_conv", "conv");
    DATE d = at(2004, 7, 9, 14, 25);
    char out[FILE_NAME_SIZE];

    EXPECT_EQ(FILE_set_name("SAT_IR"), 1);  // case-insensitive exact match
    EXPECT_STREQ(FILE_get_name_conv(), "%S/ir/%Y%m%d_%h%15n.area");
    EXPECT_EQ(FILE_get_min_size(), 1024);
    EXPECT_EQ(FILE_get_late_off(), 900);

    EXPECT_EQ(FILE_set_name("sat_goes16"), 1);  // partial: extension after the last "_"
    FILE_set_date(&d, out);
    EXPECT_STREQ(out, "./goes16/2004070914.area");
    EXPECT_EQ(FILE_hdr_set_date(&d, out), 1);
    EXPECT_STREQ(out, "./goes16/2004070914.hdr");

    testing::internal::CaptureStdout();
    MESS_set(0, 0xFFFFFFFF);
    EXPECT_EQ(FILE_set_name("keyed:c=north pole:z=1"), 1);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("KEY: c = north pole\n"), std::string::npos) << printed;
    FILE_set_date(&d, out);
    EXPECT_STREQ(out, "north_pole_2004");
    MESS_reset();

    EXPECT_EQ(FILE_set_name("nothing_here"), 0);
    EXPECT_STREQ(FILE_get_name_conv(), "nothing_here");

    RES_put("name_conv", "/nonexistent/conv");
    testing::internal::CaptureStderr();
    EXPECT_EQ(FILE_set_name("@%Y"), 1);  // "@" never needs the file
    EXPECT_EQ(FILE_set_name("sat_ir"), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("FILE_set_name: No file name convention file: /nonexistent/conv\n"), std::string::npos);
    EXPECT_STREQ(FILE_get_name_conv(), "sat_ir");
}

TEST_F(FileTest, BundledConventionsAreFoundWithoutConfiguration)
{
    for (const char *name : {"sat_vis", "sat_ir", "sat_wv", "sat_img"}) {
        EXPECT_EQ(FILE_set_name(name), 1) << name;
        EXPECT_EQ(FILE_get_late_off(), 900) << name;
    }
}

TEST_F(FileTest, WalksBySpanAndStep)
{
    const DATE start = at(2004, 7, 9, 14, 0);
    FILE_set_name("@%d%h");
    struct Case {
        const char *num_hour;
        std::vector<std::string> names;
        int num_file;
    } cases[] = {
        {"-6", {"0908", "0909", "0910", "0911", "0912", "0913", "0914"}, 6},
        {"12,3", {"0914", "0917", "0920", "0923", "1002"}, 4},
        {":-90", {"0912", "0913", "0914"}, 1},
    };
    for (const auto &c : cases) {
        RES_put("num_hour", c.num_hour);
        EXPECT_EQ(walk(start), c.names) << c.num_hour;
        EXPECT_EQ(FILE_get_num_file(), c.num_file) << c.num_hour;
    }
    // Stepping by hand from the walk's start.
    RES_put("num_hour", "2");
    FILE_first(&start);
    char name[FILE_NAME_SIZE];
    FILE_next_file(name);
    EXPECT_STREQ(name, "0915");
    FILE_prev_file(name);
    FILE_prev_file(name);
    EXPECT_STREQ(name, "0913");
    EXPECT_EQ(FILE_set_date_off(&start, -7200, name), -2);
}

TEST_F(FileTest, FilenameValuesMakeTheList)
{
    FILE_set_name("@%Y%m%d%h");
    const DATE start = at(2004, 7, 9, 14, 0);
    RES_put("filename", "@first.area,@second.area");
    EXPECT_EQ(walk(start), (std::vector<std::string>{"first.area", "second.area"}));
    EXPECT_EQ(FILE_get_num_file(), 1);
    RES_put("filename", "@only.area");
    EXPECT_EQ(walk(start), (std::vector<std::string>{"only.area"}));
    EXPECT_EQ(FILE_get_num_file(), 0);
    // "la" as the only value counts as no list: the walk goes by time.
    RES_put("filename", "la");
    RES_put("num_hour", "-1");
    EXPECT_EQ(walk(start), (std::vector<std::string>{"2004070913", "2004070914"}));
}

TEST_F(FileTest, LatestFileSearchSkipsSmallFiles)
{
    testutil::ScratchDir dir;
    dir.write("2004070914.dat", std::string(10, 'a'));   // still being written
    dir.write("2004070913.dat", std::string(500, 'a'));
    dir.write("2004070911.dat", std::string(500, 'a'));
    setenv("zyrcurtime", "200407091425", 1);
    std::string templ = "@" + dir.path() + "/%Y%m%d%h.dat";
    FILE_set_name(templ.c_str());
    FILE_set_min_size(100);
    char out[FILE_NAME_SIZE];
    struct Case {
        const char *spec;
        const char *file;
    } cases[] = {
        {"la", "2004070913.dat"},
        {"la#1", "2004070914.dat"},       // one try only: the reference hour
        {"2la", "2004070911.dat"},        // two hours back first
        {"#200407091230la", "2004070911.dat"},
        {"+1", "2004070915.dat"},
        {"1d", "2004070814.dat"},
    };
    for (const auto &c : cases) {
        int64_t t = FILE_set_current(c.spec, out);
        EXPECT_EQ(std::string(out), dir.path() + "/" + c.file) << c.spec;
        EXPECT_EQ(t % 3600, 0) << c.spec;
    }
    // 2004-07-09 13:00 UTC in seconds (date -u -d '2004-07-09 13:00' +%s).
    EXPECT_EQ(FILE_set_current("la", out), 1089378000);
    // An hour override ahead of the reference means yesterday's hour.
    FILE_set_time("20");
    FILE_set_current("cu", out);
    EXPECT_EQ(std::string(out), dir.path() + "/2004070820.dat");
}

// A call that asks for the program's end: -1, the status requested, and
// what it printed on standard error.
struct Ending {
    int result;
    int status;
    std::string err;
};

template <class F> Ending ending(F call)
{
    ZYR_clear_exit();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = call();
    testing::internal::GetCapturedStdout();
    Ending e{result, ZYR_exit_requested() ? ZYR_exit_status() : -1, testing::internal::GetCapturedStderr()};
    ZYR_clear_exit();
    return e;
}

TEST_F(FileTest, NonInteractiveMissingFilesEndWithStatus10)
{
    testutil::ScratchDir dir;
    setenv("zyrcurtime", "200407091425", 1);
    std::string templ = "@" + dir.path() + "/%Y%m%d%h.dat";
    FILE_set_name(templ.c_str());
    char out[FILE_NAME_SIZE];
    RES_put("current", "la#3");
    auto get = [&] { return FILE_get_file("File: ", out); };
    Ending e = ending(get);
    EXPECT_EQ(e.result, -1);
    EXPECT_EQ(e.status, 10);
    EXPECT_EQ(e.err, "File not found: " + dir.path() + "/2004070914.dat\n");
    RES_clear();
    FLAG_set_batch(1);
    e = ending(get);
    EXPECT_EQ(e.result, -1);
    EXPECT_EQ(e.status, 10);
    EXPECT_EQ(e.err.rfind("File not found: ", 0), 0u) << e.err;
    FLAG_set_batch(0);
    // "list" as the file name lists and ends with status 0, as does "exit".
    for (const char *name : {"list", "exit"}) {
        RES_put("filename", name);
        e = ending(get);
        EXPECT_EQ(e.result, -1) << name;
        EXPECT_EQ(e.status, 0) << name;
    }
    // A named file that does not exist is only reported as missing.
    RES_put("filename", "@/nonexistent/file");
    EXPECT_EQ(FILE_get_file("File: ", out), 0);
}

TEST_F(FileTest, InteractivePromptListsAndRetries)
{
    testutil::ScratchDir dir;
    dir.write("2004070913.dat", std::string(500, 'a'));
    dir.write("2004070912.dat", std::string(500, 'a'));
    std::string templ = "@" + dir.path() + "/%Y%m%d%h.dat";
    FILE_set_name(templ.c_str());
    char out[FILE_NAME_SIZE];
    testutil::feed_stdin("nofile\n#200407091300\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(FILE_get_file("File: ", out), 1);
    std::string printed = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(out), dir.path() + "/2004070913.dat");
    // The listing comes from the template's shell pattern.
    EXPECT_NE(printed.find("List of available files:\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("2004070912.dat"), std::string::npos) << printed;
    EXPECT_NE(err.find("File not found: nofile\n"), std::string::npos) << err;

    // The fourth failure (the first with one try) ends with status 10; "exit"
    // and the end of input with 0, nothing more read or printed.
    struct Case {
        const char *input;
        bool only;
        int status;
        const char *err;
    } cases[] = {
        {"a\nb\nc\nd\ne\n", false, 10, "File not found: a\nFile not found: b\nFile not found: c\nFile not found: d\n"},
        {"a\nb\n", true, 10, "File not found: a\n"},
        {"exit\nb\n", false, 0, ""},
        {"a\n", false, 0, "File not found: a\n"},
    };
    for (const Case &c : cases) {
        testutil::feed_stdin(c.input);
        Ending e = ending([&] { return c.only ? FILE_get_file_only("File: ", out) : FILE_get_file("File: ", out); });
        EXPECT_EQ(e.result, -1) << c.input;
        EXPECT_EQ(e.status, c.status) << c.input;
        EXPECT_EQ(e.err, c.err) << c.input;
    }
}

TEST_F(FileTest, OverwriteDecisions)
{
    testutil::ScratchDir dir;
    std::string there = dir.write("out.zyr", "x");
    EXPECT_EQ(FILE_overwrite("-", 1), 1);
    EXPECT_EQ(FILE_overwrite(dir.file("new").c_str(), 1), 1);
    FLAG_set_batch(1);
    EXPECT_EQ(FILE_overwrite(there.c_str(), 1), 3);
    FLAG_set(FLAG_FILE_PARAM, 2);
    EXPECT_EQ(FILE_overwrite(there.c_str(), 1), 2);
    FLAG_set(FLAG_FILE_PARAM, 0);
    FLAG_set_batch(0);
    struct Case {
        const char *answer;
        int mode, result;
    } cases[] = {{"y\n", 1, 1}, {"O\n", 1, 1}, {"n\n", 1, 3}, {"a\n", 2, 2}, {"o\n", 2, 1}, {"u\n", 2, 3}};
    for (const auto &c : cases) {
        testutil::feed_stdin(c.answer);
        testing::internal::CaptureStdout();
        EXPECT_EQ(FILE_overwrite(there.c_str(), c.mode), c.result) << c.answer;
        testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(FILE_overwrite(there.c_str(), 7), 0);
}

TEST_F(FileTest, OpenTestsAndMagics)
{
    testutil::ScratchDir dir;
    setenv("HOME", dir.path().c_str(), 1);
    FILE *f = FILE_open("~/deep/er/file.txt", "w");
    ASSERT_NE(f, nullptr);
    std::fputs("ZYRIMG\n", f);
    std::fclose(f);
    EXPECT_TRUE(FILE_is_file("~/deep/er/file.txt"));
    EXPECT_TRUE(FILE_is_dir("~/deep"));
    EXPECT_EQ(FILE_size("~/deep/er/file.txt"), 7);
    EXPECT_EQ(FILE_type("~/deep/er/file.txt"), 9);
    EXPECT_EQ(FILE_type("~/deep/er/file.txt-extra"), 9);
    EXPECT_EQ(FILE_type(dir.file("none").c_str()), -1);
    struct Case {
        const char *head;
        int type;
    } cases[] = {{"ZYRSFC", 11}, {"ZYRUPA", 12}, {"ZYRRAW", 5}, {"ZYRGRID", 6}, {"ZYRMETA", 8}, {"ZYRGRI", -1}, {"other", -1}};
    for (const auto &c : cases) EXPECT_EQ(FILE_type(dir.write("m", c.head).c_str()), c.type) << c.head;

    EXPECT_EQ(FILE_open("std", "r"), stdin);
    EXPECT_EQ(FILE_open("STDN", "w"), stdout);
    FILE *p = FILE_open("|echo piped", "r");
    ASSERT_NE(p, nullptr);
    char line[32] = "";
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    pclose(p);
    EXPECT_STREQ(line, "piped\n");
    EXPECT_TRUE(FILE_exist("-"));
    EXPECT_EQ(FILE_delete("~/deep/er/file.txt"), 0);
    EXPECT_FALSE(FILE_exist("~/deep/er/file.txt"));

    char out[FILE_NAME_SIZE];
    EXPECT_STREQ(FILE_expand("~root/x", out), "/root/x");
    EXPECT_STREQ(FILE_expand("~no_such_user_here/x", out), "~no_such_user_here/x");
    EXPECT_STREQ(FILE_add_path("/d", "n", out), "/d/n");
    EXPECT_STREQ(FILE_add_path("/d/", "n", out), "/d/n");
    EXPECT_STREQ(FILE_add_path("/d", "./n", out), "./n");
    EXPECT_STREQ(FILE_add_path("/d", "-", out), "-");
}

TEST_F(FileTest, SaveAndRestoreTheConvention)
{
    FILE_set_name("@%Y%h");
    FILE_set_filename("/x/y");
    FILE_save_name_conv();
    FILE_set_name("@%Y%15n");
    FILE_set_filename("other");
    FILE_restore_name_conv();
    EXPECT_STREQ(FILE_get_name_conv(), "%Y%h");
    EXPECT_STREQ(FILE_get_filename(), "/x/y");
    EXPECT_EQ(FILE_get_late_off(), 3600);
}

}  // namespace
