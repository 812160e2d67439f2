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

from ._declarations import DECLARATIONS
from .errors import LibraryNotFoundError

LIBRARY_NAME = "libvarnholt.so.1"
ENVIRONMENT_VARIABLE = "VARNHOLT_LIBRARY"

ffi = cffi.FFI()
ffi.cdef(DECLARATIONS)


def _candidates() -> list[tuple[str, str]]:
    """(where, what to dlopen) in search order."""
    places = []
    configured = os.environ.get(ENVIRONMENT_VARIABLE)
    if configured:
        places.append((f"${ENVIRONMENT_VARIABLE}", configured))
    places.append(("beside the package", str(Path(__file__).resolve().parent / LIBRARY_NAME)))
    places.append(("the system loader", LIBRARY_NAME))
    return places


@functools.lru_cache(maxsize=None)
def lib():
    """The loaded library (cached); raises LibraryNotFoundError with a fix."""
    tried = []
    for where, target in _candidates():
        if where != "the system loader" and not Path(target).exists():
            tried.append(f"  {where}: {target} (no such file)")
            continue
        try:
            return ffi.dlopen(target)
        except OSError as e:
            tried.append(f"  {where}: {target} ({e})")
    raise LibraryNotFoundError(
        f"cannot load {LIBRARY_NAME}; tried:\n"
        + "\n".join(tried)
        + f"\nBuild the library (cmake --build BUILD --target varnholt) and set "
        f"{ENVIRONMENT_VARIABLE}=BUILD/src/{LIBRARY_NAME}, or install it "
        f"(cmake --install BUILD, then ldconfig) so that the system loader finds it."
    )
