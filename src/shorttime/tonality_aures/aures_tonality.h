// Tonality after Aures, one value per 250 ms frame (frames 125 ms apart):
//   T = 1.1055 * w_T^0.29 * w_Gr^0.79,
// w_T combining the tonal components of the frame (spectral peaks and narrow
// noise bands, each weighted by bandwidth, frequency and level above masking
// and the threshold in quiet), w_Gr = 1 - N_rest / N the share of the frame's
// loudness that its tonal components carry. A frame without tonal components
// has T = 0.
//
// The loudness of each frame comes from its third-octave levels, and the
// loudness model covers levels up to 120 dB in the bands up to 250 Hz: a frame
// louder than that in those bands cannot be measured, and the whole call then
// fails (-7, reported as VH_ERR_NUMERICAL). This is intended: a tonality
// without its loudness ratio would be a different quantity.
#pragma once

#include "shorttime/short_time_front.h"

namespace varnholt {

// Result codes of aures_tonality_compute besides the frame count.
inline constexpr int AURES_ERR_CAPACITY = -1;    // capacity below the frame count (count written)
inline constexpr int AURES_ERR_ALLOCATION = -2;  // heap, nb < 8 or an FFT execution
inline constexpr int AURES_ERR_FRAMING = -3;     // N < 1, H < 1 or no whole frame
inline constexpr int AURES_ERR_SAMPLE_RATE = -4;
inline constexpr int AURES_ERR_ARGUMENT = -5;    // null pointer, n <= 0, invalid sound field
inline constexpr int AURES_ERR_PLAN = -6;        // the FFT plan could not be made
inline constexpr int AURES_ERR_LOUDNESS = -7;
inline constexpr int AURES_ERR_NUMERICAL = -8;

// Tonality of every whole frame of signal[0..n-1] (Pa, fs = 48000 Hz) into
// out. *frame_count holds the capacity of out on entry and the number of
// frames on success. Returns the frame count or one of the codes above
// (checked in this order: pointers and n, rate not positive or not finite,
// sound field, rate not 48000, framing, capacity, plan, allocations). Values
// of frames before a failure may already be in out.
int aures_tonality_compute(const double* signal, int n, double sample_rate, int sound_field,
                           double* out, int* frame_count) noexcept;

// The tonality's framing and core for the short-time front.
inline constexpr ShortTimeMetric AURES_TONALITY_METRIC{12000, 6000, true, true,
                                                       &aures_tonality_compute};

}  // namespace varnholt
