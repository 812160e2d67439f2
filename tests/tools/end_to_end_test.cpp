// The built program on real sound files written by the test: physics checks
// of the whole chain (file, resampling, calibration, library, reports),
// batches, and every kind of bad input.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "sound_files.h"

namespace {

using varnholt::test::TemporaryDirectory;
using varnholt::test::tone_at_rate;
using varnholt::test::write_sound_file;

constexpr int FLOAT_WAV = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
constexpr int DOUBLE_WAV = SF_FORMAT_WAV | SF_FORMAT_DOUBLE;

// Zwicker's model puts a 1 kHz tone at 40 dB, 40 phon by definition, at
// 1 sone; the third-octave filters and the model's tabulated curves leave a
// few percent.
constexpr double ONE_SONE_TOLERANCE = 0.05;
// A 44.1 kHz recording resampled to 48 kHz must give the same loudness.
constexpr double RESAMPLING_TOLERANCE = 0.01;
// Equivalent calibrations differ only in the rounding of their factor.
constexpr double CALIBRATION_ROUNDOFF = 1e-9;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> error_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

ToolRun run_tool(const TemporaryDirectory& dir, const std::string& args,
                 const std::string& input = "") {
  const std::string out = (dir / "stdout.txt").string();
  const std::string err = (dir / "stderr.txt").string();
  std::string command =
      std::string("'") + VARNHOLT_PROGRAM + "' " + args + " >'" + out + "' 2>'" + err + "'";
  if (!input.empty()) command += " <'" + input + "'";
  const int raw = std::system(command.c_str());
  ToolRun r;
  EXPECT_TRUE(WIFEXITED(raw)) << "the program did not exit normally: " << command;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = varnholt::test::read_text_file(out);
  r.err = varnholt::test::read_text_file(err);
  return r;
}

nlohmann::json read_json(const std::filesystem::path& path) {
  return nlohmann::json::parse(varnholt::test::read_text_file(path));
}

// The files of a JSON Lines output (one document per file and channel per
// line), the channels of one file joined again.
nlohmann::json files_of_json_lines(const std::string& text) {
  nlohmann::json files = nlohmann::json::array();
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json file = nlohmann::json::parse(line)["files"][0];
    if (!files.empty() && files.back()["path"] == file["path"] && file.contains("channels")) {
      for (const auto& c : file["channels"]) files.back()["channels"].push_back(c);
    } else {
      files.push_back(file);
    }
  }
  return files;
}

double stationary_loudness(const nlohmann::json& file, std::size_t channel = 0) {
  return file["channels"][channel]["metrics"]["loudness"]["summary"]["loudness"]["value"]
      .get<double>();
}

std::string path_of(const TemporaryDirectory& dir, const std::string& name) {
  return (dir / name).string();
}

TEST(EndToEnd, A1kHzToneAt40dBIsOneSoneInTextAndJson) {
  TemporaryDirectory dir;
  write_sound_file(dir / "tone.wav", {tone_at_rate(1000.0, 40.0, 1.0, 48000)}, 48000, FLOAT_WAV);
  const ToolRun r = run_tool(dir, "--metrics loudness --precision full --json " +
                                      path_of(dir, "out.json") + " " + path_of(dir, "tone.wav"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(r.out, m, std::regex("N = ([0-9.e+-]+) sone, LN = ([0-9.e+-]+) phon")))
      << r.out;
  const double text_sone = std::stod(m[1]);
  EXPECT_NEAR(text_sone, 1.0, ONE_SONE_TOLERANCE);
  EXPECT_NEAR(std::stod(m[2]), 40.0, 10.0 * std::log2(1.0 + ONE_SONE_TOLERANCE));
  const nlohmann::json j = read_json(dir / "out.json");
  EXPECT_EQ(stationary_loudness(j["files"][0]), text_sone);  // --precision full round-trips
  EXPECT_EQ(j["calibration"]["pascal_per_sample_unit"], 1.0);
  std::cout << "1 kHz, 40 dB SPL: " << text_sone << " sone\n";
}

TEST(EndToEnd, TheSameToneAt44kHzGivesTheSameLoudness) {
  TemporaryDirectory dir;
  write_sound_file(dir / "t48.wav", {tone_at_rate(1000.0, 40.0, 1.0, 48000)}, 48000, FLOAT_WAV);
  write_sound_file(dir / "t44.wav", {tone_at_rate(1000.0, 40.0, 1.0, 44100)}, 44100, FLOAT_WAV);
  const ToolRun r = run_tool(dir, "--metrics loudness --json " + path_of(dir, "out.json") + " " +
                                      path_of(dir, "t48.wav") + " " + path_of(dir, "t44.wav"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("resampled to 48000 Hz"), std::string::npos) << r.out;
  const nlohmann::json files =
      files_of_json_lines(varnholt::test::read_text_file(dir / "out.json"));
  EXPECT_TRUE(files[0]["resampling"].is_null());
  EXPECT_EQ(files[1]["resampling"]["from_hz"], 44100);
  const double n48 = stationary_loudness(files[0]);
  const double n44 = stationary_loudness(files[1]);
  EXPECT_NEAR(n44, n48, RESAMPLING_TOLERANCE * n48);
  std::cout << "48 kHz: " << n48 << " sone, 44.1 kHz: " << n44 << " sone\n";
}

TEST(EndToEnd, FullScaleAndCalibratorCalibrationsMatchTheEquivalentScale) {
  TemporaryDirectory dir;
  // A 1 kHz tone at RMS 0.1 units and a calibrator recording at RMS 0.3 units.
  const auto units = [](double rms) { return 20.0 * std::log10(rms / 2e-5); };
  write_sound_file(dir / "x.wav", {tone_at_rate(1000.0, units(0.1), 1.0, 48000)}, 48000,
                   DOUBLE_WAV);
  write_sound_file(dir / "cal.wav", {tone_at_rate(1000.0, units(0.3), 1.0, 48000)}, 48000,
                   DOUBLE_WAV);
  const auto loudness_with = [&](const std::string& calibration) {
    const ToolRun r =
        run_tool(dir, "--metrics loudness --json - " + calibration + " " + path_of(dir, "x.wav"));
    EXPECT_EQ(r.status, 0) << calibration << ": " << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    return std::pair{stationary_loudness(j["files"][0]), j["calibration"]};
  };
  char scale[64];
  // Full scale at 80 dB SPL: sqrt(2) * 20 uPa * 10^4 Pa per unit.
  std::snprintf(scale, sizeof scale, "%.17g", std::sqrt(2.0) * 2e-5 * 1e4);
  const auto [n_scale_a, cal_a] = loudness_with(std::string("--scale ") + scale);
  const auto [n_full, cal_full] = loudness_with("--full-scale-spl 80");
  EXPECT_EQ(cal_full["method"], "full-scale-spl");
  EXPECT_NEAR(n_full, n_scale_a, CALIBRATION_ROUNDOFF * n_scale_a);
  // Calibrator at 94 dB recorded at 0.3 units RMS.
  std::snprintf(scale, sizeof scale, "%.17g", 2e-5 * std::pow(10.0, 94.0 / 20.0) / 0.3);
  const auto [n_scale_b, cal_b] = loudness_with(std::string("--scale ") + scale);
  const auto [n_cal, cal_cal] =
      loudness_with("--calibration " + path_of(dir, "cal.wav") + " --calibration-spl 94");
  EXPECT_EQ(cal_cal["method"], "calibrator");
  EXPECT_NEAR(cal_cal["calibrator_rms_units"].get<double>(), 0.3, 1e-12);
  EXPECT_NEAR(n_cal, n_scale_b, CALIBRATION_ROUNDOFF * n_scale_b);
  EXPECT_GT(n_scale_b, n_scale_a);  // 94 dB / 0.3 units is the louder calibration
}

TEST(EndToEnd, AStereoFileGivesTwoChannelResults) {
  TemporaryDirectory dir;
  write_sound_file(dir / "st.wav",
                   {tone_at_rate(1000.0, 40.0, 1.0, 48000), tone_at_rate(1000.0, 60.0, 1.0, 48000)},
                   48000, FLOAT_WAV);
  const ToolRun r = run_tool(
      dir, "--metrics loudness --json " + path_of(dir, "o.json") + " " + path_of(dir, "st.wav"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("channel 1"), std::string::npos);
  EXPECT_NE(r.out.find("channel 2"), std::string::npos);
  const nlohmann::json file = read_json(dir / "o.json")["files"][0];
  ASSERT_EQ(file["channels"].size(), 2u);
  // 20 dB more is about four times as loud (10 phon per doubling).
  EXPECT_NEAR(stationary_loudness(file, 0), 1.0, ONE_SONE_TOLERANCE);
  EXPECT_NEAR(stationary_loudness(file, 1) / stationary_loudness(file, 0), 4.0, 0.4);
  const ToolRun second =
      run_tool(dir, "--metrics loudness --channel 2 --json - " + path_of(dir, "st.wav"));
  ASSERT_EQ(second.status, 0) << second.err;
  const nlohmann::json only = nlohmann::json::parse(second.out)["files"][0];
  ASSERT_EQ(only["channels"].size(), 1u);
  EXPECT_EQ(only["channels"][0]["channel"], 2);
  EXPECT_EQ(stationary_loudness(only), stationary_loudness(file, 1));
}

// Files, and the metrics and channels of each file, on several threads:
// every output byte for byte that of one thread.
TEST(EndToEnd, SeveralJobsGiveExactlyTheOutputsOfOne) {
  TemporaryDirectory dir;
  std::string files;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "f" + std::to_string(i) + ".wav";
    write_sound_file(dir / name, {tone_at_rate(500.0 + 250.0 * i, 50.0 + 5.0 * i, 0.5, 48000)},
                     48000, FLOAT_WAV);
    files += " " + path_of(dir, name);
  }
  write_sound_file(dir / "stereo.wav",
                   {tone_at_rate(1000.0, 60.0, 0.5, 44100), tone_at_rate(3000.0, 50.0, 0.5, 44100)},
                   44100, FLOAT_WAV);
  files += " " + path_of(dir, "stereo.wav");
  const std::string args = "--metrics all --quiet --csv-bands --json - ";
  const ToolRun one = run_tool(dir, args + "--csv " + path_of(dir, "one") + " --jobs 1" + files);
  const ToolRun three = run_tool(dir, args + "--csv " + path_of(dir, "three") + " --jobs 3" + files);
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(three.status, 0) << three.err;
  EXPECT_EQ(files_of_json_lines(one.out).dump(), files_of_json_lines(three.out).dump());
  std::size_t compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "one")) {
    const std::filesystem::path name = entry.path().filename();
    EXPECT_EQ(varnholt::test::read_text_file(entry.path()),
              varnholt::test::read_text_file(dir / "three" / name))
        << name;
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<std::size_t>(std::distance(
                          std::filesystem::directory_iterator(dir / "three"),
                          std::filesystem::directory_iterator{})));
  EXPECT_GT(compared, 20u);
}

TEST(EndToEnd, BadInputsFailOneLineEachAndTheRestOfTheBatchIsAnalysed) {
  TemporaryDirectory dir;
  varnholt::test::write_text_file(dir / "notes.wav", "RIFF? no, just text\n");
  varnholt::test::write_text_file(dir / "empty.wav", "");
  write_sound_file(dir / "short.wav", {tone_at_rate(1000.0, 60.0, 0.1, 48000)}, 48000, FLOAT_WAV);
  write_sound_file(dir / "loud.wav", {std::vector<double>(4800, 3e7)}, 48000, DOUBLE_WAV);
  std::vector<double> with_nan(4800, 0.01);
  with_nan[100] = std::nan("");
  write_sound_file(dir / "nan.wav", {with_nan}, 48000, FLOAT_WAV);
  write_sound_file(dir / "good.wav", {tone_at_rate(1000.0, 60.0, 0.5, 48000)}, 48000, FLOAT_WAV);
  const std::vector<std::string> bad = {"missing.wav", "notes.wav", "empty.wav",
                                        "short.wav",   "loud.wav",  "nan.wav"};
  std::string args =
      "--metrics loudness,loudness-time,roughness,tonality --json " + path_of(dir, "o.json");
  for (const std::string& name : bad) args += " " + path_of(dir, name);
  args += " " + path_of(dir, "good.wav");
  const ToolRun r = run_tool(dir, args);
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = r.error_lines();
  const struct {
    std::string file;
    std::string reason;
  } expected[] = {
      {"missing.wav", "no such file"},
      {"notes.wav", "not an audio file"},
      {"empty.wav", "empty file"},
      {"short.wav", "roughness: input is too short"},
      {"short.wav", "tonality: input is too short"},
      {"loud.wav", "exceeds one atmosphere"},
      {"nan.wav", "sample 100 (at 0.00208333 s) is not a finite number"},
  };
  for (const auto& e : expected) {
    bool found = false;
    for (const std::string& line : lines) {
      found = found || (line.rfind("varnholt: error: " + path_of(dir, e.file) + ": ", 0) == 0 &&
                        line.find(e.reason) != std::string::npos);
    }
    EXPECT_TRUE(found) << e.file << ": " << e.reason << "\n" << r.err;
  }
  EXPECT_EQ(lines.size(), 7u) << r.err;
  const nlohmann::json files = files_of_json_lines(varnholt::test::read_text_file(dir / "o.json"));
  ASSERT_EQ(files.size(), 7u);
  EXPECT_EQ(files[3]["channels"][0]["metrics"]["loudness"]["status"], "ok");
  EXPECT_EQ(files[6]["status"], "ok");
  EXPECT_GT(stationary_loudness(files[6]), 1.0);
}

TEST(EndToEnd, UnknownOptionsAreUsageErrors) {
  TemporaryDirectory dir;
  const ToolRun r = run_tool(dir, "--loudest x.wav");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("varnholt: error: ", 0), 0u) << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST(EndToEnd, StandardInputReadsAWavStream) {
  TemporaryDirectory dir;
  write_sound_file(dir / "tone.wav", {tone_at_rate(1000.0, 40.0, 1.0, 48000)}, 48000, FLOAT_WAV);
  const ToolRun from_file =
      run_tool(dir, "--metrics loudness --json - " + path_of(dir, "tone.wav"));
  const ToolRun from_pipe =
      run_tool(dir, "--metrics loudness --json - -", path_of(dir, "tone.wav"));
  ASSERT_EQ(from_pipe.status, 0) << from_pipe.err;
  EXPECT_EQ(stationary_loudness(nlohmann::json::parse(from_pipe.out)["files"][0]),
            stationary_loudness(nlohmann::json::parse(from_file.out)["files"][0]));
}

// --follow prints every frame as a line "time metric value" while the pipe
// is read; the frames are those of the CSV written from a file.
TEST(EndToEnd, FollowPrintsEveryFrameOfAPipedWavStream) {
  TemporaryDirectory dir;
  write_sound_file(dir / "tone.wav", {tone_at_rate(1000.0, 60.0, 0.5, 44100)}, 44100, FLOAT_WAV);
  const ToolRun live = run_tool(
      dir, "--follow --channel 1 --precision full --metrics loudness-time,roughness -",
      path_of(dir, "tone.wav"));
  ASSERT_EQ(live.status, 0) << live.err;
  const ToolRun file = run_tool(dir, "--metrics loudness-time,roughness --csv " +
                                         path_of(dir, "csv") + " " + path_of(dir, "tone.wav"));
  ASSERT_EQ(file.status, 0) << file.err;
  std::istringstream lines(live.out);
  std::vector<std::string> loudness, roughness;
  const std::regex frame_line(R"(([0-9.]+) (loudness-time|roughness) (\S+))");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, frame_line)) continue;
    (m[2] == "loudness-time" ? loudness : roughness).push_back(m[3]);
  }
  const auto csv_values = [&](const std::string& name) {
    std::istringstream in(varnholt::test::read_text_file(dir / "csv" / name));
    std::vector<std::string> values;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) values.push_back(line.substr(line.find(',') + 1));
    return values;
  };
  EXPECT_EQ(loudness, csv_values("tone.ch1.loudness-time.csv"));
  EXPECT_EQ(roughness, csv_values("tone.ch1.roughness.csv"));
  EXPECT_EQ(loudness.size(), 250u);
}

TEST(EndToEnd, CsvHasOneFilePerTimeResolvedMetricWithTimeFirst) {
  TemporaryDirectory dir;
  write_sound_file(dir / "tone.wav", {tone_at_rate(1000.0, 60.0, 0.5, 48000)}, 48000, FLOAT_WAV);
  const ToolRun r = run_tool(dir, "--metrics loudness,loudness-time,roughness --csv " +
                                      path_of(dir, "csv") + " " + path_of(dir, "tone.wav"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string lt = varnholt::test::read_text_file(dir / "csv" / "tone.ch1.loudness-time.csv");
  EXPECT_EQ(lt.rfind("time_s,loudness_sone\n0,", 0), 0u) << lt.substr(0, 80);
  // 0.5 s in 2 ms frames: 250 rows and the header.
  EXPECT_EQ(std::count(lt.begin(), lt.end(), '\n'), 251);
  const std::string rough = varnholt::test::read_text_file(dir / "csv" / "tone.ch1.roughness.csv");
  EXPECT_EQ(rough.rfind("time_s,roughness_asper\n0.1,", 0), 0u) << rough;
  EXPECT_FALSE(std::filesystem::exists(dir / "csv" / "tone.ch1.loudness.csv"));
}

TEST(EndToEnd, TheDemoRunsEveryMetric) {
  TemporaryDirectory dir;
  const ToolRun r = run_tool(dir, "demo");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* metric : {"levels ", "loudness ", "loudness-time ", "sharpness ", "roughness ",
                             "tonality ", "ecma-tonality ", "ecma-roughness "}) {
    EXPECT_NE(r.out.find(std::string("    ") + metric), std::string::npos) << metric;
  }
  EXPECT_EQ(r.out.find("failed"), std::string::npos) << r.out;
  std::cout << r.out;
}

// A mistyped output path fails at once, before a single file is analysed:
// nothing on standard output, exit status 2.
TEST(EndToEnd, BadOutputPathsAreRefusedBeforeTheAnalysis) {
  TemporaryDirectory dir;
  write_sound_file(dir / "tone.wav", {tone_at_rate(1000.0, 60.0, 1.0, 48000)}, 48000, FLOAT_WAV);
  varnholt::test::write_text_file(dir / "plain.txt", "a file, not a directory\n");
  const std::string tone = " " + path_of(dir, "tone.wav");
  const struct {
    std::string option;
    std::string reason;
  } cases[] = {
      {"--json /nonexistent/dir/o.json", "cannot write the JSON file /nonexistent/dir/o.json"},
      {"--csv " + path_of(dir, "plain.txt"), "is not a directory"},
      {"--summary-csv /nonexistent/dir/s.csv", "cannot write the summary table"},
      {"--json " + dir.path().string(), "it is a directory"},
  };
  for (const auto& c : cases) {
    const ToolRun r = run_tool(dir, "--metrics loudness " + c.option + tone);
    EXPECT_EQ(r.status, 2) << c.option;
    EXPECT_TRUE(r.out.empty()) << c.option << ": " << r.out;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
}

// "-" names standard output for the summary table as for JSON: the table
// replaces the text summary there, and no file called "-" appears. Both on
// standard output at once is a usage error.
TEST(EndToEnd, TheSummaryTableGoesToStandardOutput) {
  TemporaryDirectory dir;
  write_sound_file(dir / "tone.wav", {tone_at_rate(1000.0, 60.0, 0.5, 48000)}, 48000, FLOAT_WAV);
  const ToolRun r = run_tool(dir, "--metrics levels --summary-csv - " + path_of(dir, "tone.wav"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("path,channel,status,error,warnings,level_db_spl [dB],", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(path_of(dir, "tone.wav") + ",1,ok,"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("LAeq ="), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "-"));
  const ToolRun both =
      run_tool(dir, "--json - --summary-csv - " + path_of(dir, "tone.wav"));
  EXPECT_EQ(both.status, 2);
  EXPECT_NE(both.err.find("both ask for standard output"), std::string::npos) << both.err;
}

// Results appear file by file: stopping a batch with SIGTERM once the first
// file's summary is out leaves complete JSON lines, summary rows and CSV
// files for every file finished, and nothing half-written.
TEST(EndToEnd, SigtermLeavesTheFinishedFilesComplete) {
  TemporaryDirectory dir;
  write_sound_file(dir / "take.wav", {tone_at_rate(1000.0, 60.0, 1.0, 48000)}, 48000, FLOAT_WAV);
  constexpr std::size_t FILES = 100;
  std::string files;
  for (std::size_t i = 0; i < FILES; ++i) {
    const std::string name = "take" + std::to_string(i) + ".wav";
    std::filesystem::create_symlink(dir / "take.wav", dir / name);
    files += " " + path_of(dir, name);
  }
  const std::string script =
      std::string("'") + VARNHOLT_PROGRAM + "' --metrics loudness-time,levels --json " +
      path_of(dir, "o.jsonl") + " --summary-csv " + path_of(dir, "s.csv") + " --csv " +
      path_of(dir, "csv") + files + " >" + path_of(dir, "out.txt") + " 2>/dev/null & pid=$!; " +
      "until grep -q 'loudness-time' " + path_of(dir, "out.txt") +
      " 2>/dev/null || ! kill -0 $pid 2>/dev/null; do sleep 0.05; done; kill -TERM $pid; " +
      "wait $pid; echo $? >" + path_of(dir, "status.txt");
  ASSERT_EQ(std::system(script.c_str()), 0);
  EXPECT_EQ(varnholt::test::read_text_file(dir / "status.txt"), "143\n");  // 128 + SIGTERM
  std::istringstream jsonl(varnholt::test::read_text_file(dir / "o.jsonl"));
  std::size_t lines = 0;
  for (std::string line; std::getline(jsonl, line); ++lines) {
    const nlohmann::json j = nlohmann::json::parse(line);
    EXPECT_EQ(j["files"][0]["status"], "ok");
  }
  EXPECT_GE(lines, 1u);
  EXPECT_LT(lines, FILES);
  std::istringstream summary(varnholt::test::read_text_file(dir / "s.csv"));
  std::vector<std::string> rows;
  for (std::string row; std::getline(summary, row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), lines + 1);  // the header and one row per finished file
  for (const std::string& row : rows) {
    EXPECT_EQ(std::count(row.begin(), row.end(), ','),
              std::count(rows[0].begin(), rows[0].end(), ','));
  }
  // Every file written has a CSV file; any CSV file under its own name is
  // complete (one in progress is still a .part file).
  std::size_t complete = 0;
  for (std::size_t i = 0; i < FILES; ++i) {
    const std::filesystem::path csv_path =
        dir / "csv" / ("take" + std::to_string(i) + ".ch1.loudness-time.csv");
    if (!std::filesystem::exists(csv_path)) continue;
    const std::string csv = varnholt::test::read_text_file(csv_path);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 501) << i;  // 1 s of 2 ms frames
    ++complete;
  }
  EXPECT_GE(complete, lines);
  EXPECT_LT(complete, FILES);
}

// A calibrated 94 dB, 1 kHz tone in a file: every level reads 94.0 dB, and
// the summary table has them in columns with their unit.
TEST(EndToEnd, LevelsOfACalibratorToneAndTheSummaryTable) {
  TemporaryDirectory dir;
  write_sound_file(dir / "cal.wav", {tone_at_rate(1000.0, 94.0, 2.0, 48000)}, 48000, DOUBLE_WAV);
  varnholt::test::write_text_file(dir / "bad.wav", "no sound here\n");
  const ToolRun r =
      run_tool(dir, "--metrics levels,loudness --bands --summary-csv " + path_of(dir, "s.csv") +
                        " " + path_of(dir, "cal.wav") + " " + path_of(dir, "bad.wav"));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("LAeq = 94 dB, LCeq = 94 dB, LZeq = 94 dB, LAFmax = 94 dB"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("1000 Hz  94."), std::string::npos) << r.out;
  const std::string table = varnholt::test::read_text_file(dir / "s.csv");
  std::istringstream in(table);
  std::string header, cal, bad;
  std::getline(in, header);
  std::getline(in, cal);
  std::getline(in, bad);
  EXPECT_EQ(header.rfind("path,channel,status,error,warnings,level_db_spl [dB],", 0), 0u);
  EXPECT_NE(header.find(",levels.laeq [dB],"), std::string::npos) << header;
  EXPECT_NE(header.find(",loudness.loudness [sone],"), std::string::npos) << header;
  EXPECT_EQ(cal.rfind(path_of(dir, "cal.wav") + ",1,ok,,,94", 0), 0u) << cal;
  EXPECT_EQ(bad.rfind(path_of(dir, "bad.wav") + ",,failed,not an audio file", 0), 0u) << bad;
  EXPECT_EQ(std::count(bad.begin(), bad.end(), ','), std::count(header.begin(), header.end(), ','));
}

// Guesses the tool has to make are stated: a DC offset (1 Pa of DC reads
// 94 dB and counts as sound everywhere) with its size, the remedy
// --remove-dc, and CSV names changed to keep two inputs apart.
TEST(EndToEnd, DcOffsetsAndRenamedCsvFilesAreReported) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  std::vector<double> dc = tone_at_rate(1000.0, 60.0, 1.0, 48000);
  for (double& x : dc) x += 1.0;
  write_sound_file(dir / "a" / "take.wav", {dc}, 48000, DOUBLE_WAV);
  write_sound_file(dir / "b" / "take.wav", {dc}, 48000, DOUBLE_WAV);
  const std::string inputs = " " + path_of(dir, "a/take.wav") + " " + path_of(dir, "b/take.wav");
  const ToolRun plain = run_tool(dir, "--metrics levels --json " + path_of(dir, "o.jsonl") +
                                          " --csv " + path_of(dir, "csv") + inputs);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("warning: a DC offset of 1 Pa ("), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("warning: its CSV files are named take-2.*"), std::string::npos)
      << plain.out;
  const nlohmann::json files = files_of_json_lines(varnholt::test::read_text_file(dir / "o.jsonl"));
  EXPECT_EQ(files[1]["csv_name"], "take-2");
  EXPECT_NEAR(files[0]["channels"][0]["dc_offset_pa"].get<double>(), 1.0, 1e-9);
  EXPECT_EQ(files[0]["channels"][0]["warnings"].size(), 1u);

  const ToolRun removed =
      run_tool(dir, "--metrics levels --remove-dc --json - " + path_of(dir, "a/take.wav"));
  ASSERT_EQ(removed.status, 0) << removed.err;
  const nlohmann::json j = nlohmann::json::parse(removed.out);
  const auto& channel = j["files"][0]["channels"][0];
  EXPECT_TRUE(channel["dc_removed"].get<bool>());
  // What is left is the 60 dB tone.
  EXPECT_NEAR(channel["metrics"]["levels"]["summary"]["lzeq"]["value"].get<double>(), 60.0, 0.01);
}

// Folders stand for the sound files in them; --start and --duration pick a
// part of every file.
TEST(EndToEnd, FoldersAndTimeSelection) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir / "rec" / "day2");
  write_sound_file(dir / "rec" / "a.wav", {tone_at_rate(1000.0, 60.0, 1.0, 48000)}, 48000,
                   FLOAT_WAV);
  write_sound_file(dir / "rec" / "day2" / "b.flac", {tone_at_rate(1000.0, 60.0, 1.0, 48000)}, 48000,
                   SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  varnholt::test::write_text_file(dir / "rec" / "notes.txt", "not sound\n");
  const ToolRun flat = run_tool(dir, "--metrics levels " + path_of(dir, "rec"));
  EXPECT_EQ(flat.status, 0) << flat.err;
  EXPECT_NE(flat.out.find("a.wav"), std::string::npos);
  EXPECT_EQ(flat.out.find("b.flac"), std::string::npos);
  const ToolRun deep = run_tool(dir, "--metrics levels --recursive " + path_of(dir, "rec"));
  EXPECT_NE(deep.out.find("b.flac"), std::string::npos) << deep.out;
  const ToolRun empty = run_tool(dir, "--metrics levels " + path_of(dir, "rec/day2/none"));
  EXPECT_EQ(empty.status, 1);

  std::vector<double> loud_then_quiet = tone_at_rate(1000.0, 80.0, 1.0, 48000);
  const std::vector<double> quiet = tone_at_rate(1000.0, 40.0, 2.0, 48000);
  loud_then_quiet.insert(loud_then_quiet.end(), quiet.begin(), quiet.end());
  write_sound_file(dir / "lq.wav", {loud_then_quiet}, 48000, DOUBLE_WAV);
  const ToolRun part =
      run_tool(dir, "--metrics levels --start 1.5 --duration 1 --json - " + path_of(dir, "lq.wav"));
  ASSERT_EQ(part.status, 0) << part.err;
  const nlohmann::json j = nlohmann::json::parse(part.out)["files"][0];
  EXPECT_EQ(j["analysed_span"]["start_s"], 1.5);
  EXPECT_EQ(j["analysed_span"]["duration_s"], 1.0);
  EXPECT_NEAR(j["channels"][0]["metrics"]["levels"]["summary"]["lzeq"]["value"].get<double>(), 40.0,
              0.01);
  const ToolRun beyond = run_tool(dir, "--metrics levels --start 5 " + path_of(dir, "lq.wav"));
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(beyond.err.find("lies beyond the end of the file (3 s)"), std::string::npos)
      << beyond.err;
}

TEST(EndToEnd, VersionNamesTheInterface) {
  TemporaryDirectory dir;
  const ToolRun r = run_tool(dir, "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("interface 1"), std::string::npos) << r.out;
}

}  // namespace
