// The in-memory picture against a 24-bit X server drawing the same request with the same graphics
// context, every pixel compared; known differences are counted, not avoided.
#include "gks_test_util.h"

#include <functional>
#include <map>
#include <random>

#include "gks/raster.h"

namespace {

using testutil::Raster;

// The window's dash lists of line types 2 to 5, and an odd one.
const std::vector<std::vector<unsigned char>> DASHES = {{6, 6}, {3, 6}, {6, 6, 3, 6}, {2, 2}, {5, 1, 2}};

// Xlib's side: a black pixmap and a GC set from a GRasterGC.
struct XSide {
    Display *d; int w, h; Pixmap pix, stip = 0; GC gc;
    XSide(Display *dpy, int width, int height, const GRasterGC &g)
        : d(dpy), w(width), h(height), pix(XCreatePixmap(d, DefaultRootWindow(d), w, h, 24)), gc(XCreateGC(d, pix, 0, nullptr)) {
        XSetForeground(d, gc, 0), XFillRectangle(d, pix, gc, 0, 0, w, h);
        XSetForeground(d, gc, g.fg), XSetBackground(d, gc, g.bg), XSetFunction(d, gc, g.function), XSetFillRule(d, gc, EvenOddRule);
        XSetLineAttributes(d, gc, g.line_width, g.line_style, g.cap_style, g.join_style);
        XSetDashes(d, gc, g.dash_offset, (const char *)g.dashes.data(), (int)g.dashes.size());
        if (g.fill_style == FillStippled) {
            const int bpr = (g.stipple_w + 7) / 8;
            std::vector<unsigned char> bits((size_t)bpr * g.stipple_h);
            for (int i = 0; i < g.stipple_w * g.stipple_h; i++)
                if (g.stipple[i]) bits[i / g.stipple_w * bpr + i % g.stipple_w / 8] |= (unsigned char)(1 << (i % g.stipple_w % 8));
            stip = XCreateBitmapFromData(d, pix, (char *)bits.data(), g.stipple_w, g.stipple_h);
            XSetStipple(d, gc, stip), XSetTSOrigin(d, gc, g.ts_x, g.ts_y), XSetFillStyle(d, gc, FillStippled);
        }
        XRectangle r{(short)g.clip_x, (short)g.clip_y, (unsigned short)g.clip_w, (unsigned short)g.clip_h};
        if (g.clip) XSetClipRectangles(d, gc, 0, 0, &r, 1, Unsorted);
    }
    ~XSide() { (stip ? XFreePixmap(d, stip) : 0), XFreeGC(d, gc), XFreePixmap(d, pix); }
    void draw(const std::vector<int> &xy, bool fill) {
        std::vector<XPoint> p(xy.size() / 2);
        for (size_t i = 0; i < p.size(); i++) p[i] = {(short)xy[2 * i], (short)xy[2 * i + 1]};
        if (fill) XFillPolygon(d, pix, gc, p.data(), (int)p.size(), Complex, CoordModeOrigin);
        else XDrawLines(d, pix, gc, p.data(), (int)p.size(), CoordModeOrigin);
    }
    Raster read() {
        XImage *im = XGetImage(d, pix, 0, 0, w, h, AllPlanes, ZPixmap);
        Raster r{w, h, std::vector<unsigned char>((size_t)w * h * 3)};
        for (int i = 0; i < w * h; i++)
            for (unsigned long p = XGetPixel(im, i % w, i / w), c = 0; c < 3; c++) r.px[3 * i + c] = (unsigned char)(p >> (16 - 8 * c));
        XDestroyImage(im);
        return r;
    }
};

// Each segment (x1, y1, x2, y2 in a row) as a two-point line of its own.
void segments(GRaster &r, XSide &x, const GRasterGC &gc, const std::vector<int> &xy) {
    for (size_t i = 0; i + 3 < xy.size(); i += 4)
        r.draw_lines(gc, &xy[i], 2), x.draw({xy[i], xy[i + 1], xy[i + 2], xy[i + 3]}, false);
}

// "" when equal; else the count, the first differing pixel and (if asked) a diff picture's path.
std::string compare(const GRaster &g, const Raster &x, const std::string &what, bool diff) {
    Raster r{g.width(), g.height(), std::vector<unsigned char>(x.px.size())};
    for (size_t i = 0; i < r.px.size(); i++) r.px[i] = (unsigned char)(g.pixels()[i / 3] >> (16 - i % 3 * 8));
    static int serial = 0;
    const std::string path = testing::TempDir() + "raster_diff_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + ".ppm";
    const long n = testutil::differing_pixels(r, x, 0, diff ? path : "");
    int i = 0;
    while (n && r.rgb(i % r.w, i / r.w) == x.rgb(i % r.w, i / r.w)) i++;
    char buf[160];
    snprintf(buf, sizeof buf, ": %ld pixels differ, first (%d,%d): ours %06x, X %06x", n, i % r.w, i / r.w, r.rgb(i % r.w, i / r.w),
             x.rgb(i % r.w, i / r.w));
    return n ? what + buf + (diff ? "; diff picture " + path : "") : "";
}

// One server and connection for the suite (without -noreset a server resets when its last
// client goes): $DISPLAY when it has a 24-bit screen, else a private Xvfb.
class RasterVsX : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char *env = getenv("DISPLAY");
        if (env && *env && (d_ = XOpenDisplay(env)) && DefaultDepth(d_, DefaultScreen(d_)) != 24) XCloseDisplay(d_), d_ = nullptr;
        if (!d_ && testutil::have("Xvfb") && (server_ = new gkstest::XServer(24, "64x64"))->ok())
            d_ = XOpenDisplay(server_->name().c_str());
    }
    static void TearDownTestSuite() { (d_ ? XCloseDisplay(d_) : 0), delete server_, d_ = nullptr, server_ = nullptr; }
    void SetUp() override { if (!d_) GTEST_SKIP() << "needs a 24-bit X display or Xvfb"; }
    // Draws with both, the context gc, on a w x h black picture and compares.
    std::string same(int w, int h, const GRasterGC &gc, const std::function<void(GRaster &, XSide &)> &draw,
                     const std::string &what, bool diff = true) {
        GRaster r(w, h, 0);
        XSide x(d_, w, h, gc);
        return draw(r, x), compare(r, x.read(), what, diff);
    }
    static inline gkstest::XServer *server_ = nullptr;
    static inline Display *d_ = nullptr;
};

// The context's width, style, cap, join, function, dash offset and clip, then the points.
std::string describe(const std::string &kind, const GRasterGC &g, const std::vector<int> &xy) {
    std::string s = kind;
    for (int v : {g.line_width, g.line_style, g.cap_style, g.join_style, g.function, g.dash_offset, (int)g.clip, g.clip_x,
                  g.clip_y, g.clip_w, g.clip_h, -1})
        s.append(" ").append(std::to_string(v));
    for (int v : xy) s.append(" ").append(std::to_string(v));
    return s;
}

// One segment a tile from its centre: thin ones up to 64 pixels each way, widths 1 to 7 with
// each cap up to 24 (length 0: a square, a disc or nothing).
TEST_F(RasterVsX, SegmentsOfEveryWidthInEveryDirection) {
    for (int k = 0; k < 22; k++) {  // width 0 (cap 1), then widths 1 to 7 with caps 1, 2, 3
        const int reach = k ? 24 : 64, T = 2 * reach + 12, G = 1300 / T;
        GRasterGC gc;
        gc.fg = 0xFFFFFF, gc.line_width = (k + 2) / 3, gc.cap_style = k ? (k - 1) % 3 + 1 : 1;
        std::vector<int> seg;
        for (int dx = -reach; dx <= reach; dx++)
            for (int dy = -reach; dy <= reach; dy++) {
                const int t = (int)seg.size() / 4 % (G * G), cx = t % G * T + T / 2, cy = t / G * T + T / 2;
                seg.insert(seg.end(), {cx, cy, cx + dx, cy + dy});
            }
        for (size_t at = 0; at < seg.size(); at += 4 * G * G) {
            std::vector<int> part(seg.begin() + (long)at, seg.begin() + (long)std::min(seg.size(), at + 4 * G * G));
            ASSERT_EQ(same(T * G, T * G, gc, [&](GRaster &r, XSide &x) { segments(r, x, gc, part); },
                           describe("segments from", gc, {part[2] - part[0], part[3] - part[1]})), "");
        }
    }
}

// The differences of wide lines the picture is known to have (the list in gks/raster.h), and in
// how many of the rounds below each shows (a round is put under the first that applies).  A round
// differing with none of them fails; a count that changes fails too, so a fix is noticed.
struct Known { const char *what; bool (*applies)(const GRasterGC &, bool closed); int rounds; };
const Known KNOWN[] = {
    {"miter joins of width 1", [](const GRasterGC &g, bool) { return g.join_style == 0 && g.line_width == 1; }, 16},
    {"round ends of dashes", [](const GRasterGC &g, bool) { return g.cap_style == 2 && g.line_style != 0; }, 40},
    {"double dashes under exclusive-or", [](const GRasterGC &g, bool) { return g.line_style == 2 && g.function == 6; }, 27},
    {"double dashes with round joins", [](const GRasterGC &g, bool) { return g.line_style == 2 && g.join_style == 1; }, 1},
    {"closed on-off paths with projecting caps",
     [](const GRasterGC &g, bool closed) { return g.line_style == 1 && g.cap_style == 3 && closed; }, 3},
};

// Thin (width 0: NotLast and Butt ends, as single segments too) and widths 1 to 5 with each cap
// and join; solid and the window's dash lists, on-off and double, copy and exclusive-or.  The paths
// take short steps (turns of every angle, reversals, repeated points), long ones or axis-parallel
// ones, every fifth closed; some are clipped, stippled, or reach thousands of pixels off the
// picture.  The last point and exclusive-or show each pixel's count.
TEST_F(RasterVsX, RandomPolylinesOfEachWidthCapJoinAndLineType) {
    std::mt19937 rng(5);
    auto pick = [&](int a, int b) { return a + (int)(rng() % (unsigned)(b - a + 1)); };
    std::map<std::string, int> seen;
    int round = 0;
    for (int lw = 0; lw <= 5; lw++)
        for (int cap : lw ? std::vector<int>{1, 3, 2} : std::vector<int>{0, 1})
            for (int join : lw ? std::vector<int>{2, 0, 1} : std::vector<int>{0})
                for (int k = 0; k < (lw ? 40 : 120); k++, round++) {
                    GRasterGC gc;
                    gc.fg = 0xFFFFFF, gc.bg = 0x00FF00, gc.line_width = lw, gc.cap_style = cap, gc.join_style = join;
                    gc.function = k % 2 ? 6 : 3, gc.line_style = k % 3, gc.dash_offset = k % 7 == 3 ? k % 11 : 0;
                    gc.dashes = DASHES[(size_t)(k / 3) % DASHES.size()];
                    gc.clip = k % 4 == 1, gc.clip_x = pick(0, 80), gc.clip_y = pick(0, 60), gc.clip_w = pick(20, 200), gc.clip_h = pick(20, 200);
                    if (k % 8 == 6) {
                        gc.fill_style = 2, gc.stipple_w = 3, gc.stipple_h = 5, gc.ts_x = k % 5, gc.ts_y = k % 4;
                        for (int i = 0; i < 15; i++) gc.stipple.push_back((uint8_t)((i * 7 + k) % 3 != 0));
                    }
                    const int n = pick(2, 7), kind = round % 4, step = kind == 0 ? 4 : 40;
                    std::vector<int> xy;
                    for (int i = 0, x = 150, y = 150; i < n; i++) {
                        if (kind == 2) x = pick(20, 280), y = pick(20, 280);
                        if (kind != 2 && (kind != 3 || i % 2)) x = std::clamp(x + pick(-step, step), 20, 280);
                        if (kind != 2 && (kind != 3 || !(i % 2))) y = std::clamp(y + pick(-step, step), 20, 280);
                        xy.insert(xy.end(), {x, y});
                    }
                    if (round % 5 == 0) xy.insert(xy.end(), {xy[0], xy[1]});
                    if (k % 8 == 7 || k % 8 == 5)
                        for (int &v : xy) v = (v - 150) * (k % 8 == 7 ? 50 : 3);
                    const bool closed = xy[0] == xy[xy.size() - 2] && xy[1] == xy.back(), segs = !lw && k % 2 && xy.size() % 4 == 0;
                    const Known *known = std::find_if(KNOWN, std::end(KNOWN), [&](auto &kn) { return kn.applies(gc, closed); });
                    known = known == std::end(KNOWN) ? nullptr : known;
                    const std::string err = same(300, 300, gc, [&](GRaster &r, XSide &x) {
                        if (segs) segments(r, x, gc, xy);
                        else r.draw_lines(gc, xy.data(), (int)xy.size() / 2), x.draw(xy, false);
                    }, describe(segs ? "segments" : "lines", gc, xy), !known);
                    if (err.empty()) continue;
                    if (known) seen[known->what]++;
                    else ADD_FAILURE() << err;
                }
    for (const auto &k : KNOWN) EXPECT_EQ(seen[k.what], k.rounds) << "rounds differing by " << k.what;
}

// Concave and self-crossing polygons, plain and through each of the 20 fill stipples at several
// origins, with their thin outline (as the window fills areas), rectangles filled, points, with
// and without a clip, copy and exclusive-or.
TEST_F(RasterVsX, PolygonsStipplesAndFilledRectangles) {
    std::mt19937 rng(31);
    auto pick = [&](int a, int b) { return a + (int)(rng() % (unsigned)(b - a + 1)); };
    for (int k = -1; k < 20; k++)
        for (int round = 0; round < 6; round++) {
            GRasterGC gc;
            gc.fg = 0xFFFFFF, gc.function = round % 3 == 2 ? 6 : 3;
            const unsigned char *rows = k >= 0 ? gget_fill_pattern(k) : nullptr;
            if (rows) gc.fill_style = 2, gc.stipple_w = gc.stipple_h = 8, gc.ts_x = round, gc.ts_y = 2 * round;
            for (int i = 0; rows && i < 64; i++) gc.stipple.push_back((rows[i / 8] >> (7 - i % 8)) & 1);
            gc.clip = round % 2, gc.clip_x = pick(0, 80), gc.clip_y = pick(0, 60), gc.clip_w = pick(20, 150), gc.clip_h = pick(20, 120);
            std::vector<int> xy;
            for (int i = pick(3, 12); i > 0; i--) xy.insert(xy.end(), {pick(-20, 220), pick(-20, 170)});
            const int rx = pick(-10, 150), ry = pick(-10, 100), rw = pick(0, 80), rh = pick(0, 60);
            ASSERT_EQ(same(200, 150, gc, [&](GRaster &r, XSide &x) {
                r.fill_polygon(gc, xy.data(), (int)xy.size() / 2), x.draw(xy, true);
                r.draw_lines(gc, xy.data(), (int)xy.size() / 2), x.draw(xy, false);
                r.fill_rectangle(gc, rx, ry, rw, rh), XFillRectangle(d_, x.pix, x.gc, rx, ry, (unsigned)rw, (unsigned)rh);
                r.draw_point(gc, rx, ry), XDrawPoint(d_, x.pix, x.gc, rx, ry);
            }, describe("stipple " + std::to_string(k) + " rectangle " + std::to_string(rx) + "," + std::to_string(ry) + " " +
                            std::to_string(rw) + "x" + std::to_string(rh) + ", polygon", gc, xy)), "");
        }
}

// Wide lines are kept and drawn later in bands of rows on the worker threads: hundreds of
// overlapping lines of several colours, widths, caps, joins (sharp zigzags reach far with
// miters), dashes and clips, some crossing the picture's edges, come out as drawn one by one
// (each followed by a read, which draws what is kept).  No server needed: the one-by-one
// drawing is the path the comparisons above check against X.
TEST(RasterKept, BandsDrawAsOneByOne) {
    std::mt19937 rng(7);
    auto pick = [&](int a, int b) { return a + (int)(rng() % (unsigned)(b - a + 1)); };
    GRaster banded(640, 480, 0x102030), single(640, 480, 0x102030);
    for (int k = 0; k < 600; k++) {
        GRasterGC gc;
        gc.fg = 0x010101u * (unsigned)pick(1, 250) ^ (unsigned)k, gc.bg = 0x00FF00, gc.line_width = pick(1, 9);
        gc.cap_style = pick(1, 3), gc.join_style = pick(0, 2), gc.line_style = k % 5 == 0 ? pick(1, 2) : 0;
        gc.dashes = DASHES[(size_t)k % DASHES.size()], gc.dash_offset = k % 7;
        gc.clip = k % 6 == 1, gc.clip_x = pick(-20, 300), gc.clip_y = pick(-20, 200), gc.clip_w = pick(10, 400), gc.clip_h = pick(10, 300);
        std::vector<int> xy;
        const bool zigzag = k % 9 == 4;
        for (int i = 0, n = pick(2, 12), x = pick(-40, 680), y = pick(-40, 520); i < n; i++) {
            x += zigzag ? (i % 2 ? 90 : -88) : pick(-60, 60);
            y += zigzag ? 3 : pick(-60, 60);
            xy.insert(xy.end(), {x, y});
        }
        banded.draw_lines(gc, xy.data(), (int)xy.size() / 2);
        single.draw_lines(gc, xy.data(), (int)xy.size() / 2);
        (void)single.at(0, 0);
        if (k % 150 == 149) {  // something else drawn between: what is kept is drawn first
            const int x = pick(0, 600), y = pick(0, 400);
            banded.fill_rectangle(GRasterGC{}, x, y, 30, 20);
            single.fill_rectangle(GRasterGC{}, x, y, 30, 20);
        }
    }
    EXPECT_EQ(banded.pixels(), single.pixels());
}

}  // namespace
