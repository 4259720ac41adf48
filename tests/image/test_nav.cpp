// Navigation: time helpers against python3's datetime, the GVAR and spin-scan models against
// PROJ's geostationary projection, the real GOES-8 file against its comment card.

#include "image/nav.h"
#include "build.h"
#include "area_blocks.h"

namespace {

TEST(NavTime, AnglesDatesEpochsAndLatitudes)
{
    EXPECT_NEAR(int2deg(-1003030), -100.508333, 1e-6);
    EXPECT_EQ(std::pair(deg2int(-100.508333), deg2int(std::nan(""))), std::pair(-1003030, 0));
    for (auto [yy, days] : {std::pair{0, 366}, {99, 365}, {96, 366}, {1900, 365}, {2000, 366}})
        EXPECT_EQ(numyr(yy), days) << yy;
    // Dates as year*1000+day; day counts from python3 date subtraction.
    struct { int d1, d2, days; } spans[] = {{99365, 1, 1}, {1059, 59, -366}, {90001, 98260, 3181}, {1999001, 2000001, 365}};
    for (auto &c : spans) EXPECT_EQ(numdy(c.d1, c.d2), c.days) << c.d1 << " " << c.d2;
    EXPECT_DOUBLE_EQ(timdif(98260, 98261, 23.5, 0.5), 60.0);
    for (auto [ymd, yd] : {std::pair{229, 60}, {990301, 99060}, {981231, 98365}, {1231, 366}})
        EXPECT_EQ(std::pair(mdcon(1, ymd), mdcon(2, yd)), std::pair(yd, ymd)) << ymd;
    EXPECT_EQ(rnd(-2.5) * 10 + rnd(-2.4), -32);
    // python3: (datetime(1998,9,17,7,45,14.372) - datetime(1950,1,1)) in minutes.
    EXPECT_NEAR(timex(1998, 260, 7, 45, 14.372), 25619505.2395333, 1e-6);
    const int32_t bcd[2] = {0x19982601, 0};  // 1998 day 260 10:00 in BCD
    EXPECT_DOUBLE_EQ(time50(bcd), 25619640.0);
    // atan((6356.912 / 6378.388)^2 tan 45) = 44.806761: the International ellipsoid.
    EXPECT_NEAR(geolat(1, 45), 44.806761, 1e-6);
    EXPECT_NEAR(geolat(2, geolat(1, -60)), -60, 1e-9);
    double xyz[3] = {0, 2, 2}, out[3];
    sphere_cvt(1, xyz, out);
    EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{45, 90, std::sqrt(8.0)}));
}

TEST(NavNone, TransformLeavesValues)
{
    AREA_reset();
    float l = 1, e = 2, la = 12, lo = 34;
    EXPECT_EQ(AREA_tran(1, &la, &lo, &l, &e), 0);
    EXPECT_EQ(std::vector<float>({la, lo, l, e}), (std::vector<float>{12, 34, 1, 2}));
}

enum Model { IMAGER, SOUNDER, SPIN, SPIN_NARROW };

GVAR_BLOCK_SPEC gvar_spec(Model m)
{
    GVAR_BLOCK_SPEC s{};
    return s.sublon = m == IMAGER ? -75 : -135, s.instrument = m == IMAGER ? 1 : 2, s.year = 2001, s.day = 100, s.hour = 12, s;
}

GOES_BLOCK_SPEC goes_spec(int elements = 15001)
{
    GOES_BLOCK_SPEC s{};
    s.sublon = -75, s.date = 96123, s.time = 143000, s.semi_major = 42164.17, s.spin_period = 0.6, s.line_deg = 20;
    s.elem_deg = 20.0 * (elements - 1) / 15000, s.lines_per_scan = 8, s.scans = 1821, s.elements = elements;
    s.centre_line = 7284, s.spin_dec = 90;
    return s;
}

void init(const GVAR_BLOCK_SPEC &s)
{
    std::vector<int32_t> nav(640);
    GVAR_make_block(s, nav.data()), AREA_init_nav(nullptr, "GVAR", nav.data());
}
void init(const GOES_BLOCK_SPEC &s)
{
    int32_t nav[128];
    GOES_make_block(s, nav), AREA_init_nav(nullptr, "GOES", nav);
}
void init_model(Model m) { m <= SOUNDER ? init(gvar_spec(m)) : init(goes_spec(m == SPIN_NARROW ? 101 : 15001)); }

// Points of each model with the latitude and longitude PROJ gives for them
// (lat NAN: off the earth).  GVAR imager: elevation 0.220896 - (line - 4.5)
// 28e-6 rad, scan (elem - 1) 16e-6 - 0.24544 rad (sounder: 280e-6 per pixel
// from 0.2208938 and 0.2454375, pixel line (line + 9) / 10, pixel 1 at 2.5);
// x = scan h, y = elevation h through
//   cs2cs +proj=geos +sweep=x +h=35785977 +a=6378388 +b=6357003.4585 +lon_0=-75
//         +to +proj=longlat +a=6378388 +b=6357003.4585
// (orbit radius 42164.365 km, (a/b)^2 = 1.0067391845).  Spin scan: element
// angle (elem - 7501) 20/15000 deg, line angle (line - 7284) 20/14567 deg
// southwards, through +sweep=y +h=35785782 +a=6378388 +b=6356912.
// The limb rows sit 2e-5 rad inside and outside asin(1/r) (east) and
// atan(1/sqrt(k (r^2 - 1))) (north) of the imager's centre.
struct Point { const char *name; Model model; double line, elem, lat, lon; };
const double OFF = NAN, ON = 999;  // ON: on the earth, too near the limb to compare
const Point kPoints[] = {
    {"imager nadir", IMAGER, 7893, 15341, 0.005825, -75.0},
    {"imager north-east", IMAGER, 5000, 20000, 28.536341, -45.104548},
    {"imager south-west", IMAGER, 10000, 8000, -20.893807, -124.383563},
    {"imager off the disc", IMAGER, 3000, 5000, OFF, OFF},
    {"imager east limb inside", IMAGER, 7893.64, 24831.0, ON, ON},
    {"imager east limb outside", IMAGER, 7893.64, 24833.5, OFF, OFF},
    {"imager north limb inside", IMAGER, 2488.6, 15341.0, ON, ON},
    {"imager north limb outside", IMAGER, 2487.2, 15341.0, OFF, OFF},
    {"sounder north-west", SOUNDER, 4001, 6001, 41.698492, -174.006516},
    {"sounder south-east", SOUNDER, 8001, 12001, -0.892252, -103.467794},
    {"sounder off the disc", SOUNDER, 12001, 3001, OFF, OFF}, {"spin centre", SPIN, 7284, 7501, 0.0, -75.0},
    {"spin north-west", SPIN, 3000, 4000, 38.575175, -113.743155},
    {"spin south-east", SPIN, 11000, 12000, -33.218707, -25.416303},
    {"spin north-east", SPIN, 6000, 13000, 10.809238, -23.154762},
    {"spin south-west", SPIN, 10000, 2500, -23.425776, -125.061292},
};

TEST(NavModels, PointsAgreeWithProjGeostationary)
{
    for (const Point &p : kPoints) {
        SCOPED_TRACE(p.name);
        init_model(p.model);
        double la, lo, l = p.line, e = p.elem;
        if (std::isnan(p.lat)) {
            EXPECT_EQ(AREA_tran_d(1, &la, &lo, &l, &e), -1);
            EXPECT_EQ(std::vector<double>({la, lo}), std::vector<double>(2, -9999));
            continue;
        }
        ASSERT_EQ(AREA_tran_d(1, &la, &lo, &l, &e), 0);
        if (p.lat == ON) continue;
        // The spin-scan block holds the orbit's mean anomaly to 0.001 degree.
        const double deg = p.model == SPIN ? 1e-3 : 1e-4, px = p.model == SPIN ? 0.5 : 0.05;
        EXPECT_NEAR(la, p.lat, deg);
        EXPECT_NEAR(lo, p.lon, deg);
        la = p.lat, lo = p.lon;
        ASSERT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), 0);
        EXPECT_NEAR(l, p.line, px);
        EXPECT_NEAR(e, p.elem, px);
    }
}

TEST(NavModels, InverseOffTheDisc)
{
    // line: after the call; 123 = left as it was.
    struct { const char *name; Model model; double lat, lon; int result; double line; } cases[] = {
        {"imager far side", IMAGER, 10, 105, -1, 123}, {"imager beyond the pole", IMAGER, 91, 0, -1, -9999},
        {"spin far side", SPIN, 0, 105, -1, -9999},
        {"spin outside a 100-element frame", SPIN_NARROW, 0, -60, 0, -9999},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        init_model(c.model);
        double la = c.lat, lo = c.lon, l = 123, e = 456;
        EXPECT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), c.result);
        EXPECT_EQ(l, c.line);
    }
}

// Round trips over a 41 x 41 grid of full-frame lines and elements: at least
// min_on points on the earth, each back within 0.01 pixel.
void expect_round_trips(double l1, double e1, int min_on)
{
    int on = 0;
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            double line = 1 + (l1 - 1) * i / 40, elem = 1 + (e1 - 1) * j / 40, la, lo, l = line, e = elem;
            if (AREA_tran_d(1, &la, &lo, &l, &e) != 0) continue;
            ++on;
            EXPECT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), 0) << line << " " << elem;
            EXPECT_LT(std::max(std::fabs(l - line), std::fabs(e - elem)), 0.01) << line << " " << elem;
        }
    EXPECT_GT(on, min_on);
}

// Attitude, orbit and frame terms have no PROJ counterpart: the two
// directions must stay inverse with them set.
TEST(NavModels, RoundTripsWithAttitudeAndFrameWords)
{
    GVAR_BLOCK_SPEC s = gvar_spec(IMAGER);
    s.sublon = -135, s.roll = 2e-4, s.pitch = -1e-4, s.yaw = 3e-4, s.lat = 1e-3, s.orbit_yaw = -5e-4, s.radial = 3.5;
    init(s);
    expect_round_trips(15780, 30680, 500);
    s.instrument = 2, s.ns_cyc = 4, s.ns_inc = 1000, s.ew_cyc = 2, s.ew_inc = 1200;
    init(s);
    expect_round_trips(16000, 16000, 100);
    GOES_BLOCK_SPEC g = goes_spec();
    g.pitch = 0.05, g.yaw = -0.03, g.roll = 0.02, g.spin_dec = 89.7, g.spin_ra = 40;
    init(g);
    expect_round_trips(14568, 15001, 700);
}

TEST(NavGvarFile, GoesEightWaterVapourNavigates)
{
    NEED_SHARED(testutil::GVAR_AREA);
    build::Read a(build::load(testutil::shared(testutil::GVAR_AREA)));
    // Directory words 3..6, 8..12 and 33 as listed for this file; nav word 1
    // holds the text "E001" and is swapped like any number.
    const int32_t *w = a.area.dir;
    EXPECT_EQ(std::vector<int32_t>({w[3], w[4], w[5], w[6], w[8], w[9], w[10], w[11], w[12], w[33]}),
              (std::vector<int32_t>{98260, 74500, 3797, 10881, 400, 1800, 2, 8, 4, 2816}));
    ASSERT_STREQ(a.area.nav_type, "GVAR");
    EXPECT_EQ(a.area.gvar[1], 'E' << 24 | '0' << 16 | '0' << 8 | '1');
    AREA_init_nav(a.area.dir, "GVAR", a.area.gvar);
    ASSERT_EQ(AREA_nav_kind(), NAV_GVAR);
    float la, lo, l, e;
    ASSERT_EQ(AREA_tran(3, &la, &lo, &l, &e), 0);
    EXPECT_TRUE(std::fabs(la) < 0.2 && std::fabs(lo + 75) < 0.5) << la << " " << lo;
    // Its comment card says the copy was centred on LATLON=25 80: the point
    // must land at the image centre (row 200, column 900) within a pixel.
    la = 25, lo = -80;
    ASSERT_EQ(AREA_tran(2, &la, &lo, &l, &e), 0);
    float row, col;
    AREA_line_elem(2, &row, &col, l, e);
    EXPECT_LT(std::max(std::fabs(row - 200), std::fabs(col - 900)), 1.0) << row << " " << col;
}

}  // namespace
