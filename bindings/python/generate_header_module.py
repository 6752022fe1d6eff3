"""Writes _exprcalc_header.py, the Python binding's mirror of exprcalc.h.

    python3 generate_header_module.py include/exprcalc.h OUTPUT_DIR/_exprcalc_header.py

The build runs it and installs its output inside the exprcalc package, which imports
it; run from the source tree, the package calls module_text() on the header
itself. The mirror holds every constant EXPRCALC_<NAME> as <NAME>, a ctypes
Structure for every typedef struct (CDiagnosis for exprcalc_diagnosis) and
the ctypes signature of every prototype; a function pointer type
(exprcalc_function) becomes a ctypes CFUNCTYPE (CFunction). The header keeps to the forms read
here; a define, member or parameter in any other form stops the generation.
"""

import os
import re
import sys

_COMMENTS = re.compile(r"/\*.*?\*/|//[^\n]*", re.S)
_DEFINE = re.compile(r"^[ \t]*#[ \t]*define[ \t]+EXPRCALC_(\w+)[ \t]*(.*)$", re.M)
_INTEGER = re.compile(r"\(?(-?(?:0[xX][0-9a-fA-F]+|\d+))\)?")
_STRING = re.compile(r'"[^"\\]*"')
_SIZE_T_MINUS_ONE = "((size_t)-1)"
_NOT_CONSTANTS = {"H", "API", "CALL"}  # the include guard and the calling-convention macros
_STRUCT = re.compile(r"typedef\s+struct\s+(\w+)\s*\{(.*?)\}\s*(\w+)\s*;", re.S)
_OPAQUE = re.compile(r"typedef\s+struct\s+(\w+)\s+(\w+)\s*;")
_CALLBACK = re.compile(r"typedef\s+([\w\s*]+?)\s*\(\s*EXPRCALC_CALL\s*\*\s*(\w+)\s*\)\s*\(([^)]*)\)\s*;")
_MEMBER = re.compile(r"^([\w\s*]*?)\s*\b(\w+)\s*(?:\[\s*EXPRCALC_(\w+)\s*\])?$")
_PROTOTYPE = re.compile(r"EXPRCALC_API\s+([\w\s*]+?)\s*EXPRCALC_CALL\s+(\w+)\s*\(([^)]*)\)\s*;")
_PARAMETER = re.compile(r"^([\w\s*]*?[\s*])\s*\w+$")
_SCALARS = {"int": "ctypes.c_int", "double": "ctypes.c_double", "size_t": "ctypes.c_size_t",
            "char": "ctypes.c_char", "void": "None"}


class HeaderFormError(ValueError):
    """The header holds a form this generator does not read."""


def class_name(struct):
    """exprcalc_statement_diagnosis -> CStatementDiagnosis."""
    return "C" + "".join(word.capitalize() for word in struct.removeprefix("exprcalc_").split("_"))


def constants(text):
    """The header's constants in order: (NAME, Python expression)."""
    found = []
    for name, value in _DEFINE.findall(text):
        value = value.strip()
        if name in _NOT_CONSTANTS or not value and name in ("STATIC", "BUILDING"):
            continue
        if _INTEGER.fullmatch(value):
            found.append((name, str(int(_INTEGER.fullmatch(value).group(1), 0))))
        elif _STRING.fullmatch(value):
            found.append((name, value))
        elif value.replace(" ", "") == _SIZE_T_MINUS_ONE:
            found.append((name, "ctypes.c_size_t(-1).value"))
        else:
            raise HeaderFormError(f"EXPRCALC_{name}: cannot read the value {value!r}")
    return found


def ctype(declaration, structures):
    """The ctypes expression for a C type such as 'const char *' or 'exprcalc_expr **'."""
    words = declaration.replace("*", " ").split()
    depth = declaration.count("*")
    base = [word for word in words if word != "const"]
    if len(base) != 1:
        raise HeaderFormError(f"cannot read the type {declaration!r}")
    base = base[0]
    if depth == 1 and base in ("char", "void"):
        return f"ctypes.c_{base}_p"
    if base in structures:
        result = structures[base]
    elif base in _SCALARS:
        result = _SCALARS[base]
    else:
        raise HeaderFormError(f"cannot read the type {declaration!r}")
    for _ in range(depth):
        result = f"ctypes.POINTER({result})"
    return result


def parameter_types(name, parameters, structures):
    """The ctypes expressions of a parameter list such as 'void *user, double x'."""
    arguments = []
    for parameter in filter(None, (" ".join(part.split()) for part in parameters.split(","))):
        if parameter == "void":
            continue
        match = _PARAMETER.fullmatch(parameter)
        if not match:
            raise HeaderFormError(f"{name}: cannot read the parameter {parameter!r}")
        arguments.append(ctype(match.group(1), structures))
    return arguments


def module_text(header):
    """The text of _exprcalc_header.py for the text of exprcalc.h."""
    text = _COMMENTS.sub(lambda comment: " " + "\n" * comment.group(0).count("\n"), header)
    found = constants(text)
    structures = {name: class_name(name) for name, _ in _OPAQUE.findall(text)}
    structures.update((name, class_name(name)) for name, _, _ in _STRUCT.findall(text))
    callbacks = _CALLBACK.findall(text)
    lines = ['"""exprcalc.h for the Python binding, as generate_header_module.py writes it: do not edit."""',
             "", "import ctypes", ""]
    lines += [f"{name} = {value}" for name, value in found]
    names = [name for name, _ in found]
    lines += ["", f"HEADER_CONSTANTS = {tuple(names)!r}",
              '"""The constants above, each EXPRCALC_<name> in the header."""', ""]
    for name, typedef in _OPAQUE.findall(text):
        lines += ["", f"class {class_name(name)}(ctypes.Structure):",
                  f'    """{name}, opaque: held only through a pointer."""', ""]
    for name, body, typedef in _STRUCT.findall(text):
        fields = []
        for member in filter(None, (part.strip() for part in body.split(";"))):
            match = _MEMBER.fullmatch(" ".join(member.split()))
            if not match:
                raise HeaderFormError(f"{name}: cannot read the member {member!r}")
            field = ctype(match.group(1), structures)
            if match.group(3):
                field += f" * {match.group(3)}"
            fields.append(f"(\"{match.group(2)}\", {field})")
        lines += ["", f"class {class_name(name)}(ctypes.Structure):", f'    """{name}"""',
                  "    _fields_ = [" + ",\n                ".join(fields) + "]", ""]
    for restype, name, parameters in callbacks:
        arguments = [ctype(restype, structures), *parameter_types(name, parameters, structures)]
        lines += ["", f"{class_name(name)} = ctypes.CFUNCTYPE({', '.join(arguments)})",
                  f'"""{name}, a function the host gives the library."""']
    shown = dict(structures)
    structures.update((name, class_name(name)) for _, name, _ in callbacks)
    lines += ["", "STRUCTURES = {" + ", ".join(f'"{name}": {cls}' for name, cls in shown.items()) + "}",
              '"""The header\'s structures by their C names."""', "", "SIGNATURES = {"]
    for restype, name, parameters in _PROTOTYPE.findall(text):
        arguments = parameter_types(name, parameters, structures)
        arguments_text = f"{arguments[0]}," if len(arguments) == 1 else ", ".join(arguments)
        lines.append(f'    "{name}": ({ctype(restype, structures)}, ({arguments_text})),')
    lines += ["}", '"""Every prototype: name -> (return type, argument types)."""', "",
              "__all__ = [*HEADER_CONSTANTS, *(cls.__name__ for cls in STRUCTURES.values()),",
              *(f'           "{class_name(name)}",' for _, name, _ in callbacks),
              '           "HEADER_CONSTANTS", "STRUCTURES", "SIGNATURES"]']
    return "\n".join(lines) + "\n"


def main(arguments):
    if len(arguments) != 2:
        sys.exit(__doc__)
    with open(arguments[0], encoding="utf-8") as header:
        text = module_text(header.read())
    os.makedirs(os.path.dirname(os.path.abspath(arguments[1])), exist_ok=True)
    with open(arguments[1], "w", encoding="utf-8", newline="\n") as output:
        output.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
