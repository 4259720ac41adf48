// MSG SEVIRI calibration: counts to radiance by the prologue's linear
// calibration, radiance to brightness temperature by the inverse Planck
// function at the channel's central wavenumber with EUMETSAT's correction
//   T = (C2 vc / ln(1 + C1 vc^3 / R) - B) / A,
// C1 = 1.19104e-5 mW m-2 sr-1 (cm-1)-4, C2 = 1.43877 K cm.
//
// Where the calibration sits in the prologue's data field: after the
// satellite status (60134 bytes), image acquisition (700), celestial events
// (326058) and image description (101) records, and the 72 bytes of flags
// that begin the radiometric processing record, come twelve channels' slope
// and offset as big-endian 8-byte reals: byte 387065.
//
// The HRV coverage, from EUMETSAT's "MSG Level 1.5 Image Data Format
// Description" (EUM/MSG/ICD/105):
// - prologue: the image description record (byte 386892) is the projection
//   description (5 bytes), the VIS/IR and HRV reference grids (17 each),
//   the planned VIS/IR coverage (16), the planned HRV coverage (32) and the
//   level 1.5 image production record (14); the planned HRV coverage is
//   byte 55 of it;
// - epilogue: its data field begins with the trailer version (1 byte) and
//   the image production statistics: spacecraft id (2), actual scanning
//   summary (14), radiometer behaviour (12), reception summary (4 x 12
//   uint32: 192), level 1.5 image validity (12 x 6: 72), the actual VIS/IR
//   coverage (16), then the actual HRV coverage: byte 309;
// - both coverages are eight big-endian int32: lower window south line,
//   north line, east column, west column, then the same for the upper
//   window, on the HRV grid (11136 lines from the south, 11136 columns from
//   the east).
#include "image/msg_calib.h"
#include "image/rdr_util.h"

#include <cmath>
#include <cstdint>

namespace rdr {

namespace {

const char *const CHANNELS[12] = {"VIS006", "VIS008", "IR_016", "IR_039", "WV_062", "WV_073",
                                  "IR_087", "IR_097", "IR_108", "IR_120", "IR_134", "HRV"};
const char *const PLATFORMS[4] = {"MSG1", "MSG2", "MSG3", "MSG4"};

// Central wavenumber vc (cm-1), A and B of the eight thermal channels
// (IR_039, WV_062, WV_073, IR_087, IR_097, IR_108, IR_120, IR_134) of each
// satellite, from EUMETSAT, "The Conversion from Effective Radiances to
// Equivalent Brightness Temperatures", EUM/MET/TEN/11/0569, its table of
// the coefficients for Meteosat-8 .. Meteosat-11.
struct Coef {
    double vc, a, b;
};
const Coef COEFS[4][8] = {
    // MSG1 / Meteosat-8
    {{2567.330, 0.9956, 3.410}, {1598.103, 0.9962, 2.218}, {1362.081, 0.9991, 0.478},
     {1149.069, 0.9996, 0.179}, {1034.343, 0.9999, 0.060}, {930.647, 0.9983, 0.625},
     {839.660, 0.9988, 0.397}, {752.387, 0.9981, 0.578}},
    // MSG2 / Meteosat-9
    {{2568.832, 0.9954, 3.438}, {1600.548, 0.9963, 2.185}, {1360.330, 0.9991, 0.470},
     {1148.620, 0.9996, 0.179}, {1035.289, 0.9999, 0.056}, {931.700, 0.9983, 0.640},
     {836.445, 0.9988, 0.408}, {751.792, 0.9981, 0.561}},
    // MSG3 / Meteosat-10
    {{2547.771, 0.9915, 2.9002}, {1595.621, 0.9960, 2.0337}, {1360.337, 0.9991, 0.4340},
     {1148.130, 0.9996, 0.1714}, {1034.715, 0.9999, 0.0527}, {929.842, 0.9983, 0.6084},
     {838.659, 0.9988, 0.3882}, {750.653, 0.9982, 0.5390}},
    // MSG4 / Meteosat-11
    {{2555.280, 0.9916, 2.9438}, {1596.080, 0.9959, 2.0780}, {1361.748, 0.9990, 0.4929},
     {1147.433, 0.9996, 0.1731}, {1034.851, 0.9998, 0.0597}, {931.122, 0.9983, 0.6256},
     {839.113, 0.9988, 0.4002}, {748.585, 0.9981, 0.5635}},
};

constexpr double C1 = 1.19104e-5;
constexpr double C2 = 1.43877;

}  // namespace

const char *msg_channel_name(int chan) { return chan >= 1 && chan <= 12 ? CHANNELS[chan - 1] : nullptr; }

const char *msg_platform_name(int sat) { return sat >= 321 && sat <= 324 ? PLATFORMS[sat - 321] : nullptr; }

bool msg_calibration(const unsigned char *data, size_t size, int sat, int chan, MsgCalib *calib)
{
    if (!msg_platform_name(sat) || !msg_channel_name(chan) || !data ||
        size < MSG_PRO_CALIB_OFFSET + MSG_PRO_CALIB_SIZE)
        return false;
    const rdr::Span pro{data, size};
    const uint64_t at = MSG_PRO_CALIB_OFFSET + 16 * (uint64_t)(chan - 1);
    MsgCalib c;
    c.slope = pro.f64(at);
    c.offset = pro.f64(at + 8);
    if (!std::isfinite(c.slope) || !std::isfinite(c.offset) || c.slope <= 0 || c.slope > 10)
        return false;
    c.channel = msg_channel_name(chan);
    c.platform = msg_platform_name(sat);
    c.ir = chan >= 4 && chan <= 11;
    if (c.ir) {
        const Coef &k = COEFS[sat - 321][chan - 4];
        c.vc = k.vc, c.a = k.a, c.b = k.b;
    }
    *calib = c;
    return true;
}

bool msg_hrv_coverage(const unsigned char *data, size_t size, MsgHrvCoverage *coverage)
{
    if (!data || size < MSG_HRV_COVERAGE_SIZE) return false;
    const rdr::Span s{data, size};
    int32_t v[8];
    bool any = false;
    for (int i = 0; i < 8; ++i) any |= (v[i] = (int32_t)s.u32(4 * (uint64_t)i)) != 0;
    if (!any) return false;
    coverage->lower = {v[0], v[1], v[2], v[3]};
    coverage->upper = {v[4], v[5], v[6], v[7]};
    return true;
}

bool msg_temperature(const MsgCalib &c, double radiance, double *kelvin)
{
    if (!c.ir || !(radiance > 0)) return false;
    *kelvin = (C2 * c.vc / std::log(1 + C1 * c.vc * c.vc * c.vc / radiance) - c.b) / c.a;
    return std::isfinite(*kelvin);
}

}  // namespace rdr
