"""Finding and loading libvarnholt.so.1 through cffi in ABI mode.

The library is looked for in three places, in order: the path in the
VARNHOLT_LIBRARY environment variable, a libvarnholt.so.1 beside this
package, and the system loader's search path. It is loaded on first use, so
the parts of the package that need no library (plotting the tool's JSON)
work without it.
"""

from __future__ import annotations

import functools
import os
from pathlib import Path

import cffi

from ._analysis_declarations import ANALYSIS_DECLARATIONS
from ._declarations import DECLARATIONS
from .errors import LibraryNotFoundError

LIBRARY_NAME = "libvarnholt.so.1"
ENVIRONMENT_VARIABLE = "VARNHOLT_LIBRARY"
ANALYSIS_LIBRARY_NAME = "libvarnholt_analysis.so.1"
ANALYSIS_ENVIRONMENT_VARIABLE = "VARNHOLT_ANALYSIS_LIBRARY"

ffi = cffi.FFI()
ffi.cdef(DECLARATIONS)
ffi.cdef(ANALYSIS_DECLARATIONS)


def _candidates(name: str, variable: str) -> list[tuple[str, str]]:
    """(where, what to dlopen) in search order."""
    places = []
    configured = os.environ.get(variable)
    if configured:
        places.append((f"${variable}", configured))
    if name == ANALYSIS_LIBRARY_NAME and os.environ.get(ENVIRONMENT_VARIABLE):
        # A build tree keeps the analysis layer in analysis/ beside src/.
        core = Path(os.environ[ENVIRONMENT_VARIABLE]).resolve().parent
        places.append((f"beside ${ENVIRONMENT_VARIABLE}", str(core / name)))
        places.append((f"in the build tree of ${ENVIRONMENT_VARIABLE}",
                       str(core.parent / "analysis" / name)))
    places.append(("beside the package", str(Path(__file__).resolve().parent / name)))
    places.append(("the system loader", name))
    return places


@functools.lru_cache(maxsize=None)
def lib():
    """The loaded library (cached); raises LibraryNotFoundError with a fix."""
    return _load(LIBRARY_NAME, ENVIRONMENT_VARIABLE, "varnholt", "src")


@functools.lru_cache(maxsize=None)
def analysis_lib():
    """The loaded analysis layer (cached), which reads files, resamples and
    forms every single value; raises LibraryNotFoundError with a fix."""
    lib()  # the layer links the core library: load the one configured first
    return _load(ANALYSIS_LIBRARY_NAME, ANALYSIS_ENVIRONMENT_VARIABLE, "varnholt_analysis",
                 "analysis")


def _load(name: str, variable: str, target_name: str, build_dir: str):
    tried = []
    for where, target in _candidates(name, variable):
        if where != "the system loader" and not Path(target).exists():
            tried.append(f"  {where}: {target} (no such file)")
            continue
        try:
            return ffi.dlopen(target)
        except OSError as e:
            tried.append(f"  {where}: {target} ({e})")
    raise LibraryNotFoundError(
        f"cannot load {name}; tried:\n"
        + "\n".join(tried)
        + f"\nBuild the library (cmake --build BUILD --target {target_name}) and set "
        f"{variable}=BUILD/{build_dir}/{name}, or install it "
        f"(cmake --install BUILD, then ldconfig) so that the system loader finds it."
    )
