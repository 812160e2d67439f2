// Reading sound files of any format libsndfile knows, channel by channel.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnholt::cli {

// A file that cannot be analysed; what() is the one-line reason.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct AudioData {
  std::string format;  // e.g. "WAV (Microsoft), Signed 16 bit PCM"
  int sample_rate_hz = 0;
  std::size_t frames = 0;
  // One vector per channel, in file units: integer PCM scaled so that full
  // scale is 1, floating-point data as stored.
  std::vector<std::vector<double>> channels;
  // What the reader noticed but could not settle, one sentence each (e.g.
  // bytes after the declared end of a WAV file's data).
  std::vector<std::string> warnings;
};

// Appends one block of `frames` interleaved frames to the channels (one
// vector per channel). The vectors grow geometrically, so reading a file block
// by block costs time in proportion to its length.
void append_deinterleaved(const double* block, std::size_t frames,
                          std::vector<std::vector<double>>& channels);

// Reads a whole file; the path "-" reads standard input. Throws InputError
// for a missing, empty, unreadable or sample-free file.
AudioData read_audio_file(const std::string& path);

// Reads a whole file held in memory (e.g. standard input).
AudioData read_audio_bytes(const std::vector<char>& bytes);

}  // namespace varnholt::cli
