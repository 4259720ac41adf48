#include "core/flags.h"

#include <gtest/gtest.h>

#include "../test_support.h"

using testutil::ScratchDir;

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

TEST(Flags, PlotElementSums)
{
    // Every element starts on.
    for (int i = 0; i < PLOT_NUM_ELEMENTS; ++i) EXPECT_EQ(FLAG_getplot(i), 1u) << i;
    FLAG_setplot(PLOT_TEXT, 0);
    for (int i = PLOT_TEXT_UL; i <= PLOT_TEXT_LR; ++i) EXPECT_EQ(FLAG_getplot(i), 0u);
    EXPECT_EQ(FLAG_getplot(PLOT_TEXT), 0u);
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

TEST(Messages, LevelItems)
{
    EXPECT_EQ(MESS_get(), 0xFFFFFu);
    MESS_set_str("mess");
    EXPECT_EQ(MESS_get(), 0xFFFu);
    EXPECT_TRUE(MESS_check(MESS_MESS));
    EXPECT_FALSE(MESS_check(MESS_OUT1));
    MESS_set_str("-warn");
    EXPECT_EQ(MESS_get(), 0xF3Fu);
    MESS_set_str("+out3");
    EXPECT_EQ(MESS_get(), 0xF00F3Fu);
    MESS_set_str("debugd");
    EXPECT_EQ(MESS_get(), 0xFFFFFFFFu);
    MESS_set_str("out1a");
    EXPECT_EQ(MESS_get(), 0x1FFFu);
    MESS_set_str("print,+debugc");
    EXPECT_EQ(MESS_get(), 0x4000000Fu);
    MESS_set_str("ERROR");
    EXPECT_EQ(MESS_get(), 0x3Fu);
    MESS_set_str("none");
    EXPECT_EQ(MESS_get(), 0u);
    EXPECT_EQ(MESS_check_set(), 8);
}

TEST(Messages, NoneSilencesEvenErrors)
{
    MESS_set_str("none");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MESS_print(MESS_ERROR, "bad %d\n", 1), 0);
    EXPECT_EQ(MESS_print(15, "plain\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Messages, ErrorsAndWarningsGoToStandardError)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MESS_print(192, "warned %s\n", "x"), 1);
    EXPECT_EQ(MESS_print(0x30, "failed\n"), 1);
    EXPECT_EQ(MESS_print(3840, "note\n"), 1);
    EXPECT_EQ(MESS_print(0x100000, "hidden by default\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "warned x\nfailed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "note\n");
}

TEST(Messages, ExplicitLevelSurvivesProgramDefaults)
{
    MESS_set(20, 0xFF); // a program default, nothing set yet: applies
    EXPECT_EQ(MESS_get(), 0xFFu);
    MESS_set(0, 0xF00);
    EXPECT_EQ(MESS_get(), 0xFFFu);
    EXPECT_EQ(MESS_check_set(), 1);
    MESS_set(20, 0xF);
    MESS_set(21, 0xF000);
    MESS_set(19, 0xF);
    EXPECT_EQ(MESS_get(), 0xFFFu);
    MESS_set(11, 0xF000); // codes below 16 still act
    EXPECT_EQ(MESS_get(), 0xFFFFu);
    MESS_set(9, 0xF);
    EXPECT_EQ(MESS_get(), 0xFFF0u);
    MESS_set(22, 0);      // out of range: ignored
    MESS_set(-2, 0);
    EXPECT_EQ(MESS_get(), 0xFFF0u);
    MESS_set(0, 0x80000000u); // the top bit fills everything
    EXPECT_EQ(MESS_get(), 0xFFFFFFFFu);
}

TEST(Messages, PagingPausesOnceAfterAFullPage)
{
    testutil::feed_stdin("\n\n\n");
    MESS_set_str("page");
    testing::internal::CaptureStdout();
    MESS_print(15, "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"); // 23 newlines
    MESS_print(15, "one more\n");
    std::string out = testing::internal::GetCapturedStdout();
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
    testing::internal::CaptureStdout();
    MESS_print(15, "\n\n\n\n\n\n\n\n\n\n");
    EXPECT_EQ(MESS_hold(15, "hold\n"), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Press return"), std::string::npos);
    FLAG_set_batch(0);
    MESS_set_str("nopage");
    EXPECT_EQ(MESS_hold(15, "hold\n"), 0);
    MESS_set_str("line=0");
    EXPECT_EQ(MESS_get_max_lines(), 22);
    EXPECT_EQ(std::getchar(), 'x'); // nothing was read
}

TEST(Messages, MessageFiles)
{
    ScratchDir dir;
    std::string log = dir.file("log.txt");
    // "-fi" truncates; terminal output goes on.
    dir.write("log.txt", "old\n");
    MESS_set_str(("-fi=" + log).c_str());
    testing::internal::CaptureStdout();
    MESS_print(15, "both %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "both 1\n");
    EXPECT_EQ(testutil::read_file(log), "both 1\n");

    // "fi" appends and turns terminal output off.
    MESS_set_str(("fi=" + log).c_str());
    testing::internal::CaptureStdout();
    MESS_print(15, "file only\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testutil::read_file(log), "both 1\nfile only\n");

    // "@fi" stamps every message with the time.
    std::string stamped = dir.file("stamped.txt");
    MESS_set_str(("@fi=" + stamped).c_str());
    testing::internal::CaptureStdout();
    MESS_print(15, "stamp\n");
    testing::internal::GetCapturedStdout();
    std::string text = testutil::read_file(stamped);
    EXPECT_NE(text.find(" -- stamp\n"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');

    // "dfi" opens the named file for every message.
    std::string each = dir.file("each.txt");
    MESS_set_str(("dfi=" + each).c_str());
    testing::internal::CaptureStdout();
    MESS_print(15, "a\n");
    MESS_print(15, "b\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "a\nb\n");
    EXPECT_EQ(testutil::read_file(each), "a\nb\n");

    // A message file that cannot be opened is simply not written.
    MESS_set_str("+fi=/nonexistent/dir/x.log");
    testing::internal::CaptureStdout();
    EXPECT_EQ(MESS_print(15, "still here\n"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "still here\n");

    // The log copy receives every printed message, whatever the mode.
    std::string copy = dir.file("copy.txt");
    ASSERT_EQ(MESS_file(copy.c_str(), "w"), 0);
    testing::internal::CaptureStdout();
    MESS_print(15, "copied\n");
    MESS_print(0x100000, "not printed\n");
    testing::internal::GetCapturedStdout();
    MESS_file_close();
    EXPECT_EQ(testutil::read_file(copy), "copied\n");
}

TEST(Messages, LongMessagesAreWhole)
{
    std::string big(5000, 'x');
    testing::internal::CaptureStdout();
    MESS_print(15, "%s\n", big.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), big + "\n");
}

TEST(Messages, Banner)
{
    testing::internal::CaptureStdout();
    MESS_print_prog("SATELLITE IMAGE DISPLAY");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("      SATELLITE IMAGE DISPLAY (Ver ", 0), 0u);
    EXPECT_EQ(out.substr(out.size() - 3), ")\n\n");
    MESS_set_str("warn");
    testing::internal::CaptureStdout();
    MESS_print_prog("X");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
