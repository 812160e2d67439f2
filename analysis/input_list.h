// The files a command line names: files as given, folders replaced by the
// sound files in them.
#pragma once

#include <string>
#include <vector>

namespace varnholt::analysis {

// True for a file name whose extension is one of a sound format libsndfile
// reads (wav, flac, ogg, aiff, w64, mp3, ...), in any letter case.
bool has_sound_file_extension(const std::string& path);

// Each input as given, except folders: in their place the sound files they
// hold, sorted by path (also those in subfolders when `recursive`). Throws
// InputError for a folder that cannot be read or holds no sound files.
std::vector<std::string> expand_inputs(const std::vector<std::string>& inputs, bool recursive);

}  // namespace varnholt::analysis
