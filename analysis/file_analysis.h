// One file from disk to results: read, pick channels, resample to 48 kHz,
// calibrate to pascal, and hand each channel to the metrics.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio_file.h"
#include "calibration.h"
#include "resample.h"
#include "results.h"

namespace varnholt::analysis {

struct AnalysisSettings {
  Calibration calibration;
  std::optional<int> channel;        // 1-based; every channel when empty
  bool remove_dc = false;            // subtract each channel's mean pressure
  double start_s = 0.0;              // analyse from this time in the file
  std::optional<double> duration_s;  // and at most this long
};

// A DC offset is reported when it carries at least this share of the mean
// square: a mean pressure of a tenth of the RMS. A static pressure is no
// sound, yet every metric counts it (1 Pa of DC reads 94 dB).
inline constexpr double DC_POWER_SHARE_REPORTED = 0.01;

// Computes the metrics of one channel of pascal at 48 kHz.
using ChannelAnalyser = std::function<std::vector<MetricResult>(const std::vector<double>&)>;

// Takes one channel of pascal at 48 kHz chunk by chunk, then gives its
// metrics. May throw: that fails the channel only.
class ChannelSink {
 public:
  virtual ~ChannelSink() = default;
  virtual void push(std::span<const double> pascal) = 0;
  virtual std::vector<MetricResult> finish() = 0;
};
// Makes the sink of a channel (1-based number) that is expected to give
// `expected_samples` at 48 kHz (0: unknown; a stated length may be wrong).
using ChannelSinkFactory =
    std::function<std::unique_ptr<ChannelSink>(int channel, std::size_t expected_samples)>;

// Told while a file is analysed: the share of it read so far, 0 to 1.
using FileProgress = std::function<void(double)>;

// The largest peak pressure taken for sound in air: a pressure swing of one
// atmosphere (101325 Pa, about 191 dB SPL for a sine) would need a negative
// absolute pressure in its troughs, so anything beyond is a calibration
// mistake, not sound.
inline constexpr double MAX_PEAK_PRESSURE_PA = 101325.0;

// Reads, resamples and calibrates the file block by block and feeds each
// channel's sink, so that memory does not grow with the file (a first
// reading pass finds the DC offsets for --remove-dc). `pipe`: standard input
// is read as it arrives (see AudioReader). Never throws: every failure
// becomes the error text of the file or channel.
FileResult analyse_file(const std::string& path, const AnalysisSettings& settings,
                        const ChannelSinkFactory& sinks, const FileProgress& progress = {},
                        bool pipe = false);

// The same with a function of each whole channel.
FileResult analyse_file(const std::string& path, const AnalysisSettings& settings,
                        const ChannelAnalyser& analyser);

// Interleaved frames in the caller's memory, at any rate, in sample units.
struct SampleBuffer {
  const double* samples = nullptr;
  std::size_t frames = 0;
  std::size_t channels = 1;
  int rate_hz = ANALYSIS_RATE_HZ;
};

// The same as analyse_file for samples in memory, read in place block by
// block (never copied whole).
FileResult analyse_buffer(const SampleBuffer& buffer, const AnalysisSettings& settings,
                          const ChannelSinkFactory& sinks, const FileProgress& progress = {});

// The same for audio already in memory (the built-in demo signal).
FileResult analyse_audio(FileResult file, AudioData audio, const AnalysisSettings& settings,
                         const ChannelAnalyser& analyser);

}  // namespace varnholt::analysis
