"""Python face of the exprcalc shared library, through ctypes (standard library only).

    import exprcalc
    calc = exprcalc.Library()            # or Library("/path/to/libexprcalc.so")
    calc.variables["@RATE"] = 4
    calc.evaluate("2*SIN(RAD(30))+@RATE")   # 5.0
    calc.execute('@NOTE = "hello')
    calc.variables["@note"]                 # 'hello'

The library keeps one variable table per process: every Library object loaded
from the same file shares it. Calls are not locked; serialise them across threads.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import struct
import sys
from collections.abc import Iterator, MutableMapping
from typing import NamedTuple, Optional, Union

__all__ = [
    "Library", "Variables", "VariableRecord", "ExprcalcError", "DivisionByZeroError",
    "DomainError", "NegativeLogarithmError", "OutOfMemoryError", "MalformedExpressionError",
    "StatementError", "TableFullError", "find_library", "error_for_code",
]

LIBRARY_ENVIRONMENT_VARIABLE = "EXPRCALC_LIBRARY"

# Layout of the 256-byte record and the text buffers, as in exprcalc.h.
RECORD_SIZE = 256
RECORD_NAME_OFFSET = 2
RECORD_NAME_SIZE = 32
RECORD_TEXT_OFFSET = 34
RECORD_TEXT_SIZE = 222
RECORD_NUMBER_OFFSET = 40
TEXT_BUFFER_SIZE = 223
TYPE_NUMBER = 100  # 'd'
TYPE_TEXT = 115  # 's'

Value = Union[float, str]


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
    code = 1
    description = "division by zero"


class DomainError(ExprcalcError, ValueError):
    code = 2
    description = "argument outside the function's domain"


class NegativeLogarithmError(ExprcalcError, ValueError):
    code = 3
    description = "logarithm of a negative number"


class OutOfMemoryError(ExprcalcError, MemoryError):
    code = 257
    description = "out of memory"


class MalformedExpressionError(ExprcalcError, ValueError):
    code = 32768
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
        type_char = chr(raw[0])
        name = _decode(_until_nul(raw[RECORD_NAME_OFFSET:RECORD_NAME_OFFSET + RECORD_NAME_SIZE]), encoding)
        value: Value
        if raw[0] == TYPE_NUMBER:
            (value,) = struct.unpack_from("<d", raw, RECORD_NUMBER_OFFSET)
        else:
            value = _decode(_until_nul(raw[RECORD_TEXT_OFFSET:RECORD_TEXT_OFFSET + RECORD_TEXT_SIZE]), encoding)
        return cls(index, type_char, name, value, bytes(raw))


def _until_nul(data: bytes) -> bytes:
    end = data.find(b"\0")
    return data if end < 0 else data[:end]


def _decode(data: bytes, encoding: str) -> str:
    # surrogateescape keeps any byte sequence, such as a text cut inside a character.
    return data.decode(encoding, errors="surrogateescape")


def _default_prefixes() -> list[str]:
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform == "win32":
        return [here]
    return [here, os.path.expanduser("~/.local"), sys.prefix, "/usr/local", "/usr"]


def _library_candidates(prefixes: Optional[list[str]]) -> Iterator[str]:
    if prefixes is None:
        found = ctypes.util.find_library("exprcalc")
        if found:
            yield found
        prefixes = _default_prefixes()
    if sys.platform == "win32":
        names = ["exprcalc.dll"]
    elif sys.platform == "darwin":
        names = ["libexprcalc.dylib"]
    else:
        names = ["libexprcalc.so.1", "libexprcalc.so"]
    multiarch = getattr(sys.implementation, "_multiarch", "") or ""
    for prefix in prefixes:
        for libdir in ("", "lib", "lib64", os.path.join("lib", multiarch), "bin"):
            for name in names:
                path = os.path.join(prefix, libdir, name)
                if os.path.isfile(path):
                    yield path


def find_library(path: Optional[str] = None, prefixes: Optional[list[str]] = None) -> str:
    """Where the library will be loaded from: path, else $EXPRCALC_LIBRARY, else an installed copy.

    An installed copy is looked for by the system's own search (ctypes.util.find_library),
    then beside this module and under ~/.local, sys.prefix, /usr/local and /usr; or, when
    prefixes is given, under those prefixes only."""
    if path:
        return os.fspath(path)
    from_environment = os.environ.get(LIBRARY_ENVIRONMENT_VARIABLE)
    if from_environment:
        return from_environment
    for candidate in _library_candidates(prefixes):
        return candidate
    raise OSError(f"exprcalc library not found: pass its path or set {LIBRARY_ENVIRONMENT_VARIABLE}")


def _declare(dll: ctypes.CDLL) -> None:
    c_int, c_double, c_char_p = ctypes.c_int, ctypes.c_double, ctypes.c_char_p
    p_int, p_double = ctypes.POINTER(c_int), ctypes.POINTER(c_double)
    signatures = {
        "EnterVarDouble": [c_char_p, c_double],
        "EnterVarString": [c_char_p, c_char_p],
        "FreeVariable": [],
        "GetIndexByKey": [c_char_p, p_int],
        "GetVar": [c_int, ctypes.c_void_p],
        "GetVarCount": [],
        "LookupVarDouble": [c_char_p, p_double],
        "LookupVarString": [c_char_p, c_char_p],
        "ParseString": [c_char_p, p_double],
        "RemoveVarIndex": [c_int],
        "RemoveVariable": [c_char_p],
        "Substitution": [c_char_p],
        "VarDouble": [c_int, p_double],
        "VarString": [c_int, c_char_p],
    }
    for name, argtypes in signatures.items():
        function = getattr(dll, name)
        function.argtypes = argtypes
        function.restype = c_int


class Library:
    """The loaded library: evaluation, statements and the variable table.

    path: the library file; when omitted, $EXPRCALC_LIBRARY, then an installed copy.
    encoding: how names and texts are turned into the library's bytes and back.
    """

    def __init__(self, path: Optional[str] = None, encoding: str = "utf-8"):
        self.path = find_library(path)
        self.encoding = encoding
        # The exports use the C calling convention on every platform, 32-bit Windows included.
        self._dll = ctypes.CDLL(self.path)
        _declare(self._dll)
        self.variables = Variables(self)

    def encode(self, text: Union[str, bytes]) -> bytes:
        data = text if isinstance(text, bytes) else text.encode(self.encoding, errors="surrogateescape")
        if b"\0" in data:
            raise ValueError("names, texts and expressions cannot hold a NUL character")
        return data

    def decode(self, data: bytes) -> str:
        return _decode(data, self.encoding)

    def evaluate_code(self, expression: Union[str, bytes]) -> tuple[int, float]:
        """The result code and value of expression, without raising on a non-zero code."""
        value = ctypes.c_double()
        code = self._dll.ParseString(self.encode(expression), ctypes.byref(value))
        return code, value.value

    def evaluate(self, expression: Union[str, bytes]) -> float:
        """The value of expression; raises an ExprcalcError subclass for a non-zero result code."""
        code, value = self.evaluate_code(expression)
        if code != 0:
            raise error_for_code(code, expression if isinstance(expression, str) else None)
        return value

    def execute(self, statement: Union[str, bytes]) -> None:
        """Runs "@NAME = expression", '@NAME = "text' or "@NAME =" (removal).

        Raises KeyError when the variable to remove does not exist, StatementError
        when the statement was not carried out."""
        result = self._dll.Substitution(self.encode(statement))
        if result == -1:
            raise KeyError(statement)
        if result != 0:
            raise StatementError(f"statement not carried out: {statement!r}")


class Variables(MutableMapping):
    """The process-wide variable table as a mapping of names to numbers or texts.

    Names are normalised by the library (trimmed, upper-cased, 31 significant
    bytes); iteration yields the normalised names in index order.
    """

    def __init__(self, library: Library):
        self._library = library
        self._dll = library._dll

    def index(self, name: Union[str, bytes]) -> int:
        """The index of name; raises KeyError when there is none."""
        type_code = ctypes.c_int()
        index = self._dll.GetIndexByKey(self._library.encode(name), ctypes.byref(type_code))
        if index < 0:
            raise KeyError(name)
        return index

    def __getitem__(self, name: Union[str, bytes]) -> Value:
        type_code = ctypes.c_int()
        key = self._library.encode(name)
        if self._dll.GetIndexByKey(key, ctypes.byref(type_code)) < 0:
            raise KeyError(name)
        if type_code.value == TYPE_NUMBER:
            number = ctypes.c_double()
            self._dll.LookupVarDouble(key, ctypes.byref(number))
            return number.value
        buffer = ctypes.create_string_buffer(TEXT_BUFFER_SIZE)
        self._dll.LookupVarString(key, buffer)
        return self._library.decode(buffer.value)

    def __setitem__(self, name: Union[str, bytes], value: Union[float, int, str, bytes]) -> None:
        """Stores a number (int or float) or a text (str or bytes; only its first 222 bytes are kept)."""
        key = self._library.encode(name)
        if isinstance(value, (str, bytes)):
            result = self._dll.EnterVarString(key, self._library.encode(value))
        elif isinstance(value, (int, float)) and not isinstance(value, bool):
            result = self._dll.EnterVarDouble(key, float(value))
        else:
            raise TypeError(f"a variable holds a number or a text, not {type(value).__name__}")
        if result < 0:
            raise TableFullError(f"no room for variable {name!r}")

    def __delitem__(self, name: Union[str, bytes]) -> None:
        if self._dll.RemoveVariable(self._library.encode(name)) != 0:
            raise KeyError(name)

    def __contains__(self, name: object) -> bool:
        if not isinstance(name, (str, bytes)):
            return False
        try:
            self.index(name)
        except (KeyError, ValueError):
            return False
        return True

    def __len__(self) -> int:
        return self._dll.GetVarCount()

    def __iter__(self) -> Iterator[str]:
        # A snapshot, so that the loop body may change the table.
        return iter([record.name for record in self.records()])

    def clear(self) -> None:
        """Removes every variable and releases the table's memory."""
        self._dll.FreeVariable()

    def record(self, index: int) -> VariableRecord:
        """The record at index (negative counts from the end); raises IndexError outside the table."""
        if index < 0:
            index += len(self)
        raw = ctypes.create_string_buffer(RECORD_SIZE)
        if index < 0 or self._dll.GetVar(index, raw) != 0:
            raise IndexError("variable index out of range")
        return VariableRecord.from_bytes(index, raw.raw, self._library.encoding)

    def records(self) -> list[VariableRecord]:
        """Every record, in index order."""
        return [self.record(index) for index in range(len(self))]

    def value_at(self, index: int) -> Value:
        """The number or text at index, read through VarDouble or VarString."""
        if index >= 0:
            number = ctypes.c_double()
            if self._dll.VarDouble(index, ctypes.byref(number)) == index:
                return number.value
            buffer = ctypes.create_string_buffer(TEXT_BUFFER_SIZE)
            if self._dll.VarString(index, buffer) == index:
                return self._library.decode(buffer.value)
        raise IndexError("variable index out of range")

    def remove_at(self, index: int) -> None:
        """Removes the record at index; later records move down by one."""
        if self._dll.RemoveVarIndex(index) != 0:
            raise IndexError("variable index out of range")

    def __repr__(self) -> str:
        return f"Variables({dict(self.items())!r})"
