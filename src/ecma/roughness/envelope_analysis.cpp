// Envelope analysis of a band signal: in each 16384-sample block the band's
// loudness and the power spectrum of its Hilbert envelope, decimated to
// 1500 Hz, scaled so that the spectrum of a band carries its loudness squared.
#include "ecma/roughness/envelope_analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/checks.h"
#include "ecma/band_loudness.h"
#include "ecma/band_scale.h"

namespace varnholt {
namespace {

constexpr std::size_t BLOCK = ECMA_ROUGHNESS_BLOCK_LENGTH;

}  // namespace

vh_status EnvelopeAnalysis::create() {
  if (RealFft::create(BLOCK, block_fft_) != FftStatus::ok) return VH_ERR_ALLOCATION;
  if (ComplexFft::create(ECMA_ENVELOPE_LENGTH, envelope_fft_) != FftStatus::ok) {
    return VH_ERR_ALLOCATION;
  }
  block_spectrum_.assign(block_fft_.bins(), std::complex<double>(0.0, 0.0));
  // Periodic Hann window of 512 points scaled to unit mean square, so the
  // window leaves the envelope's power unchanged on average.
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    const double angle = static_cast<double>(i) * 6.283185307179586 * 0.001953125;
    window_[i] = (0.5 - 0.5 * std::cos(angle)) / std::sqrt(0.375);
  }
  return VH_OK;
}

namespace {

// Energy of the positive half-waves of a block (half-wave rectification, as
// in the inner ear), summed in sample order.
double positive_energy(const double* block) noexcept {
  double sum = 0.0;
  for (std::size_t i = 0; i < BLOCK; ++i) {
    const double x = std::max(block[i], 0.0);
    sum += x * x;
  }
  return sum;
}

// The same for four blocks at once, two to a vector register: the four sums,
// each still in sample order, hide each other's addition latency without
// changing any rounding (max(x, 0) passes the positive half-wave as the test
// x > 0 does, and squares to the same zero otherwise).
constexpr std::size_t GROUP = 4;
void positive_energies(const double* const* blocks, double* energies) noexcept {
#if defined(__SSE2__)
  const double* const b0 = blocks[0];
  const double* const b1 = blocks[1];
  const double* const b2 = blocks[2];
  const double* const b3 = blocks[3];
  const __m128d zero = _mm_setzero_pd();
  __m128d s01 = zero;
  __m128d s23 = zero;
  for (std::size_t i = 0; i < BLOCK; ++i) {
    const __m128d x01 = _mm_max_pd(_mm_set_pd(b1[i], b0[i]), zero);
    const __m128d x23 = _mm_max_pd(_mm_set_pd(b3[i], b2[i]), zero);
    s01 = _mm_add_pd(s01, _mm_mul_pd(x01, x01));
    s23 = _mm_add_pd(s23, _mm_mul_pd(x23, x23));
  }
  _mm_storeu_pd(energies, s01);
  _mm_storeu_pd(energies + 2, s23);
#else
  for (std::size_t g = 0; g < GROUP; ++g) energies[g] = positive_energy(blocks[g]);
#endif
}

// Band loudness of the RMS pressure of a block whose positive half-waves hold
// `energy`: doubling it makes a symmetric signal give its plain RMS.
double loudness_of_energy(double energy, std::size_t b) {
  return ecma_band_loudness(std::sqrt(2.0 * energy / static_cast<double>(BLOCK)), b);
}

}  // namespace

// Envelope of the block: magnitude of the analytic signal (negative
// frequencies removed, positive ones doubled) at every 32nd sample, windowed.
// Sampling the inverse transform at every 32nd point is the same as folding
// the analytic spectrum Z onto 512 bins, Y[r] = sum of Z[r + 512 q], and
// transforming those back: so one real transform of the block and one
// 512-point inverse give exactly the samples the envelope needs.
void EnvelopeAnalysis::block_envelope(const double* block) {
  constexpr std::size_t FOLDS = BLOCK / 2 / ECMA_ENVELOPE_LENGTH;
  block_fft_.forward(block, block_spectrum_.data(), 1.0);
  std::complex<double>* const x = block_spectrum_.data();
  const std::complex<double> first_bin = x[0];
  // Pairwise sums over the 16 stretches of 512 bins, in place, for the least
  // rounding.
  for (std::size_t width = 1; width < FOLDS; width *= 2) {
    for (std::size_t q = 0; q < FOLDS; q += 2 * width) {
      std::complex<double>* const left = x + q * ECMA_ENVELOPE_LENGTH;
      const std::complex<double>* const right = left + width * ECMA_ENVELOPE_LENGTH;
      for (std::size_t r = 0; r < ECMA_ENVELOPE_LENGTH; ++r) left[r] += right[r];
    }
  }
  std::complex<double>* const y = envelope_.data();
  for (std::size_t r = 0; r < ECMA_ENVELOPE_LENGTH; ++r) y[r] = x[r];
  // Weights of the analytic spectrum: 2 for the positive frequencies, 1 for
  // the mean and for the Nyquist bin (which folds onto bin 0).
  for (std::size_t r = 0; r < ECMA_ENVELOPE_LENGTH; ++r) y[r] *= 2.0;
  y[0] += x[BLOCK / 2] - first_bin;
  envelope_fft_.backward(y, y, 1.0 / static_cast<double>(BLOCK));
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    y[i] = std::complex<double>(std::hypot(y[i].real(), y[i].imag()) * window_[i], 0.0);
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

vh_status EnvelopeAnalysis::block_spectrum(const double* block, std::size_t b, double energy,
                                           double& loudness, double* spectrum) {
  const double block_value = loudness_of_energy(energy, b);
  if (!is_finite_value(block_value)) return VH_ERR_NUMERICAL;
  loudness = block_value;
  if (block_value == 0.0) {
    std::fill(spectrum, spectrum + ECMA_MODULATION_BINS, 0.0);
    return VH_OK;
  }
  block_envelope(block);
  modulation_spectrum(block_value, spectrum);
  return VH_OK;
}

vh_status EnvelopeAnalysis::analyse_block(const double* block, std::size_t b, double& loudness,
                                          double* spectrum) {
  return block_spectrum(block, b, positive_energy(block), loudness, spectrum);
}

vh_status EnvelopeAnalysis::analyse_bands(const double* const* blocks, double* loudness,
                                          double* spectra) {
  std::array<double, ECMA_BAND_COUNT> energy{};
  std::size_t b = 0;
  for (; b + GROUP <= ECMA_BAND_COUNT; b += GROUP) positive_energies(blocks + b, &energy[b]);
  for (; b < ECMA_BAND_COUNT; ++b) energy[b] = positive_energy(blocks[b]);
  for (b = 0; b < ECMA_BAND_COUNT; ++b) {
    const vh_status s = block_spectrum(blocks[b], b, energy[b], loudness[b],
                                       spectra + b * ECMA_MODULATION_BINS);
    if (s != VH_OK) return s;
  }
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
