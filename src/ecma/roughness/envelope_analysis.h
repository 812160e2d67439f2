// Modulation power spectra of the envelopes of one band signal, block by block.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

#include "core/fft.h"
#include "ecma/roughness/roughness_grid.h"
#include "varnholt.h"

namespace varnholt {

// Plans, window and scratch of the envelope analysis, made once per call.
class EnvelopeAnalysis {
 public:
  // Makes both FFT plans and the window; VH_ERR_ALLOCATION when a plan fails.
  vh_status create();

  // Loudness and modulation spectrum of band b in every block: for block v,
  // loudness[v * 53 + b] and spectra[(v * 53 + b) * 257 + m]. Bands of zero
  // loudness keep their (zeroed) spectrum. band_signal holds the whole band
  // signal of the prepared signal (n + 16384 samples). A non-finite loudness
  // gives VH_ERR_NUMERICAL.
  vh_status analyse_band(const double* band_signal, std::uint64_t n, std::size_t b,
                         double* loudness, double* spectra);

  // Loudness and modulation spectrum (257 bins, zero for a silent block) of
  // the 16384-sample block of band b. A non-finite loudness gives
  // VH_ERR_NUMERICAL.
  vh_status analyse_block(const double* block, std::size_t b, double& loudness, double* spectrum);

 private:
  double block_loudness(const double* block, std::size_t b);
  void block_envelope();
  void modulation_spectrum(double loudness, double* spectrum);

  ComplexFft block_fft_;
  ComplexFft envelope_fft_;
  std::vector<std::complex<double>> block_;
  std::array<double, ECMA_ENVELOPE_LENGTH> window_{};
  std::array<std::complex<double>, ECMA_ENVELOPE_LENGTH> envelope_{};
};

}  // namespace varnholt
