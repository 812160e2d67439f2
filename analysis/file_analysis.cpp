// The per-file pipeline, block by block: time span and channel selection,
// resampling, calibration and the plausibility check of the pressures, with
// every selected channel's metrics fed as the blocks arrive.
#include "file_analysis.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include "metric_results.h"
#include "number_format.h"
#include "resample.h"

namespace varnholt::analysis {
namespace {

// Frames read at a time: a few hundred kilobytes per channel.
constexpr std::size_t BLOCK_FRAMES = 65536;
// Small blocks from a pipe, so that frames of a live signal come out soon.
constexpr std::size_t PIPE_BLOCK_FRAMES = 4800;

// Interleaved frames, block by block, from any source; can start over.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual std::size_t read(std::vector<double>& block, std::size_t frames) = 0;
  virtual void rewind() = 0;
};

class FileFrames final : public FrameSource {
 public:
  explicit FileFrames(AudioReader& reader) : reader_(reader) {}
  std::size_t read(std::vector<double>& block, std::size_t frames) override {
    return reader_.read(block, frames);
  }
  void rewind() override { reader_.rewind(); }

 private:
  AudioReader& reader_;
};

class MemoryFrames final : public FrameSource {
 public:
  explicit MemoryFrames(const AudioData& audio) : audio_(audio) {}
  std::size_t read(std::vector<double>& block, std::size_t frames) override {
    const std::size_t channels = audio_.channels.size();
    const std::size_t n = std::min(frames, audio_.frames - position_);
    block.resize(n * channels);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t c = 0; c < channels; ++c) {
        block[i * channels + c] = audio_.channels[c][position_ + i];
      }
    }
    position_ += n;
    return n;
  }
  void rewind() override { position_ = 0; }

 private:
  const AudioData& audio_;
  std::size_t position_ = 0;
};

class BufferFrames final : public FrameSource {
 public:
  explicit BufferFrames(const SampleBuffer& buffer) : buffer_(buffer) {}
  std::size_t read(std::vector<double>& block, std::size_t frames) override {
    const std::size_t n = std::min(frames, buffer_.frames - position_);
    const double* from = buffer_.samples + position_ * buffer_.channels;
    block.assign(from, from + n * buffer_.channels);
    position_ += n;
    return n;
  }
  void rewind() override { position_ = 0; }

 private:
  const SampleBuffer& buffer_;
  std::size_t position_ = 0;
};

// A whole-channel function as a sink: it collects the channel.
class CollectingSink final : public ChannelSink {
 public:
  explicit CollectingSink(const ChannelAnalyser& analyser) : analyser_(analyser) {}
  void push(std::span<const double> pascal) override {
    samples_.insert(samples_.end(), pascal.begin(), pascal.end());
  }
  std::vector<MetricResult> finish() override { return analyser_(samples_); }

 private:
  const ChannelAnalyser& analyser_;
  std::vector<double> samples_;
};

ChannelSinkFactory collecting(const ChannelAnalyser& analyser) {
  return [&analyser](int, std::size_t) { return std::make_unique<CollectingSink>(analyser); };
}

struct Layout {
  std::string format;
  int rate_hz = 0;
  std::size_t channels = 0;
  std::size_t declared_frames = 0;  // 0 when unknown
};

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

// One selected channel on its way through resampling, calibration and the
// metrics. The sums run over the samples in order, as over a whole array.
class ChannelPipeline {
 public:
  ChannelPipeline(std::size_t index, int rate_hz, std::size_t expected_samples,
                  const AnalysisSettings& settings)
      : index_(index), rate_hz_(rate_hz), expected_samples_(expected_samples), settings_(settings) {
    result_.channel = static_cast<int>(index + 1);
    start_resampler();
  }

  std::size_t index() const { return index_; }
  bool failed() const { return !result_.error.empty(); }

  // First pass for --remove-dc: only the sum of the calibrated pressures.
  void sum_block(const std::vector<double>& block, std::size_t channels, std::size_t first,
                 std::size_t count) {
    if (failed()) return;
    if (!to_pascal(block, channels, first, count)) return;
    for (double p : pascal_) dc_sum_ += p;
    dc_count_ += pascal_.size();
  }

  void end_sum() {
    if (failed()) return;
    resample_end();
    for (double p : pascal_) dc_sum_ += p;
    dc_count_ += pascal_.size();
    const double n = std::max<double>(1.0, static_cast<double>(dc_count_));
    result_.dc_offset_pa = dc_sum_ / n;
    result_.dc_removed = true;
    frames_seen_ = 0;
    start_resampler();
  }

  void feed_block(const std::vector<double>& block, std::size_t channels, std::size_t first,
                  std::size_t count, const ChannelSinkFactory& sinks) {
    if (failed()) return;
    if (!to_pascal(block, channels, first, count)) return;
    feed(sinks);
  }

  ChannelResult finish(const ChannelSinkFactory& sinks) {
    if (failed()) return std::move(result_);
    resample_end();
    feed(sinks);
    if (failed()) return std::move(result_);
    const double n = std::max<double>(1.0, static_cast<double>(result_.samples));
    if (!settings_.remove_dc) result_.dc_offset_pa = sum_ / n;
    result_.rms_pa = std::sqrt(sum_of_squares_ / n);
    report_dc_offset(result_, sum_of_squares_ / n);
    // Also catches a calibration factor that overflows the pressures.
    if (result_.peak_pa > MAX_PEAK_PRESSURE_PA) {
      fail(VH_ERR_INVALID_ARGUMENT, "peak pressure " + format_number(result_.peak_pa, NumberFormat{4, false}) +
           " Pa exceeds one atmosphere: not sound in air, check the calibration");
      return std::move(result_);
    }
    if (!sink_) open_sink(sinks);
    try {
      if (sink_) result_.metrics = sink_->finish();
      if (result_.samples > 0 && result_.peak_pa == 0.0) mark_digital_silence(result_);
    } catch (const std::bad_alloc&) {
      fail(VH_ERR_ALLOCATION, "out of memory");
    } catch (const std::exception& e) {
      fail(VH_ERR_NUMERICAL, e.what());
    }
    return std::move(result_);
  }

 private:
  void start_resampler() {
    if (rate_hz_ != ANALYSIS_RATE_HZ) resampler_ = std::make_unique<StreamingResampler>(rate_hz_);
  }

  void fail(std::int32_t status, std::string error) {
    ChannelResult failed;
    failed.channel = result_.channel;
    failed.error = std::move(error);
    failed.status = status;
    result_ = std::move(failed);
    sink_.reset();
  }

  // Takes this channel's samples of frames first ... first + count - 1 of
  // the block into pascal_ (resampled, calibrated). Checked before
  // resampling, which would smear one bad sample over many.
  bool to_pascal(const std::vector<double>& block, std::size_t channels, std::size_t first,
                 std::size_t count) {
    input_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const double x = block[(first + i) * channels + index_];
      if (!std::isfinite(x)) {
        const std::size_t at = frames_seen_ + i;
        fail(VH_ERR_NON_FINITE_INPUT, "sample " + std::to_string(at) + " (at " +
             format_number(static_cast<double>(at) / rate_hz_, NumberFormat{6, false}) +
             " s) is not a finite number");
        return false;
      }
      input_[i] = x;
    }
    frames_seen_ += count;
    if (resampler_) {
      resampler_->push(input_, pascal_);
    } else {
      pascal_.swap(input_);
    }
    calibrate();
    return true;
  }

  void resample_end() {
    pascal_.clear();
    if (resampler_) resampler_->finish(pascal_);
    calibrate();
  }

  void calibrate() {
    const double factor = settings_.calibration.pascal_per_unit;
    for (double& p : pascal_) p *= factor;
  }

  void open_sink(const ChannelSinkFactory& sinks) {
    try {
      sink_ = sinks(result_.channel, expected_samples_);
    } catch (const std::bad_alloc&) {
      fail(VH_ERR_ALLOCATION, "out of memory");
    } catch (const std::exception& e) {
      fail(VH_ERR_NUMERICAL, e.what());
    }
  }

  // Statistics of the pressures, then the metrics.
  void feed(const ChannelSinkFactory& sinks) {
    if (!settings_.remove_dc) {
      for (double p : pascal_) sum_ += p;
    } else {
      for (double& p : pascal_) p -= result_.dc_offset_pa;
    }
    for (double p : pascal_) {
      result_.peak_pa = std::max(result_.peak_pa, std::fabs(p));
      sum_of_squares_ += p * p;
    }
    result_.samples += pascal_.size();
    if (pascal_.empty()) return;
    if (!sink_) open_sink(sinks);
    if (!sink_) return;
    try {
      sink_->push(pascal_);
    } catch (const std::bad_alloc&) {
      fail(VH_ERR_ALLOCATION, "out of memory");
    } catch (const std::exception& e) {
      fail(VH_ERR_NUMERICAL, e.what());
    }
  }

  std::size_t index_;
  int rate_hz_;
  std::size_t expected_samples_;
  const AnalysisSettings& settings_;
  ChannelResult result_;
  std::unique_ptr<StreamingResampler> resampler_;
  std::unique_ptr<ChannelSink> sink_;
  std::vector<double> input_;
  std::vector<double> pascal_;
  std::size_t frames_seen_ = 0;
  double dc_sum_ = 0.0;
  std::size_t dc_count_ = 0;
  double sum_ = 0.0;
  double sum_of_squares_ = 0.0;
};

// The frames of --start and --duration, at the file's own rate.
struct TimeSpan {
  std::size_t first = 0;
  std::optional<std::size_t> wanted;  // frames asked for from `first` on
  std::size_t limit() const {
    return wanted ? first + std::max<std::size_t>(*wanted, 1) : SIZE_MAX;
  }
};

TimeSpan time_span(const AnalysisSettings& settings, int rate_hz) {
  const double rate = static_cast<double>(rate_hz);
  TimeSpan span;
  span.first = static_cast<std::size_t>(std::llround(settings.start_s * rate));
  if (settings.duration_s) {
    span.wanted = static_cast<std::size_t>(std::llround(*settings.duration_s * rate));
  }
  return span;
}

// Samples at 48 kHz the span will give, where the source states its length
// (0 where it does not).
std::size_t expected_samples(const Layout& layout, const TimeSpan& span) {
  if (layout.declared_frames <= span.first || layout.rate_hz <= 0) return 0;
  const std::size_t frames = std::min(layout.declared_frames, span.limit()) - span.first;
  return static_cast<std::size_t>(
      std::ceil(static_cast<double>(frames) * ANALYSIS_RATE_HZ / layout.rate_hz));
}

// One reading pass over the source: hands each block's frames inside the
// span to `take(block, first, count)`; returns the frames in the source.
template <typename Take>
std::size_t read_pass(FrameSource& source, std::size_t block_frames, const TimeSpan& span,
                      const Layout& layout, const FileProgress& progress, double progress_from,
                      double progress_share, Take&& take) {
  std::vector<double> block;
  std::size_t position = 0;
  for (;;) {
    const std::size_t got = source.read(block, block_frames);
    if (got == 0) break;
    const std::size_t from = std::max(position, span.first);
    const std::size_t to = std::min(position + got, span.limit());
    if (from < to) take(block, from - position, to - from);
    position += got;
    if (progress && layout.declared_frames > 0) {
      const double done = std::min(
          1.0, static_cast<double>(position) / static_cast<double>(layout.declared_frames));
      progress(progress_from + progress_share * done);
    }
  }
  return position;
}

std::optional<std::string> channel_error(std::size_t channels, std::optional<int> channel) {
  if (!channel || (*channel >= 1 && static_cast<std::size_t>(*channel) <= channels)) return {};
  return "has " + std::to_string(channels) + " channel(s); channel " + std::to_string(*channel) +
         " does not exist";
}

void analyse_frames(FileResult& file, FrameSource& source, const Layout& layout,
                    std::size_t block_frames, const AnalysisSettings& settings,
                    const ChannelSinkFactory& sinks, const FileProgress& progress) {
  file.format = layout.format;
  file.file_rate_hz = layout.rate_hz;
  file.channel_count = static_cast<int>(layout.channels);
  file.resampled = layout.rate_hz != ANALYSIS_RATE_HZ;
  const TimeSpan span = time_span(settings, layout.rate_hz);
  const std::optional<std::string> bad_channel = channel_error(layout.channels, settings.channel);
  std::vector<ChannelPipeline> channels;
  if (!bad_channel) {
    for (std::size_t c = 0; c < layout.channels; ++c) {
      if (!settings.channel || static_cast<std::size_t>(*settings.channel - 1) == c) {
        channels.emplace_back(c, layout.rate_hz, expected_samples(layout, span), settings);
      }
    }
  }
  const double first_share = settings.remove_dc ? 0.5 : 0.0;
  if (settings.remove_dc) {
    read_pass(source, block_frames, span, layout, progress, 0.0, first_share,
              [&](const std::vector<double>& block, std::size_t first, std::size_t count) {
                for (ChannelPipeline& c : channels) {
                  c.sum_block(block, layout.channels, first, count);
                }
              });
    for (ChannelPipeline& c : channels) c.end_sum();
    source.rewind();
  }
  const std::size_t frames =
      read_pass(source, block_frames, span, layout, progress, first_share, 1.0 - first_share,
                [&](const std::vector<double>& block, std::size_t first, std::size_t count) {
                  for (ChannelPipeline& c : channels) {
                    c.feed_block(block, layout.channels, first, count, sinks);
                  }
                });
  file.file_frames = frames;
  if (frames == 0) throw InputError("the file holds no audio samples");
  const double rate = static_cast<double>(layout.rate_hz);
  if (span.first >= frames) {
    throw InputError("--start " + format_number(settings.start_s, NumberFormat{6, false}) +
                     " s lies beyond the end of the file (" +
                     format_number(static_cast<double>(frames) / rate, NumberFormat{6, false}) +
                     " s)");
  }
  const std::size_t count = std::min(frames, span.limit()) - span.first;
  if (span.wanted && *span.wanted > frames - span.first) {
    file.warnings.push_back(
        "the file ends " +
        format_number(static_cast<double>(count) / rate, NumberFormat{6, false}) +
        " s after --start, before the --duration asked for");
  }
  file.start_s = static_cast<double>(span.first) / rate;
  file.duration_s = static_cast<double>(count) / rate;
  if (bad_channel) throw InputError(*bad_channel);
  for (ChannelPipeline& c : channels) {
    file.channels.push_back(c.finish(sinks));
    file.analysed_samples = file.channels.back().samples;
  }
}

template <typename Analyse>
FileResult guarded(FileResult file, Analyse&& analyse) {
  try {
    analyse(file);
  } catch (const std::bad_alloc&) {
    file.error = "out of memory";
    file.channels.clear();
  } catch (const std::exception& e) {
    file.error = e.what();
    file.channels.clear();
  }
  return file;
}

}  // namespace

FileResult analyse_audio(FileResult file, AudioData audio, const AnalysisSettings& settings,
                         const ChannelAnalyser& analyser) {
  return guarded(std::move(file), [&](FileResult& f) {
    f.warnings.insert(f.warnings.end(), audio.warnings.begin(), audio.warnings.end());
    MemoryFrames source(audio);
    const Layout layout{audio.format, audio.sample_rate_hz, audio.channels.size(), audio.frames};
    analyse_frames(f, source, layout, BLOCK_FRAMES, settings,
                   collecting(analyser), {});
  });
}

FileResult analyse_buffer(const SampleBuffer& buffer, const AnalysisSettings& settings,
                          const ChannelSinkFactory& sinks, const FileProgress& progress) {
  return guarded(FileResult{}, [&](FileResult& f) {
    BufferFrames source(buffer);
    const Layout layout{"samples in memory", buffer.rate_hz, buffer.channels, buffer.frames};
    analyse_frames(f, source, layout, BLOCK_FRAMES, settings, sinks, progress);
  });
}

FileResult analyse_file(const std::string& path, const AnalysisSettings& settings,
                        const ChannelSinkFactory& sinks, const FileProgress& progress,
                        bool pipe) {
  FileResult file;
  file.path = path;
  std::unique_ptr<AudioReader> reader;
  try {
    reader = std::make_unique<AudioReader>(path, pipe);
  } catch (const std::bad_alloc&) {
    file.error = "out of memory";
    return file;
  } catch (const std::exception& e) {
    file.error = e.what();
    return file;
  }
  return guarded(std::move(file), [&](FileResult& f) {
    FileFrames source(*reader);
    const Layout layout{reader->format(), reader->sample_rate_hz(), reader->channels(),
                        reader->declared_frames()};
    // The reader's warnings come first, also when the analysis fails.
    const auto add_reader_warnings = [&] {
      const std::vector<std::string> warnings = reader->warnings(f.file_frames);
      f.warnings.insert(f.warnings.begin(), warnings.begin(), warnings.end());
    };
    try {
      analyse_frames(f, source, layout, pipe ? PIPE_BLOCK_FRAMES : BLOCK_FRAMES, settings, sinks,
                     progress);
    } catch (...) {
      if (f.file_frames > 0) add_reader_warnings();
      throw;
    }
    add_reader_warnings();
  });
}

FileResult analyse_file(const std::string& path, const AnalysisSettings& settings,
                        const ChannelAnalyser& analyser) {
  return analyse_file(path, settings,
                      collecting(analyser));
}

}  // namespace varnholt::analysis
