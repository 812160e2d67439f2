// Single values, series and definitions assembled from library outputs, and
// the text, JSON and CSV reports written from them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "analysis/metric_results.h"
#include "report_csv.h"
#include "report_json.h"
#include "report_text.h"
#include "sound_files.h"
#include "varnholt.h"

namespace {

using namespace varnholt::analysis;
using namespace varnholt::cli;

// Sums of 53 values of order 1.
constexpr double SUM_ROUNDOFF = 1e-12;

const Summary& summary(const MetricResult& m, const std::string& key) {
  for (const Summary& s : m.summaries) {
    if (s.key == key) return s;
  }
  static const Summary none{};
  ADD_FAILURE() << "no summary " << key;
  return none;
}

// Planes of an ECMA-418-2 tonality result with values placed by the test.
std::vector<double> ecma_planes(std::size_t frames) {
  return std::vector<double>(5 * 53 * frames, 0.0);
}

double& at(std::vector<double>& planes, std::size_t frames, std::size_t plane, std::size_t k,
           std::size_t b) {
  return planes[plane * 53 * frames + 53 * k + b];
}

TEST(MetricResults, EcmaTonalityTakesTheLargestBandPerFrameFromThreeTenthsOfASecond) {
  const std::size_t frames = 100;  // 0 ... 0.528 s at 187.5 frames per second
  std::vector<double> planes = ecma_planes(frames);
  // A strong tonal band early on (frame 20 = 0.107 s) that the summary must
  // leave out, and a weaker one later on (frame 70 = 0.373 s).
  at(planes, frames, 3, 20, 10) = 5.0;
  at(planes, frames, 2, 20, 10) = 440.0;
  at(planes, frames, 3, 70, 30) = 0.75;
  at(planes, frames, 3, 70, 31) = 0.5;
  at(planes, frames, 2, 70, 30) = 1000.0;
  at(planes, frames, 2, 70, 31) = 1200.0;
  for (std::size_t k = 0; k < frames; ++k) {
    for (std::size_t b = 0; b < 53; ++b)
      at(planes, frames, 4, k, b) = 0.01 * static_cast<double>(k);
  }
  const MetricResult r = ecma_tonality_result(planes, frames);
  ASSERT_EQ(r.frame_times_s.size(), frames);
  EXPECT_DOUBLE_EQ(r.frame_times_s[57], 57.0 * 256.0 / 48000.0);
  EXPECT_EQ(r.series[0].values[20], 5.0);
  EXPECT_EQ(r.series[1].values[20], 440.0);
  EXPECT_EQ(r.series[0].values[70], 0.75);
  EXPECT_EQ(r.series[1].values[70], 1000.0);
  EXPECT_EQ(summary(r, "tonality_max").value, 0.75);
  EXPECT_EQ(summary(r, "tonal_frequency_at_max").value, 1000.0);
  // The first frame at or after 0.3 s is 57 (0.304 s): 43 frames averaged.
  EXPECT_NEAR(summary(r, "tonality_mean").value, 0.75 / 43.0, SUM_ROUNDOFF);
  // N(t) = 0.5 * 53 * 0.01 k; mean over k = 57 ... 99 is at k = 78.
  EXPECT_NEAR(r.series[2].values[10], 0.5 * 53 * 0.1, SUM_ROUNDOFF);
  EXPECT_NEAR(summary(r, "loudness_mean").value, 0.5 * 53 * 0.78, SUM_ROUNDOFF);
  EXPECT_NEAR(summary(r, "loudness_max").value, 0.5 * 53 * 0.99, SUM_ROUNDOFF);
  EXPECT_NE(summary(r, "tonality_mean").definition.find("0.3 s"), std::string::npos);
  ASSERT_EQ(r.band_arrays.size(), 5u);
  EXPECT_EQ(r.band_arrays[3].values[70 * 53 + 30], 0.75);
  EXPECT_EQ(r.band_arrays[3].axis[0], 0.5);
  EXPECT_EQ(r.band_arrays[3].axis[52], 26.5);
}

// The hearing model fills the tonal-frequency plane everywhere; where the
// specific tonality is 0 there is no tonal component and no frequency to
// report: NaN in the series and bands (null in JSON, an empty CSV cell), and
// no f_T_max when nothing is tonal.
TEST(MetricResults, EcmaTonalFrequencyIsMissingWhereNothingIsTonal) {
  const std::size_t frames = 80;
  std::vector<double> planes = ecma_planes(frames);
  for (std::size_t k = 0; k < frames; ++k) {
    for (std::size_t b = 0; b < 53; ++b)
      at(planes, frames, 2, k, b) = 9.16 * static_cast<double>(b + 1);
  }
  const MetricResult quiet = ecma_tonality_result(planes, frames);
  EXPECT_TRUE(std::isnan(quiet.series[1].values[60]));
  EXPECT_TRUE(std::isnan(quiet.band_arrays[2].values[60 * 53 + 4]));
  // The value is always listed, as a missing one.
  EXPECT_TRUE(std::isnan(summary(quiet, "tonal_frequency_at_max").value));
  EXPECT_EQ(csv_cell(quiet.series[1].values[60], NumberFormat{}), "");
  EXPECT_EQ(nlohmann::json(quiet.series[1].values[60]).dump(), "null");

  at(planes, frames, 3, 60, 4) = 0.3;
  const MetricResult tonal = ecma_tonality_result(planes, frames);
  EXPECT_EQ(tonal.series[1].values[60], 9.16 * 5.0);
  EXPECT_EQ(tonal.band_arrays[2].values[60 * 53 + 4], 9.16 * 5.0);
  EXPECT_TRUE(std::isnan(tonal.band_arrays[2].values[60 * 53 + 5]));
  EXPECT_EQ(summary(tonal, "tonal_frequency_at_max").value, 9.16 * 5.0);

  // A tonal band whose frequency estimate is 0 Hz has no tone to name either.
  at(planes, frames, 2, 60, 4) = 0.0;
  const MetricResult zero = ecma_tonality_result(planes, frames);
  EXPECT_TRUE(std::isnan(zero.series[1].values[60]));
  EXPECT_TRUE(std::isnan(zero.band_arrays[2].values[60 * 53 + 4]));
}

TEST(MetricResults, EcmaRoughnessSumsHalfBarkBandsAndTakesThe90thPercentile) {
  const std::size_t frames = 11;
  std::vector<double> specific(53 * frames, 0.0);
  for (std::size_t k = 0; k < frames; ++k) specific[53 * k + 5] = 0.2 * static_cast<double>(k);
  const MetricResult r = ecma_roughness_result(specific, frames);
  // R(k) = 0.5 * 0.2 k = 0.1 k: 0 ... 1.0; rank 0.9 * 10 = 9 gives 0.9.
  EXPECT_NEAR(r.series[0].values[7], 0.7, SUM_ROUNDOFF);
  EXPECT_NEAR(summary(r, "roughness_p90").value, 0.9, SUM_ROUNDOFF);
  EXPECT_NEAR(summary(r, "roughness_max").value, 1.0, SUM_ROUNDOFF);
  EXPECT_DOUBLE_EQ(r.frame_times_s[10], 0.2);
}

TEST(MetricResults, TimeVaryingLoudnessGivesMaximumAndN5OnA2msGrid) {
  std::vector<double> loudness(200);
  for (std::size_t f = 0; f < loudness.size(); ++f) loudness[f] = static_cast<double>(f) / 10.0;
  const MetricResult r = loudness_time_result(loudness, std::vector<double>(200 * 240, 0.0), 200);
  EXPECT_EQ(summary(r, "loudness_max").value, 19.9);
  // Rank 0.95 * 199 = 189.05 between 18.9 and 19.0.
  EXPECT_NEAR(summary(r, "n5").value, 18.905, SUM_ROUNDOFF);
  EXPECT_DOUBLE_EQ(r.frame_times_s[100], 0.2);
  EXPECT_NE(summary(r, "n5").definition.find("5 %"), std::string::npos);
}

TEST(MetricResults, FrameMetricsAreTimedAtTheirFrameCentres) {
  const MetricResult rough = roughness_result({1.0, 2.0, 3.0});
  EXPECT_EQ(rough.frame_times_s, (std::vector<double>{0.1, 0.2, 0.30000000000000004}));
  EXPECT_EQ(summary(rough, "roughness_mean").value, 2.0);
  EXPECT_EQ(summary(rough, "roughness_max").value, 3.0);
  const MetricResult ton = tonality_result({0.5});
  EXPECT_EQ(ton.frame_times_s, std::vector<double>{0.125});
}

TEST(MetricResults, StationaryLoudnessStatesItsLoudnessLevel) {
  const MetricResult r = loudness_result(4.0, std::vector<double>(240, 0.0));
  EXPECT_EQ(summary(r, "loudness").value, 4.0);
  EXPECT_EQ(summary(r, "loudness_level").value, 60.0);
  EXPECT_EQ(r.band_arrays[0].axis.size(), 240u);
}

// Xp is exceeded in p % of the frames: on the frames 0, 1, ..., 100 that is
// the value 100 - p, for every time-varying metric alike.
TEST(MetricResults, ExceedancePercentilesOfEveryTimeVaryingMetric) {
  std::vector<double> ramp(101);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
  const MetricResult results[] = {
      loudness_time_result(ramp, std::vector<double>(240 * ramp.size(), 0.0), ramp.size()),
      roughness_result(ramp), tonality_result(ramp)};
  const char* prefixes[] = {"n", "r", "k"};
  for (std::size_t m = 0; m < 3; ++m) {
    for (int p : {5, 10, 50, 90, 95}) {
      EXPECT_NEAR(summary(results[m], prefixes[m] + std::to_string(p)).value, 100.0 - p,
                  SUM_ROUNDOFF)
          << prefixes[m] << p;
    }
  }
}

// The summary table's columns are the single values each metric gives, in
// the order it gives them; the CSV rows written as frames arrive have the
// columns of the series.
TEST(MetricResults, SummaryAndFrameColumnsListEveryValue) {
  std::vector<double> planes(5 * 53 * 80, 0.0);
  planes[3 * 53 * 80 + 70 * 53 + 4] = 0.5;  // one tonal band, so f_T_max exists
  const MetricResult results[] = {
      levels_result(std::vector<double>(VH_SOUND_LEVEL_COUNT, 60.0), std::vector<double>(28, 40.0)),
      loudness_result(4.0, std::vector<double>(240, 0.0)),
      loudness_time_result({1.0, 2.0}, std::vector<double>(480, 0.0), 2),
      sharpness_result(1.5, 4.0),
      roughness_result({0.25, 0.5}),
      tonality_result({0.1, 0.2}),
      ecma_tonality_result(planes, 80),
      ecma_roughness_result(std::vector<double>(53 * 20, 0.1), 20)};
  for (const MetricResult& r : results) {
    const std::vector<SummaryColumn> columns = summary_columns(r.metric);
    ASSERT_EQ(columns.size(), r.summaries.size()) << metric_name(r.metric);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      EXPECT_EQ(columns[i].key, r.summaries[i].key) << metric_name(r.metric);
      EXPECT_EQ(columns[i].unit, r.summaries[i].unit) << metric_name(r.metric);
    }
    const std::vector<SummaryColumn> per_frame = frame_columns(r.metric);
    ASSERT_EQ(per_frame.size(), r.series.size()) << metric_name(r.metric);
    for (std::size_t i = 0; i < per_frame.size(); ++i) {
      EXPECT_EQ(per_frame[i].key, r.series[i].key) << metric_name(r.metric);
      EXPECT_EQ(per_frame[i].unit, r.series[i].unit) << metric_name(r.metric);
    }
  }
}

TEST(MetricResults, AFailureCarriesTheLibrarysText) {
  const MetricResult r = failed_metric(Metric::roughness, VH_ERR_INPUT_TOO_SHORT);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.error.rfind(vh_status_string(VH_ERR_INPUT_TOO_SHORT), 0), 0u);
  EXPECT_NE(r.error.find("9600 samples, 200 ms"), std::string::npos) << r.error;
  EXPECT_EQ(failed_metric(Metric::tonality, VH_ERR_NUMERICAL).error,
            vh_status_string(VH_ERR_NUMERICAL));
}

FileResult example_file() {
  FileResult f;
  f.path = "dir/take.wav";
  f.format = "WAV (Microsoft), Signed 16 bit PCM";
  f.file_rate_hz = 44100;
  f.file_frames = 88200;
  f.analysed_samples = 96000;
  f.resampled = true;
  f.channel_count = 1;
  ChannelResult c;
  c.rms_pa = 0.02;
  c.peak_pa = 0.0283;
  c.samples = 96000;
  c.metrics.push_back(loudness_result(4.0, std::vector<double>(240, 0.5)));
  c.metrics.push_back(roughness_result({0.25, 0.5}));
  c.metrics.push_back(failed_metric(Metric::tonality, VH_ERR_INPUT_TOO_SHORT));
  f.channels.push_back(c);
  return f;
}

RunInfo example_run() {
  RunInfo run;
  run.calibration.request.kind = CalibrationRequest::Kind::full_scale_spl;
  run.calibration.request.full_scale_spl_db = 100.0;
  run.calibration.pascal_per_unit = 2.8284271247461903;
  run.calibration.description = "2.82843 Pa per sample unit (full-scale sine = 100 dB SPL)";
  run.metrics = {Metric::loudness, Metric::roughness, Metric::tonality};
  return run;
}

TEST(Reports, TextSummaryHasOneLinePerMetricWithUnits) {
  std::ostringstream out;
  write_text_summary(out, example_file(), example_run(), NumberFormat{4, false});
  const std::string text = out.str();
  EXPECT_NE(text.find("resampled to 48000 Hz"), std::string::npos) << text;
  EXPECT_NE(text.find("full-scale sine = 100 dB SPL"), std::string::npos) << text;
  EXPECT_NE(text.find("60.0 dB SPL (RMS)"), std::string::npos) << text;
  EXPECT_NE(text.find("loudness        N = 4 sone, LN = 60 phon\n"), std::string::npos) << text;
  EXPECT_NE(text.find("roughness       R_mean = 0.375 asper, R_max = 0.5 asper, R5 = 0.4875 "
                      "asper, R10 = 0.475 asper, R50 = 0.375 asper, R90 = 0.275 asper, R95 = "
                      "0.2625 asper\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("tonality        failed: input is too short"), std::string::npos) << text;
}

TEST(Reports, JsonHoldsValuesDefinitionsUnitsFramesAndCalibration) {
  const nlohmann::ordered_json j = json_report({example_file()}, example_run());
  EXPECT_EQ(j["library"]["interface"], vh_abi_version());
  EXPECT_EQ(j["calibration"]["method"], "full-scale-spl");
  EXPECT_EQ(j["calibration"]["pascal_per_sample_unit"], 2.8284271247461903);
  const auto& file = j["files"][0];
  EXPECT_EQ(file["status"], "failed");
  EXPECT_EQ(file["resampling"]["from_hz"], 44100);
  const auto& metrics = file["channels"][0]["metrics"];
  EXPECT_EQ(metrics["loudness"]["summary"]["loudness"]["value"], 4.0);
  EXPECT_EQ(metrics["loudness"]["summary"]["loudness"]["unit"], "sone");
  EXPECT_EQ(metrics["loudness"]["bands"]["specific_loudness"]["values"].size(), 240u);
  EXPECT_EQ(metrics["roughness"]["frame_times"]["values"][1], 0.2);
  EXPECT_EQ(metrics["roughness"]["series"]["roughness"]["values"][1], 0.5);
  EXPECT_FALSE(
      metrics["roughness"]["summary"]["roughness_max"]["definition"].get<std::string>().empty());
  EXPECT_EQ(metrics["tonality"]["status"], "failed");
  // Doubles are written so that they read back exactly.
  const nlohmann::json back = nlohmann::json::parse(j.dump());
  EXPECT_EQ(back["calibration"]["pascal_per_sample_unit"].get<double>(), 2.8284271247461903);
}

TEST(Reports, CsvFilesStartWithTimeAndRoundTrip) {
  varnholt::test::TemporaryDirectory dir;
  FileResult a = example_file();
  FileResult b = example_file();
  b.path = "other/take.flac";  // the same name: must not overwrite
  b.channels[0].metrics[1] = roughness_result({1.0 / 3.0, 0.1});
  const std::vector<std::string> written =
      write_csv_files((dir / "csv").string(), {a, b}, NumberFormat{17, true});
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(std::filesystem::path(written[0]).filename(), "take.ch1.roughness.csv");
  EXPECT_EQ(std::filesystem::path(written[1]).filename(), "take-2.ch1.roughness.csv");
  const std::string text = varnholt::test::read_text_file(written[1]);
  EXPECT_EQ(text, "time_s,roughness_asper\n0.1,0.3333333333333333\n0.2,0.1\n");
}

// Rows written frame by frame give the file written from the whole result;
// a metric that fails in the end, or a file that fails, leaves none.
TEST(Reports, CsvRowsWrittenAsFramesComeMatchTheWholeResult) {
  varnholt::test::TemporaryDirectory dir;
  FileResult file = example_file();
  file.channels[0].metrics.push_back(
      ecma_roughness_result(std::vector<double>(53 * 3, 1.0 / 7.0), 3));
  write_csv_files((dir / "whole").string(), {file}, NumberFormat{17, true});
  const auto feed = [&file](FrameCsvWriter& live) {
    for (const MetricResult& m : file.channels[0].metrics) {
      for (std::size_t k = 0; k < m.frame_times_s.size(); ++k) {
        std::vector<double> values;
        for (const Series& s : m.series) values.push_back(s.values[k]);
        live.row(1, m.metric, m.frame_times_s[k], values);
      }
    }
    live.row(1, Metric::tonality, 0.125, std::vector<double>{0.5});  // failed at the end
  };
  std::filesystem::create_directory(dir / "live");
  FrameCsvWriter live((dir / "live").string(), "take", NumberFormat{17, true});
  feed(live);
  EXPECT_TRUE(std::filesystem::exists(dir / "live" / "take.ch1.roughness.csv.part"));
  EXPECT_FALSE(std::filesystem::exists(dir / "live" / "take.ch1.roughness.csv"));
  EXPECT_TRUE(live.finish(file).empty());
  for (const char* name : {"take.ch1.roughness.csv", "take.ch1.ecma-roughness.csv"}) {
    EXPECT_EQ(varnholt::test::read_text_file(dir / "live" / name),
              varnholt::test::read_text_file(dir / "whole" / name))
        << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "live" / "take.ch1.tonality.csv"));
  EXPECT_FALSE(std::filesystem::exists(dir / "live" / "take.ch1.tonality.csv.part"));

  file.error = "read error";
  std::filesystem::create_directory(dir / "failed");
  FrameCsvWriter failed((dir / "failed").string(), "take", NumberFormat{17, true});
  feed(failed);
  failed.finish(file);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "failed"));
}

}  // namespace
