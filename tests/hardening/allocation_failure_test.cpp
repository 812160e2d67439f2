// Every heap allocation of every computing export, made to fail one at a
// time: the call must report VH_ERR_ALLOCATION, leave its outputs as its
// rules say, and leak nothing (LeakSanitizer checks the last point in the
// sanitizer build).
#include <gtest/gtest.h>

#include "hardening/export_calls.h"
#include "hardening/failing_allocator.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt::test {
namespace {

// Enough samples for every export (the hearing-model roughness needs the
// most), short enough to sweep quickly: 0.4 s.
constexpr std::size_t SWEEP_LENGTH = 19200;

// A sweep stops when a call finishes without reaching the armed allocation;
// this bounds it should an export ever allocate without end.
constexpr std::uint64_t MAX_SWEEP = 5000;

void expect_frames_rule(const ExportCall& call, const CallResult& result) {
  switch (call.frames_rule) {
    case FramesOnLateFailure::zero: EXPECT_EQ(result.frames, 0U); break;
    case FramesOnLateFailure::untouched: EXPECT_EQ(result.frames, FRAMES_SENTINEL); break;
    case FramesOnLateFailure::frame_count:
      EXPECT_NE(result.frames, 0U);
      EXPECT_NE(result.frames, FRAMES_SENTINEL);
      break;
    case FramesOnLateFailure::none: break;
  }
}

class AllocationFailure : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AllocationFailure, EveryAllocationFailureIsReportedAndCleanedUp) {
  const ExportCall& call = computing_exports()[GetParam()];
  SCOPED_TRACE(call.name);
  const std::vector<double> signal = am_tone(1000.0, 60.0, 70.0, 1.0, SWEEP_LENGTH);

  // The reference call, counting its allocations.
  static std::uint64_t fail_at = 0;
  static std::uint64_t allocations = 0;
  const CallHooks hooks{[] { fail_allocation_number(fail_at); },
                        [] { allocations = disarm_allocator(); }};
  fail_at = 0;
  const CallResult reference = call.run(signal, VH_SOUND_FIELD_FREE, hooks);
  ASSERT_EQ(reference.status, VH_OK);
  const std::uint64_t reference_allocations = allocations;
  RecordProperty("allocations", std::to_string(reference_allocations));

  std::uint64_t n = 1;
  for (; n <= MAX_SWEEP; ++n) {
    fail_at = n;
    const CallResult result = call.run(signal, VH_SOUND_FIELD_FREE, hooks);
    if (!allocation_failure_happened()) {
      // Past the last allocation: the call must succeed exactly as before.
      EXPECT_EQ(result.status, VH_OK);
      EXPECT_EQ(result.frames, reference.frames);
      for (std::size_t i = 0; i < result.outputs.size(); ++i) {
        EXPECT_TRUE(arrays_identical(result.outputs[i], reference.outputs[i]));
      }
      break;
    }
    SCOPED_TRACE("failing allocation " + std::to_string(n));
    ASSERT_EQ(result.status, VH_ERR_ALLOCATION);
    for (const auto& out : result.outputs) EXPECT_TRUE(untouched(out));
    expect_frames_rule(call, result);
  }
  EXPECT_LE(n, MAX_SWEEP);
  EXPECT_EQ(n, reference_allocations + 1) << "the sweep visited every allocation of the call";
}

INSTANTIATE_TEST_SUITE_P(Exports, AllocationFailure,
                         ::testing::Range<std::size_t>(0, computing_exports().size()),
                         [](const auto& param_info) { return computing_exports()[param_info.param].name; });

}  // namespace
}  // namespace varnholt::test
