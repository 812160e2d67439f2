// Decimal text of numbers: significant digits and exact round trips.
#include "analysis/number_format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "support/signals.h"

namespace {

using varnholt::analysis::format_number;
using varnholt::analysis::NumberFormat;

double parse(const std::string& text) {
  double x = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), x);
  return x;
}

TEST(NumberFormat, SignificantDigits) {
  EXPECT_EQ(format_number(1.0, NumberFormat{4, false}), "1");
  EXPECT_EQ(format_number(3.14159265, NumberFormat{4, false}), "3.142");
  EXPECT_EQ(format_number(0.000123456, NumberFormat{3, false}), "0.000123");
  EXPECT_EQ(format_number(60.0345, NumberFormat{4, false}), "60.03");
}

TEST(NumberFormat, RoundTripTextReadsBackBitForBit) {
  varnholt::test::Prng prng(7);
  for (int i = 0; i < 2000; ++i) {
    const double x = prng.next_uniform() * std::pow(10.0, 40.0 * prng.next_uniform());
    const std::string text = format_number(x, NumberFormat{17, true});
    EXPECT_EQ(parse(text), x) << text;
  }
  EXPECT_EQ(format_number(0.1, NumberFormat{17, true}),
            "0.1");  // shortest, not 0.10000000000000001
}

TEST(NumberFormat, NonFiniteValues) {
  EXPECT_EQ(format_number(std::numeric_limits<double>::infinity(), NumberFormat{}), "inf");
  EXPECT_EQ(format_number(std::numeric_limits<double>::quiet_NaN(), NumberFormat{}), "nan");
}

}  // namespace
