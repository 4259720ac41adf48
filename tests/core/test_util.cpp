// Tests of the process and text utilities: text helpers, line readers,
// terminal prompts (stdin is redirected from a temporary file), the sleep
// clock and child processes.

#include "core/res.h"
#include "core/util.h"

#include <gtest/gtest.h>

#include "../test_support.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using testutil::feed_stdin;
using testutil::read_file;
using TempDir = testutil::ScratchDir;

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

FILE *open_text(const TempDir &dir, const std::string &text)
{
    std::string path = dir.file("lines.txt");
    write_file(path, text);
    return fopen(path.c_str(), "r");
}

std::string trimmed(std::string s, char *(*f)(char *))
{
    f(s.data());
    return s.c_str();
}

// ---------------------------------------------------------------- text

TEST(UtilText, CaseInsensitiveComparison)
{
    EXPECT_EQ(stricmp("Satellite", "SATELLITE"), 0);
    EXPECT_LT(stricmp("abc", "ABD"), 0);
    EXPECT_GT(stricmp("abd", "ABC"), 0);
    EXPECT_NE(stricmp("abc", "abcd"), 0); // a prefix is not equal
    EXPECT_EQ(stricmp(nullptr, "a"), 1);
    EXPECT_EQ(stricmp("a", nullptr), 1);

    EXPECT_EQ(strnicmp("awipz", "awip", 4), 0);
    EXPECT_NE(strnicmp("awipz", "awip", 5), 0);
    EXPECT_EQ(strnicmp("AWIPS", "awips", 5), 0);
    EXPECT_EQ(strnicmp("ab", "AB", 10), 0); // stops at the terminator
    // n of 1 or less compares the first character only.
    EXPECT_EQ(strnicmp("ax", "Ay", 0), 0);
    EXPECT_EQ(strnicmp("ax", "Ay", -3), 0);
    EXPECT_NE(strnicmp("bx", "ax", 1), 0);
    EXPECT_EQ(strnicmp(nullptr, "a", 3), 1);
}

TEST(UtilText, TrimmingAndStripping)
{
    EXPECT_EQ(trimmed("name \t  ", trim_string), "name");
    EXPECT_EQ(trimmed(" a b ", trim_string), " a b");
    EXPECT_EQ(trimmed("   ", trim_string), "");
    EXPECT_EQ(trimmed("line\r\r", trim_cr_string), "line");
    EXPECT_EQ(trimmed("li\rne\r ", trim_cr_string), "li\rne\r "); // only trailing CRs
    EXPECT_EQ(trimmed("a\r\nb\n\r", wsstrip_string), "ab");
    EXPECT_EQ(trimmed("value  \r\n", wstrim_string), "value");
    EXPECT_EQ(trimmed("val \r ue \n ", wstrim_string), "val  ue");
    EXPECT_EQ(trimmed("  a   b\t\tc   ", strip_spaces), " a b c");
    EXPECT_EQ(trimmed("a\\,b\\\\c", strip_escape), "a,bc");

    std::string s = "a,b,,c";
    EXPECT_STREQ(strip_string(s.data(), ','), "abc");
    s = "a_b_c";
    EXPECT_STREQ(fill_string(s.data(), '_', ' '), "a b c");

    s = "abcdef";
    EXPECT_STREQ(shift_string(s.data(), 2), "abcd");
    EXPECT_STREQ(shift_string(s.data(), -1), "bcd");
    EXPECT_STREQ(shift_string(s.data(), 0), "bcd");
    EXPECT_STREQ(shift_string(s.data(), -3), "");
    s = "abc";
    EXPECT_STREQ(shift_string(s.data(), 10), "");

    s = "MiXed 1-z";
    EXPECT_STREQ(up_string(s.data()), "MIXED 1-Z");
    EXPECT_STREQ(low_string(s.data()), "mixed 1-z");

    EXPECT_EQ(trim_string(nullptr), nullptr);
    EXPECT_EQ(strip_spaces(nullptr), nullptr);
}

TEST(UtilText, CopyAppendAndSearch)
{
    char buf[8];
    memset(buf, 'x', sizeof buf);
    strntcpy(buf, "abcdefghijk", 5);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(buf[5], 'x'); // nothing written past n bytes
    strntcpy(buf, nullptr, 5);
    EXPECT_STREQ(buf, "");

    char cat[8] = "abc";
    strmcat(cat, "defghij", sizeof cat);
    EXPECT_STREQ(cat, "abcdefg");
    strmcat(cat, "more", sizeof cat);
    EXPECT_STREQ(cat, "abcdefg");

    const char *text = "a/b/c/d";
    EXPECT_EQ(strlstr(text, "/"), text + 5);
    EXPECT_EQ(strlstr(text, "a/"), text);
    EXPECT_EQ(strlstr(text, "x"), nullptr);
    EXPECT_EQ(strlstr("ab", "abc"), nullptr);

    const char *list[] = {"gif", "PNG", nullptr, "xwd"};
    EXPECT_EQ(searchstr(list, 4, "png"), 1);
    EXPECT_EQ(searchstr(list, 4, "XWD"), 1);
    EXPECT_EQ(searchstr(list, 3, "xwd"), 0); // beyond n
    EXPECT_EQ(searchstr(list, 4, "jpg"), 0);

    char *joined = create_strcat("a", nullptr, "c");
    EXPECT_STREQ(joined, "ac");
    free(joined);
    char *copy = create_string("copy");
    EXPECT_STREQ(copy, "copy");
    free(copy);
    EXPECT_EQ(create_string(nullptr), nullptr);
}

TEST(UtilText, StringTests)
{
    EXPECT_TRUE(string_is_float("1.5"));
    EXPECT_TRUE(string_is_float("1E5"));
    EXPECT_FALSE(string_is_float("15"));

    EXPECT_TRUE(string_is_alpha("abcXYZ"));
    EXPECT_FALSE(string_is_alpha("abc1"));
    EXPECT_FALSE(string_is_alpha(""));

    EXPECT_TRUE(string_is_num("12345"));
    EXPECT_TRUE(string_is_num("-12"));
    EXPECT_FALSE(string_is_num("-"));
    EXPECT_FALSE(string_is_num("1-2"));
    EXPECT_FALSE(string_is_num("1.2"));
    EXPECT_FALSE(string_is_num(""));

    EXPECT_TRUE(string_is_num_len("2024abc", 4));
    EXPECT_FALSE(string_is_num_len("202abc", 4));
    EXPECT_FALSE(string_is_num_len("20", 4)); // too short

    EXPECT_TRUE(string_is_blank(nullptr));
    EXPECT_TRUE(string_is_blank(""));
    EXPECT_TRUE(string_is_blank(" \t\r\n"));
    EXPECT_FALSE(string_is_blank("  x "));
}

TEST(UtilText, CleanLine)
{
    // Trailing controls go, trailing blanks stay; inner non-ASCII bytes and
    // controls become blanks, DEL inside the text is kept.
    std::string s = "GOES\x01" "16\xC3" "IR\x7F" "x  \x01\r\n\x02";
    EXPECT_STREQ(clean_line(s.data()), "GOES 16 IR\x7Fx  ");
    s = "\x01\x02\xFF";
    EXPECT_STREQ(clean_line(s.data()), "");
    s = "plain";
    EXPECT_STREQ(clean_line(s.data()), "plain");
}

TEST(UtilText, SetNumChoosesPrecisionFromMagnitude)
{
    char out[ZYR_NUM_SIZE];
    EXPECT_STREQ(set_num(out, "0.0", 123.456f), "123");
    EXPECT_STREQ(set_num(out, "0.0", 12.345f), "12.3");
    EXPECT_STREQ(set_num(out, "0.0", -1.2345f), "-1.23");
    EXPECT_STREQ(set_num(out, "0.0", 0.012345f), "0.0123");
    EXPECT_STREQ(set_num(out, "0.0", 2.5f), "2.5");
    EXPECT_STREQ(set_num(out, "0.0", 3.0f), "3");
    // Minimum decimals and width.
    EXPECT_STREQ(set_num(out, "7.2", 2.5f), "   2.50");
    EXPECT_STREQ(set_num(out, "0.1", 1500.0f), "1500.0");
    // Tiny values are 0, negative ones without a sign.
    EXPECT_STREQ(set_num(out, "0.0", 4.0e-6f), "0");
    EXPECT_STREQ(set_num(out, "0.0", -4.0e-6f), "0");
    EXPECT_STREQ(set_num(out, "4.1", 0.0f), " 0.0");
    // The third number caps the decimals.
    EXPECT_STREQ(set_num(out, "0.0.2", 0.012345f), "0.01");
    // Huge values and widths stay inside the buffer.
    EXPECT_LT(strlen(set_num(out, "999.9", 3.0e38f)), static_cast<size_t>(ZYR_NUM_SIZE));
}

TEST(UtilText, LineReaders)
{
    TempDir dir;
    std::string longline(200, 'L');
    FILE *fp = open_text(dir, "short\n\n" + longline + "\nlast");
    ASSERT_NE(fp, nullptr);
    char s[161];
    EXPECT_EQ(fgetline(fp, s), 5);
    EXPECT_STREQ(s, "short");
    strcpy(s, "stale");
    EXPECT_EQ(fgetline(fp, s), 0); // empty line: empty text, not end of file
    EXPECT_STREQ(s, "");
    EXPECT_EQ(fgetline(fp, s), 160); // cut, and the rest of the line dropped
    EXPECT_EQ(std::string(s), longline.substr(0, 160));
    EXPECT_EQ(fgetline(fp, s), 4); // last line without a line feed
    EXPECT_STREQ(s, "last");
    EXPECT_EQ(fgetline(fp, s), EOF);
    fclose(fp);

    fp = open_text(dir, "abcdefghij\n\nxyz\n");
    ASSERT_NE(fp, nullptr);
    char small[5];
    EXPECT_EQ(fgetstring(fp, small, 4), 1);
    EXPECT_STREQ(small, "abcd");
    strcpy(small, "old");
    EXPECT_EQ(fgetstring(fp, small, 4), 1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(fgetnline(fp, small, 4), 3);
    EXPECT_STREQ(small, "xyz");
    EXPECT_EQ(fgetnline(fp, small, 4), EOF);
    fclose(fp);

    fp = open_text(dir, "a\tb\x01" "c\r\nskip me\nnext\n");
    ASSERT_NE(fp, nullptr);
    char raw[81];
    EXPECT_EQ(fget_rawstring(fp, raw, 80), 5);
    EXPECT_STREQ(raw, "a b c");
    EXPECT_EQ(fskipline(fp), 0);
    EXPECT_EQ(fgetnline(fp, raw, 80), 4);
    EXPECT_STREQ(raw, "next");
    EXPECT_EQ(fskipline(fp), EOF);
    EXPECT_EQ(fget_rawstring(fp, raw, 80), EOF);
    fclose(fp);
}

// ---------------------------------------------------------------- prompts

TEST(UtilPrompt, SetCommandStoresResourceAndAsksAgain)
{
    feed_stdin("set zyr_colour = deep red  \r\nSET  zyr_size 12\n\n   \nanswer rest\n");
    testing::internal::CaptureStdout();
    char out[80];
    char *got = ZYR_prompts("Enter the name: ", out, sizeof out);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(got, out);
    EXPECT_STREQ(out, "answer");
    ASSERT_NE(RES_get("zyr_colour"), nullptr);
    EXPECT_STREQ(RES_get("zyr_colour"), "deep red");
    ASSERT_NE(RES_get("zyr_size"), nullptr);
    EXPECT_STREQ(RES_get("zyr_size"), "12");
    // Two set lines and two empty answers: the prompt was shown five times.
    size_t shown = 0;
    for (size_t at = printed.find("Enter the name: "); at != std::string::npos;
         at = printed.find("Enter the name: ", at + 1))
        shown++;
    EXPECT_EQ(shown, 5u);
}

TEST(UtilPrompt, SetAloneListsResources)
{
    feed_stdin("set\n7\n");
    RES_put("zyr_listed", "yes");
    testing::internal::CaptureStdout();
    int value = ZYR_promptd("Number: ");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(value, 7);
    EXPECT_NE(printed.find("Set resources\n"), std::string::npos);
    EXPECT_NE(printed.find("zyr_listed"), std::string::npos);
}

// "exit" (even at a number prompt, where it is no valid answer) and the end
// of input request the program's end with status 0; the prompt returns null
// or 0 without reading further, and the end of input leaves a line feed.
TEST(UtilPrompt, ExitAndEndOfInputRequestTheEndWithStatusZero)
{
    struct Case {
        const char *input;
        const char *printed;
    } cases[] = {{"exit\nnever\n", "Ask: "}, {"exit now\n7\n", "Ask: "}, {"not a number\n", "Ask: Ask: \n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        char out[20] = "old";
        int kind = 0;
        for (auto ask : {+[](char *o) { return ZYR_prompts("Ask: ", o, 20) == nullptr && !*o; },
                         +[](char *) {
                             char *got = ZYR_promptl("Ask: ", nullptr);
                             free(got);
                             return got == nullptr;
                         },
                         +[](char *) { return ZYR_promptf("Ask: ") == 0.0f; },
                         +[](char *) { return ZYR_promptd("Ask: ") == 0; }}) {
            ZYR_clear_exit();
            feed_stdin(c.input);
            alarm(5); // a prompt that kept asking would fail here, not hang
            testing::internal::CaptureStdout();
            bool ended = ask(out);
            std::string printed = testing::internal::GetCapturedStdout();
            alarm(0);
            // A word answer scans for the text prompts; only the number
            // prompts ask twice on "not a number".
            if (kind < 2 && c.input[0] == 'n') {
                EXPECT_FALSE(ZYR_exit_requested()) << kind;
            } else {
                EXPECT_TRUE(ended) << kind;
                EXPECT_EQ(printed, c.printed) << kind;
                EXPECT_TRUE(ZYR_exit_requested()) << kind;
                EXPECT_EQ(ZYR_exit_status(), 0) << kind;
            }
            ++kind;
        }
    }
    ZYR_clear_exit();
}

TEST(UtilExit, FirstRequestStandsUntilCleared)
{
    ZYR_clear_exit();
    EXPECT_FALSE(ZYR_exit_requested());
    EXPECT_EQ(ZYR_exit_status(), 0);
    ZYR_request_exit(43);
    ZYR_request_exit(0);
    EXPECT_TRUE(ZYR_exit_requested());
    EXPECT_EQ(ZYR_exit_status(), 43);
    ZYR_clear_exit();
    ZYR_request_exit(0);
    EXPECT_TRUE(ZYR_exit_requested()) << "status 0 is a request too";
    ZYR_clear_exit();
}

TEST(UtilPrompt, LongAnswersAreCut)
{
    std::string word(120, 'w');
    feed_stdin(word + "\n" + "abcdefgh\n" + std::string(30, 'q') + "\n" + "next\n");
    testing::internal::CaptureStdout();

    char out[80];
    memset(out, 0, sizeof out);
    ZYR_prompts("A: ", out, sizeof out);
    EXPECT_EQ(std::string(out), word.substr(0, 79));

    // A null out gets a buffer of its own.
    char *own = ZYR_prompts("B: ", nullptr, 5);
    ASSERT_NE(own, nullptr);
    EXPECT_STREQ(own, "abcd");
    free(own);

    char l[20];
    ZYR_promptl("C: ", l);
    EXPECT_EQ(std::string(l), std::string(19, 'q'));

    // The part of the first line beyond 80 characters was not taken as an
    // answer of its own.
    ZYR_prompts("D: ", out, sizeof out);
    EXPECT_STREQ(out, "next");
    testing::internal::GetCapturedStdout();
}

TEST(UtilPrompt, NumberPromptsAskAgainUntilValid)
{
    feed_stdin("west\n-35.5\nfive\n  42 \n");
    testing::internal::CaptureStdout();
    EXPECT_FLOAT_EQ(ZYR_promptf("Lat: "), -35.5f);
    EXPECT_EQ(ZYR_promptd("N: "), 42);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Lat: Lat: N: N: ");
}

TEST(UtilPrompt, SetCommandRecognition)
{
    EXPECT_EQ(ZYR_set_command("plain answer"), 0);
    EXPECT_EQ(ZYR_set_command(""), 0);
    EXPECT_EQ(ZYR_set_command(nullptr), 0);
    EXPECT_EQ(ZYR_set_command("Set zyr_empty"), 1);
    ASSERT_NE(RES_get("zyr_empty"), nullptr);
    EXPECT_STREQ(RES_get("zyr_empty"), "");
    // An over-long name is read within bounds.
    std::string line = "set " + std::string(300, 'n') + " v";
    EXPECT_EQ(ZYR_set_command(line.c_str()), 1);
}

// ---------------------------------------------------------------- process

TEST(UtilProcess, VersionNamesVersionSystemAndWindows)
{
    std::string v = ZYR_version();
    EXPECT_EQ(v.rfind(ZYR_VERSION_TEXT " ", 0), 0u);
    EXPECT_NE(v.find("Linux"), std::string::npos);
    EXPECT_NE(v.find("X11"), std::string::npos);
}

TEST(UtilProcess, SleepAndElapsedTime)
{
    // Before the clock is started only the slept seconds count.
    EXPECT_FLOAT_EQ(ZYR_elapse_time(), 0.0f);

    ZYR_init_time();
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(ZYR_sleep(0.0f), -1);
    EXPECT_EQ(ZYR_sleep(-1.0f), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));

    EXPECT_EQ(ZYR_sleep(0.15f), 0);
    auto slept = std::chrono::steady_clock::now() - before;
    EXPECT_GE(slept, std::chrono::milliseconds(150));
    float t = ZYR_elapse_time();
    EXPECT_GE(t, 0.14f);
    EXPECT_LT(t, 2.0f);

    // A new start clears the count.
    ZYR_init_time();
    EXPECT_LT(ZYR_elapse_time(), 0.1f);
}

TEST(UtilProcess, PidAndVirtualMemory)
{
    EXPECT_EQ(ZYR_get_pid(), static_cast<int>(getpid()));
    EXPECT_GT(ZYR_get_virt_mem(), 1024L * 1024L);
}

TEST(UtilProcess, RunReturnsExitStatus)
{
    char *t[] = {const_cast<char *>("/bin/true"), nullptr};
    char *f[] = {const_cast<char *>("/bin/false"), nullptr};
    char *missing[] = {const_cast<char *>("zyr_no_such_command_here"), nullptr};
    EXPECT_EQ(ZYR_run(nullptr, t, nullptr, 0), 0);
    EXPECT_EQ(ZYR_run(nullptr, f, nullptr, 0), 1);
    EXPECT_EQ(ZYR_run(nullptr, missing, nullptr, 0), 2);
    EXPECT_EQ(ZYR_numproc(), 0);
}

TEST(UtilProcess, RunRedirectsChangesDirectoryAndPassesEnvironment)
{
    TempDir dir;
    std::string in = dir.file("in.txt");
    std::string out = dir.file("out.txt");
    write_file(in, "from the input file\n");
    ZYR_set_infile(in.c_str());
    ZYR_set_outfile(out.c_str());
    char *cat[] = {const_cast<char *>("cat"), nullptr};
    EXPECT_EQ(ZYR_run(nullptr, cat, nullptr, 0), 0);
    EXPECT_EQ(read_file(out), "from the input file\n");
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    // Without an input file the child reads /dev/null: cat ends at once.
    // Mode 1 runs in dir; env entries reach the child.
    ZYR_set_infile(nullptr);
    char var[] = "ZYR_UTIL_TEST=seen";
    char *env[] = {var, nullptr};
    char *sh[] = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                  const_cast<char *>("cat; pwd; echo $ZYR_UTIL_TEST"), nullptr};
    EXPECT_EQ(ZYR_run(dir.path().c_str(), sh, env, 1), 0);
    std::string canonical = fs::canonical(dir.path()).string();
    EXPECT_EQ(read_file(out), canonical + "\nseen\n");
    EXPECT_EQ(getenv("ZYR_UTIL_TEST"), nullptr); // the parent is untouched
}

TEST(UtilProcess, BackgroundChildrenAreRecorded)
{
    char *sleeper[] = {const_cast<char *>("/bin/sleep"), const_cast<char *>("30"), nullptr};
    int pid = ZYR_run(nullptr, sleeper, nullptr, 2);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(ZYR_numproc(), 1);
    EXPECT_EQ(ZYR_proc(0), pid);
    EXPECT_STREQ(ZYR_proc_name(0), "sleep");
    EXPECT_EQ(ZYR_proc_id("sleep"), pid);
    EXPECT_EQ(ZYR_chk_proc(), 1);

    // A background child that ends while a foreground one runs is cleared.
    char *quick[] = {const_cast<char *>("/bin/true"), nullptr};
    int quick_pid = ZYR_run(nullptr, quick, nullptr, 2);
    ASSERT_GT(quick_pid, 0);
    EXPECT_EQ(ZYR_numproc(), 2);
    char *wait[] = {const_cast<char *>("/bin/sleep"), const_cast<char *>("0.3"), nullptr};
    EXPECT_EQ(ZYR_run(nullptr, wait, nullptr, 0), 0);
    EXPECT_EQ(ZYR_numproc(), 1);
    EXPECT_EQ(ZYR_proc_id("true"), -1);

    // Once killed, the check clears the entry.
    kill(pid, SIGKILL);
    for (int i = 0; i < 100 && ZYR_chk_proc() != 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ZYR_chk_proc(), 0);
    EXPECT_EQ(ZYR_numproc(), 0);
    EXPECT_EQ(ZYR_proc(0), -1);
}

TEST(UtilProcess, TableHoldsTenEntries)
{
    pid_t self = getpid();
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(ZYR_add_proc(self, "self"), i);
    EXPECT_EQ(ZYR_add_proc(self, "extra"), -1);
    char *t[] = {const_cast<char *>("/bin/true"), nullptr};
    EXPECT_EQ(ZYR_run(nullptr, t, nullptr, 2), -1); // no room in the background
    EXPECT_EQ(ZYR_run(nullptr, t, nullptr, 0), 0);  // the foreground needs none
    EXPECT_EQ(ZYR_chk_proc(), 10);                  // we are alive

    EXPECT_EQ(ZYR_clr_proc(self), 0);
    EXPECT_EQ(ZYR_numproc(), 9);
    EXPECT_EQ(ZYR_set_proc(0, 12345, "a_name_longer_than_twenty"), 0);
    EXPECT_STREQ(ZYR_proc_name(0), "a_name_longer_than_t");
    EXPECT_EQ(ZYR_proc_id("a_name_longer_than_t"), 12345);
    EXPECT_EQ(ZYR_set_proc(10, 1, "x"), -1);
    EXPECT_EQ(ZYR_proc(10), -1);
    EXPECT_EQ(ZYR_proc(-1), -1);
}

int child_function(void *arg)
{
    return *static_cast<int *>(arg);
}

TEST(UtilProcess, RunFunctionInChild)
{
    int code = 7;
    EXPECT_EQ(ZYR_run_func(child_function, &code, 0), 7);
    int pid = ZYR_run_func(child_function, &code, 2);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(ZYR_proc(0), pid);
}

// The statement of the death test below: the parent side of ZYR_back_proc
// returns -1 with the program's end (status 0) requested, and ends with
// that status as the program would; the detached child writes what it sees
// into the report and leaves without running any exit handlers.
void detach_and_report(const std::string &report)
{
    signal(SIGINT, SIG_IGN);
    const int detached = ZYR_back_proc();
    if (detached == -1 && ZYR_exit_requested())
        _exit(ZYR_exit_status());
    if (detached != 1)
        _exit(9);
    struct stat in, null_dev;
    stat("/dev/null", &null_dev);
    fstat(0, &in);
    struct sigaction sa, hup;
    sigaction(SIGINT, nullptr, &sa);
    sigaction(SIGHUP, nullptr, &hup);
    // A session of its own (so no terminal's hang-up reaches it), with the
    // hang-up handled as before the call.
    std::string text = std::to_string(getpgrp() == getpid()) + " " + std::to_string(getsid(0) == getpid()) + " " +
                       std::to_string(hup.sa_handler == SIG_DFL) + " " +
                       std::to_string(in.st_rdev == null_dev.st_rdev) + " " +
                       std::to_string(sa.sa_handler == SIG_DFL) + " " +
                       std::to_string(write(1, "x", 1) == 1);
    std::string tmp = report + ".tmp";
    write_file(tmp, text);
    rename(tmp.c_str(), report.c_str());
    _exit(0);
}

TEST(UtilProcess, BackProcDetaches)
{
    TempDir dir;
    std::string report = dir.file("report.txt");
    EXPECT_EXIT(detach_and_report(report), testing::ExitedWithCode(0), "");
    for (int i = 0; i < 250 && !fs::exists(report); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(read_file(report), "1 1 1 1 1 1");
}

} // namespace
