// Diagram coordinate systems of the wider suite (x/y, log-pressure,
// hodograph, skew-T, Stuve, emagram, tephigram).  The first input a is the
// x quantity (temperature in degrees C on thermodynamic diagrams), the
// second b the y quantity (pressure in hPa).
#include <cmath>

#include "map/map_internal.h"

namespace map_detail {

namespace {

// Potential temperature of a temperature in degrees C at pressure p (hPa);
// -9999 when either is unusable.
double pot_temp(double t, double p)
{
    if (t != MISS) t += 273.15;
    if (t <= 0 || p <= 0) return MISS;
    return t * std::pow(1000.0 / p, 0.286);
}

// Skew-T slope from the viewport's shape, with the diagram's bottom as the
// origin, once per domain.
void skewt_factor(ProjState &st)
{
    if (st.xfactor != MISS) return;
    const float *v = st.view, *L = st.limits;
    double vw = v[1] - v[0];
    st.xfactor = vw == 0 ? 0.0f : (float)(((v[3] - v[2]) / vw) * (L[1] - L[0]) / (L[3] - L[2]));
    st.scale = L[2];
}

void teph_factor(ProjState &st)
{
    if (st.xfactor != MISS) return;
    const float *v = st.view, *L = st.limits;
    st.xfactor = (float)((v[1] - v[0]) / (L[1] - L[0]));
    st.yfactor = (float)((v[3] - v[2]) / (L[3] - L[2]));
}

}  // namespace

void settle_diagram(ProjState &st)
{
    if (st.domain.proj == DOM_SKEWT) skewt_factor(st);
    // A tephigram factor of 0 (while the limits are laid out) asks for the
    // raw coordinates.
    else if (st.domain.proj == DOM_TEPH && st.xfactor != 0.0f) teph_factor(st);
}

int diagram_fwd(const ProjState &st, int proj, double a, double b, float *x, float *y)
{
    const float *L = st.limits;
    switch (proj) {
    case 20: case 24:
        *x = (float)((a - L[0]) * st.xfactor + L[0]);
        *y = (float)((b - L[2]) * st.yfactor + L[2]);
        return 1;
    case 25:
        *x = (float)((a - L[0]) * st.xfactor + L[0]);
        *y = (float)((L[2] - b) * st.yfactor + L[2]);
        return 1;
    case 22: case 42:
        *x = (float)a;
        *y = (float)-std::log(b);
        return 1;
    case 23: {
        double s, c;
        sincos(a * D2R, &s, &c);
        *x = (float)(b * s);
        *y = (float)(b * c);
        return 1;
    }
    case 40: {
        double yy = -std::log(b);
        *x = (float)(a + (yy - st.scale) * st.xfactor);
        *y = (float)yy;
        return 1;
    }
    case 41:
        *x = (float)a;
        *y = (float)-std::pow(b, 0.285714);
        return 1;
    case 43: {
        if (st.xfactor == 0.0f) {
            *x = (float)a;
            *y = (float)std::log(b);
            return 0;
        }
        const float *v = st.view;
        double X = (a - L[0]) * st.xfactor + v[0];
        double Y = (std::log(pot_temp(a, b)) - L[2]) * st.yfactor + v[2];
        double Xp = 0.5 * (Y - v[2]) + 0.5 * (v[0] + X);
        double Yp = Y - (Xp - v[0]);
        *x = (float)((Xp - v[0]) / st.xfactor + L[0]);
        *y = (float)((Yp - v[2]) / st.yfactor + L[2]);
        return 1;
    }
    case 44:
        *x = (float)a;
        *y = (float)std::log(pot_temp(a, b));
        return 1;
    default:
        return 1;
    }
}

int diagram_inv(const ProjState &st, int proj, double x, double y, float *a, float *b)
{
    const float *L = st.limits;
    switch (proj) {
    case 20: case 24:
        *a = (float)((x - L[0]) / st.xfactor + L[0]);
        *b = (float)((y - L[2]) / st.yfactor + L[2]);
        return 1;
    case 25:
        *a = (float)((x - L[0]) / st.xfactor + L[0]);
        *b = (float)(L[2] - (y - L[2]) / st.yfactor);
        return 1;
    case 22: case 42:
        *a = (float)x;
        *b = (float)std::exp(-y);
        return 1;
    case 23: {
        double d = (x == 0 && y == 0) ? 0.0 : std::atan2(x, y) * R2D;
        if (d < 0) d += 360.0;
        *a = (float)d;
        *b = (float)std::sqrt(x * x + y * y);
        return 1;
    }
    case 40:
        *a = (float)(x - (y - st.scale) * st.xfactor);
        *b = (float)std::exp(-y);
        return 1;
    case 41:
        *a = (float)x;
        *b = (float)std::pow(-y, 3.5);
        return 1;
    case 43: {
        if (st.xfactor == 0.0f) {
            *a = (float)x;
            *b = (float)std::exp(y);
            return 0;
        }
        const float *v = st.view;
        double X = (x - L[0]) * st.xfactor + v[0];
        double Y = (y - L[2]) * st.yfactor + v[2];
        double t = (2 * X - (X - v[0] + Y - v[2]) - 2 * v[0]) / st.xfactor + L[0];
        double theta = std::exp((X - v[0] + Y - v[2]) / st.yfactor + L[2]);
        *a = (float)t;
        *b = (float)(1000.0 * std::pow((t + 273.15) / theta, 3.5));
        return 1;
    }
    case 44: {
        double t = x;
        double tk = t == MISS ? t : t + 273.15;
        *a = (float)t;
        *b = (float)(1000.0 * std::pow(tk / std::exp(y), 3.5));
        return 1;
    }
    default:
        return 1;
    }
}

}  // namespace map_detail
