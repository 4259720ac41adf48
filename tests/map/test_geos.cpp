// The geostationary fixed grid against PROJ's geos (cs2cs), the oracle for both sweep axes, both directions, the
// image grid placed on its scan angles, and the domain string that names it.
#include <cmath>
#include <sstream>

#include "../test_support.h"
#include "map/dom.h"
#include "map/proj.h"

namespace {

// GOES-16 (sweep x, GRS80) and Meteosat (sweep y, the ellipsoid of its files), as their files state them.
const struct Sat { const char *axis; double lon, h, a, b; } kSats[] = {
    {"x", -75.0, 35786023.0, 6378137.0, 6356752.31414},
    {"y", 9.5, 35785831.0, 6378169.0, 6356583.8},
};

std::string geos(const Sat &s)
{
    std::ostringstream o;
    o.precision(12);
    o << "+proj=geos +sweep=" << s.axis << " +h=" << s.h << " +a=" << s.a << " +b=" << s.b << " +lon_0=" << s.lon;
    return o.str();
}

std::string longlat(const Sat &s)
{
    std::ostringstream o;
    o.precision(12);
    o << "+proj=longlat +a=" << s.a << " +b=" << s.b;
    return o.str();
}

using testutil::cs2cs;

DOM decode(const std::string &text)
{
    DOM d;
    EXPECT_EQ(DOM_decode(text.c_str(), &d), 1) << text;
    return d;
}

std::string domain_of(const Sat &s)
{
    std::ostringstream o;
    o.precision(12);
    o << "geos:" << s.axis << ":" << s.lon << ":" << s.h << ":" << s.a << ":" << s.b << ",0," << s.lon;
    return o.str();
}

// 49 points over the disc seen from each satellite, a few beyond its limb; forward against PROJ (1 m), and PROJ's
// plane points back (1e-5 degree, about 1 m); refusals agree with PROJ's except within 0.1 degree of the limb.
TEST(MapGeos, BothSweepAxesAgreeWithProj)
{
    NEED_TOOL("cs2cs");
    for (const Sat &s : kSats) {
        SCOPED_TRACE(s.axis);
        const MapProj p(decode(domain_of(s)));
        std::vector<std::pair<double, double>> ll, xy;
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j) ll.emplace_back(s.lon - 78 + 26 * i, -78 + 26 * j);  // lon, lat
        for (double far : {90.0, 100.0, 180.0}) ll.emplace_back(s.lon + far, 0);
        ll.emplace_back(s.lon, 82);
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j) xy.emplace_back(-5.6e6 + 1.6e6 * i, 5.6e6 - 1.6e6 * j);
        xy.emplace_back(5.6e6, 4.2e6);  // off the disc
        const auto fwd = cs2cs(longlat(s), geos(s), ll), inv = cs2cs(geos(s), longlat(s), xy);
        ASSERT_EQ(fwd.size(), ll.size());
        ASSERT_EQ(inv.size(), xy.size());
        int drawn = 0, placed = 0;
        for (size_t k = 0; k < ll.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "lat " << ll[k].second << " lon " << ll[k].first);
            float x, y;
            const int ok = p.tran(&x, &y, (float)ll[k].second, (float)ll[k].first);
            // Angular distance from the sub-point: 81.3 degrees is the limb.
            const double c = std::cos(ll[k].second * M_PI / 180) * std::cos((ll[k].first - s.lon) * M_PI / 180);
            if (std::fabs(std::acos(c) * 180 / M_PI - 81.3) < 0.1) continue;
            EXPECT_EQ(ok, std::isnan(fwd[k].first) ? 0 : 1);
            if (!ok || std::isnan(fwd[k].first)) continue;
            ++drawn;
            EXPECT_NEAR(x * 1e5, fwd[k].first, 1.0);
            EXPECT_NEAR(y * 1e5, fwd[k].second, 1.0);
        }
        for (size_t k = 0; k < xy.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "x " << xy[k].first << " y " << xy[k].second);
            float lat, lon;
            const int ok = p.untran(&lat, &lon, (float)(xy[k].first * 1e-5), (float)(xy[k].second * 1e-5));
            EXPECT_EQ(ok, std::isnan(inv[k].first) ? 0 : 1);
            if (!ok || std::isnan(inv[k].first)) continue;
            ++placed;
            EXPECT_NEAR(lat, inv[k].second, 1e-5);
            EXPECT_NEAR(lon, inv[k].first, 1e-5 / std::cos(lat * M_PI / 180));
        }
        EXPECT_GT(drawn, 25);
        EXPECT_GT(placed, 30);
    }
}

// Image grids placed on their scan angles (the GOES-R full disk, CONUS and a mesoscale sector, at 2 km; a Meteosat
// full disk about y): pixel centres to latitude/longitude through PROJ, then back to the grid index within 0.01
// pixel, and PROJ's latitude/longitude of the centres from ours within 1e-5 degree.
TEST(MapGeos, FixedGridPixelsWithinAHundredthOfAPixel)
{
    NEED_TOOL("cs2cs");
    const struct Case { const char *name; int sat; double x0, y0, dx, dy; int nx, ny; } cases[] = {
        {"full disk", 0, -0.151816, 0.151816, 5.6e-5, -5.6e-5, 5424, 5424},
        {"CONUS", 0, -0.101332, 0.128212, 5.6e-5, -5.6e-5, 2500, 1500},
        {"mesoscale", 0, 0.040292, 0.091028, 2.8e-5, -2.8e-5, 1000, 1000},
        {"MSG full disk", 1, -0.151843, 0.151843, 8.0e-5, -8.0e-5, 3712, 3712},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Sat &s = kSats[c.sat];
        const DOM_FIXED_GRID g{s.lon, s.h, s.a, s.b, c.sat == 0, c.x0, c.y0, c.dx, c.dy, c.nx, c.ny};
        DOM d;
        ASSERT_EQ(DOM_set_fixed_grid(&d, &g), 0);
        const MapProj p(d);
        std::vector<std::pair<double, double>> px, xy;
        for (int k = 0; k < 50; ++k) {
            // A spread over the grid, corners of the disc included (PROJ refuses those).
            const double col = (c.nx - 1) * ((k * 37) % 50) / 49.0, row = (c.ny - 1) * ((k * 13) % 50) / 49.0;
            px.emplace_back(col, row);
            xy.emplace_back((c.x0 + col * c.dx) * s.h, (c.y0 + row * c.dy) * s.h);
        }
        const auto ll = cs2cs(geos(s), longlat(s), xy);
        ASSERT_EQ(ll.size(), px.size());
        int n = 0;
        for (size_t k = 0; k < px.size(); ++k) {
            if (std::isnan(ll[k].first)) continue;
            ++n;
            SCOPED_TRACE(testing::Message() << "col " << px[k].first << " row " << px[k].second);
            float x, y, i, j, lat, lon;
            ASSERT_EQ(p.tran(&x, &y, (float)ll[k].second, (float)ll[k].first), 1);
            p.grid_untran(&i, &j, x, y);
            EXPECT_NEAR(i, px[k].first, 0.01);
            EXPECT_NEAR(j, px[k].second, 0.01);
            p.grid_tran(&x, &y, (float)px[k].first, (float)px[k].second);
            ASSERT_EQ(p.untran(&lat, &lon, x, y), 1);
            EXPECT_NEAR(lat, ll[k].second, 1e-5);
            EXPECT_NEAR(lon, ll[k].first, 1e-5 / std::cos(lat * M_PI / 180));
        }
        EXPECT_GT(n, 30);
    }
    // Unusable grids: a sector off the earth, columns running west, rows running north, numbers that are not.
    const Sat &s = kSats[0];
    const DOM_FIXED_GRID bad[] = {
        {s.lon, s.h, s.a, s.b, 1, 0.16, 0.0, 5.6e-5, -5.6e-5, 100, 100},
        {s.lon, s.h, s.a, s.b, 1, 0.0, 0.0, -5.6e-5, -5.6e-5, 100, 100},
        {s.lon, s.h, s.a, s.b, 1, 0.0, 0.0, 5.6e-5, 5.6e-5, 100, 100},
        {s.lon, NAN, s.a, s.b, 1, 0.0, 0.0, 5.6e-5, -5.6e-5, 100, 100},
        {s.lon, s.h, s.b, s.a, 1, 0.0, 0.0, 5.6e-5, -5.6e-5, 100, 100},
        {s.lon, s.h, s.a, s.b, 1, 0.0, 0.0, 5.6e-5, -5.6e-5, 0, 100},
    };
    for (const auto &g : bad) {
        DOM d;
        d.proj = 77;
        EXPECT_EQ(DOM_set_fixed_grid(&d, &g), -1) << g.x0 << " " << g.dx << " " << g.dy << " " << g.nx;
        EXPECT_EQ(d.proj, 77);
    }
}

// The domain string: defaults, both axes, refusals; what DOM_string writes decodes to the same record, for a grid
// made by DOM_set_fixed_grid too; the keyword before it kept its meaning.
TEST(MapGeos, DomainStringRoundTrips)
{
    const struct { const char *text; int result, ellipsoid; float plon, p0, p2, p3; } cases[] = {
        {"geos,0,-75", 1, DOM_GEOS_SWEEP_X, -9999, 421.6416f, 63.78137f, 63.5675231414f},
        {"geos:y:9.5:35785831:6378169:6356583.8,0,9.5,3712,3712,0.0286,0.0286", 1, DOM_GEOS_SWEEP_Y, 9.5f,
         421.64f, 63.78169f, 63.565838f},
        {"GEOS:X:-137.2,0,-137,11,11,0.02,0.02", 1, DOM_GEOS_SWEEP_X, -137.2f, 421.6416f, 63.78137f,
         63.5675231414f},
        {"geos:x:-75:::,0,-75", 1, DOM_GEOS_SWEEP_X, -75, 421.6416f, 63.78137f, 63.5675231414f},
        {"geos:z:-75,0,-75", -1, 0, 0, 0, 0, 0},
        {"geos:x:-75:0,0,-75", -1, 0, 0, 0, 0, 0},
        {"geos:x:-75:1e3x,0,-75", -1, 0, 0, 0, 0, 0},
        {"geos:x:-75:1:2:3:4,0,-75", -1, 0, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        DOM d;
        ASSERT_EQ(DOM_decode(c.text, &d), c.result);
        if (c.result != 1) continue;
        EXPECT_EQ((std::vector<float>{(float)d.proj, (float)d.ellipsoid, d.plat, d.plon, d.parm[0], d.parm[1],
                                      d.parm[2], d.parm[3]}),
                  (std::vector<float>{9, (float)c.ellipsoid, 0, c.plon, c.p0, 1, c.p2, c.p3}));
        const std::string text = DOM_string(&d);
        DOM back;
        ASSERT_EQ(DOM_decode(text.c_str(), &back), 1) << text;
        EXPECT_EQ(DOM_comp(&d, &back), 1) << text;
        EXPECT_EQ(DOM_string(&back), text);
    }
    const DOM_FIXED_GRID g{-75.2, 35786023, 6378137, 6356752.31414, 1, -0.101332, 0.128212, 5.6e-5, -5.6e-5, 5000,
                           3000};
    DOM d, back;
    ASSERT_EQ(DOM_set_fixed_grid(&d, &g), 0);
    const std::string text = DOM_string(&d);
    EXPECT_EQ(text.rfind("geos:x:-75.1999969:35786023.", 0), 0u) << text;
    ASSERT_EQ(DOM_decode(text.c_str(), &back), 1);
    EXPECT_EQ(DOM_comp(&d, &back), 1) << text;
    const DOM old = decode("sat:e:0:-75:421.6:1,0,-75");
    EXPECT_EQ(DOM_string(&old),
              "sat:e:0.000:-75.000:421.600:1.000:,0.000,-75.000,25,17,1.2000,1.2000");
}

}  // namespace
