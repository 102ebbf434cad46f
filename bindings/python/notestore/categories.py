"""The category database: up to 16 named categories with their ids."""
from dataclasses import dataclass

from . import _native
from ._base import LibraryFile
from .errors import call


@dataclass(frozen=True)
class Category:
    slot: int
    name: str
    id: int


def _read_rows(database):
    call(_native.library().OL_CategoryReadRows, database._db)


def _init_new(database):
    call(_native.library().OL_CategoryInitNewDataBase, database._db)


class CategoryDatabase(LibraryFile):
    """An open category database file (see LibraryFile)."""

    _kind = "category database"
    _make = "OL_CreateCategoryDB"
    _delete = "OL_DeleteCategoryDB"
    _open_file = "OL_OpenCategoryFile"
    _save_steps = ("OL_WriteAllCategoryHeaders", "OL_CategoryWriteRows")

    @classmethod
    def create(cls, path):
        """A new database at `path` holding only the unfiled category."""
        return cls._opened(path, True, _native.CATEGORY_CREATE, _init_new)

    @classmethod
    def open(cls, path, writable=False):
        mode = _native.CATEGORY_READ_WRITE if writable else _native.CATEGORY_READ
        return cls._opened(path, writable, mode, _read_rows)

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
