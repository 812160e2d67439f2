// Results of each metric assembled from the arrays the library fills: frame
// times, single values with their definitions, series and per-band arrays.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "results.h"
#include "varnholt.h"

namespace varnholt::analysis {

inline constexpr std::size_t ECMA_BANDS = VH_ECMA_BAND_COUNT;
inline constexpr std::size_t ECMA_TONAL_PLANES = VH_ECMA_TONAL_PLANES;
inline constexpr std::size_t THIRD_OCTAVE_BANDS = VH_THIRD_OCTAVE_COUNT;
// The ECMA-418-2 tonality and loudness summaries leave out the settling of
// the hearing model's smoothing at the start of the signal.
inline constexpr double ECMA_SETTLING_S = 0.3;

// A metric the library refused: the library's status text, with the
// minimum duration when the signal was too short.
MetricResult failed_metric(Metric metric, std::int32_t status);

MetricResult loudness_result(double loudness_sone, std::vector<double> specific);
// Sharpness is a loudness-weighted centroid: it has no value (NaN) where
// nothing is audible (a total loudness of 0 sone).
MetricResult sharpness_result(double sharpness_acum, double loudness_sone);
// `specific`: frames rows of 240 values, or none when the pattern is not kept.
MetricResult loudness_time_result(std::vector<double> loudness, std::vector<double> specific,
                                  std::size_t frames);
// The same with the pattern collected frame by frame (in memory, spooled or
// reduced for display).
MetricResult loudness_time_result(std::vector<double> loudness, BandRows specific,
                                  std::size_t frames);
MetricResult roughness_result(std::vector<double> roughness);
MetricResult tonality_result(std::vector<double> tonality);
// The ECMA-418-2 tonality frame by frame: the series its summaries need,
// and the five per-band planes only when an output asks for them.
class EcmaTonalFrames {
 public:
  // `keeping`: how the planes are kept (when they are), and the frames to
  // expect, for which the series are set aside too.
  EcmaTonalFrames(bool keep_bands, BandKeeping keeping = {});
  // One frame of 5 * 53 values: plane s, band b at 53 s + b.
  void add(const double* frame);
  // T(t), its tonal frequency and N(t) of the frame added last.
  std::array<double, 3> last() const {
    return {tonality_.back(), frequency_.back(), loudness_.back()};
  }
  MetricResult result() &&;

 private:
  bool keep_bands_;
  std::vector<double> tonality_, frequency_, loudness_;
  std::vector<BandRows> planes_;
};

// The ECMA-418-2 roughness frame by frame, the specific roughness only when
// an output asks for it.
class EcmaRoughnessFrames {
 public:
  EcmaRoughnessFrames(bool keep_bands, BandKeeping keeping = {})
      : keep_bands_(keep_bands), specific_(keeping) {
    reserve_if_possible(roughness_, keeping.expected_frames);
  }
  // One frame of 53 specific roughness values.
  void add(const double* frame);
  // R(t) of the frame added last.
  double last() const { return roughness_.back(); }
  MetricResult result() &&;

 private:
  bool keep_bands_;
  std::vector<double> roughness_;
  BandRows specific_;
};

// `planes`: the five planes of 53 * frames values each, as the library writes them.
MetricResult ecma_tonality_result(const std::vector<double>& planes, std::size_t frames);
// `specific`: frames rows of 53 values.
MetricResult ecma_roughness_result(std::vector<double> specific, std::size_t frames);

// `levels`: the VH_SOUND_LEVEL_COUNT sound levels; `bands`: the 28
// third-octave band levels, or none for a signal shorter than 256 samples.
MetricResult levels_result(const std::vector<double>& levels, std::vector<double> bands);

std::string method_of(Metric metric);

// A signal whose every sample is 0 has no level: 10 lg of a zero mean square
// is minus infinity, and the library's floor (-26.02 dB) is no measurement.
// Its levels and band levels become missing values (NaN), and the channel
// says so in a warning, so that silence never enters an average unmarked.
void mark_digital_silence(ChannelResult& channel);

// Key and unit of every single value a metric can give, in the order of its
// summaries: the columns of the summary table.
struct SummaryColumn {
  std::string key;
  std::string unit;
};
std::vector<SummaryColumn> summary_columns(Metric metric);

// Key and unit of every value per frame of a time-resolved metric, in the
// order of its series (the values its stream's listener is told); none for
// a metric without frames.
std::vector<SummaryColumn> frame_columns(Metric metric);

}  // namespace varnholt::analysis
