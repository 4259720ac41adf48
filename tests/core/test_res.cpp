#include "core/res.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/flags.h"
#include "driver/sat.h"
#include "files/date.h"

using testutil::Args;
using testutil::ScratchDir;

namespace {

const int *keyed = SAT_keyed_resources();
const int *positional = SAT_positional_resources();

// Runs the program's start-up with the given arguments after "zyrsat".
// Defaults files are read only from where a test points them.
void init(std::vector<std::string> args, const std::string &defaults = "/nonexistent")
{
    args.insert(args.begin(), "/usr/bin/zyrsat");
    setenv("zyrdefault", defaults.c_str(), 1);
    static std::vector<Args> keep; // RES_get_prog hands out argv[0]
    keep.emplace_back(args);
    RES_init(keep.back().argc(), keep.back().argv(), keyed, positional);
}

std::string get(const char *name)
{
    const char *v = RES_get(name);
    return v ? v : "<absent>";
}

} // namespace

TEST(ResOptions, AbbreviationNameAndPrefixReachTheSameResource)
{
    init({"-pd", "us"});
    EXPECT_EQ(get("plot_domain"), "us");
    RES_clear();
    init({"-plot_domain", "ne"});
    EXPECT_EQ(get("plot_domain"), "ne");
    RES_clear();
    init({"-plot_d", "at"});
    EXPECT_EQ(get("plot_domain"), "at");
    RES_clear();
    // "-in" is con_interval's abbreviation; input's is "inp".
    init({"-in", "5", "-inp", "area"});
    EXPECT_EQ(get("con_interval"), "5");
    EXPECT_EQ(get("input"), "area");
    RES_clear();
    // The first catalogue name that begins with the key wins.
    init({"-co", "x", "-PD", "y"});
    EXPECT_EQ(get("con_path"), "x");
    EXPECT_EQ(get("plot_domain"), "y");
}

TEST(ResOptions, ValueForms)
{
    init({"-pd=us", "--label", "two words", "-cb", "-5", "-sc=-1.5", "-ti", "--", "file"});
    EXPECT_EQ(get("plot_domain"), "us");
    EXPECT_EQ(get("label"), "two words");
    EXPECT_EQ(get("con_base"), "-5");      // a negative number is a value
    EXPECT_EQ(get("plot_scale"), "-1.5");
    EXPECT_EQ(get("title"), "");           // present without a value
    EXPECT_EQ(get("filename"), "file");
}

TEST(ResOptions, SwitchesDoNotSwallowTheNextArgument)
{
    init({"-ba", "sat.area"});
    EXPECT_TRUE(FLAG_batch());
    EXPECT_EQ(get("filename"), "sat.area");
    EXPECT_EQ(MESS_get(), 0xFFu); // batch default level
    RES_clear();
    init({"-h", "x", "-ic", "y"});
    EXPECT_TRUE(FLAG_help());
    EXPECT_EQ(get("filename"), "x\ny");
    int icon = -1;
    EXPECT_EQ(RES_getval("icon", &icon, RES_T_BOOL), 1);
    EXPECT_EQ(icon, 1);
}

TEST(ResOptions, MessageOptionBeatsBatchWhateverTheOrder)
{
    init({"-ba", "-me", "mess"});
    EXPECT_EQ(MESS_get(), 0xFFFu);
    RES_clear();
    MESS_reset();
    init({"-me", "mess", "-ba"});
    EXPECT_EQ(MESS_get(), 0xFFFu);
}

TEST(ResOptions, PositionalNamesAndUnknownOptions)
{
    init({"a.area", "-zz", "3", "b.area", "-qq"});
    EXPECT_EQ(get("filename"), "a.area\nb.area");
    int n = 0;
    char **names = nullptr;
    EXPECT_EQ(RES_getvals("filename", &n, &names), 2);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(names[0], "a.area");
    EXPECT_STREQ(names[1], "b.area");
    free_parsed_array(n, names);
    EXPECT_EQ(get("zz"), "3");
    EXPECT_EQ(get("qq"), "");
    EXPECT_EQ(RES_getvals("nothing", &n, &names), 0);
    EXPECT_EQ(names, nullptr);
}

TEST(ResOptions, OverlongKeysAreCut)
{
    std::string key(60, 'k');
    init({"-" + key, "v", "-" + std::string(70, 'q') + "=w"});
    EXPECT_EQ(get(std::string(49, 'k').c_str()), "v");
    EXPECT_EQ(get(std::string(49, 'q').c_str()), "w");
    EXPECT_EQ(RES_get(key.c_str()), nullptr);
}

TEST(ResSources, PriorityDefaultsThenEnvironmentThenCommandLine)
{
    ScratchDir dir;
    dir.write("zyr.cfg",
              "*label from_file\n"
              "*title from_file\n"
              "*geometry from_file\n");
    setenv("zyrtitle", "from_env", 1);
    setenv("zyrgeometry", "from_env", 1);
    init({"-ge", "from_cl"}, dir.path());
    EXPECT_EQ(get("label"), "from_file");
    EXPECT_EQ(get("title"), "from_env");
    EXPECT_EQ(get("geometry"), "from_cl");
}

TEST(ResSources, EnvironmentLookUpOrder)
{
    setenv("zyrzyrsat.label", "program", 1);
    setenv("zyrlabel", "own", 1);
    setenv("zyrcolor_map", "generic", 1);
    setenv("zyrclrmap", "own_name", 1);
    setenv("zyrplot_param", "generic", 1);
    init({});
    EXPECT_EQ(get("label"), "program");
    EXPECT_EQ(get("color_map"), "own_name");
    EXPECT_EQ(get("plot_param"), "generic");
    RES_clear();
    // With a title the program-specific variable uses it.
    setenv("zyrloop.label", "titled", 1);
    setenv("zyrzyrsat.sub.label", "sub", 1);
    init({"-na", "loop"});
    EXPECT_EQ(get("label"), "titled");
    EXPECT_EQ(get("name"), "loop");
    RES_clear();
    init({"-name=+sub"});
    EXPECT_EQ(get("label"), "sub");
}

TEST(ResSources, DefaultsSearchListOption)
{
    ScratchDir a, b;
    a.write("zyr.cfg", "*label first\n*title first\n");
    b.write(".zyrdef", "*label second\n");
    // Later entries win; "-df" beats "zyrdefault".
    init({"-df", a.path() + ":" + b.path()}, "/nonexistent");
    EXPECT_EQ(get("label"), "second");
    EXPECT_EQ(get("title"), "first");
    EXPECT_EQ(get("default"), a.path() + ":" + b.path());
}

// The program's own defaults file (data/zyr.cfg, found like the other
// run-time data) is read before the search list when no list is given; any
// file of the list overrides it, and a list of one's own leaves it out.
TEST(ResSources, BundledDefaultsComeFirstAndGiveWay)
{
    ScratchDir dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());  // "." of the search list
    auto no_list = [] {
        unsetenv("zyrdefault");
        static Args args({"/usr/bin/zyrsat"});
        RES_init(args.argc(), args.argv(), keyed, positional);
    };
    no_list();
    EXPECT_EQ(get("map_file"), "fi:maps/ladder.lst");
    RES_clear();
    dir.write("zyr.cfg", "*map_file roads.map\n");
    no_list();
    EXPECT_EQ(get("map_file"), "roads.map");
    RES_clear();
    init({"-df", dir.write("empty.cfg", "")});
    EXPECT_EQ(get("map_file"), "<absent>");
    std::filesystem::current_path(before);
}

TEST(ResSources, DirectorySearchOrderAndPlainFiles)
{
    ScratchDir dir;
    dir.write("Zyr.res", "*label res\n");
    init({}, dir.path());
    EXPECT_EQ(get("label"), "res");
    RES_clear();
    dir.write(".zyrdef", "*label zyrdef\n");
    init({}, dir.path());
    EXPECT_EQ(get("label"), "zyrdef");
    RES_clear();
    std::string file = dir.write("my.defaults", "*label plain\n");
    init({}, file);
    EXPECT_EQ(get("label"), "plain");
    RES_clear();
    // Unreadable entries are skipped silently.
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_directory(dir.file("sub/zyr.cfg")); // a folder, not a file
    testing::internal::CaptureStderr();
    init({}, dir.file("sub") + ":/nonexistent/x:" + file);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(get("label"), "plain");
}

TEST(ResSources, DefaultsFileKeysAndValues)
{
    ScratchDir dir;
    dir.write("zyr.cfg",
              "# a comment line\n"
              "*Plot_Param: \"remap 5,bar\"\n"
              "zyrsat.label  L1\n"
              "*.title T1\n"
              "zyrsat*geometry 10x10\n"
              "zyrgrid.background red\n"
              "zyrsat.my_own value_own\n"
              "zyrgrid.other value_other\n"
              "*color_text\n"
              "*c*map starred\n"
              "*t ends_in_t\n"
              "*color_line \"\"\n"
              "zyrsat.color_data green trailing words\n");
    init({}, dir.path());
    EXPECT_EQ(get("plot_param"), "remap 5,bar");
    EXPECT_EQ(get("label"), "L1");
    EXPECT_EQ(get("title"), "T1");
    EXPECT_EQ(get("geometry"), "10x10");
    EXPECT_EQ(get("background"), "<absent>"); // another program's
    EXPECT_EQ(get("my_own"), "value_own");    // not declared, but addressed to us
    EXPECT_EQ(get("other"), "<absent>");
    EXPECT_EQ(get("color_text"), "<absent>"); // one word: skipped
    EXPECT_EQ(get("color_line"), "");
    EXPECT_EQ(get("color_data"), "green");
    EXPECT_EQ(get("color_map"), "starred");
    // A star runs only to the first occurrence of the next part and never
    // backtracks: the "t" of "zyrsat" ends the run, so "*t" does not reach
    // "zyrsat.plot_format" although that name ends in "t".
    EXPECT_EQ(get("plot_format"), "<absent>");
    EXPECT_EQ(get("t"), "<absent>");
}

TEST(ResSources, LongDefaultsLinesAreCut)
{
    ScratchDir dir;
    std::string value(300, 'v');
    dir.write("zyr.cfg", "*label " + value + "\n*title ok\n");
    init({}, dir.path());
    EXPECT_EQ(get("label"), std::string(249 - 7, 'v'));
    EXPECT_EQ(get("title"), "ok"); // the rest of the long line was not read as a line
}

TEST(ResSources, ConditionalBlocks)
{
    ScratchDir dir;
    dir.write("zyr.cfg",
              "IF night\n"
              "*label night\n"
              "ELIF day\n"
              "*label day\n"
              "  IF inner\n"
              "  *title inner\n"
              "  ELSE\n"
              "  *title not_inner\n"
              "  END\n"
              "ELSE\n"
              "*label neither\n"
              "END\n"
              "DEF late\n"
              "IF late\n"
              "*geometry late\n"
              "END\n"
              "IF night\n"
              "DEF from_skipped_block\n"
              "END\n"
              "IF from_skipped_block\n"
              "*background defined\n"
              "END\n"
              "UNDEF late\n"
              "IF late\n"
              "*icon yes\n"
              "END\n");
    init({}, "+day:" + dir.path());
    EXPECT_EQ(get("label"), "day");
    EXPECT_EQ(get("title"), "not_inner");
    EXPECT_EQ(get("geometry"), "late");
    EXPECT_EQ(get("background"), "defined"); // DEF acts even where the block does not apply
    EXPECT_EQ(get("icon"), "<absent>");
    RES_clear();
    init({}, "+night:+day:" + dir.path());
    EXPECT_EQ(get("label"), "night"); // ELIF only when no earlier branch applied
    RES_clear();
    init({}, dir.path());
    EXPECT_EQ(get("label"), "neither");
    EXPECT_EQ(get("title"), "<absent>");
}

TEST(ResSources, StrayDirectivesAreReported)
{
    ScratchDir dir;
    dir.write("zyr.cfg", "ELSE\nELIF x\nEND\n*label ok\n");
    testing::internal::CaptureStderr();
    init({}, dir.path());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DEF_get: else without an if\nDEF_get: elif without an if\nDEF_get: end without an if\n");
    EXPECT_EQ(get("label"), "ok");
}

TEST(ResConvert, Types)
{
    RES_put("b1", nullptr);
    RES_put("b2", "OFF");
    RES_put("b3", "maybe");
    int b = 7;
    RES_getval("b1", &b, RES_T_BOOL);
    EXPECT_EQ(b, 1);
    RES_getval("b2", &b, RES_T_BOOL);
    EXPECT_EQ(b, 0);
    RES_getval("b3", &b, RES_T_BOOL);
    EXPECT_EQ(b, 0); // unchanged

    RES_put("hex", "0x1F");
    RES_put("neg", "-12");
    RES_put("word", "abc");
    int i = 5;
    RES_getval("hex", &i, RES_T_INT);
    EXPECT_EQ(i, 31);
    RES_getval("neg", &i, RES_T_INT);
    EXPECT_EQ(i, -12);
    RES_getval("word", &i, RES_T_INT);
    EXPECT_EQ(i, -12);
    RES_getval("neg", &i, RES_T_UINT); // needs a leading digit
    EXPECT_EQ(i, -12);
    RES_getval("word", &i, RES_T_INT_ANY);
    EXPECT_EQ(i, 0);
    short s = 0;
    RES_put("short", "40000");
    RES_getval("short", &s, RES_T_SHORT);
    EXPECT_EQ(s, (short)40000);
    float f = 0;
    RES_put("f", "2.5e1");
    RES_getval("f", &f, RES_T_FLOAT);
    EXPECT_FLOAT_EQ(f, 25.0f);

    const char *text = nullptr;
    RES_getval("word", &text, RES_T_TEXT);
    EXPECT_EQ(text, RES_get("word"));
    char copy[RES_COPY_SIZE];
    RES_put("long", std::string(300, 'x').c_str());
    RES_getval("long", copy, RES_T_COPY);
    EXPECT_EQ(std::strlen(copy), (size_t)RES_COPY_SIZE - 1);

    char *path = nullptr;
    RES_put("p1", "/data/sat");
    RES_getval("p1", &path, RES_T_PATH);
    EXPECT_STREQ(path, "/data/sat/");
    std::free(path);
    RES_put("p2", "NONE");
    RES_getval("p2", &path, RES_T_PATH);
    EXPECT_STREQ(path, "");
    std::free(path);

    EXPECT_EQ(RES_getval("absent", &i, RES_T_INT), 0);
    EXPECT_EQ(RES_getval("word", nullptr, RES_T_INT), 0);
}

TEST(ResConvert, FlagSettingTypes)
{
    init({"-pf", "reuse", "-pl", "STREAM"});
    EXPECT_EQ(FLAG_get(FLAG_FILE_PARAM), 3);
    EXPECT_EQ(FLAG_get(FLAG_PLOT_TYPE), 23);
    EXPECT_EQ(FLAG_get(FLAG_DEVICE), -9999); // device acts only for a reader with a destination

    const char *name = nullptr;
    RES_put("dev", "ps,out.ps");
    RES_getval("dev", &name, RES_T_DEVICE);
    EXPECT_EQ(FLAG_get(FLAG_DEVICE), 4);
    EXPECT_STREQ(name, "out.ps");
    for (auto [text, code] : {std::pair{"hpgl", 5}, {"q", 5}, {"meta", 3}, {"w", 6}, {"display", 1}, {"", 1}}) {
        RES_put("dev", text);
        RES_getval("dev", &name, RES_T_DEVICE);
        EXPECT_EQ(FLAG_get(FLAG_DEVICE), code) << text;
    }
    RES_put("pt", "unknown");
    RES_getval("pt", &name, RES_T_PLOT_TYPE);
    EXPECT_EQ(FLAG_get(FLAG_PLOT_TYPE), 23);
}

TEST(ResConvert, DrawComponents)
{
    init({"-dr", "map"});
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) {
        if (e != PLOT_MAP && e != PLOT_ANY) {
            EXPECT_EQ(FLAG_getplot(e), 0u) << e;
        }
    }
    EXPECT_EQ(FLAG_getplot(PLOT_MAP), 1u);
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 1u);

    RES_set_draw("+grid,-data");
    EXPECT_EQ(FLAG_getplot(PLOT_GRID), 1u);
    EXPECT_EQ(FLAG_getplot(PLOT_MAP), 1u);

    RES_set_draw("all");
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 17u);
    RES_set_draw("+map"); // a signed first item switches nothing else off
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 17u);
    RES_set_draw("text,sum");
    EXPECT_EQ(FLAG_getplot(PLOT_TEXT), 6u);
    EXPECT_EQ(FLAG_getplot(PLOT_BORDER), 1u);
    EXPECT_EQ(FLAG_getplot(PLOT_SUM), 1u);
    EXPECT_EQ(FLAG_getplot(PLOT_DATA), 0u);
    RES_set_draw("none");
    EXPECT_EQ(FLAG_getplot(PLOT_ANY), 0u);
}

TEST(ResConvert, TimeZoneFromEnvironment)
{
    setenv("zyrtz", "-CST:-6", 1);
    init({});
    EXPECT_EQ(DATE_get_tz_off(), -6 * 3600);
}

TEST(ResList, ParseString)
{
    int n = 0;
    char **a = nullptr;
    EXPECT_EQ(parse_string("a,b,", ',', &n, &a), 0);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(a[1], "b");
    free_parsed_array(n, a);
    EXPECT_EQ(parse_string("a,,b", ',', &n, &a), 0);
    ASSERT_EQ(n, 3);
    EXPECT_STREQ(a[1], "");
    EXPECT_STREQ(a[2], "b");
    free_parsed_array(n, a);
    EXPECT_EQ(parse_string(" a , b", ',', &n, &a), 0);
    EXPECT_STREQ(a[0], " a "); // no blank trimming
    free_parsed_array(n, a);
    EXPECT_EQ(parse_string("", ',', &n, &a), -1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(parse_string(nullptr, ',', &n, &a), -1);
    EXPECT_EQ(parse_string(",,,", ',', &n, &a), -1);
    EXPECT_EQ(n, 0);
}

TEST(ResList, ValueListOperations)
{
    RES_put("x", "1");
    RES_new(-9999, "x", "2", RES_T_TEXT);
    EXPECT_EQ(get("x"), "2");
    RES_append(-9999, "x", "3", RES_T_TEXT);
    EXPECT_EQ(get("x"), "2\n3");
    RES_append(-9999, "y", "only", RES_T_TEXT);
    EXPECT_EQ(get("y"), "only");
    EXPECT_EQ(RES_get("X"), nullptr); // names are case-sensitive
    int n = 0;
    char **a = nullptr;
    RES_put("list", "a,b,c");
    EXPECT_EQ(RES_getvals("list", &n, &a), 3);
    free_parsed_array(n, a);

    testing::internal::CaptureStdout();
    RES_put("empty", nullptr);
    RES_list();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "x: 2\n3\ny: only\nlist: a,b,c\nempty:\n");
}

TEST(ResCatalogue, ProgramNameAndUnknownIds)
{
    init({});
    EXPECT_STREQ(RES_get_prog(), "/usr/bin/zyrsat");
    char buf[RES_COPY_SIZE];
    EXPECT_STREQ(RES_get_progname(buf), "zyrsat");
    char *own = RES_get_progname(nullptr);
    EXPECT_STREQ(own, "zyrsat");
    std::free(own);

    RES_DESC d;
    testing::internal::CaptureStdout();
    EXPECT_EQ(RES_enter(&d, 9999), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "9999\n");
    EXPECT_STREQ(d.name, "");
    ASSERT_EQ(RES_enter(&d, RES_INPUT_IN), 0);
    EXPECT_STREQ(d.name, "input");
    EXPECT_STREQ(d.abbrev, "in");
}

TEST(ResCatalogue, HelpSwitchFromEnvironmentAndUnknownIdsInLists)
{
    setenv("zyrhelp", "", 1);
    init({});
    EXPECT_TRUE(FLAG_help());
    RES_clear();
    const int odd[] = {RES_LABEL, 4242, 0};
    testing::internal::CaptureStdout();
    Args args{"zyrsat", "-la", "x"};
    RES_init(args.argc(), args.argv(), odd, positional);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "4242\n");
    EXPECT_EQ(get("label"), "x");
}
