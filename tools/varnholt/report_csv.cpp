// CSV writing: comma-separated, '.' decimal point, one row per frame.
#include "report_csv.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "analysis/metric_results.h"

namespace varnholt::cli {

using namespace varnholt::analysis;
namespace {

std::string base_name(const std::string& path) {
  if (path == "-") return "stdin";
  const std::string stem = std::filesystem::path(path).stem().string();
  return stem.empty() ? "input" : stem;
}

std::string file_safe(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '_';
  }
  return text;
}

std::filesystem::path metric_csv_path(const std::string& dir, const std::string& name, int channel,
                                      Metric metric) {
  return std::filesystem::path(dir) / (name + ".ch" + std::to_string(channel) + "." +
                                       std::string(metric_name(metric)) + ".csv");
}

// Where a per-frame file grows until its metric is done: a file under its
// own name is always complete.
std::filesystem::path in_progress(const std::filesystem::path& path) {
  return path.string() + ".part";
}

std::string frame_row(double time_s, std::span<const double> values, const NumberFormat& format) {
  std::string row = format_number(time_s, format);
  for (double v : values) row += ',' + csv_cell(v, format);
  row += '\n';
  return row;
}

void close_or_throw(std::ofstream& out, const std::filesystem::path& path) {
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void write_metric_csv(const std::filesystem::path& path, const MetricResult& m,
                      const NumberFormat& format) {
  std::ofstream out(path, std::ios::binary);
  out << "time_s";
  for (const Series& s : m.series) out << ',' << csv_column_name(s);
  out << '\n';
  std::vector<double> values(m.series.size());
  for (std::size_t k = 0; k < m.frame_times_s.size(); ++k) {
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = m.series[i].values[k];
    out << frame_row(m.frame_times_s[k], values, format);
  }
  close_or_throw(out, path);
}

void write_band_csv(const std::filesystem::path& path, const MetricResult& m, const BandArray& b,
                    const NumberFormat& format) {
  std::ofstream out(path, std::ios::binary);
  const bool framed = !m.frame_times_s.empty();
  const NumberFormat axis_format{6, false};
  if (framed) out << "time_s";
  for (std::size_t i = 0; i < b.axis.size(); ++i) {
    if (framed || i > 0) out << ',';
    out << format_number(b.axis[i], axis_format) << ' ' << b.axis_unit;
  }
  out << '\n';
  // Row by row, so that a spooled array is never read whole.
  std::vector<double> row(b.bands);
  for (std::size_t k = 0; k < b.rows(); ++k) {
    b.read(k * b.bands, row);
    if (framed) out << format_number(m.frame_times_s[k], format) << ',';
    for (std::size_t i = 0; i < b.bands; ++i) out << (i ? "," : "") << csv_cell(row[i], format);
    out << '\n';
  }
  close_or_throw(out, path);
}

}  // namespace

std::vector<std::string> csv_names(const std::vector<std::string>& inputs) {
  std::vector<std::string> names;
  std::set<std::string> used;
  for (const std::string& input : inputs) {
    std::string name = base_name(input);
    for (int n = 2; used.count(name); ++n) name = base_name(input) + "-" + std::to_string(n);
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

std::string csv_cell(double value, const NumberFormat& format) {
  return std::isnan(value) ? std::string() : format_number(value, format);
}

std::string csv_column_name(const Series& series) {
  std::string name = series.key;
  if (!series.unit.empty()) name += "_" + series.unit;
  return file_safe(name);
}

std::vector<std::string> write_csv_files(const std::string& dir, const FileResult& file,
                                         const std::string& name, const NumberFormat& format,
                                         bool bands, bool frames_written) {
  std::vector<std::string> written;
  for (const ChannelResult& channel : file.channels) {
    for (const MetricResult& m : channel.metrics) {
      if (!m.ok()) continue;
      const std::string stem =
          name + ".ch" + std::to_string(channel.channel) + "." + std::string(metric_name(m.metric));
      if (!m.frame_times_s.empty() && !frames_written) {
        const std::filesystem::path path = metric_csv_path(dir, name, channel.channel, m.metric);
        write_metric_csv(path, m, format);
        written.push_back(path.string());
      }
      if (!bands) continue;
      for (const BandArray& b : m.band_arrays) {
        const std::filesystem::path path =
            std::filesystem::path(dir) / (stem + "." + file_safe(b.key + "_" + b.unit) + ".csv");
        write_band_csv(path, m, b, format);
        written.push_back(path.string());
      }
    }
  }
  return written;
}

void FrameCsvWriter::row(int channel, Metric metric, double time_s,
                         std::span<const double> values) {
  Output* output = nullptr;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<Output>& slot = outputs_[{channel, metric}];
    if (!slot) {
      slot = std::make_unique<Output>();
      slot->path = metric_csv_path(dir_, name_, channel, metric);
      slot->out.open(in_progress(slot->path), std::ios::binary);
      slot->out << "time_s";
      for (const SummaryColumn& c : frame_columns(metric)) {
        slot->out << ',' << csv_column_name(Series{c.key, c.unit, {}, {}});
      }
      slot->out << '\n';
    }
    output = slot.get();
  }
  // Only this pair's thread writes to its file.
  output->out << frame_row(time_s, values, format_);
}

std::vector<std::string> FrameCsvWriter::finish(const FileResult& file) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto succeeded = [&file](int channel, Metric metric) {
    if (!file.error.empty()) return false;
    for (const ChannelResult& c : file.channels) {
      if (c.channel != channel) continue;
      for (const MetricResult& m : c.metrics) {
        if (m.metric == metric) return m.ok() && !m.frame_times_s.empty();
      }
    }
    return false;
  };
  std::vector<std::string> errors;
  for (auto& [key, output] : outputs_) {
    output->out.close();
    const std::filesystem::path part = in_progress(output->path);
    std::error_code ec;
    if (!succeeded(key.first, key.second)) {
      std::filesystem::remove(part, ec);
      continue;
    }
    if (output->out) std::filesystem::rename(part, output->path, ec);
    if (!output->out || ec) errors.push_back("cannot write " + output->path.string());
  }
  outputs_.clear();
  return errors;
}

std::vector<std::string> write_csv_files(const std::string& dir,
                                         const std::vector<FileResult>& files,
                                         const NumberFormat& format) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) {
    throw std::runtime_error("cannot create the CSV directory " + dir);
  }
  std::vector<std::string> inputs;
  for (const FileResult& f : files) inputs.push_back(f.path);
  const std::vector<std::string> names = csv_names(inputs);
  std::vector<std::string> written;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::vector<std::string> w = write_csv_files(dir, files[i], names[i], format, false);
    written.insert(written.end(), w.begin(), w.end());
  }
  return written;
}

}  // namespace varnholt::cli
