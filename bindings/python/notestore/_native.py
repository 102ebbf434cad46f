"""The shared library and the prototypes of the functions this package calls.

The library is loaded on first use: from the path in the environment variable
NOTESTORE_LIBRARY when it is set (tests point it at a build's library),
otherwise as libnotestore.so.0 through the system's library search.
"""
import ctypes
import os
import threading
from ctypes import POINTER, Structure, c_int32, c_uint8, c_uint16, c_uint32, c_void_p

WCHAR_P = POINTER(c_uint16)
BOOL = c_uint8

# The most units the header text getters copy (notestore.h's
# OL_CATEGORY_NAME_MAX and OL_OUTLINE_TITLE_MAX); a buffer one longer
# always suffices.
CATEGORY_NAME_MAX = 31
OUTLINE_TITLE_MAX = 255
TEXT_BUFFER_CHARS = OUTLINE_TITLE_MAX + 1

READ, WRITE, READ_WRITE, CREATE = 0x0000, 0x0001, 0x0002, 0x1000
CATEGORY_READ, CATEGORY_CREATE, CATEGORY_READ_WRITE = 1, 2, 3


class CategoryIterator(Structure):
    _fields_ = [("database", c_void_p), ("position", c_uint32)]


# name: (result, argument types); only what the package calls.
_PROTOTYPES = {
    "OL_GetLastExceptionKind": (c_int32, []),
    "OL_GetLastExceptionNumber": (c_uint32, []),
    "OL_GetLastExceptionText": (c_int32, [WCHAR_P]),
    "OL_CreateCategoryDB": (c_void_p, []),
    "OL_DeleteCategoryDB": (None, [c_void_p]),
    "OL_OpenCategoryFile": (c_int32, [c_void_p, WCHAR_P, c_int32]),
    "OL_CategoryInitNewDataBase": (None, [c_void_p]),
    "OL_CategoryReadRows": (None, [c_void_p]),
    "OL_CategoryWriteRows": (None, [c_void_p]),
    "OL_WriteAllCategoryHeaders": (None, [c_void_p]),
    "OL_CategoryClose": (None, [c_void_p]),
    "OL_GetMaxCategoryAmount": (c_uint8, []),
    "OL_GetCategoryRecordSize": (c_int32, [c_void_p]),
    "OL_GetCategoryID": (c_uint32, [c_void_p, c_void_p]),
    "OL_GetIterCategoryName": (None, [c_void_p, WCHAR_P, c_uint32]),
    "OL_AddNewCategorybyName": (c_void_p, [c_void_p, WCHAR_P]),
    "OL_RenameCategory": (None, [c_void_p, WCHAR_P, WCHAR_P]),
    "OL_FindCategorybyName": (c_void_p, [c_void_p, WCHAR_P]),
    "OL_DeleteCategorybyName": (None, [c_void_p, WCHAR_P]),
    "OL_CreateOutlineDB": (c_void_p, []),
    "OL_DeleteOutlineDB": (None, [c_void_p]),
    "OL_Open": (c_int32, [c_void_p, WCHAR_P, c_uint32]),
    "OL_InitNewDataBase": (None, [c_void_p]),
    "OL_ReadSharedHeader": (BOOL, [c_void_p]),
    "OL_ReadPrivateHeader": (BOOL, [c_void_p]),
    "OL_ReadRows": (None, [c_void_p]),
    "OL_WriteRows": (None, [c_void_p]),
    "OL_WriteAllHeaders": (None, [c_void_p]),
    "OL_Close": (None, [c_void_p]),
    "OL_Delete": (None, [c_void_p, c_void_p]),
    "OL_GetCategoryName": (c_int32, [c_void_p, WCHAR_P]),
    "OL_SetCategoryName": (None, [c_void_p, WCHAR_P]),
    "OL_GetOutlineTitle": (c_int32, [c_void_p, WCHAR_P]),
    "OL_SetOutlineTitle": (None, [c_void_p, WCHAR_P]),
    "OL_GetPrivate": (BOOL, [c_void_p]),
    "OL_SetPrivate": (None, [c_void_p, BOOL]),
    "OL_GetSize": (c_int32, [c_void_p]),
    "OL_GetRecord": (c_void_p, [c_void_p, c_uint32]),
    "OL_AppendRecordSet": (c_void_p, [c_void_p]),
    "OL_GetId": (c_uint32, [c_void_p]),
    "OL_GetIndent": (c_uint8, [c_void_p]),
    "OL_SetIndent": (None, [c_void_p, c_uint32]),
    "OL_GetText": (c_int32, [c_void_p, WCHAR_P]),
    "OL_SetText": (None, [c_void_p, WCHAR_P]),
    "OL_GetNote": (c_int32, [c_void_p, WCHAR_P]),
    "OL_SetNote": (None, [c_void_p, WCHAR_P]),
    "OL_DeleteNote": (None, [c_void_p]),
    "OL_HasNote": (BOOL, [c_void_p]),
    "OL_GetExpanded": (BOOL, [c_void_p]),
    "OL_SetExpanded": (None, [c_void_p, BOOL]),
    "OL_GetChecked": (BOOL, [c_void_p]),
    "OL_SetChecked": (None, [c_void_p, BOOL]),
    "OL_HasDrawing": (BOOL, [c_void_p]),
}

_lock = threading.Lock()
_library = None


def library():
    """The loaded library, with the prototypes set."""
    global _library
    with _lock:
        if _library is None:
            path = os.environ.get("NOTESTORE_LIBRARY") or "libnotestore.so.0"
            loaded = ctypes.CDLL(path)
            for name, (result, arguments) in _PROTOTYPES.items():
                function = getattr(loaded, name)
                function.restype = result
                function.argtypes = arguments
            _library = loaded
    return _library


def wide(text):
    """A zero-terminated UTF-16 copy of `text` for the library."""
    if not isinstance(text, str):
        raise TypeError(f"text must be str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError("text must not contain a null character")
    units = text.encode("utf-16-le", errors="surrogatepass")
    buffer = (c_uint16 * (len(units) // 2 + 1))()
    ctypes.memmove(buffer, units, len(units))
    return buffer


def text_of(buffer, length=None):
    """The text in a UTF-16 buffer: `length` units, or up to the terminator."""
    if length is None:
        length = next((i for i, unit in enumerate(buffer) if unit == 0), len(buffer))
    return ctypes.string_at(buffer, 2 * length).decode("utf-16-le", errors="surrogatepass")


def text_buffer(chars=TEXT_BUFFER_CHARS):
    return (c_uint16 * chars)()
