// The in-memory picture against a 24-bit Xvfb drawing the same thing:
// thin lines in every direction up to length 64 (both end orders, since all
// directions are drawn from one start), clipped lines with ends off the
// picture, and concave and self-crossing polygons with the even-odd rule.
#include "../image/codec_oracle.h"
#include "../test_helpers.h"
#include "gks_test_util.h"

#include <random>

#include "gks/raster.h"

namespace {

constexpr uint32_t WHITE = 0xFFFFFF;

// Draws with Xlib into a pixmap and reads it back.
class XCanvas {
public:
    XCanvas(Display *d, int w, int h) : d_(d), w_(w), h_(h)
    {
        pix_ = XCreatePixmap(d, DefaultRootWindow(d), w, h, 24);
        gc_ = XCreateGC(d, pix_, 0, nullptr);
        XSetFillRule(d, gc_, EvenOddRule);
    }
    ~XCanvas()
    {
        XFreeGC(d_, gc_);
        XFreePixmap(d_, pix_);
    }
    void clear()
    {
        XSetClipMask(d_, gc_, None);
        XSetForeground(d_, gc_, 0);
        XFillRectangle(d_, pix_, gc_, 0, 0, w_, h_);
        XSetForeground(d_, gc_, WHITE);
    }
    void clip(int x, int y, int w, int h)
    {
        XRectangle r{(short)x, (short)y, (unsigned short)w, (unsigned short)h};
        XSetClipRectangles(d_, gc_, 0, 0, &r, 1, Unsorted);
    }
    void line(int x1, int y1, int x2, int y2) { XDrawLine(d_, pix_, gc_, x1, y1, x2, y2); }
    void polygon(const int *xy, int n)
    {
        std::vector<XPoint> p((size_t)n);
        for (int i = 0; i < n; i++) p[(size_t)i] = {(short)xy[2 * i], (short)xy[2 * i + 1]};
        XFillPolygon(d_, pix_, gc_, p.data(), n, Complex, CoordModeOrigin);
    }
    std::vector<uint32_t> read()
    {
        XImage *im = XGetImage(d_, pix_, 0, 0, w_, h_, AllPlanes, ZPixmap);
        std::vector<uint32_t> v((size_t)w_ * h_);
        for (int y = 0; y < h_; y++)
            for (int x = 0; x < w_; x++) v[(size_t)y * w_ + x] = (uint32_t)XGetPixel(im, x, y) & 0xFFFFFF;
        XDestroyImage(im);
        return v;
    }

private:
    Display *d_;
    int w_, h_;
    Pixmap pix_;
    GC gc_;
};

// First differing pixel as "x,y", or "".
std::string diff(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b, int w)
{
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i]) return std::to_string(i % w) + "," + std::to_string(i / w);
    return "";
}

// One server for the suite.
class RasterVsX : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (system("command -v Xvfb >/dev/null 2>&1") == 0) server_ = new codec::Xvfb("64x64x24");
    }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override
    {
        if (!server_) GTEST_SKIP() << "Xvfb not installed";
        ASSERT_FALSE(server_->display().empty());
        d_ = XOpenDisplay(server_->display().c_str());
        ASSERT_NE(d_, nullptr);
    }
    void TearDown() override
    {
        if (d_) XCloseDisplay(d_);
    }
    static codec::Xvfb *server_;
    Display *d_ = nullptr;
};

codec::Xvfb *RasterVsX::server_ = nullptr;

TEST_F(RasterVsX, ThinLinesEveryDirection)
{
    // Tiles of 131 x 131, each holding one line from its centre, 10 x 10
    // tiles a round trip.
    const int L = 64, T = 2 * L + 3, G = 10, W = T * G;
    XCanvas xc(d_, W, W);
    std::vector<std::pair<int, int>> dirs;
    for (int dx = -L; dx <= L; dx++)
        for (int dy = -L; dy <= L; dy++) dirs.push_back({dx, dy});
    for (size_t start = 0; start < dirs.size(); start += G * G) {
        GRaster r(W, W, 0);
        xc.clear();
        for (size_t k = start; k < std::min(dirs.size(), start + G * G); k++) {
            int t = (int)(k - start), cx = (t % G) * T + L + 1, cy = (t / G) * T + L + 1;
            xc.line(cx, cy, cx + dirs[k].first, cy + dirs[k].second);
            r.thin_line(cx, cy, cx + dirs[k].first, cy + dirs[k].second, WHITE);
        }
        std::string where = diff(r.pixels(), xc.read(), W);
        ASSERT_EQ(where, "") << "lines from " << dirs[start].first << "," << dirs[start].second;
    }
}

TEST_F(RasterVsX, ClippedLinesAndPolygons)
{
    const int W = 200, H = 150;
    XCanvas xc(d_, W, H);
    std::mt19937 rng(23);
    auto coord = [&](int lo, int hi) { return lo + (int)(rng() % (unsigned)(hi - lo + 1)); };
    for (int round = 0; round < 100; round++) {
        GRaster r(W, H, 0);
        xc.clear();
        int cx = coord(0, 80), cy = coord(0, 60), cw = coord(20, 150), ch = coord(20, 120);
        if (round % 2) {
            xc.clip(cx, cy, cw, ch);
            r.set_clip(cx, cy, cw, ch);
        }
        for (int k = 0; k < 30; k++) {
            int x1 = coord(-300, 500), y1 = coord(-300, 450), x2 = coord(-300, 500), y2 = coord(-300, 450);
            xc.line(x1, y1, x2, y2);
            r.thin_line(x1, y1, x2, y2, WHITE);
        }
        ASSERT_EQ(diff(r.pixels(), xc.read(), W), "") << "lines, round " << round;

        // Concave and self-crossing polygons: random vertices, 3 to 12.
        xc.clear();
        r.clear(0);
        if (round % 2) xc.clip(cx, cy, cw, ch);
        int n = coord(3, 12);
        std::vector<int> xy;
        for (int i = 0; i < n; i++) {
            xy.push_back(coord(-20, W + 20));
            xy.push_back(coord(-20, H + 20));
        }
        xc.polygon(xy.data(), n);
        r.fill_polygon(xy.data(), n, WHITE);
        std::vector<uint32_t> xr = xc.read();
        std::string where = diff(r.pixels(), xr, W);
        std::string verts;
        for (int v : xy) verts += std::to_string(v) + " ";
        if (!where.empty()) {
            int px = std::stoi(where), py = std::stoi(where.substr(where.find(',') + 1));
            verts += " ours " + std::to_string(r.at(px, py)) + " X " + std::to_string(xr[(size_t)py * W + px]);
        }
        ASSERT_EQ(where, "") << "polygon " << verts << ", round " << round;
    }
}

}  // namespace
