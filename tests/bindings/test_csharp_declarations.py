#!/usr/bin/env python3
"""The declaration check catches each kind of drift between notestore.h and
the C# binding: the unchanged pair passes, and every edit below of either
file is reported by name.

Usage: test_csharp_declarations.py notestore.h Notestore.cs
"""
import sys
import unittest

import csharp_declarations

HEADER = SOURCE = None

HEADER_EDITS = [  # what changed, old text, new text, the name the report must give
    ("a getter no longer returns its length",
     "OL_API int32_t OL_GetCategoryName(", "OL_API void OL_GetCategoryName(", "OL_GetCategoryName"),
    ("a function is added",
     "OL_API int32_t OL_GetSizeY(void);", "OL_API int32_t OL_GetSizeY(void);\nOL_API void OL_Extra(void);",
     "OL_Extra"),
    ("a parameter is added",
     "OL_API void OL_SetTopIndex(OL_OutlineDB* db, uint32_t index);",
     "OL_API void OL_SetTopIndex(OL_OutlineDB* db, uint32_t index, uint8_t more);", "OL_SetTopIndex"),
    ("a parameter widens", "OL_setNumberingDivider(OL_OutlineDB* db, uint16_t divider)",
     "OL_setNumberingDivider(OL_OutlineDB* db, uint32_t divider)", "OL_setNumberingDivider"),
    ("a font field changes", "uint8_t italic, underline, strikeOut, charSet;",
     "uint8_t italic, underline, strikeOut; uint32_t charSet;", "OL_LogFont"),
    ("an exception kind is renumbered", "OL_EXCEPTION_FILE = 3", "OL_EXCEPTION_FILE = 5", "File"),
]
SOURCE_EDITS = [
    ("a bool without its one-byte marshalling",
     "OL_SetChecked(IntPtr rec, [MarshalAs(UnmanagedType.U1)] bool @checked)",
     "OL_SetChecked(IntPtr rec, bool @checked)", "OL_SetChecked"),
    ("text marshalled as bytes",
     "OL_SetText(IntPtr rec, [MarshalAs(UnmanagedType.LPWStr)] string text)",
     "OL_SetText(IntPtr rec, [MarshalAs(UnmanagedType.LPStr)] string text)", "OL_SetText"),
    ("a handle narrowed to 32 bits", "OL_GetIndent(IntPtr rec)", "OL_GetIndent(int rec)", "OL_GetIndent"),
    ("a declaration removed", "public static extern int OL_GetSizeX();", "", "OL_GetSizeX"),
    ("a placement field dropped", "public int Left, Top, Right, Bottom;", "public int Left, Top, Right;",
     "OL_WindowPlacement"),
]


class DeclarationCheckTest(unittest.TestCase):
    def test_the_binding_matches_the_header(self):
        self.assertEqual(csharp_declarations.check(HEADER, SOURCE)[0], [])

    def test_every_drift_is_reported(self):
        for edits, edited in ((HEADER_EDITS, "header"), (SOURCE_EDITS, "source")):
            for what, old, new, name in edits:
                with self.subTest(what):
                    header, source = HEADER, SOURCE
                    if edited == "header":
                        self.assertIn(old, header)
                        header = header.replace(old, new)
                    else:
                        self.assertIn(old, source)
                        source = source.replace(old, new)
                    problems = csharp_declarations.check(header, source)[0]
                    self.assertTrue(any(name in problem for problem in problems), problems)


if __name__ == "__main__":
    HEADER = open(sys.argv[1], encoding="utf-8").read()
    SOURCE = open(sys.argv[2], encoding="utf-8").read()
    unittest.main(argv=sys.argv[:1])
