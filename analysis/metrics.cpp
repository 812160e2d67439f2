// The library's metric functions called on one channel: frame counts first,
// then the analysis into buffers of exactly that size.
#include "metrics.h"

#include "metric_results.h"

namespace varnholt::analysis {

MetricResult compute_loudness(const std::vector<double>& p, vh_sound_field field) {
  double loudness = 0.0;
  std::vector<double> specific(VH_BARK_COUNT);
  const vh_status s = vh_loudness_stationary(p.data(), p.size(), VH_SAMPLE_RATE, field, &loudness,
                                             specific.data(), specific.size());
  if (s != VH_OK) return failed_metric(Metric::loudness, s);
  return loudness_result(loudness, std::move(specific));
}

MetricResult compute_loudness_time(const std::vector<double>& p, vh_sound_field field) {
  std::size_t frames = 0;
  vh_status s = vh_loudness_time_frame_count(p.size(), VH_SAMPLE_RATE, &frames);
  if (s != VH_OK) return failed_metric(Metric::loudness_time, s);
  std::vector<double> loudness(frames), specific(frames * VH_BARK_COUNT);
  s = vh_loudness_time(p.data(), p.size(), VH_SAMPLE_RATE, field, loudness.data(), loudness.size(),
                       specific.data(), specific.size(), &frames);
  if (s != VH_OK) return failed_metric(Metric::loudness_time, s);
  return loudness_time_result(std::move(loudness), std::move(specific), frames);
}

MetricResult compute_sharpness(const std::vector<double>& p, vh_sound_field field) {
  double loudness = 0.0;
  std::vector<double> specific(VH_BARK_COUNT);
  vh_status s = vh_loudness_stationary(p.data(), p.size(), VH_SAMPLE_RATE, field, &loudness,
                                       specific.data(), specific.size());
  if (s != VH_OK) return failed_metric(Metric::sharpness, s);
  double sharpness = 0.0;
  s = vh_sharpness_din(specific.data(), specific.size(), &sharpness);
  if (s != VH_OK) return failed_metric(Metric::sharpness, s);
  return sharpness_result(sharpness, loudness);
}

MetricResult compute_roughness(const std::vector<double>& p) {
  std::size_t frames = 0;
  vh_status s = vh_roughness_frame_count(p.size(), VH_SAMPLE_RATE, &frames);
  if (s != VH_OK) return failed_metric(Metric::roughness, s);
  std::vector<double> roughness(frames);
  s = vh_roughness_dw(p.data(), p.size(), VH_SAMPLE_RATE, roughness.data(), roughness.size(),
                      &frames);
  if (s != VH_OK) return failed_metric(Metric::roughness, s);
  return roughness_result(std::move(roughness));
}

MetricResult compute_tonality(const std::vector<double>& p, vh_sound_field field) {
  std::size_t frames = 0;
  vh_status s = vh_tonality_frame_count(p.size(), VH_SAMPLE_RATE, &frames);
  if (s != VH_OK) return failed_metric(Metric::tonality, s);
  std::vector<double> tonality(frames);
  s = vh_tonality_aures(p.data(), p.size(), VH_SAMPLE_RATE, field, tonality.data(), tonality.size(),
                        &frames);
  if (s != VH_OK) return failed_metric(Metric::tonality, s);
  return tonality_result(std::move(tonality));
}

MetricResult compute_ecma_tonality(const std::vector<double>& p, vh_sound_field field) {
  std::size_t frames = 0;
  vh_status s = vh_ecma_tonal_frame_count(p.size(), VH_SAMPLE_RATE, &frames);
  if (s != VH_OK) return failed_metric(Metric::ecma_tonality, s);
  std::vector<double> planes(ECMA_TONAL_PLANES * ECMA_BANDS * frames);
  s = vh_ecma_tonal_analysis(p.data(), p.size(), VH_SAMPLE_RATE, field, planes.data(),
                             planes.size(), &frames);
  if (s != VH_OK) return failed_metric(Metric::ecma_tonality, s);
  return ecma_tonality_result(planes, frames);
}

MetricResult compute_ecma_roughness(const std::vector<double>& p, vh_sound_field field) {
  std::size_t frames = 0;
  vh_status s = vh_ecma_roughness_frame_count(p.size(), VH_SAMPLE_RATE, &frames);
  if (s != VH_OK) return failed_metric(Metric::ecma_roughness, s);
  std::vector<double> specific(ECMA_BANDS * frames);
  s = vh_roughness_ecma(p.data(), p.size(), VH_SAMPLE_RATE, field, specific.data(), specific.size(),
                        &frames);
  if (s != VH_OK) return failed_metric(Metric::ecma_roughness, s);
  return ecma_roughness_result(std::move(specific), frames);
}

MetricResult compute_levels(const std::vector<double>& p) {
  std::vector<double> levels(VH_SOUND_LEVEL_COUNT);
  vh_status s = vh_sound_levels(p.data(), p.size(), VH_SAMPLE_RATE, levels.data(), levels.size());
  if (s != VH_OK) return failed_metric(Metric::levels, s);
  // The band levels need 256 samples; shorter signals still get the levels.
  std::vector<double> bands(THIRD_OCTAVE_BANDS);
  s = vh_third_octave_levels(p.data(), p.size(), VH_SAMPLE_RATE, bands.data(), bands.size());
  if (s == VH_ERR_INPUT_TOO_SHORT)
    bands.clear();
  else if (s != VH_OK)
    return failed_metric(Metric::levels, s);
  return levels_result(levels, std::move(bands));
}

std::vector<MetricResult> compute_metrics(const std::vector<double>& p,
                                          const std::vector<Metric>& metrics,
                                          vh_sound_field field) {
  std::vector<MetricResult> results;
  for (Metric m : metrics) {
    switch (m) {
      case Metric::loudness:
        results.push_back(compute_loudness(p, field));
        break;
      case Metric::loudness_time:
        results.push_back(compute_loudness_time(p, field));
        break;
      case Metric::sharpness:
        results.push_back(compute_sharpness(p, field));
        break;
      case Metric::roughness:
        results.push_back(compute_roughness(p));
        break;
      case Metric::tonality:
        results.push_back(compute_tonality(p, field));
        break;
      case Metric::ecma_tonality:
        results.push_back(compute_ecma_tonality(p, field));
        break;
      case Metric::ecma_roughness:
        results.push_back(compute_ecma_roughness(p, field));
        break;
      case Metric::levels:
        results.push_back(compute_levels(p));
        break;
    }
  }
  return results;
}

}  // namespace varnholt::analysis
