// Test sound files: interleaving, libsndfile writing, scratch directories.
#include "sound_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

namespace varnholt::test {

std::vector<double> tone_at_rate(double frequency_hz, double level_db, double seconds,
                                 int rate_hz) {
  const auto count = static_cast<std::size_t>(std::llround(seconds * rate_hz));
  const double peak = std::sqrt(2.0) * 2e-5 * std::pow(10.0, level_db / 20.0);
  std::vector<double> x(count);
  for (std::size_t i = 0; i < count; ++i) {
    x[i] =
        peak * std::sin(2.0 * std::numbers::pi * frequency_hz * static_cast<double>(i) / rate_hz);
  }
  return x;
}

void write_sound_file(const std::filesystem::path& path,
                      const std::vector<std::vector<double>>& channels, int rate_hz, int format) {
  SF_INFO info{};
  info.samplerate = rate_hz;
  info.channels = static_cast<int>(channels.size());
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  // Integer formats clip rather than wrap at full scale.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const std::size_t frames = channels.empty() ? 0 : channels[0].size();
  std::vector<double> interleaved(frames * channels.size());
  for (std::size_t i = 0; i < frames; ++i) {
    for (std::size_t c = 0; c < channels.size(); ++c)
      interleaved[i * channels.size() + c] = channels[c][i];
  }
  const sf_count_t written =
      sf_writef_double(file, interleaved.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
  ASSERT_EQ(written, static_cast<sf_count_t>(frames)) << path;
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnholt-test-XXXXXX").string();
  const char* made = mkdtemp(pattern.data());
  if (made == nullptr) ADD_FAILURE() << "cannot create a temporary directory";
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void write_text_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string read_text_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace varnholt::test
