// Time and angle helpers of the navigation: packed angles, two-digit years,
// day counts between dates, and the binary-coded decimal epoch of GVAR blocks.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "image/nav.h"

namespace {

// Years written with two digits (below 50: 20yy) or as years since 1900
// (below 200) become four-digit years; larger values already are.
int64_t full_year(int64_t y)
{
    if (y < 50) return 2000 + y;
    if (y < 200) return 1900 + y;
    return y;
}

bool leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from the start of year 0 to the start of year y (proleptic Gregorian),
// in closed form so absurd dates cost no loop.
int64_t days_before(int64_t y)
{
    return 365 * y + floor_div(y + 3, 4) - floor_div(y + 99, 100) + floor_div(y + 399, 400);
}

constexpr int month_start[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

}  // namespace

double int2deg(int32_t packed)
{
    int64_t v = std::llabs((long long)packed);
    double deg = (double)(v / 10000) + (double)((v / 100) % 100) / 60.0 + (double)(v % 100) / 3600.0;
    return packed < 0 ? -deg : deg;
}

int32_t deg2int(double degrees)
{
    // Out-of-range and NaN angles have no packed form; 0 keeps callers safe.
    if (!std::isfinite(degrees) || std::fabs(degrees) > 214748.0) return 0;
    double a = std::fabs(degrees) + 0.000138888;
    int32_t d = (int32_t)a;
    double mf = (a - d) * 60.0;
    int32_t m = (int32_t)mf;
    int32_t s = (int32_t)((mf - m) * 60.0);
    int32_t packed = d * 10000 + m * 100 + s;
    return degrees < 0 ? -packed : packed;
}

double geolat(int direction, double lat)
{
    constexpr double ratio = 0.9932773468128505;  // (polar / equatorial radius)^2
    double r = lat * M_PI / 180.0;
    if (std::fabs(std::fabs(lat) - 90.0) < 1e-12) return lat;
    double t = std::tan(r);
    t = direction == 1 ? t * ratio : t / ratio;
    return std::atan(t) * 180.0 / M_PI;
}

int sphere_cvt(int direction, const double xyz[3], double out[3])
{
    if (direction == 1) {
        double h = std::hypot(xyz[0], xyz[1]);
        out[0] = std::atan2(xyz[2], h) * 180.0 / M_PI;
        out[1] = std::atan2(xyz[1], xyz[0]) * 180.0 / M_PI;
        out[2] = std::sqrt(h * h + xyz[2] * xyz[2]);
    } else {
        // latitude, longitude, radius -> Cartesian
        double la = xyz[0] * M_PI / 180.0, lo = xyz[1] * M_PI / 180.0;
        out[0] = xyz[2] * std::cos(la) * std::cos(lo);
        out[1] = xyz[2] * std::cos(la) * std::sin(lo);
        out[2] = xyz[2] * std::sin(la);
    }
    return 0;
}

double rnd(double x) { return x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5); }

// Unlike a plain 19yy reading, years from 200 up are taken as they stand, the
// same rule numdy uses, so both agree on every date the blocks can hold.
int numyr(int yy) { return leap(full_year(yy)) ? 366 : 365; }

int numdy(int d1, int d2)
{
    int64_t y1 = full_year(d1 / 1000), y2 = full_year(d2 / 1000);
    int64_t days = days_before(y2) - days_before(y1) + (d2 % 1000) - (d1 % 1000);
    if (days > INT32_MAX) return INT32_MAX;
    if (days < INT32_MIN) return INT32_MIN;
    return (int)days;
}

double timdif(int d1, int d2, double t1, double t2)
{
    return (double)numdy(d1, d2) * 1440.0 + (t2 - t1) * 60.0;
}

int mdcon(int direction, int date)
{
    if (direction == 1) {
        int yy = date / 10000, mm = (date / 100) % 100, dd = date % 100;
        if (mm < 1) mm = 1;
        if (mm > 12) mm = 12;
        return yy * 1000 + month_start[leap(full_year(yy))][mm - 1] + dd;
    }
    int yy = date / 1000, doy = date % 1000;
    const int *ms = month_start[leap(full_year(yy))];
    int mm = 1;
    while (mm < 12 && doy > ms[mm]) ++mm;
    return yy * 10000 + mm * 100 + (doy - ms[mm - 1]);
}

double timex(int year, int day, int hour, int minute, double seconds)
{
    int64_t y = year;
    int64_t j = day + 1461 * (y + 4799) / 4 - 3 * ((y + 4899) / 100) / 4 - 2465022;
    return (double)j * 1440.0 + hour * 60.0 + minute + seconds / 60.0;
}

double time50(const int32_t words[2])
{
    int n[16];
    for (int w = 0; w < 2; ++w)
        for (int k = 0; k < 8; ++k) n[w * 8 + k] = (int)(((uint32_t)words[w] >> (28 - 4 * k)) & 15);
    int year = n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3];
    int day = n[4] * 100 + n[5] * 10 + n[6];
    int hour = n[7] * 10 + n[8];
    int minute = n[9] * 10 + n[10];
    double sec = n[11] * 10 + n[12] + n[13] / 10.0 + n[14] / 100.0 + n[15] / 1000.0;
    return timex(year, day, hour, minute, sec);
}
