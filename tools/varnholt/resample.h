// Sample-rate conversion to the library's 48 kHz.
#pragma once

#include <vector>

#include "varnholt.h"

namespace varnholt::cli {

inline constexpr int ANALYSIS_RATE_HZ = VH_SAMPLE_RATE;

// Converts one channel from rate_hz to 48 kHz with libsoxr at its highest
// quality setting (32-bit precision, linear phase). Gives
// round(size * 48000 / rate_hz) samples. Throws std::runtime_error when the
// resampler fails.
std::vector<double> resample_to_analysis_rate(const std::vector<double>& samples, int rate_hz);

// How the tool's resampling is described in its outputs.
inline constexpr const char* RESAMPLER_DESCRIPTION =
    "libsoxr, 32-bit precision (highest quality), linear phase";

}  // namespace varnholt::cli
