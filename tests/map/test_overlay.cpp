// Map overlay through its sinks: map files in both forms, line breaking and wraps, the map list rules, the grid, point
// thinning and circles.
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "gks/gks.h"
#include "map/dom.h"
#include "map/map.h"

namespace {

struct Seg { std::vector<float> lat, lon; };

// The text form: "count 0 0 0 0 7" then "lat lon" lines.
std::string text_form(const std::vector<Seg> &segs)
{
    std::ostringstream s;
    for (const Seg &g : segs) {
        s << g.lat.size() << " 0 0 0 0 7\n";
        for (size_t i = 0; i < g.lat.size(); ++i) s << g.lat[i] << ' ' << g.lon[i] << '\n';
    }
    return s.str();
}

// The binary form, big-endian: a 16-bit count, four floats, a 32-bit word, then float pairs.
std::string binary_form(const std::vector<Seg> &segs, int count_override = 0)
{
    std::string s;
    auto put32 = [&s](uint32_t v) { for (int k = 3; k >= 0; --k) s.push_back((char)(v >> (8 * k))); };
    auto putf = [&put32](float f) { put32(std::bit_cast<uint32_t>(f)); };
    for (const Seg &g : segs) {
        int n = count_override ? count_override : (int)g.lat.size();
        s.push_back((char)((n >> 8) & 0xFF)), s.push_back((char)(n & 0xFF));
        s.append(16, '\0'), put32(7);
        for (size_t i = 0; i < g.lat.size(); ++i) putf(g.lat[i]), putf(g.lon[i]);
    }
    return s;
}

std::vector<std::vector<float>> lines;
std::vector<std::string> texts;

void sink(int n, const float *pts, int) { lines.emplace_back(pts, pts + 2 * n); }

int draw_bytes(const std::string &bytes)
{
    lines.clear();
    FILE *fp = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
    int r = MAP_map(fp);
    std::fclose(fp);
    return r;
}

void install(const char *text)
{
    DOM d;
    ASSERT_GE(DOM_decode(text, &d), 1) << text;
    MAP_domain(&d);
}

// The map height comes from transform 2's window.
void set_height(float h)
{
    const float w[4] = {-30, 30, -h / 2, h / 2};
    gset_win(2, w);
}

// Four map files that draw at different latitudes, so a line tells which file drew it.
struct OverlayTest : ::testing::Test {
    testutil::ScratchDir dir;
    void SetUp() override
    {
        MESS_set(0, 0xFF);
        RES_put("file_path", dir.path().c_str());
        lines.clear();
        texts.clear();
        MAP_set_line_sink(sink);
        MAP_set_text_sink([](float, float, const char *t) { texts.emplace_back(t); });
        const char *names[] = {"coast.map", "roads.map", "rivers.map", "world.map"};
        for (int k = 0; k < 4; ++k) dir.write(names[k], text_form({{{30.0f + 2 * k, 30.0f + 2 * k}, {-100, -99}}}));
        FLAG_setplot(PLOT_MAP, 1);
    }
    // Which of the four files drew, in order, by the latitude of their first point.
    std::string drawn()
    {
        std::string s;
        for (auto &l : lines) {
            float lat, lon;
            MAP_untran(&lat, &lon, l[0], l[1]);
            s += "crRw"[(int)std::lround((lat - 30) / 2)];
        }
        lines.clear();
        return s;
    }
};

const std::vector<Seg> sample = {
    {{30, 31, 32, 33}, {-100, -99, -98, -97}}, {{40, 40.5f}, {-90, -89}}, {{45, 46, 47}, {-80, -80, -80}}};

// Both forms draw the same lines: cs2cs +proj=stere +lat_0=90 +lat_ts=60 +lon_0=-100 +R=6371220 puts 30 N 100 W at
// (0, -6864035.58 m).  Bad counts are refused (cut files are the seed replay's); unprojectable points break lines.
TEST_F(OverlayTest, MapFiles)
{
    install("ps,40,-100,31,21,1,1");
    EXPECT_EQ(draw_bytes(text_form(sample)), 0);
    auto from_text = lines;
    EXPECT_EQ(draw_bytes(binary_form(sample)), 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines, from_text);  // in plot units
    EXPECT_LT(std::hypot(lines[0][0], lines[0][1] + 68.640356), 2e-3);
    EXPECT_EQ(draw_bytes("0 0 0 0 0 0\n" + text_form(sample)), 0);  // a count of 0 ends the file
    EXPECT_TRUE(lines.empty());
    const std::pair<std::string, int> files[] = {
        {binary_form({{{1, 2}, {3, 4}}}, 0xFFFF), -1},  // count -1
        {binary_form({{{1, 2}, {3, 4}}}, 30000), -1},   // more points than the file
        {"-5 0 0 0 0 1\n1 2\n", -1}, {"99999 0 0 0 0 1\n1 2\n", -1}, {"3 0 0 0 0 1\n1 2\n3 x\n", -1}, {"", 0}};
    for (const auto &[bytes, r] : files) EXPECT_EQ(draw_bytes(bytes), r) << bytes.size();
    Seg s{{NAN, 30, 31, 1e30f, 32, 33, 34, NAN, 35, INFINITY}, {-100, -100, -100, -100, -100, -100, -100, 0, -100, 0}};
    EXPECT_EQ(draw_bytes(binary_form({s})), 0);
    // leading NaN dropped; 30-31 | 32-33-34 | 35 alone is not drawn
    EXPECT_EQ(std::vector<size_t>({lines.size(), lines[0].size(), lines.back().size()}), (std::vector<size_t>{2, 4, 6}));
    install("or:40:-100,40,-100");  // only far-side points: nothing
    EXPECT_EQ(draw_bytes(binary_form({{{-40, -41}, {80, 81}}})), 0);
    EXPECT_TRUE(lines.empty());
}

// A line at 10 N from 178 over 179 and -179 to -178 breaks at the cut: the first piece ends with -179 shifted by the
// period just past the right edge, the second starts at -179 itself.  Plot x of 179, by hand or cs2cs: latitude/
// longitude x = lon; Mercator R lon = 199.045792, period 2 pi R = 400.315559; Mollweide (cs2cs +proj=moll / sqrt 2)
// 125.524994, x proportional to longitude along a parallel: period 2 * 125.524994 * 180 / 179 = 252.452503.
TEST_F(OverlayTest, WrapsAcrossTheCut)
{
    const struct { const char *domain; double x179, period; } cases[] = {{"ll,0,0,361,181,1,1", 179, 360},
        {"me,0,0,181,121,2.2,2.2", 199.045792, 400.315559}, {"mo,0,0,129,65,2,2", 125.524994, 252.452503}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.domain);
        install(c.domain);
        EXPECT_EQ(draw_bytes(text_form({{{10, 10, 10, 10}, {178, 179, -179, -178}}})), 0);
        ASSERT_EQ(lines.size(), 2u);
        ASSERT_EQ(lines[0].size(), 6u);
        EXPECT_NEAR(lines[0][2], c.x179, 2e-3);
        EXPECT_NEAR(lines[0][4], -c.x179 + c.period, 2e-5 * c.period + 1e-3);
        EXPECT_NEAR(lines[1][0], -c.x179, 2e-3);
        for (auto &l : lines)
            for (size_t k = 2; k < l.size(); k += 2) EXPECT_LT(std::fabs(l[k] - l[k - 2]), 20);
    }
}

// Which files a list draws.  Phases: "-" items in phase 1, "+" items in 6, plain ones in 2 and 6.  Gates
// [lat0,lat1,lon0,lon1(,size)]: items before the first always draw, a failed gate disables until the next.  Size
// conditions ("s-20:" below 20, "s+20:" from 20, ">10<30:" between) on the map height.  Bad items are reported.
TEST_F(OverlayTest, ListRules)
{
    dir.write("gates.txt", "[20,50,-130,-60,100] rivers.map\n[0,90,-180,180] world.map");
    dir.write("gates2.txt", "coast.map [0,1,0,1] roads.map [0,90,-180,180] rivers.map");
    const char *phased = "-coast.map,+roads.map,rivers.map",
               *sized = "s-20:coast.map,s+20:roads.map,>10<30:rivers.map,<40>25:world.map,s+5:>8:coast.map";
    const char *us = "ps,40,-95,31,21,1,1", *eu = "ps,50,10,31,21,1,1";  // eu: outside the first gate's region
    const struct Case { const char *list, *domain; float height; int phase; const char *drawn; } cases[] = {
        {phased, us, 50, 1, "c"},          {phased, us, 50, 6, "rR"},         {phased, us, 50, 2, "r"},
        {"fi:gates.txt", us, 50, 6, "R"},  {"fi:gates.txt", eu, 50, 6, "w"},  {"fi:gates.txt", us, 200, 6, "w"},
        {"fi:gates2.txt", us, 200, 6, "cR"}, {sized, us, 10, 4, "cRc"},      {sized, us, 20, 4, "crRc"},
        {sized, us, 30, 4, "rRwc"},        {sized, us, 50, 4, "rc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.list << " " << c.domain << " height " << c.height << " phase " << c.phase);
        MAP_file(c.list);
        set_height(c.height);
        install(c.domain);
        MAP_draw(c.phase);
        EXPECT_EQ(drawn(), c.drawn);
    }
    FLAG_setplot(PLOT_MAP, 0);  // maps off: nothing
    MAP_draw(7);
    EXPECT_EQ(drawn(), "");
    FLAG_setplot(PLOT_MAP, 1);
    EXPECT_NE(testutil::stderr_of([] { EXPECT_EQ(MAP_process("s-20coast.map"), -1); }).find("Malformed"),
              std::string::npos);
    dir.write("self.txt", "coast.map fi:self.txt");
    MAP_file("fi:self.txt");
    EXPECT_NE(testutil::stderr_of([] { MAP_draw(4); }).find("nested too deeply"), std::string::npos);
    EXPECT_EQ(drawn(), "cccc");
    dir.write("long.txt", std::string(600, 'x') + " " + std::string(300, '['));
    MAP_file("nosuch.map,fi:nolist.txt,coast.map:none,fi:long.txt");
    std::string err = testutil::stderr_of([] { MAP_draw(4); });
    for (const char *m : {"MAP_process: Map file not found: ", "MAP_draw: Unable to open map list file: ", "too long"})
        EXPECT_NE(err.find(m), std::string::npos) << m;
    EXPECT_EQ(drawn(), "");  // "none" draws nothing
}

// Lists and grid settings that used to loop for ever or multiply without end stay within a bound: a parallel is 144
// pieces, a meridian at most 18; labels at most one a degree along each parallel plus one on each line's edge.  A
// latitude spacing of 1e22 leaves the equator alone; the most negative int draws no extra labels; a list naming itself
// 50 times, four levels deep, is 50^4 items unbounded: one drawing takes 256.
TEST_F(OverlayTest, HostileListsEndAndStayBounded)
{
    std::string fan;
    for (int k = 0; k < 50; ++k) fan += "coast.map fi:fan.txt ";
    dir.write("fan.txt", fan);
    const struct Case { const char *name, *domain, *list; int extra; size_t max_lines, max_texts; } cases[] = {
        {"huge spacing, extra labels", "ps,40,-100,31,21,1,1", "lalo:10000000000000000000000", 1, 144, 0},
        {"huge lon spacing", "ll,0,0,361,181,1,1", "lalo:10:1e22", 1, 17 * 144 + 18, 17 * 361 + 18},
        {"most negative extra", "ps,40,-100,31,21,1,1", "lalo:10:10", INT_MIN, 17 * 144 + 36 * 16, 17 + 36},
        {"list naming itself 50 times", "ps,40,-100,31,21,1,1", "fi:fan.txt", 0, 256, 0},
        {"diagram grid far out", "xy,1e20,1e20,11,11,1e13,1e13", "lalo:1e10:1e10", 0, 2 * 3601, 0},
    };
    for (const Case &c : cases) {
        install(c.domain);
        MAP_file(c.list);
        MAP_latlon(0, c.extra, 0, 0);
        std::string err = testutil::stderr_of([] { lines.clear(), texts.clear(), MAP_draw(4); });
        EXPECT_TRUE(lines.size() <= c.max_lines && texts.size() <= c.max_texts) << c.name << " " << lines.size();
        EXPECT_TRUE(c.list[0] != 'f' || (lines.size() == 128 && err.find("More than 256 map") != std::string::npos))
            << err;  // items 2, 4, ..., 256 are coast.map
    }
    // A grid has a budget of 4e6 pieces: 0.1 degrees both ways is 6.7e6 pieces, 0.25 degrees fewer.
    install("ps,40,-100,31,21,1,1");
    MAP_latlon(0, 0, 0, 0);
    EXPECT_NE(testutil::stderr_of([] { EXPECT_EQ(MAP_lines(0.1f, 0.1f), -1); }).find("more than is left to draw"),
              std::string::npos);
    EXPECT_EQ(MAP_lines(0.25f, 0.25f), 0);
}

// The grid on polar stereographic (meridians from -80 to 80, parallels labelled on the left edge, meridians on the
// bottom; bad spacings refused) and wrapping on latitude/longitude.
TEST_F(OverlayTest, Grid)
{
    install("ps:60:-100,40,-100,41,31,1,1");
    EXPECT_EQ(MAP_lines(10, 10), 0);
    float maxlat = 0, la1, lo1, la2, lo2;
    int meridian_pieces = 0;
    for (auto &l : lines) {
        MAP_untran(&la1, &lo1, l[0], l[1]);
        MAP_untran(&la2, &lo2, l[2], l[3]);
        meridian_pieces += std::fabs(la1 - la2) > 1;
        maxlat = std::fmax(maxlat, std::fabs(la1 - la2) > 1 ? std::fmax(std::fabs(la1), std::fabs(la2)) : 0);
    }
    EXPECT_EQ(std::pair(std::round(maxlat * 100), meridian_pieces), std::pair(8000.0f, 36 * 16));
    auto has = [](const char *t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
    EXPECT_TRUE(has("40N") && has("100W") && !has("EQ"));
    lines.clear();
    for (float bad : {0.0f, -5.0f, NAN, -9999.0f, 1e-6f})
        EXPECT_EQ(MAP_lines(bad, 10) + MAP_lines(10, bad), -2) << bad;
    EXPECT_TRUE(lines.empty());
    install("ll:0:156,0,156,361,181,1,1");
    EXPECT_EQ(MAP_lines(30, 30), 0);
    int crossing = 0;  // no piece spans the map: the one crossing the cut is drawn twice
    for (auto &l : lines) {
        EXPECT_LT(std::fabs(l[2] - l[0]), 50);
        crossing += std::fabs(l[0]) > 180 || std::fabs(l[2]) > 180;
    }
    EXPECT_EQ(crossing, 2 * 5);  // 5 parallels, each with one piece drawn twice
}

// Point thinning by grid cell (off, one a cell, finer cells, off again), and a 500 km circle about 40 N 100 W on
// ps,40,-100 (true at 60 N): the centre at (0, -55.438657) by cs2cs, the radius 5 times the scale factor there,
// (1 + sin 60) / (1 + sin 40) = 1.135890 (by hand).
TEST_F(OverlayTest, PointThinningAndCircle)
{
    install("ps,40,-100,11,11,1,1");
    float x, y;
    MAP_tran_center(&x, &y);
    EXPECT_EQ(MAP_plot_grid(x, y) + MAP_plot_grid(x, y), 2);
    MAP_set_plot_limit(1);
    MAP_plot_grid_init();  // the centre, the same cell, another cell, outside
    EXPECT_EQ((std::vector<int>{MAP_plot_grid(x, y), MAP_plot_grid(x + 0.1f, y - 0.1f), MAP_plot_grid(x + 1.0f, y),
                                MAP_plot_grid(x + 100, y)}), (std::vector<int>{1, 0, 1, 0}));
    MAP_set_plot_limit(2);
    MAP_plot_grid_init();
    EXPECT_EQ(MAP_plot_grid(x, y) + MAP_plot_grid(x + 0.6f, y), 2);  // finer cells
    MAP_set_plot_limit(-1);
    EXPECT_EQ(MAP_plot_grid(x, y), 1);
    install("ps,40,-100,31,21,1,1");
    MAP_draw_circle(0, -55.438657f, 500);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 98u);
    for (size_t k = 0; k < 98; k += 2) EXPECT_NEAR(std::hypot(lines[0][k], lines[0][k + 1] + 55.438657), 5.67945, 0.2);
}

}  // namespace
