"""notestore for Python: outline documents, their items and the category
database, over the shared library libnotestore.so.0.

    import notestore
    with notestore.Document.create("trip.zro") as document:
        document.title = "Trip"
        document.append("Pack the tent")
        document.save()
    with notestore.Document.open("trip.zro") as document:
        for item in document:
            print("  " * item.level + item.text)

Failures the library records come out as NotestoreError (LibraryError,
DatabaseError, FileError). NOTESTORE_LIBRARY in the environment names the
library file to load instead of libnotestore.so.0.
"""
from .categories import Category, CategoryDatabase
from .documents import Document, Item
from .errors import DatabaseError, FileError, LibraryError, NotestoreError

__all__ = [
    "Category", "CategoryDatabase", "Document", "Item",
    "NotestoreError", "LibraryError", "DatabaseError", "FileError",
]
