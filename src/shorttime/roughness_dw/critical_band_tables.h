// Hearing tables of the roughness model over critical-band rate: frequency to
// Bark, threshold in quiet and the outer-ear transfer function.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_CRITICAL_BAND_TABLES_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_CRITICAL_BAND_TABLES_H

namespace varnholt {

// Piecewise-linear lookup in an ascending table: x at or below the first
// point gives the first y, at or above the last point the last y; otherwise
// the first interval with x_i <= x <= x_{i+1} interpolates. When no interval
// holds x (NaN) the last y is returned.
double interp_clamped(const double* xs, const double* ys, int count, double x);

// Critical-band rate in Bark of a frequency in Hz.
double bark_of_frequency(double hz);

// Frequency in Hz of the table row at row / 2 Bark (row = 0 ... 49).
double frequency_of_half_bark_row(int row);

// Threshold in quiet in dB SPL at critical-band rate z.
double threshold_in_quiet_db(double z);

// Outer-ear transfer function in dB at critical-band rate z.
double outer_ear_gain_db(double z);

}  // namespace varnholt

#endif
