// Failure reasons of a file's analysis as one-line messages.
#include "results.h"

namespace varnholt::analysis {

std::vector<std::string> failure_lines(const FileResult& file) {
  std::vector<std::string> lines;
  if (!file.error.empty()) {
    lines.push_back(file.path + ": " + file.error);
    return lines;
  }
  for (const ChannelResult& channel : file.channels) {
    const std::string where = file.path + ": channel " + std::to_string(channel.channel) + ": ";
    if (!channel.error.empty()) {
      lines.push_back(where + channel.error);
      continue;
    }
    for (const MetricResult& metric : channel.metrics) {
      if (!metric.ok())
        lines.push_back(where + std::string(metric_name(metric.metric)) + ": " + metric.error);
    }
  }
  return lines;
}

}  // namespace varnholt::analysis
