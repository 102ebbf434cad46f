"""What documents and category databases share: a library object bound to
one file, deleted when closed, and flags read and written through it."""
import os

from . import _native
from .errors import NotestoreError, call


def flag(getter, setter, doc):
    """A bool property over an OL_BOOL getter and setter of self._handle()."""
    def get(self):
        return bool(call(getattr(_native.library(), getter), self._handle()))

    def set_(self, value):
        call(getattr(_native.library(), setter), self._handle(), bool(value))

    return property(get, set_, doc=doc)


class LibraryFile:
    """A library object bound to the file at `path`. Subclasses name the
    functions that make, open, save and delete it. Use it as a context
    manager: leaving it closes the file and deletes the object; changes
    reach the file only through save()."""

    _kind = None          # for messages
    _make = None          # () -> object
    _delete = None        # (object) -> None
    _open_file = None     # (object, path, mode) -> 1 when opened
    _save_steps = ()      # (object) -> None each, in order

    def __init__(self, path, writable):
        self.path = os.fspath(path)
        self.writable = writable
        self._db = call(getattr(_native.library(), self._make))
        if not self._db:
            raise MemoryError(f"no memory for a {self._kind}")

    @classmethod
    def _opened(cls, path, writable, mode, *then):
        """A new object with the file opened in `mode`, then the functions
        named in `then` called on it; nothing is left behind on failure."""
        instance = cls(path, writable)
        try:
            lib = _native.library()
            if not call(getattr(lib, cls._open_file), instance._db, _native.wide(instance.path), mode):
                raise NotestoreError(0, None, f"cannot open {instance.path}", cls._open_file)
            for step in then:
                step(instance)
        except BaseException:
            instance.close()
            raise
        return instance

    def _handle(self):
        if not self._db:
            raise ValueError(f"the {self._kind} is closed")
        return self._db

    def save(self):
        """Writes the headers and every record to the file."""
        if not self.writable:
            raise ValueError(f"the {self._kind} was opened for reading")
        lib = _native.library()
        for step in self._save_steps:
            call(getattr(lib, step), self._handle())

    def close(self):
        if self._db:
            getattr(_native.library(), self._delete)(self._db)
            self._db = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
        return False

    def __del__(self):
        self.close()
