// Calibration factors: given directly, from the SPL of full scale, or from
// the RMS of a recorded acoustic calibrator.
#include "calibration.h"

#include <cmath>
#include <stdexcept>

#include "audio_file.h"
#include "number_format.h"

namespace varnholt::analysis {
namespace {

double rms(const std::vector<double>& x) {
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

std::string text(double x) { return format_number(x, NumberFormat{6, false}); }

}  // namespace

double pascal_per_unit_from_full_scale_spl(double full_scale_spl_db) {
  return std::sqrt(2.0) * REFERENCE_PRESSURE_PA * std::pow(10.0, full_scale_spl_db / 20.0);
}

double pascal_per_unit_from_calibrator(double calibrator_rms_units, double calibrator_spl_db) {
  return REFERENCE_PRESSURE_PA * std::pow(10.0, calibrator_spl_db / 20.0) / calibrator_rms_units;
}

Calibration calibrate(const CalibrationRequest& request) {
  Calibration c;
  c.request = request;
  switch (request.kind) {
    case CalibrationRequest::Kind::scale:
      c.pascal_per_unit = request.scale_pa;
      c.description = text(c.pascal_per_unit) + " Pa per sample unit (--scale)";
      break;
    case CalibrationRequest::Kind::full_scale_spl:
      c.pascal_per_unit = pascal_per_unit_from_full_scale_spl(request.full_scale_spl_db);
      c.description = text(c.pascal_per_unit) +
                      " Pa per sample unit (full-scale sine = " + text(request.full_scale_spl_db) +
                      " dB SPL)";
      break;
    case CalibrationRequest::Kind::calibrator: {
      AudioData audio;
      try {
        audio = read_audio_file(request.calibrator_path);
      } catch (const InputError& e) {
        throw InputError("calibration file " + request.calibrator_path + ": " + e.what());
      }
      const auto channel = static_cast<std::size_t>(request.calibrator_channel);
      if (channel < 1 || channel > audio.channels.size()) {
        throw InputError("calibration file " + request.calibrator_path + ": has no channel " +
                         std::to_string(request.calibrator_channel));
      }
      if (audio.channels.size() > 1) {
        c.warnings.push_back("the calibration file " + request.calibrator_path + " has " +
                             std::to_string(audio.channels.size()) + " channels; channel " +
                             std::to_string(channel) +
                             " is the calibrator (--channel picks another)");
      }
      c.calibrator_rms_units = rms(audio.channels[channel - 1]);
      if (!(c.calibrator_rms_units > 0.0) || !std::isfinite(c.calibrator_rms_units)) {
        throw InputError("calibration file " + request.calibrator_path +
                         ": the recording is silent or not finite (RMS " +
                         text(c.calibrator_rms_units) + ")");
      }
      c.pascal_per_unit =
          pascal_per_unit_from_calibrator(c.calibrator_rms_units, request.calibrator_spl_db);
      c.description = text(c.pascal_per_unit) + " Pa per sample unit (calibrator " +
                      request.calibrator_path + " = " + text(request.calibrator_spl_db) +
                      " dB SPL, RMS " + text(c.calibrator_rms_units) + ")";
      break;
    }
  }
  if (!(c.pascal_per_unit > 0.0) || !std::isfinite(c.pascal_per_unit)) {
    throw std::invalid_argument("the calibration factor " + text(c.pascal_per_unit) +
                                " Pa per sample unit is not a positive finite number");
  }
  return c;
}

}  // namespace varnholt::analysis
