// The command line: defaults, every option, conflicts and usage errors.
#include "options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "varnholt.h"

namespace {

using namespace varnholt::cli;

struct Parsed {
  ParsedCommandLine result;
  std::string out;
  std::string err;
};

Parsed parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"varnholt"};
  argv.insert(argv.end(), args);
  std::ostringstream out, err;
  Parsed p{parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err), "", ""};
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(Options, DefaultsAnalyseEveryMetricInPascalInTheFreeField) {
  const Parsed p = parse({"a.wav", "b.flac"});
  ASSERT_TRUE(p.result.options);
  const Options& o = *p.result.options;
  EXPECT_FALSE(o.demo);
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.wav", "b.flac"}));
  EXPECT_EQ(o.metrics.size(), ALL_METRICS.size());
  EXPECT_EQ(o.sound_field, 0);
  EXPECT_EQ(o.calibration.kind, CalibrationRequest::Kind::scale);
  EXPECT_EQ(o.calibration.scale_pa, 1.0);
  EXPECT_FALSE(o.channel);
  EXPECT_EQ(o.jobs, default_jobs());
  EXPECT_GE(o.jobs, 1u);
  EXPECT_FALSE(o.json_path);
  EXPECT_TRUE(o.csv_format.round_trip);
  EXPECT_FALSE(o.text_format.round_trip);
  EXPECT_FALSE(o.quiet);
  EXPECT_FALSE(o.follow);
  const Parsed all = parse({"--metrics", "all", "a.wav"});
  ASSERT_TRUE(all.result.options) << all.err;
  EXPECT_EQ(all.result.options->metrics, o.metrics);
}

TEST(Options, EveryOptionIsTaken) {
  const Parsed p = parse({"--metrics", "sharpness,loudness,sharpness", "--field", "diffuse",
                          "--channel", "2", "--full-scale-spl", "110", "--json", "-", "--csv",
                          "out", "--precision", "6", "--jobs", "3", "x.wav", "-"});
  ASSERT_TRUE(p.result.options) << p.err;
  const Options& o = *p.result.options;
  EXPECT_EQ(o.metrics, (std::vector<Metric>{Metric::sharpness, Metric::loudness}));
  EXPECT_EQ(o.sound_field, 1);
  EXPECT_EQ(o.channel, 2);
  EXPECT_EQ(o.calibration.kind, CalibrationRequest::Kind::full_scale_spl);
  EXPECT_EQ(o.calibration.full_scale_spl_db, 110.0);
  EXPECT_EQ(o.json_path, "-");
  EXPECT_EQ(o.csv_dir, "out");
  EXPECT_EQ(o.text_format.significant_digits, 6);
  EXPECT_FALSE(o.csv_format.round_trip);
  EXPECT_EQ(o.jobs, 3u);
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"x.wav", "-"}));
}

TEST(Options, MetricsTakeOneListAndLeaveTheFiles) {
  const Parsed p =
      parse({"--metrics", "loudness", "a.wav", "--metrics", "roughness,tonality", "b.wav"});
  ASSERT_TRUE(p.result.options) << p.err;
  EXPECT_EQ(p.result.options->metrics,
            (std::vector<Metric>{Metric::loudness, Metric::roughness, Metric::tonality}));
  EXPECT_EQ(p.result.options->inputs, (std::vector<std::string>{"a.wav", "b.wav"}));
}

TEST(Options, CalibratorRecordingUsesTheChosenChannel) {
  const Parsed p =
      parse({"--calibration", "cal.wav", "--calibration-spl", "94", "--channel", "2", "x.wav"});
  ASSERT_TRUE(p.result.options) << p.err;
  const CalibrationRequest& c = p.result.options->calibration;
  EXPECT_EQ(c.kind, CalibrationRequest::Kind::calibrator);
  EXPECT_EQ(c.calibrator_path, "cal.wav");
  EXPECT_EQ(c.calibrator_spl_db, 94.0);
  EXPECT_EQ(c.calibrator_channel, 2);
}

TEST(Options, PrecisionFullRoundTrips) {
  const Parsed p = parse({"--precision", "full", "x.wav"});
  ASSERT_TRUE(p.result.options);
  EXPECT_TRUE(p.result.options->text_format.round_trip);
}

TEST(Options, DemoTakesTheSameOptions) {
  const Parsed p = parse({"demo", "--metrics", "loudness", "--json", "d.json"});
  ASSERT_TRUE(p.result.options) << p.err;
  EXPECT_TRUE(p.result.options->demo);
  EXPECT_EQ(p.result.options->metrics, std::vector<Metric>{Metric::loudness});
  EXPECT_EQ(p.result.options->json_path, "d.json");
}

TEST(Options, UsageErrorsGiveOneReasonAndExitStatusTwo) {
  const std::vector<std::vector<const char*>> bad = {
      {},                                                    // nothing to analyse
      {"--bogus", "x.wav"},                                  // unknown option
      {"--scale", "2", "--full-scale-spl", "100", "x.wav"},  // two calibrations
      {"--scale", "2", "--calibration", "c.wav", "--calibration-spl", "94", "x.wav"},
      {"--full-scale-spl", "100", "--calibration", "c.wav", "--calibration-spl", "94", "x.wav"},
      {"--calibration", "c.wav", "x.wav"},   // no calibrator level
      {"--calibration-spl", "94", "x.wav"},  // no calibrator file
      {"--scale", "0", "x.wav"},             // not a positive factor
      {"--scale", "-1", "x.wav"},
      {"--scale", "abc", "x.wav"},
      {"--metrics", "loudness,colour", "x.wav"},  // unknown metric
      {"--field", "reverberant", "x.wav"},
      {"--channel", "0", "x.wav"},
      {"--jobs", "0", "x.wav"},
      {"--precision", "18", "x.wav"},
      {"--precision", "many", "x.wav"},
      {"demo", "x.wav"},  // demo takes no files
      {"--follow", "x.wav"},               // follows standard input only
      {"--follow", "-", "x.wav"},
      {"--follow", "--remove-dc", "-"},    // the mean needs the whole signal
  };
  for (const auto& args : bad) {
    std::vector<const char*> argv = {"varnholt"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream out, err;
    const ParsedCommandLine r =
        parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
    std::string joined;
    for (const char* a : args) joined += std::string(a) + " ";
    EXPECT_FALSE(r.options) << joined;
    EXPECT_EQ(r.exit_code, EXIT_USAGE) << joined;
    EXPECT_EQ(err.str().rfind("varnholt: error: ", 0), 0u) << joined << ": " << err.str();
  }
}

// A bad value is named with what is wrong with it: never the largest double
// written out in 309 digits, and text that is no number is called so.
TEST(Options, BadValuesAreExplainedInWords) {
  const struct {
    std::vector<const char*> args;
    const char* reason;
  } cases[] = {
      {{"--channel", "0", "x.wav"}, "'0' is not a channel number"},
      {{"--channel", "two", "x.wav"}, "'two' is not a channel number"},
      {{"--scale", "-1", "x.wav"}, "'-1' is not a positive number"},
      {{"--scale", "abc", "x.wav"}, "'abc' is not a number"},
      {{"--full-scale-spl", "abc", "x.wav"}, "'abc' is not a number"},
      {{"--full-scale-spl", "500", "x.wav"}, "'500' is outside -200 ... 400"},
      {{"--start", "-2", "x.wav"}, "'-2' is not a time of 0 s or later"},
      {{"--duration", "0", "x.wav"}, "'0' is not a positive duration"},
      {{"--csv-bands", "x.wav"}, "--csv-bands needs --csv"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"varnholt"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::ostringstream out, err;
    const ParsedCommandLine r =
        parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
    EXPECT_EQ(r.exit_code, EXIT_USAGE) << c.reason;
    EXPECT_NE(err.str().find(c.reason), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("0000000000"), std::string::npos) << err.str();
  }
}

TEST(Options, NewOptionsAreTaken) {
  const Parsed p =
      parse({"--csv", "out", "--csv-bands", "--summary-csv", "s.csv", "--bands", "--remove-dc",
             "--recursive", "--start", "1.5", "--duration", "2", "dir"});
  ASSERT_TRUE(p.result.options) << p.err;
  const Options& o = *p.result.options;
  EXPECT_TRUE(o.csv_bands && o.text_bands && o.remove_dc && o.recursive);
  EXPECT_EQ(o.summary_csv_path, "s.csv");
  EXPECT_EQ(o.start_s, 1.5);
  EXPECT_EQ(o.duration_s, 2.0);
}

// Aures tonality T = 1.1055 w_T^0.29 w_Gr^0.79 reaches 1.1055, not 1.
TEST(Options, HelpStatesTheTrueRangeOfAuresTonality) {
  const Parsed p = parse({"--help"});
  EXPECT_NE(p.out.find("tonality after Aures (0 ... 1.1055)"), std::string::npos) << p.out;
}

TEST(Options, HelpNamesEveryOptionAndMetric) {
  const Parsed p = parse({"--help"});
  EXPECT_FALSE(p.result.options);
  EXPECT_EQ(p.result.exit_code, 0);
  for (const char* word :
       {"--channel",     "--metrics",         "--field",        "--scale",       "--full-scale-spl",
        "--calibration", "--calibration-spl", "--json",         "--csv",         "--precision",
        "--jobs",        "--version",         "demo",           "--summary-csv", "--csv-bands",
        "--bands",       "--remove-dc",       "--recursive",    "--start",       "--duration",
        "levels",        "loudness-time",     "ecma-roughness", "Exit status"}) {
    EXPECT_NE(p.out.find(word), std::string::npos) << word;
  }
}

TEST(Options, VersionNamesLibraryVersionAndInterface) {
  const Parsed p = parse({"--version"});
  EXPECT_FALSE(p.result.options);
  EXPECT_EQ(p.result.exit_code, 0);
  EXPECT_NE(p.out.find(std::string("library ") + vh_version_string()), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("interface " + std::to_string(vh_abi_version())), std::string::npos)
      << p.out;
}

}  // namespace
