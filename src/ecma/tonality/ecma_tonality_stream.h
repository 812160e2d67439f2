// Tonality on the hearing model as a stream: samples in chunks of any size,
// frames of five planes of 53 bands at 187.5 Hz out as soon as they are final.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/fft.h"
#include "core/task_team.h"
#include "ecma/band_scale.h"
#include "ecma/band_signal_stream.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "ecma/tonality/tonal_component.h"
#include "ecma/tonality/tonal_frames.h"
#include "varnholt.h"

namespace varnholt {

// Shortest signal analysed: 304 ms, the longest block (8192 samples) plus the
// padding make the shortest signal whose analysis holds more than start-up.
inline constexpr std::uint64_t ECMA_TONAL_MIN_SAMPLES = 14592;

// Output frames c = ceil(n / 256) + 1 for n input samples, or false when n is
// so large that the output (265 c doubles) or the prepared signal would not
// fit in memory sizes.
bool ecma_tonal_frames(std::uint64_t n, std::uint64_t& frames) noexcept;

// Gives exactly the frames of the whole-signal tonality for every split of the
// signal into chunks and every number of threads. Memory stays fixed (about
// 12 MB, and about 1.5 MB more per further thread) whatever the length; only
// frames not yet taken accumulate.
class EcmaTonalityStream {
 public:
  static constexpr std::size_t values_per_frame = TONAL_FRAME_VALUES;
  // Frame k (at sample 256 k) is final once 256 k + 8192 samples have
  // arrived: the longest blocks (8192 samples, hop 2048) average three
  // blocks, and the frame interpolates between two of them. Frames wait
  // besides until the shortest analysable signal (14592 samples) has arrived.
  static constexpr std::size_t latency_samples = 8192;

  // Throws std::bad_alloc when memory or an FFT plan cannot be had.
  explicit EcmaTonalityStream(vh_sound_field sound_field);

  // Lets later pushes and the finish share their work among up to `threads`
  // threads, the caller's included (at most MAX_THREADS): the bands of each
  // group are dealt out, and every band's arithmetic stays as on one
  // thread, so the frames are bit-identical for every count. No effect on a
  // failed or finished stream. Throws std::bad_alloc, leaving the stream
  // usable.
  void set_threads(std::size_t threads);
  static constexpr std::size_t MAX_THREADS = 16;

  vh_status push(std::span<const double> samples);
  vh_status finish();
  std::span<const double> ready() const noexcept;
  void take(std::size_t frames) noexcept;

 private:
  // Block values kept per result band: the newest block with values from
  // before a segment (frames still interpolate from it) and those of the
  // up to eight blocks a segment completes.
  static constexpr std::size_t VALUE_RING = 16;
  // Averaged rows kept per result band: a block and its two neighbours.
  static constexpr std::size_t ROW_RING = 3;

  struct Group {
    const TonalBandGroup* bands;
    std::size_t hop, frames_per_block, lags, acf_bands, results;
    std::vector<double> rows;      // autocorrelation rows of the segment's blocks: block x band x lag
    std::vector<double> averaged;  // ROW_RING x result bands x lags
    std::vector<TonalBlockValue> values;  // VALUE_RING x result bands
    std::vector<TonalBandFrames> frames;  // per result band
    std::uint64_t blocks_done = 0;        // blocks whose averaged rows exist
    std::uint64_t values_done = 0;        // blocks whose values exist
    std::uint64_t frames_done = 0;
    std::size_t new_blocks = 0;           // blocks that end within the current segment
  };

  // One thread's working arrays: FFT plans of its own (a plan owns arrays,
  // so it serves one thread at a time) and scratch for both transforms.
  struct Workspace {
    Workspace();
    std::array<RealFft, TONAL_BAND_GROUPS.size()> block_plans;
    RealFft lag_plan;
    std::vector<std::complex<double>> spectrum;  // shared by both FFT sizes
    std::vector<double> scratch, forward_energy, backward_energy;
    std::vector<double> lag_scratch;  // zero outside the lag window being worked
    vh_status status = VH_OK;         // first failure of this thread's tasks in a job
  };

  // One band of one group: a unit of work that a thread does on its own.
  struct BandTask {
    std::size_t group, band;
  };

  template <typename Work>
  vh_status share_out(const std::vector<BandTask>& tasks, Work&& work);
  vh_status run_segment(std::uint64_t frame_limit);
  vh_status band_rows(const BandTask& task, Workspace& w) noexcept;
  vh_status band_values(const BandTask& task, Workspace& w) noexcept;
  vh_status last_value(const BandTask& task, Workspace& w) noexcept;
  vh_status block_value(Group& g, std::uint64_t i, std::size_t p, bool last,
                        Workspace& w) noexcept;
  void group_frames(Group& g, std::uint64_t frame_limit, std::uint64_t block_total);
  vh_status complete_frames();
  vh_status fail(vh_status status) noexcept;
  double* averaged_row(Group& g, std::uint64_t i, std::size_t p) noexcept;
  TonalBlockValue& value(Group& g, std::uint64_t i, std::size_t p) noexcept;

  BandSignalStream signals_;
  std::vector<Group> groups_;
  std::vector<BandTask> acf_tasks_;     // every autocorrelation band of every group
  std::vector<BandTask> result_tasks_;  // every result band, the costliest first
  std::vector<std::unique_ptr<Workspace>> workspaces_;  // one per thread of the team
  TaskTeam team_;
  std::vector<double> pending_;       // frames from pending_first_ on, some bands still missing
  std::uint64_t pending_first_ = 0;
  std::vector<double> frames_;        // finished, not yet taken
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
