// JSON through nlohmann::json, keys in a fixed order; doubles are written
// with the shortest text that reads back to the same value. The per-band
// arrays over time, which can hold billions of values, are never made into
// JSON values: the document is built with a marker in their place and
// written with the arrays streamed in, row by row, where the markers stand.
#include "report_json.h"

#include <cmath>
#include <string_view>

#include "analysis/resample.h"
#include "varnholt.h"

#ifndef VARNHOLT_TOOL_VERSION
#define VARNHOLT_TOOL_VERSION "unknown"
#endif

namespace varnholt::cli {

using namespace varnholt::analysis;
namespace {

using Json = nlohmann::ordered_json;

// The per-band arrays of a document, in the order of their markers. A
// marker is a string no path or name can contain (it starts with a NUL).
class BandMarkers {
 public:
  // Null: the arrays are written into the document as JSON values.
  Json mark(const BandArray& b, bool rows) {
    arrays_.push_back({&b, rows});
    return std::string(1, '\0') + "band " + std::to_string(arrays_.size() - 1);
  }
  struct Entry {
    const BandArray* array;
    bool rows;
  };
  const std::vector<Entry>& arrays() const { return arrays_; }

 private:
  std::vector<Entry> arrays_;
};

// Rows of values read a block at a time, each dumped as the JSON array it is.
void write_band_values(std::ostream& out, const BandArray& b, bool rows) {
  constexpr std::size_t ROWS_PER_BLOCK = 256;
  const std::size_t width = rows ? b.bands : b.value_count();
  const std::size_t count = rows ? b.rows() : 1;
  std::vector<double> block;
  if (rows) out << '[';
  for (std::size_t first = 0; first < count; first += ROWS_PER_BLOCK) {
    const std::size_t n = std::min(ROWS_PER_BLOCK, count - first);
    block.resize(n * width);
    b.read(first * width, block);
    for (std::size_t r = 0; r < n; ++r) {
      if (first + r > 0) out << ',';
      const auto row = block.begin() + static_cast<std::ptrdiff_t>(r * width);
      out << Json(std::vector<double>(row, row + static_cast<std::ptrdiff_t>(width))).dump();
    }
  }
  if (rows) out << ']';
}

// The document with every marker replaced by its array.
void write_with_bands(std::ostream& out, const Json& document, const BandMarkers& markers) {
  const std::string text = document.dump();
  std::size_t from = 0;
  for (std::size_t k = 0; k < markers.arrays().size(); ++k) {
    const std::string marker = Json(std::string(1, '\0') + "band " + std::to_string(k)).dump();
    const std::size_t at = text.find(marker, from);
    out << std::string_view(text).substr(from, at - from);
    write_band_values(out, *markers.arrays()[k].array, markers.arrays()[k].rows);
    from = at + marker.size();
  }
  out << std::string_view(text).substr(from) << '\n';
}

Json calibration_json(const Calibration& c) {
  Json j;
  j["pascal_per_sample_unit"] = c.pascal_per_unit;
  switch (c.request.kind) {
    case CalibrationRequest::Kind::scale:
      j["method"] = "scale";
      j["definition"] = "the factor given with --scale";
      break;
    case CalibrationRequest::Kind::full_scale_spl:
      j["method"] = "full-scale-spl";
      j["full_scale_spl_db"] = c.request.full_scale_spl_db;
      j["definition"] =
          "a full-scale sine (RMS 1/sqrt(2) units) reads full_scale_spl_db: "
          "sqrt(2) * 20e-6 Pa * 10^(full_scale_spl_db / 20) per unit";
      break;
    case CalibrationRequest::Kind::calibrator:
      j["method"] = "calibrator";
      j["calibrator_file"] = c.request.calibrator_path;
      j["calibrator_channel"] = c.request.calibrator_channel;
      j["calibrator_spl_db"] = c.request.calibrator_spl_db;
      j["calibrator_rms_units"] = c.calibrator_rms_units;
      j["definition"] = "20e-6 Pa * 10^(calibrator_spl_db / 20) / calibrator_rms_units per unit";
      break;
  }
  j["warnings"] = c.warnings;
  return j;
}

// A band array's values as a JSON value (for the document held whole).
Json band_values(const BandArray& b, bool rows) {
  std::vector<double> values(b.value_count());
  b.read(0, values);
  if (!rows) return values;
  Json out = Json::array();
  for (std::size_t first = 0; first + b.bands <= values.size(); first += b.bands) {
    out.push_back(std::vector<double>(values.begin() + static_cast<std::ptrdiff_t>(first),
                                      values.begin() + static_cast<std::ptrdiff_t>(first + b.bands)));
  }
  return out;
}

Json metric_json(const MetricResult& m, BandMarkers* markers) {
  Json j;
  j["status"] = m.ok() ? "ok" : "failed";
  j["method"] = m.method;
  if (!m.ok()) {
    j["error"] = m.error;
    return j;
  }
  Json summary = Json::object();
  for (const Summary& s : m.summaries) {
    summary[s.key] = Json{{"value", s.value}, {"unit", s.unit}, {"definition", s.definition}};
  }
  j["summary"] = summary;
  if (!m.frame_times_s.empty()) {
    j["frame_times"] =
        Json{{"unit", "s"}, {"definition", m.frame_time_definition}, {"values", m.frame_times_s}};
  }
  if (!m.series.empty()) {
    Json series = Json::object();
    for (const Series& s : m.series) {
      series[s.key] = Json{{"unit", s.unit}, {"definition", s.definition}, {"values", s.values}};
    }
    j["series"] = series;
  }
  if (!m.band_arrays.empty()) {
    Json bands = Json::object();
    for (const BandArray& b : m.band_arrays) {
      Json entry{{"unit", b.unit},
                 {"axis", {{"name", b.axis_key}, {"unit", b.axis_unit}, {"values", b.axis}}}};
      const bool rows = !m.frame_times_s.empty();
      if (rows) entry["layout"] = "one row per frame, one value per band";
      entry["values"] = markers != nullptr ? markers->mark(b, rows) : band_values(b, rows);
      bands[b.key] = entry;
    }
    j["bands"] = bands;
  }
  return j;
}

Json channel_json(const ChannelResult& c, BandMarkers* markers) {
  Json j;
  j["channel"] = c.channel;
  bool ok = c.error.empty();
  for (const MetricResult& m : c.metrics) ok = ok && m.ok();
  j["status"] = ok ? "ok" : "failed";
  if (!c.error.empty()) j["error"] = c.error;
  j["analysed_samples"] = c.samples;
  j["rms_pa"] = c.rms_pa;
  j["peak_pa"] = c.peak_pa;
  if (c.rms_pa > 0.0) j["level_db_spl"] = 20.0 * std::log10(c.rms_pa / REFERENCE_PRESSURE_PA);
  j["dc_offset_pa"] = c.dc_offset_pa;
  j["dc_removed"] = c.dc_removed;
  j["warnings"] = c.warnings;
  Json metrics = Json::object();
  for (const MetricResult& m : c.metrics)
    metrics[std::string(metric_name(m.metric))] = metric_json(m, markers);
  j["metrics"] = metrics;
  return j;
}

// The file's entry; with `only`, just that one of its channels.
Json file_json(const FileResult& f, BandMarkers* markers, const ChannelResult* only = nullptr) {
  Json j;
  j["path"] = f.path;
  j["status"] = failure_lines(f).empty() ? "ok" : "failed";
  j["warnings"] = f.warnings;
  if (!f.csv_name.empty()) j["csv_name"] = f.csv_name;
  if (!f.error.empty()) {
    j["error"] = f.error;
    return j;
  }
  if (!f.description.empty()) j["description"] = f.description;
  j["format"] = f.format;
  j["sample_rate_hz"] = f.file_rate_hz;
  j["frames"] = f.file_frames;
  j["duration_s"] = static_cast<double>(f.file_frames) / f.file_rate_hz;
  j["channels_in_file"] = f.channel_count;
  j["analysed_span"] = Json{{"start_s", f.start_s},
                            {"duration_s", f.duration_s},
                            {"definition", "the part of the file analysed (--start, --duration)"}};
  if (f.resampled) {
    j["resampling"] = Json{{"from_hz", f.file_rate_hz},
                           {"to_hz", ANALYSIS_RATE_HZ},
                           {"resampler", RESAMPLER_DESCRIPTION}};
  } else {
    j["resampling"] = nullptr;
  }
  Json channels = Json::array();
  for (const ChannelResult& c : f.channels) {
    if (only == nullptr || &c == only) channels.push_back(channel_json(c, markers));
  }
  j["channels"] = channels;
  return j;
}

Json run_json(const RunInfo& run) {
  Json j;
  j["tool"] = Json{{"name", "varnholt"}, {"version", VARNHOLT_TOOL_VERSION}};
  j["library"] = Json{{"version", vh_version_string()}, {"interface", vh_abi_version()}};
  j["analysis_rate_hz"] = ANALYSIS_RATE_HZ;
  j["sound_field"] = sound_field_name(run.sound_field);
  j["calibration"] = calibration_json(run.calibration);
  if (run.channel) {
    j["channel_selection"] = *run.channel;
  } else {
    j["channel_selection"] = "all";
  }
  Json metrics = Json::array();
  for (Metric m : run.metrics) metrics.push_back(std::string(metric_name(m)));
  j["metrics"] = metrics;
  return j;
}

}  // namespace

nlohmann::ordered_json json_report(const std::vector<FileResult>& files, const RunInfo& run) {
  Json j = run_json(run);
  Json list = Json::array();
  for (const FileResult& f : files) list.push_back(file_json(f, nullptr));
  j["files"] = list;
  return j;
}

void write_json_document(std::ostream& out, const FileResult& file, const RunInfo& run) {
  BandMarkers markers;
  Json j = run_json(run);
  j["files"] = Json::array({file_json(file, &markers)});
  write_with_bands(out, j, markers);
}

void write_json_lines(std::ostream& out, const FileResult& file, const RunInfo& run) {
  const auto line = [&](const ChannelResult* only) {
    BandMarkers markers;
    Json j = run_json(run);
    j["files"] = Json::array({file_json(file, &markers, only)});
    write_with_bands(out, j, markers);
  };
  if (file.channels.empty()) {
    line(nullptr);
  } else {
    for (const ChannelResult& c : file.channels) line(&c);
  }
}

}  // namespace varnholt::cli
