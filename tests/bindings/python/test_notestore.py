"""The Python package against the real library: documents and categories
written to files, read back, edited, and damaged files refused with the
library's own errors. NOTESTORE_LIBRARY names the library under test."""
import ctypes
import os
import shutil
import sys
import tempfile
import unittest

import notestore
from notestore import _native

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import csharp_declarations  # noqa: E402  (the header parser the C# check uses)

HEADER = os.path.join(HERE, "..", "..", "..", "notestore", "include", "notestore.h")

# Characters beyond ASCII show that text crosses as UTF-16, not as bytes.
ITEMS = [  # text, level, note, checked
    ("Trip", 0, None, False),
    ("Pack the tent", 1, "and the pegs", True),
    ("Zürich, Genève", 2, "", False),
    ("", 1, "an item without text", False),
]


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="notestore-python-")

    def tearDown(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write_document(self, name="trip.zro"):
        with notestore.Document.create(self.path(name)) as document:
            document.title = "Summer trip à deux"
            document.category = "Travel"
            document.private = True
            for text, level, note, checked in ITEMS:
                document.append(text, level=level, note=note, checked=checked)
            document.save()
        return self.path(name)


class DocumentTest(Folder):
    def test_written_document_reads_back(self):
        path = self.write_document()
        with notestore.Document.open(path) as document:
            self.assertEqual(document.title, "Summer trip à deux")
            self.assertEqual(document.category, "Travel")
            self.assertTrue(document.private)
            self.assertEqual(len(document), len(ITEMS))
            read = [(item.text, item.level, item.note, item.checked) for item in document]
        self.assertEqual(read, ITEMS)

    def test_items_by_index(self):
        with notestore.Document.open(self.write_document()) as document:
            self.assertEqual(document[-1].note, "an item without text")
            self.assertEqual(document[-3].text, "Pack the tent")
            for index in (len(ITEMS), -len(ITEMS) - 1):
                with self.assertRaises(IndexError):
                    document[index]

    def test_edits_are_kept_after_save_only(self):
        path = self.write_document()
        with notestore.Document.open(path, writable=True) as document:
            document[1].text = "Pack the stove"
            document[1].note = None
            document.remove(document[0])
            document.save()
        with notestore.Document.open(path, writable=True) as document:
            self.assertEqual([item.text for item in document][:2], ["Pack the stove", "Zürich, Genève"])
            self.assertIsNone(document[0].note)
            document.title = "not saved"
        with notestore.Document.open(path) as document:
            self.assertEqual(document.title, "Summer trip à deux")
            with self.assertRaises(ValueError):
                document.save()

    def test_closed_document_and_removed_item_refuse_use(self):
        with notestore.Document.open(self.write_document(), writable=True) as document:
            first = document[0]
            document.remove(first)
            with self.assertRaises(ValueError):
                first.text
        for use in (lambda: len(document), lambda: document.title, lambda: document[0]):
            with self.assertRaises(ValueError):
                use()

    def test_bad_arguments_are_refused_before_the_library(self):
        with notestore.Document.create(self.path("new.zro")) as document:
            for bad in ("nul\0inside", 42):
                with self.assertRaises((ValueError, TypeError)):
                    document.title = bad
            with self.assertRaises(ValueError):
                document.append("deep", level=256)

    def test_damaged_files_raise_the_library_error(self):
        with open(self.write_document(), "rb") as file:
            valid = file.read()
        cases = [  # name, bytes (None: no file), expected error
            ("missing.zro", None, notestore.NotestoreError),
            ("empty.zro", b"", notestore.NotestoreError),
            ("foreign.zro", b"\x78\x56\x34\x13" + bytes(60), notestore.NotestoreError),
            ("cut.zro", valid[: len(valid) // 2], notestore.NotestoreError),
            ("noise.zro", bytes(range(256)) * 4, notestore.NotestoreError),
        ]
        for name, content, expected in cases:
            with self.subTest(name):
                if content is not None:
                    with open(self.path(name), "wb") as file:
                        file.write(content)
                with self.assertRaises(expected) as caught:
                    with notestore.Document.open(self.path(name)) as document:
                        list(document)
                self.assertTrue(str(caught.exception))
        missing = notestore.errors.last_error()
        self.assertIsNone(missing, "a later successful call clears the record")

    def test_refused_open_names_the_operation_and_the_file(self):
        os.mkdir(self.path("folder.zro"))
        for name in ("folder.zro", "absent/deeper.zro"):
            with self.subTest(name):
                with self.assertRaises(notestore.NotestoreError) as caught:
                    notestore.Document.open(self.path(name))
                self.assertEqual(caught.exception.operation, "OL_Open")
                self.assertIn(name, str(caught.exception))


class CategoryTest(Folder):
    def test_categories_round_trip_with_rename_and_delete(self):
        path = self.path("categories.db")
        with notestore.CategoryDatabase.create(path) as database:
            added = [database.add(name) for name in ("Travel", "Work", "Ünïcodé")]
            database.save()
        self.assertEqual(len({category.id for category in added}), 3)
        with notestore.CategoryDatabase.open(path, writable=True) as database:
            self.assertEqual([database.find(c.name) for c in added], added)
            database.rename("Work", "Office")
            database.delete("Travel")
            database.save()
        with notestore.CategoryDatabase.open(path) as database:
            names = [category.name for category in database]
            self.assertIn("Office", names)
            self.assertIn("Ünïcodé", names)
            self.assertNotIn("Travel", database)
            self.assertNotIn("Work", database)
            for missing in (database.rename, database.delete):
                with self.assertRaises(KeyError):
                    missing("Travel", "x") if missing == database.rename else missing("Travel")

    def test_full_database_refuses_another_category(self):
        with notestore.CategoryDatabase.create(self.path("full.db")) as database:
            added = 0
            with self.assertRaises(ValueError):
                for added in range(17):
                    database.add(f"Category {added}")
            # The unfiled category holds the first of the 16 slots.
            self.assertEqual(added, 15)
            self.assertEqual(len(database), 15)

    def test_damaged_category_files_raise_the_recorded_error(self):
        path = self.path("good.db")
        with notestore.CategoryDatabase.create(path) as database:
            database.add("Work")
            database.save()
        with open(path, "rb") as file:
            good = file.read()
        cases = [  # name, bytes, error class, number, start of the text
            ("foreign.db", b"not a category database at all", notestore.DatabaseError, 12,
             "The db check code is different."),
            ("cut.db", good[:-6], notestore.LibraryError, 7, "File IO read error"),
        ]
        for name, content, expected, number, text in cases:
            with self.subTest(name):
                with open(self.path(name), "wb") as file:
                    file.write(content)
                with self.assertRaises(expected) as caught:
                    with notestore.CategoryDatabase.open(self.path(name)):
                        pass
                self.assertEqual(caught.exception.number, number)
                self.assertTrue(caught.exception.text.startswith(text), caught.exception.text)
                self.assertIsNone(notestore.errors.last_error())

class PrototypeTest(unittest.TestCase):
    """The ctypes prototypes agree with notestore.h, so that a change of the
    header shows here as it does for the C# binding."""

    SCALARS = {ctypes.c_int32: {"int32_t"}, ctypes.c_uint32: {"uint32_t"}, ctypes.c_uint16: {"uint16_t"},
               ctypes.c_uint8: {"uint8_t", "OL_BOOL"}, _native.WCHAR_P: {"OL_WCHAR*", "const OL_WCHAR*"},
               _native.CategoryIterator: {"OL_CategoryIterator"}, None: {"void"}}

    def allowed(self, ctype):
        if ctype is ctypes.c_void_p:
            return lambda c: c.endswith("*") and "WCHAR" not in c
        return lambda c: c in self.SCALARS[ctype]

    def test_prototypes_match_the_header(self):
        with open(HEADER, encoding="utf-8") as file:
            header = csharp_declarations.header_functions(file.read())
        for name, (result, arguments) in _native._PROTOTYPES.items():
            with self.subTest(name):
                self.assertIn(name, header)
                c_result, c_arguments = header[name]
                self.assertTrue(self.allowed(result)(c_result), f"result {c_result}")
                self.assertEqual(len(arguments), len(c_arguments))
                for ctype, c in zip(arguments, c_arguments):
                    self.assertTrue(self.allowed(ctype)(c), f"{c} as {ctype}")


if __name__ == "__main__":
    unittest.main()
