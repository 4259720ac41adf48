// The flag slots, the plot-element switches and the levelled messages.
#include "core/flags.h"

#include <gtest/gtest.h>

#include "../test_support.h"

using testutil::ScratchDir;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

TEST(Flags, SlotsAndRange)
{
    FLAG_reset(-9999);
    EXPECT_EQ(FLAG_get(FLAG_INPUT), -9999);
    EXPECT_EQ(FLAG_set(FLAG_INPUT, 51), 0);
    EXPECT_EQ(FLAG_get(FLAG_INPUT), 51);
    // Out-of-range slots read as 0 and refuse writes.
    EXPECT_EQ(FLAG_get(FLAG_NUM_SLOTS), 0);
    EXPECT_EQ(FLAG_set(FLAG_NUM_SLOTS, 1), -1);
    EXPECT_EQ(FLAG_set(-1, 1), -1);
    EXPECT_EQ(FLAG_getl(FLAG_NUM_SLOTS), 0);
    // The 32-bit read is the low half of the 64-bit slot.
    FLAG_setl(3, (int64_t{5} << 32) | 7);
    EXPECT_EQ(FLAG_get(3), 7);
    EXPECT_EQ(FLAG_getl(3), (int64_t{5} << 32) | 7);
    EXPECT_FALSE(FLAG_batch());
    FLAG_set_batch(1);
    EXPECT_TRUE(FLAG_batch());
    EXPECT_FALSE(FLAG_help());
}

// PLOT_TEXT sums its six corner elements, PLOT_ANY every element (the text
// sum included): 11 plain elements and 6 texts when all are on.
TEST(Flags, PlotElementSums)
{
    for (int i = 0; i < PLOT_NUM_ELEMENTS; ++i) EXPECT_EQ(FLAG_getplot(i), 1u) << i;
    FLAG_setplot(PLOT_TEXT, 0);
    for (int i = PLOT_TEXT_UL; i <= PLOT_TEXT_LR; ++i) EXPECT_EQ(FLAG_getplot(i), 0u);
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 5u); // data, map, grid, summary, border
    FLAG_setplot(PLOT_TEXT_UR, 1);
    EXPECT_EQ(FLAG_getplot(PLOT_TEXT), 1u);
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 7u); // the text sum and the element itself
    FLAG_setplot(PLOT_ANY, 0);
    for (int i = 0; i < PLOT_NUM_ELEMENTS; ++i) EXPECT_EQ(FLAG_getplot(i), 0u);
    FLAG_setplot(PLOT_ANY, 1);
    EXPECT_EQ(FLAG_getplot(PLOT_TEXT), 6u);
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 6u + 11u);
    FLAG_resetplot(0);
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 0u);
    EXPECT_EQ(FLAG_setplot(PLOT_NUM_ELEMENTS, 1), -1);
    EXPECT_EQ(FLAG_getplot(PLOT_NUM_ELEMENTS), 0u);
}

// The level text, item by item from the default 0xFFFFF; each row applies
// on top of the one before.  Masks worked by hand from the classes: print
// 0xF, error 0x30, warn 0xC0, mess 0xF00, out1..4 0xF000..0xF000000, debug
// 0xF0000000; a plain item fills every bit below its top one, a trailing
// a..d keeps one bit of each nibble.
TEST(Messages, LevelKeywords)
{
    struct Case {
        const char *text;
        uint32_t level;
    } cases[] = {
        {"mess", 0xFFF},          {"-warn", 0xF3F},     {"+out3", 0xF00F3F}, {"debugd", 0xFFFFFFFF},
        {"out1a", 0x1FFF},        {"print,+debugc", 0x4000000F},            {"ERROR", 0x3F},
        {"+OUT2B", 0x2003F},      {"bogus", 0},         {"none", 0},
    };
    EXPECT_EQ(MESS_get(), 0xFFFFFu);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        MESS_set_str(c.text);
        EXPECT_EQ(MESS_get(), c.level);
    }
    EXPECT_FALSE(MESS_check(MESS_OUT1));
    EXPECT_EQ(MESS_check_set(), 10);
    EXPECT_EQ(MESS_set_str(nullptr), 0);
}

// Where one message goes under a level: its return, standard output and
// standard error (errors and warnings there).
TEST(Messages, Destinations)
{
    struct Case {
        const char *level;
        uint32_t mask;
        int printed;
        const char *out, *err;
    } cases[] = {
        {"none", MESS_ERROR, 0, "", ""},  {"none", 15, 0, "", ""},
        {"", 192, 1, "", "m\n"},          {"", 0x30, 1, "", "m\n"},
        {"", 3840, 1, "m\n", ""},         {"", 0x100000, 0, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.level) + " " + std::to_string(c.mask));
        MESS_reset();
        if (*c.level) MESS_set_str(c.level);
        CaptureStdout();
        CaptureStderr();
        EXPECT_EQ(MESS_print(c.mask, "%s\n", "m"), c.printed);
        EXPECT_EQ(GetCapturedStdout(), c.out);
        EXPECT_EQ(GetCapturedStderr(), c.err);
    }
    std::string big(5000, 'x'); // longer than the first buffer: still whole
    CaptureStdout();
    MESS_print(15, "%s\n", big.c_str());
    EXPECT_EQ(GetCapturedStdout(), big + "\n");
}

// Codes 0/10/20 set, 1/11/21 add, -1/9/19 remove; 16 and up are program
// defaults that give way once the user set a level.
TEST(Messages, ExplicitLevelSurvivesProgramDefaults)
{
    struct Case {
        int code;
        uint32_t bits, level;
    } cases[] = {
        {20, 0xFF, 0xFF},   {0, 0xF00, 0xFFF},  {20, 0xF, 0xFFF},   {21, 0xF000, 0xFFF},
        {19, 0xF, 0xFFF},   {11, 0xF000, 0xFFFF}, {9, 0xF, 0xFFF0}, {22, 0, 0xFFF0},
        {-2, 0, 0xFFF0},    {0, 0x80000000u, 0xFFFFFFFF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        MESS_set(c.code, c.bits);
        EXPECT_EQ(MESS_get(), c.level);
    }
}

TEST(Messages, PagingPausesOnceAfterAFullPage)
{
    testutil::feed_stdin("\n\n\n");
    MESS_set_str("page");
    CaptureStdout();
    MESS_print(15, "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"); // 23 newlines
    MESS_print(15, "one more\n");
    std::string out = GetCapturedStdout();
    size_t first = out.find("Press return to continue\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(out.find("Press return to continue\n", first + 1), std::string::npos);
    EXPECT_EQ(std::getchar(), '\n'); // the pause took exactly one character
}

TEST(Messages, NoPauseInBatchModeOrWithoutPaging)
{
    testutil::feed_stdin("x");
    MESS_set_str("page,line=5");
    EXPECT_EQ(MESS_get_max_lines(), 5);
    FLAG_set_batch(1);
    CaptureStdout();
    MESS_print(15, "\n\n\n\n\n\n\n\n\n\n");
    EXPECT_EQ(MESS_hold(15, "hold\n"), 0);
    EXPECT_EQ(GetCapturedStdout().find("Press return"), std::string::npos);
    FLAG_set_batch(0);
    MESS_set_str("nopage");
    EXPECT_EQ(MESS_hold(15, "hold\n"), 0);
    MESS_set_str("line=0");
    EXPECT_EQ(MESS_get_max_lines(), 22);
    EXPECT_EQ(std::getchar(), 'x'); // nothing was read
}

// The message file items, each row after the one before: what the terminal
// shows and what the file then holds.
TEST(Messages, MessageFiles)
{
    ScratchDir dir;
    dir.write("log", "old\n");
    struct Case {
        std::string item, file, terminal, holds;
    } cases[] = {
        {"-fi=", "log", "m1\n", "m1\n"},            // truncates; terminal goes on
        {"fi=", "log", "", "m1\nm2\n"},             // appends; file only
        {"dfi=", "each", "m3\n", "m3\n"},           // opened for every message
        {"+fi=", "no/such/dir", "m4\n", ""},        // cannot open: not written
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.item);
        MESS_set_str((c.item + dir.file(c.file)).c_str());
        CaptureStdout();
        EXPECT_EQ(MESS_print(15, "m%d\n", ++n), 1);
        EXPECT_EQ(GetCapturedStdout(), c.terminal);
        EXPECT_EQ(testutil::read_file(dir.file(c.file)), c.holds);
    }
    // "@fi" stamps every message with the time.
    MESS_set_str(("@fi=" + dir.file("stamped")).c_str());
    CaptureStdout();
    MESS_print(15, "stamp\n");
    GetCapturedStdout();
    std::string text = testutil::read_file(dir.file("stamped"));
    EXPECT_NE(text.find(" -- stamp\n"), std::string::npos) << text;

    // The log copy receives every printed message, whatever the mode.
    ASSERT_EQ(MESS_file(dir.file("copy").c_str(), "w"), 0);
    EXPECT_EQ(MESS_file(nullptr, "w"), -1);
    ASSERT_EQ(MESS_file(dir.file("copy").c_str(), ""), 0);
    CaptureStdout();
    MESS_print(15, "copied\n");
    MESS_print(0x100000, "not printed\n");
    GetCapturedStdout();
    MESS_file_close();
    EXPECT_EQ(testutil::read_file(dir.file("copy")), "copied\n");
}

TEST(Messages, Banner)
{
    CaptureStdout();
    MESS_print_prog("SATELLITE IMAGE DISPLAY");
    std::string out = GetCapturedStdout();
    EXPECT_EQ(out.rfind("      SATELLITE IMAGE DISPLAY (Ver ", 0), 0u);
    EXPECT_EQ(out.substr(out.size() - 3), ")\n\n");
    MESS_set_str("warn");
    CaptureStdout();
    MESS_print_prog("X");
    EXPECT_EQ(GetCapturedStdout(), "");
}
