// The analysis layer's C interface as a user links it: statuses in check
// order, results against the core functions they wrap, files against
// buffers, and the missing-value rule.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound_files.h"
#include "support/signals.h"
#include "varnholt_analysis.h"

namespace {

using varnholt::test::sine;

struct SettingsDeleter {
  void operator()(vha_settings* s) const { vha_settings_destroy(s); }
};
struct ResultDeleter {
  void operator()(vha_result* r) const { vha_result_destroy(r); }
};
using Settings = std::unique_ptr<vha_settings, SettingsDeleter>;
using Result = std::unique_ptr<vha_result, ResultDeleter>;

Settings settings(const char* metrics) {
  vha_settings* s = nullptr;
  EXPECT_EQ(vha_settings_create(&s), VH_OK);
  EXPECT_EQ(vha_settings_set_metrics(s, metrics), VH_OK);
  return Settings(s);
}

Result analyse(const vha_settings* s, const std::vector<double>& x, std::size_t channels = 1,
               int32_t rate_hz = VH_SAMPLE_RATE) {
  vha_result* r = nullptr;
  EXPECT_EQ(vha_analyse_samples(s, x.data(), x.size() / channels, channels, rate_hz, &r), VH_OK);
  return Result(r);
}

vha_summary summary(const vha_result* r, std::size_t channel, std::size_t metric,
                    const std::string& key) {
  vha_metric_info m{};
  EXPECT_EQ(vha_result_metric(r, channel, metric, &m), VH_OK);
  vha_summary s{};
  for (std::size_t i = 0; i < m.summaries; ++i) {
    EXPECT_EQ(vha_result_summary(r, channel, metric, i, &s), VH_OK);
    if (s.key == key) return s;
  }
  ADD_FAILURE() << "no single value " << key;
  return s;
}

TEST(AnalysisInterface, EveryCheckGivesItsStatus) {
  Settings s = settings("loudness");
  vha_settings* raw = s.get();
  const double x[1] = {0.0};
  vha_result* r = nullptr;
  const struct {
    const char* what;
    std::function<vh_status()> call;
    vh_status expected;
  } cases[] = {
      {"create null", [] { return vha_settings_create(nullptr); }, VH_ERR_NULL_POINTER},
      {"metrics null settings", [] { return vha_settings_set_metrics(nullptr, "all"); },
       VH_ERR_NULL_POINTER},
      {"metrics null list", [&] { return vha_settings_set_metrics(raw, nullptr); },
       VH_ERR_NULL_POINTER},
      {"metrics unknown", [&] { return vha_settings_set_metrics(raw, "loudness,colour"); },
       VH_ERR_INVALID_ARGUMENT},
      {"metrics empty", [&] { return vha_settings_set_metrics(raw, ""); },
       VH_ERR_INVALID_ARGUMENT},
      {"field", [&] { return vha_settings_set_sound_field(raw, 2); }, VH_ERR_INVALID_SOUND_FIELD},
      {"scale", [&] { return vha_settings_set_scale(raw, -1.0); }, VH_ERR_INVALID_ARGUMENT},
      {"scale NaN", [&] { return vha_settings_set_scale(raw, NAN); }, VH_ERR_INVALID_ARGUMENT},
      {"calibrator missing",
       [&] { return vha_settings_set_calibrator(raw, "/no/such/file.wav", 94.0, 1); },
       VH_ERR_INVALID_ARGUMENT},
      {"channel", [&] { return vha_settings_set_channel(raw, -1); }, VH_ERR_INVALID_ARGUMENT},
      {"span start", [&] { return vha_settings_set_span(raw, -1.0, 1.0); },
       VH_ERR_INVALID_ARGUMENT},
      {"span duration", [&] { return vha_settings_set_span(raw, 0.0, INFINITY); },
       VH_ERR_INVALID_ARGUMENT},
      {"jobs", [&] { return vha_settings_set_jobs(raw, 0); }, VH_ERR_INVALID_ARGUMENT},
      {"band rows null", [] { return vha_settings_set_band_rows(nullptr, 0); },
       VH_ERR_NULL_POINTER},
      {"one band row", [&] { return vha_settings_set_band_rows(raw, 1); },
       VH_ERR_INVALID_ARGUMENT},
      {"file null path", [&] { return vha_analyse_file(raw, nullptr, &r); }, VH_ERR_NULL_POINTER},
      {"samples null result", [&] { return vha_analyse_samples(raw, x, 1, 1, 48000, nullptr); },
       VH_ERR_NULL_POINTER},
      {"samples null", [&] { return vha_analyse_samples(raw, nullptr, 1, 1, 48000, &r); },
       VH_ERR_NULL_POINTER},
      {"no channels", [&] { return vha_analyse_samples(raw, x, 1, 0, 48000, &r); },
       VH_ERR_INVALID_ARGUMENT},
      {"rate", [&] { return vha_analyse_samples(raw, x, 1, 1, 0, &r); },
       VH_ERR_INVALID_SAMPLE_RATE},
      {"overflow", [&] { return vha_analyse_samples(raw, x, SIZE_MAX / 2, 3, 48000, &r); },
       VH_ERR_SIZE_OVERFLOW},
      {"resampler rate", [] {
         vha_resampler* q = nullptr;
         return vha_resampler_create(-44100, &q);
       },
       VH_ERR_INVALID_SAMPLE_RATE},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expected) << c.what;
  // A refused analysis leaves no result behind.
  r = reinterpret_cast<vha_result*>(&r);
  EXPECT_EQ(vha_analyse_samples(raw, x, 1, 1, 0, &r), VH_ERR_INVALID_SAMPLE_RATE);
  EXPECT_EQ(r, nullptr);
  // The reason of a refused setting is kept; a later success clears it.
  EXPECT_EQ(vha_settings_set_calibrator(raw, "/no/such/file.wav", 94.0, 1),
            VH_ERR_INVALID_ARGUMENT);
  EXPECT_NE(std::string(vha_settings_error(raw)).find("/no/such/file.wav"), std::string::npos);
  EXPECT_EQ(vha_settings_set_scale(raw, 2.0), VH_OK);
  EXPECT_STREQ(vha_settings_error(raw), "");
  EXPECT_STREQ(vha_status_string(VHA_ERR_CANCELLED), "cancelled");
}

TEST(AnalysisInterface, AccessorsRefuseNullsAndIndicesOutOfRange) {
  Settings s = settings("loudness");
  const Result r = analyse(s.get(), sine(1000.0, 60.0, 4800));
  vha_file_info f{};
  vha_channel_info c{};
  vha_metric_info m{};
  vha_summary v{};
  vha_series series{};
  vha_band_array band{};
  const char* text = nullptr;
  EXPECT_EQ(vha_result_file(nullptr, &f), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vha_result_file(r.get(), nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vha_result_channel(r.get(), 1, &c), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vha_result_metric(r.get(), 0, 1, &m), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vha_result_summary(r.get(), 0, 0, 2, &v), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vha_result_series(r.get(), 0, 0, 0, &series), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vha_result_band_array(r.get(), 0, 0, 1, &band), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vha_result_file_warning(r.get(), 0, &text), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vha_result_channel_warning(r.get(), 0, 0, &text), VH_ERR_INVALID_ARGUMENT);
}

// The layer's loudness of a 48 kHz buffer in pascal is the core function's,
// bit for bit: a factor of 1 and no resampling change no sample. A 1 kHz
// tone at 40 dB SPL is 1 sone by the definition of the sone (the standard's
// own tolerance on this reference is about 0.5 %).
TEST(AnalysisInterface, ABufferGivesTheCoreFunctionsValues) {
  const std::vector<double> x = sine(1000.0, 40.0, 48000);
  Settings s = settings("loudness,levels");
  const Result r = analyse(s.get(), x);
  double core = 0.0;
  ASSERT_EQ(vh_loudness_stationary(x.data(), x.size(), VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE, &core,
                                   nullptr, 0),
            VH_OK);
  EXPECT_EQ(summary(r.get(), 0, 0, "loudness").value, core);
  EXPECT_NEAR(core, 1.0, 0.01);
  double levels[VH_SOUND_LEVEL_COUNT];
  ASSERT_EQ(vh_sound_levels(x.data(), x.size(), VH_SAMPLE_RATE, levels, VH_SOUND_LEVEL_COUNT),
            VH_OK);
  EXPECT_EQ(summary(r.get(), 0, 1, "laeq").value, levels[VH_LEVEL_LAEQ]);
}

// The same samples through a file and through an interleaved buffer give
// the same values; a stereo buffer's second channel is analysed as if alone.
TEST(AnalysisInterface, FilesAndInterleavedBuffersAgree) {
  const std::vector<double> left = sine(500.0, 60.0, 24000);
  const std::vector<double> right = sine(2000.0, 70.0, 24000);
  std::vector<double> stereo;
  for (std::size_t i = 0; i < left.size(); ++i) {
    stereo.push_back(left[i]);
    stereo.push_back(right[i]);
  }
  const varnholt::test::TemporaryDirectory dir;
  varnholt::test::write_sound_file(dir / "stereo.wav", {left, right}, VH_SAMPLE_RATE,
                                   SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  Settings s = settings("loudness-time");
  vha_result* from_file = nullptr;
  ASSERT_EQ(vha_analyse_file(s.get(), (dir / "stereo.wav").c_str(), &from_file), VH_OK);
  const Result file(from_file);
  const Result buffer = analyse(s.get(), stereo, 2);
  const Result alone = analyse(s.get(), right);
  for (const char* key : {"loudness_max", "n5", "n50"}) {
    EXPECT_EQ(summary(file.get(), 1, 0, key).value, summary(buffer.get(), 1, 0, key).value);
    EXPECT_EQ(summary(alone.get(), 0, 0, key).value, summary(buffer.get(), 1, 0, key).value);
  }
  vha_file_info f{};
  ASSERT_EQ(vha_result_file(file.get(), &f), VH_OK);
  EXPECT_EQ(f.channels, 2u);
  EXPECT_EQ(f.analysed_samples, 24000u);
  EXPECT_STREQ(f.error, "");
}

// Band arrays reduced for display hold, row by row, the largest value per
// band of the frames each row took, at their mean time: checked against the
// full arrays of the same signal, reduced here.
TEST(AnalysisInterface, DisplayRowsAreTheMaximaOfTheirFrames) {
  std::vector<double> x = sine(1000.0, 60.0, 3 * 48000);
  for (std::size_t i = 48000; i < 60000; ++i) x[i] = 0.0;  // a pause, where nothing is tonal
  Settings s = settings("loudness-time,ecma-tonality");
  ASSERT_EQ(vha_settings_set_keep_bands(s.get(), 1), VH_OK);
  const Result full = analyse(s.get(), x);
  ASSERT_EQ(vha_settings_set_band_rows(s.get(), 100), VH_OK);
  const Result reduced = analyse(s.get(), x);
  for (std::size_t metric : {0u, 1u}) {
    vha_metric_info m{};
    ASSERT_EQ(vha_result_metric(full.get(), 0, metric, &m), VH_OK);
    for (std::size_t index = 0; index < m.band_arrays; ++index) {
      vha_band_array a{}, b{};
      ASSERT_EQ(vha_result_band_array(full.get(), 0, metric, index, &a), VH_OK);
      ASSERT_EQ(vha_result_band_array(reduced.get(), 0, metric, index, &b), VH_OK);
      SCOPED_TRACE(a.key);
      EXPECT_EQ(a.frames_per_row, 1u);
      EXPECT_EQ(a.row_times_s, m.frame_times_s);
      // Runs double until the rows fit: between half the limit and the limit.
      std::size_t run = 1;
      while ((a.rows + run - 1) / run > 100) run *= 2;
      ASSERT_EQ(b.frames_per_row, run);
      ASSERT_EQ(b.rows, (a.rows + run - 1) / run);
      EXPECT_GE(b.rows, 50u);
      for (std::size_t row = 0; row < b.rows; ++row) {
        const std::size_t first = row * run, last = std::min(first + run, a.rows) - 1;
        EXPECT_EQ(b.row_times_s[row], 0.5 * (m.frame_times_s[first] + m.frame_times_s[last]));
        for (std::size_t band = 0; band < a.bands; ++band) {
          double largest = NAN;
          for (std::size_t f = first; f <= last; ++f) {
            largest = std::fmax(largest, a.values[f * a.bands + band]);
          }
          const double got = b.values[row * b.bands + band];
          ASSERT_TRUE(got == largest || (std::isnan(got) && std::isnan(largest)))
              << "row " << row << ", band " << band;
        }
      }
    }
  }
}

// Silence has no tonal component: its tonal frequency is listed, missing.
TEST(AnalysisInterface, NoTonalFrequencyWithoutATone) {
  Settings s = settings("ecma-tonality");
  const Result r = analyse(s.get(), std::vector<double>(48000, 0.0));
  EXPECT_TRUE(std::isnan(summary(r.get(), 0, 0, "tonal_frequency_at_max").value));
  vha_series f{};
  ASSERT_EQ(vha_result_series(r.get(), 0, 0, 1, &f), VH_OK);
  ASSERT_STREQ(f.key, "tonal_frequency");
  for (std::size_t k = 0; k < f.count; ++k) EXPECT_TRUE(std::isnan(f.values[k])) << k;
}

// A non-finite sample fails its channel with its index; a channel the
// buffer lacks fails the source; neither is a status.
TEST(AnalysisInterface, InputFaultsAreInTheResult) {
  std::vector<double> x = sine(1000.0, 60.0, 4800);
  x[123] = NAN;
  Settings s = settings("levels");
  const Result bad = analyse(s.get(), x);
  vha_channel_info c{};
  ASSERT_EQ(vha_result_channel(bad.get(), 0, &c), VH_OK);
  EXPECT_EQ(c.status, VH_ERR_NON_FINITE_INPUT);
  EXPECT_NE(std::string(c.error).find("sample 123"), std::string::npos) << c.error;
  ASSERT_EQ(vha_settings_set_channel(s.get(), 3), VH_OK);
  const Result missing = analyse(s.get(), sine(1000.0, 60.0, 4800));
  vha_file_info f{};
  ASSERT_EQ(vha_result_file(missing.get(), &f), VH_OK);
  EXPECT_NE(std::string(f.error).find("channel 3 does not exist"), std::string::npos) << f.error;
}

int cancel_at_half(void* seen, double share) {
  *static_cast<double*>(seen) = share;
  return share >= 0.5 ? 1 : 0;
}

void count_frame(void* count, int32_t, const char*, double, const double*, size_t) {
  ++*static_cast<std::size_t*>(count);
}

TEST(AnalysisInterface, ListenersSeeEveryFrameAndProgressCancels) {
  // 10 s read in 64k-frame blocks: progress is told several times.
  const std::vector<double> x = sine(1000.0, 60.0, 480000);
  Settings s = settings("loudness-time");
  std::size_t frames = 0;
  ASSERT_EQ(vha_settings_set_frame_listener(s.get(), count_frame, &frames), VH_OK);
  const Result r = analyse(s.get(), x);
  vha_metric_info m{};
  ASSERT_EQ(vha_result_metric(r.get(), 0, 0, &m), VH_OK);
  EXPECT_EQ(frames, m.frames);

  double seen = 0.0;
  ASSERT_EQ(vha_settings_set_progress(s.get(), cancel_at_half, &seen), VH_OK);
  vha_result* cancelled = nullptr;
  EXPECT_EQ(vha_analyse_samples(s.get(), x.data(), x.size(), 1, VH_SAMPLE_RATE, &cancelled),
            VHA_ERR_CANCELLED);
  EXPECT_EQ(cancelled, nullptr);
  EXPECT_GE(seen, 0.5);
  EXPECT_LT(seen, 1.0);
}

// Resampling chunk by chunk gives the samples of one push, whatever the
// chunks; at 48 kHz samples pass unchanged.
TEST(AnalysisInterface, ResamplerChunksDoNotMatter) {
  const std::vector<double> x = sine(440.0, 60.0, 44100);
  const auto resampled = [&x](int32_t rate, std::size_t chunk) {
    vha_resampler* q = nullptr;
    EXPECT_EQ(vha_resampler_create(rate, &q), VH_OK);
    for (std::size_t i = 0; i < x.size(); i += chunk) {
      EXPECT_EQ(vha_resampler_push(q, x.data() + i, std::min(chunk, x.size() - i)), VH_OK);
    }
    EXPECT_EQ(vha_resampler_finish(q), VH_OK);
    EXPECT_EQ(vha_resampler_push(q, x.data(), 1), VH_ERR_INVALID_ARGUMENT);
    std::size_t n = 0;
    EXPECT_EQ(vha_resampler_read(q, nullptr, 0, &n), VH_OK);
    std::vector<double> out(n);
    EXPECT_EQ(vha_resampler_read(q, out.data(), n, &n), VH_OK);
    vha_resampler_destroy(q);
    return out;
  };
  const std::vector<double> whole = resampled(44100, x.size());
  EXPECT_EQ(whole.size(), 48000u);
  EXPECT_EQ(resampled(44100, 1000), whole);
  EXPECT_EQ(resampled(44100, 7), whole);
  EXPECT_EQ(resampled(48000, 333), x);
}

}  // namespace

namespace {

std::vector<std::string> found(const std::vector<std::string>& inputs, bool recursive,
                               std::string* error) {
  std::vector<const char*> c_inputs;
  for (const std::string& i : inputs) c_inputs.push_back(i.c_str());
  vha_file_list* list = nullptr;
  EXPECT_EQ(vha_find_sound_files(c_inputs.data(), c_inputs.size(), recursive ? 1 : 0, &list),
            VH_OK);
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < vha_file_list_size(list); ++i) {
    paths.emplace_back(vha_file_list_path(list, i));
  }
  EXPECT_EQ(vha_file_list_path(list, paths.size()), nullptr);
  *error = vha_file_list_error(list);
  vha_file_list_destroy(list);
  return paths;
}

// Folders give the files whose extension libsndfile reads, in any letter
// case and sorted; files named directly are taken as they are.
TEST(AnalysisInterface, SoundFilesAreFoundAsTheToolFindsThem) {
  const varnholt::test::TemporaryDirectory dir;
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / "empty");
  for (const char* name : {"b.oga", "a.WAV", "notes.txt", "sub/c.flac"}) {
    varnholt::test::write_text_file(dir / name, "");
  }
  const std::string top = dir.path().string();
  std::string error;
  EXPECT_EQ(found({top}, false, &error),
            (std::vector<std::string>{top + "/a.WAV", top + "/b.oga"}));
  EXPECT_EQ(found({top}, true, &error),
            (std::vector<std::string>{top + "/a.WAV", top + "/b.oga", top + "/sub/c.flac"}));
  EXPECT_EQ(found({top + "/notes.txt"}, false, &error),
            (std::vector<std::string>{top + "/notes.txt"}));
  EXPECT_TRUE(found({top + "/empty"}, false, &error).empty());
  EXPECT_NE(error.find("empty"), std::string::npos) << error;
  vha_file_list* list = nullptr;
  EXPECT_EQ(vha_find_sound_files(nullptr, 1, 0, &list), VH_ERR_NULL_POINTER);
  EXPECT_EQ(list, nullptr);
}

}  // namespace

namespace {

// Digital silence has no level and no sharpness (missing values, with a
// warning), but a loudness of 0 sone; the quietest sound still has levels.
TEST(AnalysisInterface, SilenceHasNoLevelAndNoSharpness) {
  Settings s = settings("levels,loudness,sharpness");
  const Result silent = analyse(s.get(), std::vector<double>(48000, 0.0));
  EXPECT_TRUE(std::isnan(summary(silent.get(), 0, 0, "laeq").value));
  EXPECT_TRUE(std::isnan(summary(silent.get(), 0, 0, "lcpeak").value));
  EXPECT_EQ(summary(silent.get(), 0, 1, "loudness").value, 0.0);
  EXPECT_TRUE(std::isnan(summary(silent.get(), 0, 2, "sharpness").value));
  vha_channel_info c{};
  ASSERT_EQ(vha_result_channel(silent.get(), 0, &c), VH_OK);
  ASSERT_EQ(c.warning_count, 1u);
  const char* warning = nullptr;
  ASSERT_EQ(vha_result_channel_warning(silent.get(), 0, 0, &warning), VH_OK);
  EXPECT_NE(std::string(warning).find("digital silence"), std::string::npos) << warning;

  std::vector<double> whisper(48000, 0.0);
  whisper[24000] = 1e-9;
  const Result quiet = analyse(s.get(), whisper);
  EXPECT_TRUE(std::isfinite(summary(quiet.get(), 0, 0, "lzeq").value));
}

}  // namespace

namespace {

// Every metric of a stereo buffer on one thread, on four (each metric and
// channel on a thread of its own, the ECMA-418-2 tonality sharing out its
// bands), and as two analyses at once from two threads: bit for bit alike.
TEST(AnalysisThreads, JobsAndConcurrentCallsGiveTheSameResults) {
  const std::vector<double> left = varnholt::test::am_tone(1000.0, 70.0, 70.0, 1.0, 24000);
  const std::vector<double> right = sine(3000.0, 65.0, 24000);
  std::vector<double> stereo;
  for (std::size_t i = 0; i < left.size(); ++i) {
    stereo.push_back(left[i]);
    stereo.push_back(right[i]);
  }
  const auto values = [&stereo](uint32_t jobs) {
    Settings s = settings("all");
    EXPECT_EQ(vha_settings_set_jobs(s.get(), jobs), VH_OK);
    const Result r = analyse(s.get(), stereo, 2);
    std::vector<double> out;
    for (std::size_t c = 0; c < 2; ++c) {
      vha_channel_info info{};
      EXPECT_EQ(vha_result_channel(r.get(), c, &info), VH_OK);
      for (std::size_t m = 0; m < info.metrics; ++m) {
        vha_metric_info metric{};
        EXPECT_EQ(vha_result_metric(r.get(), c, m, &metric), VH_OK);
        for (std::size_t i = 0; i < metric.summaries; ++i) {
          vha_summary v{};
          EXPECT_EQ(vha_result_summary(r.get(), c, m, i, &v), VH_OK);
          out.push_back(v.value);
        }
        for (std::size_t i = 0; i < metric.series; ++i) {
          vha_series series{};
          EXPECT_EQ(vha_result_series(r.get(), c, m, i, &series), VH_OK);
          out.insert(out.end(), series.values, series.values + series.count);
        }
      }
    }
    return out;
  };
  const std::vector<double> one = values(1);
  ASSERT_GT(one.size(), 100u);
  const auto same = [&one](const std::vector<double>& other) {
    return other.size() == one.size() &&
           std::memcmp(other.data(), one.data(), one.size() * sizeof(double)) == 0;
  };
  EXPECT_TRUE(same(values(4)));
  std::vector<double> a, b;
  std::thread first([&] { a = values(2); });
  std::thread second([&] { b = values(1); });
  first.join();
  second.join();
  EXPECT_TRUE(same(a));
  EXPECT_TRUE(same(b));
}

}  // namespace
