// Argument parsing with CLI11: options, their conflicts and the help text.
#include "options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <map>
#include <ostream>
#include <thread>

#include "varnholt.h"

#ifndef VARNHOLT_TOOL_VERSION
#define VARNHOLT_TOOL_VERSION "unknown"
#endif

namespace varnholt::cli {

using namespace varnholt::analysis;

unsigned default_jobs() {
  constexpr unsigned MAX_JOBS = 256;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : (cores > MAX_JOBS ? MAX_JOBS : cores);
}
namespace {

constexpr const char* DESCRIPTION =
    "varnholt: psychoacoustic metrics of sound files.\n"
    "Reads WAV, FLAC, AIFF, OGG/Vorbis and every other format libsndfile knows; analyses\n"
    "every channel separately (or the one --channel picks); resamples other rates to\n"
    "48 kHz with libsoxr at its highest quality.";

constexpr const char* FOOTER = R"(Metrics (--metrics, comma-separated; default: all):
  loudness        stationary loudness N (sone, ISO 532-1) and loudness level LN (phon)
  loudness-time   time-varying loudness (ISO 532-1): maximum, N5 and mean, frames every 2 ms
  sharpness       sharpness S (acum, DIN 45692) of the stationary specific loudness
  roughness       roughness after Daniel and Weber (asper), 200 ms frames every 100 ms
  tonality        tonality after Aures (0 ... 1.1055), 250 ms frames every 125 ms
  ecma-tonality   ECMA-418-2 tonality T(t) (tu_HMS) with its tonal frequency, and
                  loudness N(t) (sone_HMS); mean and maximum from 0.3 s on
  ecma-roughness  ECMA-418-2 roughness R(t) (asper_HMS): 90th percentile and maximum
  levels          sound levels after IEC 61672-1 (dB re 20 uPa): LAeq, LCeq, LZeq,
                  LAFmax, LASmax, LCpeak; and the 28 third-octave band levels
                  25 Hz ... 12.5 kHz (shown in the summary with --bands)
Percentiles (N5, N10, N50, N90, N95 and the same for roughness and tonality):
Nx is the value exceeded in x % of the frames, the (100 - x)th percentile.

Calibration (one factor turns sample units into pascal; the default is --scale 1):
  --scale 0.5                        0.5 Pa per sample unit
  --full-scale-spl 120               a full-scale sine reads 120 dB SPL
  --calibration cal.wav --calibration-spl 94
                                     cal.wav is a recording of a 94 dB calibrator
Integer PCM is read with full scale = 1 sample unit; floating-point files as stored.

Output, written file by file as each one finishes: a summary per file and
channel on standard output; --json writes everything (time series, per-band
arrays, units, frame times, calibration), as one object for one file and as
JSON Lines (one object per file and channel per line) for several; --csv
writes one CSV file per time-resolved metric, file and channel (--csv-bands
adds the per-band arrays); --summary-csv writes one row per file and channel.
Inputs may be folders: their sound files are analysed (--recursive: also in
subfolders). SIGINT or SIGTERM stops the run; every finished file's output
is complete.

Exit status: 0 when every file and metric succeeded, 1 when any failed (one
line per failure on standard error), 2 for a usage, output-path or
calibration error, 128 + the signal number when stopped by a signal.

Examples:
  varnholt demo
  varnholt --full-scale-spl 100 --json results.jsonl take1.wav take2.flac
  varnholt --metrics loudness,sharpness --field diffuse --jobs 4 *.wav
  varnholt --metrics levels,loudness-time --summary-csv summary.csv --csv out --recursive recordings/
  varnholt --start 10 --duration 30 --remove-dc --metrics levels --bands take1.wav
  sox ... -t wav - | varnholt -)";

std::string version_text() {
  return std::string("varnholt ") + VARNHOLT_TOOL_VERSION + " (library " + vh_version_string() +
         ", interface " + std::to_string(vh_abi_version()) + ")";
}

// "full" or a digit count of 1 to 17 (17 significant digits always
// round-trip a double).
std::optional<NumberFormat> number_format_from(const std::string& text) {
  if (text == "full") return NumberFormat{17, true};
  try {
    std::size_t used = 0;
    const int digits = std::stoi(text, &used);
    if (used == text.size() && digits >= 1 && digits <= 17) return NumberFormat{digits, false};
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// Reads a whole decimal number; empty when the text is anything else.
std::optional<double> number_from(const std::string& text) {
  try {
    std::size_t used = 0;
    const double x = std::stod(text, &used);
    if (used == text.size() && std::isfinite(x)) return x;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// Validators whose messages say what is wrong with the value in words
// (CLI11's own print the largest double in full).
CLI::Validator number_at_least(double low, bool inclusive, const std::string& what) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        const std::optional<double> x = number_from(text);
        if (!x) return "'" + text + "' is not a number";
        if (inclusive ? *x < low : *x <= low) return "'" + text + "' is not " + what;
        return {};
      },
      "");
}

CLI::Validator number_between(double low, double high) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        const std::optional<double> x = number_from(text);
        if (!x) return "'" + text + "' is not a number";
        if (*x < low || *x > high) {
          return "'" + text + "' is outside " + format_number(low, NumberFormat{6, false}) +
                 " ... " + format_number(high, NumberFormat{6, false});
        }
        return {};
      },
      "");
}

CLI::Validator whole_number_between(long low, long high, const std::string& what) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        try {
          std::size_t used = 0;
          const long n = std::stol(text, &used);
          if (used == text.size() && n >= low && n <= high) return {};
        } catch (const std::exception&) {
        }
        return "'" + text + "' is not " + what;
      },
      "");
}

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                     std::ostream& err) {
  Options o;
  CLI::App app{DESCRIPTION, "varnholt"};
  app.footer(FOOTER);
  app.set_version_flag("--version", version_text(),
                       "Print the tool, library and interface versions");
  app.get_formatter()->column_width(36);

  CLI::App* demo = app.add_subcommand(
      "demo",
      "Analyse a built-in 3 s signal: a 1 kHz tone at 60 dB SPL, 100 % amplitude-modulated at "
      "70 Hz, over pink noise at 50 dB SPL");
  demo->fallthrough();

  app.add_option("files", o.inputs, "Sound files or folders to analyse; '-' reads standard input");
  int channel = 0;
  CLI::Option* channel_opt =
      app.add_option("--channel", channel, "Analyse only channel N (1 = first)")
          ->check(whole_number_between(1, 65535, "a channel number (1 = the first channel)"))
          ->type_name("N");
  std::vector<std::string> metric_names;
  std::vector<std::string> allowed;
  for (Metric m : ALL_METRICS) allowed.emplace_back(metric_name(m));
  allowed.emplace_back("all");
  app.add_option("--metrics", metric_names,
                 "Metrics to compute, comma-separated, or 'all' (the default)")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(CLI::IsMember(allowed).description(""))
      ->type_name("LIST");
  std::string field = "free";
  app.add_option("--field", field, "Sound field: free (frontal) or diffuse")
      ->check(CLI::IsMember({"free", "diffuse"}).description(""))
      ->capture_default_str()
      ->type_name("free|diffuse");

  CalibrationRequest& cal = o.calibration;
  CLI::Option* scale = app.add_option("--scale", cal.scale_pa,
                                      "Pascal per sample unit (default 1: the file holds pascal)")
                           ->check(number_at_least(0.0, false, "a positive number"))
                           ->type_name("PA");
  CLI::Option* full_scale = app.add_option("--full-scale-spl", cal.full_scale_spl_db,
                                           "SPL in dB that a full-scale sine would read")
                                ->check(number_between(-200.0, 400.0))
                                ->type_name("DB");
  CLI::Option* calibrator =
      app.add_option("--calibration", cal.calibrator_path,
                     "Recording of an acoustic calibrator (the factor comes from its RMS)")
          ->type_name("FILE");
  CLI::Option* calibrator_spl =
      app.add_option("--calibration-spl", cal.calibrator_spl_db,
                     "SPL in dB of the calibrator in --calibration (e.g. 94)")
          ->check(number_between(-200.0, 400.0))
          ->type_name("DB");
  calibrator->needs(calibrator_spl);
  calibrator_spl->needs(calibrator);
  scale->excludes(full_scale)->excludes(calibrator)->excludes(calibrator_spl);
  full_scale->excludes(calibrator)->excludes(calibrator_spl);

  std::string json;
  CLI::Option* json_opt =
      app.add_option("--json", json, "Write everything as JSON to FILE ('-': standard output);\n"
                     "for several files JSON Lines, one line per file and channel")
          ->type_name("FILE|-");
  std::string csv;
  CLI::Option* csv_opt =
      app.add_option("--csv", csv, "Write one CSV per time-resolved metric into DIR")
          ->type_name("DIR");
  std::string precision;
  CLI::Option* precision_opt =
      app.add_option("--precision", precision,
                     "Significant digits in the summary and CSV (1-17), or 'full':\n"
                     "the shortest text that reads back to the same number\n"
                     "(the CSV default)")
          ->type_name("N|full");
  app.add_option("--jobs,-j", o.jobs,
                 "Worker threads: N files at once, and the metrics and channels\n"
                 "of each file side by side (default: the number of cores)")
      ->check(whole_number_between(1, 256, "a number of jobs from 1 to 256"))
      ->capture_default_str()
      ->type_name("N");
  app.add_flag("--csv-bands", o.csv_bands,
               "With --csv: also one CSV per per-band array (specific loudness,\n"
               "ECMA planes, band levels), one row per frame, one column per band");
  std::string summary_csv;
  CLI::Option* summary_opt =
      app.add_option("--summary-csv", summary_csv,
                     "Write one row per file and channel, one column per single value\n"
                     "('-': standard output)")
          ->type_name("FILE|-");
  app.add_flag("--bands", o.text_bands, "Show the third-octave band levels in the summary");
  app.add_flag("--remove-dc", o.remove_dc,
               "Subtract each channel's mean (a DC offset) before the analysis");
  app.add_flag("--recursive,-r", o.recursive, "Folders: also analyse the files in subfolders");
  app.add_option("--start", o.start_s, "Analyse from S seconds into each file")
      ->check(number_at_least(0.0, true, "a time of 0 s or later"))
      ->type_name("S");
  app.add_flag("--quiet,-q", o.quiet, "No progress line on the terminal");
  app.add_flag("--follow", o.follow,
               "Read a WAV stream from standard input ('-') as it arrives and print\n"
               "each metric's values as they become final, one line per frame");
  double duration = 0.0;
  CLI::Option* duration_opt =
      app.add_option("--duration", duration, "Analyse at most S seconds (from --start)")
          ->check(number_at_least(0.0, false, "a positive duration"))
          ->type_name("S");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return ParsedCommandLine{std::nullopt, app.exit(e, out, err)};
  } catch (const CLI::ParseError& e) {
    err << "varnholt: error: " << e.what() << " (see varnholt --help)\n";
    return ParsedCommandLine{std::nullopt, EXIT_USAGE};
  }

  const auto usage_error = [&err](const std::string& message) {
    err << "varnholt: error: " << message << " (see varnholt --help)\n";
    return ParsedCommandLine{std::nullopt, EXIT_USAGE};
  };
  o.demo = demo->parsed();
  if (o.demo && !o.inputs.empty()) return usage_error("'demo' takes no files");
  if (!o.demo && o.inputs.empty()) {
    return usage_error("no input files (give sound files, '-' for standard input, or 'demo')");
  }
  if (*channel_opt) o.channel = channel;
  if (metric_names.empty() ||
      std::find(metric_names.begin(), metric_names.end(), "all") != metric_names.end()) {
    o.metrics.assign(ALL_METRICS.begin(), ALL_METRICS.end());
  } else {
    for (const std::string& name : metric_names) {
      const Metric m = *metric_from_name(name);
      if (std::find(o.metrics.begin(), o.metrics.end(), m) == o.metrics.end())
        o.metrics.push_back(m);
    }
  }
  o.sound_field = field == "diffuse" ? 1 : 0;
  if (*full_scale) cal.kind = CalibrationRequest::Kind::full_scale_spl;
  if (*calibrator) {
    cal.kind = CalibrationRequest::Kind::calibrator;
    cal.calibrator_channel = o.channel.value_or(1);
  }
  if (*json_opt) {
    if (json.empty()) return usage_error("--json needs a file name or '-'");
    o.json_path = json;
  }
  if (*csv_opt) {
    if (csv.empty()) return usage_error("--csv needs a directory");
    o.csv_dir = csv;
  }
  if (o.csv_bands && !o.csv_dir) return usage_error("--csv-bands needs --csv DIR");
  if (*summary_opt) {
    if (summary_csv.empty()) return usage_error("--summary-csv needs a file name");
    o.summary_csv_path = summary_csv;
  }
  if (*duration_opt) o.duration_s = duration;
  if (o.follow && (o.demo || o.inputs != std::vector<std::string>{"-"})) {
    return usage_error("--follow reads standard input: give '-' as the only input");
  }
  if (o.follow && o.remove_dc) {
    return usage_error("--remove-dc needs the whole signal first; it cannot --follow");
  }
  o.csv_format = NumberFormat{17, true};
  if (*precision_opt) {
    const std::optional<NumberFormat> format = number_format_from(precision);
    if (!format) return usage_error("--precision takes 1 to 17 or 'full', not '" + precision + "'");
    o.text_format = *format;
    o.csv_format = *format;
  }
  return ParsedCommandLine{o, EXIT_ALL_OK};
}

}  // namespace varnholt::cli
