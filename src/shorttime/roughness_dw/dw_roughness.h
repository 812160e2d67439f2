// Roughness after Daniel and Weber: frame layout, result codes and the core.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_ROUGHNESS_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_ROUGHNESS_H

#include <cstdint>

#include "shorttime/short_time_front.h"

namespace varnholt {

// 200 ms frames with 50 % overlap at 48 kHz.
inline constexpr std::uint64_t DW_FRAME_LENGTH = 9600;
inline constexpr std::uint64_t DW_HOP = 4800;

// Critical-band channels centred at 0.5, 1.0, ..., 23.5 Bark.
inline constexpr int DW_CHANNEL_COUNT = 47;

// Negative results of dw_roughness_compute.
inline constexpr int DW_ERR_CAPACITY = -1;    // the slot's capacity is below the frame count
inline constexpr int DW_ERR_ALLOCATION = -2;  // heap block or FFT plan unavailable
inline constexpr int DW_ERR_TOO_SHORT = -3;   // fewer samples than one frame
inline constexpr int DW_ERR_NON_FINITE = -5;  // a spectrum, envelope or sum overflowed

// Roughness in asper of every 200 ms frame of the signal, written to out in
// frame order. frame_count holds the capacity of out on entry and the number
// of frames on return. Returns that number, or one of the codes above.
// sound_field is ignored: roughness has no sound-field correction.
int dw_roughness_compute(const double* signal, int n, double fs, int sound_field, double* out,
                         int* frame_count);

// The front's description of this metric.
extern const ShortTimeMetric DW_ROUGHNESS_METRIC;

}  // namespace varnholt

#endif
