// Opening the outputs up front turns a mistyped path into an immediate usage
// error instead of a failure after hours of analysis; writing each file as
// it finishes keeps memory bounded and leaves complete output behind when
// the run is stopped.
#include "outputs.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "report_csv.h"
#include "report_json.h"
#include "report_summary_csv.h"
#include "report_text.h"

namespace varnholt::cli {

using namespace varnholt::analysis;
namespace {

// Creates (truncates) a file for writing; OutputError with the reason.
void open_for_writing(std::ofstream& out, const std::string& path, const std::string& what) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw OutputError("cannot write the " + what + " " + path + ": it is a directory");
  }
  out.open(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    throw OutputError("cannot write the " + what + " " + path + " (" + std::strerror(errno) + ")");
  }
}

void prepare_csv_directory(const std::string& dir) {
  std::error_code ec;
  if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec)) {
    throw OutputError("cannot write CSV files into " + dir + ": it is not a directory");
  }
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir, ec)) {
    throw OutputError("cannot create the CSV directory " + dir + " (" + ec.message() + ")");
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    throw OutputError("cannot write CSV files into " + dir + " (" + std::strerror(errno) + ")");
  }
}

}  // namespace

Outputs::Outputs(const Options& o, const RunInfo& run, const std::vector<std::string>& inputs,
                 bool json_lines)
    : options_(o), run_(run), csv_names_(csv_names(inputs)), json_lines_(json_lines) {
  if (o.json_path && *o.json_path != "-") open_for_writing(json_file_, *o.json_path, "JSON file");
  if (o.csv_dir) prepare_csv_directory(*o.csv_dir);
  if (o.summary_csv_path) {
    if (o.json_path && *o.json_path == *o.summary_csv_path) {
      throw OutputError(*o.summary_csv_path == "-"
                            ? "--json - and --summary-csv - both ask for standard output"
                            : "--json and --summary-csv name the same file " +
                                  *o.summary_csv_path);
    }
    if (*o.summary_csv_path != "-") {
      open_for_writing(summary_file_, *o.summary_csv_path, "summary table");
    }
    summary_stream() << summary_csv_header(o.metrics) << std::flush;
  }
}

bool Outputs::write(std::size_t index, FileResult file) {
  const std::lock_guard<std::mutex> lock(mutex_);
  try {
    return write_locked(index, file);
  } catch (const std::exception& e) {
    // Out of memory while serialising, most likely: the file's output is
    // incomplete, the run goes on with the next file.
    std::cerr << "varnholt: error: " << file.path << ": cannot write its results (" << e.what()
              << ")\n";
    return false;
  }
}

void Outputs::write_json(const FileResult& file, bool& ok) {
  const bool to_stdout = *options_.json_path == "-";
  std::ostream& out = to_stdout ? static_cast<std::ostream&>(std::cout) : json_file_;
  if (json_lines_) {
    write_json_lines(out, file, run_);
  } else {
    write_json_document(out, file, run_);
  }
  out.flush();
  json_written_ = true;
  if (!out) {
    std::cerr << "varnholt: error: cannot write the JSON output " << *options_.json_path << '\n';
    ok = false;
  }
}

std::ostream& Outputs::summary_stream() {
  return *options_.summary_csv_path == "-" ? static_cast<std::ostream&>(std::cout)
                                           : summary_file_;
}

bool Outputs::write_locked(std::size_t index, FileResult& file) {
  if (stopped_) return false;
  bool ok = true;
  // A machine-readable output on standard output replaces the text summary
  // there; its warnings go to standard error instead.
  const bool machine_output_on_stdout = (options_.json_path && *options_.json_path == "-") ||
                              (options_.summary_csv_path && *options_.summary_csv_path == "-");
  if (options_.csv_dir) {
    file.csv_name = csv_names_[index];
    const std::string plain = csv_names({file.path}).front();
    if (file.csv_name != plain) {
      file.warnings.push_back("its CSV files are named " + file.csv_name +
                              ".* because an earlier input is also called " + plain);
    }
  }
  if (machine_output_on_stdout) {
    for (const std::string& w : file.warnings) {
      std::cerr << "varnholt: warning: " << file.path << ": " << w << '\n';
    }
  } else {
    write_text_summary(std::cout, file, run_, options_.text_format, options_.text_bands);
    std::cout.flush();
  }
  for (const std::string& line : failure_lines(file)) {
    std::cerr << "varnholt: error: " << line << '\n';
    ok = false;
  }
  if (options_.json_path) write_json(file, ok);
  for (const std::string& e : file.csv_errors) {
    std::cerr << "varnholt: error: " << e << '\n';
    ok = false;
  }
  if (options_.csv_dir) {
    try {
      write_csv_files(*options_.csv_dir, file, file.csv_name, options_.csv_format,
                      options_.csv_bands, file.frame_csv_written);
    } catch (const std::exception& e) {
      std::cerr << "varnholt: error: " << e.what() << '\n';
      ok = false;
    }
  }
  if (options_.summary_csv_path) {
    std::ostream& summary = summary_stream();
    summary << summary_csv_rows(file, options_.metrics, options_.csv_format) << std::flush;
    if (!summary) {
      std::cerr << "varnholt: error: cannot write the summary table " << *options_.summary_csv_path
                << '\n';
      ok = false;
    }
  }
  return ok;
}

void Outputs::stop() {
  stopped_.emplace(mutex_);
  if (options_.json_path && *options_.json_path != "-" && !json_lines_ && !json_written_) {
    json_file_.close();
    std::error_code ec;
    std::filesystem::remove(*options_.json_path, ec);
  }
  std::cout.flush();
  std::cerr.flush();
}

}  // namespace varnholt::cli
