"""The one factor that turns file sample units into pascal, as the varnholt
tool forms it: given directly (--scale), from the SPL a full-scale sine would
read (--full-scale-spl), or from the RMS of a recorded acoustic calibrator
(--calibration FILE --calibration-spl DB)."""

from __future__ import annotations

import numbers
import os
from dataclasses import dataclass

from .errors import InvalidArgumentError


def _refuse(message: str) -> InvalidArgumentError:
    return InvalidArgumentError(message, status=2, status_text="invalid argument")


def _in_force(apply) -> tuple[float, str]:
    """The factor and description the analysis layer forms from one setter."""
    from . import _layer

    with _layer.settings_handle() as settings:
        apply(settings)
        return _layer.calibration_in_force(settings)


def _number(x, what: str) -> float:
    if isinstance(x, bool) or not isinstance(x, numbers.Real):
        raise _refuse(f"{what} {x!r}: expected a number")
    return float(x)


@dataclass(frozen=True)
class Calibration:
    """How sample units become pascal. Build it with Calibration.scale,
    Calibration.full_scale_spl or Calibration.calibrator; the factor and its
    description are formed by the analysis layer, as the tool forms them."""

    method: str  # "scale", "full-scale-spl" or "calibrator"
    pascal_per_unit: float
    description: str
    full_scale_spl_db: float | None = None
    calibrator_file: str | None = None
    calibrator_spl_db: float | None = None
    calibrator_channel: int | None = None
    calibrator_rms_units: float | None = None

    @classmethod
    def scale(cls, pascal_per_unit: float = 1.0) -> "Calibration":
        """`pascal_per_unit` Pa per sample unit (1: the file holds pascal)."""
        from . import _layer

        f = _number(pascal_per_unit, "calibration")
        return cls("scale", *_in_force(
            lambda s: _layer.check(_layer.analysis_lib().vha_settings_set_scale(s, f),
                                   "calibration", s)))

    @classmethod
    def full_scale_spl(cls, full_scale_spl_db: float) -> "Calibration":
        """A full-scale sine (RMS 1/sqrt(2) units) reads `full_scale_spl_db` dB SPL:
        sqrt(2) * 20 uPa * 10^(L/20) per unit."""
        from . import _layer

        db = _number(full_scale_spl_db, "full-scale SPL")
        factor, description = _in_force(
            lambda s: _layer.check(_layer.analysis_lib().vha_settings_set_full_scale_spl(s, db),
                                   "calibration", s))
        return cls("full-scale-spl", factor, description, full_scale_spl_db=db)

    @classmethod
    def calibrator(cls, path, spl_db: float, channel: int = 1) -> "Calibration":
        """`path` is a recording of an acoustic calibrator of `spl_db` dB SPL
        (channel counted from 1): 20 uPa * 10^(L/20) / RMS per unit."""
        from . import _layer

        db = _number(spl_db, "calibrator SPL")
        if isinstance(channel, bool) or not isinstance(channel, numbers.Integral) or channel < 1:
            raise _refuse(f"calibrator channel {channel!r}: expected a channel number from 1")
        path = os.fspath(path)
        factor, description = _in_force(
            lambda s: _layer.check(_layer.analysis_lib().vha_settings_set_calibrator(
                s, os.fsencode(path), db, int(channel)), "calibration", s))
        return cls("calibrator", factor, description, calibrator_file=path,
                   calibrator_spl_db=db, calibrator_channel=int(channel))


def as_calibration(calibration) -> Calibration:
    """None (1 Pa per unit), a number (Pa per unit), a Calibration, or a dict
    with one of the keys "scale", "full_scale_spl" or "calibrator" (with
    "spl" and optionally "channel")."""
    if calibration is None:
        return Calibration.scale(1.0)
    if isinstance(calibration, Calibration):
        return calibration
    if isinstance(calibration, numbers.Real) and not isinstance(calibration, bool):
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
