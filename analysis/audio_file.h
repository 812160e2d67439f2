// Reading sound files of any format libsndfile knows, channel by channel.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnholt::analysis {

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

// A sound file read block by block, so that only a block is in memory at a
// time. The path "-" reads standard input: whole into memory first (so that
// it can be read twice), or, with `pipe`, straight from the pipe as the
// data arrives (a live recording; then it cannot be rewound).
class AudioReader {
 public:
  // Throws InputError as read_audio_file() does.
  explicit AudioReader(const std::string& path, bool pipe = false);
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  const std::string& format() const { return format_; }
  int sample_rate_hz() const { return rate_hz_; }
  std::size_t channels() const { return channels_; }
  // The length the header states (0 when unknown): for progress only.
  std::size_t declared_frames() const { return declared_frames_; }

  // Reads up to `frames` interleaved frames into `block` (resized to fit);
  // returns how many, 0 at the end. Throws InputError on a read error.
  std::size_t read(std::vector<double>& block, std::size_t frames);
  // Starts over at the first frame (not for a pipe).
  void rewind();
  // What the reader noticed, once the whole file has been read.
  std::vector<std::string> warnings(std::size_t frames_read) const;

 private:
  struct Source;
  std::unique_ptr<Source> source_;
  std::string path_;
  std::string format_;
  int rate_hz_ = 0;
  std::size_t channels_ = 0;
  std::size_t declared_frames_ = 0;
};

}  // namespace varnholt::analysis
