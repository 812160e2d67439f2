// Single values of every metric and their definitions, from the library's
// raw outputs. Frame times follow each metric's framing at 48 kHz.
#include "metric_results.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "loudness_level.h"
#include "statistics.h"
#include "varnholt.h"

namespace varnholt::analysis {
namespace {

constexpr double RATE_HZ = VH_SAMPLE_RATE;
constexpr std::size_t SPECIFIC_LOUDNESS_BANDS = VH_BARK_COUNT;

constexpr const char* PERCENTILE_RULE =
    "percentiles interpolate linearly between the sorted frame values at rank p/100 * (n - 1)";

// The exceedance levels reported for every time-varying metric: X5 is the
// value exceeded in 5 % of the frames, ..., X95 the one exceeded in 95 %.
constexpr double EXCEEDANCE_PERCENTS[] = {5.0, 10.0, 50.0, 90.0, 95.0};

std::vector<Summary> exceedance_levels(std::span<const double> values, const std::string& symbol,
                                       const std::string& key, const std::string& unit,
                                       const std::string& prefix) {
  std::vector<Summary> out;
  for (double x : EXCEEDANCE_PERCENTS) {
    const std::string n = std::to_string(static_cast<int>(x));
    out.push_back({symbol + n, key + n, percent_exceeded(values, x), unit,
                   prefix + "value exceeded in " + n + " % of the frames: the " +
                       std::to_string(100 - static_cast<int>(x)) + "th percentile; " +
                       PERCENTILE_RULE});
  }
  return out;
}

BandArray bark_pattern(std::string key, std::vector<double> values) {
  const double* axis = vh_bark_axis();
  return BandArray{std::move(key),
                   "sone/Bark",
                   "bark",
                   "Bark",
                   std::vector<double>(axis, axis + SPECIFIC_LOUDNESS_BANDS),
                   SPECIFIC_LOUDNESS_BANDS,
                   std::move(values),
                   nullptr,
                   1,
                   {}};
}

std::vector<double> ecma_band_axis() {
  std::vector<double> axis(ECMA_BANDS);
  for (std::size_t b = 0; b < ECMA_BANDS; ++b) axis[b] = 0.5 * static_cast<double>(b + 1);
  return axis;
}

BandArray ecma_bands(std::string key, std::string unit, BandRows values) {
  BandArray a{std::move(key), std::move(unit), "band", "Bark_HMS", ecma_band_axis(),
              ECMA_BANDS,     {},              nullptr, 1,          {}};
  a.keep(std::move(values));
  return a;
}

std::vector<double> frame_times(std::size_t frames, double first_s, double hop_s) {
  std::vector<double> t(frames);
  for (std::size_t f = 0; f < frames; ++f) t[f] = first_s + static_cast<double>(f) * hop_s;
  return t;
}

// A row reduced for display stands at the mean time of the frames it took.
void time_reduced_rows(MetricResult& r) {
  const std::vector<double>& t = r.frame_times_s;
  for (BandArray& a : r.band_arrays) {
    if (a.frames_per_row <= 1) continue;
    a.row_times_s.resize(a.rows());
    for (std::size_t row = 0; row < a.row_times_s.size(); ++row) {
      const std::size_t first = row * a.frames_per_row;
      const std::size_t last = std::min(first + a.frames_per_row, t.size()) - 1;
      a.row_times_s[row] = 0.5 * (t[first] + t[last]);
    }
  }
}

// Shortest signal each metric accepts, in samples at 48 kHz.
std::size_t minimum_samples(Metric metric) {
  switch (metric) {
    case Metric::loudness:
    case Metric::sharpness:
      return 256;
    case Metric::loudness_time:
      return 1;
    case Metric::roughness:
      return VH_ROUGHNESS_DW_FRAME;
    case Metric::tonality:
      return VH_TONALITY_AURES_FRAME;
    case Metric::ecma_tonality:
      return VH_ECMA_TONAL_MIN_COUNT;
    case Metric::ecma_roughness:
      return VH_ECMA_ROUGHNESS_MIN_COUNT;
    case Metric::levels:
      return 1;
  }
  return 1;
}

// The hearing model's tonal-frequency plane holds a number in every band,
// also where the band has no tonal component (0 Hz, or the frequency of a
// periodicity too weak to count); such a number means nothing. This is the
// one rule for missing values: no tonal frequency without a tonal component.
double tonal_frequency_or_none(double specific_tonality, double frequency_hz) {
  return specific_tonality > 0.0 && frequency_hz > 0.0 ? frequency_hz
                                                        : std::numeric_limits<double>::quiet_NaN();
}

MetricResult frame_metric(Metric metric, std::vector<double> values, std::size_t frame_length,
                          std::size_t hop, const std::string& symbol, const std::string& key,
                          const std::string& exceedance_key, const std::string& unit) {
  MetricResult r;
  r.metric = metric;
  r.method = method_of(metric);
  r.frame_time_definition = "centre of each " + std::to_string(frame_length * 1000 / VH_SAMPLE_RATE) +
                            " ms frame; frames " + std::to_string(hop * 1000 / VH_SAMPLE_RATE) + " ms apart";
  r.frame_times_s = frame_times(values.size(), 0.5 * static_cast<double>(frame_length) / RATE_HZ,
                                static_cast<double>(hop) / RATE_HZ);
  r.summaries = {
      {symbol + "_mean", key + "_mean", mean(values), unit, "mean over all frames"},
      {symbol + "_max", key + "_max", maximum(values), unit, "largest frame value"},
  };
  const std::vector<Summary> exceeded = exceedance_levels(values, symbol, exceedance_key, unit, "");
  r.summaries.insert(r.summaries.end(), exceeded.begin(), exceeded.end());
  r.series.push_back(Series{key, unit, "one value per frame", std::move(values)});
  return r;
}

}  // namespace

std::string method_of(Metric metric) {
  switch (metric) {
    case Metric::loudness:
      return "ISO 532-1 (Zwicker method), stationary";
    case Metric::loudness_time:
      return "ISO 532-1 (Zwicker method), time-varying";
    case Metric::sharpness:
      return "DIN 45692, from the stationary specific loudness";
    case Metric::roughness:
      return "Daniel and Weber";
    case Metric::tonality:
      return "Aures";
    case Metric::ecma_tonality:
      return "ECMA-418-2 hearing model: tonality and loudness";
    case Metric::ecma_roughness:
      return "ECMA-418-2 hearing model: roughness";
    case Metric::levels:
      return "IEC 61672-1 sound levels (A, C, Z frequency weighting; F, S time weighting), "
             "third-octave band levels";
  }
  return "";
}

std::vector<SummaryColumn> summary_columns(Metric metric) {
  const auto with_exceedance = [](std::vector<SummaryColumn> columns, const std::string& key,
                                  const std::string& unit) {
    for (double x : EXCEEDANCE_PERCENTS) {
      columns.push_back({key + std::to_string(static_cast<int>(x)), unit});
    }
    return columns;
  };
  switch (metric) {
    case Metric::loudness:
      return {{"loudness", "sone"}, {"loudness_level", "phon"}};
    case Metric::loudness_time:
      return with_exceedance({{"loudness_max", "sone"}, {"loudness_mean", "sone"}}, "n", "sone");
    case Metric::sharpness:
      return {{"sharpness", "acum"}};
    case Metric::roughness:
      return with_exceedance({{"roughness_mean", "asper"}, {"roughness_max", "asper"}}, "r",
                             "asper");
    case Metric::tonality:
      return with_exceedance({{"tonality_mean", ""}, {"tonality_max", ""}}, "k", "");
    case Metric::ecma_tonality:
      return with_exceedance({{"tonality_mean", "tu_HMS"},
                              {"tonality_max", "tu_HMS"},
                              {"tonal_frequency_at_max", "Hz"},
                              {"loudness_mean", "sone_HMS"},
                              {"loudness_max", "sone_HMS"}},
                             "t", "tu_HMS");
    case Metric::ecma_roughness:
      return with_exceedance({{"roughness_p90", "asper_HMS"},
                              {"roughness_max", "asper_HMS"},
                              {"roughness_mean", "asper_HMS"}},
                             "r", "asper_HMS");
    case Metric::levels:
      return {{"laeq", "dB"},   {"lceq", "dB"},   {"lzeq", "dB"},
              {"lafmax", "dB"}, {"lasmax", "dB"}, {"lcpeak", "dB"}};
  }
  return {};
}

std::vector<SummaryColumn> frame_columns(Metric metric) {
  switch (metric) {
    case Metric::loudness_time:
      return {{"loudness", "sone"}};
    case Metric::roughness:
      return {{"roughness", "asper"}};
    case Metric::tonality:
      return {{"tonality", ""}};
    case Metric::ecma_tonality:
      return {{"tonality", "tu_HMS"}, {"tonal_frequency", "Hz"}, {"loudness", "sone_HMS"}};
    case Metric::ecma_roughness:
      return {{"roughness", "asper_HMS"}};
    default:
      return {};
  }
}

MetricResult levels_result(const std::vector<double>& levels, std::vector<double> bands) {
  MetricResult r;
  r.metric = Metric::levels;
  r.method = method_of(r.metric);
  const std::string re = " re 20 uPa";
  r.summaries = {
      {"LAeq", "laeq", levels[VH_LEVEL_LAEQ], "dB",
       "A-weighted equivalent continuous level: 10 lg of the mean square of the A-weighted "
       "pressure over the analysed signal," +
           re},
      {"LCeq", "lceq", levels[VH_LEVEL_LCEQ], "dB", "C-weighted equivalent continuous level," + re},
      {"LZeq", "lzeq", levels[VH_LEVEL_LZEQ], "dB",
       "unweighted (Z) equivalent continuous level," + re},
      {"LAFmax", "lafmax", levels[VH_LEVEL_LAFMAX], "dB",
       "largest A-weighted level with time weighting F (exponential, 125 ms)," + re},
      {"LASmax", "lasmax", levels[VH_LEVEL_LASMAX], "dB",
       "largest A-weighted level with time weighting S (exponential, 1 s)," + re},
      {"LCpeak", "lcpeak", levels[VH_LEVEL_LCPEAK], "dB",
       "peak C-weighted sound pressure level, largest |sample| without time weighting," + re},
  };
  if (!bands.empty()) {
    const double* centres = vh_third_octave_centres_hz();
    r.band_arrays.push_back(BandArray{"third_octave_levels", "dB", "frequency", "Hz",
                                      std::vector<double>(centres, centres + THIRD_OCTAVE_BANDS),
                                      THIRD_OCTAVE_BANDS, std::move(bands), nullptr, 1, {}});
  }
  return r;
}

MetricResult failed_metric(Metric metric, std::int32_t status) {
  MetricResult r;
  r.metric = metric;
  r.method = method_of(metric);
  r.error = vh_status_string(status);
  r.status = status;
  if (status == VH_ERR_INPUT_TOO_SHORT) {
    const double seconds = static_cast<double>(minimum_samples(metric)) / RATE_HZ;
    r.error += " (needs at least " + std::to_string(minimum_samples(metric)) + " samples, " +
               std::to_string(std::lround(seconds * 1000.0)) + " ms at 48 kHz)";
  }
  if (status == VH_ERR_INVALID_ARGUMENT &&
      (metric == Metric::loudness || metric == Metric::sharpness)) {
    r.error += " (a third-octave level up to 250 Hz is above 120 dB)";
  }
  return r;
}

MetricResult loudness_result(double loudness_sone, std::vector<double> specific) {
  MetricResult r;
  r.metric = Metric::loudness;
  r.method = method_of(r.metric);
  r.summaries = {
      {"N", "loudness", loudness_sone, "sone", "total loudness of the whole signal"},
      {"LN", "loudness_level", loudness_level_phon(loudness_sone), "phon",
       "loudness level: 40 + 10 log2(N) for N >= 1 sone, 40 (N + 0.0005)^0.35 below"},
  };
  r.band_arrays.push_back(bark_pattern("specific_loudness", std::move(specific)));
  return r;
}

MetricResult sharpness_result(double sharpness_acum, double loudness_sone) {
  MetricResult r;
  r.metric = Metric::sharpness;
  r.method = method_of(r.metric);
  const double value =
      loudness_sone > 0.0 ? sharpness_acum : std::numeric_limits<double>::quiet_NaN();
  r.summaries = {{"S", "sharpness", value, "acum",
                  "sharpness of the stationary specific-loudness pattern; no value where the "
                  "loudness is 0 sone"}};
  return r;
}

void mark_digital_silence(ChannelResult& channel) {
  constexpr double NONE = std::numeric_limits<double>::quiet_NaN();
  for (MetricResult& m : channel.metrics) {
    if (m.metric != Metric::levels || !m.ok()) continue;
    for (Summary& s : m.summaries) s.value = NONE;
    for (BandArray& b : m.band_arrays) std::fill(b.values.begin(), b.values.end(), NONE);
  }
  channel.warnings.push_back(
      "every sample is 0 (digital silence): the levels have no value, and neither has the "
      "sharpness");
}

MetricResult loudness_time_result(std::vector<double> loudness, std::vector<double> specific,
                                  std::size_t frames) {
  MetricResult r;
  r.metric = Metric::loudness_time;
  r.method = method_of(r.metric);
  r.frame_time_definition = "96 f / 48000 s: frame f is the loudness at sample 96 f (every 2 ms)";
  r.frame_times_s = frame_times(frames, 0.0, VH_LOUDNESS_TIME_HOP / RATE_HZ);
  r.summaries = {
      {"N_max", "loudness_max", maximum(loudness), "sone", "largest frame value"},
      {"N_mean", "loudness_mean", mean(loudness), "sone", "mean over all frames"},
  };
  const std::vector<Summary> exceeded = exceedance_levels(loudness, "N", "n", "sone", "");
  r.summaries.insert(r.summaries.end(), exceeded.begin(), exceeded.end());
  r.series.push_back(Series{"loudness", "sone", "total loudness per frame", std::move(loudness)});
  if (!specific.empty()) {
    r.band_arrays.push_back(bark_pattern("specific_loudness", std::move(specific)));
  }
  return r;
}

MetricResult loudness_time_result(std::vector<double> loudness, BandRows specific,
                                  std::size_t frames) {
  MetricResult r = loudness_time_result(std::move(loudness), std::vector<double>{}, frames);
  if (specific.spool() || specific.frames() > 0) {
    r.band_arrays.push_back(bark_pattern("specific_loudness", {}));
    r.band_arrays.back().keep(std::move(specific));
  }
  time_reduced_rows(r);
  return r;
}

MetricResult roughness_result(std::vector<double> roughness) {
  return frame_metric(Metric::roughness, std::move(roughness), VH_ROUGHNESS_DW_FRAME,
                      VH_ROUGHNESS_DW_HOP, "R", "roughness", "r",
                      "asper");
}

MetricResult tonality_result(std::vector<double> tonality) {
  return frame_metric(Metric::tonality, std::move(tonality), VH_TONALITY_AURES_FRAME,
                      VH_TONALITY_AURES_HOP, "K", "tonality", "k", "");
}

EcmaTonalFrames::EcmaTonalFrames(bool keep_bands, BandKeeping keeping)
    : keep_bands_(keep_bands) {
  reserve_if_possible(tonality_, keeping.expected_frames);
  reserve_if_possible(frequency_, keeping.expected_frames);
  reserve_if_possible(loudness_, keeping.expected_frames);
  if (!keep_bands) return;
  for (std::size_t p = 0; p < ECMA_TONAL_PLANES; ++p) planes_.emplace_back(keeping);
}

void EcmaTonalFrames::add(const double* frame) {
  const std::span<const double> specific_tonality(frame + 3 * ECMA_BANDS, ECMA_BANDS);
  const std::size_t band = index_of_maximum(specific_tonality);
  tonality_.push_back(specific_tonality[band]);
  frequency_.push_back(
      tonal_frequency_or_none(specific_tonality[band], frame[2 * ECMA_BANDS + band]));
  double sum = 0.0;
  for (std::size_t b = 0; b < ECMA_BANDS; ++b) sum += frame[4 * ECMA_BANDS + b];
  loudness_.push_back(0.5 * sum);
  if (!keep_bands_) return;
  // The tonal-frequency plane keeps only the frequencies of tonal bands.
  std::array<double, ECMA_BANDS> frequencies;
  for (std::size_t b = 0; b < ECMA_BANDS; ++b) {
    frequencies[b] = tonal_frequency_or_none(specific_tonality[b], frame[2 * ECMA_BANDS + b]);
  }
  for (std::size_t p = 0; p < ECMA_TONAL_PLANES; ++p) {
    planes_[p].append(p == 2 ? std::span<const double>(frequencies)
                             : std::span<const double>(frame + p * ECMA_BANDS, ECMA_BANDS));
  }
}

MetricResult EcmaTonalFrames::result() && {
  const std::size_t frames = tonality_.size();
  std::vector<double>& tonality = tonality_;
  std::vector<double>& frequency = frequency_;
  std::vector<double>& loudness = loudness_;
  MetricResult r;
  r.metric = Metric::ecma_tonality;
  r.method = method_of(r.metric);
  r.frame_time_definition = "256 k / 48000 s (187.5 frames per second)";
  r.frame_times_s = frame_times(frames, 0.0, VH_ECMA_TONAL_HOP / RATE_HZ);
  const std::size_t from = first_frame_from(r.frame_times_s, ECMA_SETTLING_S);
  const std::span<const double> settled_t(tonality.data() + from, frames - from);
  const std::span<const double> settled_n(loudness.data() + from, frames - from);
  const std::size_t peak = from + index_of_maximum(settled_t);
  const std::string t_def =
      "T(t) = the largest specific tonality over the 53 bands in each frame; ";
  const std::string n_def =
      "N(t) = 0.5 Bark_HMS x the sum of the 53 combined specific loudness values; ";
  r.summaries = {
      {"T_mean", "tonality_mean", mean(settled_t), "tu_HMS",
       t_def + "mean over the frames from 0.3 s on"},
      {"T_max", "tonality_max", tonality[peak], "tu_HMS", t_def + "largest value from 0.3 s on"},
  };
  // NaN (no value) when nothing is tonal in that frame.
  r.summaries.push_back({"f_T_max", "tonal_frequency_at_max", frequency[peak], "Hz",
                         "tonal frequency of the band that gives T_max, in the frame of T_max"});
  r.summaries.push_back({"N_mean", "loudness_mean", mean(settled_n), "sone_HMS",
                         n_def + "mean over the frames from 0.3 s on"});
  r.summaries.push_back({"N_max", "loudness_max", maximum(settled_n), "sone_HMS",
                         n_def + "largest value from 0.3 s on"});
  const std::vector<Summary> exceeded =
      exceedance_levels(settled_t, "T", "t", "tu_HMS", t_def + "from 0.3 s on, the ");
  r.summaries.insert(r.summaries.end(), exceeded.begin(), exceeded.end());
  r.series.push_back(Series{"tonality", "tu_HMS", t_def + "every frame", std::move(tonality)});
  r.series.push_back(Series{"tonal_frequency", "Hz",
                            "tonal frequency of the band that gives T(t); none (null, an empty "
                            "CSV cell) where T(t) = 0",
                            std::move(frequency)});
  r.series.push_back(Series{"loudness", "sone_HMS", n_def + "every frame", std::move(loudness)});
  if (keep_bands_) {
    r.band_arrays.push_back(
        ecma_bands("tonal_specific_loudness", "sone_HMS/Bark_HMS", std::move(planes_[0])));
    r.band_arrays.push_back(
        ecma_bands("noise_specific_loudness", "sone_HMS/Bark_HMS", std::move(planes_[1])));
    r.band_arrays.push_back(ecma_bands("tonal_frequency", "Hz", std::move(planes_[2])));
    r.band_arrays.push_back(
        ecma_bands("specific_tonality", "tu_HMS/Bark_HMS", std::move(planes_[3])));
    r.band_arrays.push_back(
        ecma_bands("combined_specific_loudness", "sone_HMS/Bark_HMS", std::move(planes_[4])));
  }
  time_reduced_rows(r);
  return r;
}

MetricResult ecma_tonality_result(const std::vector<double>& planes, std::size_t frames) {
  const std::size_t plane_size = ECMA_BANDS * frames;
  EcmaTonalFrames series(true);
  std::vector<double> frame(ECMA_TONAL_PLANES * ECMA_BANDS);
  for (std::size_t k = 0; k < frames; ++k) {
    for (std::size_t p = 0; p < ECMA_TONAL_PLANES; ++p) {
      for (std::size_t b = 0; b < ECMA_BANDS; ++b) {
        frame[p * ECMA_BANDS + b] = planes[p * plane_size + k * ECMA_BANDS + b];
      }
    }
    series.add(frame.data());
  }
  return std::move(series).result();
}

void EcmaRoughnessFrames::add(const double* frame) {
  double sum = 0.0;
  for (std::size_t b = 0; b < ECMA_BANDS; ++b) sum += frame[b];
  roughness_.push_back(0.5 * sum);
  if (keep_bands_) specific_.append({frame, ECMA_BANDS});
}

MetricResult EcmaRoughnessFrames::result() && {
  std::vector<double>& roughness = roughness_;
  const std::size_t frames = roughness.size();
  MetricResult r;
  r.metric = Metric::ecma_roughness;
  r.method = method_of(r.metric);
  r.frame_time_definition = "k / 50 s (50 frames per second)";
  r.frame_times_s = frame_times(frames, 0.0, 1.0 / 50.0);
  const std::string r_def = "R(t) = 0.5 Bark_HMS x the sum of the 53 specific roughness values; ";
  // R_p90 is the single value ECMA-418-2 reports; it equals R10 below.
  r.summaries = {
      {"R_p90", "roughness_p90", percentile(roughness, 90.0), "asper_HMS",
       r_def + "90th percentile over all frames; " + PERCENTILE_RULE},
      {"R_max", "roughness_max", maximum(roughness), "asper_HMS", r_def + "largest frame value"},
      {"R_mean", "roughness_mean", mean(roughness), "asper_HMS", r_def + "mean over all frames"},
  };
  const std::vector<Summary> exceeded =
      exceedance_levels(roughness, "R", "r", "asper_HMS", r_def + "the ");
  r.summaries.insert(r.summaries.end(), exceeded.begin(), exceeded.end());
  r.series.push_back(Series{"roughness", "asper_HMS", r_def + "every frame", std::move(roughness)});
  if (keep_bands_) {
    r.band_arrays.push_back(
        ecma_bands("specific_roughness", "asper_HMS/Bark_HMS", std::move(specific_)));
  }
  time_reduced_rows(r);
  return r;
}

MetricResult ecma_roughness_result(std::vector<double> specific, std::size_t frames) {
  EcmaRoughnessFrames series(true);
  for (std::size_t k = 0; k < frames; ++k) series.add(specific.data() + k * ECMA_BANDS);
  return std::move(series).result();
}

}  // namespace varnholt::analysis
