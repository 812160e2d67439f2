"""The one factor that turns file sample units into pascal, as the varnholt
tool forms it: given directly (--scale), from the SPL a full-scale sine would
read (--full-scale-spl), or from the RMS of a recorded acoustic calibrator
(--calibration FILE --calibration-spl DB)."""

from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np

from .errors import InvalidArgumentError
from .single_values import REFERENCE_PRESSURE_PA


def _text(x: float) -> str:
    return f"{x:.6g}"


def _refuse(message: str) -> InvalidArgumentError:
    return InvalidArgumentError(message, status=2, status_text="invalid argument")


@dataclass(frozen=True)
class Calibration:
    """How sample units become pascal. Build it with Calibration.scale,
    Calibration.full_scale_spl or Calibration.calibrator."""

    method: str  # "scale", "full-scale-spl" or "calibrator"
    pascal_per_unit: float
    description: str
    full_scale_spl_db: float | None = None
    calibrator_file: str | None = None
    calibrator_spl_db: float | None = None
    calibrator_channel: int | None = None
    calibrator_rms_units: float | None = None

    def __post_init__(self):
        if not (math.isfinite(self.pascal_per_unit) and self.pascal_per_unit > 0.0):
            raise _refuse(f"the calibration factor {_text(self.pascal_per_unit)} Pa per sample "
                          "unit is not a positive finite number")

    @classmethod
    def scale(cls, pascal_per_unit: float = 1.0) -> "Calibration":
        """`pascal_per_unit` Pa per sample unit (1: the file holds pascal)."""
        f = float(pascal_per_unit)
        return cls("scale", f, f"{_text(f)} Pa per sample unit (--scale)")

    @classmethod
    def full_scale_spl(cls, full_scale_spl_db: float) -> "Calibration":
        """A full-scale sine (RMS 1/sqrt(2) units) reads `full_scale_spl_db` dB SPL:
        sqrt(2) * 20 uPa * 10^(L/20) per unit."""
        db = float(full_scale_spl_db)
        f = math.sqrt(2.0) * REFERENCE_PRESSURE_PA * math.pow(10.0, db / 20.0)
        return cls("full-scale-spl", f,
                   f"{_text(f)} Pa per sample unit (full-scale sine = {_text(db)} dB SPL)",
                   full_scale_spl_db=db)

    @classmethod
    def calibrator(cls, path, spl_db: float, channel: int = 1) -> "Calibration":
        """`path` is a recording of an acoustic calibrator of `spl_db` dB SPL
        (channel counted from 1): 20 uPa * 10^(L/20) / RMS per unit."""
        from .audio import read_audio

        audio = read_audio(path)
        if not 1 <= channel <= audio.channels.shape[0]:
            raise _refuse(f"calibration file {path}: has no channel {channel}")
        x = audio.channels[channel - 1]
        rms = math.sqrt(float(np.cumsum(x * x)[-1]) / x.size)
        if not (rms > 0.0 and math.isfinite(rms)):
            raise _refuse(f"calibration file {path}: the recording is silent or not finite "
                          f"(RMS {_text(rms)})")
        db = float(spl_db)
        f = REFERENCE_PRESSURE_PA * math.pow(10.0, db / 20.0) / rms
        return cls("calibrator", f,
                   f"{_text(f)} Pa per sample unit (calibrator {path} = {_text(db)} dB SPL, "
                   f"RMS {_text(rms)})",
                   calibrator_file=str(path), calibrator_spl_db=db, calibrator_channel=channel,
                   calibrator_rms_units=rms)


def as_calibration(calibration) -> Calibration:
    """None (1 Pa per unit), a number (Pa per unit), a Calibration, or a dict
    with one of the keys "scale", "full_scale_spl" or "calibrator" (with
    "spl" and optionally "channel")."""
    if calibration is None:
        return Calibration.scale(1.0)
    if isinstance(calibration, Calibration):
        return calibration
    if isinstance(calibration, (int, float)):
        return Calibration.scale(calibration)
    if isinstance(calibration, dict):
        c = dict(calibration)
        if set(c) == {"scale"}:
            return Calibration.scale(c["scale"])
        if set(c) == {"full_scale_spl"}:
            return Calibration.full_scale_spl(c["full_scale_spl"])
        if "calibrator" in c and set(c) <= {"calibrator", "spl", "channel"} and "spl" in c:
            return Calibration.calibrator(c["calibrator"], c["spl"], c.get("channel", 1))
    raise _refuse(
        f"calibration {calibration!r}: give a number (Pa per unit), {{'scale': PA}}, "
        "{'full_scale_spl': DB} or {'calibrator': FILE, 'spl': DB}"
    )
