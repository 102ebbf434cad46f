"""The shared library's flat interface through ctypes, for the Python tests
that load it as a managed caller does: the library with the prototypes a
test names, UTF-16 texts both ways, and the command line every such test
takes (<libnotestore.so> <folder>)."""
import ctypes
import os
import sys
from ctypes import POINTER, c_uint16

WSTR = POINTER(c_uint16)


def load(path, signatures):
    """The library at `path` with each function of `signatures`
    ({name: (result, [argument types])}) declared."""
    library = ctypes.CDLL(path)
    for name, (result, arguments) in signatures.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    return library


def wide(text):
    """A NUL-terminated UTF-16 buffer; lone surrogates pass as they are."""
    units = text.encode("utf-16-le", "surrogatepass")
    return (c_uint16 * (len(units) // 2 + 1)).from_buffer_copy(units + b"\0\0")


def from_wide(buffer):
    units = bytes(buffer)
    end = next(i for i in range(0, len(units), 2) if units[i:i + 2] == b"\0\0")
    return units[:end].decode("utf-16-le")


def arguments(usage, signatures):
    """The library and the (made) work folder the command line names."""
    if len(sys.argv) != 3:
        sys.exit(usage)
    folder = os.path.abspath(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    return load(sys.argv[1], signatures), folder
