// Text summary: file header (format, rate, resampling, calibration), then per
// channel its level and one line per metric.
#include "report_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <ostream>

#include "analysis/resample.h"

namespace varnholt::cli {

using namespace varnholt::analysis;
namespace {

constexpr int METRIC_COLUMN = 16;

std::string value_with_unit(double value, const std::string& unit, const NumberFormat& format) {
  return format_number(value, format) + (unit.empty() ? "" : " " + unit);
}

void write_metric_line(std::ostream& out, const MetricResult& m, const NumberFormat& format) {
  std::string name(metric_name(m.metric));
  name.resize(std::max<std::size_t>(name.size() + 1, METRIC_COLUMN), ' ');
  out << "    " << name;
  if (!m.ok()) {
    out << "failed: " << m.error << '\n';
    return;
  }
  // A value the analysis could not give (no tonal frequency where nothing
  // is tonal) is left out of the line.
  const char* separator = "";
  for (const Summary& s : m.summaries) {
    if (std::isnan(s.value)) continue;
    out << separator << s.symbol << " = " << value_with_unit(s.value, s.unit, format);
    separator = ", ";
  }
  if (*separator == '\0' && !m.summaries.empty()) out << "no value";
  out << '\n';
}

// A level in dB with one decimal, as sound level meters show it.
std::string level_text(double rms_pa) {
  if (!(rms_pa > 0.0)) return "silence";
  std::array<char, 32> buffer{};
  const double level_db = 20.0 * std::log10(rms_pa / REFERENCE_PRESSURE_PA);
  const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), level_db,
                               std::chars_format::fixed, 1);
  return std::string(buffer.data(), r.ptr) + " dB SPL (RMS)";
}

// One line per third-octave band: centre frequency and level, as a band
// analyser shows them.
void write_band_levels(std::ostream& out, const MetricResult& m) {
  for (const BandArray& b : m.band_arrays) {
    for (std::size_t i = 0; i < b.values.size() && i < b.axis.size(); ++i) {
      std::string centre = format_number(b.axis[i], NumberFormat{6, false}) + " " + b.axis_unit;
      centre.insert(0, centre.size() < 9 ? 9 - centre.size() : 0, ' ');
      std::array<char, 32> buffer{};
      const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), b.values[i],
                                   std::chars_format::fixed, 1);
      out << "      " << centre << "  " << std::string(buffer.data(), r.ptr) << " dB\n";
    }
  }
}

}  // namespace

void write_text_summary(std::ostream& out, const FileResult& file, const RunInfo& run,
                        const NumberFormat& format, bool band_levels) {
  const NumberFormat short_format{4, false};
  out << file.path;
  if (!file.error.empty()) {
    out << ": failed: " << file.error << '\n';
    for (const std::string& w : file.warnings) out << "  warning: " << w << '\n';
    return;
  }
  out << ": " << (file.description.empty() ? file.format : file.description) << '\n';
  out << "  " << file.channel_count << (file.channel_count == 1 ? " channel, " : " channels, ")
      << format_number(static_cast<double>(file.file_frames) / file.file_rate_hz, short_format)
      << " s at " << file.file_rate_hz << " Hz";
  if (file.resampled) {
    out << ", resampled to " << ANALYSIS_RATE_HZ << " Hz (" << RESAMPLER_DESCRIPTION << ")";
  }
  out << '\n';
  const double file_s = static_cast<double>(file.file_frames) / file.file_rate_hz;
  if (file.start_s > 0.0 || (file.duration_s > 0.0 && file.duration_s < file_s)) {
    out << "  analysed: " << format_number(file.duration_s, short_format) << " s from "
        << format_number(file.start_s, short_format) << " s\n";
  }
  out << "  calibration: " << run.calibration.description << "; "
      << sound_field_name(run.sound_field) << " field\n";
  for (const std::string& w : run.calibration.warnings) out << "  warning: " << w << '\n';
  for (const std::string& w : file.warnings) out << "  warning: " << w << '\n';
  for (const ChannelResult& channel : file.channels) {
    out << "  channel " << channel.channel;
    if (!channel.error.empty()) {
      out << ": failed: " << channel.error << '\n';
      continue;
    }
    out << ": " << level_text(channel.rms_pa) << ", peak "
        << format_number(channel.peak_pa, short_format) << " Pa\n";
    for (const std::string& w : channel.warnings) out << "    warning: " << w << '\n';
    for (const MetricResult& m : channel.metrics) {
      write_metric_line(out, m, format);
      if (band_levels && m.ok() && m.metric == Metric::levels) write_band_levels(out, m);
    }
  }
}

}  // namespace varnholt::cli
