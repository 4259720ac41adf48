// Satellite navigation of AREA images: between image line/element and
// latitude/longitude for the spin-scan "GOES" block and the three-axis
// stabilised "GVAR" block (GOES I-M imager and sounder), plus the time and
// angle helpers both use.
//
// One navigation is current per process.  After AREA_init every transform is
// a pure function of that state, so several threads may call AREA_tran and
// AREA_line_elem at once as long as nobody calls AREA_init or AREA_set_res
// meanwhile.  Angles are degrees, latitude north and longitude east positive.
#pragma once

#include <cstdint>

struct AREA_REC;

// Navigation kinds.
enum { NAV_NONE = 0, NAV_GOES = 1, NAV_GVAR = 2 };

// From the reader's record: pixel mapping from directory words 5, 6, 11, 12,
// and for "GOES"/"GVAR" blocks the navigation itself.  Returns 0.
int AREA_init(const AREA_REC *area);
// Same from raw words: dir holds 64 directory words, nav the navigation block
// of the given type (128 words, 640 for "GVAR"); either may be null.
int AREA_init_nav(const int32_t *dir, const char *type, const int32_t *nav);
// Forgets the navigation (kind 0); the pixel mapping goes back to identity.
void AREA_reset();
int AREA_nav_kind();

// 1: line/element -> lat/lon, 2: lat/lon -> line/element, 3: sub-satellite
// point.  Line and element are full-frame sensor coordinates.  0 success, -1
// off the visible earth (outputs -9999; GVAR direction 2 on the far side
// leaves the outputs as they were).
int AREA_tran(int direction, float *lat, float *lon, float *line, float *elem);
// Double-precision form of the same, used by the float wrapper above.
int AREA_tran_d(int direction, double *lat, double *lon, double *line, double *elem);
// 1: image -> full frame, other: full frame -> image.  Returns 0.
int AREA_line_elem(int direction, float *line_out, float *elem_out, float line_in, float elem_in);
int AREA_set_res(float line_corr, float elem_corr, float line_res, float elem_res);
void AREA_get_res(float *line_corr, float *elem_corr, float *line_res, float *elem_res);

// Angular size of one full-resolution element (scan) and line (elevation) of
// the current GVAR instrument, radians.
double scan_delta();
double elev_delta();

// ---- GVAR model (gvar.cpp) ----
// Loads the 640-word block and computes the model at the image time.
int GVAR_init(const int32_t *nav);
int GVAR_tran(int direction, double *lat, double *lon, double *line, double *elem);

// ---- spin-scan GOES (area_nav.cpp) ----
int GOES_init(const int32_t *nav);
int GOES_tran(int direction, double *lat, double *lon, double *line, double *elem);
// Satellite position in km at (date year*1000+day, hours); inertial axes when
// inertial_only is set, else earth-fixed.  0, or -1 before a GOES init.
int AREA_pos(int date, double hours, int inertial_only, double pos[3]);

// ---- time and angle helpers ----
double int2deg(int32_t packed);   // +-DDDMMSS -> degrees
int32_t deg2int(double degrees);  // degrees -> +-DDDMMSS, nearest second
double geolat(int direction, double lat);  // 1 geodetic->geocentric, 2 back
int sphere_cvt(int direction, const double xyz[3], double out[3]);  // 1: xyz -> lat, lon, r
double rnd(double x);             // half away from zero
int numyr(int yy);                // days in the year
int numdy(int d1, int d2);        // days from YYDDD d1 to d2
double timdif(int d1, int d2, double t1, double t2);   // minutes
int mdcon(int direction, int date);  // 1: YYMMDD -> YYDDD, other: back
double time50(const int32_t words[2]);  // BCD time -> minutes since 1950
double timex(int year, int day, int hour, int minute, double seconds);

// ---- navigation blocks from physical parameters (tests, tools, fuzzing) ----
struct GVAR_BLOCK_SPEC {
    double sublon;            // degrees east
    double roll, pitch, yaw;  // reference attitude, radians
    double radial;            // reference radial distance change, km
    double lat;               // reference geocentric latitude, radians
    double orbit_yaw;         // reference orbit yaw, radians
    int instrument;           // 1 imager, 2 sounder
    int ns_cyc, ew_cyc, ns_inc, ew_inc;  // frame words (0: defaults)
    int year, day, hour, minute, second;  // image time
};
void GVAR_make_block(const GVAR_BLOCK_SPEC &spec, int32_t nav[640]);

struct GOES_BLOCK_SPEC {
    double sublon;        // sub-satellite longitude at the picture time, degrees east
    int date;             // year*1000+day
    int time;             // HHMMSS
    double semi_major;    // km
    double spin_period;   // seconds
    double line_deg, elem_deg;  // total scan angles, degrees
    int lines_per_scan, scans, elements;
    int centre_line;
    double pitch, yaw, roll;  // degrees
    double spin_dec, spin_ra; // spin axis, degrees
};
void GOES_make_block(const GOES_BLOCK_SPEC &spec, int32_t nav[128]);
