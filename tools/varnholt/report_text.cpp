// Text summary: file header (format, rate, resampling, calibration), then per
// channel its level and one line per metric.
#include "report_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <ostream>

#include "resample.h"

namespace varnholt::cli {
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
  for (std::size_t i = 0; i < m.summaries.size(); ++i) {
    const Summary& s = m.summaries[i];
    out << (i ? ", " : "") << s.symbol << " = " << value_with_unit(s.value, s.unit, format);
  }
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

}  // namespace

void write_text_summary(std::ostream& out, const FileResult& file, const RunInfo& run,
                        const NumberFormat& format) {
  const NumberFormat short_format{4, false};
  out << file.path;
  if (!file.error.empty()) {
    out << ": failed: " << file.error << '\n';
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
  out << "  calibration: " << run.calibration.description << "; "
      << sound_field_name(run.sound_field) << " field\n";
  for (const ChannelResult& channel : file.channels) {
    out << "  channel " << channel.channel;
    if (!channel.error.empty()) {
      out << ": failed: " << channel.error << '\n';
      continue;
    }
    out << ": " << level_text(channel.rms_pa) << ", peak "
        << format_number(channel.peak_pa, short_format) << " Pa\n";
    for (const MetricResult& m : channel.metrics) write_metric_line(out, m, format);
  }
}

}  // namespace varnholt::cli
