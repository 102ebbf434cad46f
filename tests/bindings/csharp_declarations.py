#!/usr/bin/env python3
"""Checks the C# binding against notestore.h, declaration by declaration:
every function of the header is declared once, with the name, result and
parameters that the type table below allows for its C types, and nothing
else is declared; the structures have the header's fields in its order; the
exception kinds have the header's values. A change of the header that the
binding does not follow fails here.

Usage: csharp_declarations.py notestore.h Notestore.cs
"""
import re
import sys

# C type -> the C# spellings that marshal it exactly. Handles are
# pointer-sized (IntPtr or a SafeHandle that owns the object); text is UTF-16;
# OL_BOOL is one byte.
PARAMETERS = {
    "int32_t": {"int"},
    "uint32_t": {"uint"},
    "uint16_t": {"ushort"},
    "uint8_t": {"byte"},
    "OL_BOOL": {"[MarshalAs(UnmanagedType.U1)] bool"},
    "const OL_WCHAR*": {"[MarshalAs(UnmanagedType.LPWStr)] string"},
    "OL_WCHAR*": {"[Out] char[]"},
    "const uint8_t*": {"[In] byte[]"},
    "uint8_t*": {"[Out] byte[]"},
    "OL_CategoryDB*": {"CategoryDbHandle", "IntPtr"},
    "OL_OutlineDB*": {"OutlineDbHandle", "IntPtr"},
    "OL_OutlineRecord*": {"IntPtr", "OutlineRecordHandle"},
    "OL_CategoryRecord*": {"IntPtr"},
    "OL_String*": {"IntPtr"},
    "OL_Palette*": {"IntPtr", "GraphicsObjectHandle"},
    "void*": {"IntPtr", "MemoryBlockHandle", "GraphicsObjectHandle"},
    "const OL_WindowPlacement*": {"[In] ref WindowPlacement"},
    "OL_WindowPlacement*": {"out WindowPlacement"},
}
RESULTS = {
    "void": {"void"},
    "int32_t": {"int"},
    "uint32_t": {"uint"},
    "uint16_t": {"ushort"},
    "uint8_t": {"byte"},
    "OL_BOOL": {"[return: MarshalAs(UnmanagedType.U1)] bool"},
    "OL_CategoryDB*": {"CategoryDbHandle"},
    "OL_OutlineDB*": {"OutlineDbHandle"},
    "OL_OutlineRecord*": {"IntPtr", "OutlineRecordHandle"},
    "OL_CategoryRecord*": {"IntPtr"},
    "OL_CategoryRecordset*": {"IntPtr"},
    "OL_OutlineRecordset*": {"IntPtr"},
    "OL_OutlineHeader*": {"IntPtr"},
    "OL_Bitmap*": {"GraphicsObjectHandle"},
    "void*": {"IntPtr", "MemoryBlockHandle"},
    # Library-held results: read, never freed by the caller.
    "const OL_WCHAR*": {"IntPtr"},
    "const OL_LogFont*": {"IntPtr"},
    "OL_CategoryIterator": {"CategoryIterator"},
}
FIELDS = {
    "int32_t": "int",
    "uint32_t": "uint",
    "uint8_t": "byte",
    "OL_CategoryDB*": "IntPtr",
}


def normalise(text):
    return re.sub(r"\s+", " ", text).strip()


def c_type(declaration):
    """Type and name of `const OL_WCHAR* path` or `int32_t height`."""
    declaration = normalise(declaration).replace(" *", "* ")
    match = re.fullmatch(r"(.*?)\s*([A-Za-z_]\w*)", declaration)
    return normalise(match.group(1)).replace(" *", "*"), match.group(2)


def header_functions(header):
    functions = {}
    for match in re.finditer(r"^OL_API\s+([^;]*?)\b(\w+)\s*\(([^)]*)\)\s*;", header, re.M | re.S):
        result = normalise(match.group(1)).replace(" *", "*")
        parameters = normalise(match.group(3))
        types = [] if parameters in ("void", "") else [c_type(p)[0] for p in parameters.split(",")]
        functions[match.group(2)] = (result, types)
    return functions


def header_structs(header):
    structs = {}
    for match in re.finditer(r"typedef struct (OL_\w+) \{(.*?)\}", header, re.S):
        fields = []
        for line in match.group(2).split(";"):
            line = normalise(re.sub(r"/\*.*?\*/", "", line))
            if not line:
                continue
            kind, names = line.split(" ", 1)
            if names.startswith("*"):
                kind, names = kind + "*", names[1:]
            for name in names.split(","):
                array = re.fullmatch(r"\s*(\w+)\[(\d+)\]\s*", name)
                fields.append((kind, int(array.group(2))) if array else (kind, None))
        structs[match.group(1)] = fields
    return structs


def header_kinds(header):
    return {name: int(value) for name, value in re.findall(r"OL_EXCEPTION_(\w+) = (\d+)", header)}


def split_parameters(text):
    parameters, depth, current = [], 0, ""
    for char in text:
        depth += char in "(["
        depth -= char in ")]"
        if char == "," and depth == 0:
            parameters.append(current)
            current = ""
        else:
            current += char
    if current.strip():
        parameters.append(current)
    return [normalise(p) for p in parameters]


def csharp_functions(source):
    functions = {}
    pattern = (r"\[DllImport\(([^\]]*?)\)\]\s*(\[return:[^\]]*\]\]?\s*)?"
               r"(?:public|internal) static extern (\w+) (\w+)\(([^;]*?)\);")
    for match in re.finditer(pattern, source, re.S):
        attributes, returned, kind, name, parameters = match.groups()
        result = normalise((returned or "") + kind)
        names = [re.sub(r"\s+@?\w+$", "", p) for p in split_parameters(parameters)]
        if name in functions:
            functions[name] = None  # declared twice
        else:
            functions[name] = (normalise(attributes), result, names)
    return functions


def csharp_struct(source, name):
    match = re.search(r"public struct %s\s*\{(.*?)\n    \}" % name, source, re.S)
    if not match:
        return None
    fields = []
    for line in match.group(1).split(";"):
        line = normalise(re.sub(r"//.*", "", line))
        declaration = re.search(r"public (\w+) ([\w, ]+)$", line)
        if not declaration:
            continue
        size = re.search(r"ByValTStr, SizeConst = (\d+)", line)
        for _ in declaration.group(2).split(","):
            fields.append((declaration.group(1), int(size.group(1)) if size else None))
    return fields


def check(header, source):
    problems = []
    wanted = header_functions(header)
    declared = csharp_functions(source)
    if len(wanted) < 150:
        problems.append(f"the header parser found only {len(wanted)} functions")
    for name, (result, parameters) in wanted.items():
        if name not in declared:
            problems.append(f"{name}: not declared")
            continue
        if declared[name] is None:
            problems.append(f"{name}: declared more than once")
            continue
        attributes, csharp_result, csharp_parameters = declared[name]
        if "CallingConvention.Cdecl" not in attributes or "ExactSpelling = true" not in attributes:
            problems.append(f"{name}: DllImport needs CallingConvention.Cdecl and ExactSpelling = true")
        if csharp_result not in RESULTS.get(result, ()):
            problems.append(f"{name}: result {result} declared as '{csharp_result}'")
        if len(csharp_parameters) != len(parameters):
            problems.append(f"{name}: {len(parameters)} parameters, {len(csharp_parameters)} declared")
            continue
        for index, (c, cs) in enumerate(zip(parameters, csharp_parameters)):
            if cs not in PARAMETERS.get(c, ()):
                problems.append(f"{name}: parameter {index + 1} {c} declared as '{cs}'")
    for name in declared:
        if name not in wanted:
            problems.append(f"{name}: declared but not in the header")

    csharp_names = {"OL_CategoryIterator": "CategoryIterator", "OL_LogFont": "LogFont",
                    "OL_WindowPlacement": "WindowPlacement"}
    structs = header_structs(header)
    for c_name, fields in structs.items():
        if c_name not in csharp_names:
            problems.append(f"struct {c_name}: no C# counterpart")
            continue
        expected = [("string" if size and kind == "OL_WCHAR" else FIELDS.get(kind, "?" + kind),
                     size if kind == "OL_WCHAR" else None) for kind, size in fields]
        actual = csharp_struct(source, csharp_names[c_name])
        if actual != expected:
            problems.append(f"struct {c_name}: fields {expected}, declared {actual}")
    for name, value in header_kinds(header).items():
        member = name.capitalize()
        if not re.search(r"\b%s = %d\b" % (member, value), source):
            problems.append(f"ExceptionKind.{member} must be {value}")
    return problems, len(wanted)


def main():
    header = open(sys.argv[1], encoding="utf-8").read()
    source = open(sys.argv[2], encoding="utf-8").read()
    problems, count = check(header, source)
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} differences between the header and the C# binding")
        return 1
    print(f"the C# binding declares the header's {count} functions exactly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
