// Sound files through libsndfile: integer PCM arrives normalised to full
// scale 1, floating-point data unchanged; channels are de-interleaved.
#include "audio_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "wav_layout.h"

namespace varnholt::analysis {
namespace {

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// Read-only virtual file over a byte buffer, for data that cannot be seeked
// such as a pipe on standard input.
struct MemoryFile {
  const std::vector<char>* bytes;
  sf_count_t position;
};

sf_count_t memory_length(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes->size());
}

sf_count_t memory_seek(sf_count_t offset, int whence, void* user) {
  auto* file = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(file->bytes->size());
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target = file->position + offset;
  if (whence == SEEK_END) target = size + offset;
  file->position = std::clamp<sf_count_t>(target, 0, size);
  return file->position;
}

sf_count_t memory_read(void* out, sf_count_t count, void* user) {
  auto* file = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(file->bytes->size());
  const sf_count_t n = std::clamp<sf_count_t>(count, 0, size - file->position);
  std::memcpy(out, file->bytes->data() + file->position, static_cast<std::size_t>(n));
  file->position += n;
  return n;
}

sf_count_t memory_write(const void*, sf_count_t, void*) { return 0; }

sf_count_t memory_tell(void* user) { return static_cast<MemoryFile*>(user)->position; }

std::string format_name(SNDFILE* file, int format) {
  SF_FORMAT_INFO major{};
  major.format = format & SF_FORMAT_TYPEMASK;
  SF_FORMAT_INFO subtype{};
  subtype.format = format & SF_FORMAT_SUBMASK;
  std::string name;
  if (sf_command(file, SFC_GET_FORMAT_INFO, &major, sizeof major) == 0 && major.name) {
    name = major.name;
  }
  if (sf_command(file, SFC_GET_FORMAT_INFO, &subtype, sizeof subtype) == 0 && subtype.name) {
    name += (name.empty() ? "" : ", ") + std::string(subtype.name);
  }
  return name;
}

// Bytes per stored sample of the PCM and float encodings; 0 for the others.
std::uint64_t bytes_per_sample(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
      return 1;
    case SF_FORMAT_PCM_16:
      return 2;
    case SF_FORMAT_PCM_24:
      return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 4;
    case SF_FORMAT_DOUBLE:
      return 8;
    default:
      return 0;
  }
}

void warn_about_undeclared_bytes(std::vector<std::string>& warnings, std::size_t frames,
                                 std::uint64_t bytes, const SF_INFO& info) {
  if (bytes == 0) return;
  std::string text = "the WAV header declares " + std::to_string(frames) + " frames, but " +
                     std::to_string(bytes) + " more bytes";
  const std::uint64_t frame_bytes =
      bytes_per_sample(info.format) * static_cast<std::uint64_t>(info.channels);
  if (frame_bytes > 0) text += " (" + std::to_string(bytes / frame_bytes) + " frames)";
  text +=
      " follow the declared end of the data: they are not analysed (was the header written "
      "before the recording ended?)";
  warnings.push_back(std::move(text));
}

// Reads every frame (in blocks, so a stream of unknown length works too) and
// splits the interleaved samples into channels.
AudioData read_all(SNDFILE* file, const SF_INFO& info) {
  if (info.channels < 1) throw InputError("the file declares no channels");
  if (info.samplerate < 1) throw InputError("the file declares no sample rate");
  const auto channels = static_cast<std::size_t>(info.channels);
  AudioData audio;
  audio.format = format_name(file, info.format);
  audio.sample_rate_hz = info.samplerate;
  audio.channels.assign(channels, {});
  // A length the header states is taken as a hint only: the vectors grow
  // geometrically past it, and a header that overstates it by far costs
  // address space, not memory, as the pages are never touched.
  constexpr sf_count_t LARGEST_HINT_FRAMES = sf_count_t{1} << 30;
  if (info.frames > 0 && info.frames <= LARGEST_HINT_FRAMES) {
    for (std::vector<double>& c : audio.channels) c.reserve(static_cast<std::size_t>(info.frames));
  }
  constexpr sf_count_t BLOCK_FRAMES = 65536;
  std::vector<double> block(static_cast<std::size_t>(BLOCK_FRAMES) * channels);
  for (;;) {
    const sf_count_t got = sf_readf_double(file, block.data(), BLOCK_FRAMES);
    if (got <= 0) break;
    append_deinterleaved(block.data(), static_cast<std::size_t>(got), audio.channels);
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    throw InputError(std::string("cannot read the audio data (") + sf_strerror(file) + ")");
  }
  audio.frames = audio.channels[0].size();
  if (audio.frames == 0) throw InputError("the file holds no audio samples");
  return audio;
}

std::string without_trailing_period(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

std::vector<char> read_standard_input() {
  std::vector<char> bytes;
  std::cin >> std::noskipws;
  std::copy(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>(),
            std::back_inserter(bytes));
  return bytes;
}

}  // namespace

void append_deinterleaved(const double* block, std::size_t frames,
                          std::vector<std::vector<double>>& channels) {
  const std::size_t count = channels.size();
  for (std::size_t c = 0; c < count; ++c) {
    std::vector<double>& out = channels[c];
    // resize() keeps the vector's geometric growth; a reserve() of exactly
    // the next block would reallocate and copy everything on every block.
    const std::size_t start = out.size();
    out.resize(start + frames);
    for (std::size_t i = 0; i < frames; ++i) out[start + i] = block[i * count + c];
  }
}

AudioData read_audio_bytes(const std::vector<char>& bytes) {
  if (bytes.empty()) throw InputError("empty input: no data");
  SF_VIRTUAL_IO io{memory_length, memory_seek, memory_read, memory_write, memory_tell};
  MemoryFile memory{&bytes, 0};
  SF_INFO info{};
  SndfileHandle file(sf_open_virtual(&io, SFM_READ, &info, &memory));
  if (!file) {
    throw InputError("not an audio file that can be read (" +
                     without_trailing_period(sf_strerror(nullptr)) + ")");
  }
  AudioData audio = read_all(file.get(), info);
  const ByteReader from_memory = [&bytes](std::uint64_t offset, char* out, std::size_t n) {
    if (offset >= bytes.size()) return std::size_t{0};
    const std::size_t got = std::min<std::size_t>(n, bytes.size() - offset);
    std::memcpy(out, bytes.data() + offset, got);
    return got;
  };
  warn_about_undeclared_bytes(audio.warnings, audio.frames,
                              undeclared_wav_bytes(from_memory, bytes.size()), info);
  return audio;
}

namespace {

// Checks that the path names a non-empty file before libsndfile sees it.
void check_file(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw InputError("no such file");
  if (std::filesystem::is_directory(status)) throw InputError("is a directory, not a file");
  if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, ec) == 0) {
    throw InputError("empty file: no data");
  }
}

SndfileHandle open_or_throw(SNDFILE* file) {
  if (!file) {
    throw InputError("not an audio file that can be read (" +
                     without_trailing_period(sf_strerror(nullptr)) + ")");
  }
  return SndfileHandle(file);
}

// Bytes after the declared end of a regular file's WAV data.
void warn_about_undeclared_file_bytes(std::vector<std::string>& warnings, std::size_t frames,
                                      const std::string& path, const SF_INFO& info) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return;
  std::ifstream in(path, std::ios::binary);
  const ByteReader from_file = [&in](std::uint64_t offset, char* out, std::size_t n) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(out, static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount());
  };
  warn_about_undeclared_bytes(warnings, frames, undeclared_wav_bytes(from_file, size), info);
}

}  // namespace

AudioData read_audio_file(const std::string& path) {
  if (path == "-") return read_audio_bytes(read_standard_input());
  check_file(path);
  SF_INFO info{};
  SndfileHandle file = open_or_throw(sf_open(path.c_str(), SFM_READ, &info));
  AudioData audio = read_all(file.get(), info);
  warn_about_undeclared_file_bytes(audio.warnings, audio.frames, path, info);
  return audio;
}

struct AudioReader::Source {
  std::vector<char> bytes;  // standard input read whole
  MemoryFile memory{&bytes, 0};
  SF_VIRTUAL_IO io{memory_length, memory_seek, memory_read, memory_write, memory_tell};
  SF_INFO info{};
  SndfileHandle file;
  bool from_memory = false;
};

AudioReader::AudioReader(const std::string& path, bool pipe)
    : source_(std::make_unique<Source>()), path_(path) {
  Source& s = *source_;
  if (path == "-" && pipe) {
    s.file = open_or_throw(sf_open_fd(STDIN_FILENO, SFM_READ, &s.info, 0));
  } else if (path == "-") {
    s.bytes = read_standard_input();
    if (s.bytes.empty()) throw InputError("empty input: no data");
    s.from_memory = true;
    s.file = open_or_throw(sf_open_virtual(&s.io, SFM_READ, &s.info, &s.memory));
  } else {
    check_file(path);
    s.file = open_or_throw(sf_open(path.c_str(), SFM_READ, &s.info));
  }
  if (s.info.channels < 1) throw InputError("the file declares no channels");
  if (s.info.samplerate < 1) throw InputError("the file declares no sample rate");
  format_ = format_name(s.file.get(), s.info.format);
  rate_hz_ = s.info.samplerate;
  channels_ = static_cast<std::size_t>(s.info.channels);
  // Streams of unknown length declare an absurd count.
  constexpr sf_count_t LARGEST_DECLARED_FRAMES = sf_count_t{1} << 40;
  if (s.info.frames > 0 && s.info.frames < LARGEST_DECLARED_FRAMES) {
    declared_frames_ = static_cast<std::size_t>(s.info.frames);
  }
}

AudioReader::~AudioReader() = default;

std::size_t AudioReader::read(std::vector<double>& block, std::size_t frames) {
  block.resize(frames * channels_);
  const sf_count_t got =
      sf_readf_double(source_->file.get(), block.data(), static_cast<sf_count_t>(frames));
  if (sf_error(source_->file.get()) != SF_ERR_NO_ERROR) {
    throw InputError(std::string("cannot read the audio data (") +
                     sf_strerror(source_->file.get()) + ")");
  }
  const auto n = static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
  block.resize(n * channels_);
  return n;
}

void AudioReader::rewind() {
  if (sf_seek(source_->file.get(), 0, SEEK_SET) != 0) {
    throw InputError("cannot read the audio data a second time");
  }
}

std::vector<std::string> AudioReader::warnings(std::size_t frames_read) const {
  std::vector<std::string> out;
  const Source& s = *source_;
  if (s.from_memory) {
    const std::vector<char>& bytes = s.bytes;
    const ByteReader from_memory = [&bytes](std::uint64_t offset, char* o, std::size_t n) {
      if (offset >= bytes.size()) return std::size_t{0};
      const std::size_t got = std::min<std::size_t>(n, bytes.size() - offset);
      std::memcpy(o, bytes.data() + offset, got);
      return got;
    };
    warn_about_undeclared_bytes(out, frames_read, undeclared_wav_bytes(from_memory, bytes.size()),
                                s.info);
  } else if (path_ != "-") {
    warn_about_undeclared_file_bytes(out, frames_read, path_, s.info);
  }
  return out;
}

}  // namespace varnholt::analysis
