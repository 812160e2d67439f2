// The computing exports behind one calling convention.
#include "hardening/export_calls.h"

#include <algorithm>

#include "support/compare.h"

namespace varnholt::test {
namespace {

// Runs the hooks around its own lifetime.
class Watch {
 public:
  explicit Watch(const CallHooks& hooks) : hooks_(hooks) {
    if (hooks_.before) hooks_.before();
  }
  ~Watch() {
    if (hooks_.after) hooks_.after();
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

 private:
  const CallHooks& hooks_;
};

std::vector<double> filled(std::uint64_t count) {
  return std::vector<double>(static_cast<std::size_t>(count), SENTINEL);
}

CallResult loudness_stationary(const double* x, std::uint64_t n, vh_sound_field field,
                               const CallHooks& hooks) {
  CallResult r;
  r.outputs = {filled(1), filled(240)};
  r.frames = FRAMES_SENTINEL;
  {
    Watch watch(hooks);
    r.status = vh_loudness_stationary(x, n, VH_SAMPLE_RATE, field, r.outputs[0].data(),
                                      r.outputs[1].data(), 240);
  }
  return r;
}

CallResult loudness_time(const double* x, std::uint64_t n, vh_sound_field field,
                               const CallHooks& hooks) {
  CallResult r;
  std::uint64_t frames = 0;
  if (vh_loudness_time_frame_count(n, VH_SAMPLE_RATE, &frames) != VH_OK) frames = 1;
  r.outputs = {filled(frames), filled(frames * 240)};
  r.frames = FRAMES_SENTINEL;
  {
    Watch watch(hooks);
    r.status = vh_loudness_time(x, n, VH_SAMPLE_RATE, field, r.outputs[0].data(), frames,
                                r.outputs[1].data(), frames * 240, &r.frames);
  }
  return r;
}

CallResult sharpness_of_signal(const double* x, std::uint64_t n, vh_sound_field field,
                               const CallHooks& hooks) {
  // Sharpness of the stationary pattern: the second stage of a common chain.
  CallResult r;
  double loudness = 0.0;
  std::vector<double> specific(240, 0.0);
  r.outputs = {filled(1)};
  r.frames = FRAMES_SENTINEL;
  {
    Watch watch(hooks);
    r.status = vh_loudness_stationary(x, n, VH_SAMPLE_RATE, field, &loudness, specific.data(), 240);
    if (r.status == VH_OK) r.status = vh_sharpness_din(specific.data(), 240, r.outputs[0].data());
  }
  return r;
}

using FrameCountFn = vh_status (*)(size_t, int32_t, size_t*);
using AnalyseFn = vh_status (*)(const double*, size_t, int32_t, vh_sound_field, double*, size_t,
                                size_t*);

// An export with a frame-count companion: outputs sized from the count.
template <FrameCountFn Count, AnalyseFn Analyse, std::uint64_t VALUES_PER_FRAME>
CallResult frame_export(const double* x, std::uint64_t n, vh_sound_field field,
                        const CallHooks& hooks) {
  CallResult r;
  std::uint64_t frames = 0;
  if (Count(n, VH_SAMPLE_RATE, &frames) != VH_OK) frames = 1;
  r.outputs = {filled(VALUES_PER_FRAME * frames)};
  r.frames = FRAMES_SENTINEL;
  {
    Watch watch(hooks);
    r.status = Analyse(x, n, VH_SAMPLE_RATE, field, r.outputs[0].data(), VALUES_PER_FRAME * frames,
                       &r.frames);
  }
  return r;
}

// The roughness after Daniel and Weber takes no sound field.
vh_status roughness_dw_any_field(const double* x, size_t n, int32_t rate, vh_sound_field,
                                 double* out, size_t capacity, size_t* frames) {
  return vh_roughness_dw(x, n, rate, out, capacity, frames);
}

constexpr auto roughness_dw = frame_export<vh_roughness_frame_count, roughness_dw_any_field, 1>;
constexpr auto tonality_aures = frame_export<vh_tonality_frame_count, vh_tonality_aures, 1>;
constexpr auto ecma_tonality =
    frame_export<vh_ecma_tonal_frame_count, vh_ecma_tonal_analysis, 265>;
constexpr auto ecma_roughness =
    frame_export<vh_ecma_roughness_frame_count, vh_roughness_ecma, 53>;

// A metric through the streaming interface, sharing its work among THREADS
// threads: pushed in chunks of 4096 samples, frames read after every push.
// The frames land in the output only on VH_OK.
template <vh_metric METRIC, std::size_t THREADS = 1>
CallResult streamed(const double* x, std::uint64_t n, vh_sound_field field,
                    const CallHooks& hooks) {
  CallResult r;
  r.outputs = {filled(1)};
  r.frames = FRAMES_SENTINEL;
  std::size_t width = 0;
  vh_stream_frame_values(METRIC, &width);
  // Room for every frame before the call, so that the allocations counted
  // inside it are the library's (no metric has more than one frame per 96).
  std::vector<double> frames;
  frames.reserve(width * (static_cast<std::size_t>(n) / 96 + 4));
  std::vector<double> buffer(width * 8);
  {
    Watch watch(hooks);
    vh_stream* s = nullptr;
    r.status = vh_stream_create(METRIC, VH_SAMPLE_RATE, field, &s);
    if (r.status == VH_OK && THREADS > 1) r.status = vh_stream_set_threads(s, THREADS);
    auto read = [&] {
      std::size_t got = 1;
      while (r.status == VH_OK && got > 0) {
        r.status = vh_stream_read(s, buffer.data(), buffer.size(), &got);
        frames.insert(frames.end(), buffer.begin(),
                      buffer.begin() + static_cast<std::ptrdiff_t>(got * width));
      }
    };
    for (std::uint64_t at = 0; r.status == VH_OK && at < n; at += 4096) {
      r.status = vh_stream_push(s, x + at, std::min<std::uint64_t>(4096, n - at));
      read();
    }
    if (r.status == VH_OK) r.status = vh_stream_finish(s);
    read();
    vh_stream_destroy(s);
  }
  if (r.status == VH_OK) {
    r.outputs[0] = frames;
    r.frames = frames.size() / width;
  }
  return r;
}

using LevelsFn = vh_status (*)(const double*, size_t, int32_t, double*, size_t);

// A level export: a fixed number of values, no sound field, no frames.
template <LevelsFn Levels, std::uint64_t VALUES>
CallResult level_export(const double* x, std::uint64_t n, vh_sound_field, const CallHooks& hooks) {
  CallResult r;
  r.outputs = {filled(VALUES)};
  r.frames = FRAMES_SENTINEL;
  {
    Watch watch(hooks);
    r.status = Levels(x, n, VH_SAMPLE_RATE, r.outputs[0].data(), VALUES);
  }
  return r;
}

constexpr auto sound_levels = level_export<vh_sound_levels, VH_SOUND_LEVEL_COUNT>;
constexpr auto third_octave_levels = level_export<vh_third_octave_levels, 28>;

template <CallResult (*F)(const double*, std::uint64_t, vh_sound_field, const CallHooks&)>
CallResult on_vector(const std::vector<double>& x, vh_sound_field field, const CallHooks& hooks) {
  return F(x.data(), x.size(), field, hooks);
}

}  // namespace

const std::vector<ExportCall>& computing_exports() {
  static const std::vector<ExportCall> calls = {
      {"vh_loudness_stationary", 256, true, FramesOnLateFailure::none,
       &on_vector<loudness_stationary>, &loudness_stationary},
      {"vh_loudness_time", 1, true, FramesOnLateFailure::zero, &on_vector<loudness_time>,
       &loudness_time},
      {"vh_sharpness_din", 256, true, FramesOnLateFailure::none, &on_vector<sharpness_of_signal>,
       &sharpness_of_signal},
      {"vh_roughness_dw", 9600, true, FramesOnLateFailure::untouched, &on_vector<roughness_dw>,
       roughness_dw},
      {"vh_tonality_aures", 12000, true, FramesOnLateFailure::untouched,
       &on_vector<tonality_aures>, tonality_aures},
      {"vh_ecma_tonal_analysis", 14592, true, FramesOnLateFailure::frame_count,
       &on_vector<ecma_tonality>, ecma_tonality},
      {"vh_roughness_ecma", 15360, true, FramesOnLateFailure::frame_count,
       &on_vector<ecma_roughness>, ecma_roughness},
      {"vh_stream_loudness_stationary", 256, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_LOUDNESS_STATIONARY>>, streamed<VH_METRIC_LOUDNESS_STATIONARY>},
      {"vh_stream_loudness_time", 1, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_LOUDNESS_TIME>>, streamed<VH_METRIC_LOUDNESS_TIME>},
      {"vh_stream_roughness_dw", 9600, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_ROUGHNESS_DW>>, streamed<VH_METRIC_ROUGHNESS_DW>},
      {"vh_stream_tonality_aures", 12000, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_TONALITY_AURES>>, streamed<VH_METRIC_TONALITY_AURES>},
      {"vh_stream_ecma_tonality", 14592, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_ECMA_TONALITY>>, streamed<VH_METRIC_ECMA_TONALITY>},
      {"vh_stream_ecma_tonality_3_threads", 14592, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_ECMA_TONALITY, 3>>, streamed<VH_METRIC_ECMA_TONALITY, 3>},
      {"vh_stream_ecma_roughness", 15360, true, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_ECMA_ROUGHNESS>>, streamed<VH_METRIC_ECMA_ROUGHNESS>},
      // Levels in dB: silence reads -26 dB, so they may be negative.
      {"vh_sound_levels", 1, false, FramesOnLateFailure::none, &on_vector<sound_levels>,
       sound_levels},
      {"vh_third_octave_levels", 256, false, FramesOnLateFailure::none,
       &on_vector<third_octave_levels>, third_octave_levels},
      {"vh_stream_sound_levels", 1, false, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_SOUND_LEVELS>>, streamed<VH_METRIC_SOUND_LEVELS>},
      {"vh_stream_third_octave_levels", 256, false, FramesOnLateFailure::none,
       &on_vector<streamed<VH_METRIC_THIRD_OCTAVE_LEVELS>>, streamed<VH_METRIC_THIRD_OCTAVE_LEVELS>},
  };
  return calls;
}

}  // namespace varnholt::test
