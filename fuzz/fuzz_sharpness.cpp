// Fuzz target: sharpness of a specific-loudness pattern taken from the input.
#include <cmath>
#include <cstring>

#include "fuzz_input.h"

using namespace varnholt::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t length = 238 + data[0] % 4;  // 238 ... 241
  ++data;
  --size;
  std::vector<double> specific(length, 0.5);
  for (std::size_t i = 0; i < length && (i + 1) * 8 <= size; ++i) {
    std::memcpy(&specific[i], data + 8 * i, sizeof(double));
  }
  double sharpness = SENTINEL;
  const vh_status s = vh_sharpness_din(specific.data(), length, &sharpness);
  check_status(s);
  if (s == VH_OK) {
    require(std::isfinite(sharpness) && sharpness >= 0.0);
  } else {
    require(std::memcmp(&sharpness, &SENTINEL, sizeof sharpness) == 0);
  }
  return 0;
}
