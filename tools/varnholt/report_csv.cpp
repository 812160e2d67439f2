// CSV writing: comma-separated, '.' decimal point, one row per frame.
#include "report_csv.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

namespace varnholt::cli {
namespace {

std::string base_name(const FileResult& file) {
  if (file.path == "-") return "stdin";
  const std::string stem = std::filesystem::path(file.path).stem().string();
  return stem.empty() ? "input" : stem;
}

std::vector<std::string> unique_names(const std::vector<FileResult>& files) {
  std::vector<std::string> names;
  std::set<std::string> used;
  for (const FileResult& f : files) {
    std::string name = base_name(f);
    for (int n = 2; used.count(name); ++n) name = base_name(f) + "-" + std::to_string(n);
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

void write_metric_csv(const std::filesystem::path& path, const MetricResult& m,
                      const NumberFormat& format) {
  std::ofstream out(path, std::ios::binary);
  out << "time_s";
  for (const Series& s : m.series) out << ',' << csv_column_name(s);
  out << '\n';
  for (std::size_t k = 0; k < m.frame_times_s.size(); ++k) {
    out << format_number(m.frame_times_s[k], format);
    for (const Series& s : m.series) out << ',' << csv_cell(s.values[k], format);
    out << '\n';
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

std::string csv_cell(double value, const NumberFormat& format) {
  return std::isnan(value) ? std::string() : format_number(value, format);
}

std::string csv_column_name(const Series& series) {
  std::string name = series.key;
  if (!series.unit.empty()) name += "_" + series.unit;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

std::vector<std::string> write_csv_files(const std::string& dir,
                                         const std::vector<FileResult>& files,
                                         const NumberFormat& format) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) {
    throw std::runtime_error("cannot create the CSV directory " + dir);
  }
  const std::vector<std::string> names = unique_names(files);
  std::vector<std::string> written;
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (const ChannelResult& channel : files[i].channels) {
      for (const MetricResult& m : channel.metrics) {
        if (!m.ok() || m.frame_times_s.empty()) continue;
        const std::filesystem::path path =
            std::filesystem::path(dir) / (names[i] + ".ch" + std::to_string(channel.channel) + "." +
                                          std::string(metric_name(m.metric)) + ".csv");
        write_metric_csv(path, m, format);
        written.push_back(path.string());
      }
    }
  }
  return written;
}

}  // namespace varnholt::cli
