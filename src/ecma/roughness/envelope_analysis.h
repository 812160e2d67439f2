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

  // The same for one block of every band at once: blocks[b] is the block of
  // band b and energies[b] its positive half-wave energy (block_energy_of),
  // its results go to loudness[b] and spectra[b * 257 ...]. The first failing
  // band's status is returned.
  vh_status analyse_bands(const double* const* blocks, const double* energies, double* loudness,
                          double* spectra);

  // Windowed envelope of a 16384-sample block (512 values): the magnitude of
  // its analytic signal at every 32nd sample.
  const std::array<double, ECMA_ENVELOPE_LENGTH>& envelope_of(const double* block) {
    block_envelope(block);
    return envelope_;
  }

 private:
  vh_status block_spectrum(const double* block, std::size_t b, double energy, double& loudness,
                           double* spectrum);
  void block_envelope(const double* block);
  void modulation_spectrum(double loudness, double* spectrum);

  RealFft block_fft_;
  ComplexFft analytic_fft_;
  RealFft modulation_fft_;
  std::vector<std::complex<double>> block_spectrum_;
  std::array<std::complex<double>, ECMA_ENVELOPE_LENGTH> analytic_{};
  std::array<double, ECMA_ENVELOPE_LENGTH> window_{};
  std::array<double, ECMA_ENVELOPE_LENGTH> envelope_{};
  std::array<std::complex<double>, ECMA_MODULATION_BINS> modulation_{};
};

}  // namespace varnholt
