// Extreme but valid signals: every export either succeeds with finite values
// (not negative where the metric cannot be) or returns its documented status,
// and never writes its outputs on failure.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "hardening/export_calls.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt::test {
namespace {

constexpr std::size_t LENGTH = 19200;

struct Extreme {
  const char* name;
  std::function<std::vector<double>()> make;
};

const std::vector<Extreme>& extremes() {
  static const std::vector<Extreme> list = {
      {"loud_130dB_1kHz", [] { return sine(1000.0, 130.0, LENGTH); }},
      {"loud_130dB_100Hz", [] { return sine(100.0, 130.0, LENGTH); }},
      {"quiet_minus20dB", [] { return sine(1000.0, -20.0, LENGTH); }},
      {"dc_offset_1Pa", [] { return std::vector<double>(LENGTH, 1.0); }},
      {"single_impulse", [] { return impulse(LENGTH, LENGTH / 2, 1.0); }},
      {"white_noise_90dB", [] { return white_noise(90.0, LENGTH, 7); }},
      {"denormal_samples",
       [] { return std::vector<double>(LENGTH, std::numeric_limits<double>::denorm_min()); }},
      {"huge_finite_samples", [] { return std::vector<double>(LENGTH, 1e150); }},
      {"alternating_full_scale",
       [] {
         std::vector<double> x(LENGTH);
         for (std::size_t i = 0; i < LENGTH; ++i) x[i] = (i % 2 == 0) ? 1e4 : -1e4;
         return x;
       }},
  };
  return list;
}

// Statuses a valid signal may still produce: a numerical limit of the model
// (too loud for its tables or its arithmetic).
bool acceptable_failure(vh_status s) { return s == VH_ERR_NUMERICAL || s == VH_ERR_INVALID_ARGUMENT; }

class ExtremeInput : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

TEST_P(ExtremeInput, FiniteResultOrDocumentedStatus) {
  const auto [call_index, extreme_index] = GetParam();
  const ExportCall& call = computing_exports()[call_index];
  const Extreme& extreme = extremes()[extreme_index];
  const CallResult r = call.run(extreme.make(), VH_SOUND_FIELD_FREE, {});
  RecordProperty("vh_status", r.status);
  if (r.status == VH_OK) {
    for (const auto& out : r.outputs) {
      for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[i])) << "index " << i;
        if (call.cannot_be_negative) {
          ASSERT_GE(out[i], 0.0) << "index " << i;
        }
      }
    }
  } else {
    EXPECT_TRUE(acceptable_failure(r.status)) << vh_status_string(r.status);
    for (const auto& out : r.outputs) EXPECT_TRUE(untouched(out));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Exports, ExtremeInput,
    ::testing::Combine(::testing::Range<std::size_t>(0, computing_exports().size()),
                       ::testing::Range<std::size_t>(0, extremes().size())),
    [](const auto& param_info) {
      return computing_exports()[std::get<0>(param_info.param)].name + std::string("_") +
             extremes()[std::get<1>(param_info.param)].name;
    });

}  // namespace
}  // namespace varnholt::test
