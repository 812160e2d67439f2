// The one factor that turns file sample units into pascal.
#pragma once

#include <string>
#include <vector>

namespace varnholt::analysis {

inline constexpr double REFERENCE_PRESSURE_PA = 2e-5;

struct CalibrationRequest {
  enum class Kind { scale, full_scale_spl, calibrator };
  Kind kind = Kind::scale;
  double scale_pa = 1.0;           // --scale
  double full_scale_spl_db = 0.0;  // --full-scale-spl
  std::string calibrator_path;     // --calibration
  double calibrator_spl_db = 0.0;  // --calibration-spl
  int calibrator_channel = 1;      // 1-based channel of the calibrator recording
};

struct Calibration {
  CalibrationRequest request;
  double pascal_per_unit = 1.0;
  double calibrator_rms_units = 0.0;  // only for a calibrator recording
  std::string description;            // one line for the text summary
  std::vector<std::string> warnings;  // e.g. which channel of a multichannel calibrator
};

// A full-scale sine (amplitude 1, RMS 1/sqrt(2)) that reads L dB SPL has the
// RMS pressure 20 uPa * 10^(L/20): 1 unit is sqrt(2) * 20 uPa * 10^(L/20).
double pascal_per_unit_from_full_scale_spl(double full_scale_spl_db);

// A calibrator of L dB SPL recorded with RMS r units: 1 unit is
// 20 uPa * 10^(L/20) / r.
double pascal_per_unit_from_calibrator(double calibrator_rms_units, double calibrator_spl_db);

// Works out the factor; reads the calibrator recording when one is named.
// Throws InputError when the recording cannot be read, lacks the channel or
// is silent, and std::invalid_argument for a factor that is not a positive
// finite number.
Calibration calibrate(const CalibrationRequest& request);

}  // namespace varnholt::analysis
