"""Exceptions of the binding: one class per library status.

Every failing status raises a subclass of VarnholtError carrying the status
number and the library's own text. Statuses caused by the caller's input
also derive from ValueError, so ordinary Python code catches them.
"""

from __future__ import annotations


class VarnholtError(Exception):
    """A call into libvarnholt failed.

    Attributes:
        status: the library's status number (0 ... 10).
        status_text: the library's text of that status, e.g. "input is too short".
    """

    status: int = -1

    def __init__(self, message: str, status: int | None = None, status_text: str = ""):
        super().__init__(message)
        if status is not None:
            self.status = status
        self.status_text = status_text


class VarnholtInputError(VarnholtError, ValueError):
    """The input was refused: bad samples, rate, sound field, length or argument."""


class NullPointerError(VarnholtError):
    status = 1


class InvalidArgumentError(VarnholtInputError):
    status = 2


class InvalidSampleRateError(VarnholtInputError):
    status = 3


class InvalidSoundFieldError(VarnholtInputError):
    status = 4


class NonFiniteInputError(VarnholtInputError):
    status = 5


class InputTooShortError(VarnholtInputError):
    status = 6


class OutputTooSmallError(VarnholtError):
    status = 7


class SizeOverflowError(VarnholtInputError):
    status = 8


class AllocationError(VarnholtError, MemoryError):
    status = 9


class NumericalError(VarnholtError, ArithmeticError):
    status = 10


class LibraryNotFoundError(OSError):
    """libvarnholt.so.1 could not be loaded from any of the places searched."""


ERROR_OF_STATUS: dict[int, type[VarnholtError]] = {
    cls.status: cls
    for cls in (
        NullPointerError,
        InvalidArgumentError,
        InvalidSampleRateError,
        InvalidSoundFieldError,
        NonFiniteInputError,
        InputTooShortError,
        OutputTooSmallError,
        SizeOverflowError,
        AllocationError,
        NumericalError,
    )
}


def error_for(status: int, status_text: str, message: str) -> VarnholtError:
    """The exception of one status; VarnholtError itself for an unknown one."""
    cls = ERROR_OF_STATUS.get(status, VarnholtError)
    return cls(message, status=status, status_text=status_text)
