// Folder expansion: the extensions come from libsndfile's own list of the
// formats it reads, plus the usual alternative spellings.
#include "input_list.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "audio_file.h"

namespace varnholt::analysis {
namespace {

std::set<std::string> sound_file_extensions() {
  std::set<std::string> extensions = {"wav",  "wave", "aif",  "aiff", "aifc", "flac", "ogg", "oga",
                                      "opus", "w64",  "rf64", "caf",  "au",   "snd",  "mp3"};
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension) {
      extensions.insert(info.extension);
    }
  }
  return extensions;
}

std::string lower_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

template <typename Iterator>
void collect_sound_files(Iterator first, std::vector<std::string>& out) {
  for (const std::filesystem::directory_entry& entry : first) {
    std::error_code ec;
    if (entry.is_regular_file(ec) && has_sound_file_extension(entry.path().string())) {
      out.push_back(entry.path().string());
    }
  }
}

}  // namespace

bool has_sound_file_extension(const std::string& path) {
  static const std::set<std::string> extensions = sound_file_extensions();
  std::string extension = std::filesystem::path(path).extension().string();
  if (extension.size() < 2) return false;
  return extensions.count(lower_case(extension.substr(1))) > 0;
}

std::vector<std::string> expand_inputs(const std::vector<std::string>& inputs, bool recursive) {
  std::vector<std::string> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (input == "-" || !std::filesystem::is_directory(input, ec)) {
      files.push_back(input);
      continue;
    }
    std::vector<std::string> found;
    const auto options = std::filesystem::directory_options::skip_permission_denied;
    try {
      if (recursive) {
        collect_sound_files(std::filesystem::recursive_directory_iterator(input, options), found);
      } else {
        collect_sound_files(std::filesystem::directory_iterator(input, options), found);
      }
    } catch (const std::filesystem::filesystem_error& e) {
      throw InputError("cannot read the folder " + input + " (" + e.code().message() + ")");
    }
    if (found.empty()) {
      throw InputError("the folder " + input + " holds no sound files" +
                       (recursive ? "" : " (--recursive also looks in its subfolders)"));
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

}  // namespace varnholt::analysis
