// Decimal text of doubles through std::to_chars: independent of the locale,
// and with no precision argument the shortest text that round-trips.
#include "number_format.h"

#include <array>
#include <charconv>

namespace varnholt::analysis {

std::string format_number(double x, const NumberFormat& format) {
  std::array<char, 64> buffer{};
  char* const first = buffer.data();
  char* const last = buffer.data() + buffer.size();
  const std::to_chars_result r =
      format.round_trip
          ? std::to_chars(first, last, x)
          : std::to_chars(first, last, x, std::chars_format::general, format.significant_digits);
  return std::string(first, r.ptr);
}

}  // namespace varnholt::analysis
