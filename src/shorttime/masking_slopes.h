// Zwicker's masking slopes over critical-band rate, shared by the roughness
// and the tonality model: the excitation of a spectral line falls steeply
// towards lower rates and, the more so the softer and lower the line, towards
// higher rates.
#ifndef VARNHOLT_SHORTTIME_MASKING_SLOPES_H
#define VARNHOLT_SHORTTIME_MASKING_SLOPES_H

namespace varnholt {

// Fall of the excitation towards lower rates, in dB per Bark.
inline constexpr double LOWER_MASKING_SLOPE_DB_PER_BARK = 27.0;

// Slope towards higher rates, in dB per Bark (negative: a fall), of a line at
// frequency_hz and level_db: -24 dB/Bark less 230 / f, plus 0.2 dB per dB.
inline double upper_masking_slope_db_per_bark(double frequency_hz, double level_db) noexcept {
  return -24.0 - 230.0 / frequency_hz + 0.2 * level_db;
}

}  // namespace varnholt

#endif
