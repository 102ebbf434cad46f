"""Outline documents (.zro) and their items."""
from . import _native
from ._base import LibraryFile, flag
from .errors import NotestoreError, call


class Item:
    """One item of an open document: a view of its record, valid while the
    document is open and the item is not removed."""

    def __init__(self, document, record):
        self._document = document
        self._record = record

    def _handle(self):
        self._document._handle()
        if self._record is None:
            raise ValueError("the item was removed")
        return self._record

    def _text(self, getter):
        record = self._handle()
        length = call(getter, record, None)
        buffer = _native.text_buffer(length + 1)
        call(getter, record, buffer)
        return _native.text_of(buffer, length)

    @property
    def id(self):
        return call(_native.library().OL_GetId, self._handle())

    @property
    def text(self):
        return self._text(_native.library().OL_GetText)

    @text.setter
    def text(self, value):
        call(_native.library().OL_SetText, self._handle(), _native.wide(value))

    @property
    def note(self):
        """The note, or None when the item has none."""
        lib = _native.library()
        if not call(lib.OL_HasNote, self._handle()):
            return None
        return self._text(lib.OL_GetNote)

    @note.setter
    def note(self, value):
        lib = _native.library()
        if value is None:
            call(lib.OL_DeleteNote, self._handle())
        else:
            call(lib.OL_SetNote, self._handle(), _native.wide(value))

    @property
    def level(self):
        """The indentation level, 0 for a top-level item."""
        return call(_native.library().OL_GetIndent, self._handle())

    @level.setter
    def level(self, value):
        if not 0 <= value <= 255:
            raise ValueError("level must be between 0 and 255")
        call(_native.library().OL_SetIndent, self._handle(), value)

    checked = flag("OL_GetChecked", "OL_SetChecked", "Whether the item is ticked.")
    expanded = flag("OL_GetExpanded", "OL_SetExpanded", "Whether the item's children are shown.")

    @property
    def has_drawing(self):
        return bool(call(_native.library().OL_HasDrawing, self._handle()))

    def __repr__(self):
        return f"<Item level={self.level} text={self.text!r}>"


def _init_new(document):
    call(_native.library().OL_InitNewDataBase, document._db)


def _read(document):
    lib = _native.library()
    for reader in (lib.OL_ReadSharedHeader, lib.OL_ReadPrivateHeader):
        if not call(reader, document._db):
            raise NotestoreError(0, None, "the file has no document header", reader.__name__)
    call(lib.OL_ReadRows, document._db)


class Document(LibraryFile):
    """An open outline document (see LibraryFile)."""

    _kind = "document"
    _make = "OL_CreateOutlineDB"
    _delete = "OL_DeleteOutlineDB"
    _open_file = "OL_Open"
    _save_steps = ("OL_WriteAllHeaders", "OL_WriteRows")

    @classmethod
    def create(cls, path):
        """A new, empty document at `path` (an existing file is replaced)."""
        return cls._opened(path, True, _native.CREATE | _native.READ_WRITE, _init_new)

    @classmethod
    def open(cls, path, writable=False):
        """The document at `path`, its headers and items read."""
        return cls._opened(path, writable, _native.READ_WRITE if writable else _native.READ, _read)

    def _string(self, getter):
        buffer = _native.text_buffer()
        return _native.text_of(buffer, call(getter, self._handle(), buffer))

    @property
    def title(self):
        return self._string(_native.library().OL_GetOutlineTitle)

    @title.setter
    def title(self, value):
        call(_native.library().OL_SetOutlineTitle, self._handle(), _native.wide(value))

    @property
    def category(self):
        """The name of the document's category."""
        return self._string(_native.library().OL_GetCategoryName)

    @category.setter
    def category(self, value):
        call(_native.library().OL_SetCategoryName, self._handle(), _native.wide(value))

    private = flag("OL_GetPrivate", "OL_SetPrivate", "Whether the document is marked private.")

    def __len__(self):
        return call(_native.library().OL_GetSize, self._handle())

    def __getitem__(self, index):
        size = len(self)
        if index < 0:
            index += size
        if not 0 <= index < size:
            raise IndexError("item index out of range")
        return Item(self, call(_native.library().OL_GetRecord, self._handle(), index))

    def __iter__(self):
        for index in range(len(self)):
            yield self[index]

    def append(self, text, level=0, note=None, checked=False):
        """A new item at the end."""
        record = call(_native.library().OL_AppendRecordSet, self._handle())
        if not record:
            raise MemoryError("no memory for an item")
        item = Item(self, record)
        item.text = text
        item.level = level
        item.note = note
        item.checked = checked
        return item

    def remove(self, item):
        """Removes the item; it must not be used afterwards."""
        if item._document is not self:
            raise ValueError("the item belongs to another document")
        call(_native.library().OL_Delete, self._handle(), item._handle())
        item._record = None
