"""The category database: up to 16 named categories with their ids."""
import os
from dataclasses import dataclass

from . import _native
from .errors import NotestoreError, call


@dataclass(frozen=True)
class Category:
    slot: int
    name: str
    id: int


class CategoryDatabase:
    """An open category database file. Use CategoryDatabase.create or
    CategoryDatabase.open as a context manager: leaving it closes the file
    and frees the database; changes reach the file only through save()."""

    def __init__(self, path, writable):
        self.path = os.fspath(path)
        self.writable = writable
        self._db = call(_native.library().OL_CreateCategoryDB)
        if not self._db:
            raise MemoryError("no memory for a category database")

    @classmethod
    def create(cls, path):
        """A new database at `path` holding only the unfiled category."""
        database = cls(path, True)
        try:
            database._open(_native.CATEGORY_CREATE)
            call(_native.library().OL_CategoryInitNewDataBase, database._db)
        except BaseException:
            database.close()
            raise
        return database

    @classmethod
    def open(cls, path, writable=False):
        database = cls(path, writable)
        try:
            database._open(_native.CATEGORY_READ_WRITE if writable else _native.CATEGORY_READ)
            call(_native.library().OL_CategoryReadRows, database._db)
        except BaseException:
            database.close()
            raise
        return database

    def _open(self, mode):
        if not call(_native.library().OL_OpenCategoryFile, self._db, _native.wide(self.path), mode):
            raise NotestoreError(0, None, f"cannot open {self.path}", "OL_OpenCategoryFile")

    def _handle(self):
        if not self._db:
            raise ValueError("the category database is closed")
        return self._db

    def save(self):
        if not self.writable:
            raise ValueError("the category database was opened for reading")
        lib = _native.library()
        call(lib.OL_WriteAllCategoryHeaders, self._handle())
        call(lib.OL_CategoryWriteRows, self._handle())

    def close(self):
        if self._db:
            _native.library().OL_DeleteCategoryDB(self._db)
            self._db = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
        return False

    def __del__(self):
        self.close()

    def __iter__(self):
        """The named categories in slot order (the unfiled category of a new
        database has no name and is not listed)."""
        lib = _native.library()
        buffer = _native.text_buffer()
        for slot in range(call(lib.OL_GetCategoryRecordSize, self._handle())):
            call(lib.OL_GetIterCategoryName, self._handle(), buffer, slot)
            name = _native.text_of(buffer)
            # Holes and deleted records read as the empty name.
            if name:
                record = call(lib.OL_FindCategorybyName, self._handle(), _native.wide(name))
                yield Category(slot, name, call(lib.OL_GetCategoryID, self._handle(), record))

    def __len__(self):
        return sum(1 for _ in self)

    def __contains__(self, name):
        return self.find(name) is not None

    def find(self, name):
        """The first category with exactly this name, or None."""
        return next((category for category in self if category.name == name), None)

    def add(self, name):
        """A new category; ValueError when the database is full."""
        lib = _native.library()
        if not name:
            raise ValueError("a category needs a name")
        record = call(lib.OL_AddNewCategorybyName, self._handle(), _native.wide(name))
        if not record:
            raise ValueError(f"the database already holds {lib.OL_GetMaxCategoryAmount()} categories")
        return self.find(name)

    def rename(self, old, new):
        if self.find(old) is None:
            raise KeyError(old)
        call(_native.library().OL_RenameCategory, self._handle(), _native.wide(old), _native.wide(new))

    def delete(self, name):
        if self.find(name) is None:
            raise KeyError(name)
        call(_native.library().OL_DeleteCategorybyName, self._handle(), _native.wide(name))
