// Every computing export behind one calling convention, so the hardening
// tests (allocation failure, concurrency, determinism, extreme input) can run
// the same checks over all of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "varnholt.h"

namespace varnholt::test {

// What one call left behind: the status, every output array (pre-filled
// with SENTINEL before the call) and the frames out-parameter (pre-filled
// with FRAMES_SENTINEL; UINT64 exports without one leave it so).
struct CallResult {
  vh_status status = VH_OK;
  std::vector<std::vector<double>> outputs;
  std::uint64_t frames = 0;
};

inline constexpr std::uint64_t FRAMES_SENTINEL = 0xDEADBEEFULL;

// How an export treats its frames out-parameter when it fails after the size
// checks: the loudness-time and short-time exports leave it 0 or untouched,
// the hearing-model exports keep the frame count once it is known.
enum class FramesOnLateFailure { zero, untouched, frame_count, none };

// Called just before and just after the export itself, so a test can watch
// the library's work and nothing of the test's own set-up.
struct CallHooks {
  void (*before)() = nullptr;
  void (*after)() = nullptr;
};

struct ExportCall {
  std::string name;
  std::uint64_t minimum_length;  // shortest signal it accepts
  bool cannot_be_negative;       // every output value is >= 0 on success
  FramesOnLateFailure frames_rule;
  // Runs the export on `signal` with correctly sized outputs.
  CallResult (*run)(const std::vector<double>& signal, vh_sound_field field,
                    const CallHooks& hooks);
  // The same call on a signal that starts at an arbitrary address.
  CallResult (*run_at)(const double* signal, std::uint64_t count, vh_sound_field field,
                       const CallHooks& hooks);
};

// The computing exports that take a signal (sharpness through the stationary
// loudness of the signal), the two level exports among them.
const std::vector<ExportCall>& computing_exports();

}  // namespace varnholt::test
