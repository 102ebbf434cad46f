#!/usr/bin/env python3
"""The flat category interface as a managed caller sees it: through ctypes,
the shared library's exports and nothing else.

Usage: category_api.py <libnotestore.so> <folder>
Each test works in a fresh folder below <folder> (the trace log included).
"""
import os
import shutil
import sys
import tempfile
import unittest
from ctypes import Structure, c_int32, c_uint8, c_uint16, c_uint32, c_void_p

from flat_api import WSTR, arguments, from_wide, wide

NONE, LIBRARY, DATABASE, FILE, UNKNOWN = range(5)
NO_NUMBER = 0xFFFFFFFF


class Iterator(Structure):
    _fields_ = [("database", c_void_p), ("position", c_uint32)]


# name: (result, argument types)
SIGNATURES = {
    "OL_GetLastExceptionKind": (c_int32, []),
    "OL_GetLastExceptionNumber": (c_uint32, []),
    "OL_GetLastExceptionText": (c_int32, [WSTR]),
    "OL_CreateCategoryDB": (c_void_p, []),
    "OL_DeleteCategoryDB": (None, [c_void_p]),
    "OL_OpenCategoryFile": (c_int32, [c_void_p, WSTR, c_int32]),
    "OL_CheckCategoryDbInfo": (None, [c_void_p]),
    "OL_CreateCategoryRecordset": (None, [c_void_p]),
    "OL_CategoryInitNewDataBase": (None, [c_void_p]),
    "OL_CategoryReadExtraRows": (None, [c_void_p]),
    "OL_CategoryWriteExtraRows": (None, [c_void_p]),
    "OL_CategoryReadRows": (None, [c_void_p]),
    "OL_CategoryWriteRows": (None, [c_void_p]),
    "OL_WriteAllCategoryHeaders": (None, [c_void_p]),
    "OL_CategoryClose": (None, [c_void_p]),
    "OL_GetMaxCategoryAmount": (c_uint8, []),
    "OL_GetCatRecordset": (c_void_p, [c_void_p]),
    "OL_GetCategoryRecordSize": (c_int32, [c_void_p]),
    "OL_isFull": (c_int32, [c_void_p]),
    "OL_FindFirstHole": (c_uint32, [c_void_p]),
    "OL_ResizeDB": (None, [c_void_p, c_uint32]),
    "OL_deleteAllCategories": (None, [c_void_p]),
    "OL_DeleteCategory": (None, [c_void_p, c_void_p, c_uint32]),
    "OL_UndeleteCategory": (None, [c_void_p, c_void_p, c_uint32]),
    "OL_GetCategoryID": (c_uint32, [c_void_p, c_void_p]),
    "OL_SetCategoryID": (None, [c_void_p, c_void_p, c_uint32]),
    "OL_GetCatCategoryName": (None, [c_void_p, c_void_p, c_void_p]),
    "OL_GetIterCategoryName": (None, [c_void_p, WSTR, c_uint32]),
    "OL_AddNewCategorybyName": (c_void_p, [c_void_p, WSTR]),
    "OL_RenameCategory": (None, [c_void_p, WSTR, WSTR]),
    "OL_FindCategorybyName": (c_void_p, [c_void_p, WSTR]),
    "OL_DeleteCategorybyName": (None, [c_void_p, WSTR]),
    "OL_GetIterator": (Iterator, [c_void_p]),
    "OL_GetNext": (Iterator, [c_void_p]),
}

lib = None
base_folder = None


def last_exception():
    length = lib.OL_GetLastExceptionText(None)
    buffer = (c_uint16 * (length + 1))()
    assert lib.OL_GetLastExceptionText(buffer) == length
    return lib.OL_GetLastExceptionKind(), lib.OL_GetLastExceptionNumber(), from_wide(buffer)


class CategoryApi(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="run-", dir=base_folder)
        self.previous = os.getcwd()
        os.chdir(self.folder)  # the trace log lands here
        self.dbs = []

    def tearDown(self):
        for db in self.dbs:
            lib.OL_DeleteCategoryDB(db)
        os.chdir(self.previous)
        shutil.rmtree(self.folder)

    # ---- verbs ----

    def database(self):
        db = lib.OL_CreateCategoryDB()
        self.assertTrue(db)
        self.dbs.append(db)
        return db

    def close(self, db):
        self.dbs.remove(db)
        lib.OL_DeleteCategoryDB(db)

    def open(self, name, mode):
        db = self.database()
        self.assertEqual(lib.OL_OpenCategoryFile(db, wide(name), mode), 1, last_exception())
        if mode != 2:
            lib.OL_CategoryReadRows(db)
            self.assertEqual(last_exception(), (NONE, NO_NUMBER, ""))
        return db

    def save(self, db):
        lib.OL_WriteAllCategoryHeaders(db)
        lib.OL_CategoryWriteRows(db)
        self.assertEqual(last_exception(), (NONE, NO_NUMBER, ""))
        self.close(db)

    def names(self, db):
        buffer = (c_uint16 * 64)()
        result = []
        for slot in range(lib.OL_GetCategoryRecordSize(db)):
            lib.OL_GetIterCategoryName(db, buffer, slot)
            result.append(from_wide(buffer))
        return result

    def new_file(self, name, categories):
        db = self.open(name, 2)
        lib.OL_CategoryInitNewDataBase(db)
        records = [lib.OL_AddNewCategorybyName(db, wide(c)) for c in categories]
        ids = [lib.OL_GetCategoryID(db, r) for r in records]
        self.save(db)
        return ids

    # ---- tests ----

    def test_round_trip_through_a_file(self):
        self.assertEqual(self.new_file("cats.db", ["Work", "Home", "Caf\u00e9 \u20ac"]), [129, 130, 131])

        db = self.open("cats.db", 3)
        self.assertEqual(self.names(db), ["", "Work", "Home", "Caf\u00e9 \u20ac"])
        lib.OL_RenameCategory(db, wide("Home"), wide("House"))
        lib.OL_DeleteCategorybyName(db, wide("Work"))
        added = lib.OL_AddNewCategorybyName(db, wide("Ideas"))
        self.assertEqual(lib.OL_GetCategoryID(db, added), 132)
        self.save(db)

        db = self.open("cats.db", 1)
        self.assertEqual(self.names(db), ["", "Ideas", "House", "Caf\u00e9 \u20ac"])
        self.assertEqual(lib.OL_GetCategoryID(db, lib.OL_FindCategorybyName(db, wide("House"))), 130)
        self.assertIsNone(lib.OL_FindCategorybyName(db, wide("house")))

    def test_iterators_cross_by_value(self):
        self.new_file("cats.db", ["A", "B"])
        db = self.open("cats.db", 1)
        lib.OL_DeleteCategorybyName(db, wide(""))  # the unfiled category in slot 0
        first, second = lib.OL_GetIterator(db), lib.OL_GetNext(db)
        self.assertEqual((first.database, first.position), (db, 1))
        self.assertEqual((second.database, second.position), (db, 2))

    def test_a_full_database_takes_no_seventeenth_category(self):
        db = self.open("cats.db", 2)
        lib.OL_CategoryInitNewDataBase(db)
        for n in range(15):
            self.assertTrue(lib.OL_AddNewCategorybyName(db, wide("c%d" % n)))
        self.assertTrue(lib.OL_isFull(db))
        self.assertIsNone(lib.OL_AddNewCategorybyName(db, wide("one too many")))
        self.assertEqual(lib.OL_GetCategoryRecordSize(db), 16)
        self.assertEqual(last_exception(), (NONE, NO_NUMBER, ""))

    def test_damaged_files_come_back_as_recorded_exceptions(self):
        with open("foreign.db", "wb") as f:
            f.write(b"not a category database at all")
        db = self.database()
        self.assertEqual(lib.OL_OpenCategoryFile(db, wide("foreign.db"), 1), 0)
        kind, number, text = last_exception()
        self.assertEqual((kind, number), (DATABASE, 12))
        self.assertTrue(text.startswith("The db check code is different."), text)
        lib.OL_CategoryClose(db)

        self.new_file("cats.db", ["Work"])
        with open("cats.db", "rb") as f:
            good = f.read()
        with open("cut.db", "wb") as f:
            f.write(good[:-6])
        self.assertEqual(lib.OL_OpenCategoryFile(db, wide("cut.db"), 1), 1)
        lib.OL_CategoryReadRows(db)
        self.assertEqual(last_exception(), (LIBRARY, 7, "File IO read error"))
        self.assertEqual(lib.OL_GetMaxCategoryAmount(), 16)
        self.assertEqual(last_exception(), (NONE, NO_NUMBER, ""))

        with open("FileIO.txt", encoding="cp1252") as log:
            lines = log.read().splitlines()
        self.assertTrue(any(line.startswith("Exception File IO read error in file CategoryDBExports.cpp line ")
                            for line in lines), lines)

    def test_missing_file_opens_nothing(self):
        db = self.database()
        self.assertEqual(lib.OL_OpenCategoryFile(db, wide("absent.db"), 1), 0)
        self.assertEqual(lib.OL_OpenCategoryFile(db, wide("absent.db"), 4), 0)
        self.assertFalse(os.path.exists("absent.db"))


def main():
    global lib, base_folder
    lib, base_folder = arguments(__doc__, SIGNATURES)
    unittest.main(argv=sys.argv[:1], verbosity=2)


if __name__ == "__main__":
    main()
