// The live lines of --follow.
#include "follow_printer.h"

#include <array>
#include <cstdio>
#include <string>

namespace varnholt::cli {

using namespace varnholt::analysis;

FrameListener follow_printer(NumberFormat format, bool name_channels) {
  return [format, name_channels](int channel, Metric metric, double time_s,
                                 std::span<const double> values) {
    std::array<char, 32> time{};
    std::snprintf(time.data(), time.size(), "%.3f", time_s);
    std::string line = time.data();
    if (name_channels) line += " ch" + std::to_string(channel);
    line += ' ';
    line += metric_name(metric);
    for (double v : values) line += ' ' + format_number(v, format);
    line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  };
}

}  // namespace varnholt::cli
