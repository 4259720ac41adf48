// Navigation: time and angle helpers, GVAR against the real GOES-8 file and
// synthetic imager/sounder blocks, the spin-scan GOES model, and bad blocks.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "image/nav.h"
#include "tests/image/area_blocks.h"

namespace {

TEST(NavTime, PackedAnglesYearsAndDays)
{
    EXPECT_NEAR(int2deg(-1003030), -100.508333, 1e-6);
    EXPECT_EQ(deg2int(-100.508333), -1003030);
    EXPECT_EQ(deg2int(int2deg(1234559)), 1234559);
    EXPECT_EQ(deg2int(std::nan("")), 0);

    struct { int yy, days; } years[] = {{0, 366}, {99, 365}, {96, 366}, {0 + 1900, 365}, {2000, 366}};
    for (auto &c : years) EXPECT_EQ(numyr(c.yy), c.days) << c.yy;

    // Dates as year*1000+day; expected day counts from python3 date subtraction.
    struct { int d1, d2, days; } spans[] = {
        {99365, 1, 1}, {59, 1059, 366}, {98260, 98260, 0}, {1059, 59, -366},
        {90001, 98260, 3181}, {1999001, 2000001, 365}, {150001, 151001, 365},
    };
    for (auto &c : spans) EXPECT_EQ(numdy(c.d1, c.d2), c.days) << c.d1 << " " << c.d2;
    EXPECT_DOUBLE_EQ(timdif(98260, 98261, 23.5, 0.5), 60.0);

    struct { int ymd, yd; } md[] = {{229, 60}, {990301, 99060}, {981231, 98365}, {1231, 366}, {980917, 98260}};
    for (auto &c : md) {
        EXPECT_EQ(mdcon(1, c.ymd), c.yd) << c.ymd;
        EXPECT_EQ(mdcon(2, c.yd), c.ymd) << c.yd;
    }
    EXPECT_EQ(rnd(2.5), 3);
    EXPECT_EQ(rnd(-2.5), -3);
    EXPECT_EQ(rnd(-2.4), -2);
}

TEST(NavTime, EpochMinutesSince1950)
{
    // python3: (datetime(1998,9,17,10,0) - datetime(1950,1,1)) in minutes
    EXPECT_DOUBLE_EQ(timex(1950, 1, 0, 0, 0), 0);
    EXPECT_NEAR(timex(1998, 260, 7, 45, 14.372), 25619505.2395333, 1e-6);
    const int32_t bcd[2] = {0x19982601, 0x00000000};  // the GOES-8 block's epoch: 1998 day 260 10:00
    EXPECT_DOUBLE_EQ(time50(bcd), 25619640.0);
    const int32_t bcd2[2] = {0x20000010, 0x23012345};  // 2000 day 001 02:30:12.345
    EXPECT_NEAR(time50(bcd2), timex(2000, 1, 2, 30, 12.345), 1e-9);
}

TEST(NavTime, GeodeticGeocentricAndSphere)
{
    for (double lat : {-89.0, -45.0, 0.0, 30.0, 60.0}) {
        EXPECT_NEAR(geolat(2, geolat(1, lat)), lat, 1e-9);
        if (lat != 0) { EXPECT_LT(std::fabs(geolat(1, lat)), std::fabs(lat)); }
    }
    double xyz[3] = {0, 2, 2}, out[3];
    sphere_cvt(1, xyz, out);
    EXPECT_NEAR(out[0], 45, 1e-12);
    EXPECT_NEAR(out[1], 90, 1e-12);
    EXPECT_NEAR(out[2], std::sqrt(8.0), 1e-12);
}

TEST(NavLineElem, CorrectionsAndResolution)
{
    AREA_set_res(1001, 2001, 1, 1);
    float l, e;
    AREA_line_elem(1, &l, &e, 1, 1);
    EXPECT_FLOAT_EQ(l, 1001);
    EXPECT_FLOAT_EQ(e, 2001);
    AREA_line_elem(2, &l, &e, 1001, 2001);
    EXPECT_FLOAT_EQ(l, 1);
    EXPECT_FLOAT_EQ(e, 1);
    // Resolution 4: image (10, 20) -> 1000 + 40, 2000 + 80; back again differs by
    // the resolution's share of the "- 1" (the directions are not inverses).
    AREA_set_res(1001, 2001, 4, 4);
    AREA_line_elem(1, &l, &e, 10, 20);
    EXPECT_FLOAT_EQ(l, 1040);
    EXPECT_FLOAT_EQ(e, 2080);
    AREA_line_elem(2, &l, &e, 1040, 2080);
    EXPECT_FLOAT_EQ(l, 10.75f);
    EXPECT_FLOAT_EQ(e, 20.75f);
}

TEST(NavNone, KindZeroDoesNothing)
{
    AREA_reset();
    float la = 12, lo = 34, l = 5, e = 6;
    EXPECT_EQ(AREA_tran(1, &la, &lo, &l, &e), 0);
    EXPECT_EQ(la, 12);
    EXPECT_EQ(e, 6);
}

// ---- GVAR ----

TEST(NavGvarFile, GoesEightWaterVapourNavigates)
{
    testutil::AreaWords a;
    if (!testutil::read_area_words(testutil::shared_data(testutil::GVAR_AREA), a)) GTEST_SKIP() << "no shared data";
    ASSERT_EQ(a.type, "GVAR");
    AREA_init_nav(a.dir.data(), a.type.c_str(), a.nav.data());
    ASSERT_EQ(AREA_nav_kind(), NAV_GVAR);
    float la, lo, l, e;
    ASSERT_EQ(AREA_tran(3, &la, &lo, &l, &e), 0);
    EXPECT_NEAR(la, 0, 0.2);
    EXPECT_NEAR(lo, -75, 0.5);

    // Its comment card says the copy was centred on LATLON=25 80: the point
    // must land at the image centre (row 200, column 900) within a pixel.
    la = 25;
    lo = -80;
    ASSERT_EQ(AREA_tran(2, &la, &lo, &l, &e), 0);
    float row, col;
    AREA_line_elem(2, &row, &col, l, e);
    EXPECT_NEAR(row, 200, 1.0);
    EXPECT_NEAR(col, 900, 1.0);

    // Every pixel of the image is on the earth; each round trip comes back
    // within a hundredth of a full-resolution line and element.
    double worst = 0;
    int off = 0;
    for (int r = 0; r < a.dir[8]; ++r)
        for (int c = 0; c < a.dir[9]; ++c) {
            float l0, e0;
            AREA_line_elem(1, &l0, &e0, (float)r, (float)c);
            float l1 = l0, e1 = e0;
            if (AREA_tran(1, &la, &lo, &l1, &e1) != 0) {
                ++off;
                continue;
            }
            ASSERT_EQ(AREA_tran(2, &la, &lo, &l1, &e1), 0) << r << " " << c;
            worst = std::max({worst, (double)std::fabs(l1 - l0), (double)std::fabs(e1 - e0)});
        }
    EXPECT_EQ(off, 0);
    EXPECT_LT(worst, 0.01);
}

GVAR_BLOCK_SPEC imager_at(double sublon)
{
    GVAR_BLOCK_SPEC s{};
    s.sublon = sublon;
    s.instrument = 1;
    s.year = 2001;
    s.day = 100;
    s.hour = 12;
    return s;
}

void init_gvar(const GVAR_BLOCK_SPEC &s)
{
    std::vector<int32_t> nav(640);
    GVAR_make_block(s, nav.data());
    int32_t dir[64] = {};
    dir[5] = dir[6] = dir[11] = dir[12] = 1;
    AREA_init_nav(dir, "GVAR", nav.data());
}

// Round trips over a grid of full-frame lines and elements; returns the
// number of on-earth points and the worst difference.
std::pair<int, double> round_trip_grid(double l0, double l1, double e0, double e1, int steps)
{
    int on = 0;
    double worst = 0;
    for (int i = 0; i <= steps; ++i)
        for (int j = 0; j <= steps; ++j) {
            double line = l0 + (l1 - l0) * i / steps, elem = e0 + (e1 - e0) * j / steps;
            double la, lo, l = line, e = elem;
            if (AREA_tran_d(1, &la, &lo, &l, &e) != 0) {
                EXPECT_EQ(la, -9999);
                EXPECT_EQ(lo, -9999);
                continue;
            }
            ++on;
            EXPECT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), 0) << line << " " << elem;
            worst = std::max({worst, std::fabs(l - line), std::fabs(e - elem)});
        }
    return {on, worst};
}

TEST(NavGvar, ImagerAndSounderRoundTrips)
{
    GVAR_BLOCK_SPEC s = imager_at(-135);
    s.roll = 2e-4;
    s.pitch = -1e-4;
    s.yaw = 3e-4;
    s.lat = 1e-3;
    s.orbit_yaw = -5e-4;
    s.radial = 3.5;
    init_gvar(s);
    auto [on, worst] = round_trip_grid(1, 15780, 1, 30680, 40);
    EXPECT_GT(on, 500);
    EXPECT_LT(worst, 0.01);

    s.instrument = 2;
    s.ns_cyc = 4;
    s.ns_inc = 1000;
    s.ew_cyc = 2;
    s.ew_inc = 1200;
    init_gvar(s);
    auto [on2, worst2] = round_trip_grid(1, 16000, 1, 16000, 40);
    EXPECT_GT(on2, 100);
    EXPECT_LT(worst2, 0.01);
}

TEST(NavGvar, FrameWordZeroImagerCentreAndFarSide)
{
    init_gvar(imager_at(-75));
    double la, lo, l, e;
    ASSERT_EQ(AREA_tran_d(3, &la, &lo, &l, &e), 0);
    EXPECT_NEAR(la, 0, 1e-9);
    EXPECT_NEAR(lo, -75, 1e-5);  // the block holds radians to 1e-7
    // Default bounds: elevation 0 at line 0.220896/28e-6 + 4.5, scan 0 at
    // element 0.24544/16e-6 + 1.
    ASSERT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), 0);
    EXPECT_NEAR(l, 0.220896 / 28e-6 + 4.5, 0.01);
    EXPECT_NEAR(e, 0.24544 / 16e-6 + 1, 0.01);
    ASSERT_EQ(AREA_tran_d(1, &la, &lo, &l, &e), 0);
    EXPECT_NEAR(la, 0, 1e-6);
    EXPECT_NEAR(lo, -75, 1e-5);  // the block holds radians to 1e-7

    // The far side: -1, outputs left as they were; latitudes beyond the pole
    // give -9999.
    double la2 = 10, lo2 = 105, l2 = 123, e2 = 456;
    EXPECT_EQ(AREA_tran_d(2, &la2, &lo2, &l2, &e2), -1);
    EXPECT_EQ(l2, 123);
    EXPECT_EQ(e2, 456);
    la2 = 91;
    EXPECT_EQ(AREA_tran_d(2, &la2, &lo2, &l2, &e2), -1);
    EXPECT_EQ(l2, -9999);
}

TEST(NavGvar, LimbOfTheDisc)
{
    init_gvar(imager_at(0));
    // Angular radius of the ellipsoid seen from 42164.365 km (python3):
    // east-west asin(1/r) = 0.151857, north-south atan(1/sqrt(k (r^2-1))) = 0.151356
    // with r the orbit radius in equatorial radii and k = 1.00673918.
    const double ew = 0.15185735836481196, ns = 0.1513559855980801;
    const double l_eq = 0.220896 / 28e-6 + 4.5, e_ctr = 0.24544 / 16e-6 + 1;
    struct { double dl, de; int result; } cases[] = {
        {0, (ew - 2e-5) / 16e-6, 0},  {0, (ew + 2e-5) / 16e-6, -1},
        {0, -(ew - 2e-5) / 16e-6, 0}, {0, -(ew + 2e-5) / 16e-6, -1},
        {-(ns - 2e-5) / 28e-6, 0, 0}, {-(ns + 2e-5) / 28e-6, 0, -1},
        {(ns - 2e-5) / 28e-6, 0, 0},  {(ns + 2e-5) / 28e-6, 0, -1},
    };
    for (auto &c : cases) {
        double la, lo, l = l_eq + c.dl, e = e_ctr + c.de;
        EXPECT_EQ(AREA_tran_d(1, &la, &lo, &l, &e), c.result) << c.dl << " " << c.de;
        if (c.result == -1) {
            EXPECT_EQ(la, -9999);
            EXPECT_EQ(lo, -9999);
        } else if (c.dl < 0) {
            EXPECT_GT(la, 70);  // near the north pole
        }
    }
}

// ---- spin-scan GOES ----

GOES_BLOCK_SPEC goes_spec()
{
    GOES_BLOCK_SPEC s{};
    s.sublon = -75;
    s.date = 96123;
    s.time = 143000;
    s.semi_major = 42164.17;
    s.spin_period = 0.6;
    s.line_deg = 20;
    s.elem_deg = 20;
    s.lines_per_scan = 8;
    s.scans = 1821;
    s.elements = 15001;
    s.centre_line = 7284;
    s.spin_dec = 90;
    return s;
}

void init_goes(const GOES_BLOCK_SPEC &s)
{
    int32_t nav[128], dir[64] = {};
    GOES_make_block(s, nav);
    dir[5] = dir[6] = dir[11] = dir[12] = 1;
    AREA_init_nav(dir, "GOES", nav);
}

TEST(NavGoes, SubSatellitePointAndRoundTrips)
{
    init_goes(goes_spec());
    ASSERT_EQ(AREA_nav_kind(), NAV_GOES);
    double la, lo, l, e;
    ASSERT_EQ(AREA_tran_d(3, &la, &lo, &l, &e), 0);
    EXPECT_EQ(l, 7284);
    EXPECT_EQ(e, 7501);
    EXPECT_NEAR(la, 0, 1e-6);
    EXPECT_NEAR(lo, -75, 0.01);
    // Looking straight down the centre line and element finds the point
    // below the satellite.
    double la1, lo1, l1 = 7284, e1 = 7501;
    ASSERT_EQ(AREA_tran_d(1, &la1, &lo1, &l1, &e1), 0);
    EXPECT_NEAR(la1, 0, 0.01);
    EXPECT_NEAR(lo1, lo, 0.01);

    auto [on, worst] = round_trip_grid(1, 14568, 1, 15001, 40);
    EXPECT_GT(on, 700);
    EXPECT_LT(worst, 0.01);

    // With attitude angles and a tilted spin axis the transforms stay inverse.
    GOES_BLOCK_SPEC s = goes_spec();
    s.pitch = 0.05;
    s.yaw = -0.03;
    s.roll = 0.02;
    s.spin_dec = 89.7;
    s.spin_ra = 40;
    init_goes(s);
    auto [on2, worst2] = round_trip_grid(1, 14568, 1, 15001, 40);
    EXPECT_GT(on2, 700);
    EXPECT_LT(worst2, 0.01);
}

TEST(NavGoes, FarSideLimbAndOutsideTheFrame)
{
    init_goes(goes_spec());
    double la = 0, lo = 105, l = 1, e = 1;
    EXPECT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), -1);
    EXPECT_EQ(l, -9999);
    EXPECT_EQ(e, -9999);
    // Beside the limb along the centre line: angular radius asin(6378.388/42164.17).
    double rpe = 20 * M_PI / 180 / 15000, limb = std::asin(6378.388 / 42164.17);
    l = 7284;
    e = 7501 + (limb + 3e-5) / rpe;
    EXPECT_EQ(AREA_tran_d(1, &la, &lo, &l, &e), -1);
    EXPECT_EQ(la, -9999);
    e = 7501 + (limb - 3e-5) / rpe;
    l = 7284;
    EXPECT_EQ(AREA_tran_d(1, &la, &lo, &l, &e), 0);
    EXPECT_GT(lo + 75, 79);  // the limb lies 81.3 degrees from the sub-satellite point

    // A frame of 100 elements cannot hold 60 W: -9999 with result 0.
    GOES_BLOCK_SPEC s = goes_spec();
    s.elements = 101;
    s.elem_deg = 20.0 * 100 / 15000;
    init_goes(s);
    la = 0;
    lo = -60;
    EXPECT_EQ(AREA_tran_d(2, &la, &lo, &l, &e), 0);
    EXPECT_EQ(e, -9999);
}

// ---- bad blocks ----

void expect_finite_or_missing(double a, double b)
{
    bool missing = a == -9999 && b == -9999;
    EXPECT_TRUE(missing || (std::isfinite(a) && std::isfinite(b))) << a << " " << b;
}

void poke_all_directions()
{
    for (double line : {1.0, 5000.0, 1e9, -1e9}) {
        double la = 0, lo = 0, l = line, e = line;
        AREA_tran_d(1, &la, &lo, &l, &e);
        expect_finite_or_missing(la, lo);
        la = 30;
        lo = -80;
        AREA_tran_d(2, &la, &lo, &l, &e);
        expect_finite_or_missing(l, e);
        AREA_tran_d(3, &la, &lo, &l, &e);
    }
}

TEST(NavBadBlocks, ZerosExtremesAndNoise)
{
    int32_t dir[64] = {};
    std::vector<int32_t> nav(640);
    std::mt19937 rng(7);
    for (const char *type : {"GOES", "GVAR"})
        for (int round = 0; round < 60; ++round) {
            uint32_t fill = round == 0 ? 0 : round == 1 ? 0x7fffffff : round == 2 ? 0x80000000u : 0xffffffffu;
            for (auto &w : nav) w = (int32_t)(round < 4 ? fill : rng());
            std::memcpy(nav.data(), type, 4);
            AREA_init_nav(dir, type, nav.data());
            poke_all_directions();
        }
    // Sensible blocks with one absurd word each.
    for (int word : {6, 7, 15, 16, 17, 18, 19}) {
        int32_t g[128];
        GOES_make_block(goes_spec(), g);
        for (int32_t v : {0, -1, INT32_MAX, INT32_MIN}) {
            g[word] = v;
            AREA_init_nav(dir, "GOES", g);
            poke_all_directions();
        }
    }
}

}  // namespace
