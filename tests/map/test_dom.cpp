// Domain strings, named regions, the region file and the city look-up.
#include <cmath>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "map/dom.h"

namespace {

constexpr float M = -9999.0f;

// proj, plat, plon, clat, clon, nx, ny, dx, dy, parm 0 and 1, ellipsoid: a failure shows them all.
std::vector<float> fields(const DOM &d)
{
    return {(float)d.proj, d.plat, d.plon, d.clat, d.clon, (float)d.nx, (float)d.ny, d.dx, d.dy, d.parm[0],
            d.parm[1], (float)d.ellipsoid};
}

// Region and city look-ups stay off the bundled data unless a test asks: file_path is a scratch folder.
struct DomTest : ::testing::Test {
    testutil::ScratchDir dir;
    void SetUp() override
    {
        MESS_set(0, 0xFF);
        dir.write("zyr.reg", "");
        RES_put("file_path", dir.path().c_str());
    }
};

// Domain strings: every template, keyword details and the projection's parts; the missing domain; invalid strings
// (result -1, one message).
TEST_F(DomTest, DomainStrings)
{
    const struct { const char *text; int result; std::vector<float> want; } cases[] = {
        {"size,640,480", 1, {51, M, M, M, M, 640, 480, M, M, M, M, 0}},
        {"ps:60:-105,-100,40,-100,31,21,1.5,1", 1, {1, 60, -100, 40, -100, 31, 21, 1.5f, 1, M, M, 0}},
        {"ps,40,-100,31,21,1.0,1.0", 1, {1, M, M, 40, -100, 31, 21, 1, 1, M, M, 0}},
        {"lc,-95,40,-100,0.5,0.6", 1, {4, M, -95, 40, -100, 25, 17, 0.5f, 0.6f, M, M, 0}},
        {"me,10,20,11,12,0.7", 1, {3, M, 10, 20, 11, 25, 17, 12, 0.7f, M, M, 0}},  // template 3 before 4
        {"40,-100,11,12,0.5,0.6", 1, {1, M, M, 40, -100, 11, 12, 0.5f, 0.6f, M, M, 0}},
        {"or,40,-100,0.5,0.6", 1, {5, M, M, 40, -100, 25, 17, 0.5f, 0.6f, M, M, 0}},
        {"40,-100,11,12,0.5", 1, {1, M, M, 40, -100, 11, 12, 0.5f, 0.5f, M, M, 0}},
        {"lamb:30:-95:30:60,35,-95,1.0", 1, {4, 30, -95, 35, -95, 25, 17, 1, 1, 30, 60, 0}},
        {"40,-100,11,12", 1, {1, M, M, 40, -100, 11, 12, 1.2f, 1.2f, M, M, 0}},
        {"40,-100,0.8", 1, {1, M, M, 40, -100, 25, 17, 0.8f, 0.8f, M, M, 0}},
        {"mo,10,20", 1, {7, M, M, 10, 20, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"zoom,10,20", 1, {50, M, M, 10, 20, 25, 17, 1, 1, M, M, 0}},
        {"size,800,600.9", 1, {51, M, M, M, M, 800, 600, M, M, M, M, 0}},
        {"40,-100", 1, {1, M, M, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"lambaz,40,-100", 1, {4, M, M, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"laea,40,-100", 1, {8, M, M, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"LATLON,40,-100", 1, {2, M, M, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"ps:e,40,-100", 1, {1, M, 0, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"ps::-105,40,-100", 1, {1, 0, -105, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0}},
        {"sat:e:0:-75,0,-75", 1, {9, 0, -75, 0, -75, 25, 17, 1.2f, 1.2f, M, M, 1}},
        {"sat:e:0:-75:421.6:1,0,-75", 1, {9, 0, -75, 0, -75, 25, 17, 1.2f, 1.2f, 421.6f, 1, 1}},
        // "E" is not the ellipsoid flag: it reads as the number 0
        {"sat:E:-75,0,-75", 1, {9, 0, -75, 0, -75, 25, 17, 1.2f, 1.2f, M, M, 0}},
        // an empty part stays missing
        {"lc:25:-95::60,35,-95", 1, {4, 25, -95, 35, -95, 25, 17, 1.2f, 1.2f, M, 60, 0}},
        {"miss,1,2", 1, {1, M, M, M, M, 25, 17, M, M, M, M, 0}},
        // "%d" reads the leading integer of "31.7"
        {"ps,40,-100,31.7,21,1,1", 1, {1, M, M, 40, -100, 31, 21, 1, 1, M, M, 0}},
        // the empty string leaves the flag as it was (after "miss", -9999)
        {"miss", -9999, {M, M, M, M, M, M, M, M, M, M, M, 0}},
        {"", -9999, {M, M, M, M, M, M, M, M, M, M, M, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        DOM d;
        d.proj = 3, d.nx = 4;
        EXPECT_EQ(DOM_decode(c.text, &d), c.result);
        EXPECT_EQ(fields(d), c.want);
        EXPECT_EQ(FLAG_get(FLAG_DOMAIN), c.result);
        EXPECT_EQ(c.result == 1 ? FILE_get_key('r') : c.text, std::string(c.text).substr(0, 29));
    }
    DOM d;
    EXPECT_EQ(DOM_decode(nullptr, &d), -9999);
    // parts beyond the fourth parm are dropped
    ASSERT_EQ(DOM_decode("lc:25:-95:1:60:7:8:9,35,-95", &d), 1);
    EXPECT_EQ(std::vector<float>(d.parm, d.parm + 5), (std::vector<float>{1, 60, 7, 8, M}));
    // the size beyond any picture; the stations not found
    for (const char *b : {"ps,1,2,3,4,5,6,7,8", "ps,40,-100,31,21,1,1,1,1,1", "ps,,-100", ",40,-100", "ps,abc,-100",
                          "ps,40,-100,x,21,1,1", "zz,40,-100", "ps,nan,-100", "ps,40,inf", "ps:nan,40,-100",
                          "40,-100,0.5,xyz", "size:1,1e30,5", "id:NOSUCH", "id:,40"}) {
        EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(DOM_decode(b, &d), -1); }), "DOM_decode: Invalid plot domain\n")
            << b;
        EXPECT_EQ(FLAG_get(FLAG_DOMAIN), -1);
    }
    const std::pair<const char *, int> words[] = {
        {"ll", 2}, {"lat", 2}, {"polar", 1}, {"ps", 1}, {"sat", 9}, {"lamb", 4}, {"lc", 4}, {"la", 8}, {"gn", 6},
        {"or", 5}, {"mo", 7}, {"me", 3}, {"pix", 99}, {"xy", 20}, {"xlogy", 22}, {"xlogp", 22}, {"cat", 24},
        {"skewt", 40}, {"ema", 42}, {"teph", 43}, {"rteph", 44}, {"therm", 40}, {"stuve", 41}, {"hodo", 23},
        {"vert", 22}, {"xp", 25}, {"zoom", 50}, {"size", 51}, {"miss", -9999}, {"xpx", -1}, {"MISS", -1},
        {"q", -1}, {"", -1}, {"Polar", 1}};
    for (auto [w, code] : words) EXPECT_EQ(DOM_proj_str(w), code) << w;
    EXPECT_EQ(DOM_proj_str(nullptr), -1);
}

// Decoding through files: the region file (comments, case, regions naming regions, themselves or each other, an
// over-long line, a blank line ending the file), other region files and plain domain files, the built-in table (not
// in the region file), and station look-ups by id, WMO number and name.  "FILE:" loads the menu and leaves the record
// missing; a menu holds at most 20 entries, labels and keys cut.
TEST_F(DomTest, DecodesThroughFiles)
{
    dir.write("zyr.reg", "# comment line\nus Contiguous_US 1 ps,39,-97,25,17,2.3,2.3\nhid Hidden 0 me,0,0\n" +
                             std::string(700, 'x') + " Long 1 ps,1,1\neuro Europe 1 lc:50:10,52,12,41,31,1.3,1.3\n"
                             "after After 1 40,-100,0.5\nself Self 1 self\nloop1 Loop 1 loop2\nloop2 Loop 1 loop1\n"
                             "bad Bad 1 ps,abc,1\nref Ref 1 euro\n\nlate Late 1 ps,1,1\n");
    dir.write("other.reg", "a  A 1 me,10,20\nb  B 0 ps,30,40\n");
    dir.write("plain.dom", "lc,35,-95,31,21,0.8,0.8\n");
    dir.write("st.cty", "Chicago              IL US KORD      1   41.9786   -87.9048    205 72530 0\nBad_line\n"
                        "Denver               CO US KDEN      *2*  39.8617  -104.6730  1655 -9999 0\n");
    const float NA = NAN;  // not checked
    // "self" falls to the built-in table (not there); "loop1" ends instead of recursing for ever; "late" is after the
    // blank line; alone, "ps:e" is file "ps", region "e"; an id in the clat slot takes clon with it.
    const struct Case { const char *text; int result; float proj, clat, clon, nx, dx; } cases[] = {
        {"euro", 2, 4, 52, 12, 41, 1.3f},           {"EURO", 2, 4, 52, 12, 41, 1.3f},
        {"ref", 2, 4, 52, 12, 41, 1.3f},            {"hid", 2, 3, 0, 0, 25, 1.2f},
        {"after", 2, 1, 40, -100, 25, 0.5f},        {"self", 2, -1, NA, NA, NA, NA},
        {"loop1", -1, NA, NA, NA, NA, NA},          {"bad", -1, NA, NA, NA, NA, NA},
        {"late", 2, -1, NA, NA, NA, NA},            {"us", 2, 1, 39, -97, 25, 2.3f},
        {"sp", 2, NA, 32.5f, NA, NA, NA},           {"nosuchregion", 2, -1, NA, NA, NA, NA},
        {"other.reg:b", 2, 1, 30, 40, NA, NA},      {"fi:other.reg", 2, 3, 10, 20, NA, NA},
        {"fi:plain.dom", 2, 4, 35, -95, 31, 0.8f},  {"ps:e", -1, NA, NA, NA, NA, NA},
        {"id:st.cty:kord", 1, 1, 41.9786f, -87.9048f, 25, 1.2f},
        {"id:st.cty:72530", 1, 1, 41.9786f, -87.9048f, 25, 1.2f},
        {"id:st.cty:Denver", 1, 1, 39.8617f, -104.673f, 25, 1.2f},
        {"lc,id:st.cty:KDEN,31,21,0.5", 1, 4, 39.8617f, -104.673f, 31, 0.5f},
        {"other.reg:", 2, M, NA, NA, NA, NA},
    };
    DOM d;
    for (const Case &c : cases) {
        testutil::stderr_of([&] { EXPECT_EQ(DOM_decode(c.text, &d), c.result) << c.text; });
        const float want[] = {c.proj, c.clat, c.clon, c.nx, c.dx}, got[] = {(float)d.proj, d.clat, d.clon,
                                                                           (float)d.nx, d.dx};
        for (int k = 0; k < 5; ++k) EXPECT_TRUE(std::isnan(want[k]) || got[k] == want[k]) << c.text << " " << k;
    }
    EXPECT_EQ(std::vector<std::string>({DOM_get_region_name(0), DOM_get_region_name(1), DOM_get_region_name(2)}),
              std::vector<std::string>({"Return to previous menu", "A", ""}));  // "b" is not shown
    EXPECT_EQ(DOM_decode("us", &d), 2);
    EXPECT_EQ(DOM_get_prior(), 2);  // from the region's size: (17-1)*2.3 = 36.8
    char out[501];
    EXPECT_EQ(DOM_search_file("zyr.reg", "nothere", out) + DOM_search_file("nofile.reg", "us", out), 0);
    EXPECT_EQ((std::pair{DOM_search_file("zyr.reg", nullptr, out), std::string(out)}),
              std::pair(1, std::string("ps,39,-97,25,17,2.3,2.3")));
    float lat, lon;
    std::string err = testutil::stderr_of([&] {
        EXPECT_EQ(CTY_get_loc("missing.cty", "KORD", &lat, &lon) + CTY_get_loc("st.cty", "KXXX", &lat, &lon), 0);
    });
    EXPECT_NE(err.find("CTY_open_file: Database file not found: "), std::string::npos);
    RES_put("city_file", "none");
    EXPECT_EQ(CTY_get_loc("st.cty", "KORD", &lat, &lon), 0);
    std::string text;
    for (int i = 0; i < 25; ++i)
        text.append("k").append(std::to_string(i)).append("_abbreviation_long A_label_longer_than_twenty 1 x\n");
    dir.write("many.reg", text);
    EXPECT_EQ(DOM_read_menu("many.reg"), 20);
    EXPECT_EQ(std::vector<std::string>({DOM_get_region_name(1), DOM_get_region_name(20), DOM_get_region_key(19)}),
              std::vector<std::string>({"A label longer than ", "", "k18_abbreviatio"}));
}

// The printed form, comparing domains and the aspect.
TEST_F(DomTest, PrintCompareAndAspect)
{
    DOM a, b;
    for (const char *t : {"ps,40,-100,31,21,1,1", "sat:e:0:-75,0,-75,61,61,1,1"}) {
        DOM_decode(t, &a);
        EXPECT_EQ(testutil::stdout_of([&a] { DOM_print(MESS_PRINT, &a); }),
                  *t == 'p' ? "pstereo:::::,40.000,-100.000,31,21,1.0000,1.0000\n"
                            : "sat:e:0.000:-75.000:::,0.000,-75.000,61,61,1.0000,1.0000\n");
    }
    DOM_decode("ps,40,-100,31,21,1,1", &a);
    DOM_decode("ps:40:-100,40,-100,31,21,1,1", &b);
    EXPECT_EQ(DOM_comp(&a, &b), 1);  // missing plat/plon count as clat/clon
    b.nx = 30;
    EXPECT_EQ(std::pair(DOM_comp(&a, &b), DOM_comp_proj(&a, &b)), std::pair(0, 1));
    b.parm[3] = 1;
    EXPECT_EQ(DOM_comp_proj(&a, &b), 0);
    const float wide = DOM_aspect(&a);
    a.ny = 1;
    EXPECT_EQ(std::pair(wide, DOM_aspect(&a)), std::pair(1.5f, 1.0f));
}

// Station priority by size and resource, the resource types, and the modes of the region and grid-domain look-ups;
// with no file_path, the bundled region file and city database.
TEST_F(DomTest, PriorityAndRegionResources)
{
    const std::pair<const char *, int> sizes[] = {{"40,-100,2,52,1", 1}, {"40,-100,2,27,1", 2}, {"40,-100", 3},
                                                  {"40,-100,2,8,1", 4},  {"40,-100,2,5,1", 5},  {"40,-100,2,4,1", 6}};
    DOM d;
    for (auto [t, p] : sizes) EXPECT_EQ((DOM_decode(t, &d), DOM_get_prior()), p) << t;
    for (auto [a, p] : {std::pair{"+2", 5}, {"-1", 2}, {"7", 7}, {"x", 3}}) {
        RES_put("stat_prior", a);
        EXPECT_EQ((DOM_decode("40,-100", &d), DOM_get_prior()), p) << a;
    }
    RES_conv_data("ps,40,-100,31,21,1.0,1.0", &d, RES_T_DOMAIN);
    EXPECT_EQ(d.nx, 31);
    RES_conv_data("us", &d, RES_T_REGION);
    EXPECT_EQ(std::pair(d.dx, FLAG_get(FLAG_DOMAIN)), std::pair(2.3f, 2));
    DOM_init(&d);
    EXPECT_EQ(std::pair(DOM_get_region(&d, 1), DOM_get_grid_domain(&d)), std::pair(0, 0));
    dir.write("zyr.reg", "first First 1 me,10,20\n");
    DOM_read_menu("zyr.reg");  // the menu is read once a process: read this one
    EXPECT_EQ((std::pair{DOM_get_region(&d, 4), d.proj}), std::pair(2, 3));  // first menu region
    RES_put("region", "40,-100");
    RES_put("plot_domain", "lc,30,-90");
    EXPECT_EQ((std::pair{DOM_get_region(&d, 1), d.proj}), std::pair(1, 4));
    EXPECT_EQ((std::pair{DOM_get_region(&d, 2), d.proj}), std::pair(1, 1));  // region only
    RES_put("grid_domain", "me,1,2");
    EXPECT_EQ((std::pair{DOM_get_grid_domain(&d), d.proj}), std::pair(1, 3));
    RES_clear();
    EXPECT_EQ(DOM_decode("id:KORD", &d), 1);
    EXPECT_EQ(std::pair(std::round(d.clat * 100), std::round(d.clon * 100)), std::pair(4198.0f, -8790.0f));
    EXPECT_EQ(DOM_decode("goese", &d), 2);
    EXPECT_EQ(d.proj, DOM_SAT);
    EXPECT_EQ(DOM_read_menu(nullptr), 20);
    EXPECT_STREQ(DOM_get_region_key(9), "var");
}

// The region prompt, one answer sequence a row, in order: "list" prints the file, a bad answer is reported and asked
// again, a number picks a menu entry, "0" goes back, five answers without a domain give up; leaving ("q", "quit",
// "exit", the end of input, or from a built-in region's centre prompt) requests the end with status 0 and asks nothing
// more.  Mode 1 takes the resource and switches the prompt off; in batch mode the first menu region; an invalid
// resource ends the run with 43.
TEST_F(DomTest, PromptRegion)
{
    dir.write("zyr.reg", "aa Region_A 1 me,10,20\nbb Region_B 1 lc,30,-90\n");
    DOM_read_menu("zyr.reg");
    const char *ask = "Enter the region: ";
    // Rows: the answers, mode, batch, a resource and its value; the result, the projection (0: not checked), what the
    // output holds and ends with, what standard error ends with, and the end status requested (-1: none).
    const struct Case { const char *input; int mode, batch; const char *res, *value; int want, proj;
                        const char *has, *tail, *err; int exit; } cases[] = {
        {"list\nps,abc,1\n2\n", 0, 0, "", "", 2, 4, " Abbr    Description", ask, "Invalid domain\n", -1},
        {"40,-100\n", 0, 0, "", "", 1, 1, "", ask, "", -1},
        {"0\n", 0, 0, "", "", 0, 0, "", ask, "", -1},
        {"list\nlist\nlist\nlist\nlist\n2\n", 0, 0, "", "", -1, 0, "Region Menu", "", "", -1},
        {"q\n2\n", 0, 0, "", "", -1, 0, "", ask, "", 0},
        {"quit\n", 0, 0, "", "", -1, 0, "", ask, "", 0},
        {"exit\n", 0, 0, "", "", -1, 0, "", ask, "", 0},
        {"", 0, 0, "", "", -1, 0, "", "Enter the region: \n", "", 0},
        {"var\nexit\n40\n", 0, 0, "", "", -1, 0, "", "Enter the central latitude: ", "", 0},
        {"var\n40\n", 0, 0, "", "", -1, 0, "", "Enter the central longitude: \n", "", 0},
        {"", 0, 1, "", "", 2, 3, "", "", "", -1},
        {"", 1, 0, "region", "me,1,2", 1, 3, "", "", "", -1},
        {"", 1, 1, "plot_domain", "ps,abc", -1, 0, "", "", "DOM_decode: Invalid plot domain\nInvalid domain\n", 43},
    };
    DOM d;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.input << " mode " << c.mode << " batch " << c.batch << " " << c.value);
        ZYR_clear_exit();
        DOM_set_prompt_region(1);
        FLAG_set(FLAG_BATCH, c.batch);
        RES_clear();
        RES_put("file_path", dir.path().c_str());
        if (*c.res) RES_put(c.res, c.value);
        testutil::feed_stdin(c.input);
        DOM_init(&d);
        std::string out, err = testutil::stderr_of([&] {
            out = testutil::stdout_of([&] { EXPECT_EQ(DOM_prompt_region(&d, c.mode), c.want); });
        });
        EXPECT_EQ(c.proj ? d.proj : 0, c.proj);
        EXPECT_TRUE(out.find(c.has) != std::string::npos && out.ends_with(c.tail)) << out;
        EXPECT_TRUE(*c.err ? err.ends_with(c.err) : err.empty()) << err;
        EXPECT_EQ(ZYR_exit_requested() ? ZYR_exit_status() : -1, c.exit);
    }
    EXPECT_EQ(DOM_prompt_region(&d, 1), 0);  // the last row switched the prompt off
    ZYR_clear_exit();
}

}  // namespace
