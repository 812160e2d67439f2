// Fuzz target: stationary loudness of a decoded signal.
#include <cmath>
#include <cstring>

#include "fuzz_input.h"

using namespace varnholt::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzCall call = decode(data, size, 3 * 48000);
  double loudness = SENTINEL;
  const std::size_t specific_len = capacity_for(call.capacity, 240);
  std::vector<double> specific(specific_len + 1, SENTINEL);
  double* specific_ptr = call.capacity == Capacity::null_pointer ? nullptr : specific.data();
  const vh_status s = vh_loudness_stationary(call.null_signal ? nullptr : call.signal.data(),
                                             call.signal.size(), call.sample_rate, call.sound_field,
                                             &loudness, specific_ptr, specific_len);
  check_loudness_outputs(s, loudness, specific, specific_ptr != nullptr);
  return 0;
}
