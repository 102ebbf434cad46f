#!/usr/bin/env python3
"""The view of a reader that knows only the code-page form of stored texts
(the device): a document written through the flat interface with Cyrillic,
Greek and emoji texts is read here from its bytes alone, following the
layout in docs/FORMAT.md, and every field must read without error, texts
showing "?" for what Windows-1252 cannot hold.

Usage: codepage_reader.py <libnotestore.so> <folder>
"""
import os
import shutil
import struct
import sys
import tempfile
import unittest
from ctypes import c_int32, c_uint8, c_uint32, c_void_p

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from flat_api import WSTR, arguments, wide  # noqa: E402 (after its folder is on the path)

SIGNATURES = {
    "OL_GetLastExceptionKind": (c_int32, []),
    "OL_CreateOutlineDB": (c_void_p, []),
    "OL_DeleteOutlineDB": (None, [c_void_p]),
    "OL_Open": (c_int32, [c_void_p, WSTR, c_uint32]),
    "OL_InitNewDataBase": (None, [c_void_p]),
    "OL_WriteAllHeaders": (None, [c_void_p]),
    "OL_WriteRows": (None, [c_void_p]),
    "OL_Close": (None, [c_void_p]),
    "OL_SetOutlineTitle": (None, [c_void_p, WSTR]),
    "OL_SetCategoryName": (None, [c_void_p, WSTR]),
    "OL_SetOutlineFont": (None, [c_void_p, WSTR, c_int32, c_int32, c_uint8, c_uint8, c_uint8]),
    "OL_AppendRecordSet": (c_void_p, [c_void_p]),
    "OL_SetId": (None, [c_void_p, c_uint32]),
    "OL_SetText": (None, [c_void_p, WSTR]),
    "OL_SetNote": (None, [c_void_p, WSTR]),
    "OL_AddDeletedId": (None, [c_void_p, c_uint32]),
}

CREATE_READ_WRITE = 0x1000 | 0x0002
TAG_CODE = 0x6174
STRING = 0x10000


def code_page(text):
    """What a code-page writer stores: one byte a character, "?" for what
    Windows-1252 lacks (a character beyond the BMP is one "?")."""
    return text.encode("cp1252", errors="replace").decode("cp1252")


class Cursor:
    """Reads little-endian fields; running past the end is an error."""

    def __init__(self, data, offset=0):
        self.data, self.offset = data, offset

    def take(self, count):
        if self.offset + count > len(self.data):
            raise ValueError("short file at %d" % self.offset)
        chunk = self.data[self.offset:self.offset + count]
        self.offset += count
        return chunk

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]


def tagged_block(data):
    """A tagged data block as the device reads it: {id: data}. Ids it does
    not know are kept but never interpreted."""
    tags, cursor, previous = {}, Cursor(data), 0
    while len(data) - cursor.offset >= 15:
        code, _version, _flags, tag_id, size = struct.unpack("<HBIII", cursor.take(15))
        if code != TAG_CODE or tag_id <= previous:
            raise ValueError("damaged block")
        tags[tag_id] = cursor.take(size)
        previous = tag_id
    return tags


def string(tags, byte_id):
    data = tags[STRING + byte_id]
    if data and data[-1] != 0:
        raise ValueError("string without its NUL")
    return data.split(b"\0", 1)[0].decode("cp1252")


def value(tags, tag_id, width):
    data = tags[tag_id]
    if len(data) != width:
        raise ValueError("tag %d is %d bytes" % (tag_id, len(data)))
    return int.from_bytes(data, "little")


def read_document(data):
    cursor = Cursor(data)
    if cursor.u32() != 0x12345678:
        raise ValueError("not a database")
    version, rows = cursor.u16(), cursor.u32()
    table = [(cursor.u16(), cursor.u32()) for _ in range(cursor.u16())]
    headers = {}
    for header_id, slot in table:
        block = Cursor(cursor.take(slot))
        length = block.u32()
        headers[header_id] = tagged_block(block.take(length))
    deleted = [cursor.u32() for _ in range(cursor.u32())]
    items = []
    for _ in range(rows):
        if cursor.take(4) != b"PK\x01\x02":
            raise ValueError("row start")
        block = tagged_block(cursor.take(cursor.u32()))
        if cursor.take(4) != b"PK\x03\x04":
            raise ValueError("row end")
        items.append(block)
    if cursor.offset != len(data):
        raise ValueError("bytes after the last row")
    shared, private = headers[2], headers[3]
    return {
        "version": version,
        "deleted": deleted,
        "category": string(shared, 1),
        "match name": string(shared, 2),
        "flags": [value(shared, tag, 1) for tag in (3, 4, 5)],
        "numbering": shared[8],
        "divider": value(shared, 9, 2),
        "show checked": value(private, 1, 1),
        "indexes": (value(private, 2, 4), value(private, 3, 4)),
        "placement": private[4],
        "font": private[5],
        "colour": value(private, 6, 4),
        "headings": value(private, 7, 1),
        "face": string(private, 1),
        "title": string(private, 2),
        "items": [{
            "flag": value(item, 1, 1),
            "id": value(item, 5, 4),
            "indent": value(item, 6, 1),
            "text": string(item, 7),
            "note": string(item, 8),
            "expanded": value(item, 9, 1),
            "checked": value(item, 10, 1),
        } for item in items],
    }


TITLE = "Заметки 😀"
CATEGORY = "Работа"
FACE = "Ελληνικά"
ITEMS = [("Привет, мир", "Ωμέγα 🎉\r\nline two"), ("plain text", ""), ("😀😀", "Что?")]


class CodePageReader(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(dir=FOLDER)
        os.chdir(self.folder)

    def tearDown(self):
        os.chdir(FOLDER)
        shutil.rmtree(self.folder)

    def write(self, path):
        db = lib.OL_CreateOutlineDB()
        lib.OL_SetOutlineTitle(db, wide(TITLE))
        lib.OL_SetCategoryName(db, wide(CATEGORY))
        lib.OL_SetOutlineFont(db, wide(FACE), 12, 400, 0, 0, 0)
        for number, (text, note) in enumerate(ITEMS, start=1):
            item = lib.OL_AppendRecordSet(db)
            lib.OL_SetId(item, number)
            lib.OL_SetText(item, wide(text))
            lib.OL_SetNote(item, wide(note))
        lib.OL_AddDeletedId(db, 9)
        self.assertEqual(lib.OL_Open(db, wide(path), CREATE_READ_WRITE), 1)
        lib.OL_InitNewDataBase(db)
        lib.OL_WriteAllHeaders(db)
        lib.OL_WriteRows(db)
        lib.OL_Close(db)
        self.assertEqual(lib.OL_GetLastExceptionKind(), 0)
        lib.OL_DeleteOutlineDB(db)

    def test_every_field_reads_with_question_marks_for_what_the_code_page_lacks(self):
        path = os.path.join(self.folder, "texts.zro")
        self.write(path)
        with open(path, "rb") as stored:
            data = stored.read()
        document = read_document(data)
        # The exact texts are there, beside what this reader sees.
        self.assertIn(TITLE.encode("utf-16-le"), data)
        self.assertIn(ITEMS[0][1].encode("utf-16-le"), data)
        self.assertEqual(document["title"], code_page(TITLE))
        self.assertEqual(document["title"], "??????? ?")
        self.assertEqual(document["category"], "??????")
        self.assertEqual(document["face"], code_page(FACE))
        self.assertEqual(document["match name"], "")
        self.assertEqual(document["deleted"], [9])
        self.assertEqual(document["headings"], 10)
        self.assertEqual(len(document["font"]), 28)
        self.assertEqual(len(document["placement"]), 40)
        self.assertEqual([(item["id"], item["text"], item["note"]) for item in document["items"]],
                         [(number, code_page(text), code_page(note))
                          for number, (text, note) in enumerate(ITEMS, start=1)])
        self.assertEqual(document["items"][2]["text"], "??")

    def test_a_code_page_document_carries_nothing_beyond_the_code_page_form(self):
        path = os.path.join(self.folder, "plain.zro")
        db = lib.OL_CreateOutlineDB()
        lib.OL_SetOutlineTitle(db, wide("Café €"))
        item = lib.OL_AppendRecordSet(db)
        lib.OL_SetText(item, wide("naïve?"))
        self.assertEqual(lib.OL_Open(db, wide(path), CREATE_READ_WRITE), 1)
        lib.OL_InitNewDataBase(db)
        lib.OL_WriteAllHeaders(db)
        lib.OL_WriteRows(db)
        lib.OL_Close(db)
        lib.OL_DeleteOutlineDB(db)
        with open(path, "rb") as stored:
            data = stored.read()
        document = read_document(data)
        self.assertEqual(document["title"], "Café €")
        self.assertEqual(document["items"][0]["text"], "naïve?")
        self.assertNotIn(struct.pack("<I", 0x20002), data)
        self.assertNotIn(struct.pack("<I", 0x20007), data)


if __name__ == "__main__":
    lib, FOLDER = arguments("usage: codepage_reader.py <libnotestore.so> <folder>", SIGNATURES)
    unittest.main(argv=sys.argv[:1], verbosity=2)
