// Search for narrow bands of noise that stand out of the level spectrum like
// tones: narrower than a critical band and at least 7 dB above both
// neighbouring critical bands.
#pragma once

#include <vector>

#include "shorttime/tonality_aures/aures_components.h"

namespace varnholt {

// Working rows of the band search over the m bins 0 .. N/2, made once per
// call and reused for every frame.
struct BandSearchRows {
  explicit BandSearchRows(int bins, double bin_spacing);

  int m;
  int smoothed_end = 0;            // S and the intensities are made for bins below this
  std::vector<double> smoothed;    // S: power mean of three neighbouring bins, dB
  std::vector<double> level_intensity;  // 10^(L/10)
  std::vector<double> search;      // Q: S inside 20 Hz..5 kHz, -100 once used
  std::vector<double> working;     // W: levels, with accepted bands replaced by their baseline
  std::vector<double> intensity;   // 10^(W/10), kept in step with W
  std::vector<double> rate;        // Z: critical-band rate of every bin (fixed for the call)
  std::vector<double> scratch;     // stretch of S searched for its noise floor
  std::vector<double> excess;      // E: intensity above the baseline of a candidate
  std::vector<double> cumulative;  // F: normalised cumulative excess of a candidate
  std::vector<unsigned char> marks;  // 1 once a bin belongs to an examined candidate
};

// Examines at most AURES_MAX_BANDS candidates in the level spectrum L[0..m-1]
// (dB, bin spacing bin_spacing Hz) and stores the accepted ones in `bands` in
// the order of acceptance. Returns their number, or -1 on a numerical
// failure (a non-finite smoothed level, inconsistent bounds, non-finite sums,
// a non-finite or non-positive width, a non-finite level).
int aures_find_bands(const double* levels, int m, double bin_spacing, BandSearchRows& rows,
                     TonalBand* bands) noexcept;

// Frequency in Hz at which the rising cumulative distribution F[lo..hi]
// reaches `target`, interpolated linearly between the bins around the
// crossing; not a number when those two bins hold equal values.
double cumulative_crossing(const double* cumulative, int lo, int hi, double bin_spacing,
                           double target) noexcept;

}  // namespace varnholt
