"""Python face of the exprcalc shared library, through ctypes (standard library only).

    import exprcalc
    calc = exprcalc.Library()            # or Library("/path/to/libexprcalc.so")
    calc.variables["@RATE"] = 4
    calc.evaluate("2*SIN(RAD(30))+@RATE")   # 5.0
    calc.execute('@NOTE = "hello')
    calc.variables["@note"]                 # 'hello'
    calc.evaluate("10 mod 3")               # 10.0: reading stops at "mod", as ParseString does
    calc.evaluate("10 mod 3", strict=True)  # IncompleteExpressionError, with position and reason
    calc.explain("2*(3+4")                  # Diagnosis(code=0, value=2.0, ..., unclosed=True, ...)
    rate = calc.variables.index("@RATE")
    with calc.prepare("(@RATE+1)*2") as f:  # read once, evaluated many times
        for r in range(10):
            calc.variables.set_at(rate, r)  # a new value that keeps the table's shape
            print(f())                      # what calc.evaluate("(@RATE+1)*2") gives, for less

The library keeps one variable table per process: every Library object loaded
from the same file shares it. Every call into the library is made under one
process-wide lock, LOCK (a re-entrant lock), so Library and Variables objects
may be used from several threads; hold `with exprcalc.LOCK:` to make a
sequence of operations atomic.

The constants, the record layout, the structures and the signatures are
generated from include/exprcalc.h (see _header_module below).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import numbers
import operator
import os
import struct
import sys
import threading
import types
import unicodedata
import warnings
from collections.abc import Iterator, Mapping, MutableMapping
from typing import Callable, NamedTuple, Optional, Union

__all__ = [
    "Library", "Table", "FunctionError", "Variables", "VariableRecord", "ExprcalcError", "DivisionByZeroError",
    "DomainError", "NegativeLogarithmError", "OutOfMemoryError", "MalformedExpressionError",
    "StatementError", "TableFullError", "find_library", "error_for_code", "LOCK",
    "Diagnosis", "StatementDiagnosis", "IncompleteExpressionError", "StatementWarning",
    "UnreadableNameWarning", "IncompleteStatementWarning", "caret_lines", "printable", "Prepared",
    "Finding", "Judgement", "StatementJudgement", "JudgementWarning", "ExpressionWarning",
]

LIBRARY_ENVIRONMENT_VARIABLE = "EXPRCALC_LIBRARY"

# Where `cmake --install` put the library, relative to the installed copy of
# this module (the install rule rewrites this line; None in the source tree).
_INSTALLED_LIBRARY_DIR: Optional[str] = None

# ---------------------------------------------------------------------------
# The header's constants (EXPRCALC_<NAME> in include/exprcalc.h is <NAME> here),
# its structures as ctypes Structures (CDiagnosis for exprcalc_diagnosis, in
# STRUCTURES by their C names) and the exports' signatures (SIGNATURES), all
# generated from the header: the build writes _exprcalc_header.py with
# generate_header_module.py and installs it beside this module.


def _header_module():
    # Installed (pip, cmake --install, Debian): inside this package. Tested in the
    # source tree: the build's copy in build/bindings/python, on PYTHONPATH.
    try:
        from . import _exprcalc_header
        return _exprcalc_header
    except ImportError:
        pass
    try:
        import _exprcalc_header  # type: ignore[import,no-redef]
        return _exprcalc_header
    except ImportError:
        pass
    # Run from the source tree: generated from the header there, in memory.
    here = os.path.dirname(os.path.abspath(__file__))
    bindings = os.path.dirname(here)
    header = os.path.join(bindings, os.pardir, os.pardir, "include", "exprcalc.h")
    generator_path = os.path.join(bindings, "generate_header_module.py")
    if not (os.path.isfile(header) and os.path.isfile(generator_path)):
        raise ImportError("exprcalc needs _exprcalc_header.py, which the build writes into build/bindings/python "
                          "and every install puts inside the exprcalc package")
    import runpy
    module_text = runpy.run_path(generator_path)["module_text"]
    with open(header, encoding="utf-8") as file:
        text = module_text(file.read())
    module = types.ModuleType("_exprcalc_header")
    exec(compile(text, header, "exec"), module.__dict__)
    sys.modules[module.__name__] = module
    return module


_HEADER = _header_module()
globals().update((name, getattr(_HEADER, name)) for name in _HEADER.__all__)

LOCK = threading.RLock()
"""Held around every call into the library; the table is one per process."""

Value = Union[float, str]
Text = Union[str, bytes, bytearray]


# The controls that have a short escape of their own; every other character that str.isprintable() refuses
# (controls, format characters such as U+200B and U+FEFF, white space other than the blank) is shown by code.
_SHORT_ESCAPES = {"\t": "\\t", "\n": "\\n", "\r": "\\r", "\v": "\\v", "\f": "\\f"}
# surrogateescape decodes a byte that is not part of a character (0x80 to 0xFF) to U+DC80 to U+DCFF.
_ESCAPED_BYTES = range(0xDC80, 0xDD00)


def printable(text: str) -> str:
    """text as an echo shows it: printable characters as they are; controls, characters that cannot be
    seen (U+00A0, U+200B, U+FEFF) and bytes that were not part of a character escaped (\\t, \\x1B,
    \\u00A0, \\xFF), so that printing it cannot change a terminal's state nor hide what is there."""
    if text.isprintable():
        return text
    return "".join(_shown_character(character) for character in text)


def _shown_character(character: str) -> str:
    if character.isprintable():
        return character
    code = ord(character)
    if character in _SHORT_ESCAPES:
        return _SHORT_ESCAPES[character]
    if code in _ESCAPED_BYTES:
        return f"\\x{code - 0xDC00:02X}"
    if code < 0x80:
        return f"\\x{code:02X}"
    return f"\\u{code:04X}" if code <= 0xFFFF else f"\\U{code:08X}"


def caret_lines(text: str, position: int, encoding: str = "utf-8") -> str:
    """The line of text that holds byte offset position (counted in text encoded), and under it a
    caret at that byte, both indented by two blanks and shown as shown() shows them (the caret under
    the escape of an escaped character). An offset at the line's end marks its end."""
    data = text.encode(encoding, errors="surrogateescape")
    column = len(_decode(data[:position], encoding))
    start = max(text.rfind("\n", 0, column), text.rfind("\r", 0, column)) + 1
    ends = [end for end in (text.find("\n", column), text.find("\r", column)) if end >= 0]
    padding = " " * len(printable(text[start:column]))
    return f"  {printable(text[start:min(ends, default=len(text))])}\n  {padding}^"


def _character_hint(text: str, position: int, encoding: str) -> str:
    """A line that names the character at byte offset position when it is not printable ASCII (a
    no-break space, a zero-width space, a minus sign that is not "-"); else nothing."""
    data = text.encode(encoding, errors="surrogateescape")
    character = _decode(data[position:position + 4], encoding)[:1]
    if not character or " " <= character <= "~" or character in "\t\n\r":
        return ""
    code = ord(character)
    if code in _ESCAPED_BYTES:
        return f"\n  hint: the byte here ({_shown_character(character)}) is not part of a character"
    name = unicodedata.name(character, "(a control character)" if code < 0xA0 else "(an unnamed character)")
    return f"\n  hint: the character here is U+{code:04X} {name}"


def _caret_block(text: str, position: int, encoding: str) -> str:
    """caret_lines, and the hint that names the character at the caret where there is one."""
    return caret_lines(text, position, encoding) + _character_hint(text, position, encoding)


class ExprcalcError(Exception):
    """An evaluation the library refused.

    code: its result code. position: the byte where evaluation failed (Diagnosis.at), None when
    unknown. reason: the library's message (the cause where reading stopped, when that broke the
    expression). expression: the text (bytes decoded). diagnosis: the whole Diagnosis, or None.
    str() gives the reason, the code and the text, with a caret line under the position."""

    code = -1
    description = "evaluation failed"

    def __init__(self, code: Optional[int] = None, expression: Optional[str] = None, *,
                 position: Optional[int] = None, reason: Optional[str] = None,
                 diagnosis: Optional["Diagnosis"] = None, encoding: str = "utf-8"):
        if code is not None:
            self.code = code
        self.expression = expression
        self.position = position
        self.reason = self.description if reason is None else reason
        self.diagnosis = diagnosis
        message = self._summary()
        if expression is not None:
            message += f": {expression!r}"
            if position is not None:
                message += "\n" + _caret_block(expression, position, encoding)
        super().__init__(message)

    def _summary(self) -> str:
        return f"{self.reason} (code {self.code})"


class DivisionByZeroError(ExprcalcError, ZeroDivisionError):
    """Code 1: a division by less than 5e-14 in magnitude, or a % by less than 1."""
    code = DIVISION_BY_ZERO
    description = "division by zero"


class DomainError(ExprcalcError, ValueError):
    """Code 2: an argument outside the function's domain (LOG of about 0, ASIN beyond 1, 0 to a negative power)."""
    code = DOMAIN_ERROR
    description = "argument outside the function's domain"


class NegativeLogarithmError(ExprcalcError, ValueError):
    """Code 3: the logarithm of a negative number."""
    code = NEGATIVE_LOGARITHM
    description = "logarithm of a negative number"


class OutOfMemoryError(ExprcalcError, MemoryError):
    """Code 257: the library could not have the memory it needed (never for a text of up to 256 bytes)."""
    code = OUT_OF_MEMORY
    description = "out of memory"


class MalformedExpressionError(ExprcalcError, ValueError):
    """Code 32768: a malformed expression, such as 2(3) or 2**3; position is where the library finds the mistake."""
    code = MALFORMED
    description = "malformed expression"


class FunctionError(ExprcalcError):
    """A function of the host's own (Table.define_function) failed: for a Python function, the exception
    it raised is the cause (__cause__) and its type and message are the reason."""

    code = FUNCTION_FAILED
    description = "a function of the host's own failed"


class IncompleteExpressionError(ExprcalcError, ValueError):
    """evaluate(text, strict=True) for a text whose value (code 0) is not what it says: the library's
    judgement finds it not whole (Judgement.whole). position and reason: the finding that says why
    (Finding.position; where reading stopped when it stopped early, since what else is left out
    follows from that); diagnosis.value: what ParseString gives for the text; finding: that Finding."""

    code = OK
    description = "not read to its end"

    def __init__(self, *arguments, finding: Optional["Finding"] = None, **details):
        self.finding = finding
        super().__init__(*arguments, **details)

    def _summary(self) -> str:
        stopped = self.finding is None or self.finding.kind == FINDING_STOPPED
        return f"{self.description if stopped else 'not whole'}: {self.reason}"


class StatementError(ValueError):
    """An assignment statement that was not carried out (no '=', no '@', a right part that is not
    whole, a failed evaluation, no room).

    statement: the text (bytes decoded). reason: the library's message for diagnosis.reason.
    code and position: for a failed evaluation of the right part, its result code and the byte
    where it failed; for a statement that is not whole (REASON_NOT_WHOLE), code None and the place
    of the finding that says why; both counted from the statement's start (None otherwise).
    diagnosis: the whole StatementDiagnosis; judgement: the StatementJudgement, when there is one."""

    judgement: Optional["StatementJudgement"] = None

    def __init__(self, message: str, statement: Optional[str] = None, reason: Optional[str] = None,
                 diagnosis: Optional["StatementDiagnosis"] = None, code: Optional[int] = None,
                 position: Optional[int] = None):
        super().__init__(message)
        self.statement, self.reason, self.diagnosis = statement, reason, diagnosis
        self.code, self.position = code, position


class JudgementWarning(UserWarning):
    """A finding of the library's judgement about a text that was evaluated or carried out all the same.

    kind: FINDING_*; position: its byte offset (from the statement's start for a statement), or None;
    reason: the library's message for it; text: the expression or statement (bytes decoded)."""

    def __init__(self, message: str, kind: int = 0, position: Optional[int] = None, reason: str = "",
                 text: Optional[str] = None):
        super().__init__(message)
        self.kind, self.position, self.reason, self.text = kind, position, reason, text


class ExpressionWarning(JudgementWarning):
    """A text that is whole, but may not mean what its writer meant (a note of the library, kinds 100 to
    199: a text variable read as 0, digits that commas do not group by three, SIN(1)^2, "." alone)."""


class StatementWarning(JudgementWarning):
    """A statement was carried out, but likely not as meant."""


class UnreadableNameWarning(StatementWarning):
    """A variable was stored under a name that no expression can read (such as @MY_RATE); position:
    where expressions stop reading it."""


class IncompleteStatementWarning(StatementWarning):
    """execute(statement, strict=False) carried out a statement that is not whole (such as @A = 1.5e3,
    which stores 1.5); position and reason: the finding that says why."""


class TableFullError(MemoryError):
    """The variable table could not make room for a new variable; nothing was stored."""


_ERRORS_BY_CODE = {cls.code: cls for cls in (
    DivisionByZeroError, DomainError, NegativeLogarithmError, OutOfMemoryError, MalformedExpressionError,
    FunctionError)}


def error_for_code(code: int, expression: Optional[str] = None, **details) -> ExprcalcError:
    """The exception for a non-zero result code (ExprcalcError itself for an unknown code); details are
    ExprcalcError's keyword arguments (position, reason, diagnosis, encoding)."""
    cls = _ERRORS_BY_CODE.get(code)
    return cls(expression=expression, **details) if cls else ExprcalcError(code, expression, **details)


def _offset(value: int) -> Optional[int]:
    return None if value == NOWHERE else value


class Diagnosis(NamedTuple):
    """Where and why reading and evaluation of a text stopped (exprcalc_explain). Offsets count bytes
    of the text as the library got it (encoded), from its start; for a statement's right part, from
    the statement's start. See exprcalc_diagnosis in the header for each member."""

    code: int             # what ParseString returns
    value: float          # what ParseString delivers
    read: int             # where reading stopped
    stop: int             # why: STOP_*
    at: int               # code not 0: where evaluation failed
    dropped: int          # where the token that stop dropped began
    unclosed: bool        # a "(" was never closed and what follows it is not in the value
    text_variable: Optional[int]  # the first variable read that holds a text (it reads as 0), or None
    length: int           # the text's length in bytes
    unclosed_at: Optional[int] = None  # with unclosed: the "(" left open (the first such); else None

    @classmethod
    def from_c(cls, c: CDiagnosis) -> "Diagnosis":
        """The diagnosis that exprcalc_explain wrote into c."""
        return cls(c.code, c.value, c.read, c.stop, c.at, c.dropped, bool(c.unclosed),
                   _offset(c.text_variable), c.length, _offset(c.unclosed_at))

    @property
    def complete(self) -> bool:
        """The whole text was read and no "(" left what follows it out of the value. Library.judge(text)
        says more: Judgement.whole is also false where a function or sign is left unapplied (SQRT(16)."""
        return self.stop == STOP_END and not self.unclosed


class StatementDiagnosis(NamedTuple):
    """What a statement did and why (exprcalc_explain_statement); offsets count bytes from its start."""

    result: int           # what Substitution returns: STATEMENT_DONE, STATEMENT_FAILED or STATEMENT_NO_VARIABLE
    reason: int           # REASON_*
    name_at: int          # the name stored or removed ("@" included)
    name_length: int      # its length in bytes; 0 when the statement has none
    unreadable_name: bool  # stored under a name that no expression can read
    right_at: Optional[int]  # where the right part begins; None without "="
    expression: Optional[Diagnosis]  # the right part's evaluation; None when it was not evaluated

    @classmethod
    def from_c(cls, c: CStatementDiagnosis) -> "StatementDiagnosis":
        """The diagnosis that exprcalc_explain_statement wrote into c."""
        # An evaluated right part is never empty (an empty one removes the variable).
        expression = Diagnosis.from_c(c.expression) if c.expression.length else None
        return cls(c.result, c.reason, c.name_at, c.name_length, bool(c.unreadable_name),
                   _offset(c.right_at), expression)


# The ranges of the finding kinds (FINDING_*): below 100 a text is not whole, from 100 to 199 it is
# whole with a note, from 200 on they say why a malformed text is malformed.
_FIRST_NOTE_KIND, _FIRST_MALFORMATION_KIND = 100, 200


class Finding(NamedTuple):
    """One finding of a judgement (exprcalc_finding): kind (FINDING_*), at and other (None when nowhere)."""

    kind: int
    at: Optional[int]
    other: Optional[int]

    @classmethod
    def from_c(cls, c: "CFinding") -> "Finding":
        """The finding of a judgement's array, c."""
        return cls(c.kind, _offset(c.at), _offset(c.other))

    @property
    def position(self) -> Optional[int]:
        """Where to show it: the "(" never closed for a function or sign left unapplied, else at."""
        return self.other if self.kind == FINDING_NOT_APPLIED else self.at


def _findings(c) -> tuple[Finding, ...]:
    return tuple(Finding.from_c(c.findings[index]) for index in range(max(0, min(c.count, MOST_FINDINGS))))


def _first_change(findings: tuple[Finding, ...]) -> Optional[Finding]:
    """The finding that says why a text is not whole: where reading stopped, when it stopped early (what
    else is left out follows from that), else the first finding below the notes."""
    changes = [finding for finding in findings if finding.kind < _FIRST_NOTE_KIND]
    stopped = [finding for finding in changes if finding.kind == FINDING_STOPPED]
    return (stopped or changes or [None])[0]


class Judgement(NamedTuple):
    """The library's judgement of an expression (exprcalc_judge): its Diagnosis, whether it is whole (read
    to its end with its meaning intact: a value to trust when diagnosis.code is 0) and its findings."""

    diagnosis: Diagnosis
    whole: bool
    findings: tuple[Finding, ...]

    @classmethod
    def from_c(cls, c: "CJudgement") -> "Judgement":
        """The judgement that exprcalc_judge wrote into c."""
        return cls(Diagnosis.from_c(c.diagnosis), bool(c.whole), _findings(c))


class StatementJudgement(NamedTuple):
    """The library's judgement of a statement (exprcalc_judge_statement, exprcalc_substitute_whole): what
    it did or would do (a StatementDiagnosis), whether it is whole, the text it stores (text_at, None
    for none, and text_length) and its findings, offsets from the statement's start."""

    statement: StatementDiagnosis
    whole: bool
    text_at: Optional[int]
    text_length: int
    findings: tuple[Finding, ...]

    @classmethod
    def from_c(cls, c: "CStatementJudgement") -> "StatementJudgement":
        """The judgement that exprcalc_judge_statement or exprcalc_substitute_whole wrote into c."""
        return cls(StatementDiagnosis.from_c(c.statement), bool(c.whole), _offset(c.text_at), c.text_length,
                   _findings(c))


class VariableRecord(NamedTuple):
    """One variable as GetVar copies it out: its index, type, name, value and the raw 256 bytes."""

    index: int
    type: str  # "d" for a number, "s" for a text
    name: str
    value: Value
    raw: bytes

    @classmethod
    def from_bytes(cls, index: int, raw: bytes, encoding: str = "utf-8") -> "VariableRecord":
        """The record of 256 bytes that GetVar copied for the variable at index, decoded.

        >>> VariableRecord.from_bytes(0, b"d\\0@X" + bytes(253)).name
        '@X'
        """
        if len(raw) != RECORD_SIZE:
            raise ValueError(f"a record has {RECORD_SIZE} bytes, not {len(raw)}")
        type_byte = raw[RECORD_TYPE_OFFSET]
        name = _decode(_until_nul(raw[RECORD_NAME_OFFSET:RECORD_NAME_OFFSET + RECORD_NAME_SIZE]), encoding)
        value: Value
        if type_byte == TYPE_NUMBER:
            (value,) = struct.unpack_from("<d", raw, RECORD_NUMBER_OFFSET)
        else:
            value = _decode(_until_nul(raw[RECORD_TEXT_OFFSET:RECORD_TEXT_OFFSET + RECORD_TEXT_SIZE]), encoding)
        return cls(index, chr(type_byte), name, value, bytes(raw))


def _until_nul(data: bytes) -> bytes:
    end = data.find(b"\0")
    return data if end < 0 else data[:end]


def _decode(data: bytes, encoding: str) -> str:
    # surrogateescape keeps any byte sequence, such as a text cut inside a character.
    return data.decode(encoding, errors="surrogateescape")


def _library_names() -> list[str]:
    if sys.platform == "win32":
        return ["exprcalc.dll"]
    if sys.platform == "darwin":
        return ["libexprcalc.1.dylib", "libexprcalc.dylib"]
    return ["libexprcalc.so.1", "libexprcalc.so"]


def _module_dir() -> str:
    return os.path.dirname(os.path.abspath(__file__))


def _default_prefixes() -> list[str]:
    if sys.platform == "win32":
        return []
    return [os.path.expanduser("~/.local"), sys.prefix, "/usr/local", "/usr"]


def _files_in(directory: str) -> Iterator[str]:
    for name in _library_names():
        path = os.path.join(directory, name)
        if os.path.isfile(path):
            yield path


def _source_tree_build_dir(here: str) -> str:
    """build/ of the source tree that holds this package in bindings/python/exprcalc (where
    `cmake --preset default` builds), or "" when the package is not in a source tree."""
    tree = os.path.dirname(os.path.dirname(os.path.dirname(here)))
    if not os.path.isfile(os.path.join(tree, "include", "exprcalc.h")):
        return ""
    return os.path.join(tree, "build")


def _library_candidates(prefixes: Optional[list[str]]) -> Iterator[str]:
    if prefixes is None:
        here = _module_dir()
        if _INSTALLED_LIBRARY_DIR:
            yield from _files_in(os.path.normpath(os.path.join(here, _INSTALLED_LIBRARY_DIR)))
        yield from _files_in(here)
        build_dir = "" if _INSTALLED_LIBRARY_DIR else _source_tree_build_dir(here)
        if build_dir:
            yield from _files_in(build_dir)
        found = ctypes.util.find_library("exprcalc")
        if found:
            yield found
        prefixes = _default_prefixes()
    multiarch = getattr(sys.implementation, "_multiarch", "") or ""
    for prefix in prefixes:
        for libdir in ("", "lib", "lib64", os.path.join("lib", multiarch), "bin"):
            yield from _files_in(os.path.join(prefix, libdir))


def find_library(path: Optional[str] = None, prefixes: Optional[list[str]] = None) -> str:
    """Where the library will be loaded from: path, else $EXPRCALC_LIBRARY, else an installed copy.

    An installed copy is looked for where `cmake --install` put it relative to
    this module, then beside this module, then (for the module in a source
    tree, imported with PYTHONPATH=bindings/python) in the tree's build/, then by the system's own search
    (ctypes.util.find_library), then under ~/.local, sys.prefix, /usr/local and
    /usr; or, when prefixes is given, under those prefixes only."""
    if path:
        return os.fspath(path)
    from_environment = os.environ.get(LIBRARY_ENVIRONMENT_VARIABLE)
    if from_environment:
        return from_environment
    for candidate in _library_candidates(prefixes):
        return candidate
    raise OSError(f"exprcalc library not found: pass its path or set {LIBRARY_ENVIRONMENT_VARIABLE}")


def _locked(function: Callable[..., int], lock=LOCK) -> Callable[..., int]:
    def call(*arguments):
        with lock:
            return function(*arguments)
    call.__name__ = call.__qualname__ = function.__name__
    return call


class Functions:
    """The bound exports of one loaded library, each call made under LOCK.

    Attributes are named as the exports (calc.functions.ParseString(...)); the
    arguments are those of the C functions, converted by ctypes. unlocked holds
    the same functions without the lock, for a caller that holds LOCK already
    (taking it again costs about a third of a short call)."""

    def __init__(self, dll: ctypes.CDLL, lock=LOCK):
        self.unlocked: dict[str, Callable[..., int]] = {}
        for name, (restype, argtypes) in SIGNATURES.items():
            function = getattr(dll, name)
            function.restype = restype
            function.argtypes = list(argtypes)
            self.unlocked[name] = function
            setattr(self, name, _locked(function, lock))


# The exports that work on the process table, and the table form of each.
_TABLE_FORMS = {
    "ParseString": "exprcalc_table_evaluate", "Substitution": "exprcalc_table_substitute",
    "EnterVarDouble": "exprcalc_table_enter_double", "EnterVarString": "exprcalc_table_enter_string",
    "GetIndexByKey": "exprcalc_table_index_of", "LookupVarDouble": "exprcalc_table_lookup_double",
    "LookupVarString": "exprcalc_table_lookup_string", "RemoveVariable": "exprcalc_table_remove",
    "RemoveVarIndex": "exprcalc_table_remove_index", "VarDouble": "exprcalc_table_double_at",
    "VarString": "exprcalc_table_string_at", "GetVar": "exprcalc_table_record", "GetVarCount": "exprcalc_table_count",
    "FreeVariable": "exprcalc_table_clear", "exprcalc_set_double": "exprcalc_table_set_double",
    "exprcalc_explain": "exprcalc_table_explain", "exprcalc_explain_statement": "exprcalc_table_explain_statement",
    "exprcalc_judge": "exprcalc_table_judge", "exprcalc_judge_statement": "exprcalc_table_judge_statement",
    "exprcalc_substitute_whole": "exprcalc_table_substitute_whole", "exprcalc_prepare": "exprcalc_table_prepare",
}


class TableFunctions(Functions):
    """The bound exports for one table of the host's own: each export that works on the process table
    is bound to its table form (functions.ParseString(...) calls exprcalc_table_evaluate(table, ...)),
    every call made under the table's lock."""

    def __init__(self, dll: ctypes.CDLL, lock, table) -> None:
        super().__init__(dll, lock)
        for name, form in _TABLE_FORMS.items():
            bound = self._bound(self.unlocked[form], table)
            self.unlocked[name] = bound
            setattr(self, name, _locked(bound, lock))

    @staticmethod
    def _bound(function: Callable[..., int], table) -> Callable[..., int]:
        def call(*arguments):
            return function(table, *arguments)
        call.__name__ = call.__qualname__ = function.__name__
        return call


def _integer(value: object, what: str) -> int:
    """value (an int or anything with __index__, but not a bool) as an int; TypeError otherwise."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be an integer, not bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{what} must be an integer, not {type(value).__name__}") from None


def _c_int_argument(value: object, what: str) -> int:
    """value as the library's int argument; TypeError for a non-integer, OverflowError beyond a C int."""
    number = _integer(value, what)
    if not -_INT_MAX - 1 <= number <= _INT_MAX:
        raise OverflowError(f"{what} must fit a C int, not {number}")
    return number


def _text_bytes(text: object, encoding: str, what: str) -> bytes:
    if isinstance(text, str):
        data = text.encode(encoding, errors="surrogateescape")
    elif isinstance(text, (bytes, bytearray)):
        data = bytes(text)
    else:
        raise TypeError(f"{what} must be str or bytes, not {type(text).__name__}")
    if b"\0" in data:
        raise ValueError(f"{what} cannot hold a NUL character")
    return data


class Library:
    """The loaded library: evaluation, statements and the variable table.

    path: the library file; when omitted, $EXPRCALC_LIBRARY, then an installed copy
    (see find_library).
    encoding: how names and texts are turned into the library's bytes and back.
    """

    def __init__(self, path: Optional[str] = None, encoding: str = "utf-8"):
        self.path = find_library(path)
        self.encoding = encoding
        # The exports use the C calling convention on every platform, 32-bit Windows included.
        self._dll = ctypes.CDLL(self.path)
        self.functions = self._bind(self._dll)
        self.variables = Variables(self)

    lock = LOCK
    """Held around every call into the library: LOCK, the process table's, for a Library."""

    def _bind(self, dll: ctypes.CDLL) -> Functions:
        return Functions(dll, self.lock)

    def encode(self, text: Text, what: str = "a text") -> bytes:
        """The library's bytes for text (str or bytes); TypeError for other types, ValueError for a NUL."""
        return _text_bytes(text, self.encoding, what)

    def decode(self, data: bytes) -> str:
        """data as a str in this library's encoding (a byte that is not part of a character as a surrogate escape)."""
        return _decode(data, self.encoding)

    def evaluate_code(self, expression: Text) -> tuple[int, float]:
        """The result code and value of expression, without raising on a non-zero code."""
        data = self.encode(expression, "an expression")
        value = ctypes.c_double()
        code = self.functions.ParseString(data, ctypes.byref(value))
        return code, value.value

    @property
    def version(self) -> int:
        """VERSION_NUMBER of the loaded library (major * 1000000 + minor * 1000 + patch)."""
        return self.functions.exprcalc_version()

    def message(self, code: int) -> str:
        """The library's message for a result code."""
        return self.decode(self.functions.exprcalc_message(_c_int_argument(code, "a result code")))

    def stop_message(self, stop: int) -> str:
        """The library's message for a reason why reading stopped (STOP_*)."""
        return self.decode(self.functions.exprcalc_stop_message(_c_int_argument(stop, "a stop")))

    def reason_message(self, reason: int) -> str:
        """The library's message for a reason why a statement was or was not carried out (REASON_*)."""
        return self.decode(self.functions.exprcalc_reason_message(_c_int_argument(reason, "a reason")))

    def explain(self, expression: Text) -> Diagnosis:
        """Evaluates expression as ParseString does and says where and why reading and evaluation stopped."""
        diagnosis = CDiagnosis()
        self.functions.exprcalc_explain(self.encode(expression, "an expression"), ctypes.byref(diagnosis))
        return Diagnosis.from_c(diagnosis)

    def explain_statement(self, statement: Text) -> StatementDiagnosis:
        """Carries out statement as Substitution does (execute(statement, strict=False)), and says what it
        did and why, without raising or warning."""
        diagnosis = CStatementDiagnosis()
        self.functions.exprcalc_explain_statement(self.encode(statement, "a statement"), ctypes.byref(diagnosis))
        return StatementDiagnosis.from_c(diagnosis)

    def finding_message(self, kind: int) -> str:
        """The library's message for a kind of finding (FINDING_*)."""
        return self.decode(self.functions.exprcalc_finding_message(kind))

    def judge(self, expression: Text) -> Judgement:
        """Evaluates expression as ParseString does and judges it: whole or not, and what the library finds."""
        judgement = CJudgement()
        self.functions.exprcalc_judge(self.encode(expression, "an expression"), ctypes.byref(judgement))
        return Judgement.from_c(judgement)

    def judge_statement(self, statement: Text) -> StatementJudgement:
        """Judges statement without carrying it out (the table is only read). A reason of REASON_NOT_A_STATEMENT
        or REASON_NO_NAME says that the text is not a statement."""
        judgement = CStatementJudgement()
        self.functions.exprcalc_judge_statement(self.encode(statement, "a statement"), ctypes.byref(judgement))
        return StatementJudgement.from_c(judgement)

    def substitute_whole(self, statement: Text) -> StatementJudgement:
        """Carries out statement as Substitution does, but only when it is whole (else reason REASON_NOT_WHOLE
        and the table unchanged); says what it did and why, without raising or warning."""
        judgement = CStatementJudgement()
        self.functions.exprcalc_substitute_whole(self.encode(statement, "a statement"), ctypes.byref(judgement))
        return StatementJudgement.from_c(judgement)

    def evaluate(self, expression: Text, *, strict: bool = False) -> float:
        """The value of expression, bit for bit what ParseString gives.

        A non-zero result code raises its ExprcalcError subclass, with position,
        reason and a caret line. Like ParseString, evaluate reads up to what the
        language cannot read and evaluates what came before ("10 mod 3" is 10,
        "2*(3+4" is 2, "SQRT(16" is 16); with strict=True a text that the library
        does not judge whole raises IncompleteExpressionError, and each note of its
        judgement on a whole text (SIN(1)^2, a text variable read as 0) is given
        as an ExpressionWarning."""
        judgement = self.judge(expression)
        if judgement.diagnosis.code != OK:
            raise self._evaluation_error(self._shown(expression), judgement)
        if strict:
            if not judgement.whole:
                raise self._incomplete_error(self._shown(expression), judgement)
            self._warn_notes(self._shown(expression), judgement.findings, ExpressionWarning)
        return judgement.diagnosis.value

    def prepare(self, expression: Text) -> "Prepared":
        """expression read once, to be evaluated many times: see Prepared. OutOfMemoryError when the
        library could not hold it."""
        return Prepared(self, expression)

    def execute(self, statement: Text, *, strict: bool = True) -> None:
        """Runs "@NAME = expression", '@NAME = "text' or "@NAME =" (removal), only when the library
        judges it whole (exprcalc_substitute_whole): "@A = SQRT(16", "@A = 1.5e3" and '@A = "hel"lo'
        are not carried out. strict=False carries out whatever Substitution does and warns with
        IncompleteStatementWarning where the statement is not whole.

        Raises KeyError with the variable's name (as written, trimmed) when the
        variable to remove does not exist, StatementError (saying why, with a
        caret line) when the statement was not carried out. Warns with
        UnreadableNameWarning when the name stored is one that expressions cannot
        read, and with ExpressionWarning for the notes on its right part.
        The library keeps the first 222 bytes of a text given this way, which may
        end inside a character (see Variables)."""
        with self.lock:
            if strict:
                judged = self.substitute_whole(statement)
            else:  # judged before it runs, so that the judgement sees the table the statement saw
                judged = self.judge_statement(statement)
                judged = judged._replace(statement=self.explain_statement(statement))
        told, shown = judged.statement, self._shown(statement)
        name = self._part(shown, told.name_at, told.name_length)
        if told.result == STATEMENT_NO_VARIABLE:
            raise KeyError(name)
        if told.result != STATEMENT_DONE:
            raise self._statement_error(shown, judged)
        for finding in judged.findings:
            if finding.kind == FINDING_UNREADABLE_NAME:
                self._warn(UnreadableNameWarning, shown, finding, (
                    f"{printable(name)} was stored, but expressions cannot read it: after the \"@\" they read "
                    f"letters and digits only"))
        self._warn_notes(shown, judged.findings, ExpressionWarning)
        change = _first_change(judged.findings)
        if change is not None:
            why = self._change_reason(judged, change)
            self._warn(IncompleteStatementWarning, shown, change,
                       f"{printable(name)} was stored, but the statement is not whole: {why}")

    # How the judgements become exceptions and warnings; the words are the library's.
    def _shown(self, text: Text) -> str:
        return text if isinstance(text, str) else self.decode(bytes(text))

    def _part(self, text: str, start: int, length: int) -> str:
        return self.decode(self.encode(text)[start:start + length])

    def _warn(self, category: type, text: str, finding: Finding, message: str, stacklevel: int = 3) -> None:
        # stacklevel 3: the caller of the public method that called this one.
        if finding.position is not None:
            message += f": {text!r}\n" + _caret_block(text, finding.position, self.encoding)
        warnings.warn(category(message, finding.kind, finding.position, self.finding_message(finding.kind), text),
                      stacklevel=stacklevel)

    def _warn_notes(self, text: str, findings: tuple[Finding, ...], category: type) -> None:
        for finding in findings:
            if _FIRST_NOTE_KIND <= finding.kind < _FIRST_MALFORMATION_KIND and finding.kind != FINDING_UNREADABLE_NAME:
                self._warn(category, text, finding, self.finding_message(finding.kind), stacklevel=4)

    def _change_reason(self, judged: Union[Judgement, StatementJudgement], finding: Finding) -> str:
        diagnosis = judged.diagnosis if isinstance(judged, Judgement) else judged.statement.expression
        if finding.kind == FINDING_STOPPED and diagnosis is not None:
            return self.stop_message(diagnosis.stop)
        return self.finding_message(finding.kind)

    def _evaluation_error(self, text: str, judgement: Judgement) -> ExprcalcError:
        diagnosis = judgement.diagnosis
        malformation = next((finding for finding in judgement.findings
                             if finding.kind >= _FIRST_MALFORMATION_KIND and finding.at is not None), None)
        position = diagnosis.at
        if diagnosis.stop != STOP_END and diagnosis.at >= diagnosis.dropped:
            # A failure where reading stopped (3*@NOPE, 2*1.2.3) is caused by what made reading stop.
            reason = self.stop_message(diagnosis.stop)
        elif diagnosis.code == MALFORMED and malformation is not None:
            # Why the text is malformed, where the mistake is: the "(" of 2(3), the second "*" of 2**3.
            position, reason = malformation.at, self.finding_message(malformation.kind)
        else:
            reason = self.message(diagnosis.code)
        return self._function_error(error_for_code(diagnosis.code, text, position=position, reason=reason,
                                                   diagnosis=diagnosis, encoding=self.encoding))

    def _function_error(self, error: ExprcalcError) -> ExprcalcError:
        """error, with the exception that a function of the host's own raised as its cause (Table)."""
        return error

    def _incomplete_error(self, text: str, judgement: Judgement) -> IncompleteExpressionError:
        diagnosis = judgement.diagnosis
        finding = _first_change(judgement.findings)
        position, reason = diagnosis.read, "not read to its end"
        if finding is not None:
            position, reason = finding.position, self._change_reason(judgement, finding)
        return IncompleteExpressionError(expression=text, position=position, reason=reason, diagnosis=diagnosis,
                                         encoding=self.encoding, finding=finding)

    def _statement_error(self, statement: str, judged: StatementJudgement) -> StatementError:
        told = judged.statement
        reason = self.reason_message(told.reason)
        message = f"statement not carried out: {reason}"
        code = position = None
        change = _first_change(judged.findings)
        if told.reason == REASON_NOT_WHOLE and change is not None:
            position = change.position
            message += f": {self._change_reason(judged, change)}"
        elif told.expression is not None and told.expression.code != OK:
            cause = self._evaluation_error(statement, Judgement(told.expression, judged.whole, judged.findings))
            code, position = cause.code, cause.position
            message += f": {cause.reason} (code {code})"
        message += f": {statement!r}"
        caret = told.name_at if told.reason == REASON_NO_NAME else position
        if caret is not None:
            message += "\n" + _caret_block(statement, caret, self.encoding)
        error = StatementError(message, statement, reason, told, code, position)
        error.judgement = judged
        return error


class Prepared:
    """An expression read once and evaluated many times (exprcalc_prepare): Library.prepare(text).

    Calling it, or evaluate(), gives bit for bit what Library.evaluate(text) gives at that moment,
    whatever happened to the table since, and raises the same exceptions, with position, reason and
    caret line. While the table keeps its shape (new values only, as Variables.set_at stores them)
    an evaluation is one library call that allocates nothing; the diagnosis behind an exception is
    asked for only when one is raised. evaluate_code() gives the code and value without raising.

    There is no strict mode: whether a text is read whole depends on the variables stored when it is
    evaluated, and a prepared evaluation does not say; Library.evaluate(text, strict=True) checks it.

    close(), or leaving a with block, releases the library's handle; evaluating afterwards raises
    ValueError. An object never closed releases its handle when it is collected. A copy prepares
    the text anew. text: the expression (bytes decoded)."""

    def __init__(self, library: Library, expression: Text):
        self._handle = None  # first, so that __del__ finds it whatever fails below
        self._data = library.encode(expression, "an expression")
        self._library, self._functions, self._lock = library, library.functions, library.lock
        self._evaluate = library.functions.unlocked["exprcalc_evaluate"]
        self.text = library._shown(expression)
        # One output buffer per object, written and read under LOCK.
        self._value = ctypes.c_double()
        self._value_pointer = ctypes.byref(self._value)
        handle = ctypes.POINTER(CExpr)()
        code = self._functions.exprcalc_prepare(self._data, ctypes.byref(handle))
        if code != OK:
            raise error_for_code(code, self.text, reason=library.message(code), encoding=library.encoding)
        self._handle = handle

    @property
    def closed(self) -> bool:
        """True once the handle was released (close(), or the end of a with block)."""
        return self._handle is None

    def _run(self) -> int:
        # With LOCK held, so that close() in another thread cannot release the handle meanwhile.
        if self._handle is None:
            raise ValueError(f"the prepared expression {self.text!r} is closed")
        return self._evaluate(self._handle, self._value_pointer)

    def evaluate(self) -> float:
        """The value of the text now, as Library.evaluate(text) gives it; ExprcalcError by code."""
        with self._lock:
            code = self._run()
            if code == OK:
                return self._value.value
            # Under the same lock, so that the judgement sees the table this evaluation saw.
            judgement = self._library.judge(self._data)
        raise self._library._evaluation_error(self.text, judgement)

    __call__ = evaluate

    def evaluate_code(self) -> tuple[int, float]:
        """The result code and value of the text now, as Library.evaluate_code gives them."""
        with self._lock:
            return self._run(), self._value.value

    def evaluate_columns(self, columns: Mapping[Union[Text, int], object]) -> tuple:
        """The text evaluated once per row of columns: (values, codes), row by row what
        evaluate_code() gives with each column's value stored in its variable, bit for bit; the
        table itself is not written.

        columns maps variable names (or indexes, as Variables.set_at takes them) of number
        variables to sequences of numbers of one length. With a NumPy array among them, values and
        codes are NumPy arrays (float64, C int) and each column that already is a contiguous
        float64 array is read where it lies; otherwise they are lists. KeyError for a name not
        stored, TypeError for one that is not a number variable or a value that is not a number,
        ValueError for columns of different lengths and for two keys that name one variable (as
        the library finds names: "@X" and "@x" are one)."""
        numpy = sys.modules.get("numpy")  # used only when the caller uses it
        as_arrays = numpy is not None and any(isinstance(c, numpy.ndarray) for c in columns.values())
        if as_arrays:
            data = [numpy.ascontiguousarray(c, dtype=numpy.float64) for c in columns.values()]
            pointers = [d.ctypes.data_as(_DOUBLE_P) for d in data]
        else:
            data = [_double_buffer(c) for c in columns.values()]
            pointers = [ctypes.cast(d, _DOUBLE_P) for d in data]
        rows = {len(d) for d in data}
        if len(rows) > 1:
            raise ValueError(f"columns of different lengths: {sorted(rows)}")
        rows = rows.pop() if rows else 0
        if as_arrays:
            # Every row is written (or the call fails and they are not returned).
            values, codes = numpy.empty(rows, numpy.float64), numpy.empty(rows, numpy.intc)
            results = (values.ctypes.data_as(_DOUBLE_P), codes.ctypes.data_as(ctypes.POINTER(ctypes.c_int)))
        else:
            values, codes = (ctypes.c_double * rows)(), (ctypes.c_int * rows)()
            results = (values, codes)
        variables = self._library.variables
        with self._lock:
            if self._handle is None:
                raise ValueError(f"the prepared expression {self.text!r} is closed")
            indexes = [_column_index(variables, k) for k in columns]
            # The library says which keys name one variable (@X and @x, an index and its name):
            # two columns for it would leave one of them unread.
            seen: dict = {}
            for key, index in zip(columns, indexes):
                if index in seen:
                    raise ValueError(f"columns {_brief(seen[index])} and {_brief(key)} name the same variable")
                seen[index] = key
            first = self._functions.unlocked["exprcalc_evaluate_columns"](
                self._handle, rows, len(indexes), (ctypes.c_int * len(indexes))(*indexes),
                (_DOUBLE_P * len(pointers))(*pointers), *results)
        if first == -1:
            raise TypeError(f"not every column names a number variable: {_brief(list(columns))}")
        return (values, codes) if as_arrays else (list(values), list(codes))

    def code_form(self) -> tuple[int, int]:
        """(form, why) as exprcalc_code_form gives them: FORM_TEXT, FORM_STEPS or FORM_MACHINE_CODE,
        and CODE_RUNS or the reason it does not run machine code (CODE_MDWE, CODE_BUDGET, ...)."""
        why = ctypes.c_int()
        with self._lock:
            if self._handle is None:
                raise ValueError(f"the prepared expression {self.text!r} is closed")
            form = self._functions.exprcalc_code_form(self._handle, ctypes.byref(why))
        return form, why.value

    def close(self) -> None:
        """Releases the library's handle; closing again does nothing."""
        with self._lock:
            handle, self._handle = self._handle, None
            if handle is not None:
                self._functions.exprcalc_release(handle)

    def __enter__(self) -> "Prepared":
        """The prepared expression itself; leaving the block releases it."""
        return self

    def __exit__(self, *exception) -> None:
        """Releases the handle (close())."""
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # at interpreter exit the module may already be torn down
            pass

    # Copying the attributes would share the handle and release it twice.
    def __copy__(self) -> "Prepared":
        return Prepared(self._library, self.text)

    def __deepcopy__(self, memo: dict) -> "Prepared":
        return self.__copy__()

    # The handle is an address in this process: no pickle can carry it to another.
    def __reduce_ex__(self, protocol: object) -> tuple:
        raise TypeError(f"a prepared expression cannot be pickled: pickle its text ({self.text!r}) and prepare it again")

    def __repr__(self) -> str:
        return f"<exprcalc.Prepared {self.text!r}{' (closed)' if self.closed else ''}>"


_DOUBLE_P = ctypes.POINTER(ctypes.c_double)


# The most characters of a caller's value that an error message echoes.
_MOST_ECHOED = 60


def _brief(value: object) -> str:
    """repr(value), cut with "..." beyond _MOST_ECHOED characters."""
    text = repr(value)
    return text if len(text) <= _MOST_ECHOED else text[:_MOST_ECHOED - 3] + "..."


def _column_index(variables: "Variables", key: object) -> int:
    """The table index of a column's key (a name or an index); call with LOCK held. The KeyError
    for a name not stored holds the name, or its brief repr when that is long."""
    if not isinstance(key, (str, bytes)):
        return variables._index(_integer(key, "a column's index"))
    try:
        return variables.index(key)
    except KeyError:
        raise KeyError(key if len(repr(key)) <= _MOST_ECHOED else _brief(key)) from None


def _double_buffer(column: object) -> ctypes.Array:
    """column as a ctypes array of doubles: where it lies when it is a writable contiguous buffer of
    doubles, a copy otherwise (TypeError for a value that is not a number, and for a text or bytes,
    whose items are characters or bytes rather than numbers)."""
    if isinstance(column, (str, bytes, bytearray)):
        raise TypeError(f"a column is a sequence of numbers, not {type(column).__name__}")
    try:
        view = memoryview(column)  # type: ignore[arg-type]
        if view.format == "d" and view.ndim == 1 and view.c_contiguous and not view.readonly:
            return (ctypes.c_double * len(view)).from_buffer(view)
    except TypeError:
        pass
    return (ctypes.c_double * len(column))(*(_number(v, "a column value must be a number") for v in column))


def _number(value: object, refusal: str) -> float:
    """value (any real number but bool) as a float; TypeError with refusal otherwise."""
    if type(value) is float:  # the common case, without the slower check below
        return value  # type: ignore[return-value]
    if isinstance(value, numbers.Real) and not isinstance(value, bool):
        return float(value)
    raise TypeError(f"{refusal}, not {type(value).__name__}")


# The largest index the library's int parameters take.
_INT_MAX = 2 ** (8 * ctypes.sizeof(ctypes.c_int) - 1) - 1


def _whole_characters(text: str, encoding: str, limit: int) -> bytes:
    """The longest run of whole characters from the start of text that encodes to at most limit bytes."""
    data = text.encode(encoding, errors="surrogateescape")
    if len(data) <= limit:
        return data
    low, high = 0, min(len(text), limit)
    while low < high:
        middle = (low + high + 1) // 2
        if len(text[:middle].encode(encoding, errors="surrogateescape")) <= limit:
            low = middle
        else:
            high = middle - 1
    return text[:low].encode(encoding, errors="surrogateescape")


class Variables(MutableMapping):
    """The process-wide variable table as a mapping of names to numbers or texts.

    Names are str or bytes. The library trims them of white space (blank, tab,
    LF, VT, FF, CR), upper-cases only the ASCII letters a-z (so "@é" and "@É"
    are two names) and keeps their first 31 bytes; iteration yields the names
    so normalised, in index order.

    Texts hold at most 222 bytes. A str is cut to its longest start of whole
    characters that fits; bytes are stored as given and cut at 222 bytes. A
    text that ends inside a character (stored as bytes, by a statement or by
    another host) reads back with surrogate escapes, so that encoding it with
    errors="surrogateescape" gives its bytes exactly.

    Indexes (record, value_at, set_at, remove_at) count from 0 in table order, or from
    the end when negative; IndexError outside the table, TypeError for a
    non-integer (set_at refuses a bool as well, as it refuses one as the value).
    """

    def __init__(self, library: Library):
        self._library = library
        self._functions = library.functions
        self._lock = library.lock

    def _key(self, name: object) -> bytes:
        return self._library.encode(name, "a variable name")  # type: ignore[arg-type]

    def _index(self, index: object) -> int:
        """index as a position in the table; call with LOCK held."""
        position = operator.index(index)  # TypeError for None, floats, strings
        count = self._functions.GetVarCount()
        if position < 0:
            position += count
        if not 0 <= position < count:
            raise IndexError(f"variable index {index} out of range (the table holds {count})")
        return position

    def index(self, name: Text) -> int:
        """The index of name; raises KeyError when there is none."""
        key = self._key(name)
        type_code = ctypes.c_int()
        index = self._functions.GetIndexByKey(key, ctypes.byref(type_code))
        if index < 0:
            raise KeyError(name)
        return index

    def __getitem__(self, name: Text) -> Value:
        """The value of the variable name: a float, or a str for a text; KeyError when there is none."""
        key = self._key(name)
        type_code = ctypes.c_int()
        with self._lock:
            if self._functions.GetIndexByKey(key, ctypes.byref(type_code)) < 0:
                raise KeyError(name)
            if type_code.value == TYPE_NUMBER:
                number = ctypes.c_double()
                self._functions.LookupVarDouble(key, ctypes.byref(number))
                return number.value
            buffer = ctypes.create_string_buffer(TEXT_BUFFER_SIZE)
            self._functions.LookupVarString(key, buffer)
        return self._library.decode(buffer.value)

    def __setitem__(self, name: Text, value: Union[float, int, str, bytes]) -> None:
        """Stores a number (any real number but bool) or a text (str or bytes, at most 222 bytes kept)."""
        key = self._key(name)
        if isinstance(value, (str, bytes, bytearray)):
            text = self._library.encode(value, "a text")
            if isinstance(value, str) and len(text) > RECORD_TEXT_SIZE:
                text = _whole_characters(value, self._library.encoding, RECORD_TEXT_SIZE)
            result = self._functions.EnterVarString(key, text)
        else:
            result = self._functions.EnterVarDouble(key, _number(value, "a variable holds a number or a text"))
        if result < 0:
            if key.strip().upper() in getattr(self._library, "_defined", {}):
                raise ValueError(f"{name!r} is the name of a function defined in the table")
            raise TableFullError(f"no room for variable {name!r}")

    def __delitem__(self, name: Text) -> None:
        """Removes the variable name (RemoveVariable); KeyError when there is none."""
        if self._functions.RemoveVariable(self._key(name)) != 0:
            raise KeyError(name)

    def __contains__(self, name: object) -> bool:
        """Whether a variable name is stored (names are trimmed and upper-cased as the library does)."""
        if not isinstance(name, (str, bytes, bytearray)):
            return False
        try:
            self.index(name)
        except (KeyError, ValueError):
            return False
        return True

    def __len__(self) -> int:
        """The number of variables (GetVarCount)."""
        return self._functions.GetVarCount()

    def __iter__(self) -> Iterator[str]:
        """The stored names in index order, as they were when the loop began."""
        # A snapshot, so that the loop body may change the table.
        return iter([record.name for record in self.records()])

    def clear(self) -> None:
        """Removes every variable and releases the table's memory."""
        self._functions.FreeVariable()

    # The mapping methods that read and then change the table do both under LOCK.
    def pop(self, name, *default):
        """Removes the variable name and returns its value, or default when there is none; atomic under the lock."""
        with self._lock:
            return super().pop(name, *default)

    def popitem(self) -> tuple[str, Value]:
        """Removes a variable and returns its name and value; KeyError for an empty table; atomic under the lock."""
        with self._lock:
            return super().popitem()

    def setdefault(self, name, default=None):
        """The value of name, after storing default under it when there was none; atomic under the lock."""
        with self._lock:
            return super().setdefault(name, default)

    def record(self, index: int) -> VariableRecord:
        """The record at index (negative counts from the end); IndexError outside the table."""
        raw = ctypes.create_string_buffer(RECORD_SIZE)
        with self._lock:
            position = self._index(index)
            if self._functions.GetVar(position, raw) != 0:
                raise IndexError(f"variable index {index} out of range")
        return VariableRecord.from_bytes(position, raw.raw, self._library.encoding)

    def records(self) -> list[VariableRecord]:
        """Every record, in index order (one consistent snapshot)."""
        with self._lock:
            return [self.record(index) for index in range(len(self))]

    def value_at(self, index: int) -> Value:
        """The number or text at index (negative counts from the end), read through VarDouble or VarString."""
        with self._lock:
            position = self._index(index)
            number = ctypes.c_double()
            if self._functions.VarDouble(position, ctypes.byref(number)) == position:
                return number.value
            buffer = ctypes.create_string_buffer(TEXT_BUFFER_SIZE)
            if self._functions.VarString(position, buffer) != position:
                raise IndexError(f"variable index {index} out of range")
        return self._library.decode(buffer.value)

    def set_at(self, index: int, value: float) -> None:
        """Stores a number (any real number but bool) into the number variable at index (negative counts
        from the end) through exprcalc_set_double: one library call that keeps the table's shape, so
        prepared expressions stay on their fast path. IndexError outside the table, TypeError for a
        variable that holds a text."""
        number = _number(value, "set_at stores a number")
        position = _integer(index, "set_at's index")  # TypeError for None, bools, floats, strings
        with self._lock:
            if not 0 <= position <= _INT_MAX:  # from the end, or beyond any table: _index decides
                position = self._index(index)
            if self._functions.unlocked["exprcalc_set_double"](position, number) != position:
                self._index(position)  # IndexError outside the table
                raise TypeError(f"the variable at index {index} holds a text; set_at stores numbers only")

    def remove_at(self, index: int) -> None:
        """Removes the record at index (negative counts from the end); later records move down by one."""
        with self._lock:
            if self._functions.RemoveVarIndex(self._index(index)) != 0:
                raise IndexError(f"variable index {index} out of range")

    def __repr__(self) -> str:
        with self._lock:
            return f"Variables({dict(self.items())!r})"


# What a Python function defined in a table raised, per thread, until the
# evaluation that called it turns its code into an exception.
_raised = threading.local()
# The code a Python function's wrapper returns when it raised: the library
# ends the evaluation with FUNCTION_FAILED.
_PYTHON_RAISED = 1000


class Table(Library):
    """A variable table of its own (exprcalc_table_create), with functions of its own.

    The same API as Library (variables, evaluate, execute, explain, judge, prepare and Prepared's
    evaluate_columns), on this table only: two Tables hold different variables at once, and their
    calls take each Table's own lock (Table.lock), not LOCK, so two threads may use two Tables at the
    same time. A Library is the process table, which every Library shares.

        first, second = exprcalc.Table(), exprcalc.Table()
        first.variables["@X"], second.variables["@X"] = 1, 10
        first.define_function("TWICE", lambda x: 2 * x)
        first.evaluate("TWICE(@X)+1")   # 3.0
        second.evaluate("@X*2+1")       # 21.0

    The table is destroyed when the object is collected; its prepared expressions keep it alive."""

    def __init__(self, path: Optional[str] = None, encoding: str = "utf-8"):
        self._table = None  # first, so that __del__ finds it whatever fails below
        self.lock = threading.RLock()
        self._defined: dict[bytes, object] = {}  # the ctypes wrappers the library calls, kept alive
        super().__init__(path, encoding)

    def _bind(self, dll: ctypes.CDLL) -> Functions:
        plain = Functions(dll, self.lock)
        table = ctypes.POINTER(CTable)()
        code = plain.exprcalc_table_create(ctypes.byref(table))
        if code != OK:
            raise OutOfMemoryError(reason="no memory for a table")
        self._table, self._destroy = table, plain.unlocked["exprcalc_table_destroy"]
        return TableFunctions(dll, self.lock, table)

    def define_function(self, name: Text, function: Optional[Callable[[float], float]]) -> None:
        """Defines name (a letter, then letters and digits) in this table as a one-argument function that
        reads as a built-in one does (TWICE(@X), TWICE 3), in every evaluation of the table; function
        None removes it. function(x) returns a number; an exception it raises ends the evaluation with
        FunctionError, whose cause is that exception. Functions are taken to be pure (see exprcalc.h).

        ValueError for a name that is not one, or that a built-in or a stored variable has; KeyError
        when removing a function that is not defined; OutOfMemoryError when the table has no room."""
        data = self.encode(name, "a function name")
        wrapper = CFunction() if function is None else CFunction(self._wrapped(self._shown(name), function))  # null: removal
        with self.lock:
            code = self.functions.unlocked["exprcalc_table_define_function"](self._table, data, wrapper, None)
            if code == OK:
                self._defined[data.upper()] = wrapper
                if function is None:
                    del self._defined[data.upper()]
        if code == NOT_FOUND:
            raise KeyError(self._shown(name))
        if code == FUNCTION_NOT_A_NAME:
            raise ValueError(f"{self._shown(name)!r} is not a function name: a letter, then letters and digits")
        if code == FUNCTION_NAME_TAKEN:
            raise ValueError(f"{self._shown(name)!r} is a built-in's name or a stored variable's")
        if code != OK:
            raise OutOfMemoryError(reason="no room for another function")

    @staticmethod
    def _wrapped(name: str, function: Callable[[float], float]) -> Callable[..., int]:
        def call(user, argument, result):
            try:
                result[0] = float(function(argument))
                return OK
            except BaseException as error:  # never into the library: it becomes FunctionError
                _raised.error = (name, error)
                return _PYTHON_RAISED
        return call

    def _function_error(self, error: ExprcalcError) -> ExprcalcError:
        raised = getattr(_raised, "error", None)
        _raised.error = None
        if error.code != FUNCTION_FAILED or raised is None:
            return error
        name, cause = raised
        wrapped = FunctionError(expression=error.expression, position=error.position,
                                reason=f"the function {name} raised {type(cause).__name__}: {cause}",
                                diagnosis=error.diagnosis, encoding=self.encoding)
        wrapped.__cause__ = cause
        return wrapped

    def __del__(self) -> None:
        if getattr(self, "_table", None) is not None:
            try:
                self._destroy(self._table)
            except Exception:  # the library may be gone at interpreter exit
                pass
            self._table = None

    def __repr__(self) -> str:
        return f"<exprcalc.Table of {len(self.variables)} variables from {self.path!r}>"
