// Map projections: PROJ as the oracle for the forward transforms, round
// trips for every earth projection, limits and grid, the edge cases of the
// transform layer, directions and the diagram systems.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "core/flags.h"
#include "core/res.h"
#include "map/dom.h"
#include "map/map.h"

namespace {

constexpr float M = -9999.0f;
constexpr double R = 63.7122;

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
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
}

// ---- PROJ as oracle ----

bool have_proj() { return std::system("command -v proj >/dev/null 2>&1") == 0; }

// Runs proj over the points (lon lat per line) and returns x, y in metres;
// NaN for points proj cannot project.
std::vector<std::pair<double, double>> run_proj(const std::string &args,
                                                 const std::vector<std::pair<float, float>> &latlon)
{
    testutil::ScratchDir dir;
    std::ostringstream in;
    in.precision(9);
    for (auto [lat, lon] : latlon) in << lon << ' ' << lat << '\n';
    std::string file = dir.write("pts.txt", in.str());
    std::string cmd = "proj " + args + " -f %.6f " + file;
    std::vector<std::pair<double, double>> out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        double x, y;
        if (std::sscanf(line, "%lf %lf", &x, &y) == 2) out.emplace_back(x, y);
        else out.emplace_back(NAN, NAN);
    }
    pclose(p);
    return out;
}

struct OracleCase {
    const char *domain;
    const char *proj_args;  // sphere of radius 6371.22 km added below
    double scale;           // our units per PROJ metre
    int kind;               // 0 plain, 1 our x = srad*tan(proj_x/h) (geostationary without scan angles)
    float lat0, lat1, lon0, lon1;  // grid of test points
};

constexpr double SRAD = 421.61, HEIGHT = SRAD - R;  // orbit radius, height above the sphere

const std::vector<OracleCase> &oracle_cases()
{
    const double m = 1e-5;  // 100 km units per metre
    static const std::vector<OracleCase> cases = {
        {"ps:60:-105,40,-100", "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105", m, 0, -60, 89, -180, 180},
        {"ps:60:20:45,40,20", "+proj=stere +lat_0=90 +lat_ts=45 +lon_0=20", m, 0, -60, 89, -180, 180},
        {"ps:-60:0,-70,0", "+proj=stere +lat_0=-90 +lat_ts=-60 +lon_0=0", m, 0, -89, 60, -180, 180},
        {"me:0:-30,0,-30", "+proj=merc +lon_0=-30", m, 0, -85, 85, -179, 179},
        {"lc:40:-95,40,-95", "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=90 +lon_0=-95", m, 0, -30, 85, -170, 20},
        {"lc:25:-95:25,40,-95", "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=90 +lon_0=-95", m, 0, -30, 85, -170, 20},
        {"lc:-30:135:-20:-40,-30,135", "+proj=lcc +lat_1=-20 +lat_2=-40 +lat_0=-90 +lon_0=135", m, 0, -85, 30,
         60, 210},
        {"or:40:-100,40,-100", "+proj=ortho +lat_0=40 +lon_0=-100", m, 0, -5, 85, -170, -30},
        {"laea:40:-100,40,-100", "+proj=laea +lat_0=40 +lon_0=-100", m, 0, -80, 89, -179, 179},
        {"laea:90:0,90,0", "+proj=laea +lat_0=90 +lon_0=0", m, 0, -80, 90, -179, 179},
        {"gn:40:-100,40,-100", "+proj=gnom +lat_0=40 +lon_0=-100", m, 0, 0, 80, -150, -50},
        // Our Mollweide is the usual one scaled by 1/sqrt(2) (the ellipse
        // spans +-2R by +-R).
        {"mo:0:10,0,10", "+proj=moll +lon_0=10", m / std::sqrt(2.0), 0, -89, 89, -169, 189},
        // Geostationary with scan angles: ours multiplies the angles by the
        // orbit radius, PROJ by the height above the surface.
        {"sat:0:-75:421.61:1,0,-75", "+proj=geos +h=35789780 +lon_0=-75", SRAD / (HEIGHT * 1e5), 0, -70, 70,
         -140, -10},
        // Without scan angles ours is the tangent of the angle.
        {"sat:0:-75,0,-75", "+proj=geos +h=35789780 +lon_0=-75", 0, 1, -70, 70, -140, -10},
    };
    return cases;
}

// The case's 13 x 13 grid of points (lat, lon).
std::vector<std::pair<float, float>> oracle_points(const OracleCase &c)
{
    std::vector<std::pair<float, float>> pts;
    for (int i = 0; i <= 12; ++i)
        for (int j = 0; j <= 12; ++j)
            pts.emplace_back(c.lat0 + (c.lat1 - c.lat0) * i / 12.0f, c.lon0 + (c.lon1 - c.lon0) * j / 12.0f);
    return pts;
}

// PROJ's plot coordinates of the points in our units; NaN where PROJ cannot
// project a point.
std::vector<std::pair<double, double>> oracle_ref(const OracleCase &c, const std::vector<std::pair<float, float>> &pts)
{
    auto ref = run_proj(std::string(c.proj_args) + " +R=6371220", pts);
    for (auto &[rx, ry] : ref) {
        if (c.kind == 1) {
            rx = SRAD * std::tan(rx * 1e-5 / HEIGHT);
            ry = SRAD * std::tan(ry * 1e-5 / HEIGHT);
        } else {
            rx *= c.scale;
            ry *= c.scale;
        }
    }
    return ref;
}

// A transformed point against PROJ's; false (nothing compared) where either
// cannot project it or it lies far out.
bool near_oracle(float x, float y, int ok, std::pair<double, double> ref, std::pair<float, float> pt)
{
    auto [rx, ry] = ref;
    if (!ok || std::isnan(rx) || std::fabs(rx) > 1e4 || std::fabs(ry) > 1e4) return false;
    EXPECT_NEAR(x, rx, 1e-4 * R + 1e-6 * std::fabs(rx)) << pt.first << "," << pt.second;
    EXPECT_NEAR(y, ry, 1e-4 * R + 1e-6 * std::fabs(ry)) << pt.first << "," << pt.second;
    return true;
}

TEST(MapOracle, AgreesWithProj)
{
    if (!have_proj()) GTEST_SKIP() << "proj (proj-bin) not installed";
    for (const OracleCase &c : oracle_cases()) {
        SCOPED_TRACE(c.domain);
        install(c.domain);
        auto pts = oracle_points(c);
        auto ref = oracle_ref(c, pts);
        ASSERT_EQ(ref.size(), pts.size());
        int compared = 0;
        for (size_t k = 0; k < pts.size(); ++k) {
            float x, y;
            int ok = MAP_tran(&x, &y, pts[k].first, pts[k].second);
            compared += near_oracle(x, y, ok, ref[k], pts[k]);
        }
        EXPECT_GT(compared, 40);
    }
}

// One projection object per oracle case, all alive at once, used point by
// point in turn (each case's point k before any case's point k+1), forward
// and back: each keeps its own constants, and the current domain is left
// alone.
TEST(MapOracle, ObjectsSideBySideAgreeWithProj)
{
    if (!have_proj()) GTEST_SKIP() << "proj (proj-bin) not installed";
    const auto &cases = oracle_cases();
    std::vector<MapProj> objs;
    std::vector<std::vector<std::pair<float, float>>> pts;
    std::vector<std::vector<std::pair<double, double>>> refs;
    for (const OracleCase &c : cases) {
        DOM d;
        ASSERT_GE(DOM_decode(c.domain, &d), 1) << c.domain;
        objs.push_back(MAP_make_proj(&d));
        pts.push_back(oracle_points(c));
        refs.push_back(oracle_ref(c, pts.back()));
        ASSERT_EQ(refs.back().size(), pts.back().size());
    }
    install("me,0,0");
    std::vector<int> compared(cases.size());
    for (size_t k = 0; k < pts[0].size(); ++k) {
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].domain);
            auto [lat, lon] = pts[i][k];
            float x, y, la, lo;
            int ok = objs[i].tran(&x, &y, lat, lon);
            if (!near_oracle(x, y, ok, refs[i][k], pts[i][k])) continue;
            ++compared[i];
            if (std::fabs(lat) > 89) continue;  // longitude free at the pole
            ASSERT_EQ(objs[i].untran(&la, &lo, x, y), 1) << lat << "," << lon;
            EXPECT_NEAR(la, lat, 1e-3) << lat << "," << lon;
            EXPECT_NEAR(lon_diff(lo, lon), 0, 1e-3) << lat << "," << lon;
        }
    }
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_GT(compared[i], 40) << cases[i].domain;
    EXPECT_EQ(MAP_get_proj(), DOM_MERC);
}

// ---- round trips ----

struct TripCase {
    const char *domain;
    float lat0, lat1, lon0, lon1;
};

TEST(MapProj, RoundTripsEveryEarthProjection)
{
    const TripCase cases[] = {
        {"ps:60:-105,40,-100", -70, 89.5f, -180, 179},
        {"ps:-60:30:-45,-60,30", -89.5f, 70, -180, 179},
        {"ll,0,0", -90, 90, -179, 179},
        {"ll:0:120,0,120", -90, 90, -179, 179},
        {"me:0:-30,0,-30", -89.5f, 89.5f, -179, 179},
        {"lc:40:-95,40,-95", -85, 88, -170, -20},
        {"lc:25:-95:25,40,-95", -85, 88, -170, -20},
        {"lc:-30:135:-20:-40,-30,135", -88, 85, 60, 200},
        {"or:40:-100,40,-100", 0, 85, -160, -40},
        {"gn:40:-100,40,-100", 10, 80, -150, -50},
        {"mo:0:10,0,10", -85, 85, -165, 185},
        {"laea:40:-100,40,-100", -20, 89, -179, 179},
        {"laea:-90:0,-90,0", -89, 70, -179, 179},
        {"sat:0:-75,0,-75", -60, 60, -130, -20},
        {"sat:0:-75:421.61:1,0,-75", -60, 60, -130, -20},
        {"sat:e:0:140.7,0,140.7", -60, 60, 90, 190},
        {"sat:e:0:140.7:422:1,0,140.7", -60, 60, 90, 190},
    };
    for (const TripCase &c : cases) {
        SCOPED_TRACE(c.domain);
        install(c.domain);
        int n = 0;
        double worst = 0;
        for (int i = 0; i <= 40; ++i) {
            for (int j = 0; j <= 40; ++j) {
                float lat = c.lat0 + (c.lat1 - c.lat0) * i / 40.0f;
                float lon = c.lon0 + (c.lon1 - c.lon0) * j / 40.0f;
                float x, y, la, lo;
                if (!MAP_tran(&x, &y, lat, lon)) continue;
                ASSERT_EQ(MAP_untran(&la, &lo, x, y), 1) << lat << "," << lon;
                worst = std::fmax(worst, std::fabs(la - lat));
                // longitude is free at the poles
                if (std::fabs(lat) < 89.9f) worst = std::fmax(worst, std::fabs(lon_diff(lo, lon)));
                ++n;
            }
        }
        EXPECT_GT(n, 800);
        EXPECT_LT(worst, 1e-4);
    }
}

// The batch transforms keep terms shared by rows and columns of points:
// each point must come out bit for bit as the layer's one-point transforms
// give it,
// whatever repeats, with more distinct longitudes than the kept table holds,
// signed zeros and refused inputs among them.
TEST(MapProj, BatchTransformsEqualOnePointAtATime)
{
    std::vector<float> lat, lon;
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 700; ++i) {
            lat.push_back(-75.0f + 0.2f * (i / 7) + r);  // runs of one latitude
            lon.push_back(-179.5f + 0.51f * (float)i);   // 700 longitudes, repeated
        }
    const float odd[][2] = {{0, -0.0f}, {0, 0.0f}, {-0.0f, 180}, {10, -180}, {10, 540}, {91, 0},
                            {NAN, 0},   {0, INFINITY}, {89.99f, -75}, {-90, 12}};
    for (auto &p : odd) lat.push_back(p[0]), lon.push_back(p[1]);
    const int n = (int)lat.size();
    for (const char *dom : {"sat:e:0:-75,0,-75", "sat:0:140.7:422:1,0,140.7", "sat:e:0:0:421.64:1,0,0",
                            "ps:60:-105,40,-100", "lc:25:-95:25,40,-95", "ll,0,0", "me:0:-30,0,-30",
                            "laea:40:-100,40,-100"}) {
        SCOPED_TRACE(dom);
        const DOM d = install(dom);
        const MapProj p = MAP_make_proj(&d);
        std::vector<float> x(n), y(n), bx(n), by(n), la(n), lo(n), bla(n), blo(n);
        std::vector<unsigned char> ok(n), bok(n), uok(n), buok(n);
        for (int i = 0; i < n; ++i) ok[i] = MAP_tran(&x[i], &y[i], lat[i], lon[i]) != 0;
        p.tran_points(n, lat.data(), lon.data(), bx.data(), by.data(), bok.data());
        x.push_back(NAN), y.push_back(0), x.push_back(1e30f), y.push_back(-1e30f);  // refused inverse inputs
        const int m = (int)x.size();
        la.resize(m), lo.resize(m), bla.resize(m), blo.resize(m), uok.resize(m), buok.resize(m);
        for (int i = 0; i < m; ++i) uok[i] = MAP_untran(&la[i], &lo[i], x[i], y[i]) != 0;
        p.untran_points(m, x.data(), y.data(), bla.data(), blo.data(), buok.data());
        EXPECT_EQ(ok, bok);
        EXPECT_EQ(uok, buok);
        EXPECT_EQ(std::memcmp(x.data(), bx.data(), n * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(y.data(), by.data(), n * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(la.data(), bla.data(), m * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(lo.data(), blo.data(), m * sizeof(float)), 0);
    }
}

// ---- edge cases of the transform layer ----

TEST(MapProj, PolarStereographicAnchors)
{
    install("ps:60:-105,40,-100");
    float x, y;
    EXPECT_EQ(MAP_tran(&x, &y, 90, -105), 1);
    EXPECT_NEAR(x, 0, 1e-5);
    EXPECT_NEAR(y, 0, 1e-5);
    EXPECT_EQ(MAP_tran(&x, &y, 60, -105), 1);
    EXPECT_NEAR(x, 0, 1e-5);
    EXPECT_NEAR(y, -R * (1 + std::sin(60 * M_PI / 180)) * std::tan(15 * M_PI / 180), 1e-4);
    // far-hemisphere latitudes are clamped at -75
    float x2, y2;
    MAP_tran(&x, &y, -80, 10);
    MAP_tran(&x2, &y2, -75, 10);
    EXPECT_FLOAT_EQ(x, x2);
    EXPECT_FLOAT_EQ(y, y2);
    // the inverse does not normalise the longitude
    float lat, lon;
    MAP_tran(&x, &y, 50, 170);
    MAP_untran(&lat, &lon, x, y);
    EXPECT_NEAR(lon, -190, 1e-3);
}

TEST(MapProj, MercatorWrapsLongitude)
{
    install("me,0,0");
    float x, y;
    EXPECT_EQ(MAP_tran(&x, &y, 0, 190), 1);
    EXPECT_NEAR(x, -170 * R * M_PI / 180, 1e-4);
    EXPECT_NEAR(y, 0, 1e-6);
    // very large longitudes still reduce, and latitudes clamp at 89.9
    EXPECT_EQ(MAP_tran(&x, &y, 90, 360 * 1000 + 10), 1);
    EXPECT_NEAR(x, 10 * R * M_PI / 180, 1e-3);
    float x2, y2;
    MAP_tran(&x2, &y2, 89.9f, 10);
    EXPECT_FLOAT_EQ(y, y2);
}

TEST(MapProj, SatelliteViewEdges)
{
    install("sat:0:-75,0,-75");
    float x, y, lat, lon;
    EXPECT_EQ(MAP_tran(&x, &y, 0, 15), 0);
    EXPECT_EQ(x, M);
    EXPECT_EQ(y, M);
    EXPECT_EQ(MAP_untran(&lat, &lon, 0, 0), 1);
    EXPECT_NEAR(lat, 0, 1e-6);
    EXPECT_NEAR(lon, -75, 1e-5);
    // off the disc
    EXPECT_EQ(MAP_untran(&lat, &lon, 70, 0), 0);
    EXPECT_EQ(lat, M);
    install("sat:e:0:-75,0,-75");
    EXPECT_EQ(MAP_untran(&lat, &lon, 0, 0), 1);
    EXPECT_NEAR(lon, -75, 1e-5);
    EXPECT_EQ(MAP_tran(&x, &y, 0, 15), 0);
}

TEST(MapProj, AzimuthalCentres)
{
    install("laea:40:-100,40,-100");
    float lat, lon, x, y;
    EXPECT_EQ(MAP_untran(&lat, &lon, 0, 0), 0);
    EXPECT_FLOAT_EQ(lat, 40);
    EXPECT_FLOAT_EQ(lon, -100);
    EXPECT_EQ(MAP_tran(&x, &y, -40, 80), 0);  // the antipode
    EXPECT_EQ(MAP_untran(&lat, &lon, 128, 0), 0);
    install("or:40:-100,40,-100");
    EXPECT_EQ(MAP_tran(&x, &y, -40, 80), 0);  // far side
    EXPECT_EQ(MAP_untran(&lat, &lon, 64, 0), 0);
    install("mo,0,0");
    EXPECT_EQ(MAP_untran(&lat, &lon, 0, 64), 0);   // above the ellipse
    EXPECT_EQ(MAP_untran(&lat, &lon, 127, 30), 0); // beside it
    EXPECT_EQ(MAP_tran(&x, &y, 90, 50), 1);
    EXPECT_EQ(x, 0);
    EXPECT_NEAR(y, R, 1e-4);
}

TEST(MapProj, BadInputsAreNotDrawable)
{
    const float bad[][2] = {{NAN, 0}, {0, NAN}, {INFINITY, 0}, {0, -INFINITY}, {90.5f, 0}, {-91, 0}, {1e30f, 0}};
    for (const char *dom : {"ps,40,-100", "ll,0,0", "me,0,0", "lc,40,-95", "or,40,-100", "gn,40,-100", "mo,0,0",
                            "laea,40,-100", "sat:0:-75,0,-75", "sat:e:0:-75,0,-75"}) {
        install(dom);
        for (auto &p : bad) {
            float x = 1, y = 1;
            EXPECT_EQ(MAP_tran(&x, &y, p[0], p[1]), 0) << dom << " " << p[0] << "," << p[1];
            EXPECT_EQ(x, M);
            EXPECT_EQ(y, M);
        }
        for (auto &p : {std::pair{NAN, 0.0f}, std::pair{0.0f, INFINITY}}) {
            float la = 1, lo = 1;
            EXPECT_EQ(MAP_untran(&la, &lo, p.first, p.second), 0) << dom;
            EXPECT_EQ(la, M);
        }
    }
}

TEST(MapProj, MissingProjectionPassesThrough)
{
    MAP_domain(nullptr);
    EXPECT_EQ(MAP_get_proj(), -9999);
    float x, y;
    EXPECT_EQ(MAP_tran(&x, &y, 12.5f, -7), 1);
    EXPECT_FLOAT_EQ(x, 12.5f);
    EXPECT_FLOAT_EQ(y, -7);
    EXPECT_EQ(MAP_in_domain(1e9f, -1e9f), 1);
    // a code without a transform leaves the outputs alone
    install("zoom,10,20");
    x = 3, y = 4;
    EXPECT_EQ(MAP_tran(&x, &y, 50, 60), 1);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
}

TEST(MapProj, LimitsAndGrid)
{
    for (const char *dom : {"ps:60:-105,40,-100,31,21,1.5,1", "lc:25:-95:25,38,-97,61,37,0.8,0.8",
                            "ll,10,20,41,31,0.5,0.5", "me,0,-30,25,17,2,2", "sat:0:-75,0,-75,131,131,1,1"}) {
        SCOPED_TRACE(dom);
        DOM d = install(dom);
        float L[4], x, y, i, j;
        MAP_get_limits(L);
        EXPECT_NEAR(L[1] - L[0], (d.nx - 1) * d.dx, 1e-3);
        EXPECT_NEAR(L[3] - L[2], (d.ny - 1) * d.dy, 1e-3);
        MAP_grid_tran(&x, &y, 0, 0);
        EXPECT_FLOAT_EQ(x, L[0]);
        EXPECT_FLOAT_EQ(y, L[3]);
        MAP_grid_tran(&x, &y, d.nx - 1, d.ny - 1);
        EXPECT_NEAR(x, L[1], 1e-4);
        EXPECT_NEAR(y, L[2], 1e-4);
        MAP_get_up_left(&x, &y);
        EXPECT_FLOAT_EQ(x, L[0]);
        EXPECT_FLOAT_EQ(y, L[3]);
        // the centre grid point is the domain centre
        MAP_grid_tran(&x, &y, (d.nx - 1) / 2.0f, (d.ny - 1) / 2.0f);
        float lat, lon;
        MAP_untran(&lat, &lon, x, y);
        EXPECT_NEAR(lat, d.clat, 1e-3);
        EXPECT_NEAR(lon_diff(lon, d.clon), 0, 1e-3);
        MAP_grid_untran(&i, &j, L[1], L[2]);
        EXPECT_NEAR(i, d.nx - 1, 1e-3);
        EXPECT_NEAR(j, d.ny - 1, 1e-3);
        EXPECT_EQ(MAP_in_domain(L[0], L[3]), 1);
        EXPECT_EQ(MAP_in_domain(L[0] - 0.01f, L[3]), 0);
        EXPECT_EQ(MAP_in_grid_domain(L[0] - 2.9f * d.dx, L[3] + 2.9f * d.dy), 1);
        EXPECT_EQ(MAP_in_grid_domain(L[0] - 3.1f * d.dx, L[3]), 0);
        EXPECT_EQ(MAP_grid_tran(&x, &y, M, 0), -1);
        EXPECT_EQ(x, M);
        EXPECT_EQ(MAP_grid_untran(&i, &j, M, 0), -1);
    }
}

TEST(MapProj, DomainDefaultsAndState)
{
    DOM d = install("ps:-50:20,-70,20");
    DOM cur;
    MAP_get_domain(&cur);
    EXPECT_FLOAT_EQ(cur.plat, -50);
    EXPECT_EQ(MAP_get_domain(nullptr)->proj, 1);
    EXPECT_FLOAT_EQ(MAP_get_clat(), -70);
    EXPECT_FLOAT_EQ(MAP_get_clon(), 20);
    // southern default true latitude -60: scale factor 1 there
    float x1, y1, x2, y2;
    MAP_tran(&x1, &y1, -60, 20);
    MAP_tran(&x2, &y2, -60.01f, 20);
    EXPECT_NEAR(std::hypot(x2 - x1, y2 - y1) / (R * 0.01 * M_PI / 180), 1.0, 1e-3);
    // missing plat/plon become the centre
    install("lc,45,-90");
    MAP_get_domain(&cur);
    EXPECT_FLOAT_EQ(cur.plat, 45);
    EXPECT_FLOAT_EQ(cur.plon, -90);
    // changing the projection and coordinates invalidates the constants
    install("ps,60,0");
    MAP_coord(60, 10);
    MAP_tran(&x1, &y1, 50, 10);
    EXPECT_NEAR(x1, 0, 1e-5);
    MAP_proj(3);
    MAP_tran(&x1, &y1, 0, 20);
    EXPECT_NEAR(x1, 10 * R * M_PI / 180, 1e-4);
    // Lambert true latitudes given afterwards
    install("lc:40:-95,40,-95");
    const float t[2] = {25, 25};
    MAP_proj_coord(t);
    MAP_tran(&x1, &y1, 25, -95);
    MAP_tran(&x2, &y2, 25.01f, -95);
    EXPECT_NEAR(std::hypot(x2 - x1, y2 - y1) / (R * 0.01 * M_PI / 180), 1.0, 1e-3);
    (void)d;
}

// Map scale factor and directions, checked against finite differences of
// the forward transform.
TEST(MapProj, FactorAndDirectionsMatchNumericGeometry)
{
    install("ps,60,-100");
    for (float lat : {30.0f, 45.0f, 60.0f, 80.0f}) {
        float x1, y1, x2, y2;
        MAP_tran(&x1, &y1, lat, -80);
        MAP_tran(&x2, &y2, lat + 0.01f, -80);
        double k = std::hypot(x2 - x1, y2 - y1) / (R * 0.01 * M_PI / 180);
        EXPECT_NEAR(MAP_factor(lat), k, 2e-3) << lat;
    }
    for (const char *dom : {"ps,60,-100", "ps:-60:30,-60,30", "lc,40,-95", "lc:-30:135:-20:-40,-30,135",
                            "sat:0:-75,0,-75"}) {
        SCOPED_TRACE(dom);
        DOM d = install(dom);
        for (float dlon : {-30.0f, 0.0f, 20.0f}) {
            for (float dir : {0.0f, 45.0f, 200.0f}) {
                float lat = d.clat + 5, lon = d.clon + dlon, x, y, x2, y2;
                ASSERT_EQ(MAP_tran(&x, &y, lat, lon), 1);
                double s = std::sin(dir * M_PI / 180), c = std::cos(dir * M_PI / 180);
                MAP_tran(&x2, &y2, lat + 0.01 * c, lon + 0.01 * s / std::cos(lat * M_PI / 180));
                double grid = std::atan2(x2 - x, y2 - y) * 180 / M_PI;
                float adj = MAP_dir_adj(dir, x, y);
                EXPECT_NEAR(lon_diff(adj, grid), 0, 0.1) << dlon << " " << dir;
                if (d.proj != 9) {
                    EXPECT_NEAR(lon_diff(MAP_undir_adj(adj, x, y), dir), 0, 1e-3);
                }
            }
        }
    }
    install("ps,60,-100");
    EXPECT_FLOAT_EQ(MAP_dir_adj(10, 0, 0), 110);
    EXPECT_FLOAT_EQ(MAP_uvdir_adj(1, 1, 0, 0), 100);
    float x, y, x2, y2, lat, lon;
    MAP_tran(&x, &y, 40, -100);
    MAP_offset(&x2, &y2, x, y, 0, 111.195f);  // one degree north
    MAP_untran(&lat, &lon, x2, y2);
    EXPECT_NEAR(lat, 41, 1e-3);
    EXPECT_NEAR(MAP_dir(x, y, x2, y2), 0, 1e-2);
}

TEST(MapProj, DomainTranBetweenDomains)
{
    DOM a, b;
    DOM_decode("ps:60:-105,40,-100,31,21,1,1", &a);
    DOM_decode("lc:25:-95:25,38,-97,61,37,0.8,0.8", &b);
    install("me,0,0");
    float x, y, x2, y2;
    MAP_domain(&a);
    MAP_tran(&x, &y, 42, -90);
    install("me,0,0");
    EXPECT_EQ(MAP_domain_tran(&a, &b, &x2, &y2, x, y), 1);
    EXPECT_EQ(MAP_get_proj(), 3);  // current domain restored
    float lat, lon;
    MAP_domain(&b);
    MAP_untran(&lat, &lon, x2, y2);
    EXPECT_NEAR(lat, 42, 1e-4);
    EXPECT_NEAR(lon, -90, 1e-4);
    EXPECT_EQ(MAP_domain_tran(&a, &a, &x2, &y2, 5, 6), 1);
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y2, 6);
}

TEST(MapProj, DiagramSystems)
{
    install("xy,0,100,10,20");  // corners (0,100) and (10,120), factors 25/10, 17/20
    float L[4], x, y, a, b;
    MAP_get_limits(L);
    EXPECT_FLOAT_EQ(L[0], 0);
    EXPECT_FLOAT_EQ(L[1], 25);
    EXPECT_FLOAT_EQ(L[2], 100);
    EXPECT_FLOAT_EQ(L[3], 117);
    MAP_tran(&x, &y, 10, 120);
    EXPECT_FLOAT_EQ(x, 25);
    EXPECT_FLOAT_EQ(y, 117);
    MAP_untran(&a, &b, x, y);
    EXPECT_FLOAT_EQ(a, 10);
    EXPECT_FLOAT_EQ(b, 120);

    install("vert,-40,1000,50,-900");  // log-pressure
    MAP_tran(&x, &y, 20, 500);
    EXPECT_FLOAT_EQ(y, (float)-std::log(500.0));
    MAP_untran(&a, &b, x, y);
    EXPECT_NEAR(b, 500, 1e-3);

    install("hodo,0,0,10,10");
    MAP_tran(&x, &y, 90, 5);
    EXPECT_NEAR(x, 5, 1e-5);
    EXPECT_NEAR(y, 0, 1e-5);
    MAP_untran(&a, &b, -1, 0);
    EXPECT_NEAR(a, 270, 1e-4);
    EXPECT_NEAR(b, 1, 1e-5);

    install("stuve,-40,1000,80,-900");
    MAP_tran(&x, &y, 10, 700);
    MAP_untran(&a, &b, x, y);
    EXPECT_NEAR(b, 700, 0.05);

    const float vp[4] = {0.1f, 0.9f, 0.1f, 0.9f};
    MAP_set_view(vp);
    install("skewt,-40,1050,80,-950");
    MAP_tran(&x, &y, 15, 850);
    MAP_untran(&a, &b, x, y);
    EXPECT_NEAR(a, 15, 1e-3);
    EXPECT_NEAR(b, 850, 0.05);
    // isotherms lean: the same temperature higher up sits further right
    float x2, y2;
    MAP_tran(&x2, &y2, 15, 500);
    EXPECT_GT(x2, x);

    install("teph,-40,1050,80,-950");
    MAP_tran(&x, &y, 10, 800);
    MAP_untran(&a, &b, x, y);
    EXPECT_NEAR(a, 10, 1e-3);
    EXPECT_NEAR(b, 800, 0.5);  // 0.286 * 3.5 is not quite 1

    install("rteph,-40,1050,80,-950");
    MAP_tran(&x, &y, 10, 800);
    EXPECT_NEAR(y, std::log(283.15 * std::pow(1000.0 / 800, 0.286)), 1e-5);
    MAP_untran(&a, &b, x, y);
    EXPECT_NEAR(b, 800, 0.5);

    install("pix,0,0,640,480");
    MAP_tran(&x, &y, 12, 34);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, -34);
}

// The skew-T and tephigram scale by the viewport: the current domain takes
// the one set before its first transform, even after MAP_domain, and an
// object made for the domain takes the layer's.
TEST(MapProj, DiagramObjectsTakeTheViewport)
{
    const float wide[4] = {0.1f, 0.9f, 0.1f, 0.5f}, tall[4] = {0.1f, 0.5f, 0.1f, 0.9f};
    for (const char *text : {"skewt,-40,1050,80,-950", "teph,-40,1050,80,-950"}) {
        SCOPED_TRACE(text);
        MAP_set_view(wide);
        const DOM d = install(text);
        MAP_set_view(tall);
        float x, y, ox, oy, wx, wy;
        MAP_tran(&x, &y, 10, 800);
        MAP_make_proj(&d).tran(&ox, &oy, 10, 800);
        EXPECT_EQ(x, ox);
        EXPECT_EQ(y, oy);
        MapProj(d, wide).tran(&wx, &wy, 10, 800);
        EXPECT_TRUE(x != wx || y != wy);
    }
}

}  // namespace
