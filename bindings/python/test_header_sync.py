"""Ties the binding to include/exprcalc.h and src/module/exports.list.

The binding copies the header's constants (result codes, record layout, types),
structures and the exports' signatures by hand. This test reads the header's
#define constants, structures and prototypes and the export list's names and
compares them with what exprcalc.py declares (HEADER_CONSTANTS, STRUCTURES,
SIGNATURES, NOT_YET_BOUND and the exception classes), so that neither side can
change without the other:

- every numeric or string #define EXPRCALC_<NAME> of the header is <NAME> in
  the binding, with the same value, and the binding mirrors no other name;
- every code in the header's "Result codes" block is OK or has its exception;
- every typedef struct of the header is mirrored in STRUCTURES by a ctypes
  Structure with the same members, in the same order, of the same types (an
  opaque one, typedef struct NAME NAME, by a Structure without members);
- every name of the export list (the first field of each line) is bound with
  the ctypes types of its prototype, or named in NOT_YET_BOUND;
- the binding binds, and marks as not yet bound, only names of the export list.

The files are found through EXPRCALC_HEADER and EXPRCALC_EXPORT_LIST (ctest
sets them), else in the source tree around this folder.
"""

import ast
import ctypes
import os
import re
import types
import unittest

import exprcalc

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))


def _source_file(variable, *parts):
    return os.environ.get(variable) or os.path.join(SOURCE_ROOT, *parts)


HEADER = _source_file("EXPRCALC_HEADER", "include", "exprcalc.h")
EXPORT_LIST = _source_file("EXPRCALC_EXPORT_LIST", "src", "module", "exports.list")

# ---------------------------------------------------------------------------
# Reading the export list and the header.


def export_names(text):
    """The export list's names: the first field of every line that is not blank or a # comment."""
    names = []
    for line in text.splitlines():
        fields = line.split()
        if fields and not fields[0].startswith("#"):
            names.append(fields[0])
    return names


def _without_comments(text):
    # A block comment becomes a blank, or the line ends it spanned.
    text = re.sub(r"/\*.*?\*/", lambda match: "\n" * match.group(0).count("\n") or " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def _logical_lines(text):
    # Comments removed, backslash-continued lines joined.
    return _without_comments(text).replace("\\\n", " ").splitlines()


# A cast to size_t, as in ((size_t)-1): its operand is taken modulo 2 to the power of size_t's bits.
_SIZE_T_CAST = re.compile(r"\(\s*size_t\s*\)\s*(-?\s*\w+)")
_SIZE_T_MODULUS = 2 ** (8 * ctypes.sizeof(ctypes.c_size_t))
_DEFINE = re.compile(r"^\s*#\s*define\s+EXPRCALC_(\w+)(?:\s+(.*?))?\s*$")
_C_INTEGER = re.compile(r"\b(0[xX][0-9a-fA-F]+|[0-9]+)[uUlL]*\b(?!\.)")
_ALLOWED_NODES = (ast.Expression, ast.Constant, ast.UnaryOp, ast.BinOp, ast.USub, ast.UAdd, ast.Invert,
                  ast.Add, ast.Sub, ast.Mult, ast.FloorDiv, ast.Mod, ast.LShift, ast.RShift,
                  ast.BitOr, ast.BitAnd, ast.BitXor)


def _c_integer(match):
    digits = match.group(1)
    if digits[:2] in ("0x", "0X"):
        return str(int(digits, 16))
    if len(digits) > 1 and digits.startswith("0"):
        return str(int(digits, 8))
    return digits


UNREADABLE = object()


def constant_value(expression, known):
    """The value of a #define's replacement text when it is a constant: a string
    literal, or integers, floats and EXPRCALC_ constants joined by C operators.
    None for anything else (an empty define, a compiler keyword, a macro call);
    UNREADABLE for numbers and constants joined in a way this reader cannot follow."""
    expression = (expression or "").strip()
    if not expression:
        return None
    if re.fullmatch(r'"(?:[^"\\]|\\.)*"', expression):
        return ast.literal_eval(expression)
    expression = _SIZE_T_CAST.sub(lambda match: f"(({match.group(1)}) % {_SIZE_T_MODULUS})", expression)
    for identifier in re.findall(r"(?<![\w.])[A-Za-z_]\w*", _C_INTEGER.sub("", expression)):
        if not identifier.startswith("EXPRCALC_"):
            return None
        if identifier[len("EXPRCALC_"):] not in known:
            return UNREADABLE
    python = _C_INTEGER.sub(_c_integer, expression)
    python = re.sub(r"\bEXPRCALC_(\w+)", lambda match: repr(known[match.group(1)]), python)
    if "." not in python:
        python = python.replace("/", "//")  # integer division (C truncates; the same for positive values)
    try:
        tree = ast.parse(python, mode="eval")
    except SyntaxError:
        return UNREADABLE
    if not all(isinstance(node, _ALLOWED_NODES) for node in ast.walk(tree)):
        return UNREADABLE
    return eval(compile(tree, "<define>", "eval"), {"__builtins__": {}})  # only literals and operators


def header_constants(text):
    """{NAME: value} for every constant #define EXPRCALC_NAME of the header, and the problems met."""
    constants, problems = {}, []
    for line in _logical_lines(text):
        match = _DEFINE.match(line)
        if not match:
            continue
        name, value = match.group(1), constant_value(match.group(2), constants)
        if value is None:
            continue
        if value is UNREADABLE:
            problems.append(f"cannot read the value of EXPRCALC_{name} ({match.group(2)}): extend constant_value")
            continue
        if name in constants and constants[name] != value:
            problems.append(f"the header defines EXPRCALC_{name} twice: {constants[name]!r} and {value!r}")
        constants.setdefault(name, value)
    return constants, problems


def result_code_names(text):
    """The constants of the header's block that begins with the comment "Result codes"; None when there is none."""
    for block in re.split(r"\n\s*\n", text):
        if re.match(r"\s*/\*\s*Result codes\b", block):
            return [match.group(1) for match in map(_DEFINE.match, _logical_lines(block)) if match]
    return None


_STRUCTURE = re.compile(r"typedef\s+struct\s+(\w+)\s*\{([^{}]*)\}\s*(\w+)\s*;")
_OPAQUE_STRUCTURE = re.compile(r"typedef\s+struct\s+(\w+)\s+(\w+)\s*;")


def header_structures(text):
    """{name: [(member, its declaration)]} for every typedef struct NAME {...} NAME of the header, and
    {name: []} for every opaque typedef struct NAME NAME."""
    code = " ".join(_logical_lines(text))
    structures = {match.group(2): [] for match in _OPAQUE_STRUCTURE.finditer(code)}
    for match in _STRUCTURE.finditer(code):
        members = [part.strip() for part in match.group(2).split(";") if part.strip()]
        structures[match.group(3)] = [(re.findall(r"(\w+)\s*(?:\[[^\]]*\])?$", member)[-1], member)
                                      for member in members]
    return structures


_PROTOTYPE = re.compile(
    r"EXPRCALC_API\s+(?P<result>[\w\s*]+?)\s*EXPRCALC_CALL\s+(?P<name>\w+)\s*\((?P<parameters>[^()]*)\)\s*;")


def header_prototypes(text):
    """{name: (result type, [parameter types])} for every EXPRCALC_API function; types as C spells them."""
    prototypes = {}
    for match in _PROTOTYPE.finditer(" ".join(_logical_lines(text))):
        parameters = [part.strip() for part in match.group("parameters").split(",")]
        if parameters == ["void"] or parameters == [""]:
            parameters = []
        prototypes[match.group("name")] = (match.group("result").strip(), parameters)
    return prototypes


# ---------------------------------------------------------------------------
# C types to ctypes.

_BASE_TYPES = {
    "void": None, "char": ctypes.c_char, "signed char": ctypes.c_byte, "unsigned char": ctypes.c_ubyte,
    "short": ctypes.c_short, "unsigned short": ctypes.c_ushort, "int": ctypes.c_int,
    "signed": ctypes.c_int, "unsigned": ctypes.c_uint, "unsigned int": ctypes.c_uint,
    "long": ctypes.c_long, "unsigned long": ctypes.c_ulong, "long long": ctypes.c_longlong,
    "unsigned long long": ctypes.c_ulonglong, "float": ctypes.c_float, "double": ctypes.c_double,
    "size_t": ctypes.c_size_t, "ptrdiff_t": ctypes.c_ssize_t, "int8_t": ctypes.c_int8,
    "uint8_t": ctypes.c_uint8, "int16_t": ctypes.c_int16, "uint16_t": ctypes.c_uint16,
    "int32_t": ctypes.c_int32, "uint32_t": ctypes.c_uint32, "int64_t": ctypes.c_int64,
    "uint64_t": ctypes.c_uint64,
}
_KEYWORDS = {"void", "char", "short", "int", "long", "signed", "unsigned", "float", "double"}
_QUALIFIERS = {"const", "volatile", "restrict"}


def c_type(declaration, structures=None, constants=None):
    """The ctypes type for a C parameter, member or result declaration (a name, if any, is dropped).

    char * (const or not) is c_char_p, void * is c_void_p, a pointer to any other
    known type T is POINTER(T), and a pointer to any of these pointers POINTER of
    it; a member T name[N] is an array of N T, N a number or a constant of
    constants (the header's, without their EXPRCALC_ prefix); structures maps the
    names of C structures to their ctypes mirrors. Raises KeyError for a type with
    no mapping."""
    array = re.search(r"\[\s*(\w+)\s*\]\s*$", declaration)
    if array:
        length = array.group(1)
        count = int(length) if length.isdigit() else (constants or {}).get(length.removeprefix("EXPRCALC_"))
        if not isinstance(count, int):
            raise KeyError(declaration)
        return c_type(declaration[:array.start()], structures) * count
    known = {**_BASE_TYPES, **(structures or {})}
    tokens = [token for token in re.findall(r"\w+|\*", declaration) if token not in _QUALIFIERS]
    # A trailing identifier after a type is the parameter's name.
    if len(tokens) > 1 and tokens[-1] != "*" and tokens[-1] not in _KEYWORDS:
        tokens.pop()
    stars = tokens.count("*")
    base = " ".join(token for token in tokens if token != "*")
    if base not in known or (stars == 0 and base == "void" and declaration.strip() != "void"):
        raise KeyError(declaration)
    if stars == 0:
        return known[base]
    pointer = {"char": ctypes.c_char_p, "void": ctypes.c_void_p}.get(base) or ctypes.POINTER(known[base])
    for _ in range(stars - 1):
        pointer = ctypes.POINTER(pointer)
    return pointer


def _type_name(ctype):
    return "void" if ctype is None else ctype.__name__


def _spell_members(members):
    return ", ".join(f"{_type_name(ctype)} {member}" for member, ctype in members)


# ---------------------------------------------------------------------------
# The check.


def check(header_text, export_list_text, binding):
    """Every difference between the header and export list on one side and the binding on the other."""
    problems = []

    constants, constant_problems = header_constants(header_text)
    problems += constant_problems
    mirrored = tuple(binding.HEADER_CONSTANTS)
    for name, value in constants.items():
        if name not in mirrored or not hasattr(binding, name):
            problems.append(f"the header defines EXPRCALC_{name} ({value!r}); the binding has no {name}")
        elif getattr(binding, name) != value or type(getattr(binding, name)) is not type(value):
            problems.append(f"EXPRCALC_{name} is {value!r} in the header, {getattr(binding, name)!r} in the binding")
    for name in mirrored:
        if name not in constants:
            problems.append(f"the binding mirrors {name}, but the header has no constant EXPRCALC_{name}")

    codes = result_code_names(header_text)
    if codes is None:
        problems.append('the header has no block that begins with the comment "Result codes": update this check')
    else:
        raised = {binding.OK: None, **binding._ERRORS_BY_CODE}
        for name in codes:
            if name in constants and constants[name] not in raised:
                problems.append(f"result code EXPRCALC_{name} ({constants[name]}) has no exception in the binding")
        for code in raised:
            if code not in {constants.get(name) for name in codes}:
                problems.append(f"the binding has an exception for code {code}, which the header's result codes lack")

    mirrors = dict(getattr(binding, "STRUCTURES", {}))
    structures = header_structures(header_text)
    for name, members in structures.items():
        if name not in mirrors:
            problems.append(f"the header declares the structure {name}; "
                            "the binding has no mirror of it in STRUCTURES")
            continue
        try:
            expected = [(member, c_type(declaration, mirrors, constants)) for member, declaration in members]
        except KeyError as unknown:
            problems.append(f"{name}: no ctypes type for the C member {unknown.args[0]!r}: extend c_type")
            continue
        declared = [tuple(field) for field in getattr(mirrors[name], "_fields_", ())]
        if declared != expected:
            problems.append(f"{name}: the header gives {{{_spell_members(expected)}}}, "
                            f"the binding {{{_spell_members(declared)}}}")
    for name in mirrors:
        if name not in structures:
            problems.append(f"the binding mirrors the structure {name}, which the header does not declare")

    exports = export_names(export_list_text)
    prototypes = header_prototypes(header_text)
    bound, not_yet = dict(binding.SIGNATURES), set(binding.NOT_YET_BOUND)
    for name in sorted(set(exports)):
        if exports.count(name) > 1:
            problems.append(f"the export list names {name} {exports.count(name)} times")
    for name in exports:
        if name in not_yet:
            continue
        if name not in bound:
            problems.append(f"{name} is in the export list but not bound by the binding "
                            f"(bind it in SIGNATURES or name it in NOT_YET_BOUND)")
            continue
        if name not in prototypes:
            problems.append(f"{name} is bound but the header declares no EXPRCALC_API prototype for it")
            continue
        result, parameters = prototypes[name]
        try:
            expected = (c_type(result, mirrors), tuple(c_type(parameter, mirrors) for parameter in parameters))
        except KeyError as unknown:
            problems.append(f"{name}: no ctypes type for the C type {unknown.args[0]!r}: extend c_type")
            continue
        declared = (bound[name][0], tuple(bound[name][1]))
        if declared != expected:
            def spell(signature):
                return f"{_type_name(signature[0])} ({', '.join(map(_type_name, signature[1]))})"
            problems.append(f"{name}: the header gives {spell(expected)}, the binding {spell(declared)}")
    for name in bound:
        if name not in exports:
            problems.append(f"the binding binds {name}, which the export list does not name")
        if name in not_yet:
            problems.append(f"{name} is bound and also named in NOT_YET_BOUND")
    for name in not_yet - set(exports):
        problems.append(f"NOT_YET_BOUND names {name}, which the export list does not name")
    for name in prototypes:
        if name not in exports:
            problems.append(f"the header declares {name}, which the export list does not name")
    return problems


def _read(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def _binding(**overrides):
    attributes = {name: getattr(exprcalc, name) for name in dir(exprcalc) if not name.startswith("__")}
    attributes.update(overrides)
    return types.SimpleNamespace(**attributes)


class HeaderSyncTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.header = _read(HEADER)
        cls.exports = _read(EXPORT_LIST)

    def test_binding_matches_the_header_and_the_export_list(self):
        problems = check(self.header, self.exports, exprcalc)
        self.assertEqual(problems, [], "\n" + "\n".join(problems))

    def test_the_files_are_read_whole(self):
        constants, problems = header_constants(self.header)
        self.assertEqual(problems, [])
        self.assertEqual(constants["RECORD_SIZE"], 256)
        self.assertEqual(constants["STATEMENT_NO_VARIABLE"], -1)
        self.assertEqual(constants["MALFORMED"], 0x8000)
        self.assertNotIn("CALL", constants)
        self.assertNotIn("API", constants)
        self.assertEqual(len(export_names(self.exports)), len(header_prototypes(self.header)))
        self.assertIn("ParseString", export_names(self.exports))

    def test_loaded_functions_carry_the_declared_types(self):
        calc = exprcalc.Library()
        for name, (restype, argtypes) in exprcalc.SIGNATURES.items():
            with self.subTest(name):
                function = getattr(calc._dll, name)
                self.assertIs(function.restype, restype)
                self.assertEqual(tuple(function.argtypes), tuple(argtypes))
                self.assertTrue(callable(getattr(calc.functions, name)))

    def test_drift_is_reported(self):
        header, exports = self.header, self.exports
        new_prototype = ("\nEXPRCALC_API int EXPRCALC_CALL exprcalc_limits(int *major,\n"
                         "                                          int *minor);\n#ifdef __cplusplus")
        with_new_function = header.replace("\n#ifdef __cplusplus", new_prototype, 1)
        rows = [
            # (label, header, export list, binding overrides, expected problem or None)
            ("unchanged", header, exports, {}, None),
            ("a new export, more fields on its line", with_new_function,
             exports + "exprcalc_limits 15 since=1.1\n", {},
             "exprcalc_limits is in the export list but not bound"),
            ("a new export marked as not yet bound", with_new_function,
             exports + "exprcalc_limits 15\n", {"NOT_YET_BOUND": exprcalc.NOT_YET_BOUND | {"exprcalc_limits"}}, None),
            ("a new export bound with its types", with_new_function, exports + "exprcalc_limits\n",
             {"SIGNATURES": {**exprcalc.SIGNATURES, "exprcalc_limits": (
                 ctypes.c_int, (ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)))}}, None),
            ("a new export bound with wrong types", with_new_function, exports + "exprcalc_limits\n",
             {"SIGNATURES": {**exprcalc.SIGNATURES, "exprcalc_limits": (ctypes.c_int, (ctypes.c_int,))}},
             "exprcalc_limits: the header gives c_int (LP_c_int, LP_c_int), the binding c_int (c_int)"),
            ("a bound export without a prototype", header, exports + "exprcalc_limits\n",
             {"SIGNATURES": {**exprcalc.SIGNATURES, "exprcalc_limits": (ctypes.c_int, ())}},
             "exprcalc_limits is bound but the header declares no"),
            ("an export that the list drops", header, re.sub(r"^VarString\b.*\n", "", exports, flags=re.M), {},
             "the binding binds VarString, which the export list does not name"),
            ("a stale mark", header, exports, {"NOT_YET_BOUND": frozenset({"exprcalc_gone"})},
             "NOT_YET_BOUND names exprcalc_gone"),
            ("a bound name marked as not bound", header, exports, {"NOT_YET_BOUND": frozenset({"GetVar"})},
             "GetVar is bound and also named in NOT_YET_BOUND"),
            ("a changed parameter type",
             header.replace("GetVar(int index, void *record)", "GetVar(short index, void *record)"), exports,
             {}, "GetVar: the header gives c_int (c_short, c_void_p), the binding c_int (c_int, c_void_p)"),
            ("a type without a mapping",
             header.replace("RemoveVarIndex(int index)", "RemoveVarIndex(struct position index)"), exports, {},
             "RemoveVarIndex: no ctypes type for the C type 'struct position index'"),
            ("a changed layout constant",
             header.replace("EXPRCALC_RECORD_TEXT_SIZE 222", "EXPRCALC_RECORD_TEXT_SIZE 200"), exports, {},
             "EXPRCALC_RECORD_TEXT_SIZE is 200 in the header, 222 in the binding"),
            ("a new constant",
             header.replace("#define EXPRCALC_TEXT_BUFFER_SIZE 223",
                            "#define EXPRCALC_TEXT_BUFFER_SIZE 223\n#define EXPRCALC_NAME_BUFFER_SIZE "
                            "(EXPRCALC_RECORD_NAME_SIZE)"), exports, {},
             "the header defines EXPRCALC_NAME_BUFFER_SIZE (32); the binding has no NAME_BUFFER_SIZE"),
            ("a constant this reader cannot follow",
             header.replace("#define EXPRCALC_TEXT_BUFFER_SIZE 223",
                            "#define EXPRCALC_TEXT_BUFFER_SIZE (EXPRCALC_RECORD_TEXT_SIZE ? 223 : 0)"),
             exports, {}, "cannot read the value of EXPRCALC_TEXT_BUFFER_SIZE"),
            ("a removed constant",
             header.replace("#define EXPRCALC_RECORD_NUMBER_SIZE 8\n", ""), exports, {},
             "the binding mirrors RECORD_NUMBER_SIZE, but the header has no constant"),
            ("a new result code",
             header.replace("#define EXPRCALC_MALFORMED 32768",
                            "#define EXPRCALC_MALFORMED 32768\n#define EXPRCALC_OVERFLOW 0x4u"), exports,
             {"HEADER_CONSTANTS": exprcalc.HEADER_CONSTANTS + ("OVERFLOW",), "OVERFLOW": 4},
             "result code EXPRCALC_OVERFLOW (4) has no exception in the binding"),
            ("a result code the header drops",
             header.replace("#define EXPRCALC_NEGATIVE_LOGARITHM 3", "#define EXPRCALC_NEGATIVE_LOGARITHM (-3)"),
             exports, {"NEGATIVE_LOGARITHM": -3},
             "the binding has an exception for code 3, which the header's result codes lack"),
            ("a structure member added",
             header.replace("  size_t length;", "  size_t length;\n  int added;"), exports, {},
             "exprcalc_diagnosis: the header gives {c_int code, c_double value"),
            ("a structure without a mirror", header, exports,
             {"STRUCTURES": {"exprcalc_diagnosis": exprcalc.CDiagnosis}},
             "the header declares the structure exprcalc_statement_diagnosis; the binding has no mirror"),
            ("a mirror without a structure", header.replace("} exprcalc_statement_diagnosis;", "} renamed;"),
             exports, {},
             "the binding mirrors the structure exprcalc_statement_diagnosis, which the header does not declare"),
            ("an opaque structure without a mirror", header, exports,
             {"STRUCTURES": {**{name: exprcalc.STRUCTURES[name] for name in
                                ("exprcalc_diagnosis", "exprcalc_statement_diagnosis")}}},
             "the header declares the structure exprcalc_expr; the binding has no mirror"),
            ("an opaque structure given members",
             header.replace("typedef struct exprcalc_expr exprcalc_expr;",
                            "typedef struct exprcalc_expr { int kind; } exprcalc_expr;"), exports, {},
             "exprcalc_expr: the header gives {c_int kind}, the binding {}"),
            ("a cast constant",
             header.replace("((size_t)-1)", "((size_t)-2)"), exports, {},
             f"EXPRCALC_NOWHERE is {ctypes.c_size_t(-2).value} in the header"),
            ("a result-code block without its comment",
             header.replace("/* Result codes of ParseString.", "/* Codes of ParseString."), exports, {},
             'the header has no block that begins with the comment "Result codes"'),
        ]
        for label, header_text, export_text, overrides, expected in rows:
            with self.subTest(label):
                problems = check(header_text, export_text, _binding(**overrides))
                if expected is None:
                    self.assertEqual(problems, [])
                else:
                    self.assertTrue(any(expected in problem for problem in problems), problems)

    def test_c_types(self):
        rows = [
            ("int", ctypes.c_int), ("const char *name", ctypes.c_char_p), ("char *buffer", ctypes.c_char_p),
            ("void *record", ctypes.c_void_p), ("const void*", ctypes.c_void_p),
            ("double *result", ctypes.POINTER(ctypes.c_double)), ("int *", ctypes.POINTER(ctypes.c_int)),
            ("unsigned int", ctypes.c_uint), ("unsigned count", ctypes.c_uint), ("size_t length", ctypes.c_size_t),
            ("const int64_t *values", ctypes.POINTER(ctypes.c_int64)), ("void", None),
            ("exprcalc_diagnosis *out", ctypes.POINTER(exprcalc.CDiagnosis)),
            ("exprcalc_diagnosis expression", exprcalc.CDiagnosis),
            ("char **names", ctypes.POINTER(ctypes.c_char_p)),
            ("const exprcalc_expr *expr", ctypes.POINTER(exprcalc.CExpr)),
            ("exprcalc_expr **out", ctypes.POINTER(ctypes.POINTER(exprcalc.CExpr))),
        ]
        for declaration, expected in rows:
            with self.subTest(declaration):
                self.assertIs(c_type(declaration, exprcalc.STRUCTURES), expected)
        for declaration in ("struct point p", "void name", "exprcalc_other *out", "exprcalc_other **out"):
            with self.subTest(declaration), self.assertRaises(KeyError):
                c_type(declaration)


if __name__ == "__main__":
    unittest.main()
