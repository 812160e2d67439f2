// varnholt: psychoacoustic metrics of sound files from the command line.
#include <exception>
#include <fstream>
#include <iostream>

#include "batch.h"
#include "demo_signal.h"
#include "file_analysis.h"
#include "metrics.h"
#include "options.h"
#include "report_csv.h"
#include "report_json.h"
#include "report_text.h"
#include "resample.h"

namespace varnholt::cli {
namespace {

std::vector<FileResult> analyse_inputs(const Options& o, const AnalysisSettings& settings) {
  const ChannelAnalyser analyser = [&o](const std::vector<double>& pascal) {
    return compute_metrics(pascal, o.metrics, o.sound_field);
  };
  if (o.demo) {
    AudioData audio;
    audio.format = "built-in signal";
    audio.sample_rate_hz = ANALYSIS_RATE_HZ;
    audio.channels.push_back(demo_signal());
    audio.frames = audio.channels[0].size();
    FileResult file;
    file.path = "demo";
    file.description = DEMO_DESCRIPTION;
    return {analyse_audio(std::move(file), std::move(audio), settings, analyser)};
  }
  TerminalProgress progress;
  return run_batch(
      o.inputs, o.jobs,
      [&](const std::string& path) { return analyse_file(path, settings, analyser); },
      [&progress](std::size_t done, std::size_t total, const std::string& name) {
        progress(done, total, name);
      });
}

bool write_json(const Options& o, const std::vector<FileResult>& files, const RunInfo& run) {
  const std::string text = json_report(files, run).dump() + "\n";
  if (*o.json_path == "-") {
    std::cout << text << std::flush;
    return static_cast<bool>(std::cout);
  }
  std::ofstream out(*o.json_path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    std::cerr << "varnholt: error: cannot write the JSON file " << *o.json_path << '\n';
    return false;
  }
  return true;
}

int run(int argc, char** argv) {
  const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exit_code;
  const Options& o = *parsed.options;

  RunInfo run_info;
  run_info.sound_field = o.sound_field;
  run_info.channel = o.channel;
  run_info.metrics = o.metrics;
  try {
    run_info.calibration = calibrate(o.calibration);
  } catch (const std::exception& e) {
    std::cerr << "varnholt: error: " << e.what() << '\n';
    return EXIT_USAGE;
  }
  const AnalysisSettings settings{run_info.calibration, o.channel};
  const std::vector<FileResult> files = analyse_inputs(o, settings);

  bool all_ok = true;
  const bool json_on_stdout = o.json_path && *o.json_path == "-";
  for (const FileResult& file : files) {
    if (!json_on_stdout) write_text_summary(std::cout, file, run_info, o.text_format);
    for (const std::string& line : failure_lines(file)) {
      std::cerr << "varnholt: error: " << line << '\n';
      all_ok = false;
    }
  }
  std::cout << std::flush;
  if (o.json_path && !write_json(o, files, run_info)) all_ok = false;
  if (o.csv_dir) {
    try {
      write_csv_files(*o.csv_dir, files, o.csv_format);
    } catch (const std::exception& e) {
      std::cerr << "varnholt: error: " << e.what() << '\n';
      all_ok = false;
    }
  }
  return all_ok ? EXIT_ALL_OK : EXIT_SOME_FAILED;
}

}  // namespace
}  // namespace varnholt::cli

int main(int argc, char** argv) {
  try {
    return varnholt::cli::run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "varnholt: error: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "varnholt: error: unexpected failure\n";
  }
  return varnholt::cli::EXIT_SOME_FAILED;
}
