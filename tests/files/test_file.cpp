// File-name conventions (templates, names read back, the time override, the
// convention file, the current and latest file, the walk) and file utilities.
#include "files/file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"

namespace {

constexpr int M = -9999;
using testutil::ScratchDir;
using Names = std::vector<std::string>;

DATE at(int y, int mo, int d, int h, int mi) { return DATE{y, mo, d, M, M, h, mi, 0}; }
const DATE kJul9 = at(2004, 7, 9, 14, 25);

std::string fields(const DATE &d)
{
    char out[80];
    snprintf(out, sizeof out, "%d-%d-%d %d:%d", d.year, d.month, d.day, d.hour, d.minute);
    return out;
}

// The name a template gives for a date (with the name conventions' other
// settings as they stand).
std::string build(const char *templ, DATE d)
{
    if (templ) FILE_set_name(templ);
    char out[FILE_NAME_SIZE] = "";
    FILE_set_date(&d, out);
    return out;
}

}  // namespace

// 14:25 on 9 Jul 2004 (day 191, `date -u -d 2004-07-09 +%j`) through a
// template, with an optional hour override (each on top of the one
// before): the name, the step (late offset, seconds) and the hour and
// minute of the file's own time.  Negative overrides select cycles: every
// 3 hours shifted by 1, 6 hours, day cycle 5, quarter hours.
TEST(FileName, TemplatesAndTheTimeOverride)
{
    RES_put("region", "us");
    FILE_set_key('q', "abc def");
    struct Case { const char *hour, *templ, *want; } cases[] = {
        {"", "@%Y%m%d%h", "2004070914 3600 14:25"}, {"", "@%Y%m%d%3h", "2004070912 10800 12:25"},
        {"", "@%y%b%d_%j", "04jul09_191 86400 14:25"}, {"", "@%Y%m%d_%h%15n", "20040709_1415 900 14:15"},
        {"", "@%2d/%h%n", "08/1425 60 14:25"}, {"", "@a b{c}%%", "a_bc% -9999 14:25"}, {"", "@%S/x", "./x -9999 14:25"},
        {"", "@%{region}_%{unset}%h", "us_14 3600 14:25"}, {"", "@%q.%2q.%z", "abc_def.ab.0 -9999 14:25"},
        {"-103", "@%d%h", "0913 10800 13:25"}, {"-6", "@%d%h", "0912 21600 12:25"}, {"-5d", "@%d%h", "0514 3600 14:25"},
        {"-:15", "@%h%n", "1415 900 14:15"}};
    DATE f;
    for (const Case &c : cases) {
        if (*c.hour) FILE_set_time(c.hour);
        const std::string name = build(c.templ, kJul9);
        const int step = FILE_get_late_off();
        FILE_get_date(&f);
        EXPECT_EQ(name + " " + std::to_string(step) + " " + std::to_string(f.hour) + ":" + std::to_string(f.minute), c.want)
            << c.hour << " " << c.templ;
        EXPECT_EQ(FILE_get_offset(), step < 1 ? 100000 : step) << c.templ;
    }
    RES_put("sat_path", "/data/sat");
    EXPECT_EQ(build("@%S/%Y", kJul9), "/data/sat/2004");
    FILE_set_time("-6");  // missing fields print as zeros, a cycle or not
    EXPECT_EQ(build("@%Y%m%h%n", at(M, M, M, M, M)), "0000000000");
    EXPECT_EQ(FILE_get_late_off(), 60);
    // The hour resource decodes into the override.
    struct Hour { const char *text, *fields; } hours[] = {{"#200407091425", "2004-7-9 14:25"},
        {"#2004070914", "2004-7-9 14:-9999"}, {"070914", "-9999-7-9 14:-9999"}, {"0914", "-9999--9999-9 14:-9999"},
        {"914", "-9999--9999-9 14:-9999"}, {"2d12:30", "-9999--9999-2 12:30"}, {":45", "-9999--9999--9999 -9999:45"},
        {"-:30", "-9999--9999--9999 -9999:-30"}, {"12:30", "-9999--9999--9999 12:30"},
        {"-0:30", "-9999--9999--9999 -9999:-30"}, {"6", "-9999--9999--9999 6:-9999"}};
    for (const Hour &c : hours) EXPECT_EQ((RES_conv_data(c.text, nullptr, RES_T_HOUR), FILE_get_time(&f), fields(f)), c.fields);
    FILE_reset_time();
    EXPECT_EQ((FILE_get_time(&f), fields(f)), "-9999--9999--9999 -9999:-9999");
}

// Names typed in are read back against the template: the full name and the
// date it gives.  Then the convention file: names with any case, an
// extension after "_", keys after ":".
TEST(FileName, TypedNamesAndTheConventionFile)
{
    struct Case { const char *templ, *typed, *full, *fields; } cases[] = {
        {"@%S/%Y%m%d%h.ir", "2004070914.ir", "./2004070914.ir", "2004-7-9 14"},
        {"@%S/%Y%m%d%h.ir", "/abs/dir/2004070914.ir", "/abs/dir/2004070914.ir", "2004-7-9 14"},
        {"@%S/%Y%m%d%h.ir", "20040709xx.ir", "./20040709xx.ir", "2004-7-9 -9999"},
        {"@%S/%Y%m%d%h.ir", "junk", "./junk", "-9999--9999--9999 -9999"},
        {"@%y%j.%h", "04191.14", "04191.14", "2004-7-9 14"},  // day 191 of 2004
        {"@%y%m%d", "980917", "980917", "1998-9-17 -9999"},
        {"@%b%d_%q.*", "jul09_goes.anything", "jul09_goes.anything", "-9999-7-9 -9999"},
        {"@x%Y", "@literal/name", "literal/name", "-9999--9999--9999 -9999"}};
    char out[FILE_NAME_SIZE];
    DATE d;
    for (const Case &c : cases) {
        FILE_set_name(c.templ);
        EXPECT_STREQ((FILE_set_file(c.typed, out), out), c.full) << c.typed;
        EXPECT_EQ((FILE_get_date(&d), fields(d).substr(0, fields(d).rfind(':'))), c.fields) << c.typed;
    }
    FILE_set_name("@%S/%Y%m%d%h.ir");
    FILE_set_filename("/a/b/2004070914.ir");  // later names stay in a literal full path's folder
    EXPECT_EQ(build(nullptr, at(2004, 7, 9, 15, 0)), "/a/b/2004070915.ir");
    // Overlong names, templates and keys are cut.
    const std::string long_templ = std::string("@").append(300, 't').append("%Y%m%d%h");
    EXPECT_EQ(build(long_templ.c_str(), kJul9).size(), (size_t)FILE_NAME_SIZE - 1);
    EXPECT_LT((FILE_set_file(std::string(400, 'n').c_str(), out), std::strlen(out)), (size_t)FILE_NAME_SIZE);
    FILE_set_key('k', std::string(400, 'n').c_str());
    EXPECT_EQ(std::strlen(FILE_get_key('k')), 29u);

    ScratchDir dir;
    dir.write("conv", "# name template header size\n" + std::string(400, 'x') + " y - 3\n"
                      "sat_ir %S/ir/%Y%m%d_%h%15n.area - 1024\n"
                      "sat_ %S/%e/%Y%m%d%h.area %S/%e/%Y%m%d%h.hdr 10\nkeyed %c_%Y - 0\n");
    RES_put("file_path", dir.path().c_str());
    RES_put("name_conv", "conv");
    // Name, found, template, least size, step, the name built for 14:25.
    struct Conv { const char *name; int found; const char *conv; int size, step; const char *built; } convs[] = {
        {"SAT_IR", 1, "%S/ir/%Y%m%d_%h%15n.area", 1024, 900, "./ir/20040709_1415.area"},
        {"sat_goes16", 1, "%S/%e/%Y%m%d%h.area", 10, 3600, "./goes16/2004070914.area"},
        {"keyed:c=north pole:z=1", 1, "%c_%Y", 0, M, "north_pole_2004"},
        {"none", 0, "", 0, M, "north_pole_2004"},  // no template: the last name stands
        {"nothing_here", 0, "nothing_here", 0, M, "nothing_here"}};
    for (const Conv &c : convs) {
        EXPECT_EQ(FILE_set_name(c.name), c.found) << c.name;
        EXPECT_STREQ(FILE_get_name_conv(), c.conv) << c.name;
        EXPECT_EQ(build(nullptr, kJul9), c.built) << c.name;
        EXPECT_EQ(FILE_get_min_size() * 100000 + FILE_get_late_off(), c.size * 100000 + c.step) << c.name;
    }
    EXPECT_EQ(FILE_set_name("sat_goes16"), 1);
    EXPECT_STREQ((FILE_hdr_set_date(&kJul9, out), out), "./goes16/2004070914.hdr");  // and its header
    MESS_set(0, 0xFFFFFFFF);
    EXPECT_NE(testutil::stdout_of([] { FILE_set_name("keyed:c=north pole:z=1"); }).find("KEY: c = north pole\n"),
              std::string::npos);
    MESS_reset();
    RES_put("name_conv", "/nonexistent/conv");
    EXPECT_EQ(testutil::stderr_of([] { EXPECT_EQ(FILE_set_name("@%Y") * 10 + FILE_set_name("sat_ir"), 10); }),
              "FILE_set_name: No file name convention file: /nonexistent/conv\n");  // "@" never needs the file
    RES_clear();  // the bundled conventions are found without configuration
    for (const char *name : {"sat_vis", "sat_ir", "sat_wv", "sat_img"}) {
        EXPECT_EQ(FILE_set_name(name), 1) << name;
        EXPECT_EQ(FILE_get_late_off(), 900) << name;
    }
    FILE_set_name("@%Y%h");  // save and restore
    FILE_set_filename("/x/y");
    FILE_save_name_conv();
    FILE_set_name("@%Y%15n");
    FILE_set_filename("other");
    FILE_restore_name_conv();
    EXPECT_EQ(std::string(FILE_get_name_conv()) + " " + FILE_get_filename() + " " + std::to_string(FILE_get_late_off()),
              "%Y%h /x/y 3600");
}

// Walks from 14:00 on 9 Jul: a span back ("-6"), a span forward with a step
// ("12,3"), minutes (":-90" at the hourly step), a list of names.  Then the
// current and latest file with the clock at 14:25: the 14:00 file is too
// small (still being written), 12:00 is missing.
TEST(FileName, WalksAndTheLatestFile)
{
    const DATE start = at(2004, 7, 9, 14, 0);
    struct Case { const char *num_hour, *filename; Names names; int num_file; } cases[] = {
        {"-6", "", {"0908", "0909", "0910", "0911", "0912", "0913", "0914"}, 6},
        {"12,3", "", {"0914", "0917", "0920", "0923", "1002"}, 4}, {":-90", "", {"0912", "0913", "0914"}, 1},
        {"", "@first.area,@second.area", {"first.area", "second.area"}, 1}, {"", "@only.area", {"only.area"}, 0},
        {"-1", "la", {"0913", "0914"}, 1}};  // "la" alone is no list: by time
    char name[FILE_NAME_SIZE];
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.num_hour) + c.filename);
        RES_clear();
        FILE_set_name("@%d%h");
        if (*c.num_hour) RES_put("num_hour", c.num_hour);
        if (*c.filename) RES_put("filename", c.filename);
        FILE_first(&start);
        Names names;
        while (FILE_get_next(name) && names.size() < 100) names.emplace_back(name);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(FILE_get_num_file(), c.num_file);
    }
    RES_put("num_hour", "2");  // stepping by hand from the walk's start
    FILE_first(&start);
    EXPECT_STREQ((FILE_next_file(name), name), "0915");
    EXPECT_STREQ((FILE_prev_file(name), FILE_prev_file(name), name), "0913");
    EXPECT_EQ(FILE_set_date_off(&start, -7200, name), -2);

    ScratchDir dir;
    for (auto [hour, size] : {std::pair{14, 10}, {13, 500}, {11, 500}})
        dir.write("20040709" + std::to_string(hour) + ".dat", std::string(size, 'a'));
    setenv("zyrcurtime", "200407091425", 1);
    FILE_set_name(("@" + dir.path() + "/%Y%m%d%h.dat").c_str());
    FILE_set_min_size(100);
    struct Latest { const char *spec, *file; } latest[] = {
        {"la", "2004070913.dat"}, {"la#1", "2004070914.dat"},  // one try only: the reference hour
        {"2la", "2004070911.dat"}, {"#200407091230la", "2004070911.dat"}, {"+1", "2004070915.dat"}, {"1d", "2004070814.dat"}};
    for (const Latest &c : latest) {
        EXPECT_EQ(FILE_set_current(c.spec, name) % 3600, 0) << c.spec;
        EXPECT_EQ(std::string(name), dir.path() + "/" + c.file) << c.spec;
    }
    EXPECT_EQ(FILE_set_current("la", name), 1089378000);  // date -u -d '2004-07-09 13:00' +%s
    FILE_set_time("20");  // an hour ahead of the clock means yesterday's
    EXPECT_EQ((FILE_set_current("cu", name), std::string(name)), dir.path() + "/2004070820.dat");
}

// Missing files: without a terminal the search ends with status 10 (the
// clock at 14:25, the folder empty); "list" and "exit" as the name with
// status 0.  At the prompt, the fourth failure (the first with one try)
// ends with 10, "exit" and the end of input with 0.
TEST(FileName, MissingFilesEndTheProgram)
{
    ScratchDir dir;
    const std::string file14 = "File not found: " + dir.path() + "/2004070914.dat\n", nf = "File not found: ";
    FILE_set_name(("@" + dir.path() + "/%Y%m%d%h.dat").c_str());
    char out[FILE_NAME_SIZE];
    struct Case { const char *current, *filename, *input; bool batch, only; int status; std::string err; } cases[] = {
        {"la#3", "", nullptr, false, false, 10, file14}, {"", "", nullptr, true, false, 10, file14},
        {"", "list", nullptr, false, false, 0, "*"}, {"", "exit", nullptr, false, false, 0, ""},
        {"", "", "a\nb\nc\nd\ne\n", false, false, 10, nf + "a\n" + nf + "b\n" + nf + "c\n" + nf + "d\n"},
        {"", "", "a\nb\n", false, true, 10, nf + "a\n"}, {"", "", "exit\nb\n", false, false, 0, ""},
        {"", "", "a\n", false, false, 0, nf + "a\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.current) + c.filename + (c.input ? c.input : ""));
        RES_clear();
        ZYR_clear_exit();
        if (*c.current) RES_put("current", c.current);
        if (*c.filename) RES_put("filename", c.filename);
        if (c.input) {  // at the prompt: files to list, the clock is now
            testutil::feed_stdin(c.input);
            dir.write("2004070913.dat", "x"), dir.write("2004070912.dat", "x");
            unsetenv("zyrcurtime");
        } else {
            setenv("zyrcurtime", "200407091425", 1);
        }
        FLAG_set_batch(c.batch);
        std::string err = testutil::stderr_of([&] {
            testutil::stdout_of([&] { EXPECT_EQ(c.only ? FILE_get_file_only("F: ", out) : FILE_get_file("F: ", out), -1); });
        });
        EXPECT_EQ(ZYR_exit_requested() ? ZYR_exit_status() : -1, c.status);
        EXPECT_EQ(c.err == "*" ? "*" : err, c.err);  // "*": what ls says of the empty folder
    }
    FLAG_set_batch(0);
    RES_put("filename", "@/nonexistent/file");  // a named file is only reported
    EXPECT_EQ(FILE_get_file("File: ", out), 0);
    // A wrong name at the prompt lists what the template's pattern finds.
    RES_clear();
    testutil::feed_stdin("nofile\n#200407091300\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(FILE_get_file("File: ", out), 1); }), nf + "nofile\n");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(out), dir.path() + "/2004070913.dat");
    EXPECT_NE(printed.find("List of available files:\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("2004070912.dat"), std::string::npos) << printed;
}

// Overwrite: 1 write, 2 append, 3 keep; batch keeps unless the file
// parameter says append.  Paths, "~" expansion, type magics, the standard
// streams and pipes.
TEST(FileUtil, OverwriteOpenAndMagics)
{
    ScratchDir dir;
    std::string there = dir.write("out.zyr", "x");
    EXPECT_EQ(FILE_overwrite("-", 1) + FILE_overwrite(dir.file("new").c_str(), 1), 2);
    FLAG_set_batch(1);
    EXPECT_EQ(FILE_overwrite(there.c_str(), 1), 3);
    FLAG_set(FLAG_FILE_PARAM, 2);
    EXPECT_EQ(FILE_overwrite(there.c_str(), 1), 2);
    FLAG_set(FLAG_FILE_PARAM, 0);
    FLAG_set_batch(0);
    struct Case { const char *answer; int mode, result; } cases[] = {
        {"y\n", 1, 1}, {"O\n", 1, 1}, {"n\n", 1, 3}, {"a\n", 2, 2}, {"o\n", 2, 1}, {"u\n", 2, 3}, {"", 7, 0}};
    for (const Case &c : cases) {
        testutil::feed_stdin(c.answer);
        testutil::stdout_of([&] { EXPECT_EQ(FILE_overwrite(there.c_str(), c.mode), c.result) << c.answer; });
    }
    setenv("HOME", dir.path().c_str(), 1);
    const char *file = "~/deep/er/file.txt";
    FILE *f = FILE_open(file, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("ZYRIMG\n", f);
    std::fclose(f);
    EXPECT_TRUE(FILE_is_file(file) && FILE_is_dir("~/deep"));
    EXPECT_EQ(FILE_size(file), 7);
    struct Magic { std::string name, head; int type; } magics[] = {{file, "", 9},
        {std::string(file) + "-extra", "", 9},  // "name-extra" stands for "name"
        {dir.file("none"), "", -1}, {"m", "ZYRSFC", 11}, {"m", "ZYRUPA", 12}, {"m", "ZYRRAW", 5}, {"m", "ZYRGRID", 6},
        {"m", "ZYRMETA", 8}, {"m", "ZYRGRI", -1}, {"m", "other", -1}};
    for (const auto &c : magics)
        EXPECT_EQ(FILE_type((c.name == "m" ? dir.write("m", c.head) : c.name).c_str()), c.type) << c.name << c.head;
    EXPECT_EQ(FILE_open("std", "r"), stdin);
    EXPECT_EQ(FILE_open("STDN", "w"), stdout);
    FILE *p = FILE_open("|echo piped", "r");
    ASSERT_NE(p, nullptr);
    char line[32] = "";
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    pclose(p);
    EXPECT_STREQ(line, "piped\n");
    EXPECT_TRUE(FILE_exist("-"));
    EXPECT_EQ(FILE_delete(file), 0);
    EXPECT_FALSE(FILE_exist(file));
    char out[FILE_NAME_SIZE];
    struct Paths { const char *dir, *name, *path; } paths[] = {
        {"/d", "n", "/d/n"}, {"/d/", "n", "/d/n"}, {"/d", "./n", "./n"}, {"/d", "-", "-"}};
    for (const auto &c : paths) EXPECT_STREQ(FILE_add_path(c.dir, c.name, out), c.path);
    EXPECT_STREQ(FILE_expand("~root/x", out), "/root/x");
    EXPECT_STREQ(FILE_expand("~no_such_user_here/x", out), "~no_such_user_here/x");
}
