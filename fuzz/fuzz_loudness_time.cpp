// Fuzz target: time-varying loudness and its frame count.
#include <cmath>

#include "fuzz_input.h"

using namespace varnholt::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzCall call = decode(data, size, 48000);
  const std::size_t n = call.signal.size();
  std::uint64_t expected = FRAMES_SENTINEL;
  const vh_status count_status = vh_loudness_time_frame_count(n, call.sample_rate, &expected);
  check_status(count_status);
  const std::uint64_t frames_needed = count_status == VH_OK ? expected : 1;

  const std::size_t loudness_len = capacity_for(call.capacity, frames_needed);
  const std::size_t specific_len = capacity_for(call.capacity, 240 * frames_needed);
  std::vector<double> loudness(loudness_len + 1, SENTINEL);
  std::vector<double> specific(specific_len + 1, SENTINEL);
  const bool null_outputs = call.capacity == Capacity::null_pointer;
  std::uint64_t frames = FRAMES_SENTINEL;
  const vh_status s = vh_loudness_time(call.null_signal ? nullptr : call.signal.data(), n,
                                       call.sample_rate, call.sound_field,
                                       null_outputs ? nullptr : loudness.data(), loudness_len,
                                       null_outputs ? nullptr : specific.data(), specific_len,
                                       &frames);
  check_status(s);
  if (s == VH_OK) {
    require(count_status == VH_OK && frames == expected);
    check_results(loudness, frames, true);
    check_results(specific, 240 * frames, true);
  } else {
    check_untouched(loudness);
    check_untouched(specific);
    // The frame count is cleared at once and set only to report a short buffer.
    require(s == VH_ERR_OUTPUT_TOO_SMALL ? frames == expected : frames == 0);
  }
  return 0;
}
