// The flag slots, the plot-element switches and the levelled messages.
#include "core/flags.h"

#include <gtest/gtest.h>

#include <regex>

#include "../test_support.h"

using testutil::stdout_of;

// Out-of-range slots read as 0 and refuse writes; the 32-bit read is the low
// half of the 64-bit slot.  PLOT_TEXT sums its six corner texts, PLOT_ANY
// every element and the text sum: 11 + 6 when all are on.
TEST(Flags, SlotsAndPlotElementSums)
{
    FLAG_reset(-9999);
    EXPECT_EQ(FLAG_get(FLAG_INPUT), -9999);
    EXPECT_EQ((FLAG_set(FLAG_INPUT, 51), FLAG_get(FLAG_INPUT)), 51);
    EXPECT_EQ(FLAG_get(FLAG_NUM_SLOTS) + FLAG_getl(FLAG_NUM_SLOTS), 0);
    EXPECT_EQ(FLAG_set(FLAG_NUM_SLOTS, 1) + FLAG_set(-1, 1), -2);
    FLAG_setl(3, (int64_t{5} << 32) | 7);
    EXPECT_EQ(FLAG_get(3), 7);
    EXPECT_EQ(FLAG_getl(3), (int64_t{5} << 32) | 7);
    EXPECT_FALSE(FLAG_batch() || FLAG_help());
    EXPECT_TRUE((FLAG_set_batch(1), FLAG_batch()));
    for (int i = 0; i < PLOT_NUM_ELEMENTS; ++i) EXPECT_EQ(FLAG_getplot(i), 1u) << i;
    struct Case { int element; uint32_t on, text, any; } cases[] = {
        {PLOT_TEXT, 0, 0, 5},     // data, map, grid, summary, border
        {PLOT_TEXT_UR, 1, 1, 7},  // the text sum and the element itself
        {PLOT_ANY, 0, 0, 0}, {PLOT_ANY, 1, 6, 17}};
    for (const Case &c : cases) {
        FLAG_setplot(c.element, c.on);
        EXPECT_EQ(FLAG_getplot(PLOT_TEXT) * 100 + FLAG_getplot(PLOT_ANY), c.text * 100 + c.any) << c.element;
    }
    EXPECT_EQ((FLAG_resetplot(0), FLAG_getplot(PLOT_ANY)), 0u);
    EXPECT_EQ(FLAG_setplot(PLOT_NUM_ELEMENTS, 1), -1);
    EXPECT_EQ(FLAG_getplot(PLOT_NUM_ELEMENTS), 0u);
}

// Level texts in turn from the default 0xFFFFF, then MESS_set codes
// (0/10/20 set, 1/11/21 add, -1/9/19 remove; 16 and up are program
// defaults that give way once the user set a level).  Masks by hand from
// the classes: print 0xF, error 0x30, warn 0xC0, mess 0xF00, out1..4
// 0xF000..0xF000000, debug 0xF0000000; a plain item fills every bit below
// its top one, a trailing a..d keeps one bit of each nibble.
TEST(Messages, Levels)
{
    struct Text { const char *text; uint32_t level; } texts[] = {
        {"mess", 0xFFF}, {"-warn", 0xF3F}, {"+out3", 0xF00F3F}, {"debugd", 0xFFFFFFFF}, {"out1a", 0x1FFF},
        {"print,+debugc", 0x4000000F}, {"ERROR", 0x3F}, {"+OUT2B", 0x2003F}, {"bogus", 0}, {"none", 0}};
    EXPECT_EQ(MESS_get(), 0xFFFFFu);
    for (const Text &c : texts) EXPECT_EQ((MESS_set_str(c.text), MESS_get()), c.level) << c.text;
    EXPECT_EQ(MESS_check_set(), 10);
    EXPECT_FALSE(MESS_check(MESS_OUT1));
    MESS_reset();
    struct Code { int code; uint32_t bits, level; } codes[] = {
        {20, 0xFF, 0xFF}, {0, 0xF00, 0xFFF}, {20, 0xF, 0xFFF}, {21, 0xF000, 0xFFF}, {19, 0xF, 0xFFF},
        {11, 0xF000, 0xFFFF}, {9, 0xF, 0xFFF0}, {22, 0, 0xFFF0}, {-2, 0, 0xFFF0}, {0, 0x80000000u, 0xFFFFFFFF}};
    for (const Code &c : codes) EXPECT_EQ((MESS_set(c.code, c.bits), MESS_get()), c.level) << c.code;
    EXPECT_TRUE(MESS_check(MESS_OUT1));
    EXPECT_EQ(MESS_set_str(nullptr), 0);
}

// Where one message goes under a level: its return, standard output, and
// standard error for errors and warnings.
TEST(Messages, Destinations)
{
    struct Case { const char *level; uint32_t mask; int printed; const char *out, *err; } cases[] = {
        {"none", MESS_ERROR, 0, "", ""}, {"none", 15, 0, "", ""}, {"", 192, 1, "", "m\n"},
        {"", 0x30, 1, "", "m\n"},       {"", 3840, 1, "m\n", ""}, {"", 0x100000, 0, "", ""}};
    for (const Case &c : cases) {
        MESS_reset();
        if (*c.level) MESS_set_str(c.level);
        std::string out, err = testutil::stderr_of([&] {
            out = stdout_of([&] { EXPECT_EQ(MESS_print(c.mask, "%s\n", "m"), c.printed) << c.mask; });
        });
        EXPECT_EQ(out + "|" + err, std::string(c.out) + "|" + c.err) << c.mask;
    }
    std::string big(5000, 'x');  // longer than the first buffer: still whole
    std::string out = stdout_of([&] {
        MESS_print(15, "%s\n", big.c_str());
        MESS_print_prog("SATELLITE IMAGE DISPLAY");
    });
    EXPECT_EQ(out.rfind(big + "\n      SATELLITE IMAGE DISPLAY (Ver ", 0), 0u);
    EXPECT_EQ(out.substr(out.size() - 3), ")\n\n");
    MESS_set_str("warn");  // the banner is a message
    EXPECT_EQ(stdout_of([] { MESS_print_prog("X"); }), "");
}

// Paging pauses once after a full page (22 lines) and takes one character;
// never in batch mode or without paging.
TEST(Messages, Paging)
{
    testutil::feed_stdin("\n\n\nx");
    MESS_set_str("page");
    EXPECT_EQ(stdout_of([] {
                  MESS_print(15, "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n");  // lines counted in the format
                  MESS_print(15, "one more\n");
              }),
              std::string(23, '\n') + "Press return to continue\none more\n");
    EXPECT_EQ(std::getchar(), '\n');
    EXPECT_EQ(std::getchar(), '\n');
    MESS_set_str("page,line=5");
    EXPECT_EQ(MESS_get_max_lines(), 5);
    FLAG_set_batch(1);
    EXPECT_EQ(stdout_of([] {
                  MESS_print(15, "\n\n\n\n\n\n\n\n\n\n");
                  EXPECT_EQ(MESS_hold(15, "hold\n"), 0);
              }),
              "\n\n\n\n\n\n\n\n\n\n");
    FLAG_set_batch(0);
    MESS_set_str("nopage");
    EXPECT_EQ(MESS_hold(15, "hold\n"), 0);
    EXPECT_EQ((MESS_set_str("line=0"), MESS_get_max_lines()), 22);
    EXPECT_EQ(std::getchar(), 'x');  // nothing more was read
}

// The message file items, each after the one before: what the terminal
// shows and what the file then holds.
TEST(Messages, MessageFiles)
{
    testutil::ScratchDir dir;
    dir.write("log", "old\n");
    struct Case { std::string item, file, terminal, holds; } cases[] = {
        {"-fi=", "log", "m1\n", "m1\n"},       // truncates; the terminal goes on
        {"fi=", "log", "", "m1\nm2\n"},        // appends; the file only
        {"dfi=", "each", "m3\n", "m3\n"},      // opened for every message
        {"+fi=", "no/such/dir", "m4\n", ""}};  // cannot open: not written
    int n = 0;
    for (const Case &c : cases) {
        MESS_set_str((c.item + dir.file(c.file)).c_str());
        EXPECT_EQ(stdout_of([&] { EXPECT_EQ(MESS_print(15, "m%d\n", ++n), 1) << c.item; }), c.terminal) << c.item;
        EXPECT_EQ(testutil::read_file(dir.file(c.file)), c.holds) << c.item;
    }
    MESS_set_str(("@fi=" + dir.file("stamped")).c_str());  // stamps messages with the time
    ASSERT_EQ(MESS_file(dir.file("copy").c_str(), "w"), 0);  // the log copy gets every printed one
    EXPECT_EQ(MESS_file(nullptr, "w"), -1);
    ASSERT_EQ(MESS_file(dir.file("copy").c_str(), ""), 0);
    stdout_of([] {
        MESS_print(15, "copied\n");
        MESS_print(0x100000, "not printed\n");
    });
    MESS_file_close();
    EXPECT_EQ(testutil::read_file(dir.file("copy")), "copied\n");
    std::string text = testutil::read_file(dir.file("stamped"));
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d [A-Z]{3} \d\d  \d\d:\d\d:\d\dZ -- copied\n)"))) << text;
}
