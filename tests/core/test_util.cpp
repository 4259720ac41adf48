// The process and text utilities: text helpers, line readers, terminal
// prompts (stdin fed from a temporary file), the sleep clock and children.
#include "core/res.h"
#include "core/util.h"

#include <gtest/gtest.h>

#include "../test_support.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testutil::feed_stdin;
using testutil::read_file;
using testutil::stdout_of;

// The sign of a comparison; n < -90 compares with stricmp, otherwise
// strnicmp (n <= 1 compares the first character only).  Null texts give 1.
// Then each editing function on a copy of the text.  clean_line drops
// trailing controls but keeps trailing blanks, turns inner controls and
// non-ASCII bytes into blanks and keeps DEL.
TEST(UtilText, ComparisonAndEditing)
{
    struct Compare { const char *a, *b; int n, sign; } compares[] = {{"Satellite", "SATELLITE", -99, 0},
        {"abc", "ABD", -99, -1}, {"abd", "ABC", -99, 1}, {"abc", "abcd", -99, -1}, {nullptr, "a", -99, 1},
        {"a", nullptr, -99, 1}, {"awipz", "awip", 4, 0}, {"awipz", "awip", 5, 1}, {"AWIPS", "awips", 5, 0},
        {"ab", "AB", 10, 0}, {"ax", "Ay", 0, 0}, {"ax", "Ay", -3, 0}, {"bx", "ax", 1, 1}, {nullptr, "a", 3, 1}};
    for (const Compare &c : compares) {
        int r = c.n < -90 ? stricmp(c.a, c.b) : strnicmp(c.a, c.b, c.n);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "null") << "/" << (c.b ? c.b : "null") << " " << c.n;
    }
    using Edit = std::function<char *(char *)>;
    auto shift = [](int n) { return Edit([n](char *s) { return shift_string(s, n); }); };
    auto last = [](const char *f) { return Edit([f](char *s) { return const_cast<char *>(strlstr(s, f)); }); };
    const Edit cat = [](char *s) { static char c[8] = "abc"; return strmcat(c, s, sizeof c); };
    struct Case { Edit edit; const char *in, *out; } cases[] = {
        {last("/"), "a/b/c/d", "/d"}, {last("a/"), "a/b/c/d", "a/b/c/d"}, {last("x"), "a/b", nullptr},
        {last("abc"), "ab", nullptr}, {cat, "defghij", "abcdefg"}, {cat, "more", "abcdefg"},
        {trim_string, "name \t  ", "name"}, {trim_string, " a b ", " a b"}, {trim_string, "   ", ""},
        {trim_cr_string, "line\r\r", "line"}, {trim_cr_string, "li\rne\r ", "li\rne\r "},
        {wsstrip_string, "a\r\nb\n\r", "ab"}, {wstrim_string, "value  \r\n", "value"},
        {wstrim_string, "val \r ue \n ", "val  ue"}, {strip_spaces, "  a   b\t\tc   ", " a b c"},
        {strip_escape, "a\\,b\\\\c", "a,bc"}, {[](char *s) { return strip_string(s, ','); }, "a,b,,c", "abc"},
        {[](char *s) { return fill_string(s, '_', ' '); }, "a_b_c", "a b c"}, {shift(2), "abcdef", "abcd"},
        {shift(-1), "abcd", "bcd"}, {shift(0), "bcd", "bcd"}, {shift(-3), "bcd", ""}, {shift(10), "abc", ""},
        {up_string, "MiXed 1-z", "MIXED 1-Z"}, {low_string, "MiXed 1-z", "mixed 1-z"},
        {clean_line, "GOES\x01" "16\xC3" "IR\x7F" "x  \x01\r\n\x02", "GOES 16 IR\x7Fx  "},
        {clean_line, "\x01\x02\xFF", ""}, {clean_line, "plain", "plain"},
    };
    for (const Case &c : cases) {
        std::string s = c.in;
        EXPECT_STREQ(c.edit(s.data()), c.out) << c.in;
    }
    EXPECT_EQ(trim_string(nullptr), strip_spaces(nullptr));
    EXPECT_EQ(trim_string(nullptr), nullptr);
}

TEST(UtilText, CopyAppendSearchAndPredicates)
{
    char buf[8];
    memset(buf, 'x', sizeof buf);
    EXPECT_STREQ(strntcpy(buf, "abcdefghijk", 5), "abcd");
    EXPECT_EQ(buf[5], 'x');  // nothing written past n bytes
    EXPECT_STREQ(strntcpy(buf, nullptr, 5), "");
    const char *list[] = {"gif", "PNG", nullptr, "xwd"};
    EXPECT_EQ(searchstr(list, 4, "png") + searchstr(list, 4, "XWD"), 2);
    EXPECT_EQ(searchstr(list, 3, "xwd") + searchstr(list, 4, "jpg"), 0);  // beyond n; absent
    char *joined = create_strcat("a", nullptr, "c"), *copy = create_string("copy");
    EXPECT_EQ(std::string(joined) + copy, "accopy");
    free(joined);
    free(copy);
    EXPECT_EQ(create_string(nullptr), nullptr);
    using Test = std::function<int(const char *)>;
    struct Case { Test test; std::vector<const char *> yes, no; } cases[] = {
        {string_is_float, {"1.5", "1E5"}, {"15"}}, {string_is_alpha, {"abcXYZ"}, {"abc1", ""}},
        {string_is_num, {"12345", "-12"}, {"-", "1-2", "1.2", ""}},
        {[](const char *s) { return string_is_num_len(s, 4); }, {"2024abc"}, {"202abc", "20"}},
        {string_is_blank, {nullptr, "", " \t\r\n"}, {"  x "}},
    };
    for (const Case &c : cases) {
        for (const char *s : c.yes) EXPECT_TRUE(c.test(s)) << (s ? s : "null");
        for (const char *s : c.no) EXPECT_FALSE(c.test(s)) << s;
    }
    // set_num: three significant digits; "w.d" gives a width and least
    // decimals, a third number caps the decimals; tiny values are 0 without
    // a sign.
    struct Num { const char *format; float value; const char *text; } nums[] = {{"0.0", 123.456f, "123"},
        {"0.0", 12.345f, "12.3"}, {"0.0", -1.2345f, "-1.23"}, {"0.0", 0.012345f, "0.0123"}, {"0.0", 2.5f, "2.5"},
        {"0.0", 3.0f, "3"}, {"7.2", 2.5f, "   2.50"}, {"0.1", 1500.0f, "1500.0"}, {"0.0", 4.0e-6f, "0"},
        {"0.0", -4.0e-6f, "0"}, {"4.1", 0.0f, " 0.0"}, {"0.0.2", 0.012345f, "0.01"}};
    char out[ZYR_NUM_SIZE];
    for (const Num &c : nums) EXPECT_STREQ(set_num(out, c.format, c.value), c.text) << c.format << " " << c.value;
    EXPECT_LT(strlen(set_num(out, "999.9", 3.0e38f)), static_cast<size_t>(ZYR_NUM_SIZE));  // inside the buffer
}

// Each reader in turn over one text: what it returns and the text it read.
// An empty line is empty text, not the end; a long one is cut and its rest
// dropped; the last line needs no line feed.
TEST(UtilText, LineReaders)
{
    testutil::ScratchDir dir;
    using Read = std::function<int(FILE *, char *)>;
    const Read line = fgetline, skip = [](FILE *f, char *) { return fskipline(f); };
    const Read str4 = [](FILE *f, char *s) { return fgetstring(f, s, 4); };
    const Read nline4 = [](FILE *f, char *s) { return fgetnline(f, s, 4); };
    const Read nline = [](FILE *f, char *s) { return fgetnline(f, s, 80); };
    const Read raw = [](FILE *f, char *s) { return fget_rawstring(f, s, 80); };
    const std::string L(200, 'L');
    struct Step { Read read; int result; std::string text; };
    struct Case { std::string text; std::vector<Step> steps; } cases[] = {
        {"short\n\n" + L + "\nlast",
         {{line, 5, "short"}, {line, 0, ""}, {line, 160, L.substr(0, 160)}, {line, 4, "last"}, {line, EOF, ""}}},
        {"abcdefghij\n\nxyz\n", {{str4, 1, "abcd"}, {str4, 1, ""}, {nline4, 3, "xyz"}, {nline4, EOF, ""}}},
        {"a\tb\x01" "c\r\nskip me\nnext\n",
         {{raw, 5, "a b c"}, {skip, 0, "stale"}, {nline, 4, "next"}, {skip, EOF, "stale"}, {raw, EOF, ""}}},
    };
    for (const Case &c : cases) {
        FILE *fp = fopen(dir.write("l", c.text).c_str(), "r");
        for (const Step &s : c.steps) {
            char got[200] = "stale";
            EXPECT_EQ(s.read(fp, got), s.result) << c.text;
            EXPECT_EQ(got, s.text) << c.text;
        }
        fclose(fp);
    }
}

// "set name value" answers store a resource and ask again ("set" alone
// lists them); long answers are cut (the rest of the line dropped) and the
// number prompts ask again until a number comes.
TEST(UtilPrompt, SetCommandsLongAnswersAndNumbers)
{
    feed_stdin("set zyr_colour = deep red  \r\nSET  zyr_size 12\n\n   \nanswer rest\nset\n7\n");
    char out[80], l[20];
    std::string printed = stdout_of([&] {
        EXPECT_EQ(ZYR_prompts("Name: ", out, sizeof out), out);
        EXPECT_STREQ(out, "answer");
        EXPECT_EQ(ZYR_promptd("Number: "), 7);
    });
    EXPECT_EQ(printed.find("Name: Name: Name: Name: Name: Number: "), 0u) << printed;  // two sets, two blanks
    EXPECT_NE(printed.find("Set resources\n"), std::string::npos);
    EXPECT_NE(printed.find("zyr_size: 12\n"), std::string::npos);
    EXPECT_STREQ(RES_get("zyr_colour"), "deep red");
    for (const char *no : {"plain answer", "", (const char *)nullptr}) EXPECT_EQ(ZYR_set_command(no), 0);
    EXPECT_EQ(ZYR_set_command("Set zyr_empty"), 1);
    EXPECT_STREQ(RES_get("zyr_empty"), "");
    EXPECT_EQ(ZYR_set_command(("set " + std::string(300, 'n') + " v").c_str()), 1);  // read within bounds
    const std::string word(120, 'w');
    feed_stdin(word + "\nabcdefgh\n" + std::string(30, 'q') + "\nnext\nwest\n-35.5\nfive\n  42 \n");
    EXPECT_EQ(stdout_of([&] {
                  ZYR_prompts("A: ", out, sizeof out);
                  EXPECT_EQ(std::string(out), word.substr(0, 79));
                  char *own = ZYR_prompts("B: ", nullptr, 5);  // a buffer of its own
                  EXPECT_STREQ(own, "abcd");
                  free(own);
                  ZYR_promptl("C: ", l);
                  EXPECT_EQ(std::string(l), std::string(19, 'q'));
                  EXPECT_STREQ(ZYR_prompts("D: ", out, sizeof out), "next");
                  EXPECT_FLOAT_EQ(ZYR_promptf("Lat: "), -35.5f);
                  EXPECT_EQ(ZYR_promptd("N: "), 42);
              }),
              "A: B: C: D: Lat: Lat: N: N: ");
}

// "exit" (even at a number prompt, where it is no valid answer) and the end
// of input request the program's end with status 0; the prompt returns null
// or 0 without reading further, and the end of input leaves a line feed.
// A word answer is taken by the text prompts.
TEST(UtilPrompt, ExitAndEndOfInputRequestTheEndWithStatusZero)
{
    struct Case { const char *input; char kind; const char *printed; } cases[] = {  // printed null: answered
        {"exit\nnever\n", 's', "Ask: "}, {"exit\nnever\n", 'l', "Ask: "}, {"exit\nnever\n", 'f', "Ask: "},
        {"exit now\n7\n", 'd', "Ask: "}, {"not a number\n", 's', nullptr}, {"not a number\n", 'l', nullptr},
        {"not a number\n", 'f', "Ask: Ask: \n"}, {"not a number\n", 'd', "Ask: Ask: \n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.input);
        ZYR_clear_exit();
        feed_stdin(c.input);
        alarm(5);  // a prompt that kept asking would fail here, not hang
        char out[20] = "x", *line = nullptr;
        float got = -1;
        std::string printed = stdout_of([&] {
            if (c.kind == 's') got = ZYR_prompts("Ask: ", out, 20) ? 1 : *out;
            if (c.kind == 'l') got = (line = ZYR_promptl("Ask: ", nullptr)) != nullptr;
            if (c.kind == 'f') got = ZYR_promptf("Ask: ");
            if (c.kind == 'd') got = ZYR_promptd("Ask: ");
        });
        alarm(0);
        free(line);
        EXPECT_EQ(ZYR_exit_requested(), c.printed != nullptr);
        if (!c.printed) continue;
        EXPECT_EQ(got, 0);  // null, or an empty text, or 0
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(ZYR_exit_status(), 0);
    }
    ZYR_clear_exit();  // the first request stands until cleared; status 0 is a request too
    ZYR_request_exit(43);
    ZYR_request_exit(0);
    EXPECT_EQ(ZYR_exit_status(), 43);
}

char *const *argv(std::initializer_list<const char *> args)
{
    static std::vector<std::vector<char *>> keep;
    keep.emplace_back();
    for (const char *a : args) keep.back().push_back(const_cast<char *>(a));
    keep.back().push_back(nullptr);
    return keep.back().data();
}

// Only lower bounds on the clock: it counts at least what was slept.
// Children: exit statuses (2 when the command is missing), the input and
// output files, mode 1 runs in the folder, env entries reach the child
// only.
TEST(UtilProcess, VersionClockAndForegroundRuns)
{
    std::string v = ZYR_version();
    EXPECT_EQ(v.rfind(ZYR_VERSION_TEXT " ", 0), 0u);
    EXPECT_TRUE(v.find("Linux") != std::string::npos && v.find("X11") != std::string::npos) << v;
    EXPECT_EQ(ZYR_get_pid(), static_cast<int>(getpid()));
    EXPECT_GT(ZYR_get_virt_mem(), 1024L * 1024L);
    EXPECT_FLOAT_EQ(ZYR_elapse_time(), 0.0f);  // before the clock is started
    ZYR_init_time();
    EXPECT_EQ(ZYR_sleep(0.0f) + ZYR_sleep(-1.0f), -2);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(ZYR_sleep(0.15f), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(150));
    EXPECT_GE(ZYR_elapse_time(), 0.14f);

    EXPECT_EQ(ZYR_run(nullptr, argv({"/bin/true"}), nullptr, 0), 0);
    EXPECT_EQ(ZYR_run(nullptr, argv({"/bin/false"}), nullptr, 0), 1);
    EXPECT_EQ(ZYR_run(nullptr, argv({"zyr_no_such_command_here"}), nullptr, 0), 2);
    EXPECT_EQ(ZYR_numproc(), 0);
    testutil::ScratchDir dir;
    std::string out = dir.file("out.txt");
    ZYR_set_infile(dir.write("in.txt", "from the input file\n").c_str());
    ZYR_set_outfile(out.c_str());
    EXPECT_EQ(ZYR_run(nullptr, argv({"cat"}), nullptr, 0), 0);
    EXPECT_EQ(read_file(out), "from the input file\n");
    ZYR_set_infile(nullptr);  // then /dev/null: cat ends at once
    char var[] = "ZYR_UTIL_TEST=seen";
    char *env[] = {var, nullptr};
    EXPECT_EQ(ZYR_run(dir.path().c_str(), argv({"sh", "-c", "cat; pwd; echo $ZYR_UTIL_TEST"}), env, 1), 0);
    EXPECT_EQ(read_file(out), std::filesystem::canonical(dir.path()).string() + "\nseen\n");
    EXPECT_EQ(getenv("ZYR_UTIL_TEST"), nullptr);
}

// Background children are recorded (ten at most) and cleared once ended.
TEST(UtilProcess, BackgroundChildren)
{
    int pid = ZYR_run(nullptr, argv({"/bin/sleep", "30"}), nullptr, 2);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(ZYR_proc(0), pid);
    EXPECT_STREQ(ZYR_proc_name(0), "sleep");
    EXPECT_EQ(ZYR_proc_id("sleep"), pid);
    EXPECT_EQ(ZYR_chk_proc(), 1);
    // A background child that ends while a foreground one runs is cleared.
    ASSERT_GT(ZYR_run(nullptr, argv({"/bin/true"}), nullptr, 2), 0);
    EXPECT_EQ(ZYR_numproc(), 2);
    EXPECT_EQ(ZYR_run(nullptr, argv({"/bin/sleep", "0.3"}), nullptr, 0), 0);
    EXPECT_EQ(ZYR_numproc(), 1);
    EXPECT_EQ(ZYR_proc_id("true"), -1);
    kill(pid, SIGKILL);  // once killed, the check clears the entry
    for (int i = 0; i < 100 && ZYR_chk_proc() != 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ZYR_numproc() + ZYR_proc(0), -1);
    int code = 7;  // a function in a child, in the foreground and the background
    EXPECT_EQ(ZYR_run_func([](void *arg) { return *static_cast<int *>(arg); }, &code, 0), 7);
    pid = ZYR_run_func([](void *arg) { return *static_cast<int *>(arg); }, &code, 2);
    EXPECT_EQ(ZYR_proc(0), pid);
    ZYR_clr_proc(pid);
    pid_t self = getpid();
    for (int i = 0; i < 10; i++) EXPECT_EQ(ZYR_add_proc(self, "self"), i);
    EXPECT_EQ(ZYR_add_proc(self, "extra"), -1);
    EXPECT_EQ(ZYR_run(nullptr, argv({"/bin/true"}), nullptr, 2), -1);  // no room in the background
    EXPECT_EQ(ZYR_run(nullptr, argv({"/bin/true"}), nullptr, 0), 0);   // the foreground needs none
    EXPECT_EQ(ZYR_chk_proc(), 10);                                       // we are alive
    EXPECT_EQ(ZYR_clr_proc(self), 0);
    EXPECT_EQ(ZYR_numproc(), 9);
    EXPECT_EQ(ZYR_set_proc(0, 12345, "a_name_longer_than_twenty"), 0);
    EXPECT_STREQ(ZYR_proc_name(0), "a_name_longer_than_t");
    EXPECT_EQ(ZYR_proc_id("a_name_longer_than_t"), 12345);
    EXPECT_EQ(ZYR_set_proc(10, 1, "x"), -1);
    EXPECT_EQ(ZYR_proc(10) + ZYR_proc(-1), -2);
}

// The parent side of ZYR_back_proc returns -1 with the program's end
// (status 0) requested and ends as the program would; the detached child
// reports: a session of its own (no terminal's hang-up reaches it), the
// hang-up handled as before, stdin from /dev/null, SIGINT back to its
// default, standard output writable.
void detach_and_report(const std::string &report)
{
    signal(SIGINT, SIG_IGN);
    const int detached = ZYR_back_proc();
    if (detached == -1 && ZYR_exit_requested()) _exit(ZYR_exit_status());
    if (detached != 1) _exit(9);
    struct stat in, null_dev;
    stat("/dev/null", &null_dev);
    fstat(0, &in);
    struct sigaction sa, hup;
    sigaction(SIGINT, nullptr, &sa);
    sigaction(SIGHUP, nullptr, &hup);
    std::ofstream(report + ".tmp") << (getpgrp() == getpid()) << (getsid(0) == getpid())
                                   << (hup.sa_handler == SIG_DFL) << (in.st_rdev == null_dev.st_rdev)
                                   << (sa.sa_handler == SIG_DFL) << (write(1, "x", 1) == 1);
    rename((report + ".tmp").c_str(), report.c_str());
    _exit(0);
}

TEST(UtilProcess, BackProcDetaches)
{
    testutil::ScratchDir dir;
    std::string report = dir.file("report.txt");
    EXPECT_EXIT(detach_and_report(report), testing::ExitedWithCode(0), "");
    for (int i = 0; i < 250 && !std::filesystem::exists(report); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(read_file(report), "111111");
}

}  // namespace
