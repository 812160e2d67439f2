// Fuzz target: the analysis layer's sample-buffer entry. The decoded signal
// is laid out as 1 to 3 interleaved channels at a rate the input picks
// (resampled when not 48 kHz), through a subset of the metrics, with or
// without DC removal and per-band arrays. Every outcome must be a status of
// the contract and a result whose accessors agree with each other; no value
// may be non-finite except the documented missing values.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "varnholt_analysis.h"

using namespace varnholt::fuzz;

namespace {

constexpr std::int32_t RATES[] = {48000, 44100, 8000, 96000, 11025, 22050, 32000, 16000};
constexpr const char* METRICS[] = {"levels",   "loudness", "loudness-time", "sharpness",
                                   "roughness", "tonality", "ecma-tonality", "ecma-roughness"};

// Values the analysis may leave missing: tonal frequencies without a tone,
// the levels of digital silence, and sharpness where nothing is audible.
bool may_be_missing(const std::string& metric, const std::string& key) {
  return key.find("tonal_frequency") != std::string::npos || metric == "levels" ||
         metric == "sharpness";
}

void check_result(const vha_result* r, std::size_t channels) {
  vha_file_info f{};
  require(vha_result_file(r, &f) == VH_OK);
  if (f.error[0] != '\0') {
    require(f.channels == 0);
    return;
  }
  require(f.channels == channels && f.channel_count == static_cast<std::int32_t>(channels));
  for (std::size_t c = 0; c < f.channels; ++c) {
    vha_channel_info info{};
    require(vha_result_channel(r, c, &info) == VH_OK);
    require((info.error[0] == '\0') == (info.status == VH_OK));
    require(info.samples == f.analysed_samples);
    for (std::size_t m = 0; m < info.metrics; ++m) {
      vha_metric_info metric{};
      require(vha_result_metric(r, c, m, &metric) == VH_OK);
      require((metric.error[0] == '\0') == (metric.status == VH_OK));
      for (std::size_t i = 0; i < metric.summaries; ++i) {
        vha_summary v{};
        require(vha_result_summary(r, c, m, i, &v) == VH_OK);
        require(std::isfinite(v.value) || (std::isnan(v.value) && may_be_missing(metric.name,
                                                                                  v.key)));
      }
      for (std::size_t i = 0; i < metric.series; ++i) {
        vha_series s{};
        require(vha_result_series(r, c, m, i, &s) == VH_OK);
        require(s.count == metric.frames);
      }
      for (std::size_t i = 0; i < metric.band_arrays; ++i) {
        vha_band_array b{};
        require(vha_result_band_array(r, c, m, i, &b) == VH_OK);
        require(b.rows == (metric.frames > 0 ? metric.frames : 1));
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Up to 0.35 s per channel keeps a run short, and still reaches the
  // shortest signal of every metric.
  const FuzzCall call = decode(data, size, 16384);
  const std::uint8_t choice = size > 8 ? data[8] : 0;
  const std::uint8_t wanted = size > 9 ? data[9] : 0xff;
  const std::size_t channels = 1 + choice % 3;
  const std::int32_t rate = RATES[(choice >> 2) % 8];

  vha_settings* settings = nullptr;
  require(vha_settings_create(&settings) == VH_OK);
  std::string metrics;
  for (unsigned i = 0; i < 8; ++i) {
    if ((wanted >> i) & 1U) metrics += std::string(metrics.empty() ? "" : ",") + METRICS[i];
  }
  const vh_status set = vha_settings_set_metrics(settings, metrics.c_str());
  require(set == (metrics.empty() ? VH_ERR_INVALID_ARGUMENT : VH_OK));
  require(vha_settings_set_sound_field(settings, call.sound_field) ==
          (call.sound_field == 0 || call.sound_field == 1 ? VH_OK : VH_ERR_INVALID_SOUND_FIELD));
  require(vha_settings_set_remove_dc(settings, choice & 0x20) == VH_OK);
  require(vha_settings_set_keep_bands(settings, choice & 0x40) == VH_OK);
  require(vha_settings_set_jobs(settings, 1 + ((choice >> 7) & 1U)) == VH_OK);

  // The channels share the decoded signal, each scaled differently.
  std::vector<double> interleaved(call.signal.size() * channels);
  for (std::size_t i = 0; i < call.signal.size(); ++i) {
    for (std::size_t c = 0; c < channels; ++c) {
      interleaved[i * channels + c] = call.signal[i] * static_cast<double>(c + 1);
    }
  }
  vha_result* result = nullptr;
  const vh_status status =
      vha_analyse_samples(settings, call.null_signal ? nullptr : interleaved.data(),
                          call.signal.size(), channels, rate, &result);
  check_status(status);
  if (call.null_signal && !call.signal.empty()) {
    require(status == VH_ERR_NULL_POINTER && result == nullptr);
  } else if (status == VH_OK) {
    check_result(result, channels);
  } else {
    require(status == VH_ERR_ALLOCATION && result == nullptr);
  }
  vha_result_destroy(result);
  vha_settings_destroy(settings);
  return 0;
}
