// Re-entrancy and determinism of every computing export: the same call twice
// is bit-identical, the input's alignment does not matter, and calls made from
// many threads at once give exactly what the same calls give one by one (the
// ThreadSanitizer build runs this program too).
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "hardening/export_calls.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt::test {
namespace {

constexpr std::size_t LENGTH = 19200;  // 0.4 s: every export accepts it

// A different signal per thread, so a shared buffer inside the library would
// show up as a wrong result.
std::vector<double> signal_for(std::size_t i) {
  const double carrier = 500.0 + 250.0 * static_cast<double>(i);
  std::vector<double> x = am_tone(carrier, 55.0 + static_cast<double>(i), 40.0 + 10.0 * static_cast<double>(i), 0.8, LENGTH);
  const std::vector<double> noise = pink_noise(45.0, LENGTH, 100 + i);
  for (std::size_t k = 0; k < LENGTH; ++k) x[k] += noise[k];
  return x;
}

::testing::AssertionResult same_result(const CallResult& a, const CallResult& b) {
  if (a.status != b.status) {
    return ::testing::AssertionFailure() << "status " << a.status << " vs " << b.status;
  }
  if (a.frames != b.frames) {
    return ::testing::AssertionFailure() << "frames " << a.frames << " vs " << b.frames;
  }
  for (std::size_t i = 0; i < a.outputs.size(); ++i) {
    auto r = arrays_identical(a.outputs[i], b.outputs[i]);
    if (!r) return r << " (output " << i << ")";
  }
  return ::testing::AssertionSuccess();
}

class ExportDeterminism : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ExportDeterminism, SameCallTwiceIsBitIdentical) {
  const ExportCall& call = computing_exports()[GetParam()];
  const auto x = signal_for(1);
  const CallResult first = call.run(x, VH_SOUND_FIELD_DIFFUSE, {});
  ASSERT_EQ(first.status, VH_OK);
  EXPECT_TRUE(same_result(call.run(x, VH_SOUND_FIELD_DIFFUSE, {}), first));
}

TEST_P(ExportDeterminism, InputAlignmentDoesNotMatter) {
  const ExportCall& call = computing_exports()[GetParam()];
  const auto x = signal_for(2);
  // The same samples, one double further into a larger buffer: an address
  // that is 8 but not 16 bytes aligned when the vector's own storage is.
  std::vector<double> shifted(x.size() + 1, 0.0);
  std::copy(x.begin(), x.end(), shifted.begin() + 1);
  const CallResult aligned = call.run(x, VH_SOUND_FIELD_FREE, {});
  ASSERT_EQ(aligned.status, VH_OK);
  EXPECT_TRUE(same_result(call.run_at(shifted.data() + 1, x.size(), VH_SOUND_FIELD_FREE, {}),
                          aligned));
}

TEST_P(ExportDeterminism, ManyThreadsAtOnceMatchOneByOne) {
  const ExportCall& call = computing_exports()[GetParam()];
  constexpr std::size_t THREADS = 6;
  std::vector<std::vector<double>> signals;
  std::vector<CallResult> alone;
  for (std::size_t t = 0; t < THREADS; ++t) {
    signals.push_back(signal_for(t));
    alone.push_back(call.run(signals[t], VH_SOUND_FIELD_FREE, {}));
    ASSERT_EQ(alone[t].status, VH_OK);
  }
  std::vector<CallResult> together(THREADS);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < THREADS; ++t) {
    threads.emplace_back([&, t] { together[t] = call.run(signals[t], VH_SOUND_FIELD_FREE, {}); });
  }
  for (auto& th : threads) th.join();
  for (std::size_t t = 0; t < THREADS; ++t) {
    EXPECT_TRUE(same_result(together[t], alone[t])) << "thread " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Exports, ExportDeterminism,
                         ::testing::Range<std::size_t>(0, computing_exports().size()),
                         [](const auto& param_info) { return computing_exports()[param_info.param].name; });

TEST(AllExportsAtOnce, DifferentMetricsInParallelMatchOneByOne) {
  const auto& calls = computing_exports();
  const auto x = signal_for(3);
  std::vector<CallResult> alone;
  for (const auto& call : calls) alone.push_back(call.run(x, VH_SOUND_FIELD_FREE, {}));
  std::vector<CallResult> together(calls.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    threads.emplace_back([&, i] { together[i] = calls[i].run(x, VH_SOUND_FIELD_FREE, {}); });
  }
  for (auto& th : threads) th.join();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_TRUE(same_result(together[i], alone[i])) << calls[i].name;
  }
}

}  // namespace
}  // namespace varnholt::test
