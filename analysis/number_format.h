// Decimal text of doubles: a chosen number of significant digits, or the
// shortest text that reads back to the same double.
#pragma once

#include <string>

namespace varnholt::analysis {

struct NumberFormat {
  int significant_digits = 4;
  bool round_trip = false;  // shortest text that parses back bit for bit
};

// Locale-independent; "nan", "inf" and "-inf" for non-finite values.
std::string format_number(double x, const NumberFormat& format);

}  // namespace varnholt::analysis
