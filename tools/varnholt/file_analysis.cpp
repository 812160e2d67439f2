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

void report_dc_offset(ChannelResult& result, double mean_square_pa2) {
  const double dc = result.dc_offset_pa;
  const NumberFormat f{4, false};
  if (result.dc_removed) {
    if (dc != 0.0) {
      result.warnings.push_back("a DC offset of " + format_number(dc, f) +
                                " Pa was removed (--remove-dc)");
    }
    return;
  }
  if (!(dc * dc >= DC_POWER_SHARE_REPORTED * mean_square_pa2) || dc == 0.0) return;
  result.warnings.push_back(
      "a DC offset of " + format_number(dc, f) + " Pa (" +
      format_number(100.0 * dc * dc / mean_square_pa2, NumberFormat{3, false}) +
      " % of the mean square) counts as sound in every metric; --remove-dc subtracts it");
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
  double sum = 0.0;
  for (double& p : samples) {
    p *= factor;
    sum += p;
  }
  const double n = std::max<double>(1.0, static_cast<double>(samples.size()));
  result.dc_offset_pa = sum / n;
  if (settings.remove_dc) {
    for (double& p : samples) p -= result.dc_offset_pa;
    result.dc_removed = true;
  }
  double sum_of_squares = 0.0;
  for (double p : samples) {
    result.peak_pa = std::max(result.peak_pa, std::fabs(p));
    sum_of_squares += p * p;
  }
  result.rms_pa = std::sqrt(sum_of_squares / n);
  report_dc_offset(result, sum_of_squares / n);
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

// Keeps the frames from --start for --duration; the file's own rate.
void select_time_span(FileResult& file, AudioData& audio, const AnalysisSettings& settings) {
  const double rate = static_cast<double>(audio.sample_rate_hz);
  const double length_s = static_cast<double>(audio.frames) / rate;
  const auto first = static_cast<std::size_t>(std::llround(settings.start_s * rate));
  if (first >= audio.frames) {
    throw InputError("--start " + format_number(settings.start_s, NumberFormat{6, false}) +
                     " s lies beyond the end of the file (" +
                     format_number(length_s, NumberFormat{6, false}) + " s)");
  }
  std::size_t count = audio.frames - first;
  if (settings.duration_s) {
    const auto wanted = static_cast<std::size_t>(std::llround(*settings.duration_s * rate));
    if (wanted < count) {
      count = std::max<std::size_t>(wanted, 1);
    } else if (wanted > count) {
      file.warnings.push_back(
          "the file ends " +
          format_number(static_cast<double>(count) / rate, NumberFormat{6, false}) +
          " s after --start, before the --duration asked for");
    }
  }
  if (first > 0 || count < audio.frames) {
    for (std::vector<double>& channel : audio.channels) {
      channel.erase(channel.begin() + static_cast<std::ptrdiff_t>(first + count), channel.end());
      channel.erase(channel.begin(), channel.begin() + static_cast<std::ptrdiff_t>(first));
      channel.shrink_to_fit();
    }
  }
  file.start_s = static_cast<double>(first) / rate;
  file.duration_s = static_cast<double>(count) / rate;
}

}  // namespace

FileResult analyse_audio(FileResult file, AudioData audio, const AnalysisSettings& settings,
                         const ChannelAnalyser& analyser) {
  try {
    file.warnings.insert(file.warnings.end(), audio.warnings.begin(), audio.warnings.end());
    file.format = audio.format;
    file.file_rate_hz = audio.sample_rate_hz;
    file.file_frames = audio.frames;
    file.channel_count = static_cast<int>(audio.channels.size());
    file.resampled = audio.sample_rate_hz != ANALYSIS_RATE_HZ;
    select_time_span(file, audio, settings);
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
