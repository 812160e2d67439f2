// Tonality after Aures frame by frame (spectrum, tonal components, residual
// without them, loudness ratio and weighting), and its two exports over the
// stream.
#include "shorttime/tonality_aures/aures_tonality_stream.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

#include "core/boundary.h"
#include "core/checks.h"
#include "core/fft.h"
#include "core/physical_constants.h"
#include "loudness/stationary_loudness.h"
#include "shorttime/tonality_aures/aures_analysis.h"
#include "shorttime/tonality_aures/aures_bands.h"
#include "shorttime/tonality_aures/aures_components.h"
#include "shorttime/tonality_aures/aures_peaks.h"
#include "shorttime/tonality_aures/aures_residual.h"
#include "shorttime/tonality_aures/aures_weighting.h"

namespace varnholt {
namespace {

using Complex = std::complex<double>;

// The third-octave filters settle over the first 12.5 ms of each block; their
// outputs there are left out of the block's levels.
constexpr double FILTER_SETTLING_S = 0.0125;

std::size_t to_size(int n) { return static_cast<std::size_t>(n); }

// Everything the frames need, made once and reused for every frame.
struct AuresWorkspace {
  AuresWorkspace(const AuresAnalysis& c, double sample_rate)
      : constants(c),
        fs(sample_rate),
        window(to_size(c.frame_length)),
        spectrum(to_size(c.frame_length)),
        residual_spectrum(to_size(c.frame_length)),
        levels(to_size(c.frame_length)),
        windowed(to_size(c.frame_length)),
        residual(to_size(c.frame_length)),
        bin_rates(to_size(c.bin_count)),
        component_rates(to_size(c.bin_count)),
        components(c.bin_count),
        rows(c.frame_length / 2 + 1, c.bin_spacing),
        bands(to_size(AURES_MAX_BANDS)) {
    hann_window(c.frame_length, window.data());
    sums = aures_window_sums(window.data(), c.frame_length);
    aures_analysis_bin_rates(c.first_bin, c.bin_count, fs, c.frame_length, bin_rates.data());
  }

  AuresAnalysis constants;
  double fs;
  WindowSums sums{};
  std::vector<double> window;
  std::vector<Complex> spectrum;           // A: scaled spectrum of the windowed frame
  std::vector<Complex> residual_spectrum;  // B: unscaled spectrum, components removed
  std::vector<double> levels;              // L: level spectrum, later residual levels
  std::vector<double> windowed;            // xw
  std::vector<double> residual;            // r
  std::vector<double> bin_rates;           // critical-band rate of every analysis bin
  std::vector<double> component_rates;
  TonalComponentTable components;
  BandSearchRows rows;
  std::vector<TonalBand> bands;
};

// Adds the accepted bands to the component table: level corrected for the
// window's noise bandwidth, width still including the window's own.
bool append_bands(AuresWorkspace& ws, int band_count) noexcept {
  const double band_level_correction = 10.0 * std::log10(ws.sums.noise_bandwidth);
  for (int b = 0; b < band_count; ++b) {
    const TonalBand& band = ws.bands[to_size(b)];
    TonalComponent c{};
    c.frequency = band.centre;
    c.bandwidth = band.width;
    c.level = band.level - band_level_correction;
    c.window_bandwidth = 2.667 * ws.constants.bin_spacing;
    c.bin = -1;
    if (!ws.components.append(c)) return false;
  }
  return true;
}

// Whether the upward -3 dB search of any peak (bins[0..count-1]) runs past
// bin n/2: it stops at the first bin more than 3 dB below the peak, and only
// when none up to n/2 is does it read the mirrored levels above. A peak stands
// 7 dB above the bin 25 Hz higher, so in practice the search ends there and
// this check only guards the levels that were left out.
bool searches_pass_nyquist(const double* levels, int half, const int* bins, int count) noexcept {
  for (int c = 0; c < count; ++c) {
    const double threshold = levels[bins[c]] - 3.0;
    const double* first = levels + bins[c] + 1;
    const double* end = levels + half + 1;
    if (std::find_if(first, end, [=](double l) { return l < threshold; }) == end) return true;
  }
  return false;
}

// Tonality of the frame starting at `frame` (N samples) into *tonality;
// VH_ERR_NUMERICAL when a stage leaves the finite range or the loudness model
// refuses the frame's levels.
vh_status frame_tonality(AuresWorkspace& ws, ComplexFft& fft, const double* frame,
                         vh_sound_field sound_field, double* tonality) noexcept {
  const AuresAnalysis& c = ws.constants;
  const int n = c.frame_length;
  const int half = n / 2;
  const double a = ws.sums.amplitude_scale;
  double* xw = ws.windowed.data();
  const double* w = ws.window.data();
  Complex* spectrum = ws.spectrum.data();
  Complex* residual_spectrum = ws.residual_spectrum.data();
  double* levels = ws.levels.data();

  for (int k = 0; k < n; ++k) xw[k] = frame[k] * w[k];
  for (int k = 0; k < n; ++k) spectrum[k] = Complex(a * xw[k], 0.0);
  fft.forward(spectrum, spectrum, 1.0);
  if (!aures_level_spectrum(spectrum, n, half + 1, levels)) return VH_ERR_NUMERICAL;

  TonalBand* bands = ws.bands.data();
  const int band_count = aures_find_bands(levels, half + 1, c.bin_spacing, ws.rows, bands);
  if (band_count < 0) return VH_ERR_NUMERICAL;

  TonalComponentTable& table = ws.components;
  table.clear();
  const int peak_count = aures_find_peaks(levels, n, c.first_bin, c.bin_count, c.near_distance,
                                          c.far_distance, bands, band_count, ws.fs, table);
  if (peak_count > 0) {
    if (searches_pass_nyquist(levels, half, table.bins(), peak_count)) {
      aures_bin_levels(spectrum, half + 1, n, levels);
    }
    if (aures_peak_bandwidth(levels, n, ws.fs, table, peak_count) != 0) return VH_ERR_NUMERICAL;
  }
  if (peak_count == 0 && band_count == 0) {
    *tonality = 0.0;
    return VH_OK;
  }

  for (int k = 0; k < n; ++k) residual_spectrum[k] = Complex(xw[k], 0.0);
  fft.forward(residual_spectrum, residual_spectrum, 1.0);

  // Peaks: the window widens a line to 1.43 bins; at least four bins go.
  for (int i = 0; i < peak_count; ++i) {
    table.window_bandwidths()[i] = 1.43 * c.bin_spacing;
    table.removal_widths()[i] = std::max(table.bandwidths()[i], 4.0 * c.bin_spacing);
  }
  aures_flatten_peaks(residual_spectrum, n, ws.fs, table.frequencies(), table.removal_widths(),
                      peak_count);
  aures_replace_bands(residual_spectrum, bands, band_count, a);
  if (!append_bands(ws, band_count)) return VH_ERR_NUMERICAL;

  table.sort_by_frequency();
  const int count = table.size();
  aures_own_bins(ws.bin_rates.data(), c.bin_count, table.frequencies(), count, table.own_bins());

  if (!aures_residual_levels(residual_spectrum, n, a, c.first_bin, c.last_bin + 1, levels)) {
    return VH_ERR_NUMERICAL;
  }
  hermitian_completion(residual_spectrum, n);
  // Only the real parts are kept, so only they are scaled by 1/N.
  fft.backward(residual_spectrum, residual_spectrum, 1.0);
  const double inverse_n = 1.0 / static_cast<double>(n);
  double* r = ws.residual.data();
  for (int k = 0; k < n; ++k) r[k] = residual_spectrum[k].real() * inverse_n;

  const auto block = static_cast<std::uint64_t>(n);
  const auto settle = static_cast<std::uint64_t>(std::floor(FILTER_SETTLING_S * ws.fs));
  double loudness = 0.0;
  double residual_loudness = 0.0;
  if (block_loudness(std::span<const double>(xw, block), settle, sound_field, &loudness) !=
          VH_OK ||
      block_loudness(std::span<const double>(r, block), settle, sound_field, &residual_loudness) !=
          VH_OK) {
    return VH_ERR_NUMERICAL;
  }
  double loudness_weight = 0.0;
  if (loudness > 1e-99) {
    const double ratio = residual_loudness / loudness;
    if (!is_finite_value(ratio)) return VH_ERR_NUMERICAL;
    loudness_weight = std::fmax(0.0, 1.0 - ratio);
  }

  if (aures_excess_levels(levels + c.first_bin, c.bin_count, ws.bin_rates.data(),
                          table.frequencies(), table.levels(), table.own_bins(), count,
                          ws.component_rates.data(), table.excess_levels()) != 0) {
    return VH_ERR_NUMERICAL;
  }
  const double tonal_weight = aures_tonal_weight(table.frequencies(), table.bandwidths(),
                                                 table.excess_levels(),
                                                 table.window_bandwidths(), count);
  const double t = 1.1055 * std::pow(tonal_weight, 0.29) * std::pow(loudness_weight, 0.79);
  if (!is_finite_value(t) || t < 0.0) return VH_ERR_NUMERICAL;
  *tonality = t;
  return VH_OK;
}

ComplexFft frame_transform(std::size_t n) {
  ComplexFft fft;
  if (ComplexFft::create(n, fft) != FftStatus::ok) throw std::bad_alloc();
  return fft;
}

// Frames reserved for the ready queue; a caller draining after every hop
// needs one.
constexpr std::size_t RESERVED_FRAMES = 16;

}  // namespace

struct AuresTonalityStream::Workspace {
  explicit Workspace(vh_sound_field field)
      : sound_field(field),
        constants(aures_analysis_constants(SAMPLE_RATE_HZ)),
        fft(frame_transform(static_cast<std::size_t>(constants.frame_length))),
        frames(constants, SAMPLE_RATE_HZ) {}

  vh_sound_field sound_field;
  AuresAnalysis constants;
  ComplexFft fft;
  AuresWorkspace frames;
};

AuresTonalityStream::AuresTonalityStream(vh_sound_field field)
    : workspace_(std::make_unique<Workspace>(field)),
      samples_(AURES_FRAME_LENGTH, AURES_HOP),
      frames_(values_per_frame, RESERVED_FRAMES) {}

AuresTonalityStream::AuresTonalityStream(AuresTonalityStream&&) noexcept = default;
AuresTonalityStream& AuresTonalityStream::operator=(AuresTonalityStream&&) noexcept = default;
AuresTonalityStream::~AuresTonalityStream() = default;

vh_status AuresTonalityStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  status_ = samples_.push(samples, [this](std::span<const double> frame) {
    Workspace& w = *workspace_;
    double tonality = 0.0;
    const vh_status status = frame_tonality(w.frames, w.fft, frame.data(), w.sound_field, &tonality);
    if (status == VH_OK) frames_.append()[0] = tonality;
    return status;
  });
  return status_;
}

vh_status AuresTonalityStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  if (samples_.count() < AURES_FRAME_LENGTH) status_ = VH_ERR_INPUT_TOO_SHORT;
  return status_;
}

}  // namespace varnholt

static_assert(std::is_same_v<std::size_t, std::uint64_t>,
              "the exports pass size_t counts straight to the 64-bit front");

extern "C" VH_EXPORT vh_status vh_tonality_aures(const double* samples, size_t count,
                                                 int32_t sample_rate, vh_sound_field sound_field,
                                                 double* tonality, size_t tonality_len,
                                                 size_t* frames) {
  return varnholt::guarded_call([&]() -> vh_status {
    return varnholt::short_time_metric_front<varnholt::AuresTonalityStream>(
        samples, count, sample_rate, sound_field, tonality, tonality_len, frames);
  });
}

extern "C" VH_EXPORT vh_status vh_tonality_frame_count(size_t count, int32_t sample_rate,
                                                       size_t* frames) {
  return varnholt::guarded_call([&]() -> vh_status {
    return varnholt::short_time_frame_count(count, sample_rate,
                                            varnholt::AuresTonalityStream::framing, frames);
  });
}
