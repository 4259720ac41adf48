// The current AREA navigation: the pixel mapping between image and
// full-frame sensor coordinates, the dispatch of AREA_tran, and the
// spin-scan "GOES" navigation (Keplerian orbit, spin-axis attitude).
#include <cmath>
#include <array>
#include <cstring>

#include "core/flags.h"
#include "image/area.h"
#include "image/nav.h"

namespace {

int nav_kind = NAV_NONE;
// Image (line, element) -> full frame: corr - 1 + pixel * res.
float line_corr = 1, elem_corr = 1, line_res = 1, elem_res = 1;

constexpr double deg = M_PI / 180.0;
constexpr double earth_rot = 0.004375269512809179;  // rad per minute
constexpr double re_eq = 6378.388, re_pol = 6356.912, re_mean = 6371.221;
constexpr int ref_date = 90001;
constexpr int32_t ref_time_packed = 171537;

using Vec = std::array<double, 3>;
double dot(const Vec &a, const Vec &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec cross(const Vec &a, const Vec &b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Spin-scan navigation: the block's values and everything derived from them.
// Everything is computed in GOES_init, so transforms only read this.
struct Goes {
    bool valid = false;
    // block
    int date = 0;
    double pict_time = 0;
    int sat_type = 1, second_order = 0, anomaly_type = 0;
    int epoch_date = 0, epoch_time = 0;
    double semi_major = 0, ecc = 0, incl = 0, mean_anom = 0, perigee = 0, node = 0;
    double spin_dec = 0, spin_ra = 0;
    int centre_line = 0;
    double spin_period = 0;  // hours
    double line_deg = 0, elem_deg = 0;
    int nlines_word = 0, nelems = 0;
    double pitch = 0, yaw = 0, roll = 0, gamma = 0, gamma_rate = 0;
    double prec_rate = 0, prec_dir = 0, atms_hght = 0, equinox_prec = 0;
    // derived
    int lines_per_scan = 1, total_lines = 0;
    double centre_elem = 0, rad_line = 0, rad_elem = 0, spin_sidereal = 0;
    double att[3][3] = {};
    // orbit
    double n = 0, perigee_rate = 0, node_rate = 0;
    int peri_date = 0;
    double peri_time = 0, peri_arg = 0, peri_node = 0;
    Vec P{}, Q{};
    double ref_hours = 0;
};
Goes goes;

void plane_vectors(double w, double o, double i, Vec &P, Vec &Q)
{
    double cw = std::cos(w), sw = std::sin(w), co = std::cos(o), so = std::sin(o);
    double ci = std::cos(i), si = std::sin(i);
    P = {cw * co - sw * so * ci, cw * so + sw * co * ci, sw * si};
    Q = {-sw * co - cw * so * ci, -sw * so + cw * co * ci, cw * si};
}

// Moves (date, hours) by whole days until hours lies in 0..24.
bool normalise_day(int &date, double &hours)
{
    double days = std::floor(hours / 24.0);
    if (!std::isfinite(days) || std::fabs(days) > 1e6) return false;
    hours -= days * 24.0;
    int yy = date / 1000, doy = date % 1000;
    long left = (long)days;
    while (left > 0) {
        int rest = numyr(yy) - doy;
        if (left <= rest) { doy += (int)left; left = 0; }
        else { left -= rest + 1; ++yy; doy = 1; }
    }
    while (left < 0) {
        if (-left < doy) { doy += (int)left; left = 0; }
        else { left += doy; --yy; doy = numyr(yy); }
    }
    date = yy * 1000 + doy;
    return true;
}

bool orbit_setup(Goes &g)
{
    if (g.sat_type < 0) g.sat_type = -g.sat_type;
    if (!(g.semi_major > 0) || !(g.ecc >= 0 && g.ecc < 1)) return false;
    int epoch = mdcon(1, g.epoch_date);
    double epoch_h = int2deg(g.epoch_time);
    double m = g.mean_anom;
    if (g.anomaly_type) {
        double nu = m * deg;
        double E = std::acos((g.ecc + std::cos(nu)) / (1 + g.ecc * std::cos(nu)));
        if (nu > M_PI || (nu < 0 && nu > -M_PI)) E = -E;
        m = (E - g.ecc * std::sin(E)) / deg;
    }
    m = std::fmod(m, 360.0);
    if (m < 0) m += 360.0;
    double n0 = 0.07436574 * std::pow(re_eq / g.semi_major, 1.5);
    g.n = n0;
    g.perigee_rate = g.node_rate = 0;
    double si = std::sin(g.incl * deg);
    if (g.second_order == 1) {
        double p = g.semi_major / re_eq * (1 - g.ecc * g.ecc);
        double k = 0.00162342 / (p * p);
        g.n = n0 * (1 + k * std::sqrt(1 - g.ecc * g.ecc) * (1 - 1.5 * si * si));
        g.perigee_rate = (2 - 2.5 * si * si) * k * g.n / deg;
        g.node_rate = -std::cos(g.incl * deg) * k * g.n / deg;
    }
    // Mean anomaly over mean motion: time since perigee (M in radians).
    double tp = epoch_h - m * deg / (g.n * 60.0);
    int pdate = epoch;
    if (!normalise_day(pdate, tp)) return false;
    tp = int2deg(deg2int(tp));
    g.peri_date = pdate;
    g.peri_time = tp;
    double dt = timdif(epoch, pdate, epoch_h, tp);
    g.peri_arg = std::fmod(g.perigee + g.perigee_rate * dt, 360.0);
    g.peri_node = std::fmod(g.node + g.node_rate * dt, 360.0);
    plane_vectors(g.peri_arg * deg, g.peri_node * deg, g.incl * deg, g.P, g.Q);
    return std::isfinite(g.n) && g.n > 0;
}

double sidereal(const Goes &g, int date, double hours)
{
    double th = std::fmod((earth_rot - g.equinox_prec) * timdif(ref_date, date, g.ref_hours, hours), 2 * M_PI);
    return th < 0 ? th + 2 * M_PI : th;
}

void goes_pos(const Goes &g, int date, double hours, bool inertial, Vec &pos)
{
    double t = timdif(g.peri_date, date, g.peri_time, hours);
    Vec P = g.P, Q = g.Q;
    if (g.second_order == 1)
        plane_vectors((g.peri_arg + g.perigee_rate * t) * deg, (g.peri_node + g.node_rate * t) * deg,
                      g.incl * deg, P, Q);
    double M = std::fmod(g.n * t, 2 * M_PI);
    double E = M;
    for (int k = 0; k < 20; ++k) {
        double E1 = M + g.ecc * std::sin(E);
        bool done = std::fabs(E1 - E) < 1e-8;
        E = E1;
        if (done) break;
    }
    double a = g.semi_major, c = a * (std::cos(E) - g.ecc), s = a * std::sqrt(1 - g.ecc * g.ecc) * std::sin(E);
    for (int k = 0; k < 3; ++k) pos[k] = c * P[k] + s * Q[k];
    if (inertial) return;
    double th = sidereal(g, date, hours), ct = std::cos(th), st = std::sin(th);
    double x = pos[0], y = pos[1];
    pos[0] = x * ct + y * st;
    pos[1] = y * ct - x * st;
}

// Hours of the scan that holds (line, element): the spin sweeps the elements
// within one rotation, the mirror steps once per scan of lines_per_scan lines.
double line_time(const Goes &g, double line, double elem)
{
    double l = rnd(line) - 1;
    double scan = std::floor(l / g.lines_per_scan);
    return g.pict_time + ((elem - 1) / (g.nelems - 1.0) * g.elem_deg / 360.0 + scan) * g.spin_period;
}

// The satellite's scan frame at hours t: z along the spin axis (fixed in
// inertial space, so it turns against the earth-fixed axes at the earth's
// rate from the picture time on), x the part of the direction to the earth's
// centre perpendicular to the spin axis (the element at the frame centre
// looks there), y = z cross x.  The attitude matrix then tilts the sensor in
// this frame: roll about x, pitch about y, yaw about z.
bool scan_frame(const Goes &g, double t, const Vec &pos, Vec frame[3])
{
    double lon = g.spin_sidereal - earth_rot * 60.0 * (t - g.pict_time);
    double cd = std::cos(g.spin_dec * deg);
    Vec S{cd * std::cos(lon), cd * std::sin(lon), std::sin(g.spin_dec * deg)};
    Vec to{-pos[0], -pos[1], -pos[2]};
    double k = dot(to, S);
    Vec x{to[0] - k * S[0], to[1] - k * S[1], to[2] - k * S[2]};
    double len = std::sqrt(dot(x, x));
    if (!(len > 0)) return false;
    for (double &c : x) c /= len;
    frame[0] = x;
    frame[1] = cross(S, x);
    frame[2] = S;
    return true;
}

void att_matrix(Goes &g)
{
    double r = g.roll * deg, p = g.pitch * deg, y = g.yaw * deg;
    double cr = std::cos(r), sr = std::sin(r), cp = std::cos(p), sp = std::sin(p), cy = std::cos(y), sy = std::sin(y);
    // Rz(yaw) * Ry(pitch) * Rx(roll)
    double m[3][3] = {{cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr},
                      {sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr},
                      {-sp, cp * sr, cp * cr}};
    std::memcpy(g.att, m, sizeof m);
}

double gamma_at(const Goes &g, double t) { return g.gamma + g.gamma_rate * (t - g.pict_time); }

void set_missing(double *a, double *b)
{
    *a = -9999;
    *b = -9999;
}

int goes_forward(const Goes &g, double line, double elem, double *lat, double *lon)
{
    double t = line_time(g, line, elem);
    Vec pos, f[3];
    goes_pos(g, g.date, t, false, pos);
    if (!scan_frame(g, t, pos, f)) return -1;
    double b = (line - g.centre_line) * g.rad_line;
    double e = (elem - g.centre_elem - gamma_at(g, t)) * g.rad_elem;
    Vec v{std::cos(b) * std::cos(e), -std::cos(b) * std::sin(e), -std::sin(b)};
    Vec va{};
    for (int i = 0; i < 3; ++i) va[i] = g.att[i][0] * v[0] + g.att[i][1] * v[1] + g.att[i][2] * v[2];
    Vec u{};
    for (int k = 0; k < 3; ++k) u[k] = va[0] * f[0][k] + va[1] * f[1][k] + va[2] * f[2][k];
    // Ellipsoid with the polar axis stretched to the equatorial radius.
    double ae = re_eq + g.atms_hght, be = re_pol + g.atms_hght, s = ae / be;
    Vec q{pos[0], pos[1], pos[2] * s}, w{u[0], u[1], u[2] * s};
    double A = dot(w, w), B = dot(q, w), C = dot(q, q) - ae * ae;
    double D = B * B - A * C;
    if (!(D >= 1) || !(A > 0)) return -1;
    double h = (-B - std::sqrt(D)) / A;
    if (!(h > 0)) return -1;
    Vec pt{pos[0] + h * u[0], pos[1] + h * u[1], pos[2] + h * u[2]};
    double gc = std::atan2(pt[2], std::hypot(pt[0], pt[1])) / deg;
    *lat = geolat(2, gc);
    *lon = std::atan2(pt[1], pt[0]) / deg;
    return 0;
}

int goes_inverse(const Goes &g, double lat, double lon, double *line, double *elem)
{
    if (!(lat >= -90 && lat <= 90) || !std::isfinite(lon)) return -1;
    double gc = geolat(1, lat) * deg, lo = lon * deg;
    double ae = re_eq + g.atms_hght, be = re_pol + g.atms_hght;
    double c = std::cos(gc), s = std::sin(gc);
    double r = re_eq * re_pol / std::sqrt(re_pol * re_pol * c * c + re_eq * re_eq * s * s) + g.atms_hght;
    (void)ae;
    (void)be;
    Vec T{r * c * std::cos(lo), r * c * std::sin(lo), r * s};
    double l = g.centre_line, e = g.centre_elem;
    double scan = std::floor((rnd(l) - 1) / g.lines_per_scan);
    // The scan number settles in a pass or two; the element's own share of
    // the spin time needs one more pass to settle below a thousandth of an
    // element, so both are watched.
    for (int pass = 0; pass < 20; ++pass) {
        double t = line_time(g, l, e);
        Vec pos, f[3];
        goes_pos(g, g.date, t, false, pos);
        double pr = std::sqrt(dot(pos, pos));
        if (!(dot(pos, T) / (pr * r) >= re_mean / pr)) return -1;
        if (!scan_frame(g, t, pos, f)) return -1;
        Vec V{T[0] - pos[0], T[1] - pos[1], T[2] - pos[2]};
        double vl = std::sqrt(dot(V, V));
        Vec va{dot(V, f[0]) / vl, dot(V, f[1]) / vl, dot(V, f[2]) / vl};
        Vec v{};
        for (int i = 0; i < 3; ++i) v[i] = g.att[0][i] * va[0] + g.att[1][i] * va[1] + g.att[2][i] * va[2];
        double b = -std::asin(std::fmax(-1.0, std::fmin(1.0, v[2])));
        double ea = std::atan2(-v[1], v[0]);
        double nl = g.centre_line + b / g.rad_line;
        double ne = g.centre_elem + ea / g.rad_elem + gamma_at(g, t);
        if (!std::isfinite(nl) || !std::isfinite(ne)) return -1;
        double nscan = std::floor((rnd(nl) - 1) / g.lines_per_scan);
        bool settled = nscan == scan && std::fabs(ne - e) < 1e-3;
        l = nl;
        e = ne;
        scan = nscan;
        if (settled) break;
    }
    if (l < 1 || l > g.total_lines || e < 1 || e > g.nelems) {
        *line = -9999;
        *elem = -9999;
        return 0;
    }
    *line = l;
    *elem = e;
    return 0;
}

}  // namespace

int GOES_init(const int32_t *w)
{
    Goes g;
    g.date = w[1] % 100000;
    g.pict_time = int2deg(w[2]);
    g.epoch_date = w[4];
    g.epoch_time = w[5];
    g.semi_major = w[6] / 100.0;
    g.ecc = w[7] / 1000000.0;
    g.incl = w[8] / 1000.0;
    g.mean_anom = w[9] / 1000.0;
    g.perigee = w[10] / 1000.0;
    g.node = w[11] / 1000.0;
    g.spin_dec = int2deg(w[12]);
    g.spin_ra = int2deg(w[13]);
    g.centre_line = w[14];
    g.spin_period = w[15] / 3600000000.0;
    g.line_deg = int2deg(w[16]);
    g.nlines_word = w[17];
    g.elem_deg = int2deg(w[18]);
    g.nelems = w[19];
    g.pitch = int2deg(w[20]);
    g.yaw = int2deg(w[21]);
    g.roll = int2deg(w[22]);
    g.gamma = w[38] / 100.0;
    g.gamma_rate = w[39] / 100.0;
    g.ref_hours = int2deg(ref_time_packed);

    MESS_print(MESS_DEBUG, "date            = %ld\n", (long)g.date);
    MESS_print(MESS_DEBUG, "pict_time       = %f\n", g.pict_time);
    MESS_print(MESS_DEBUG, "orb.sat_type    = %d\n", g.sat_type);
    MESS_print(MESS_DEBUG, "orb.epoch_date  = %d\n", g.epoch_date);
    MESS_print(MESS_DEBUG, "orb.epoch_time  = %d\n", g.epoch_time);
    MESS_print(MESS_DEBUG, "orb.semi_major  = %f\n", g.semi_major);
    MESS_print(MESS_DEBUG, "orb.eccen       = %f\n", g.ecc);
    MESS_print(MESS_DEBUG, "orb.inclin      = %f\n", g.incl);
    MESS_print(MESS_DEBUG, "orb.mean_anom   = %f\n", g.mean_anom);
    MESS_print(MESS_DEBUG, "orb.perigee     = %f\n", g.perigee);
    MESS_print(MESS_DEBUG, "orb.asc_node    = %f\n", g.node);
    MESS_print(MESS_DEBUG, "att.declin      = %f\n", g.spin_dec);
    MESS_print(MESS_DEBUG, "att.rt_ascen    = %f\n", g.spin_ra);
    MESS_print(MESS_DEBUG, "att.cntr_line   = %d\n", g.centre_line);
    MESS_print(MESS_DEBUG, "att.spin_period = %f\n", g.spin_period);
    MESS_print(MESS_DEBUG, "att.line_deg    = %f\n", g.line_deg);
    MESS_print(MESS_DEBUG, "att.num_lines   = %d\n", g.nlines_word);
    MESS_print(MESS_DEBUG, "att.elem_deg    = %f\n", g.elem_deg);
    MESS_print(MESS_DEBUG, "att.num_elems   = %d\n", g.nelems);
    MESS_print(MESS_DEBUG, "att.pitch       = %f\n", g.pitch);
    MESS_print(MESS_DEBUG, "att.yaw         = %f\n", g.yaw);
    MESS_print(MESS_DEBUG, "att.roll        = %f\n", g.roll);
    MESS_print(MESS_DEBUG, "att.gamma       = %f\n", g.gamma);
    MESS_print(MESS_DEBUG, "att.gamma_rate  = %f\n", g.gamma_rate);
    MESS_print(MESS_DEBUG, "prec_rate       = %f\n", g.prec_rate);
    MESS_print(MESS_DEBUG, "prec_dir        = %f\n", g.prec_dir);
    MESS_print(MESS_DEBUG, "atms_hght       = %f\n", g.atms_hght);

    // Derived values, all at once so the transforms stay read-only.
    g.lines_per_scan = (g.nlines_word / 100000) % 100;
    if (g.lines_per_scan < 1) g.lines_per_scan = 1;
    g.total_lines = g.lines_per_scan * (g.nlines_word % 100000);
    g.centre_elem = ((double)g.nelems + 1) / 2.0;
    g.rad_line = g.line_deg * deg / (g.total_lines - 1.0);
    g.rad_elem = g.elem_deg * deg / (g.nelems - 1.0);
    double th = sidereal(g, g.date, g.pict_time);
    g.spin_sidereal = std::fmod(g.spin_ra * deg - th, 2 * M_PI);
    if (g.spin_sidereal < 0) g.spin_sidereal += 2 * M_PI;
    att_matrix(g);
    g.prec_rate /= 24.0;
    g.valid = g.total_lines > 1 && g.nelems > 1 && std::isfinite(g.rad_line) && std::isfinite(g.rad_elem) &&
              g.rad_line != 0 && g.rad_elem != 0 && g.spin_period >= 0 && orbit_setup(g);
    goes = g;
    return 0;
}

int GOES_tran(int direction, double *lat, double *lon, double *line, double *elem)
{
    const Goes &g = goes;
    if (direction == 1) {
        if (!g.valid || !std::isfinite(*line) || !std::isfinite(*elem) ||
            goes_forward(g, *line, *elem, lat, lon) != 0) {
            set_missing(lat, lon);
            return -1;
        }
        return 0;
    }
    if (direction == 2) {
        if (!g.valid || goes_inverse(g, *lat, *lon, line, elem) != 0) {
            set_missing(line, elem);
            return -1;
        }
        return 0;
    }
    if (direction == 3) {
        if (!g.valid) {
            set_missing(lat, lon);
            return -1;
        }
        *line = g.centre_line;
        *elem = g.centre_elem;
        Vec pos;
        goes_pos(g, g.date, line_time(g, *line, *elem), false, pos);
        *lat = geolat(2, std::atan2(pos[2], std::hypot(pos[0], pos[1])) / deg);
        *lon = std::atan2(pos[1], pos[0]) / deg;
        return 0;
    }
    return 0;
}

int AREA_pos(int date, double hours, int inertial_only, double pos[3])
{
    if (!goes.valid) return -1;
    Vec p;
    goes_pos(goes, date, hours, inertial_only != 0, p);
    for (int k = 0; k < 3; ++k) pos[k] = p[k];
    return 0;
}

int AREA_init_nav(const int32_t *dir, const char *type, const int32_t *nav)
{
    bool is_goes = type && std::strncmp(type, "GOES", 4) == 0;
    bool is_gvar = type && std::strncmp(type, "GVAR", 4) == 0;
    if (dir) {
        line_corr = (float)(is_goes ? (double)dir[AREA_W_LINE] - dir[AREA_W_START_SCAN] : dir[AREA_W_LINE]);
        elem_corr = (float)dir[AREA_W_ELEM];
        line_res = (float)dir[AREA_W_LRES];
        elem_res = (float)dir[AREA_W_ERES];
    }
    if (is_goes && nav) {
        GOES_init(nav);
        nav_kind = NAV_GOES;
    } else if (is_gvar && nav) {
        GVAR_init(nav);
        nav_kind = NAV_GVAR;
    }
    return 0;
}

int AREA_init(const AREA_REC *area)
{
    if (!area) return 0;
    const int32_t *nav = nullptr;
    if (std::strncmp(area->nav_type, "GOES", 4) == 0) nav = area->goes;
    if (std::strncmp(area->nav_type, "GVAR", 4) == 0) nav = area->gvar;
    return AREA_init_nav(area->dir, area->nav_type, nav);
}

void AREA_reset()
{
    nav_kind = NAV_NONE;
    line_corr = elem_corr = line_res = elem_res = 1;
    goes = Goes{};
}

int AREA_nav_kind() { return nav_kind; }

int AREA_tran_d(int direction, double *lat, double *lon, double *line, double *elem)
{
    if (nav_kind == NAV_GOES) return GOES_tran(direction, lat, lon, line, elem);
    if (nav_kind == NAV_GVAR) return GVAR_tran(direction, lat, lon, line, elem);
    return 0;
}

int AREA_tran(int direction, float *lat, float *lon, float *line, float *elem)
{
    double la = *lat, lo = *lon, li = *line, el = *elem;
    int r = AREA_tran_d(direction, &la, &lo, &li, &el);
    *lat = (float)la;
    *lon = (float)lo;
    *line = (float)li;
    *elem = (float)el;
    return r;
}

int AREA_line_elem(int direction, float *line_out, float *elem_out, float line_in, float elem_in)
{
    if (direction == 1) {
        *line_out = line_corr - 1 + line_in * line_res;
        *elem_out = elem_corr - 1 + elem_in * elem_res;
    } else {
        *line_out = (line_in - line_corr) / line_res + 1;
        *elem_out = (elem_in - elem_corr) / elem_res + 1;
    }
    return 0;
}

int AREA_set_res(float lc, float ec, float lr, float er)
{
    line_corr = lc;
    elem_corr = ec;
    line_res = lr;
    elem_res = er;
    return 0;
}

void AREA_get_res(float *lc, float *ec, float *lr, float *er)
{
    *lc = line_corr;
    *ec = elem_corr;
    *lr = line_res;
    *er = elem_res;
}

void GOES_make_block(const GOES_BLOCK_SPEC &s, int32_t nav[128])
{
    std::memset(nav, 0, 128 * sizeof(int32_t));
    std::memcpy(nav, "GOES", 4);
    nav[1] = s.date;
    nav[2] = s.time;
    // Circular equatorial orbit with its epoch at the picture time: the mean
    // anomaly is then the satellite's inertial longitude, the sub-satellite
    // longitude plus the sidereal angle of that moment.
    nav[4] = mdcon(2, s.date);
    nav[5] = s.time;
    nav[6] = (int32_t)std::lround(s.semi_major * 100);
    double th = earth_rot * timdif(ref_date, s.date, int2deg(ref_time_packed), int2deg(s.time)) / deg;
    double m = std::fmod(s.sublon + th, 360.0);
    if (m < 0) m += 360;
    nav[9] = (int32_t)std::lround(m * 1000);
    nav[12] = deg2int(s.spin_dec);
    nav[13] = deg2int(s.spin_ra);
    nav[14] = s.centre_line;
    nav[15] = (int32_t)std::lround(s.spin_period * 1e6);
    nav[16] = deg2int(s.line_deg);
    nav[17] = s.lines_per_scan * 100000 + s.scans;
    nav[18] = deg2int(s.elem_deg);
    nav[19] = s.elements;
    nav[20] = deg2int(s.pitch);
    nav[21] = deg2int(s.yaw);
    nav[22] = deg2int(s.roll);
}
