"""Exceptions built from the library's last-exception record."""
from . import _native

NONE, LIBRARY, DATABASE, FILE, UNKNOWN = range(5)
NO_NUMBER = 0xFFFFFFFF


class NotestoreError(Exception):
    """A failure the library recorded: its kind, number (None when it has
    none) and description."""

    def __init__(self, kind, number, text, operation=None):
        self.kind = kind
        self.number = None if number == NO_NUMBER else number
        self.text = text
        self.operation = operation
        detail = text or "no description"
        if self.number is not None:
            detail = f"{detail} (error {self.number})"
        super().__init__(f"{operation}: {detail}" if operation else detail)


class LibraryError(NotestoreError):
    """The library's own error, such as running out of memory."""


class DatabaseError(NotestoreError):
    """A damaged or foreign database file."""


class FileError(NotestoreError):
    """A file operation failed."""


_CLASSES = {LIBRARY: LibraryError, DATABASE: DatabaseError, FILE: FileError}


def last_error(operation=None):
    """The calling thread's last-exception record as an exception, or None
    when the latest call completed."""
    lib = _native.library()
    kind = lib.OL_GetLastExceptionKind()
    if kind == NONE:
        return None
    number = lib.OL_GetLastExceptionNumber()
    length = lib.OL_GetLastExceptionText(None)
    text = ""
    if length > 0:
        buffer = _native.text_buffer(length + 1)
        _native.library().OL_GetLastExceptionText(buffer)
        text = _native.text_of(buffer, length)
    return _CLASSES.get(kind, NotestoreError)(kind, number, text, operation)


def call(function, *arguments):
    """Calls a flat function and raises what it recorded."""
    result = function(*arguments)
    error = last_error(function.__name__)
    if error is not None:
        raise error
    return result
