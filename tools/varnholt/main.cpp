// varnholt: psychoacoustic metrics of sound files from the command line.
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <span>

#include "batch.h"
#include "analysis/demo_signal.h"
#include "analysis/file_analysis.h"
#include "follow_printer.h"
#include "analysis/input_list.h"
#include "analysis/metric_streams.h"
#include "analysis/metrics.h"
#include "options.h"
#include "outputs.h"
#include "report_csv.h"
#include "analysis/resample.h"
#include "stop_signals.h"

namespace varnholt::cli {

using namespace varnholt::analysis;
namespace {

// Analyses the inputs (or the demo signal) and writes each result as it is
// ready; true when everything succeeded.
bool analyse_inputs(const Options& o, const std::vector<std::string>& inputs,
                    const AnalysisSettings& settings, Outputs& outputs) {
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
    return outputs.write(0, analyse_audio(std::move(file), std::move(audio), settings, analyser));
  }
  // The per-band patterns over time are kept only for the outputs that
  // write them; the summaries need the single values per frame only.
  // They are spooled to a temporary file: the outputs read them back from
  // there, so that an hour of patterns needs no memory.
  StreamSettings streams;
  streams.metrics = o.metrics;
  streams.sound_field = o.sound_field;
  streams.keep_bands = o.json_path || o.csv_bands;
  streams.spool_bands = true;
  // Live output (--follow) keeps its lines in the order the frames come.
  streams.threads = o.follow ? 1 : o.jobs;
  const FrameListener follow =
      o.follow ? follow_printer(o.text_format, !o.channel.has_value()) : FrameListener{};
  // One input: its streams tell the live printer and write the CSV rows as
  // the frames become final.
  const auto analyse_one = [&](std::size_t index, const std::string& path,
                               const FileProgress& file_progress) {
    std::optional<FrameCsvWriter> csv;
    if (o.csv_dir) csv.emplace(*o.csv_dir, outputs.csv_name(index), o.csv_format);
    StreamSettings file_streams = streams;
    if (csv || follow) {
      file_streams.listener = [&csv, &follow](int channel, Metric metric, double time_s,
                                              std::span<const double> values) {
        if (follow) follow(channel, metric, time_s, values);
        if (csv) csv->row(channel, metric, time_s, values);
      };
    }
    const ChannelSinkFactory sinks = [&file_streams](int channel, std::size_t expected) {
      return make_metric_streams(file_streams, channel, expected);
    };
    FileResult file = analyse_file(path, settings, sinks, file_progress, o.follow);
    if (csv) {
      file.csv_errors = csv->finish(file);
      file.frame_csv_written = true;
    }
    return file;
  };
  if (o.follow) return outputs.write(0, analyse_one(0, inputs[0], {}));
  bool all_ok = true;
  TerminalProgress progress(inputs.size(), o.quiet);
  run_batch(
      inputs, o.jobs,
      [&](std::size_t index, const std::string& path) {
        const auto started = std::chrono::steady_clock::now();
        const FileProgress file_progress = [&](double share) {
          const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
          progress.file(path, share, elapsed.count());
        };
        return analyse_one(index, path, file_progress);
      },
      [&progress](std::size_t done, std::size_t total, const std::string& name) {
        progress(done, total, name);
      },
      [&](std::size_t index, FileResult&& file) {
        progress.clear();
        if (!outputs.write(index, std::move(file))) all_ok = false;
      });
  return all_ok;
}

int run(int argc, char** argv) {
  const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exit_code;
  const Options& o = *parsed.options;

  RunInfo run_info;
  run_info.sound_field = o.sound_field;
  run_info.channel = o.channel;
  run_info.metrics = o.metrics;
  std::vector<std::string> inputs = {"demo"};
  try {
    if (!o.demo) inputs = expand_inputs(o.inputs, o.recursive);
  } catch (const std::exception& e) {
    std::cerr << "varnholt: error: " << e.what() << '\n';
    return EXIT_USAGE;
  }
  std::unique_ptr<Outputs> outputs;
  try {
    outputs = std::make_unique<Outputs>(o, run_info, inputs, inputs.size() > 1);
    run_info.calibration = calibrate(o.calibration);
  } catch (const std::exception& e) {
    std::cerr << "varnholt: error: " << e.what() << '\n';
    return EXIT_USAGE;
  }
  const AnalysisSettings settings{run_info.calibration, o.channel, o.remove_dc, o.start_s,
                                  o.duration_s};
  const StopSignals stop_signals([&outputs](int signal_number) {
    outputs->stop();
    std::_Exit(128 + signal_number);
  });
  const bool all_ok = analyse_inputs(o, inputs, settings, *outputs);
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
