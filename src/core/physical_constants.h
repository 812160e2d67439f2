// Physical constants shared by every metric of the library.
#pragma once

namespace varnholt {

// Reference sound pressure of the decibel scale: 20 micropascal.
inline constexpr double REFERENCE_PRESSURE_PA = 2e-5;

// The one sample rate the library computes at, in Hz.
inline constexpr double SAMPLE_RATE_HZ = 48000.0;

}  // namespace varnholt
