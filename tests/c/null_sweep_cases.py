#!/usr/bin/env python3
"""Writes the cases of null_sweep.c: every function notestore.h declares,
called with null handles and buffers.

Usage: null_sweep_cases.py notestore.h notestore.map output.c

The cases come from the header's prototypes, so a new export is swept as
soon as it is declared; the export map is checked against the header so
that a flat function cannot be exported without being declared (and swept).

Per function:
- "all null": every pointer argument null, every number 0;
- for each pointer argument that must not be null, that one null and every
  other pointer a live object of its type;
- for each "...OrNull" argument, that one null and the others live.
A case expects a recorded failure exactly when an argument that must not be
null is null; the delete functions ignore null, as free() does.
"""
import re
import sys

# Null is no object to destroy: these accept it without a failure.
IGNORE_NULL = {"OL_DeleteCategoryDB", "OL_DeleteOutlineDB", "OL_DeleteCOutlineRecord", "MemFree"}
# Names of parameters that may be null.
MAY_BE_NULL = re.compile(r"(OrNull|^unused)$")

# A live value for each pointer type, from the child's Live record.
LIVE = {
    "OL_OutlineDB*": "live->outlineDb",
    "OL_OutlineRecord*": "live->outlineRecord",
    "OL_CategoryDB*": "live->categoryDb",
    "OL_CategoryRecord*": "live->categoryRecord",
    "const OL_WCHAR*": "live->text",
    "OL_WCHAR*": "live->wide",
    "const uint8_t*": "live->bytes",
    "uint8_t*": "live->bytes",
    "const OL_WindowPlacement*": "&live->placement",
    "OL_WindowPlacement*": "&live->placement",
    "void*": "live->block",
    # Only C++ callers can make these: null even where a live one is meant.
    "OL_String*": "NULL",
    "OL_Palette*": "NULL",
}

PROTOTYPE = re.compile(r"OL_API\s+([^;{]*?)\b([A-Za-z_]\w*)\s*\(([^)]*)\)\s*;", re.S)
# A function whose only pointer is a handle it could turn into another object
# must not get a live one it would destroy or hand on: the live block is a
# memory block, not a bitmap.
NEVER_LIVE = {("OL_DeleteGraphicsObject", "bitmapOrPalette")}


def parameters(text):
    text = " ".join(text.split())
    if text in ("", "void"):
        return []
    result = []
    for part in text.split(","):
        part = part.strip()
        name = re.search(r"(\w+)$", part).group(1)
        kind = part[: -len(name)].strip().replace(" *", "*")
        result.append((kind, name))
    return result


def value(function, kind, name, null_name):
    if "*" not in kind:
        return "0"
    if name == null_name or (function, name) in NEVER_LIVE:
        return "NULL"
    return LIVE[kind]


def main():
    header, export_map, output = sys.argv[1:4]
    source = open(header, encoding="utf-8").read()
    source = re.sub(r"/\*.*?\*/", " ", source, flags=re.S)
    source = re.sub(r"^\s*#.*$", " ", source, flags=re.M)
    functions = [(m.group(2), parameters(m.group(3))) for m in PROTOTYPE.finditer(source)]
    declared = {name for name, _ in functions}

    exported = set(re.findall(r"^\s*((?:OL_|Mem)\w+|BitmapToDIB|DIBToBitmap|ConvertDIBtoBitmap);",
                              open(export_map, encoding="utf-8").read(), re.M))
    undeclared = sorted(exported - declared)
    if undeclared:
        sys.exit("exported but not declared in notestore.h (so not swept): " + ", ".join(undeclared))

    cases = []
    for function, params in functions:
        pointers = [(kind, name) for kind, name in params if "*" in kind]
        if not pointers:
            continue
        required = [name for kind, name in pointers if not MAY_BE_NULL.search(name)]
        nulls = [("*", True)] + [(name, True) for name in required if len(pointers) > 1]
        nulls += [(name, False) for kind, name in pointers if MAY_BE_NULL.search(name)]
        for null_name, null_is_required in nulls:
            if null_name == "*":
                args = ["NULL" if "*" in kind else "0" for kind, _ in params]
                fails = bool(required)
            else:
                args = [value(function, kind, name, null_name) for kind, name in params]
                fails = null_is_required
            if function in IGNORE_NULL:
                fails = False
            label = f"{function}({', '.join(args)})".replace("live->", "").replace("&placement", "placement")
            cases.append((function, ", ".join(args), fails, label))

    with open(output, "w", encoding="utf-8") as out:
        out.write("/* Written by null_sweep_cases.py from notestore.h; do not edit. */\n")
        for index, (function, args, _, _) in enumerate(cases):
            out.write(f"static void Case{index}(Live* live) {{ (void)live; (void){function}({args}); }}\n")
        out.write("static const SweepCase kCases[] = {\n")
        for index, (_, _, fails, label) in enumerate(cases):
            out.write(f'    {{Case{index}, {1 if fails else 0}, "{label}"}},\n')
        out.write("};\n")
        out.write(f"static const int kDeclaredFunctions = {len(functions)};\n")


if __name__ == "__main__":
    main()
