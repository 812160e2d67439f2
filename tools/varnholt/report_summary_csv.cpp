// Summary rows: the channel's level and the single values of every metric,
// in the column order summary_columns() gives.
#include "report_summary_csv.h"

#include <cmath>

#include "analysis/calibration.h"
#include "analysis/metric_results.h"
#include "report_csv.h"

namespace varnholt::cli {

using namespace varnholt::analysis;
namespace {

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : "; ") + p;
  return text;
}

std::string metric_cells(const MetricResult* m, Metric metric, const NumberFormat& format) {
  std::string cells;
  for (const SummaryColumn& column : summary_columns(metric)) {
    cells += ',';
    if (m == nullptr || !m->ok()) continue;
    for (const Summary& s : m->summaries) {
      if (s.key == column.key) cells += csv_cell(s.value, format);
    }
  }
  return cells;
}

}  // namespace

std::string csv_text(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string summary_csv_header(const std::vector<Metric>& metrics) {
  std::string header =
      "path,channel,status,error,warnings,level_db_spl [dB],peak_pa [Pa],dc_offset_pa [Pa]";
  for (Metric m : metrics) {
    for (const SummaryColumn& column : summary_columns(m)) {
      std::string name = std::string(metric_name(m)) + "." + column.key;
      if (!column.unit.empty()) name.append(" [").append(column.unit).append("]");
      header.append(",").append(csv_text(name));
    }
  }
  return header + "\n";
}

std::string summary_csv_rows(const FileResult& file, const std::vector<Metric>& metrics,
                             const NumberFormat& format) {
  if (!file.error.empty() || file.channels.empty()) {
    std::string row = csv_text(file.path) + ",,failed," + csv_text(file.error) + "," +
                      csv_text(joined(file.warnings)) + ",,,";
    for (Metric m : metrics) row += metric_cells(nullptr, m, format);
    return row + "\n";
  }
  std::string rows;
  for (const ChannelResult& c : file.channels) {
    std::vector<std::string> errors;
    if (!c.error.empty()) errors.push_back(c.error);
    for (const MetricResult& m : c.metrics) {
      if (!m.ok()) errors.push_back(std::string(metric_name(m.metric)) + ": " + m.error);
    }
    std::vector<std::string> warnings = file.warnings;
    warnings.insert(warnings.end(), c.warnings.begin(), c.warnings.end());
    std::string row = csv_text(file.path) + "," + std::to_string(c.channel) + "," +
                      (errors.empty() ? "ok" : "failed") + "," + csv_text(joined(errors)) + "," +
                      csv_text(joined(warnings)) + ",";
    if (c.error.empty()) {
      if (c.rms_pa > 0.0) {
        row += csv_cell(20.0 * std::log10(c.rms_pa / REFERENCE_PRESSURE_PA), format);
      }
      row.append(",").append(csv_cell(c.peak_pa, format));
      row.append(",").append(csv_cell(c.dc_offset_pa, format));
    } else {
      row += ",,";
    }
    for (Metric metric : metrics) {
      const MetricResult* found = nullptr;
      for (const MetricResult& m : c.metrics) {
        if (m.metric == metric) found = &m;
      }
      row += metric_cells(found, metric, format);
    }
    rows += row + "\n";
  }
  return rows;
}

}  // namespace varnholt::cli
