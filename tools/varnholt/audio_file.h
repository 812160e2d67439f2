// Reading sound files of any format libsndfile knows, channel by channel.
#pragma once

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
};

// Reads a whole file; the path "-" reads standard input. Throws InputError
// for a missing, empty, unreadable or sample-free file.
AudioData read_audio_file(const std::string& path);

// Reads a whole file held in memory (e.g. standard input).
AudioData read_audio_bytes(const std::vector<char>& bytes);

}  // namespace varnholt::cli
