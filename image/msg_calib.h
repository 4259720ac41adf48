// Calibration of Meteosat Second Generation (MSG1..MSG4, Meteosat-8..11)
// SEVIRI counts: the prologue's slope and offset per channel give the
// radiance, and the infrared channels' radiance gives the brightness
// temperature through EUMETSAT's central wavenumber and A, B coefficients.
// Internal to image/.
#pragma once

#include <cstddef>

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
// Offset of the calibration records (12 channels of slope and offset,
// big-endian doubles) in the prologue's data field, and their length.
constexpr size_t MSG_PRO_CALIB_OFFSET = 387065;
constexpr size_t MSG_PRO_CALIB_SIZE = 12 * 16;

// Brightness temperature (K) of a radiance of an infrared channel; false
// when the radiance has none (zero or negative).
bool msg_temperature(const MsgCalib &calib, double radiance, double *kelvin);

}  // namespace rdr
