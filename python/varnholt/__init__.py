"""Varnholt: psychoacoustic metrics of sound in Python.

numpy arrays in, labelled results out::

    import varnholt
    r = varnholt.loudness_time(x, fs=44100)      # x in pascal
    r.N5, r.units["N5"], r.time, r.specific
    r.plot()

Every export of libvarnholt is reachable through varnholt.binding (one
function per export) and, raw, through varnholt.lib() and varnholt.ffi.
"""

from . import binding, single_values
from ._library import ffi, lib
from .analysis import ChannelAnalysis, analyze, sound_files
from .calibration import Calibration
from .errors import (AllocationError, InputTooShortError, InvalidArgumentError,
                     InvalidSampleRateError, InvalidSoundFieldError, LibraryNotFoundError,
                     NonFiniteInputError, NullPointerError, NumericalError, OutputTooSmallError,
                     SizeOverflowError, VarnholtError, VarnholtInputError)
from .metrics import (ecma_roughness, ecma_tonality, levels, loudness, loudness_time,
                      roughness_dw, sharpness, tonality_aures)
from .results import (METRICS, EcmaRoughness, EcmaTonality, Levels, Loudness, LoudnessTime,
                      MetricResult, RoughnessDW, Sharpness, TonalityAures)
from .single_values import SingleValue
from .stream import Stream

__version__ = "0.2.2"


def report(source, output, metrics=None, calibration=None, field="free", channel=None):
    """Writes the report of ChannelAnalysis objects, sound files, folders or
    the varnholt tool's JSON / JSON Lines; see varnholt.html_report.report."""
    from .html_report import report as write

    return write(source, output, metrics=metrics, calibration=calibration, field=field,
                 channel=channel)


def batch(paths, metrics=None, calibration=None, client=None, field="free", progress=False,
          out=None, overwrite=False, series=None, recursive=False):
    """Analyses many files on a Dask cluster, writing each row to `out` as it
    finishes and resuming from it; see varnholt.batch_dask.batch."""
    from .batch_dask import batch as run

    return run(paths, metrics=metrics, calibration=calibration, client=client, field=field,
               progress=progress, out=out, overwrite=overwrite, series=series,
               recursive=recursive)
