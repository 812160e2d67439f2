// The per-file pipeline and the batch runner, with a stand-in for the
// metrics that records what it was given.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>

#include "batch.h"
#include "analysis/demo_signal.h"
#include "analysis/file_analysis.h"
#include "sound_files.h"
#include "support/signals.h"

namespace {

using namespace varnholt::analysis;
using namespace varnholt::cli;
using varnholt::test::TemporaryDirectory;
using varnholt::test::write_sound_file;

// A "metric" that reports the channel's length, first sample and RMS.
std::vector<MetricResult> describe(const std::vector<double>& p) {
  MetricResult r;
  r.metric = Metric::loudness;
  double sum = 0.0;
  for (double v : p) sum += v * v;
  r.summaries = {{"n", "n", static_cast<double>(p.size()), "", ""},
                 {"first", "first", p.empty() ? 0.0 : p[0], "Pa", ""},
                 {"rms", "rms", std::sqrt(sum / static_cast<double>(p.size())), "Pa", ""}};
  return {r};
}

AnalysisSettings settings_with_scale(double pa) {
  AnalysisSettings s;
  s.calibration.pascal_per_unit = pa;
  return s;
}

TEST(FileAnalysis, EveryChannelIsCalibratedAndAnalysedSeparately) {
  TemporaryDirectory dir;
  write_sound_file(dir / "s.wav",
                   {std::vector<double>(4800, 0.25), std::vector<double>(4800, -0.5)}, 48000,
                   SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const FileResult f = analyse_file((dir / "s.wav").string(), settings_with_scale(4.0), describe);
  ASSERT_TRUE(f.error.empty()) << f.error;
  ASSERT_EQ(f.channels.size(), 2u);
  EXPECT_EQ(f.channels[0].channel, 1);
  EXPECT_EQ(f.channels[1].channel, 2);
  EXPECT_EQ(f.channels[0].metrics[0].summaries[1].value, 1.0);
  EXPECT_EQ(f.channels[1].metrics[0].summaries[1].value, -2.0);
  EXPECT_EQ(f.channels[1].peak_pa, 2.0);
  EXPECT_FALSE(f.resampled);
  EXPECT_TRUE(failure_lines(f).empty());
}

TEST(FileAnalysis, ChannelOptionPicksOneChannel) {
  TemporaryDirectory dir;
  write_sound_file(dir / "s.wav", {std::vector<double>(480, 0.25), std::vector<double>(480, -0.5)},
                   48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  AnalysisSettings s = settings_with_scale(1.0);
  s.channel = 2;
  const FileResult f = analyse_file((dir / "s.wav").string(), s, describe);
  ASSERT_EQ(f.channels.size(), 1u);
  EXPECT_EQ(f.channels[0].channel, 2);
  EXPECT_EQ(f.channels[0].metrics[0].summaries[1].value, -0.5);
  s.channel = 3;
  const FileResult missing = analyse_file((dir / "s.wav").string(), s, describe);
  EXPECT_NE(missing.error.find("channel 3 does not exist"), std::string::npos) << missing.error;
}

TEST(FileAnalysis, OtherRatesAreResampledTo48kHzWithTheirLevelKept) {
  TemporaryDirectory dir;
  write_sound_file(dir / "t.wav", {varnholt::test::tone_at_rate(1000.0, 60.0, 1.0, 44100)}, 44100,
                   SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  const FileResult f = analyse_file((dir / "t.wav").string(), settings_with_scale(1.0), describe);
  ASSERT_TRUE(f.error.empty()) << f.error;
  EXPECT_TRUE(f.resampled);
  EXPECT_EQ(f.file_rate_hz, 44100);
  EXPECT_EQ(f.analysed_samples, 48000u);
  EXPECT_EQ(f.channels[0].metrics[0].summaries[0].value, 48000.0);
  // The resampler passes 1 kHz unchanged: the RMS stays 20 mPa to 1e-6.
  EXPECT_NEAR(f.channels[0].metrics[0].summaries[2].value, 0.02, 0.02 * 1e-6);
}

TEST(FileAnalysis, PressuresBeyondOneAtmosphereAreRefusedBeforeTheMetrics) {
  TemporaryDirectory dir;
  write_sound_file(dir / "loud.wav", {std::vector<double>(480, 0.5)}, 48000,
                   SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  std::atomic<int> calls{0};
  const ChannelAnalyser counting = [&calls](const std::vector<double>& p) {
    ++calls;
    return describe(p);
  };
  const FileResult f =
      analyse_file((dir / "loud.wav").string(), settings_with_scale(1e9), counting);
  ASSERT_EQ(f.channels.size(), 1u);
  EXPECT_NE(f.channels[0].error.find("exceeds one atmosphere"), std::string::npos);
  EXPECT_EQ(calls.load(), 0);
  ASSERT_EQ(failure_lines(f).size(), 1u);
  EXPECT_EQ(failure_lines(f)[0].rfind((dir / "loud.wav").string() + ": channel 1: ", 0), 0u);
}

TEST(FileAnalysis, NonFiniteSamplesAndOverflowingCalibrationsAreRefused) {
  TemporaryDirectory dir;
  std::vector<double> x(4800, 0.1);
  x[2400] = std::numeric_limits<double>::quiet_NaN();
  write_sound_file(dir / "nan.wav", {x}, 44100, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  const FileResult nan =
      analyse_file((dir / "nan.wav").string(), settings_with_scale(1.0), describe);
  ASSERT_EQ(nan.channels.size(), 1u);
  EXPECT_EQ(nan.channels[0].error.rfind("sample 2400 (at 0.0544218 s) is not a finite number", 0),
            0u)
      << nan.channels[0].error;
  write_sound_file(dir / "big.wav", {std::vector<double>(480, 1e300)}, 48000,
                   SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  const FileResult inf =
      analyse_file((dir / "big.wav").string(), settings_with_scale(1e10), describe);
  EXPECT_NE(inf.channels[0].error.find("exceeds one atmosphere"), std::string::npos)
      << inf.channels[0].error;
}

TEST(FileAnalysis, AMissingFileBecomesItsOneLineFailure) {
  const FileResult f = analyse_file("/nonexistent/x.wav", settings_with_scale(1.0), describe);
  ASSERT_EQ(failure_lines(f).size(), 1u);
  EXPECT_EQ(failure_lines(f)[0], "/nonexistent/x.wav: no such file");
}

TEST(FileAnalysis, AnExceptionOfTheMetricsFailsOnlyThatChannel) {
  TemporaryDirectory dir;
  write_sound_file(dir / "s.wav", {std::vector<double>(480, 0.1), std::vector<double>(480, 0.2)},
                   48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const ChannelAnalyser picky = [](const std::vector<double>& p) {
    if (p[0] > 0.15) throw std::runtime_error("refused");
    return describe(p);
  };
  const FileResult f = analyse_file((dir / "s.wav").string(), settings_with_scale(1.0), picky);
  ASSERT_EQ(f.channels.size(), 2u);
  EXPECT_TRUE(f.channels[0].error.empty());
  EXPECT_EQ(f.channels[1].error, "refused");
}

TEST(Batch, ResultsKeepTheInputOrderForAnyNumberOfJobs) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 23; ++i) inputs.push_back("file" + std::to_string(i));
  const FileAnalyser analyse = [](std::size_t, const std::string& path) {
    FileResult f;
    f.path = path;
    f.format = "analysed " + path;
    return f;
  };
  for (unsigned jobs : {1u, 2u, 4u, 64u}) {
    std::mutex m;
    std::vector<std::size_t> done_counts;
    const std::vector<FileResult> results = run_batch(
        inputs, jobs, analyse, [&](std::size_t done, std::size_t total, const std::string&) {
          const std::lock_guard<std::mutex> lock(m);
          EXPECT_EQ(total, inputs.size());
          done_counts.push_back(done);
        });
    ASSERT_EQ(results.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      EXPECT_EQ(results[i].path, inputs[i]) << jobs << " jobs";
      EXPECT_EQ(results[i].format, "analysed " + inputs[i]);
    }
    ASSERT_EQ(done_counts.size(), inputs.size());
    for (std::size_t i = 0; i < done_counts.size(); ++i) EXPECT_EQ(done_counts[i], i + 1);
  }
  EXPECT_TRUE(run_batch({}, 4, analyse, nullptr).empty());
}

// Results are handed on in input order as soon as they are ready, and no
// worker runs more than 2 * jobs files ahead of the last one handed on, so
// a batch holds the results of the files in flight only.
TEST(Batch, ResultsAreHandedOnInOrderWhileTheBatchRuns) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 40; ++i) inputs.push_back("file" + std::to_string(i));
  for (unsigned jobs : {1u, 3u}) {
    std::mutex m;
    std::vector<std::size_t> delivered;
    std::size_t most_ahead = 0;
    const FileAnalyser analyse = [&](std::size_t, const std::string& path) {
      const std::size_t i = std::stoul(path.substr(4));
      {
        const std::lock_guard<std::mutex> lock(m);
        most_ahead = std::max(most_ahead, i - delivered.size());
      }
      FileResult f;
      f.path = path;
      return f;
    };
    run_batch(inputs, jobs, analyse, nullptr, [&](std::size_t index, FileResult&& f) {
      const std::lock_guard<std::mutex> lock(m);
      EXPECT_EQ(f.path, inputs[index]);
      delivered.push_back(index);
    });
    ASSERT_EQ(delivered.size(), inputs.size());
    for (std::size_t i = 0; i < delivered.size(); ++i) EXPECT_EQ(delivered[i], i) << jobs;
    EXPECT_LT(most_ahead, 2 * jobs) << jobs << " jobs";
  }
}

TEST(DemoSignal, HasTheStatedLevelAndIsTheSameEveryTime) {
  const std::vector<double> p = demo_signal();
  ASSERT_EQ(p.size(), 144000u);
  EXPECT_EQ(p, demo_signal());
  // Tone: carrier sqrt(2) p60 with envelope (1 + sin): mean square
  // 2 p60^2 * 1.5 * 0.5 = 1.5 p60^2; the noise adds p50^2 = 0.1 p60^2.
  // Their cross term averages out to well under 0.05 dB over 3 s.
  constexpr double CROSS_TERM_DB = 0.05;
  const double expected_db = 60.0 + 10.0 * std::log10(1.5 + 0.1);
  EXPECT_NEAR(20.0 * std::log10(varnholt::test::rms(p) / 2e-5), expected_db, CROSS_TERM_DB);
}

}  // namespace
