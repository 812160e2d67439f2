// The level spectrum of one analysis frame, computed as the tonality does it,
// for the tests of the single stages.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "core/fft.h"
#include "shorttime/tonality_aures/aures_analysis.h"

namespace varnholt::test {

struct AnalysedFrame {
  AuresAnalysis constants;
  WindowSums sums;
  std::vector<double> windowed;
  std::vector<std::complex<double>> unscaled;  // spectrum of the windowed frame
  std::vector<double> levels;                  // all N bins, dB re 20 uPa
};

// Windows the first N samples of `frame`, transforms them and takes levels.
inline AnalysedFrame analyse_frame(const std::vector<double>& frame) {
  AnalysedFrame a{};
  a.constants = aures_analysis_constants(48000.0);
  const int n = a.constants.frame_length;
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> window(size);
  hann_window(n, window.data());
  a.sums = aures_window_sums(window.data(), n);
  a.windowed.resize(size);
  for (std::size_t k = 0; k < size; ++k) a.windowed[k] = frame[k] * window[k];
  ComplexFft fft;
  EXPECT_EQ(ComplexFft::create(size, fft), FftStatus::ok);
  std::vector<std::complex<double>> scaled(size);
  a.unscaled.resize(size);
  for (std::size_t k = 0; k < size; ++k) {
    scaled[k] = {a.sums.amplitude_scale * a.windowed[k], 0.0};
    a.unscaled[k] = {a.windowed[k], 0.0};
  }
  fft.forward(scaled.data(), scaled.data(), 1.0);
  fft.forward(a.unscaled.data(), a.unscaled.data(), 1.0);
  a.levels.resize(size);
  EXPECT_TRUE(aures_level_spectrum(scaled.data(), n, n, a.levels.data()));
  return a;
}

}  // namespace varnholt::test
