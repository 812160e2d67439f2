// Envelope analysis of a band signal: in each 16384-sample block the band's
// loudness and the power spectrum of its Hilbert envelope, decimated to
// 1500 Hz, scaled so that the spectrum of a band carries its loudness squared.
#include "ecma/roughness/envelope_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/checks.h"
#include "ecma/band_loudness.h"
#include "ecma/band_scale.h"

namespace varnholt {
namespace {

constexpr std::size_t BLOCK = ECMA_ROUGHNESS_BLOCK_LENGTH;

}  // namespace

vh_status EnvelopeAnalysis::create() {
  if (ComplexFft::create(BLOCK, block_fft_) != FftStatus::ok) return VH_ERR_ALLOCATION;
  if (ComplexFft::create(ECMA_ENVELOPE_LENGTH, envelope_fft_) != FftStatus::ok) {
    return VH_ERR_ALLOCATION;
  }
  block_.assign(BLOCK, std::complex<double>(0.0, 0.0));
  // Periodic Hann window of 512 points scaled to unit mean square, so the
  // window leaves the envelope's power unchanged on average.
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    const double angle = static_cast<double>(i) * 6.283185307179586 * 0.001953125;
    window_[i] = (0.5 - 0.5 * std::cos(angle)) / std::sqrt(0.375);
  }
  return VH_OK;
}

// Copies the block into the complex scratch and returns the band loudness of
// its RMS pressure, taken from the positive half-waves only (half-wave
// rectification, as in the inner ear) with their energy doubled, so that a
// symmetric signal gives its plain RMS.
double EnvelopeAnalysis::block_loudness(const double* block, std::size_t b) {
  double energy = 0.0;
  for (std::size_t i = 0; i < BLOCK; ++i) {
    const double x = block[i];
    block_[i] = std::complex<double>(x, 0.0);
    if (x > 0.0) energy += x * x;
  }
  return ecma_band_loudness(std::sqrt(2.0 * energy / static_cast<double>(BLOCK)), b);
}

// Envelope of the block: magnitude of the analytic signal (negative
// frequencies removed, positive ones doubled) at every 32nd sample, windowed.
void EnvelopeAnalysis::block_envelope() {
  block_fft_.forward(block_.data(), block_.data(), 1.0);
  for (std::size_t k = 1; k < BLOCK / 2; ++k) block_[k] *= 2.0;
  for (std::size_t k = BLOCK / 2 + 1; k < BLOCK; ++k) block_[k] = std::complex<double>(0.0, 0.0);
  block_fft_.backward(block_.data(), block_.data(), 1.0 / static_cast<double>(BLOCK));
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    const std::complex<double> z = block_[i * ECMA_ENVELOPE_DECIMATION];
    envelope_[i] = std::complex<double>(std::hypot(z.real(), z.imag()) * window_[i], 0.0);
  }
}

// Power spectrum of the windowed envelope over bins 0 ... 256, scaled by
// loudness^2 / envelope energy: the spectrum then measures modulation
// relative to the band's mean envelope, in units of loudness squared.
void EnvelopeAnalysis::modulation_spectrum(double loudness, double* spectrum) {
  double energy = 0.0;
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    energy += envelope_[i].real() * envelope_[i].real();
  }
  envelope_fft_.forward(envelope_.data(), envelope_.data(), 1.0);
  const double scale = energy > 0.0 ? loudness * loudness / energy : 0.0;
  for (std::size_t m = 0; m < ECMA_MODULATION_BINS; ++m) {
    const std::complex<double> x = envelope_[m];
    spectrum[m] = (x.real() * x.real() + x.imag() * x.imag()) * scale;
  }
}

vh_status EnvelopeAnalysis::analyse_block(const double* block, std::size_t b, double& loudness,
                                          double* spectrum) {
  const double block_value = block_loudness(block, b);
  if (!is_finite_value(block_value)) return VH_ERR_NUMERICAL;
  loudness = block_value;
  if (block_value == 0.0) {
    std::fill(spectrum, spectrum + ECMA_MODULATION_BINS, 0.0);
    return VH_OK;
  }
  block_envelope();
  modulation_spectrum(block_value, spectrum);
  return VH_OK;
}

vh_status EnvelopeAnalysis::analyse_band(const double* band_signal, std::uint64_t n, std::size_t b,
                                         double* loudness, double* spectra) {
  const std::uint64_t blocks = ecma_roughness_block_total(n);
  for (std::uint64_t v = 0; v < blocks; ++v) {
    const std::uint64_t slot = v * ECMA_BAND_COUNT + b;
    const vh_status status =
        analyse_block(band_signal + ecma_roughness_block_start(v, blocks, n), b, loudness[slot],
                      spectra + slot * ECMA_MODULATION_BINS);
    if (status != VH_OK) return status;
  }
  return VH_OK;
}

}  // namespace varnholt
