// Sound files for the tool's tests, written through libsndfile.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace varnholt::test {

// Sine of the given RMS level in dB SPL at any sample rate, in pascal.
std::vector<double> tone_at_rate(double frequency_hz, double level_db, double seconds, int rate_hz);

// Writes channels (equal lengths) as one interleaved file; `format` is a
// libsndfile format such as SF_FORMAT_WAV | SF_FORMAT_FLOAT. Fails the
// calling test when the file cannot be written.
void write_sound_file(const std::filesystem::path& path,
                      const std::vector<std::vector<double>>& channels, int rate_hz, int format);

// A fresh, empty directory under the system's temporary directory, removed
// again when the object goes.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes text to a file as it stands.
void write_text_file(const std::filesystem::path& path, const std::string& text);

std::string read_text_file(const std::filesystem::path& path);

}  // namespace varnholt::test
