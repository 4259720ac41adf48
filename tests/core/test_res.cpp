// The resource store: its four sources (command line, environment,
// defaults files, the program's own defaults) and the value conversions.
#include "core/res.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <list>

#include "../test_support.h"
#include "core/flags.h"
#include "driver/sat.h"
#include "files/date.h"

namespace {

using testutil::stdout_of;

// Runs the program's start-up with the given arguments after the program.
int init(std::vector<std::string> args, const char *prog = "/usr/bin/zyrsat", const int *ids = SAT_keyed_resources())
{
    args.insert(args.begin(), prog);
    static std::list<testutil::Args> keep;  // RES_get_prog hands out argv[0]
    keep.emplace_back(args);
    return RES_init(keep.back().argc(), keep.back().argv(), ids, SAT_positional_resources());
}

std::string get(const std::string &name)
{
    const char *v = RES_get(name.c_str());
    return v ? v : "<absent>";
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// One start-up: files written below a scratch folder (also the working
// folder, the "." of the built-in search list), variables set (zyrdefault
// is the folder unless a row sets it; "-" unsets), the arguments decoded;
// the resources then hold `want` ("<absent>" for none) and standard error
// `err`.  "$D" stands for the scratch folder everywhere.
struct Source {
    const char *name;
    std::vector<std::string> args;
    Pairs files, env, want;
    const char *err = "";
    std::function<void()> also = [] {};
};

const std::string k60(60, 'k'), q70(70, 'q');
// Conditional blocks: ELIF only when no earlier branch applied, DEF acts even
// where its block does not apply, UNDEF takes a tag back.
const Pairs kBlocks = {{"zyr.cfg", "IF night\n*label night\nELIF day\n*label day\n  IF inner\n  *title inner\n"
                                   "  ELSE\n  *title not_inner\n  END\nELSE\n*label neither\nEND\nDEF late\nIF late\n"
                                   "*geometry late\nEND\nIF night\nDEF from_skipped_block\nEND\nIF from_skipped_block\n"
                                   "*background defined\nEND\nUNDEF late\nIF late\n*icon yes\nEND\n"}};

const Source sources[] = {
    // Options: abbreviation, name, prefix; the first catalogue name a key
    // begins wins ("-in" is con_interval's, input's is "inp").
    {"abbreviation, full name, prefix", {"-pd", "us", "-label", "L", "-geom", "g", "-in", "5", "-inp", "a"}, {},
     {}, {{"plot_domain", "us"}, {"label", "L"}, {"geometry", "g"}, {"con_interval", "5"}, {"input", "a"}}},
    {"first begun name, any case", {"-co", "x", "-PD", "y"}, {}, {}, {{"con_path", "x"}, {"plot_domain", "y"}}},
    {"value forms", {"-pd=us", "--label", "two words", "-cb", "-5", "-sc=-1.5", "-ti", "--", "file"}, {}, {},
     {{"plot_domain", "us"}, {"label", "two words"}, {"con_base", "-5"}, {"plot_scale", "-1.5"}, {"title", ""},
      {"filename", "file"}}},
    {"positional names, unknown options", {"a.area", "-zz", "3", "b.area", "-qq"}, {}, {},
     {{"filename", "a.area\nb.area"}, {"zz", "3"}, {"qq", ""}}},
    {"overlong keys are cut to 49", {"-" + k60, "v", "-" + q70 + "=w"}, {}, {},
     {{k60.substr(11), "v"}, {q70.substr(21), "w"}, {k60, "<absent>"}}},
    {"switches take no value", {"-ba", "sat.area"}, {}, {}, {{"filename", "sat.area"}}, "",
     [] { EXPECT_TRUE(FLAG_batch()); EXPECT_EQ(MESS_get(), 0xFFu); }},  // the batch default level
    {"help and icon switches", {"-h", "x", "-ic", "y"}, {}, {}, {{"filename", "x\ny"}, {"icon", ""}}, "",
     [] { EXPECT_TRUE(FLAG_help()); }},
    {"message after batch", {"-ba", "-me", "mess"}, {}, {}, {}, "", [] { EXPECT_EQ(MESS_get(), 0xFFFu); }},
    {"message before batch", {"-me", "mess", "-ba"}, {}, {}, {}, "", [] { EXPECT_EQ(MESS_get(), 0xFFFu); }},
    {"help and time zone from the environment", {}, {}, {{"zyrhelp", ""}, {"zyrtz", "-CST:-6"}}, {}, "",
     [] { EXPECT_TRUE(FLAG_help() && DATE_get_tz_off() == -6 * 3600); }},
    {"priority: file, environment, command line", {"-ge", "from_cl"},
     {{"zyr.cfg", "*label from_file\n*title from_file\n*geometry from_file\n"}},
     {{"zyrtitle", "from_env"}, {"zyrgeometry", "from_env"}},
     {{"label", "from_file"}, {"title", "from_env"}, {"geometry", "from_cl"}}},
    // Environment: the program's own variable, the catalogue's, the generic.
    {"environment order", {}, {},
     {{"zyrzyrsat.label", "program"}, {"zyrlabel", "own"}, {"zyrcolor_map", "generic"}, {"zyrclrmap", "own_name"},
      {"zyrplot_param", "generic"}},
     {{"label", "program"}, {"color_map", "own_name"}, {"plot_param", "generic"}}},
    {"environment with a title", {"-na", "loop"}, {}, {{"zyrloop.label", "titled"}, {"zyrzyrsat.label", "program"}},
     {{"label", "titled"}, {"name", "loop"}}},
    {"environment with a +title", {"-name=+sub"}, {}, {{"zyrzyrsat.sub.label", "sub"}, {"zyrlabel", "own"}},
     {{"label", "sub"}}},
    // The search list: later entries win; "-df" beats zyrdefault.
    {"-df list", {"-df", "$D/a:$D/b"}, {{"a/zyr.cfg", "*label first\n*title first\n"}, {"b/.zyrdef", "*label second\n"}},
     {{"zyrdefault", "/nonexistent"}}, {{"label", "second"}, {"title", "first"}, {"default", "$D/a:$D/b"}}},
    {"Zyr.res in a folder", {}, {{"Zyr.res", "*label res\n"}}, {}, {{"label", "res"}}},
    {".zyrdef before Zyr.res", {}, {{"Zyr.res", "*label res\n"}, {".zyrdef", "*label zyrdef\n"}}, {}, {{"label", "zyrdef"}}},
    {"plain file, unreadable entries skipped", {}, {{"sub/zyr.cfg/x", ""}, {"my.def", "*label plain\n"}},
     {{"zyrdefault", "$D/sub:/nonexistent/x:$D/my.def"}}, {{"label", "plain"}}},
    // The bundled defaults come first and give way to any file of the list;
    // a list of one's own leaves them out.
    {"bundled defaults", {}, {}, {{"zyrdefault", "-"}}, {{"map_file", "fi:maps/ladder.lst"}}},
    {"bundled defaults give way", {}, {{"zyr.cfg", "*map_file roads.map\n"}}, {{"zyrdefault", "-"}},
     {{"map_file", "roads.map"}}},
    {"own list, no bundled defaults", {"-df", "$D/e.cfg"}, {{"e.cfg", ""}}, {}, {{"map_file", "<absent>"}}},
    // Keys with stars, other programs, values.  A star runs only to the first
    // occurrence of the next part and never backtracks, so "*t" does not
    // reach "zyrsat.plot_format".
    {"defaults file lines", {},
     {{"zyr.cfg", "# a comment line\n*Plot_Param: \"remap 5,bar\"\nzyrsat.label  L1\n*.title T1\n"
                  "zyrsat*geometry 10x10\nzyrgrid.background red\nzyrsat.my_own value_own\n"
                  "zyrgrid.other value_other\n*color_text\n*c*map starred\n*t ends_in_t\n"
                  "*color_line \"\"\nzyrsat.color_data green trailing words\n"}}, {},
     {{"plot_param", "remap 5,bar"}, {"label", "L1"}, {"title", "T1"}, {"geometry", "10x10"}, {"background", "<absent>"},
      {"my_own", "value_own"}, {"other", "<absent>"}, {"color_text", "<absent>"}, {"color_line", ""},
      {"color_data", "green"}, {"color_map", "starred"}, {"plot_format", "<absent>"}, {"t", "<absent>"}}},
    // A 249-character line buffer, 7 of it "*label "; the rest of the long
    // line is not read as a line of its own.
    {"long lines are cut", {}, {{"zyr.cfg", "*label " + std::string(300, 'v') + "\n*title ok\n"}}, {},
     {{"label", std::string(242, 'v')}, {"title", "ok"}}},
    {"stray directives", {}, {{"zyr.cfg", "ELSE\nELIF x\nEND\n*label ok\n"}}, {}, {{"label", "ok"}},
     "DEF_get: else without an if\nDEF_get: elif without an if\nDEF_get: end without an if\n"},
    {"tag day", {}, kBlocks, {{"zyrdefault", "+day:$D"}},
     {{"label", "day"}, {"title", "not_inner"}, {"geometry", "late"}, {"background", "defined"}, {"icon", "<absent>"}}},
    {"tags night and day", {}, kBlocks, {{"zyrdefault", "+night:+day:$D"}}, {{"label", "night"}}},
    {"no tag", {}, kBlocks, {}, {{"label", "neither"}, {"title", "<absent>"}}},
};

std::string subst(std::string s, const std::string &dir)
{
    for (size_t at; (at = s.find("$D")) != std::string::npos;) s.replace(at, 2, dir);
    return s;
}

} // namespace

TEST(ResSources, Table)
{
    for (const Source &c : sources) {
        SCOPED_TRACE(c.name);
        SAT_reset_all();
        testutil::ScratchDir dir;
        std::filesystem::current_path(dir.path());
        setenv("zyrdefault", dir.path().c_str(), 1);
        for (const auto &[rel, text] : c.files) {
            std::filesystem::create_directories(std::filesystem::path(dir.file(rel)).parent_path());
            dir.write(rel, text);
        }
        for (const auto &[var, value] : c.env) {
            if (value == "-") unsetenv(var.c_str());
            else setenv(var.c_str(), subst(value, dir.path()).c_str(), 1);
        }
        std::vector<std::string> args;
        for (const auto &a : c.args) args.push_back(subst(a, dir.path()));
        EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(init(args), 1); }), c.err);
        for (const auto &[name, value] : c.want) EXPECT_EQ(get(name), subst(value, dir.path())) << name;
        c.also();
        for (const auto &[var, value] : c.env) unsetenv(var.c_str());
        std::filesystem::current_path("/");
    }
}

// Conversions into an int destination that starts at 7; other types.
TEST(ResConvert, Types)
{
    struct Case { const char *value; int type, result; } cases[] = {
        {nullptr, RES_T_BOOL, 1}, {"OFF", RES_T_BOOL, 0}, {"yes", RES_T_BOOL, 1}, {"maybe", RES_T_BOOL, 7},
        {"0x1F", RES_T_INT, 31}, {"-12", RES_T_INT, -12}, {"+3", RES_T_INT, 3}, {"abc", RES_T_INT, 7},
        {"-12", RES_T_UINT, 7}, {"12", RES_T_UINT, 12}, {"abc", RES_T_INT_ANY, 0}, {nullptr, RES_T_INT, 7}};
    for (const Case &c : cases) {
        RES_put("v", c.value);
        int i = 7;
        EXPECT_EQ(RES_getval("v", &i, c.type), 1);
        EXPECT_EQ(i, c.result) << (c.value ? c.value : "null") << " " << c.type;
    }
    short s = 0;
    EXPECT_EQ(RES_getval("absent", &s, RES_T_INT) + RES_getval("v", nullptr, RES_T_INT), 0);
    float f = 0;
    const char *text = nullptr;
    char copy[RES_COPY_SIZE];
    RES_put("n", "40000");
    RES_put("long", std::string(300, 'x').c_str());
    RES_getval("n", &s, RES_T_SHORT), RES_getval("n", &f, RES_T_FLOAT), RES_getval("n", &text, RES_T_TEXT);
    EXPECT_EQ(s, 40000 - 65536);
    EXPECT_FLOAT_EQ(f, 40000.0f);
    EXPECT_EQ(text, RES_get("n"));
    EXPECT_EQ((RES_getval("long", copy, RES_T_COPY), std::strlen(copy)), (size_t)RES_COPY_SIZE - 1);
    for (auto [value, path] : {std::pair{"/data/sat", "/data/sat/"}, {"NONE", ""}}) {
        char *got = nullptr;
        RES_put("p", value);
        RES_getval("p", &got, RES_T_PATH);
        EXPECT_STREQ(got, path);
        std::free(got);
    }
}

// The keyword decoders that set a flag: value, type, code, and what a
// device's destination then reads.  Then the draw list: an element after
// each text, in turn (PLOT_ANY sums 11 elements and the six-text sum).
TEST(ResConvert, KeywordsAndDrawList)
{
    enum { P = RES_T_FILE_PARAM, T = RES_T_PLOT_TYPE, D = RES_T_DEVICE };
    struct Case { const char *value; int type, code; const char *dest = nullptr; } cases[] = {
        {"reuse", P, 3}, {"APP", P, 2}, {"recalc", P, 1}, {"junk", P, -9999}, {"STREAM", T, 23}, {"raw", T, 0},
        {"hodo", T, 69}, {"unknown", T, -9999}, {"ps,out.ps", D, 4, "out.ps"}, {"hpgl", D, 5}, {"q", D, 5},
        {"meta", D, 3}, {"w", D, 6}, {"display", D, 1}, {"", D, 1}, {",x.ps", D, 1, "x.ps"}};
    for (const Case &c : cases) {
        FLAG_reset(-9999);
        const char *dest = nullptr;
        RES_conv_data(c.value, &dest, c.type);
        EXPECT_EQ(FLAG_get(c.type == P ? FLAG_FILE_PARAM : c.type == T ? FLAG_PLOT_TYPE : FLAG_DEVICE), c.code) << c.value;
        EXPECT_STREQ(dest, c.dest) << c.value;
    }
    // Through the start-up; the device acts only for a reader with a
    // destination.
    init({"-pf", "reuse", "-pl", "STREAM", "-de", "ps", "-dr", "map"});
    EXPECT_EQ(FLAG_get(FLAG_FILE_PARAM) * 100 + FLAG_get(FLAG_PLOT_TYPE), 323);
    EXPECT_EQ(FLAG_get(FLAG_DEVICE), -9999);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) EXPECT_EQ(FLAG_getplot(e), e == PLOT_MAP || e == PLOT_ANY) << e;
    struct Draw { const char *text; int element; uint32_t value; } draws[] = {
        {"+grid,-data", PLOT_GRID, 1}, {"+grid,-data", PLOT_MAP, 1}, {"all", PLOT_ANY, 17}, {"+map", PLOT_ANY, 17},
        {"text,sum", PLOT_TEXT, 6}, {"text,sum", PLOT_BORDER, 1}, {"text,sum", PLOT_SUM, 1}, {"text,sum", PLOT_DATA, 0},
        {"-text", PLOT_BORDER, 0}, {"none", PLOT_ANY, 0}, {"bord,text_ul", PLOT_ANY, 3}, {",,", PLOT_ANY, 3}};
    for (const Draw &c : draws) EXPECT_EQ((RES_set_draw(c.text), FLAG_getplot(c.element)), c.value) << c.text;
}

TEST(ResList, ParseStringAndValueLists)
{
    struct Case { const char *text; int result; std::vector<std::string> fields; } cases[] = {
        {"a,b,", 0, {"a", "b"}}, {"a,,b", 0, {"a", "", "b"}}, {" a , b", 0, {" a ", " b"}},
        {"", -1, {}}, {nullptr, -1, {}}, {",,,", -1, {}}};
    for (const Case &c : cases) {
        int n = 7;
        char **a = nullptr;
        EXPECT_EQ(parse_string(c.text, ',', &n, &a), c.result);
        EXPECT_EQ(std::vector<std::string>(a, a + n), c.fields) << (c.text ? c.text : "null");
        free_parsed_array(n, a);
    }
    init({"a.area", "b.area"});
    int n = 0;
    char **names = nullptr;
    EXPECT_EQ(RES_getvals("filename", &n, &names), 2);
    EXPECT_EQ(std::vector<std::string>(names, names + n), (std::vector<std::string>{"a.area", "b.area"}));
    free_parsed_array(n, names);
    EXPECT_EQ(RES_getvals("nothing", &n, &names), 0);
    EXPECT_EQ(names, nullptr);
    RES_clear();
    RES_put("x", "1");
    RES_new(-9999, "x", "2", RES_T_TEXT);
    RES_append(-9999, "x", "3", RES_T_TEXT);
    RES_append(-9999, "y", "only", RES_T_TEXT);
    RES_put("e", nullptr);
    RES_append(-9999, "e", "z", RES_T_TEXT);
    EXPECT_EQ(RES_get("X"), nullptr);  // names are case-sensitive
    EXPECT_EQ(RES_new(0, nullptr, "v", RES_T_TEXT), -1);
    RES_put("list", "a,b,c");
    EXPECT_EQ(RES_getvals("list", nullptr, nullptr), 3);
    RES_put("empty", nullptr);
    EXPECT_EQ(stdout_of(RES_list), "x: 2\n3\ny: only\ne: z\nlist: a,b,c\nempty:\n");
}

TEST(ResCatalogue, ProgramNameAndUnknownIds)
{
    char buf[RES_COPY_SIZE];
    EXPECT_STREQ(RES_get_progname(buf), "ZYR");  // before any start-up
    init({});
    EXPECT_STREQ(RES_get_prog(), "/usr/bin/zyrsat");
    EXPECT_STREQ(RES_get_progname(buf), "zyrsat");
    char *own = RES_get_progname(nullptr);
    EXPECT_STREQ(own, "zyrsat");
    std::free(own);
    RES_DESC d;
    EXPECT_EQ(stdout_of([&] { EXPECT_EQ(RES_enter(&d, 9999), -1); }), "9999\n");
    EXPECT_STREQ(d.name, "");
    ASSERT_EQ(RES_enter(&d, RES_INPUT_IN), 0);
    EXPECT_EQ(std::string(d.name) + "/" + d.abbrev, "input/in");
    // An unknown id in the keyed list is reported and left out; a program
    // name without a folder.
    RES_clear();
    const int odd[] = {RES_LABEL, 4242, 0};
    EXPECT_EQ(stdout_of([&] { init({"-la", "x"}, "zyrsat", odd); }), "4242\n");
    EXPECT_EQ(get("label"), "x");
}
