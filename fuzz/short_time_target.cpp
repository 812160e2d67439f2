// Shared body of the frame-based fuzz targets (see short_time_target.h).
#include "short_time_target.h"

namespace varnholt::fuzz {

int run_frame_export(const FrameExport& e, const std::uint8_t* data, std::size_t size) {
  const FuzzCall call = decode(data, size, e.max_length);
  const std::size_t n = call.signal.size();
  std::uint64_t expected = FRAMES_SENTINEL;
  const vh_status count_status = e.frame_count(n, call.sample_rate, &expected);
  check_status(count_status);
  const std::size_t required = (count_status == VH_OK ? expected : 1) * e.values_per_frame;
  const std::size_t capacity = capacity_for(call.capacity, required);
  std::vector<double> out(capacity + 1, SENTINEL);
  std::uint64_t frames = FRAMES_SENTINEL;
  const vh_status s = e.analyse(call.null_signal ? nullptr : call.signal.data(), n,
                                call.sample_rate, call.sound_field,
                                call.capacity == Capacity::null_pointer ? nullptr : out.data(),
                                capacity, &frames);
  check_status(s);
  if (s == VH_OK) {
    require(count_status == VH_OK && frames == expected);
    check_results(out, frames * e.values_per_frame, e.non_negative);
    return 0;
  }
  check_untouched(out);
  if (s == VH_ERR_OUTPUT_TOO_SMALL) {
    require(count_status == VH_OK && frames == expected);
  } else if (e.rule == FramesRule::only_on_success_or_short_buffer) {
    require(frames == FRAMES_SENTINEL);
  } else {
    require(frames == 0 || (count_status == VH_OK && frames == expected));
  }
  return 0;
}

}  // namespace varnholt::fuzz
