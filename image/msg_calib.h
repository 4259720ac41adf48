// Calibration of Meteosat Second Generation (MSG1..MSG4, Meteosat-8..11)
// SEVIRI counts: the prologue's slope and offset per channel give the
// radiance, and the infrared channels' radiance gives the brightness
// temperature through EUMETSAT's central wavenumber and A, B coefficients.
// Internal to image/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rdr {

struct MsgCalib {
    double slope = 0, offset = 0;  // radiance = offset + slope * count (10-bit count)
    bool ir = false;               // a thermal channel (IR_039 .. IR_134)
    double vc = 0, a = 0, b = 0;   // central wavenumber (cm-1) and A, B of the channel
    const char *channel = "";      // "IR_108", ...
    const char *platform = "";     // "MSG2", ...
};

// Units of the radiance.
constexpr const char *MSG_RADIANCE_UNITS = "mW m-2 sr-1 (cm-1)-1";

// The channel name of a channel id (1 VIS006 .. 12 HRV); null when none.
const char *msg_channel_name(int chan);
// The platform name of a spacecraft id (321..324: MSG1..MSG4); null when none.
const char *msg_platform_name(int sat);

// The calibration of channel `chan` of spacecraft `sat` from the prologue's
// data field (`data`, `size` bytes: what follows its header records).
// false when the spacecraft or channel is unknown or the prologue too short
// or holds no usable slope.
bool msg_calibration(const unsigned char *data, size_t size, int sat, int chan, MsgCalib *calib);
// Offset of the image description record in the prologue's data field
// (after the satellite status, image acquisition and celestial events
// records) and its length.
constexpr size_t MSG_PRO_DESCRIPTION_OFFSET = 60134 + 700 + 326058;
constexpr size_t MSG_PRO_DESCRIPTION_SIZE = 101;
// Offset of the calibration records (12 channels of slope and offset,
// big-endian doubles) in the prologue's data field, and their length: past
// the image description and the 72 bytes of flags that begin the
// radiometric processing record.
constexpr size_t MSG_PRO_CALIB_OFFSET = MSG_PRO_DESCRIPTION_OFFSET + MSG_PRO_DESCRIPTION_SIZE + 72;
constexpr size_t MSG_PRO_CALIB_SIZE = 12 * 16;

// The high-resolution visible channel (HRV): its channel id, and the side of
// its reference grid, three times the VIS/IR grid's 3712 in both directions.
constexpr int MSG_CHANNEL_HRV = 12;
constexpr int MSG_HRV_GRID = 11136;

// One of the two HRV windows on the HRV reference grid: lines counted from 1
// at the south, columns from 1 at the east, both ends included.
struct MsgHrvWindow {
    int32_t south = 0, north = 0, east = 0, west = 0;
};
struct MsgHrvCoverage {
    MsgHrvWindow lower, upper;
};
// Where the HRV coverage lies in a data field: the planned one in the
// prologue's image description, the actual one in the epilogue's image
// production statistics.
constexpr size_t MSG_PRO_HRV_PLANNED_OFFSET = MSG_PRO_DESCRIPTION_OFFSET + 55;
constexpr size_t MSG_EPI_HRV_ACTUAL_OFFSET = 309;
constexpr size_t MSG_HRV_COVERAGE_SIZE = 32;
// The coverage from its eight big-endian int32 (`data`, at least
// MSG_HRV_COVERAGE_SIZE bytes); false when they are all zero (not given).
bool msg_hrv_coverage(const unsigned char *data, size_t size, MsgHrvCoverage *coverage);

// Brightness temperature (K) of a radiance of an infrared channel; false
// when the radiance has none (zero or negative).
bool msg_temperature(const MsgCalib &calib, double radiance, double *kelvin);

}  // namespace rdr
