// Map projections against PROJ's cs2cs or values worked by hand: plot units are 100 km on a sphere of 6371.22 km.
#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "../test_support.h"
#include "map/dom.h"
#include "map/map.h"

namespace {

constexpr float M = -9999.0f;
constexpr double R = 63.7122, SRAD = 421.61, HEIGHT = SRAD - R, m = 1e-5;  // sphere, orbit radius, 100 km a metre

DOM install(const char *text)
{
    DOM d;
    EXPECT_GE(DOM_decode(text, &d), 1) << text;
    MAP_domain(&d);
    return d;
}

double lon_diff(double a, double b)
{
    double d = std::fmod(a - b, 360.0);
    return d > 180 ? d - 360 : d < -180 ? d + 360 : d;
}

std::pair<float, float> tran(float lat, float lon)
{
    float x = 1, y = 1;
    MAP_tran(&x, &y, lat, lon);
    return {x, y};
}

// Our Mollweide is PROJ's scaled by 1/sqrt(2); with scan angles our satellite view multiplies the angles by the orbit
// radius, PROJ by the height; scale 0: geostationary without scan angles, ours is srad * tan(angle).  Rows without a
// PROJ string (latitude/longitude, the ellipsoid views, the southern poles) are round trips only.
// Rows: domain, PROJ string, our units per PROJ metre, and the corners of a 41 x 41 grid of test points.
const struct ProjCase { const char *domain, *proj; double scale; float lat0, lat1, lon0, lon1; } kProj[] = {
    {"ps:60:-105,40,-100", "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105", m, -60, 89, -180, 180},
    {"ps:60:20:45,40,20", "+proj=stere +lat_0=90 +lat_ts=45 +lon_0=20", m, -60, 89, -180, 180},
    {"ps:-60:0,-70,0", "+proj=stere +lat_0=-90 +lat_ts=-60 +lon_0=0", m, -89, 60, -180, 180},
    {"me:0:-30,0,-30", "+proj=merc +lon_0=-30", m, -85, 85, -179, 179},
    {"lc:40:-95,40,-95", "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=90 +lon_0=-95", m, -30, 85, -170, 20},
    {"lc:25:-95:25,40,-95", "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=90 +lon_0=-95", m, -30, 85, -170, 20},
    {"lc:-30:135:-20:-40,-30,135", "+proj=lcc +lat_1=-20 +lat_2=-40 +lat_0=-90 +lon_0=135", m, -85, 30, 60, 210},
    {"or:40:-100,40,-100", "+proj=ortho +lat_0=40 +lon_0=-100", m, -5, 85, -170, -30},
    {"laea:40:-100,40,-100", "+proj=laea +lat_0=40 +lon_0=-100", m, -80, 89, -179, 179},
    {"laea:90:0,90,0", "+proj=laea +lat_0=90 +lon_0=0", m, -80, 90, -179, 179},
    {"gn:40:-100,40,-100", "+proj=gnom +lat_0=40 +lon_0=-100", m, 0, 80, -150, -50},
    {"mo:0:10,0,10", "+proj=moll +lon_0=10", m / std::sqrt(2.0), -89, 89, -169, 189},
    {"sat:0:-75:421.61:1,0,-75", "+proj=geos +h=35789780 +lon_0=-75", SRAD / (HEIGHT * 1e5), -70, 70, -140, -10},
    {"sat:0:-75,0,-75", "+proj=geos +h=35789780 +lon_0=-75", 0, -70, 70, -140, -10},
    {"ps:-60:30:-45,-60,30", nullptr, 0, -89.5f, 70, -180, 179},
    {"ll,0,0", nullptr, 0, -90, 90, -179, 179},
    {"ll:0:120,0,120", nullptr, 0, -90, 90, -179, 179},
    {"laea:-90:0,-90,0", nullptr, 0, -89, 70, -179, 179},
    {"sat:e:0:140.7,0,140.7", nullptr, 0, -60, 60, 90, 190},
    {"sat:e:0:140.7:422:1,0,140.7", nullptr, 0, -60, 60, 90, 190},
};

std::pair<float, float> grid_point(const ProjCase &o, int k)
{
    return {o.lat0 + (o.lat1 - o.lat0) * (k / 41) / 40.0f, o.lon0 + (o.lon1 - o.lon0) * (k % 41) / 40.0f};
}

// PROJ's values for a case's points in our units; NaN where PROJ cannot project.
std::vector<std::pair<double, double>> cs2cs(const ProjCase &o)
{
    std::ostringstream in;
    in.precision(9);
    for (int k = 0; k < 41 * 41; ++k) in << grid_point(o, k).second << ' ' << grid_point(o, k).first << '\n';
    std::istringstream lines(testutil::run({"sh", "-c", std::string("cs2cs -f %.6f +proj=longlat +R=6371220 +to ") +
                                                            o.proj + " +R=6371220"}, "/", "", in.str()).out);
    std::vector<std::pair<double, double>> out;
    for (std::string line; std::getline(lines, line);) {
        double x = NAN, y = NAN;
        std::sscanf(line.c_str(), "%lf %lf", &x, &y);
        auto ours = [&o](double v) { return o.scale ? v * o.scale : SRAD * std::tan(v * 1e-5 / HEIGHT); };
        out.emplace_back(ours(x), ours(y));
    }
    return out;
}

// Projection objects all alive at once, used point by point in turn (each keeps its own constants; the current domain
// is left alone): forward against PROJ, then back (the longitude looser near a pole; PROJ's rows nearer the edges).
TEST(MapOracle, AgreesWithCs2cs)
{
    NEED_TOOL("cs2cs");
    const size_t n = std::size(kProj);
    std::vector<MapProj> objs;
    std::vector<std::vector<std::pair<double, double>>> refs(n);
    for (size_t c = 0; c < n; ++c) {
        refs[c] = kProj[c].proj ? cs2cs(kProj[c]) : std::vector<std::pair<double, double>>(41 * 41, {NAN, NAN});
        ASSERT_EQ(refs[c].size(), 41u * 41) << kProj[c].domain;
        const DOM d = install(kProj[c].domain);
        objs.push_back(MAP_make_proj(&d));
    }
    install("me,0,0");
    std::vector<int> compared(n), back(n);
    for (int k = 0; k < 41 * 41; ++k)
        for (size_t c = 0; c < n; ++c) {
            auto [lat, lon] = grid_point(kProj[c], k);
            auto [rx, ry] = refs[c][k];
            SCOPED_TRACE(testing::Message() << kProj[c].domain << " " << lat << "," << lon);
            float x, y, la, lo;
            int ok = objs[c].tran(&x, &y, lat, lon);
            if (ok && !std::isnan(rx) && std::fabs(rx) < 1e4 && std::fabs(ry) < 1e4) {
                ++compared[c];
                EXPECT_NEAR(x, rx, 1e-4 * R + 1e-6 * std::fabs(rx));
                EXPECT_NEAR(y, ry, 1e-4 * R + 1e-6 * std::fabs(ry));
            }
            if (!ok || std::fabs(x) > 1e4 || std::fabs(y) > 1e4 || std::fabs(lat) > 89.9f) continue;
            ++back[c];
            const double tol = kProj[c].proj ? 1e-3 : 1e-4;
            ASSERT_EQ(objs[c].untran(&la, &lo, x, y), 1);
            EXPECT_NEAR(la, lat, tol);
            EXPECT_NEAR(lon_diff(lo, lon), 0, tol / std::cos(lat * M_PI / 180));
        }
    EXPECT_EQ(MAP_get_proj(), DOM_MERC);
    for (size_t c = 0; c < n; ++c) EXPECT_GT(kProj[c].proj ? compared[c] : back[c], 400) << kProj[c].domain;
}

// Edge cases of the transform layer: forward rows (lat, lon) to (x, y), inverse rows (x, y) to (lat, lon); refused
// points give -9999.  Values from cs2cs +proj=longlat +R=6371220 +to <proj> +R=6371220 times 1e-5 unless stated.  The
// limb of the view from 421.61 over 63.7122 lies acos(63.7122 / 421.61) = 81.3 degrees from the sub-point (by hand).
TEST(MapProj, EdgeCases)
{
    const struct { const char *name, *domain; bool inverse; float in1, in2; int ok; double out1, out2; } cases[] = {
        {"ps pole", "ps:60:-105,40,-100", false, 90, -105, 1, 0, 0},
        {"ps true latitude", "ps:60:-105,40,-100", false, 60, -105, 1, 0, -31.85610},
        {"ps far side clamps at 75 S (cs2cs -75,10)", "ps:60:-105,40,-100", false, -80, 10, 1, 818.43984, 381.64477},
        {"ps inverse, longitude unwrapped (cs2cs 50,170)", "ps:60:-105,40,-100", true, -43.107243f, -3.771395f, 1, 50,
         -190},
        {"me wraps 190 to -170", "me,0,0", false, 0, 190, 1, -189.037903, 0},
        {"me latitude clamps at 89.9 (cs2cs 89.9,10)", "me,0,0", false, 90, 360 * 1000 + 10, 1, 11.119877, 448.786124},
        {"mo pole: the top of the ellipse, R (cs2cs sqrt(2) R)", "mo,0,0", false, 90, 50, 1, 0, R},
        {"mo above the ellipse", "mo,0,0", true, 0, 64, 0, M, M},
        {"mo beside the ellipse", "mo,0,0", true, 127, 30, 0, M, M},
        {"sat far side, 90 degrees away", "sat:0:-75,0,-75", false, 0, 15, 0, M, M},
        {"sat:e far side", "sat:e:0:-75,0,-75", false, 0, 15, 0, M, M},
        {"sat centre", "sat:0:-75,0,-75", true, 0, 0, 1, 0, -75},
        {"sat:e centre", "sat:e:0:-75,0,-75", true, 0, 0, 1, 0, -75},
        {"sat off the disc", "sat:0:-75,0,-75", true, 70, 0, 0, M, M},
        {"laea antipode (cs2cs: *)", "laea:40:-100,40,-100", false, -40, 80, 0, M, M},
        {"laea centre: refused but named", "laea:40:-100,40,-100", true, 0, 0, 0, 40, -100},
        {"laea beyond 2R", "laea:40:-100,40,-100", true, 128, 0, 0, M, M},
        {"or far side (cs2cs: *)", "or:40:-100,40,-100", false, -40, 80, 0, M, M},
        {"or beyond R", "or:40:-100,40,-100", true, 64, 0, 0, M, M},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        install(c.domain);
        float a = 1, b = 1;
        EXPECT_EQ(c.inverse ? MAP_untran(&a, &b, c.in1, c.in2) : MAP_tran(&a, &b, c.in1, c.in2), c.ok);
        EXPECT_NEAR(a, c.out1, 2e-4 * (1 + std::fabs(c.out1)));
        EXPECT_NEAR(b, c.out2, 2e-4 * (1 + std::fabs(c.out2)));
    }
    // Bad inputs (NaN, infinite, beyond the poles) are refused by every projection.
    const float bad[][2] = {{NAN, 0}, {0, NAN}, {INFINITY, 0}, {0, -INFINITY}, {90.5f, 0}, {-91, 0}, {1e30f, 0}};
    for (const char *dom : {"ps,40,-100", "ll,0,0", "me,0,0", "lc,40,-95", "or,40,-100", "gn,40,-100", "mo,0,0",
                            "laea,40,-100", "sat:0:-75,0,-75", "sat:e:0:-75,0,-75"}) {
        install(dom);
        for (auto &p : bad) {
            float x = 1, y = 1, la = 1, lo = 1;
            EXPECT_EQ((std::tuple{MAP_tran(&x, &y, p[0], p[1]), x, y}), std::tuple(0, M, M)) << dom << " " << p[0];
            if (std::isfinite(p[0] + p[1])) continue;
            EXPECT_EQ((std::pair{MAP_untran(&la, &lo, p[0], p[1]), la}), std::pair(0, M)) << dom << " " << p[0];
        }
    }
}

// Limits, grid and domain tests; with no domain points pass through; a code without a transform leaves them alone.
TEST(MapProj, LimitsAndGrid)
{
    for (const char *dom : {"ps:60:-105,40,-100,31,21,1.5,1", "lc:25:-95:25,38,-97,61,37,0.8,0.8",
                            "ll,10,20,41,31,0.5,0.5", "me,0,-30,25,17,2,2", "sat:0:-75,0,-75,131,131,1,1"}) {
        SCOPED_TRACE(dom);
        DOM d = install(dom);
        float L[4], x, y, i, j, lat, lon, ux, uy;
        MAP_get_limits(L);
        EXPECT_LT(std::hypot(L[1] - L[0] - (d.nx - 1) * d.dx, L[3] - L[2] - (d.ny - 1) * d.dy), 1e-3);
        MAP_grid_tran(&x, &y, 0, 0);
        MAP_get_up_left(&ux, &uy);
        EXPECT_EQ(std::vector<float>({x, y, ux, uy}), std::vector<float>({L[0], L[3], L[0], L[3]}));
        MAP_grid_tran(&x, &y, (d.nx - 1) / 2.0f, (d.ny - 1) / 2.0f);  // the centre grid point is the domain centre
        MAP_untran(&lat, &lon, x, y);
        EXPECT_LT(std::hypot(lat - d.clat, lon_diff(lon, d.clon)), 1e-3) << lat << "," << lon;
        MAP_grid_untran(&i, &j, L[1], L[2]);  // the lower right corner
        EXPECT_LT(std::hypot(i - (d.nx - 1), j - (d.ny - 1)), 1e-3) << i << "," << j;
        EXPECT_EQ(std::pair(MAP_in_domain(L[0], L[3]), MAP_in_domain(L[0] - 0.01f, L[3])), std::pair(1, 0));
        EXPECT_EQ(std::pair(MAP_in_grid_domain(L[0] - 2.9f * d.dx, L[3] + 2.9f * d.dy),
                            MAP_in_grid_domain(L[0] - 3.1f * d.dx, L[3])), std::pair(1, 0));
        EXPECT_EQ((std::tuple{MAP_grid_tran(&x, &y, M, 0), x, MAP_grid_untran(&i, &j, M, 0)}), std::tuple(-1, M, -1));
    }
    MAP_domain(nullptr);
    EXPECT_EQ(std::pair(MAP_get_proj(), MAP_in_domain(1e9f, -1e9f)), std::pair(-9999, 1));
    EXPECT_EQ(tran(12.5f, -7), std::pair(12.5f, -7.0f));
    install("zoom,10,20");
    EXPECT_EQ(tran(50, 60), std::pair(1.0f, 1.0f));
}

// Local scale along a meridian over a 0.01-degree step, against a sphere's 0.01 degrees of arc.
double meridian_scale(float lat, float lon)
{
    auto [x1, y1] = tran(lat, lon);
    auto [x2, y2] = tran(lat + 0.01f, lon);
    return std::hypot(x2 - x1, y2 - y1) / (R * 0.01 * M_PI / 180);
}

// Defaults filled in by the domain, the old set-up calls (projection, coordinates and Lambert true latitudes given
// after the domain), the map scale factor (by hand: (1 + sin 60) / (1 + sin 40) = 1.135890 at 40 N on a polar
// stereographic map true at 60, elsewhere against the meridian scale) and the transform between two domains.
TEST(MapProj, DomainStateFactorAndDomainTran)
{
    install("ps:-50:20,-70,20");
    DOM cur;
    EXPECT_EQ(MAP_get_domain(&cur)->plat, -50);
    EXPECT_NEAR(meridian_scale(-60, 20), 1.0, 1e-3);  // southern default true latitude -60
    install("lc,45,-90");  // missing plat/plon become the centre
    EXPECT_EQ((std::pair{MAP_get_domain(&cur)->plat, cur.plon}), std::pair(45.0f, -90.0f));
    install("ps,60,0");
    MAP_coord(60, 10);
    EXPECT_NEAR(tran(50, 10).first, 0, 1e-5);
    MAP_proj(3);
    EXPECT_NEAR(tran(0, 20).first, 11.119877, 1e-4);  // cs2cs +proj=merc +lon_0=10 of (0, 20)
    install("lc:40:-95,40,-95");
    const float t[2] = {25, 25};
    MAP_proj_coord(t);
    EXPECT_NEAR(meridian_scale(25, -95), 1.0, 1e-3);
    install("ps,60,-100");
    EXPECT_NEAR(MAP_factor(40), 1.135890, 1e-4);
    for (float lat : {30.0f, 60.0f, 80.0f}) EXPECT_NEAR(MAP_factor(lat), meridian_scale(lat, -80), 2e-3) << lat;
    DOM a, b;
    DOM_decode("ps:60:-105,40,-100,31,21,1,1", &a);
    DOM_decode("lc:25:-95:25,38,-97,61,37,0.8,0.8", &b);
    MAP_domain(&a);
    auto [x, y] = tran(42, -90);
    install("me,0,0");
    EXPECT_EQ((std::pair{MAP_domain_tran(&a, &b, &x, &y, x, y), MAP_get_proj()}), std::pair(1, (int)DOM_MERC));
    MAP_domain(&b);
    float lat, lon;
    MAP_untran(&lat, &lon, x, y);
    EXPECT_LT(std::hypot(lat - 42, lon + 90), 1e-4) << lat << "," << lon;
    EXPECT_EQ((std::tuple{MAP_domain_tran(&a, &a, &x, &y, 5, 6), x, y}), std::tuple(1, 5.0f, 6.0f));
}

// Directions against finite differences of the forward transform; offsets and the direction between two points.
TEST(MapProj, DirectionsMatchNumericGeometry)
{
    for (const char *dom : {"ps,60,-100", "ps:-60:30,-60,30", "lc,40,-95", "lc:-30:135:-20:-40,-30,135",
                            "sat:0:-75,0,-75"}) {
        DOM d = install(dom);
        for (float dlon : {-30.0f, 0.0f, 20.0f})
            for (float dir : {0.0f, 45.0f, 200.0f}) {
                SCOPED_TRACE(testing::Message() << dom << " " << dlon << " " << dir);
                const float lat = d.clat + 5, lon = d.clon + dlon, s = std::sin(dir * M_PI / 180),
                            c = std::cos(dir * M_PI / 180);
                auto [x, y] = tran(lat, lon);
                auto [x2, y2] = tran(lat + 0.01 * c, lon + 0.01 * s / std::cos(lat * M_PI / 180));
                float adj = MAP_dir_adj(dir, x, y);
                EXPECT_NEAR(lon_diff(adj, std::atan2(x2 - x, y2 - y) * 180 / M_PI), 0, 0.1);
                EXPECT_NEAR(d.proj == DOM_SAT ? 0 : lon_diff(MAP_undir_adj(adj, x, y), dir), 0, 1e-3);
            }
    }
    install("ps,60,-100");
    EXPECT_EQ(std::pair(MAP_dir_adj(10, 0, 0), MAP_uvdir_adj(1, 1, 0, 0)), std::pair(110.0f, 100.0f));
    float x2, y2, lat, lon;
    auto [x, y] = tran(40, -100);
    MAP_offset(&x2, &y2, x, y, 0, 111.195f);  // one degree north
    MAP_untran(&lat, &lon, x2, y2);
    EXPECT_LT(std::hypot(lat - 41, MAP_dir(x, y, x2, y2) / 10), 1e-3);
}

// The diagram systems, values worked by hand: forward where simple (NAN: not checked), back again always.  The skew-T
// and tephigram scale by the viewport: the current domain takes the one set before its first transform, even after
// MAP_domain, and an object made for the domain takes the layer's.
TEST(MapProj, DiagramSystems)
{
    const float vp[4] = {0.1f, 0.9f, 0.1f, 0.9f}, wide[4] = {0.1f, 0.9f, 0.1f, 0.5f};
    const struct Case { const char *domain; float a, b; double x, y, tol_b; } cases[] = {
        {"xy,0,100,10,20", 10, 120, 25, 117, 1e-4},  // corners (0,100) and (10,120); factors 25/10 and 17/20
        {"vert,-40,1000,50,-900", 20, 500, NAN, -6.214608, 1e-3},  // -ln 500
        {"hodo,0,0,10,10", 90, 5, 5, 0, 1e-4},                       // wind from the east, speed 5
        {"hodo,0,0,10,10", 270, 1, -1, 0, 1e-4},                     // one unit west of the centre
        {"stuve,-40,1000,80,-900", 10, 700, NAN, NAN, 0.05},
        {"skewt,-40,1050,80,-950", 15, 850, NAN, NAN, 0.05},
        {"teph,-40,1050,80,-950", 10, 800, NAN, NAN, 0.5},  // 0.286 * 3.5 is not quite 1
        {"rteph,-40,1050,80,-950", 10, 800, NAN, 5.709796, 0.5},  // ln(283.15 (1000 / 800)^0.286)
        {"pix,0,0,640,480", 12, 34, 12, -34, 1e-4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.domain);
        MAP_set_view(wide);
        const DOM d = install(c.domain);
        MAP_set_view(vp);
        float a, b, ox, oy, wx, wy;
        auto [x, y] = tran(c.a, c.b);
        EXPECT_NEAR(x, std::isnan(c.x) ? x : c.x, 1e-4);
        EXPECT_NEAR(y, std::isnan(c.y) ? y : c.y, 1e-4);
        MAP_untran(&a, &b, x, y);
        EXPECT_NEAR(a, c.a, 1e-3);
        EXPECT_NEAR(b, c.b, c.tol_b);
        if (d.proj != DOM_SKEWT && d.proj != DOM_TEPH) continue;
        MAP_make_proj(&d).tran(&ox, &oy, c.a, c.b);
        MapProj(d, wide).tran(&wx, &wy, c.a, c.b);
        EXPECT_EQ(std::pair(x, y), std::pair(ox, oy));
        EXPECT_TRUE(x != wx || y != wy);
    }
    install("xy,0,100,10,20");
    float L[4];
    MAP_get_limits(L);
    EXPECT_EQ(std::vector<float>(L, L + 4), (std::vector<float>{0, 25, 100, 117}));
    install("skewt,-40,1050,80,-950");  // isotherms lean right going up
    EXPECT_GT(tran(15, 500).first, tran(15, 850).first);
}

}  // namespace

// The rectangle MapProj::bound gives a piece of a map line holds every point the projection gives the piece (cones of
// both hemispheres, pieces of any size up to half-way round, across the central meridian and the cut); other
// projections get none.
TEST(MapProj, BoundHoldsEveryPoint)
{
    std::mt19937 rng(7);
    auto u = [&rng](double a, double b) { return (float)std::uniform_real_distribution<double>(a, b)(rng); };
    for (const char *text : {"lamb,38,-95,1920,1080,0.035,0.035", "lamb,60,10,900,700,0.08,0.08", "lamb,-35,140,800,600,0.1,0.1"}) {
        SCOPED_TRACE(text);
        DOM d;
        ASSERT_GE(DOM_decode(text, &d), 1);
        MapProj p = MAP_make_proj(&d);
        int bounded = 0;
        for (int k = 0; k < 400; ++k) {
            const float lat0 = u(-89, 89), lon0 = u(-180, 180), span = std::pow(10.0f, u(-2, 2.2));
            std::vector<float> ll;
            for (int i = 0; i < 32; ++i) ll.insert(ll.end(), {std::clamp(lat0 + u(0, span), -90.0f, 90.0f), lon0 + u(0, span)});
            float b[4];
            if (!p.bound(32, ll.data(), b)) continue;
            ++bounded;
            for (int i = 0; i < 32; ++i) {
                float x = M, y = M;
                ASSERT_EQ(p.tran(&x, &y, ll[2 * i], ll[2 * i + 1]), 1);
                ASSERT_TRUE(x >= b[0] && x <= b[1] && y >= b[2] && y <= b[3])
                    << ll[2 * i] << "," << ll[2 * i + 1] << " -> " << x << "," << y << " outside " << b[0] << ".." << b[1]
                    << ", " << b[2] << ".." << b[3];
            }
        }
        EXPECT_GT(bounded, 300);
    }
    DOM ps;
    ASSERT_GE(DOM_decode("ps:60:-105,40,-100", &ps), 1);
    const float point[2] = {50, -100};
    float b[4];
    EXPECT_FALSE(MAP_make_proj(&ps).bound(1, point, b));
}
