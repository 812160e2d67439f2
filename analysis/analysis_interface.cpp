// The C interface of the analysis layer: opaque settings and results over
// the C++ pipeline, with every failure turned into a status.
#include "varnholt_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/file_analysis.h"
#include "analysis/input_list.h"
#include "analysis/metric.h"
#include "analysis/metric_streams.h"
#include "analysis/resample.h"
#include "analysis/results.h"
#include "core/boundary.h"

using namespace varnholt::analysis;

struct vha_settings {
  std::vector<Metric> metrics{ALL_METRICS.begin(), ALL_METRICS.end()};
  vh_sound_field field = VH_SOUND_FIELD_FREE;
  Calibration calibration = calibrate(CalibrationRequest{});
  std::optional<int> channel;
  double start_s = 0.0;
  std::optional<double> duration_s;
  bool remove_dc = false;
  bool keep_bands = false;
  std::size_t band_rows = 0;
  unsigned jobs = 1;
  vha_progress_fn progress = nullptr;
  void* progress_user = nullptr;
  vha_frame_fn listener = nullptr;
  void* listener_user = nullptr;
  std::string error;
};

struct vha_result {
  FileResult file;
  std::string calibration;
  double pascal_per_unit = 1.0;
  // Per channel, per metric: the metric's name, kept as C strings.
  std::vector<std::vector<std::string>> names;
};

struct vha_file_list {
  std::vector<std::string> paths;
  std::string error;
};

struct vha_resampler {
  std::optional<StreamingResampler> soxr;  // none at 48 kHz
  std::deque<double> ready;
  std::vector<double> converted;
  bool finished = false;
};

namespace {

// Thrown from the progress callback's wrapper to stop an analysis.
struct Cancelled : std::exception {
  const char* what() const noexcept override { return "cancelled"; }
};

AnalysisSettings analysis_settings(const vha_settings& s) {
  return AnalysisSettings{s.calibration, s.channel, s.remove_dc, s.start_s, s.duration_s};
}

// The metric streams of every channel, telling the caller's listener.
ChannelSinkFactory metric_sinks(const vha_settings& s) {
  StreamSettings streams;
  streams.metrics = s.metrics;
  streams.sound_field = s.field;
  streams.keep_bands = s.keep_bands;
  streams.band_rows = s.band_rows;
  streams.threads = s.jobs;
  if (s.listener != nullptr) {
    const vha_frame_fn listener = s.listener;
    void* user = s.listener_user;
    streams.listener = [listener, user](int channel, Metric metric, double time_s,
                                        std::span<const double> values) {
      listener(user, channel, metric_name(metric).data(), time_s, values.data(), values.size());
    };
  }
  return [streams](int channel, std::size_t expected) {
    return make_metric_streams(streams, channel, expected);
  };
}

template <typename Analyse>
vh_status analyse(const vha_settings& s, vha_result** out, Analyse&& run) {
  *out = nullptr;
  bool cancelled = false;
  FileProgress progress;
  if (s.progress != nullptr) {
    progress = [&s, &cancelled](double share) {
      if (s.progress(s.progress_user, share) != 0) {
        cancelled = true;
        throw Cancelled();
      }
    };
  }
  auto result = std::make_unique<vha_result>();
  result->file = run(analysis_settings(s), metric_sinks(s), progress);
  if (cancelled) return VHA_ERR_CANCELLED;
  if (result->file.error == "out of memory") return VH_ERR_ALLOCATION;
  result->file.warnings.insert(result->file.warnings.end(), s.calibration.warnings.begin(),
                               s.calibration.warnings.end());
  result->calibration = s.calibration.description;
  result->pascal_per_unit = s.calibration.pascal_per_unit;
  for (const ChannelResult& c : result->file.channels) {
    std::vector<std::string>& names = result->names.emplace_back();
    for (const MetricResult& m : c.metrics) names.emplace_back(metric_name(m.metric));
  }
  *out = result.release();
  return VH_OK;
}

const ChannelResult* channel_at(const vha_result* r, std::size_t c) {
  return c < r->file.channels.size() ? &r->file.channels[c] : nullptr;
}

const MetricResult* metric_at(const vha_result* r, std::size_t c, std::size_t m) {
  const ChannelResult* channel = channel_at(r, c);
  return channel != nullptr && m < channel->metrics.size() ? &channel->metrics[m] : nullptr;
}

// The setters' common shape: null settings, then the check, then the change.
template <typename Set>
vh_status set(vha_settings* s, Set&& change) noexcept {
  if (s == nullptr) return VH_ERR_NULL_POINTER;
  return varnholt::guarded_call([&]() -> vh_status {
    s->error.clear();
    return change(*s);
  });
}

vh_status calibrated(vha_settings& s, const CalibrationRequest& request) {
  try {
    s.calibration = calibrate(request);
    return VH_OK;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    s.error = e.what();
    return VH_ERR_INVALID_ARGUMENT;
  }
}

}  // namespace

extern "C" {

const char* vha_status_string(vh_status status) {
  if (status == VHA_ERR_CANCELLED) return "cancelled";
  return vh_status_string(status);
}

const char* vha_version_string(void) { return vh_version_string(); }

vh_status vha_settings_create(vha_settings** settings) {
  if (settings == nullptr) return VH_ERR_NULL_POINTER;
  *settings = nullptr;
  return varnholt::guarded_call([&] {
    *settings = new vha_settings();
    return VH_OK;
  });
}

void vha_settings_destroy(vha_settings* settings) { delete settings; }

const char* vha_settings_error(const vha_settings* settings) {
  return settings == nullptr ? "" : settings->error.c_str();
}

vh_status vha_settings_set_metrics(vha_settings* settings, const char* metrics) {
  if (settings != nullptr && metrics == nullptr) return VH_ERR_NULL_POINTER;
  return set(settings, [&](vha_settings& s) {
    const std::optional<std::vector<Metric>> list = metrics_from_list(metrics);
    if (!list || list->empty()) {
      s.error = std::string("metrics \"") + metrics +
                "\": choose from levels, loudness, loudness-time, sharpness, roughness, "
                "tonality, ecma-tonality, ecma-roughness, all";
      return VH_ERR_INVALID_ARGUMENT;
    }
    s.metrics = *list;
    return VH_OK;
  });
}

vh_status vha_settings_set_sound_field(vha_settings* settings, vh_sound_field field) {
  return set(settings, [&](vha_settings& s) {
    if (field != VH_SOUND_FIELD_FREE && field != VH_SOUND_FIELD_DIFFUSE) {
      return VH_ERR_INVALID_SOUND_FIELD;
    }
    s.field = field;
    return VH_OK;
  });
}

vh_status vha_settings_set_scale(vha_settings* settings, double pascal_per_unit) {
  return set(settings, [&](vha_settings& s) {
    CalibrationRequest request;
    request.kind = CalibrationRequest::Kind::scale;
    request.scale_pa = pascal_per_unit;
    return calibrated(s, request);
  });
}

vh_status vha_settings_set_full_scale_spl(vha_settings* settings, double spl_db) {
  return set(settings, [&](vha_settings& s) {
    CalibrationRequest request;
    request.kind = CalibrationRequest::Kind::full_scale_spl;
    request.full_scale_spl_db = spl_db;
    return calibrated(s, request);
  });
}

vh_status vha_settings_set_calibrator(vha_settings* settings, const char* path, double spl_db,
                                      int32_t channel) {
  if (settings != nullptr && path == nullptr) return VH_ERR_NULL_POINTER;
  return set(settings, [&](vha_settings& s) {
    CalibrationRequest request;
    request.kind = CalibrationRequest::Kind::calibrator;
    request.calibrator_path = path;
    request.calibrator_spl_db = spl_db;
    request.calibrator_channel = channel;
    return calibrated(s, request);
  });
}

vh_status vha_settings_calibration(const vha_settings* settings, double* pascal_per_unit,
                                   const char** description) {
  if (settings == nullptr || pascal_per_unit == nullptr || description == nullptr) {
    return VH_ERR_NULL_POINTER;
  }
  *pascal_per_unit = settings->calibration.pascal_per_unit;
  *description = settings->calibration.description.c_str();
  return VH_OK;
}

vh_status vha_settings_set_channel(vha_settings* settings, int32_t channel) {
  return set(settings, [&](vha_settings& s) {
    if (channel < 0) return VH_ERR_INVALID_ARGUMENT;
    s.channel = channel == 0 ? std::nullopt : std::optional<int>(channel);
    return VH_OK;
  });
}

vh_status vha_settings_set_span(vha_settings* settings, double start_s, double duration_s) {
  return set(settings, [&](vha_settings& s) {
    if (!std::isfinite(start_s) || start_s < 0.0 || !std::isfinite(duration_s)) {
      return VH_ERR_INVALID_ARGUMENT;
    }
    s.start_s = start_s;
    s.duration_s = duration_s < 0.0 ? std::nullopt : std::optional<double>(duration_s);
    return VH_OK;
  });
}

vh_status vha_settings_set_remove_dc(vha_settings* settings, int32_t remove) {
  return set(settings, [&](vha_settings& s) {
    s.remove_dc = remove != 0;
    return VH_OK;
  });
}

vh_status vha_settings_set_keep_bands(vha_settings* settings, int32_t keep) {
  return set(settings, [&](vha_settings& s) {
    s.keep_bands = keep != 0;
    return VH_OK;
  });
}

vh_status vha_settings_set_band_rows(vha_settings* settings, size_t max_rows) {
  return set(settings, [&](vha_settings& s) {
    if (max_rows == 1) return VH_ERR_INVALID_ARGUMENT;
    s.band_rows = max_rows;
    return VH_OK;
  });
}

vh_status vha_settings_set_jobs(vha_settings* settings, uint32_t jobs) {
  return set(settings, [&](vha_settings& s) {
    if (jobs == 0) return VH_ERR_INVALID_ARGUMENT;
    s.jobs = jobs;
    return VH_OK;
  });
}

vh_status vha_settings_set_progress(vha_settings* settings, vha_progress_fn progress,
                                    void* user) {
  return set(settings, [&](vha_settings& s) {
    s.progress = progress;
    s.progress_user = user;
    return VH_OK;
  });
}

vh_status vha_settings_set_frame_listener(vha_settings* settings, vha_frame_fn listener,
                                          void* user) {
  return set(settings, [&](vha_settings& s) {
    s.listener = listener;
    s.listener_user = user;
    return VH_OK;
  });
}

vh_status vha_analyse_file(const vha_settings* settings, const char* path, vha_result** result) {
  if (settings == nullptr || path == nullptr || result == nullptr) {
    if (result != nullptr) *result = nullptr;
    return VH_ERR_NULL_POINTER;
  }
  return varnholt::guarded_call([&] {
    return analyse(*settings, result, [&](const AnalysisSettings& a, const ChannelSinkFactory& sinks,
                                          const FileProgress& progress) {
      return analyse_file(path, a, sinks, progress);
    });
  });
}

vh_status vha_analyse_samples(const vha_settings* settings, const double* samples, size_t frames,
                              size_t channels, int32_t rate_hz, vha_result** result) {
  if (settings == nullptr || result == nullptr) {
    if (result != nullptr) *result = nullptr;
    return VH_ERR_NULL_POINTER;
  }
  *result = nullptr;
  if (samples == nullptr && frames > 0) return VH_ERR_NULL_POINTER;
  if (channels == 0) return VH_ERR_INVALID_ARGUMENT;
  if (rate_hz <= 0) return VH_ERR_INVALID_SAMPLE_RATE;
  if (frames > SIZE_MAX / channels) return VH_ERR_SIZE_OVERFLOW;
  return varnholt::guarded_call([&] {
    const SampleBuffer buffer{samples, frames, channels, rate_hz};
    return analyse(*settings, result, [&](const AnalysisSettings& a,
                                          const ChannelSinkFactory& sinks,
                                          const FileProgress& progress) {
      return analyse_buffer(buffer, a, sinks, progress);
    });
  });
}

void vha_result_destroy(vha_result* result) { delete result; }

vh_status vha_result_file(const vha_result* result, vha_file_info* out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const FileResult& f = result->file;
  *out = vha_file_info{f.path.c_str(),
                       f.error.c_str(),
                       f.format.c_str(),
                       result->calibration.c_str(),
                       result->pascal_per_unit,
                       f.file_rate_hz,
                       f.resampled ? 1 : 0,
                       f.file_frames,
                       f.analysed_samples,
                       f.channel_count,
                       f.start_s,
                       f.duration_s,
                       f.warnings.size(),
                       f.channels.size()};
  return VH_OK;
}

vh_status vha_result_file_warning(const vha_result* result, size_t index, const char** out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  if (index >= result->file.warnings.size()) return VH_ERR_INVALID_ARGUMENT;
  *out = result->file.warnings[index].c_str();
  return VH_OK;
}

vh_status vha_result_channel(const vha_result* result, size_t channel, vha_channel_info* out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const ChannelResult* c = channel_at(result, channel);
  if (c == nullptr) return VH_ERR_INVALID_ARGUMENT;
  *out = vha_channel_info{c->channel,         c->error.c_str(), c->status,
                          c->samples,         c->peak_pa,       c->rms_pa,
                          c->dc_offset_pa,    c->dc_removed,    c->warnings.size(),
                          c->metrics.size()};
  return VH_OK;
}

vh_status vha_result_channel_warning(const vha_result* result, size_t channel, size_t index,
                                     const char** out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const ChannelResult* c = channel_at(result, channel);
  if (c == nullptr || index >= c->warnings.size()) return VH_ERR_INVALID_ARGUMENT;
  *out = c->warnings[index].c_str();
  return VH_OK;
}

vh_status vha_result_metric(const vha_result* result, size_t channel, size_t metric,
                            vha_metric_info* out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const MetricResult* m = metric_at(result, channel, metric);
  if (m == nullptr) return VH_ERR_INVALID_ARGUMENT;
  *out = vha_metric_info{result->names[channel][metric].c_str(),
                         m->method.c_str(),
                         m->error.c_str(),
                         m->status,
                         m->frame_time_definition.c_str(),
                         m->frame_times_s.data(),
                         m->frame_times_s.size(),
                         m->summaries.size(),
                         m->series.size(),
                         m->band_arrays.size()};
  return VH_OK;
}

vh_status vha_result_summary(const vha_result* result, size_t channel, size_t metric,
                             size_t index, vha_summary* out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const MetricResult* m = metric_at(result, channel, metric);
  if (m == nullptr || index >= m->summaries.size()) return VH_ERR_INVALID_ARGUMENT;
  const Summary& v = m->summaries[index];
  *out = vha_summary{v.symbol.c_str(), v.key.c_str(), v.value, v.unit.c_str(),
                     v.definition.c_str()};
  return VH_OK;
}

vh_status vha_result_series(const vha_result* result, size_t channel, size_t metric,
                            size_t index, vha_series* out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const MetricResult* m = metric_at(result, channel, metric);
  if (m == nullptr || index >= m->series.size()) return VH_ERR_INVALID_ARGUMENT;
  const Series& s = m->series[index];
  *out = vha_series{s.key.c_str(), s.unit.c_str(), s.definition.c_str(), s.values.data(),
                    s.values.size()};
  return VH_OK;
}

vh_status vha_result_band_array(const vha_result* result, size_t channel, size_t metric,
                                size_t index, vha_band_array* out) {
  if (result == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  const MetricResult* m = metric_at(result, channel, metric);
  if (m == nullptr || index >= m->band_arrays.size()) return VH_ERR_INVALID_ARGUMENT;
  const BandArray& a = m->band_arrays[index];
  const std::size_t rows = a.bands == 0 ? 0 : a.values.size() / a.bands;
  // Rows of their own times when reduced; else the metric's frames, if any.
  const double* row_times = a.row_times_s.data();
  if (a.row_times_s.empty()) {
    row_times = rows > 0 && m->frame_times_s.size() == rows ? m->frame_times_s.data() : nullptr;
  }
  *out = vha_band_array{a.key.c_str(), a.unit.c_str(), a.axis_key.c_str(), a.axis_unit.c_str(),
                        a.axis.data(), a.bands,        a.values.data(),    rows,
                        row_times,     a.frames_per_row};
  return VH_OK;
}

vh_status vha_find_sound_files(const char* const* inputs, size_t count, int32_t recursive,
                               vha_file_list** list) {
  if (list == nullptr) return VH_ERR_NULL_POINTER;
  *list = nullptr;
  if (inputs == nullptr && count > 0) return VH_ERR_NULL_POINTER;
  for (size_t i = 0; i < count; ++i) {
    if (inputs[i] == nullptr) return VH_ERR_NULL_POINTER;
  }
  return varnholt::guarded_call([&] {
    auto found = std::make_unique<vha_file_list>();
    try {
      found->paths = expand_inputs({inputs, inputs + count}, recursive != 0);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      found->paths.clear();
      found->error = e.what();
    }
    *list = found.release();
    return VH_OK;
  });
}

void vha_file_list_destroy(vha_file_list* list) { delete list; }

size_t vha_file_list_size(const vha_file_list* list) {
  return list == nullptr ? 0 : list->paths.size();
}

const char* vha_file_list_path(const vha_file_list* list, size_t index) {
  return list == nullptr || index >= list->paths.size() ? nullptr : list->paths[index].c_str();
}

const char* vha_file_list_error(const vha_file_list* list) {
  return list == nullptr ? "" : list->error.c_str();
}

vh_status vha_resampler_create(int32_t rate_hz, vha_resampler** resampler) {
  if (resampler == nullptr) return VH_ERR_NULL_POINTER;
  *resampler = nullptr;
  if (rate_hz <= 0) return VH_ERR_INVALID_SAMPLE_RATE;
  return varnholt::guarded_call([&] {
    auto r = std::make_unique<vha_resampler>();
    if (rate_hz != ANALYSIS_RATE_HZ) r->soxr.emplace(rate_hz);
    *resampler = r.release();
    return VH_OK;
  });
}

void vha_resampler_destroy(vha_resampler* resampler) { delete resampler; }

vh_status vha_resampler_push(vha_resampler* resampler, const double* samples, size_t count) {
  if (resampler == nullptr || (samples == nullptr && count > 0)) return VH_ERR_NULL_POINTER;
  if (resampler->finished) return VH_ERR_INVALID_ARGUMENT;
  return varnholt::guarded_call([&] {
    const std::span<const double> in(samples, count);
    if (!resampler->soxr) {
      resampler->ready.insert(resampler->ready.end(), in.begin(), in.end());
      return VH_OK;
    }
    resampler->soxr->push(in, resampler->converted);
    resampler->ready.insert(resampler->ready.end(), resampler->converted.begin(),
                            resampler->converted.end());
    return VH_OK;
  });
}

vh_status vha_resampler_finish(vha_resampler* resampler) {
  if (resampler == nullptr) return VH_ERR_NULL_POINTER;
  if (resampler->finished) return VH_ERR_INVALID_ARGUMENT;
  return varnholt::guarded_call([&] {
    resampler->finished = true;
    if (!resampler->soxr) return VH_OK;
    resampler->soxr->finish(resampler->converted);
    resampler->ready.insert(resampler->ready.end(), resampler->converted.begin(),
                            resampler->converted.end());
    return VH_OK;
  });
}

vh_status vha_resampler_read(vha_resampler* resampler, double* out, size_t capacity,
                             size_t* count) {
  if (resampler == nullptr || count == nullptr || (out == nullptr && capacity > 0)) {
    return VH_ERR_NULL_POINTER;
  }
  if (out == nullptr) {
    *count = resampler->ready.size();
    return VH_OK;
  }
  const std::size_t n = std::min(capacity, resampler->ready.size());
  std::copy_n(resampler->ready.begin(), n, out);
  resampler->ready.erase(resampler->ready.begin(),
                         resampler->ready.begin() + static_cast<std::ptrdiff_t>(n));
  *count = n;
  return VH_OK;
}

}  // extern "C"
