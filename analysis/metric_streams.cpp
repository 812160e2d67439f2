// One library stream per metric; frames are drained after every chunk and
// reduced at once to the series the results are built from.
#include "metric_streams.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <stdexcept>
#include <utility>

#include "metric_results.h"
#include "varnholt.h"

namespace varnholt::analysis {
namespace {

constexpr double RATE_HZ = VH_SAMPLE_RATE;
// Frames taken out of a stream per read: enough to drain a large chunk in a
// few calls.
constexpr std::size_t FRAMES_PER_READ = 256;

struct StreamCloser {
  void operator()(vh_stream* s) const { vh_stream_destroy(s); }
};
using StreamHandle = std::unique_ptr<vh_stream, StreamCloser>;

vh_metric stream_metric(Metric metric) {
  switch (metric) {
    case Metric::loudness:
    case Metric::sharpness:
      return VH_METRIC_LOUDNESS_STATIONARY;
    case Metric::loudness_time:
      return VH_METRIC_LOUDNESS_TIME;
    case Metric::roughness:
      return VH_METRIC_ROUGHNESS_DW;
    case Metric::tonality:
      return VH_METRIC_TONALITY_AURES;
    case Metric::ecma_tonality:
      return VH_METRIC_ECMA_TONALITY;
    case Metric::ecma_roughness:
      return VH_METRIC_ECMA_ROUGHNESS;
    case Metric::levels:
      return VH_METRIC_SOUND_LEVELS;
  }
  throw std::logic_error("unknown metric");
}

// Time of frame f: the first frame's time plus f hops, as in the results.
struct FrameClock {
  double first_s;
  double hop_s;
  double at(std::size_t f) const { return first_s + static_cast<double>(f) * hop_s; }
};

// Frames the streams give for `samples`, with room for the frames a stream
// adds at the end (the tails of its filters and windows): a second's worth.
std::size_t expected_frames(const FrameClock& clock, std::size_t samples) {
  if (samples == 0 || clock.hop_s <= 0.0) return 0;
  const double hop = clock.hop_s * RATE_HZ;
  return static_cast<std::size_t>((static_cast<double>(samples) + RATE_HZ) / hop) + 1;
}

FrameClock frame_clock(Metric metric) {
  switch (metric) {
    case Metric::loudness_time:
      return {0.0, VH_LOUDNESS_TIME_HOP / RATE_HZ};
    case Metric::roughness:
      return {0.5 * VH_ROUGHNESS_DW_FRAME / RATE_HZ, VH_ROUGHNESS_DW_HOP / RATE_HZ};
    case Metric::tonality:
      return {0.5 * VH_TONALITY_AURES_FRAME / RATE_HZ, VH_TONALITY_AURES_HOP / RATE_HZ};
    case Metric::ecma_tonality:
      return {0.0, VH_ECMA_TONAL_HOP / RATE_HZ};
    case Metric::ecma_roughness:
      return {0.0, 1.0 / 50.0};
    default:
      return {0.0, 0.0};
  }
}

// One metric of one channel.
class MetricStream {
 public:
  MetricStream(Metric metric, const StreamSettings& settings, int channel,
               std::size_t expected_samples)
      : metric_(metric),
        channel_(channel),
        listener_(settings.listener),
        keep_bands_(settings.keep_bands),
        clock_(frame_clock(metric)),
        bands_(keeping(settings, metric, Metric::loudness_time, expected_samples)),
        ecma_tonal_(settings.keep_bands,
                    keeping(settings, metric, Metric::ecma_tonality, expected_samples)),
        ecma_roughness_(settings.keep_bands,
                        keeping(settings, metric, Metric::ecma_roughness, expected_samples)) {
    if (metric == Metric::loudness_time || metric == Metric::roughness ||
        metric == Metric::tonality) {
      reserve_if_possible(series_, expected_frames(clock_, expected_samples));
    }
    status_ = open(stream_metric(metric), settings.sound_field, stream_);
    // A metric that splits its work among threads (the ECMA-418-2 tonality)
    // may use the run's; its values do not depend on it, and a stream that
    // could not have them works on fewer.
    if (status_ == VH_OK && settings.threads > 1) {
      vh_stream_set_threads(stream_.get(), settings.threads);
    }
    if (status_ == VH_OK) status_ = vh_stream_frame_values(stream_metric(metric), &values_);
    // The band levels run beside the sound levels, as a stream of their own.
    if (status_ == VH_OK && metric == Metric::levels) {
      band_status_ = open(VH_METRIC_THIRD_OCTAVE_LEVELS, settings.sound_field, band_levels_);
    }
    buffer_.resize(values_ * FRAMES_PER_READ);
  }

  void push(std::span<const double> pascal) {
    if (band_levels_ && band_status_ == VH_OK) {
      band_status_ = vh_stream_push(band_levels_.get(), pascal.data(), pascal.size());
    }
    if (status_ != VH_OK) return;
    status_ = vh_stream_push(stream_.get(), pascal.data(), pascal.size());
    if (status_ == VH_OK) drain();
  }

  MetricResult finish() {
    if (status_ == VH_OK) status_ = vh_stream_finish(stream_.get());
    if (status_ == VH_OK) drain();
    if (status_ != VH_OK) return failed_metric(metric_, status_);
    switch (metric_) {
      case Metric::loudness:
        return loudness_result(stationary_[0], {stationary_.begin() + 1, stationary_.end()});
      case Metric::sharpness: {
        double sharpness = 0.0;
        const vh_status s =
            vh_sharpness_din(stationary_.data() + 1, stationary_.size() - 1, &sharpness);
        if (s != VH_OK) return failed_metric(metric_, s);
        return sharpness_result(sharpness, stationary_[0]);
      }
      case Metric::loudness_time: {
        const std::size_t frames = series_.size();
        return loudness_time_result(std::move(series_), std::move(bands_), frames);
      }
      case Metric::roughness:
        return roughness_result(std::move(series_));
      case Metric::tonality:
        return tonality_result(std::move(series_));
      case Metric::ecma_tonality:
        return std::move(ecma_tonal_).result();
      case Metric::ecma_roughness:
        return std::move(ecma_roughness_).result();
      case Metric::levels:
        return levels_finish();
    }
    throw std::logic_error("unknown metric");
  }

 private:
  // How the member that collects `owner`'s frames keeps them; the members
  // of the other metrics stay empty and set nothing aside.
  static BandKeeping keeping(const StreamSettings& settings, Metric metric, Metric owner,
                             std::size_t expected_samples) {
    if (metric != owner) return {};
    return {settings.keep_bands && settings.spool_bands && settings.band_rows == 0,
            settings.band_rows, expected_frames(frame_clock(metric), expected_samples)};
  }

  static vh_status open(vh_metric metric, vh_sound_field field, StreamHandle& into) {
    vh_stream* s = nullptr;
    const vh_status status = vh_stream_create(metric, VH_SAMPLE_RATE, field, &s);
    into.reset(s);
    return status;
  }

  // The band levels need 256 samples; shorter signals still get the levels.
  MetricResult levels_finish() {
    if (band_status_ == VH_OK) band_status_ = vh_stream_finish(band_levels_.get());
    std::vector<double> bands(VH_THIRD_OCTAVE_COUNT);
    std::size_t frames = 0;
    if (band_status_ == VH_OK) {
      vh_stream_read(band_levels_.get(), bands.data(), bands.size(), &frames);
    } else if (band_status_ == VH_ERR_INPUT_TOO_SHORT) {
      bands.clear();
    } else {
      return failed_metric(metric_, band_status_);
    }
    return levels_result(stationary_, std::move(bands));
  }

  void drain() {
    for (;;) {
      std::size_t frames = 0;
      vh_stream_read(stream_.get(), buffer_.data(), buffer_.size(), &frames);
      for (std::size_t i = 0; i < frames; ++i) take(buffer_.data() + i * values_);
      if (frames < FRAMES_PER_READ) return;
    }
  }

  // Reduces one frame to what is kept, and tells the listener.
  void take(const double* frame) {
    switch (metric_) {
      case Metric::loudness:
      case Metric::sharpness:
      case Metric::levels:
        stationary_.assign(frame, frame + values_);
        return;
      case Metric::loudness_time:
        series_.push_back(frame[0]);
        if (keep_bands_) bands_.append({frame + 1, values_ - 1});
        tell({&series_.back(), 1});
        return;
      case Metric::roughness:
      case Metric::tonality:
        series_.push_back(frame[0]);
        tell({&series_.back(), 1});
        return;
      case Metric::ecma_tonality: {
        ecma_tonal_.add(frame);
        const std::array<double, 3> last = ecma_tonal_.last();
        tell(last);
        return;
      }
      case Metric::ecma_roughness: {
        ecma_roughness_.add(frame);
        const double last = ecma_roughness_.last();
        tell({&last, 1});
        return;
      }
    }
  }

  void tell(std::span<const double> values) {
    if (listener_) listener_(channel_, metric_, clock_.at(frames_told_), values);
    ++frames_told_;
  }

  Metric metric_;
  int channel_;
  FrameListener listener_;
  bool keep_bands_;
  FrameClock clock_;
  StreamHandle stream_;
  vh_status status_ = VH_OK;
  StreamHandle band_levels_;
  vh_status band_status_ = VH_OK;
  std::size_t values_ = 0;
  std::size_t frames_told_ = 0;
  std::vector<double> buffer_;
  std::vector<double> stationary_;
  std::vector<double> series_;
  BandRows bands_;
  EcmaTonalFrames ecma_tonal_;
  EcmaRoughnessFrames ecma_roughness_;
};

// One metric stream on a thread of its own. The chunks of the channel queue
// up in order; at most QUEUE_CHUNKS wait, so the reader waits for the
// slowest metric and memory stays bounded.
class StreamWorker {
 public:
  explicit StreamWorker(std::unique_ptr<MetricStream> stream)
      : stream_(std::move(stream)), thread_([this] { run(); }) {}

  ~StreamWorker() {
    close();
    if (thread_.joinable()) thread_.join();
  }

  // A stream that failed on its thread takes nothing more; result() tells.
  void push(std::shared_ptr<const std::vector<double>> chunk) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return failed_ || queue_.size() < QUEUE_CHUNKS; });
    if (failed_) return;
    queue_.push_back(std::move(chunk));
    ready_.notify_one();
  }

  // No more chunks: the stream finishes on its thread.
  void close() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    ready_.notify_one();
  }

  // Waits for the stream to finish; what it threw is thrown here.
  MetricResult result() {
    close();
    if (thread_.joinable()) thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    return std::move(result_);
  }

 private:
  static constexpr std::size_t QUEUE_CHUNKS = 8;

  void run() {
    try {
      for (;;) {
        std::shared_ptr<const std::vector<double>> chunk;
        {
          std::unique_lock<std::mutex> lock(mutex_);
          ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
          if (queue_.empty()) break;
          chunk = std::move(queue_.front());
          queue_.pop_front();
          room_.notify_one();
        }
        stream_->push(*chunk);
      }
      result_ = stream_->finish();
    } catch (...) {
      failure_ = std::current_exception();
      // Whoever waits for room must not wait for ever.
      const std::lock_guard<std::mutex> lock(mutex_);
      queue_.clear();
      failed_ = true;
      room_.notify_all();
    }
  }

  std::unique_ptr<MetricStream> stream_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<std::shared_ptr<const std::vector<double>>> queue_;
  bool closing_ = false;
  bool failed_ = false;
  MetricResult result_;
  std::exception_ptr failure_;
  std::thread thread_;  // last: starts once everything above exists
};

// Every metric of one channel, one after another on the caller's thread or,
// with several threads, each on its own.
class MetricStreams final : public ChannelSink {
 public:
  MetricStreams(const StreamSettings& settings, int channel, std::size_t expected_samples) {
    for (Metric m : settings.metrics) {
      auto stream = std::make_unique<MetricStream>(m, settings, channel, expected_samples);
      if (settings.threads > 1) {
        workers_.emplace_back(std::make_unique<StreamWorker>(std::move(stream)));
      } else {
        streams_.emplace_back(std::move(stream));
      }
    }
  }

  void push(std::span<const double> pascal) override {
    for (const std::unique_ptr<MetricStream>& s : streams_) s->push(pascal);
    if (workers_.empty()) return;
    const auto chunk = std::make_shared<const std::vector<double>>(pascal.begin(), pascal.end());
    for (const std::unique_ptr<StreamWorker>& w : workers_) w->push(chunk);
  }

  std::vector<MetricResult> finish() override {
    std::vector<MetricResult> results;
    for (const std::unique_ptr<MetricStream>& s : streams_) results.push_back(s->finish());
    for (const std::unique_ptr<StreamWorker>& w : workers_) w->close();
    for (const std::unique_ptr<StreamWorker>& w : workers_) results.push_back(w->result());
    return results;
  }

 private:
  std::vector<std::unique_ptr<MetricStream>> streams_;
  std::vector<std::unique_ptr<StreamWorker>> workers_;
};

}  // namespace

std::unique_ptr<ChannelSink> make_metric_streams(const StreamSettings& settings, int channel,
                                                 std::size_t expected_samples) {
  return std::make_unique<MetricStreams>(settings, channel, expected_samples);
}

}  // namespace varnholt::analysis
