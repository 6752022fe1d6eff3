"""Python face of the exprcalc shared library, through ctypes (standard library only).

    import exprcalc
    calc = exprcalc.Library()            # or Library("/path/to/libexprcalc.so")
    calc.variables["@RATE"] = 4
    calc.evaluate("2*SIN(RAD(30))+@RATE")   # 5.0
    calc.execute('@NOTE = "hello')
    calc.variables["@note"]                 # 'hello'

The library keeps one variable table per process: every Library object loaded
from the same file shares it. Every call into the library is made under one
process-wide lock, LOCK (a re-entrant lock), so Library and Variables objects
may be used from several threads; hold `with exprcalc.LOCK:` to make a
sequence of operations atomic.

The constants, the record layout and the signatures below mirror
include/exprcalc.h and src/module/exports.list; test_header_sync.py fails when
they drift apart.
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
from collections.abc import Iterator, MutableMapping
from typing import Callable, NamedTuple, Optional, Union

__all__ = [
    "Library", "Variables", "VariableRecord", "ExprcalcError", "DivisionByZeroError",
    "DomainError", "NegativeLogarithmError", "OutOfMemoryError", "MalformedExpressionError",
    "StatementError", "TableFullError", "find_library", "error_for_code", "LOCK",
]

LIBRARY_ENVIRONMENT_VARIABLE = "EXPRCALC_LIBRARY"

# Where `cmake --install` put the library, relative to the installed copy of
# this module (the install rule rewrites this line; None in the source tree).
_INSTALLED_LIBRARY_DIR: Optional[str] = None

# ---------------------------------------------------------------------------
# The header's constants: EXPRCALC_<NAME> in include/exprcalc.h is <NAME> here.

# Result codes of ParseString.
OK = 0
DIVISION_BY_ZERO = 1
DOMAIN_ERROR = 2
NEGATIVE_LOGARITHM = 3
OUT_OF_MEMORY = 257
MALFORMED = 32768
# Results of Substitution.
STATEMENT_DONE = 0
STATEMENT_FAILED = 1
STATEMENT_NO_VARIABLE = -1
# A missing name, a bad index, a wrong type or a full table.
NOT_FOUND = -1
# Types of a variable (GetIndexByKey, byte 0 of a record).
TYPE_NONE = 0
TYPE_NUMBER = 100  # 'd'
TYPE_TEXT = 115  # 's'
# Layout of the 256-byte record that GetVar copies out.
RECORD_SIZE = 256
RECORD_TYPE_OFFSET = 0
RECORD_RESERVED_OFFSET = 1
RECORD_NAME_OFFSET = 2
RECORD_NAME_SIZE = 32
RECORD_TEXT_OFFSET = 34
RECORD_TEXT_SIZE = 222
RECORD_NUMBER_OFFSET = 40
RECORD_NUMBER_SIZE = 8
# A text buffer that holds every text the library writes.
TEXT_BUFFER_SIZE = 223

HEADER_CONSTANTS = (
    "OK", "DIVISION_BY_ZERO", "DOMAIN_ERROR", "NEGATIVE_LOGARITHM", "OUT_OF_MEMORY", "MALFORMED",
    "STATEMENT_DONE", "STATEMENT_FAILED", "STATEMENT_NO_VARIABLE", "NOT_FOUND",
    "TYPE_NONE", "TYPE_NUMBER", "TYPE_TEXT",
    "RECORD_SIZE", "RECORD_TYPE_OFFSET", "RECORD_RESERVED_OFFSET", "RECORD_NAME_OFFSET",
    "RECORD_NAME_SIZE", "RECORD_TEXT_OFFSET", "RECORD_TEXT_SIZE", "RECORD_NUMBER_OFFSET",
    "RECORD_NUMBER_SIZE", "TEXT_BUFFER_SIZE",
)
"""The names above, each EXPRCALC_<name> in the header."""

# ---------------------------------------------------------------------------
# The exports: name -> (return type, argument types), as the header declares them.

_c_int, _c_double, _c_char_p, _c_void_p = ctypes.c_int, ctypes.c_double, ctypes.c_char_p, ctypes.c_void_p
_p_int, _p_double = ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_double)

SIGNATURES: dict[str, tuple[type, tuple[type, ...]]] = {
    "EnterVarDouble": (_c_int, (_c_char_p, _c_double)),
    "EnterVarString": (_c_int, (_c_char_p, _c_char_p)),
    "FreeVariable": (_c_int, ()),
    "GetIndexByKey": (_c_int, (_c_char_p, _p_int)),
    "GetVar": (_c_int, (_c_int, _c_void_p)),
    "GetVarCount": (_c_int, ()),
    "LookupVarDouble": (_c_int, (_c_char_p, _p_double)),
    "LookupVarString": (_c_int, (_c_char_p, _c_char_p)),
    "ParseString": (_c_int, (_c_char_p, _p_double)),
    "RemoveVarIndex": (_c_int, (_c_int,)),
    "RemoveVariable": (_c_int, (_c_char_p,)),
    "Substitution": (_c_int, (_c_char_p,)),
    "VarDouble": (_c_int, (_c_int, _p_double)),
    "VarString": (_c_int, (_c_int, _c_char_p)),
}
"""Every export this module binds."""

NOT_YET_BOUND: frozenset[str] = frozenset()
"""Names of the export list that this module knowingly leaves unbound (for now)."""

LOCK = threading.RLock()
"""Held around every call into the library; the table is one per process."""

Value = Union[float, str]
Text = Union[str, bytes, bytearray]
_WHITE_SPACE = " \t\n\v\f\r"


class ExprcalcError(Exception):
    """An evaluation the library refused; `code` is its result code."""

    code = -1
    description = "evaluation failed"

    def __init__(self, code: Optional[int] = None, expression: Optional[str] = None):
        if code is not None:
            self.code = code
        self.expression = expression
        message = f"{self.description} (code {self.code})"
        if expression is not None:
            message += f": {expression!r}"
        super().__init__(message)


class DivisionByZeroError(ExprcalcError, ZeroDivisionError):
    code = DIVISION_BY_ZERO
    description = "division by zero"


class DomainError(ExprcalcError, ValueError):
    code = DOMAIN_ERROR
    description = "argument outside the function's domain"


class NegativeLogarithmError(ExprcalcError, ValueError):
    code = NEGATIVE_LOGARITHM
    description = "logarithm of a negative number"


class OutOfMemoryError(ExprcalcError, MemoryError):
    code = OUT_OF_MEMORY
    description = "out of memory"


class MalformedExpressionError(ExprcalcError, ValueError):
    code = MALFORMED
    description = "malformed expression"


class StatementError(ValueError):
    """An assignment statement that was not carried out (no '=', no '@', a failed evaluation, no room)."""


class TableFullError(MemoryError):
    """The variable table could not make room for a new variable; nothing was stored."""


_ERRORS_BY_CODE = {cls.code: cls for cls in (
    DivisionByZeroError, DomainError, NegativeLogarithmError, OutOfMemoryError, MalformedExpressionError)}


def error_for_code(code: int, expression: Optional[str] = None) -> ExprcalcError:
    """The exception for a non-zero result code (ExprcalcError itself for an unknown code)."""
    cls = _ERRORS_BY_CODE.get(code)
    return cls(expression=expression) if cls else ExprcalcError(code, expression)


class VariableRecord(NamedTuple):
    """One variable as GetVar copies it out: its index, type, name, value and the raw 256 bytes."""

    index: int
    type: str  # "d" for a number, "s" for a text
    name: str
    value: Value
    raw: bytes

    @classmethod
    def from_bytes(cls, index: int, raw: bytes, encoding: str = "utf-8") -> "VariableRecord":
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


def _library_candidates(prefixes: Optional[list[str]]) -> Iterator[str]:
    if prefixes is None:
        here = _module_dir()
        if _INSTALLED_LIBRARY_DIR:
            yield from _files_in(os.path.normpath(os.path.join(here, _INSTALLED_LIBRARY_DIR)))
        yield from _files_in(here)
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
    this module, then beside this module, then by the system's own search
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


def _locked(function: Callable[..., int]) -> Callable[..., int]:
    def call(*arguments):
        with LOCK:
            return function(*arguments)
    call.__name__ = call.__qualname__ = function.__name__
    return call


class Functions:
    """The bound exports of one loaded library, each call made under LOCK.

    Attributes are named as the exports (calc.functions.ParseString(...)); the
    arguments are those of the C functions, converted by ctypes."""

    def __init__(self, dll: ctypes.CDLL):
        for name, (restype, argtypes) in SIGNATURES.items():
            function = getattr(dll, name)
            function.restype = restype
            function.argtypes = list(argtypes)
            setattr(self, name, _locked(function))


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
        self.functions = Functions(self._dll)
        self.variables = Variables(self)

    def encode(self, text: Text, what: str = "a text") -> bytes:
        """The library's bytes for text (str or bytes); TypeError for other types, ValueError for a NUL."""
        return _text_bytes(text, self.encoding, what)

    def decode(self, data: bytes) -> str:
        return _decode(data, self.encoding)

    def evaluate_code(self, expression: Text) -> tuple[int, float]:
        """The result code and value of expression, without raising on a non-zero code."""
        data = self.encode(expression, "an expression")
        value = ctypes.c_double()
        code = self.functions.ParseString(data, ctypes.byref(value))
        return code, value.value

    def evaluate(self, expression: Text) -> float:
        """The value of expression; raises an ExprcalcError subclass for a non-zero result code."""
        code, value = self.evaluate_code(expression)
        if code != OK:
            raise error_for_code(code, expression if isinstance(expression, str) else None)
        return value

    def execute(self, statement: Text) -> None:
        """Runs "@NAME = expression", '@NAME = "text' or "@NAME =" (removal).

        Raises KeyError with the variable's name (as written, trimmed) when the
        variable to remove does not exist, StatementError when the statement
        was not carried out. The library keeps the first 222 bytes of a text
        given this way, which may end inside a character (see Variables)."""
        data = self.encode(statement, "a statement")
        result = self.functions.Substitution(data)
        if result == STATEMENT_NO_VARIABLE:
            name = data.partition(b"=")[0].strip(_WHITE_SPACE.encode("ascii"))
            raise KeyError(self.decode(name))
        if result != STATEMENT_DONE:
            raise StatementError(f"statement not carried out: {statement!r}")


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

    Indexes (record, value_at, remove_at) count from 0 in table order, or from
    the end when negative; IndexError outside the table, TypeError for a
    non-integer.
    """

    def __init__(self, library: Library):
        self._library = library
        self._functions = library.functions

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
        key = self._key(name)
        type_code = ctypes.c_int()
        with LOCK:
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
        elif isinstance(value, numbers.Real) and not isinstance(value, bool):
            result = self._functions.EnterVarDouble(key, float(value))
        else:
            raise TypeError(f"a variable holds a number or a text, not {type(value).__name__}")
        if result < 0:
            raise TableFullError(f"no room for variable {name!r}")

    def __delitem__(self, name: Text) -> None:
        if self._functions.RemoveVariable(self._key(name)) != 0:
            raise KeyError(name)

    def __contains__(self, name: object) -> bool:
        if not isinstance(name, (str, bytes, bytearray)):
            return False
        try:
            self.index(name)
        except (KeyError, ValueError):
            return False
        return True

    def __len__(self) -> int:
        return self._functions.GetVarCount()

    def __iter__(self) -> Iterator[str]:
        # A snapshot, so that the loop body may change the table.
        return iter([record.name for record in self.records()])

    def clear(self) -> None:
        """Removes every variable and releases the table's memory."""
        self._functions.FreeVariable()

    # The mapping methods that read and then change the table do both under LOCK.
    def pop(self, name, *default):
        with LOCK:
            return super().pop(name, *default)

    def popitem(self) -> tuple[str, Value]:
        with LOCK:
            return super().popitem()

    def setdefault(self, name, default=None):
        with LOCK:
            return super().setdefault(name, default)

    def record(self, index: int) -> VariableRecord:
        """The record at index (negative counts from the end); IndexError outside the table."""
        raw = ctypes.create_string_buffer(RECORD_SIZE)
        with LOCK:
            position = self._index(index)
            if self._functions.GetVar(position, raw) != 0:
                raise IndexError(f"variable index {index} out of range")
        return VariableRecord.from_bytes(position, raw.raw, self._library.encoding)

    def records(self) -> list[VariableRecord]:
        """Every record, in index order (one consistent snapshot)."""
        with LOCK:
            return [self.record(index) for index in range(len(self))]

    def value_at(self, index: int) -> Value:
        """The number or text at index (negative counts from the end), read through VarDouble or VarString."""
        with LOCK:
            position = self._index(index)
            number = ctypes.c_double()
            if self._functions.VarDouble(position, ctypes.byref(number)) == position:
                return number.value
            buffer = ctypes.create_string_buffer(TEXT_BUFFER_SIZE)
            if self._functions.VarString(position, buffer) != position:
                raise IndexError(f"variable index {index} out of range")
        return self._library.decode(buffer.value)

    def remove_at(self, index: int) -> None:
        """Removes the record at index (negative counts from the end); later records move down by one."""
        with LOCK:
            if self._functions.RemoveVarIndex(self._index(index)) != 0:
                raise IndexError(f"variable index {index} out of range")

    def __repr__(self) -> str:
        with LOCK:
            return f"Variables({dict(self.items())!r})"
