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
#include "ecma/roughness/half_wave_energy.h"

namespace varnholt {
namespace {

constexpr std::size_t BLOCK = ECMA_ROUGHNESS_BLOCK_LENGTH;

}  // namespace

vh_status EnvelopeAnalysis::create() {
  if (RealFft::create(BLOCK, block_fft_) != FftStatus::ok) return VH_ERR_ALLOCATION;
  if (ComplexFft::create(ECMA_ENVELOPE_LENGTH, analytic_fft_) != FftStatus::ok) {
    return VH_ERR_ALLOCATION;
  }
  if (RealFft::create(ECMA_ENVELOPE_LENGTH, modulation_fft_) != FftStatus::ok) {
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

// Band loudness of the RMS pressure of a block whose positive half-waves hold
// `energy`: doubling it makes a symmetric signal give its plain RMS.
double loudness_of_energy(double energy, std::size_t b) {
  return ecma_band_loudness(std::sqrt(2.0 * energy / static_cast<double>(BLOCK)), b);
}

// Folds 16 stretches of 512 bins (1024 doubles each, real and imaginary parts
// alike) onto the first: y[j] = sum over q of x[j + 1024 q], added as a
// balanced tree, whose rounding error grows with log2 16 = 4 additions rather
// than 15. Each sum is formed in registers, so the half spectrum is read once.
void fold_stretches(const double* x, double* y) noexcept {
  static_assert(BLOCK / 2 == 16 * ECMA_ENVELOPE_LENGTH, "the tree below adds 16 stretches");
  constexpr std::size_t STRIDE = 2 * ECMA_ENVELOPE_LENGTH;
  for (std::size_t j = 0; j < STRIDE; ++j) {
    const double* const v = x + j;
    const double a = (v[0] + v[STRIDE]) + (v[2 * STRIDE] + v[3 * STRIDE]);
    const double b = (v[4 * STRIDE] + v[5 * STRIDE]) + (v[6 * STRIDE] + v[7 * STRIDE]);
    const double c = (v[8 * STRIDE] + v[9 * STRIDE]) + (v[10 * STRIDE] + v[11 * STRIDE]);
    const double d = (v[12 * STRIDE] + v[13 * STRIDE]) + (v[14 * STRIDE] + v[15 * STRIDE]);
    y[j] = ((a + b) + (c + d)) * 2.0;
  }
}

// Windowed magnitudes of 512 complex values. The square root of the sum of
// squares is within an ulp of the correctly rounded magnitude. It cannot
// overflow here: an analytic-signal value is no larger than the largest bin of
// the block's spectrum, whose square stays below 1e116 for inputs within the
// overflow-free peak. Squares below the smallest normal double lose digits,
// an absolute error under 1e-300 in the envelope.
void windowed_magnitudes(const std::complex<double>* z, const double* window,
                         double* magnitude) noexcept {
  const double* const v = reinterpret_cast<const double*>(z);
#if defined(__SSE2__)
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; i += 2) {
    const __m128d first = _mm_loadu_pd(v + 2 * i);
    const __m128d second = _mm_loadu_pd(v + 2 * i + 2);
    const __m128d re = _mm_unpacklo_pd(first, second);
    const __m128d im = _mm_unpackhi_pd(first, second);
    const __m128d power = _mm_add_pd(_mm_mul_pd(re, re), _mm_mul_pd(im, im));
    _mm_storeu_pd(magnitude + i, _mm_mul_pd(_mm_sqrt_pd(power), _mm_loadu_pd(window + i)));
  }
#else
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    const double re = v[2 * i];
    const double im = v[2 * i + 1];
    magnitude[i] = std::sqrt(re * re + im * im) * window[i];
  }
#endif
}

}  // namespace

// Envelope of the block: magnitude of the analytic signal (negative
// frequencies removed, positive ones doubled) at every 32nd sample, windowed.
// Sampling the inverse transform at every 32nd point is the same as folding
// the analytic spectrum Z onto 512 bins, Y[r] = sum of Z[r + 512 q], and
// transforming those back: so one real transform of the block and one
// 512-point inverse give exactly the samples the envelope needs.
void EnvelopeAnalysis::block_envelope(const double* block) {
  block_fft_.forward(block, block_spectrum_.data(), 1.0);
  const std::complex<double>* const x = block_spectrum_.data();
  std::complex<double>* const y = analytic_.data();
  fold_stretches(reinterpret_cast<const double*>(x), reinterpret_cast<double*>(y));
  // Weights of the analytic spectrum: 2 for the positive frequencies (applied
  // in the fold), 1 for the mean and for the Nyquist bin (which folds onto
  // bin 0).
  y[0] += x[BLOCK / 2] - x[0];
  analytic_fft_.backward(y, y, 1.0 / static_cast<double>(BLOCK));
  windowed_magnitudes(y, window_.data(), envelope_.data());
}

// Power spectrum of the windowed envelope over bins 0 ... 256, scaled by
// loudness^2 / envelope energy: the spectrum then measures modulation
// relative to the band's mean envelope, in units of loudness squared. The
// envelope is real, so a real transform gives exactly these 257 bins.
void EnvelopeAnalysis::modulation_spectrum(double loudness, double* spectrum) {
  double energy = 0.0;
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) energy += envelope_[i] * envelope_[i];
  modulation_fft_.forward(envelope_.data(), modulation_.data(), 1.0);
  const double scale = energy > 0.0 ? loudness * loudness / energy : 0.0;
  for (std::size_t m = 0; m < ECMA_MODULATION_BINS; ++m) {
    const std::complex<double> x = modulation_[m];
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
  return block_spectrum(block, b, block_energy_of(block), loudness, spectrum);
}

vh_status EnvelopeAnalysis::analyse_bands(const double* const* blocks, const double* energies,
                                          double* loudness, double* spectra) {
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    const vh_status s = block_spectrum(blocks[b], b, energies[b], loudness[b],
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
