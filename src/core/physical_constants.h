// Physical constants shared by every metric: the level reference and the analysis sample rate.
#ifndef VARNHOLT_CORE_PHYSICAL_CONSTANTS_H
#define VARNHOLT_CORE_PHYSICAL_CONSTANTS_H

namespace varnholt {

// Reference sound pressure of every level in dB, in Pa.
inline constexpr double REFERENCE_PRESSURE_PA = 2e-5;

// The one sample rate the library analyses, in Hz.
inline constexpr double SAMPLE_RATE_HZ = 48000.0;

}  // namespace varnholt

#endif
