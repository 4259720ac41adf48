// Where the map lines of a plot lie: the window (the headless one, dumped as
// PNG), a PostScript page rendered by ghostscript, an HPGL file and a binary
// CGM put them at the same places, and the coasts lie where PROJ's cs2cs
// projects the map data's points.
//
// The measure: both pictures are drawn with red map lines, no labels, on a
// white window background or page, so the panel is the bounding box of the
// non-white pixels (the image fills it; its no-data part is black).  The
// page is landscape, the picture's top at the page's left.  Every red pixel
// of one picture is carried into the other's panel by the ratio of the panel
// sizes and counts as matched when the other picture has a red pixel within
// 2 px (a 5 x 5 square).  Nearly all must match, both ways.  The same check
// with one picture moved by 6 px must fail, so the measure can see a shift.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/img.h"
#include "tests/gks/gks_test_util.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

using testutil::have;
using testutil::quote;
using testutil::Result;
using testutil::shell;
using testutil::zyrsat;

const std::string kData = ZYR_SHARED_DATA;
const std::string kGini = kData + "/gini/EAST-CONUS_8km_13.3_20050912_2240.gini";
constexpr unsigned kRed = 0xFF0000, kWhite = 0xFFFFFF;

// The red pixels of a picture's panel, in panel coordinates (u right, v
// down); a rotated picture has the panel's top at the raster's left.
struct Lines {
    int w = 0, h = 0;
    std::vector<char> on;
    bool at(int u, int v) const { return u >= 0 && v >= 0 && u < w && v < h && on[(size_t)v * w + u]; }
};

Lines panel_lines(const testutil::Raster &r, bool rotated)
{
    testutil::Box b = testutil::bbox(r, [](unsigned c) { return c != kWhite; });
    Lines l;
    if (b.x1 < 0) return l;
    l.w = rotated ? b.h() : b.w();
    l.h = rotated ? b.w() : b.h();
    l.on.assign((size_t)l.w * l.h, 0);
    for (int v = 0; v < l.h; v++)
        for (int u = 0; u < l.w; u++) {
            int x = rotated ? b.x0 + v : b.x0 + u, y = rotated ? b.y1 - u : b.y0 + v;
            l.on[(size_t)v * l.w + u] = r.rgb(x, y) == kRed;
        }
    return l;
}

// Share of a's red pixels with a red pixel of b within radius, after moving
// a by shift pixels of b to the right.
double matched(const Lines &a, const Lines &b, int radius, int shift = 0)
{
    size_t all = 0, near = 0;
    for (int v = 0; v < a.h; v++)
        for (int u = 0; u < a.w; u++) {
            if (!a.at(u, v)) continue;
            all++;
            int ub = (int)std::lround((u + 0.5) * b.w / a.w - 0.5) + shift;
            int vb = (int)std::lround((v + 0.5) * b.h / a.h - 0.5);
            bool hit = false;
            for (int dv = -radius; dv <= radius && !hit; dv++)
                for (int du = -radius; du <= radius && !hit; du++) hit = b.at(ub + du, vb + dv);
            near += hit;
        }
    return all ? (double)near / all : 0;
}

bool to_ppm(const std::string &picture, const std::string &ppm, testutil::Raster *r)
{
    return shell("convert " + quote(picture) + " " + quote("ppm:" + ppm), "/").status == 0 &&
           testutil::read_ppm(ppm, r);
}

bool render_ps(const std::string &ps, double dpi, const std::string &ppm, testutil::Raster *r)
{
    Result g = shell("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r" + std::to_string(dpi) +
                         " -sOutputFile=" + quote(ppm) + " " + quote(ps),
                     "/");
    return g.status == 0 && testutil::read_ppm(ppm, r);
}

// Lines drawn in device units into a panel of w x h pixels; the panel is
// the device's clip rectangle (x0, y0)-(x1, y1), y running up.
struct Pen {
    Lines l;
    double x0 = 0, y0 = 0, x1 = 1, y1 = 1;
    bool drawn = false;
    Pen(int w, int h)
    {
        l.w = w, l.h = h;
        l.on.assign((size_t)w * h, 0);
    }
    void clip(double a, double b, double c, double d)
    {
        if (!drawn) x0 = std::min(a, c), y0 = std::min(b, d), x1 = std::max(a, c), y1 = std::max(b, d);
    }
    // Sampled every tenth of a pixel along the segment.
    void line(double ax, double ay, double bx, double by)
    {
        drawn = true;
        const double sx = (l.w - 1) / (x1 - x0), sy = (l.h - 1) / (y1 - y0);
        int steps = 1 + (int)(10 * std::max(std::fabs((bx - ax) * sx), std::fabs((by - ay) * sy)));
        for (int t = 0; t <= steps; t++) {
            double x = ax + (bx - ax) * t / steps, y = ay + (by - ay) * t / steps;
            int u = (int)std::lround((x - x0) * sx), v = (int)std::lround((y1 - y) * sy);
            if (u >= 0 && v >= 0 && u < l.w && v < l.h) l.on[(size_t)v * l.w + u] = 1;
        }
    }
};

// An HPGL file's pen-down lines; the panel is the input window (IW).
Lines hpgl_lines(const std::string &text, int w, int h)
{
    Pen pen(w, h);
    double px = 0, py = 0;
    std::istringstream cmds(text);
    for (std::string cmd; std::getline(cmds, cmd, ';');) {
        size_t at = cmd.find_first_not_of(" \r\n");
        if (at == std::string::npos) continue;
        cmd = cmd.substr(at);
        std::string op = cmd.substr(0, 2);
        std::vector<double> v;
        std::istringstream args(cmd.substr(2));
        for (std::string n; std::getline(args, n, ',');) v.push_back(std::atof(n.c_str()));
        if (op == "IW" && v.size() == 4) pen.clip(v[0], v[1], v[2], v[3]);
        if (op != "PU" && op != "PD") continue;
        for (size_t k = 0; k + 1 < v.size(); k += 2) {
            if (op == "PD") pen.line(px, py, v[k], v[k + 1]);
            px = v[k], py = v[k + 1];
        }
    }
    return pen.l;
}

// A binary CGM's polylines (16-bit integer points); the panel is the clip
// rectangle.  Element header: class (4 bits), id (7), length (5; 31 gives
// the long form, whose words carry 15 bits of length and a continuation
// bit); parameters padded to an even length.
Lines cgm_lines(const std::string &b, int w, int h)
{
    Pen pen(w, h);
    auto u16 = [&](size_t at) { return (unsigned)(unsigned char)b[at] << 8 | (unsigned char)b[at + 1]; };
    auto s16 = [&](const std::string &p, size_t k) { return (double)(int16_t)((unsigned char)p[2 * k] << 8 | (unsigned char)p[2 * k + 1]); };
    for (size_t at = 0; at + 2 <= b.size();) {
        unsigned head = u16(at);
        at += 2;
        size_t len = head & 31;
        std::string p;
        bool more = len == 31;
        if (!more) {
            p = b.substr(at, len);
            at += len + (len & 1);
        }
        while (more && at + 2 <= b.size()) {
            unsigned l = u16(at);
            at += 2;
            more = l & 0x8000;
            p += b.substr(at, l & 0x7FFF);
            at += (l & 0x7FFF) + (l & 1);
        }
        int cls = head >> 12, id = head >> 5 & 127;
        if (cls == 3 && id == 5 && p.size() >= 8) pen.clip(s16(p, 0), s16(p, 1), s16(p, 2), s16(p, 3));
        if (cls == 4 && id == 1)
            for (size_t k = 0; 2 * k + 3 < p.size() / 2; k++)
                pen.line(s16(p, 2 * k), s16(p, 2 * k + 1), s16(p, 2 * k + 2), s16(p, 2 * k + 3));
    }
    return pen.l;
}

TEST(E2ePs, PostScriptMapLinesLieOnThePng)
{
    if (!fs::exists(testutil::kZyrsat) || !fs::is_directory(kData)) GTEST_SKIP() << "no zyrsat or samples";
    if (!have("gs") || !have("convert")) GTEST_SKIP() << "no ghostscript or ImageMagick";
    testutil::ScratchDir dir;
    std::string in = dir.write("in.gini", testutil::read_file(kGini));
    const std::vector<std::string> common = {"-b", "-inp", "awip", "-pd", "us", "-dr", "data,map", "-com", "red"};
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = common;
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(in);
        Result r = zyrsat(args, dir.path());
        EXPECT_EQ(r.status, 0) << r.out;
    };
    // The window is the headless one ("mem"), which draws as the X server.
    run({"-de", "d,mem", "-bg", "white", "-out_file", "png=" + dir.file("win_%i.png")});
    run({"-de", "p," + dir.file("page.ps") + ",color"});

    testutil::Raster png, page;
    ASSERT_TRUE(to_ppm(dir.file("win_win.png"), dir.file("win.ppm"), &png));
    Lines a = panel_lines(png, false);
    ASSERT_GT(a.w, 300);
    EXPECT_NEAR((double)a.w / a.h, 1.5, 0.01);
    // Rendered once to find the panel, then at the size of the window's.
    ASSERT_TRUE(render_ps(dir.file("page.ps"), 72, dir.file("page.ppm"), &page));
    Lines b = panel_lines(page, true);
    ASSERT_GT(b.w, 100);
    ASSERT_TRUE(render_ps(dir.file("page.ps"), 72.0 * a.w / b.w, dir.file("page.ppm"), &page));
    b = panel_lines(page, true);
    EXPECT_NEAR(b.w, a.w, 2);
    EXPECT_NEAR(b.h, a.h, 2);

    EXPECT_GT(matched(a, b, 2), 0.98);
    EXPECT_GT(matched(b, a, 2), 0.98);
    EXPECT_LT(matched(a, b, 2, 6), 0.7) << "the measure does not see a shift";

    // The same plot as HPGL (whose reading by hp2xx E2ePixels checks): its
    // lines, placed by the plotter coordinates in the panel's input window,
    // lie on the window's.  A small page keeps the remap (made at the
    // plotter's resolution) short.
    run({"-de", "h," + dir.file("page.hpgl"), "-ge", "300x200"});
    Lines c = hpgl_lines(testutil::read_file(dir.file("page.hpgl")), a.w, a.h);
    EXPECT_GT(matched(a, c, 2), 0.98);
    EXPECT_GT(matched(c, a, 2), 0.98);

    // And as a binary CGM, its polylines placed by the clip rectangle.
    run({"-de", "m," + dir.file("page.cgm") + ",cgm"});
    Lines m = cgm_lines(testutil::read_file(dir.file("page.cgm")), a.w, a.h);
    EXPECT_GT(matched(a, m, 2), 0.98);
    EXPECT_GT(matched(m, a, 2), 0.98);
}

// Latitude/longitude points of a big-endian map file's segments: a 16-bit
// count, four floats and a 32-bit identifier, then the count's pairs.
std::vector<std::pair<float, float>> map_points(const std::string &bytes)
{
    auto u32 = [&](size_t at) {
        return (uint32_t)(unsigned char)bytes[at] << 24 | (unsigned char)bytes[at + 1] << 16 |
               (unsigned char)bytes[at + 2] << 8 | (unsigned char)bytes[at + 3];
    };
    auto f32 = [&](size_t at) {
        uint32_t u = u32(at);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    };
    std::vector<std::pair<float, float>> pts;
    for (size_t at = 0; at + 22 <= bytes.size();) {
        int n = (unsigned char)bytes[at] << 8 | (unsigned char)bytes[at + 1];
        at += 22;
        if (n <= 0 || at + (size_t)n * 8 > bytes.size()) break;
        for (int k = 0; k < n; k++, at += 8) pts.emplace_back(f32(at), f32(at + 4));
    }
    return pts;
}

// The coasts of the GINI plot onto "us" (window dump, red map lines) lie
// within 2 px of the Natural Earth coast points the overlay draws at this
// size, projected by cs2cs onto the domain written with the remapped image.
TEST(E2ePs, CoastsLieWhereCs2csPutsThem)
{
    if (!fs::exists(testutil::kZyrsat) || !fs::is_directory(kData)) GTEST_SKIP() << "no zyrsat or samples";
    if (!have("cs2cs") || !have("convert")) GTEST_SKIP() << "no cs2cs or ImageMagick";
    testutil::ScratchDir dir;
    std::string in = dir.write("in.gini", testutil::read_file(kGini));
    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-dr", "data,map", "-com", "red", "-bg", "white", "-de", "d,mem",
                       "-out_file", "img=" + dir.file("remap.zyr") + ",png=" + dir.file("win_%i.png"), in},
                      dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    IMG img;
    IMG_init(&img);
    ASSERT_EQ(IMG_read_zyr(dir.file("remap.zyr").c_str(), &img, 0), 1) << r.out;
    const DOM d = img.domain;
    IMG_free(&img);
    ASSERT_EQ(d.proj, DOM_PSTEREO);
    testutil::Raster png;
    ASSERT_TRUE(to_ppm(dir.file("win_win.png"), dir.file("win.ppm"), &png));
    Lines lines = panel_lines(png, false);
    ASSERT_EQ(lines.w, d.nx);
    ASSERT_EQ(lines.h, d.ny);

    // The coasts of the regional views' map file, around the domain.
    std::ostringstream text;
    text.precision(7);
    size_t count = 0;
    text << d.clon << " " << d.clat << "\n";
    for (auto [lat, lon] : map_points(testutil::read_file(ZYR_DATA_DIR "/maps/land-50m.map")))
        if (lat > 10 && lat < 70 && lon > -150 && lon < -40) text << lon << " " << lat << "\n", count++;
    ASSERT_GT(count, 1000u);
    dir.write("coast.txt", text.str());
    // "us" leaves the true latitude unset: 60 degrees, about the centre's
    // meridian; earth radius 6371.22 km.
    const double tlat = d.parm[0] == DOM_MISSING ? 60.0 : d.parm[0];
    const double plon = d.plon == DOM_MISSING ? d.clon : d.plon;
    std::ostringstream proj;
    proj << "cs2cs -f %.3f +proj=longlat +R=6371220 +to +proj=stere +lat_0=90 +lat_ts=" << tlat
         << " +lon_0=" << plon << " +R=6371220 coast.txt";
    Result xy = shell(proj.str(), dir.path());
    ASSERT_EQ(xy.status, 0) << xy.out;

    std::istringstream rows(xy.out);
    double cx, cy, x, y;
    std::string rest;
    ASSERT_TRUE(rows >> cx >> cy && std::getline(rows, rest));
    size_t inside = 0, near = 0, moved = 0;
    while (rows >> x >> y && std::getline(rows, rest)) {
        double i = (x - cx) / (d.dx * 1e5) + (d.nx - 1) / 2.0;
        double j = (d.ny - 1) / 2.0 - (y - cy) / (d.dy * 1e5);
        int u = (int)std::lround(i), v = (int)std::lround(j);
        if (u < 3 || v < 3 || u >= d.nx - 3 || v >= d.ny - 3) continue;
        inside++;
        auto red_near = [&](int uc) {
            for (int dv = -2; dv <= 2; dv++)
                for (int du = -2; du <= 2; du++)
                    if (lines.at(uc + du, v + dv)) return true;
            return false;
        };
        near += red_near(u);
        moved += red_near(u + 6);
    }
    EXPECT_GT(inside, 1000u);
    EXPECT_GT((double)near / inside, 0.98) << near << " of " << inside;
    EXPECT_LT((double)moved / inside, 0.7) << "the check does not see a shift";
}

// The GINI sample plotted onto "us" with text only (labels, border, colour
// bar) and the further words, as a picture: a PostScript page ("page.ps"
// in the words) rendered at dpi, else the window dumped.
::testing::AssertionResult text_plot(const std::vector<std::string> &words, bool page, double dpi,
                                     const std::string &env, testutil::Raster *pic)
{
    testutil::ScratchDir dir;
    std::string in = dir.write("in.gini", testutil::read_file(kGini));
    std::vector<std::string> args = {"-b", "-inp", "awip", "-pd", "us", "-dr", "text"};
    args.insert(args.end(), words.begin(), words.end());
    if (!page) args.insert(args.end(), {"-out_file", "png=" + dir.file("win_%i.png")});
    args.push_back(in);
    Result r = zyrsat(args, dir.path(), env);
    if (r.status != 0) return ::testing::AssertionFailure() << "status " << r.status << ": " << r.out;
    bool ok = page ? render_ps(dir.file("page.ps"), dpi, dir.file("page.ppm"), pic)
                   : to_ppm(dir.file("win_win.png"), dir.file("win.ppm"), pic);
    if (!ok) return ::testing::AssertionFailure() << "no picture";
    return ::testing::AssertionSuccess();
}

// One plot's text against the background it is drawn on.  The picture is
// drawn with labels and the border only, so every drawn pixel is the text
// colour; the labels are the pixels above the border's top edge (left of
// it on a rotated page).
struct Contrast {
    const char *what;
    std::vector<std::string> args;  // device and plot words
    std::string env;
    bool page;                      // a PostScript page (else the window, dumped)
    bool light;                     // the background is white or light
    bool x = false;                 // the window on an X server (else the headless one)
};

// Counts of text-coloured pixels above the border and of pixels that are
// neither the background nor the text colour.
struct TextCount {
    long labels = 0, other = 0;
};

TextCount count_text(const testutil::Raster &r, unsigned back, unsigned text, bool rotated)
{
    TextCount c;
    // Lines run along the panel's top edge: rows, or columns of a rotated
    // page (its top at the left).
    const int lines = rotated ? r.w : r.h, len = rotated ? r.h : r.w;
    auto px = [&](int line, int k) { return rotated ? r.rgb(line, k) : r.rgb(k, line); };
    int edge = -1;
    for (int l = 0; l < lines && edge < 0; l++) {
        int n = 0;
        for (int k = 0; k < len; k++) n += px(l, k) == text;
        if (n > len / 2) edge = l;
    }
    for (int l = 0; l < lines; l++)
        for (int k = 0; k < len; k++) {
            unsigned v = px(l, k);
            if (v == text && l < edge) c.labels++;
            if (v != text && v != back) c.other++;
        }
    return c;
}

TEST(E2ePs, LabelsContrastWithTheBackground)
{
    if (!fs::exists(testutil::kZyrsat) || !fs::is_directory(kData)) GTEST_SKIP() << "no zyrsat or samples";
    if (!have("gs") || !have("convert")) GTEST_SKIP() << "needs ghostscript and ImageMagick";
    const Contrast cases[] = {
        {"colour page", {"-de", "p,page.ps,color"}, "", true, true},
        {"grey page", {"-de", "p,page.ps"}, "", true, true},
        {"pscolor page", {"-de", "p,page.ps", "-pp", "pscolor"}, "", true, true},
        {"window, zyrinverse", {"-de", "d,mem"}, "zyrinverse=1", false, true},
        {"window, inv", {"-de", "d,mem", "-pp", "inv"}, "", false, true},
        {"window, white background", {"-de", "d,mem", "-bg", "white"}, "", false, true},
        {"window, light grey background", {"-de", "d,mem", "-bg", "#d0d0d0"}, "", false, true},
        {"window", {"-de", "d,mem"}, "", false, false},
        {"window, navy background", {"-de", "d,mem", "-bg", "navy"}, "", false, false},
        {"X window, zyrinverse", {"-de", "d"}, "zyrinverse=1", false, true, true},
        {"X window", {"-de", "d"}, "", false, false, true},
    };
    gkstest::XServer server(24);
    for (const Contrast &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.x && !server.ok()) continue;
        std::vector<std::string> words = {"-la", "ul:HELLO ZYR"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        testutil::Raster pic;
        ASSERT_TRUE(text_plot(words, c.page, 50, c.x ? "DISPLAY=" + server.name() + " " + c.env : c.env, &pic));
        // The background: the picture's corner.
        const unsigned back = pic.rgb(0, pic.h - 1);
        EXPECT_EQ(back == kWhite || (back >> 16 & 255) > 128, c.light) << std::hex << back;
        const unsigned text = c.light ? 0x000000 : kWhite;
        TextCount n = count_text(pic, back, text, c.page);
        EXPECT_GT(n.labels, 60) << "no text in " << std::hex << text << " above the panel";
        EXPECT_EQ(n.other, 0);
    }
    if (!server.ok()) GTEST_SKIP() << "needs Xvfb (the X window rows)";
}

// A "pscolor" page is a colour page: the image as colorimage, the red map
// lines as red.
TEST(E2ePs, PscolorPageIsInColour)
{
    if (!fs::exists(testutil::kZyrsat) || !fs::is_directory(kData)) GTEST_SKIP() << "no zyrsat or samples";
    testutil::ScratchDir dir;
    std::string in = dir.write("in.gini", testutil::read_file(kGini));
    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-com", "red", "-pp", "pscolor", "-de", "p,page.ps", in},
                      dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::string ps = testutil::read_file(dir.file("page.ps"));
    EXPECT_NE(ps.find("false 3 colorimage\n"), std::string::npos);
    EXPECT_NE(ps.find("1.00 0.00 0.00 setrgbcolor\n"), std::string::npos);
    if (!have("gs")) GTEST_SKIP() << "needs gs";
    testutil::Raster page;
    ASSERT_TRUE(render_ps(dir.file("page.ps"), 50, dir.file("page.ppm"), &page));
    long red = 0;
    for (int y = 0; y < page.h; y++)
        for (int x = 0; x < page.w; x++) red += page.rgb(x, y) == kRed;
    EXPECT_GT(red, 500);
}

// The temperature bar on a PostScript page and on the headless window:
// numbers in the text colour under the bar, clear of its lower edge, at
// least three of them.
TEST(E2ePs, BarNumbersUnderTheBar)
{
    if (!fs::exists(testutil::kZyrsat) || !fs::is_directory(kData)) GTEST_SKIP() << "no zyrsat or samples";
    if (!have("gs") || !have("convert")) GTEST_SKIP() << "needs ghostscript and ImageMagick";
    struct Case {
        const char *what;
        std::vector<std::string> device;
        bool page;
        unsigned text;
    } cases[] = {
        {"page", {"-de", "p,page.ps,port"}, true, 0x000000},
        {"headless window", {"-de", "d,mem"}, false, kWhite},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> words = {"-pp", "irbar"};
        words.insert(words.end(), c.device.begin(), c.device.end());
        testutil::Raster pic;
        ASSERT_TRUE(text_plot(words, c.page, 100, "", &pic));
        // The bar's cells are grey (the infrared enhancement); its box is
        // their bounding box.
        testutil::Box bar = testutil::bbox(pic, [](unsigned v) {
            unsigned a = v >> 16 & 255, b = v >> 8 & 255, d = v & 255;
            return a == b && b == d && a > 20 && a < 235;
        });
        ASSERT_GT(bar.w(), 200);
        ASSERT_LT(bar.h(), 60);
        // Text under the bar, after at least one clear row below its outline.
        const int x0 = std::max(bar.x0 - 20, 0), x1 = std::min(bar.x1 + 40, pic.w - 1);
        int top = -1, low = -1;
        for (int y = bar.y1 + 2; y < pic.h; y++)
            for (int x = x0; x <= x1; x++)
                if (pic.rgb(x, y) == c.text) {
                    if (top < 0) top = y;
                    low = y;
                }
        ASSERT_GT(top, bar.y1 + 2) << "no numbers, or numbers touching the bar";
        // The numbers: runs of text columns apart by more than a third of
        // the text height.
        int groups = 0, last = -1 << 20;
        for (int x = x0; x <= x1; x++)
            for (int y = top; y <= low; y++)
                if (pic.rgb(x, y) == c.text) {
                    groups += x - last > (low - top + 1) / 3;
                    last = x;
                    break;
                }
        EXPECT_GE(groups, 3);
    }
}

}  // namespace
