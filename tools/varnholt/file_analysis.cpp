// The per-file pipeline: channel selection, resampling, calibration and the
// plausibility check of the pressures, then the metrics channel by channel.
#include "file_analysis.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include "number_format.h"
#include "resample.h"

namespace varnholt::cli {
namespace {

std::vector<std::size_t> selected_channels(const AudioData& audio, std::optional<int> channel) {
  std::vector<std::size_t> picked;
  if (!channel) {
    for (std::size_t c = 0; c < audio.channels.size(); ++c) picked.push_back(c);
    return picked;
  }
  if (*channel < 1 || static_cast<std::size_t>(*channel) > audio.channels.size()) {
    throw InputError("has " + std::to_string(audio.channels.size()) + " channel(s); channel " +
                     std::to_string(*channel) + " does not exist");
  }
  picked.push_back(static_cast<std::size_t>(*channel - 1));
  return picked;
}

ChannelResult analyse_channel(std::vector<double> samples, int number, const AudioData& audio,
                              const AnalysisSettings& settings, const ChannelAnalyser& analyser) {
  ChannelResult result;
  result.channel = number;
  // Checked before resampling, which would smear one bad sample over many.
  const auto bad =
      std::find_if(samples.begin(), samples.end(), [](double x) { return !std::isfinite(x); });
  if (bad != samples.end()) {
    const auto index = static_cast<std::size_t>(bad - samples.begin());
    result.error =
        "sample " + std::to_string(index) + " (at " +
        format_number(static_cast<double>(index) / audio.sample_rate_hz, NumberFormat{6, false}) +
        " s) is not a finite number";
    return result;
  }
  if (audio.sample_rate_hz != ANALYSIS_RATE_HZ) {
    samples = resample_to_analysis_rate(samples, audio.sample_rate_hz);
  }
  result.samples = samples.size();
  const double factor = settings.calibration.pascal_per_unit;
  double sum_of_squares = 0.0;
  for (double& p : samples) {
    p *= factor;
    result.peak_pa = std::max(result.peak_pa, std::fabs(p));
    sum_of_squares += p * p;
  }
  result.rms_pa =
      samples.empty() ? 0.0 : std::sqrt(sum_of_squares / static_cast<double>(samples.size()));
  // Also catches a calibration factor that overflows the pressures.
  if (result.peak_pa > MAX_PEAK_PRESSURE_PA) {
    result.error = "peak pressure " + format_number(result.peak_pa, NumberFormat{4, false}) +
                   " Pa exceeds one atmosphere: not sound in air, check the calibration";
    return result;
  }
  try {
    result.metrics = analyser(samples);
  } catch (const std::bad_alloc&) {
    result.error = "out of memory";
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  return result;
}

}  // namespace

FileResult analyse_audio(FileResult file, AudioData audio, const AnalysisSettings& settings,
                         const ChannelAnalyser& analyser) {
  try {
    file.format = audio.format;
    file.file_rate_hz = audio.sample_rate_hz;
    file.file_frames = audio.frames;
    file.channel_count = static_cast<int>(audio.channels.size());
    file.resampled = audio.sample_rate_hz != ANALYSIS_RATE_HZ;
    for (std::size_t c : selected_channels(audio, settings.channel)) {
      std::vector<double> samples = std::move(audio.channels[c]);
      file.channels.push_back(
          analyse_channel(std::move(samples), static_cast<int>(c + 1), audio, settings, analyser));
      file.analysed_samples = file.channels.back().samples;
    }
  } catch (const std::bad_alloc&) {
    file.error = "out of memory";
    file.channels.clear();
  } catch (const std::exception& e) {
    file.error = e.what();
    file.channels.clear();
  }
  return file;
}

FileResult analyse_file(const std::string& path, const AnalysisSettings& settings,
                        const ChannelAnalyser& analyser) {
  FileResult file;
  file.path = path;
  AudioData audio;
  try {
    audio = read_audio_file(path);
  } catch (const std::bad_alloc&) {
    file.error = "out of memory";
    return file;
  } catch (const std::exception& e) {
    file.error = e.what();
    return file;
  }
  return analyse_audio(std::move(file), std::move(audio), settings, analyser);
}

}  // namespace varnholt::cli
