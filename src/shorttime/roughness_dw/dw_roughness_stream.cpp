// Roughness after Daniel and Weber frame by frame (spectrum, excitation,
// channel modulation and summation), and its two exports over the stream.
#include "shorttime/roughness_dw/dw_roughness_stream.h"

#include <complex>
#include <new>
#include <vector>

#include "core/boundary.h"
#include "core/checks.h"
#include "core/fft.h"
#include "core/physical_constants.h"
#include "shorttime/roughness_dw/dw_channel_modulation.h"
#include "shorttime/roughness_dw/dw_excitation.h"
#include "shorttime/roughness_dw/dw_modulation_weights.h"
#include "shorttime/roughness_dw/dw_summation.h"

namespace varnholt {

namespace {

constexpr int FRAME_LENGTH = static_cast<int>(DW_FRAME_LENGTH);

// Frames reserved for the ready queue; a caller draining after every hop
// needs one.
constexpr std::size_t RESERVED_FRAMES = 16;

ComplexFft frame_transform() {
  ComplexFft fft;
  if (ComplexFft::create(DW_FRAME_LENGTH, fft) != FftStatus::ok) throw std::bad_alloc();
  return fft;
}

RealFft channel_transform() {
  RealFft fft;
  if (RealFft::create(DW_FRAME_LENGTH, fft) != FftStatus::ok) throw std::bad_alloc();
  return fft;
}

}  // namespace

// Everything the frames need, made before the first one.
struct DwRoughnessStream::Analysis {
  DwSpectrumTables tables = make_spectrum_tables(FRAME_LENGTH, SAMPLE_RATE_HZ);
  std::vector<double> channel_weight = channel_weights();
  std::vector<double> modulation_weights = modulation_weight_rows(FRAME_LENGTH, SAMPLE_RATE_HZ);
  ComplexFft frame_fft = frame_transform();
  RealFft channel_fft = channel_transform();
  std::vector<std::complex<double>> frame_spectrum =
      std::vector<std::complex<double>>(DW_FRAME_LENGTH);
  DwFrameExcitation frame{tables};
  DwChannelWork channels{FRAME_LENGTH};
  DwCorrelations correlations{};

  // Roughness in asper of one frame of 9600 samples; VH_ERR_NUMERICAL when a
  // stage leaves the finite range or the value is negative.
  vh_status roughness(std::span<const double> samples, double* roughness_asper) {
    windowed_spectrum(samples.data(), tables, frame_fft, frame_spectrum.data());
    if (!find_audible_components(frame_spectrum.data(), tables, frame)) return VH_ERR_NUMERICAL;
    spread_excitation(tables, frame);
    if (!analyse_channels(tables, frame, modulation_weights, channel_fft, channels)) {
      return VH_ERR_NUMERICAL;
    }
    if (!envelope_correlations(channels, tables.n, correlations)) return VH_ERR_NUMERICAL;
    double r = 0.0;
    if (!sum_roughness(channels, correlations, channel_weight, &r)) return VH_ERR_NUMERICAL;
    if (!is_finite_value(r) || r < 0.0) return VH_ERR_NUMERICAL;
    *roughness_asper = r;
    return VH_OK;
  }
};

DwRoughnessStream::DwRoughnessStream(vh_sound_field /*field*/)
    : analysis_(std::make_unique<Analysis>()),
      samples_(DW_FRAME_LENGTH, DW_HOP),
      frames_(values_per_frame, RESERVED_FRAMES) {}

DwRoughnessStream::DwRoughnessStream(DwRoughnessStream&&) noexcept = default;
DwRoughnessStream& DwRoughnessStream::operator=(DwRoughnessStream&&) noexcept = default;
DwRoughnessStream::~DwRoughnessStream() = default;

vh_status DwRoughnessStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  status_ = samples_.push(samples, [this](std::span<const double> frame) {
    double roughness = 0.0;
    const vh_status status = analysis_->roughness(frame, &roughness);
    if (status == VH_OK) frames_.append()[0] = roughness;
    return status;
  });
  return status_;
}

vh_status DwRoughnessStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  if (samples_.count() < DW_FRAME_LENGTH) status_ = VH_ERR_INPUT_TOO_SHORT;
  return status_;
}

}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_roughness_dw(const double* samples, size_t count,
                                               int32_t sample_rate, double* roughness,
                                               size_t roughness_len, size_t* frames) {
  return varnholt::guarded_call([&] {
    return varnholt::short_time_metric_front<varnholt::DwRoughnessStream>(
        samples, count, sample_rate, VH_SOUND_FIELD_FREE, roughness, roughness_len, frames);
  });
}

extern "C" VH_EXPORT vh_status vh_roughness_frame_count(size_t count, int32_t sample_rate,
                                                        size_t* frames) {
  return varnholt::guarded_call([&] {
    return varnholt::short_time_frame_count(count, sample_rate,
                                            varnholt::DwRoughnessStream::framing, frames);
  });
}
