// Fuzz target: loudness from 28 band levels taken straight from the input.
#include <cmath>
#include <cstring>

#include "fuzz_input.h"

using namespace varnholt::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t level_count = 26 + data[0] % 4;  // 26 ... 29
  const std::int32_t field = data[1] < 200 ? data[1] % 2 : static_cast<std::int8_t>(data[1]);
  const auto capacity = static_cast<Capacity>(data[2] % 5);
  data += 3;
  size -= 3;
  std::vector<double> levels(level_count, 60.0);
  for (std::size_t i = 0; i < level_count && (i + 1) * 8 <= size; ++i) {
    std::memcpy(&levels[i], data + 8 * i, sizeof(double));
  }
  double loudness = SENTINEL;
  std::vector<double> specific(capacity_for(capacity, 240) + 1, SENTINEL);
  double* specific_ptr = capacity == Capacity::null_pointer ? nullptr : specific.data();
  const std::size_t specific_len = capacity_for(capacity, 240);
  const vh_status s = vh_loudness_from_levels(levels.data(), level_count, field, &loudness,
                                              specific_ptr, specific_len);
  check_loudness_outputs(s, loudness, specific, specific_ptr != nullptr);
  return 0;
}
