// Reading sound files, resampling to 48 kHz and calibrating to pascal.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "analysis/audio_file.h"
#include "analysis/calibration.h"
#include "analysis/resample.h"
#include "sound_files.h"
#include "support/compare.h"
#include "support/signals.h"

namespace {

using namespace varnholt::analysis;
using varnholt::test::TemporaryDirectory;
using varnholt::test::write_sound_file;

// Quantisation of n-bit PCM: half a step of 2 / 2^n, as libsndfile rounds.
constexpr double PCM16_STEP = 1.0 / 32768.0;
constexpr double PCM24_STEP = 1.0 / 8388608.0;
// Lossy Vorbis keeps a loud sine to within a few percent of full scale.
constexpr double VORBIS_TOLERANCE = 0.05;

std::vector<std::vector<double>> stereo_test_signal(std::size_t count) {
  std::vector<std::vector<double>> c(2, std::vector<double>(count));
  for (std::size_t i = 0; i < count; ++i) {
    c[0][i] = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(i) / 48000.0);
    c[1][i] = -0.25 * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 48000.0);
  }
  return c;
}

struct FormatCase {
  const char* name;
  int format;
  double tolerance;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class AudioFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(AudioFormats, ChannelsReadBackSeparately) {
  const FormatCase& f = GetParam();
  TemporaryDirectory dir;
  const auto signal = stereo_test_signal(4800);
  write_sound_file(dir / f.name, signal, 48000, f.format);
  const AudioData audio = read_audio_file((dir / f.name).string());
  ASSERT_EQ(audio.channels.size(), 2u);
  EXPECT_EQ(audio.sample_rate_hz, 48000);
  EXPECT_EQ(audio.frames, 4800u);
  EXPECT_FALSE(audio.format.empty());
  for (std::size_t c = 0; c < 2; ++c) {
    EXPECT_TRUE(varnholt::test::arrays_near(audio.channels[c], signal[c], f.tolerance, 0.0))
        << f.name << " channel " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tool, AudioFormats,
    ::testing::Values(FormatCase{"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, PCM16_STEP},
                      FormatCase{"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, PCM24_STEP},
                      FormatCase{"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1e-9},
                      FormatCase{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1e-7},
                      FormatCase{"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0.0},
                      FormatCase{"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, PCM16_STEP},
                      FormatCase{"pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, PCM24_STEP},
                      FormatCase{"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, VORBIS_TOLERANCE}),
    [](const ::testing::TestParamInfo<FormatCase>& param) {
      std::string name = param.param.name;
      for (char& c : name)
        if (c == '.') c = '_';
      return name;
    });

// Block-wise reading must grow the channels geometrically: reallocating (and
// copying everything read so far) on every block makes reading quadratic in
// the file's length. 1000 blocks may move the data some 20 times, not 1000.
TEST(AudioFile, BlockwiseReadingReallocatesLogarithmicallyOften) {
  constexpr std::size_t BLOCKS = 1000;
  constexpr std::size_t FRAMES = 64;
  const std::vector<double> block(2 * FRAMES, 0.25);
  std::vector<std::vector<double>> channels(2);
  std::size_t moves = 0;
  const double* data = nullptr;
  for (std::size_t b = 0; b < BLOCKS; ++b) {
    append_deinterleaved(block.data(), FRAMES, channels);
    if (channels[0].data() != data) ++moves;
    data = channels[0].data();
  }
  EXPECT_EQ(channels[1].size(), BLOCKS * FRAMES);
  EXPECT_LE(moves, 2 * static_cast<std::size_t>(std::log2(BLOCKS)) + 2);
}

// Rewrites the data chunk's length (and the RIFF length) of a canonical
// 44-byte-header WAV file so that it declares only `frames` frames.
void declare_fewer_frames(const std::filesystem::path& path, std::uint32_t data_bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  const auto put = [&f](std::streamoff at, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff),
                           static_cast<char>((v >> 16) & 0xff), static_cast<char>(v >> 24)};
    f.seekp(at);
    f.write(bytes, 4);
  };
  put(4, 36 + data_bytes);
  put(40, data_bytes);
}

// A header that declares less data than the file holds is read as declared,
// and the reader says so, with the number of frames left out.
TEST(AudioFile, BytesBeyondTheDeclaredWavDataAreReported) {
  TemporaryDirectory dir;
  const auto signal = stereo_test_signal(4800);
  write_sound_file(dir / "short_header.wav", signal, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  declare_fewer_frames(dir / "short_header.wav", 2400 * 4);
  const AudioData audio = read_audio_file((dir / "short_header.wav").string());
  EXPECT_EQ(audio.frames, 2400u);
  ASSERT_EQ(audio.warnings.size(), 1u);
  EXPECT_NE(audio.warnings[0].find("declares 2400 frames"), std::string::npos) << audio.warnings[0];
  EXPECT_NE(audio.warnings[0].find("(2400 frames)"), std::string::npos) << audio.warnings[0];
  std::ifstream in(dir / "short_header.wav", std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  EXPECT_EQ(read_audio_bytes(bytes).warnings, audio.warnings);

  write_sound_file(dir / "whole.wav", signal, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_TRUE(read_audio_file((dir / "whole.wav").string()).warnings.empty());
}

TEST(AudioFile, FloatingPointDataIsReadAsStoredNotNormalised) {
  TemporaryDirectory dir;
  const std::vector<double> loud = {250.0, -1000.0, 3.5};
  write_sound_file(dir / "loud.wav", {loud}, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  EXPECT_EQ(read_audio_file((dir / "loud.wav").string()).channels[0], loud);
}

TEST(AudioFile, AWavFileInMemoryReadsLikeTheFile) {
  TemporaryDirectory dir;
  const auto signal = stereo_test_signal(1000);
  write_sound_file(dir / "x.wav", signal, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  std::ifstream in(dir / "x.wav", std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  const AudioData from_memory = read_audio_bytes(bytes);
  const AudioData from_file = read_audio_file((dir / "x.wav").string());
  EXPECT_EQ(from_memory.sample_rate_hz, 44100);
  EXPECT_EQ(from_memory.channels, from_file.channels);
}

// Each unusable input gives an InputError whose text names the reason.
TEST(AudioFile, UnusableInputsAreRefusedWithTheirReason) {
  TemporaryDirectory dir;
  varnholt::test::write_text_file(dir / "empty.wav", "");
  varnholt::test::write_text_file(dir / "notes.txt", "these are not samples\n");
  write_sound_file(dir / "no_samples.wav", {std::vector<double>{}}, 48000,
                   SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {(dir / "missing.wav").string(), "no such file"},
      {dir.path().string(), "is a directory"},
      {(dir / "empty.wav").string(), "empty file"},
      {(dir / "notes.txt").string(), "not an audio file"},
      {(dir / "no_samples.wav").string(), "no audio samples"},
  };
  for (const auto& c : cases) {
    try {
      read_audio_file(c.path);
      ADD_FAILURE() << c.path << " was accepted";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << "one line only";
    }
  }
  EXPECT_THROW(read_audio_bytes({}), InputError);
}

TEST(Resample, A44kToneBecomesThe48kTone) {
  // 1 s of a 1 kHz sine at 44.1 kHz against the same sine computed at
  // 48 kHz; away from the ends the converter's error is far below 1e-6 of
  // the amplitude (its stop band is at 32-bit precision).
  constexpr double PASSBAND_ERROR = 1e-6;
  const auto in = varnholt::test::tone_at_rate(1000.0, 94.0, 1.0, 44100);
  const auto expected = varnholt::test::tone_at_rate(1000.0, 94.0, 1.0, 48000);
  const std::vector<double> out = resample_to_analysis_rate(in, 44100);
  ASSERT_EQ(out.size(), 48000u);
  const std::vector<double> middle(out.begin() + 4800, out.end() - 4800);
  const std::vector<double> reference(expected.begin() + 4800, expected.end() - 4800);
  EXPECT_TRUE(varnholt::test::arrays_near(middle, reference, PASSBAND_ERROR * std::sqrt(2.0), 0.0));
}

TEST(Resample, LengthFollowsTheRateRatio) {
  EXPECT_EQ(resample_to_analysis_rate(std::vector<double>(96000, 0.0), 96000).size(), 48000u);
  EXPECT_EQ(resample_to_analysis_rate(std::vector<double>(16000, 0.0), 16000).size(), 48000u);
  EXPECT_EQ(resample_to_analysis_rate(std::vector<double>(441, 0.0), 44100).size(), 480u);
}

// The file is resampled block by block; any chunking must give the one-shot
// conversion sample for sample, the length cut included.
TEST(Resample, StreamingGivesTheOneShotSamplesForAnyChunking) {
  std::vector<double> in(44100 + 37);
  std::uint32_t state = 12345;
  for (double& x : in) {
    state = state * 1664525u + 1013904223u;
    x = static_cast<double>(state) / 4294967296.0 - 0.5;
  }
  for (int rate : {44100, 16000, 96000}) {
    const std::vector<double> whole = resample_to_analysis_rate(in, rate);
    for (std::size_t chunk : {std::size_t{1000}, std::size_t{4800}, std::size_t{65536}}) {
      StreamingResampler resampler(rate);
      std::vector<double> streamed, out;
      for (std::size_t at = 0; at < in.size(); at += chunk) {
        const std::size_t n = std::min(chunk, in.size() - at);
        resampler.push(std::span<const double>(in.data() + at, n), out);
        streamed.insert(streamed.end(), out.begin(), out.end());
      }
      resampler.finish(out);
      streamed.insert(streamed.end(), out.begin(), out.end());
      EXPECT_EQ(streamed, whole) << rate << " Hz in chunks of " << chunk;
    }
  }
}

TEST(Calibration, AFullScaleSineReadsTheGivenLevel) {
  for (double level : {80.0, 94.0, 120.0, 130.5}) {
    const double factor = pascal_per_unit_from_full_scale_spl(level);
    // A full-scale sine has RMS 1/sqrt(2) units.
    const double rms_pa = factor / std::sqrt(2.0);
    EXPECT_NEAR(20.0 * std::log10(rms_pa / 2e-5), level, 1e-12) << level;
  }
}

TEST(Calibration, ACalibratorRecordingSetsItsLevel) {
  // A 94 dB calibrator recorded at RMS 0.25 units: 1 unit = 1.0024 Pa / 0.25.
  TemporaryDirectory dir;
  const auto recording =
      varnholt::test::tone_at_rate(1000.0, 20.0 * std::log10(0.25 / 2e-5), 1.0, 48000);
  write_sound_file(dir / "cal.wav", {recording}, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  CalibrationRequest request;
  request.kind = CalibrationRequest::Kind::calibrator;
  request.calibrator_path = (dir / "cal.wav").string();
  request.calibrator_spl_db = 94.0;
  const Calibration c = calibrate(request);
  // Whole periods of the sine: its sampled RMS is exact to rounding.
  EXPECT_NEAR(c.calibrator_rms_units, 0.25, 1e-12);
  EXPECT_NEAR(c.pascal_per_unit, 2e-5 * std::pow(10.0, 94.0 / 20.0) / 0.25, 1e-12);
  EXPECT_NE(c.description.find("94 dB SPL"), std::string::npos) << c.description;
  EXPECT_TRUE(c.warnings.empty());
}

// A calibrator recorded in one channel of several: which channel was taken
// is stated, not guessed silently.
TEST(Calibration, AMultichannelCalibratorFileNamesTheChannelUsed) {
  TemporaryDirectory dir;
  const auto tone = varnholt::test::tone_at_rate(1000.0, 80.0, 0.5, 48000);
  write_sound_file(dir / "cal.wav", {std::vector<double>(tone.size(), 0.0), tone}, 48000,
                   SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  CalibrationRequest request;
  request.kind = CalibrationRequest::Kind::calibrator;
  request.calibrator_path = (dir / "cal.wav").string();
  request.calibrator_spl_db = 94.0;
  request.calibrator_channel = 2;
  const Calibration c = calibrate(request);
  ASSERT_EQ(c.warnings.size(), 1u);
  EXPECT_NE(c.warnings[0].find("has 2 channels; channel 2 is the calibrator"), std::string::npos)
      << c.warnings[0];
}

TEST(Calibration, BadCalibratorsAreRefused) {
  TemporaryDirectory dir;
  write_sound_file(dir / "silent.wav", {std::vector<double>(4800, 0.0)}, 48000,
                   SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  CalibrationRequest request;
  request.kind = CalibrationRequest::Kind::calibrator;
  request.calibrator_spl_db = 94.0;
  request.calibrator_path = (dir / "silent.wav").string();
  EXPECT_THROW(calibrate(request), InputError);
  request.calibrator_path = (dir / "missing.wav").string();
  EXPECT_THROW(calibrate(request), InputError);
  request.calibrator_path = (dir / "silent.wav").string();
  request.calibrator_channel = 2;
  EXPECT_THROW(calibrate(request), InputError);
}

TEST(Calibration, ScaleIsTakenAsGiven) {
  CalibrationRequest request;
  request.scale_pa = 0.125;
  EXPECT_EQ(calibrate(request).pascal_per_unit, 0.125);
  request.kind = CalibrationRequest::Kind::full_scale_spl;
  request.full_scale_spl_db = 10000.0;  // overflows to infinity
  EXPECT_THROW(calibrate(request), std::invalid_argument);
}

}  // namespace
