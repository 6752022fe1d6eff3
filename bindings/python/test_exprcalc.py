"""Tests of the Python binding against the real shared library.

The library is found through EXPRCALC_LIBRARY (ctest points it at the built
library). All Library objects share the one process-wide table, so every test
starts by clearing it.
"""

import math
import os
import shutil
import struct
import tempfile
import unittest
from unittest import mock

import exprcalc


class LibraryTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.calc = exprcalc.Library()
        cls.variables = cls.calc.variables

    def setUp(self):
        self.variables.clear()

    def tearDown(self):
        self.variables.clear()


class EvaluateTest(LibraryTestCase):
    def test_values(self):
        self.variables["@RATE"] = 4
        rows = [
            ("1+2*3", 7.0),
            ("", 0.0),
            ("2*SIN(RAD(30))+@RATE", 5.0),
            ("ATAN(2)", 1.1071487177940904),
            ("1,234.5", 1234.5),
            ("10:30", 10.5),
            (b"2^10", 1024.0),
        ]
        for expression, expected in rows:
            with self.subTest(expression=expression):
                value = self.calc.evaluate(expression)
                self.assertIsInstance(value, float)
                self.assertEqual(value, expected)

    def test_failures_raise_by_code(self):
        rows = [
            ("1/0", exprcalc.DivisionByZeroError, ZeroDivisionError, 1),
            ("LOG(0)", exprcalc.DomainError, ValueError, 2),
            ("ASIN(2)", exprcalc.DomainError, ValueError, 2),
            ("LOG(-5)", exprcalc.NegativeLogarithmError, ValueError, 3),
            ("1+", exprcalc.MalformedExpressionError, ValueError, 32768),
            (")", exprcalc.MalformedExpressionError, ValueError, 32768),
        ]
        for expression, error, builtin, code in rows:
            with self.subTest(expression=expression):
                with self.assertRaises(error) as caught:
                    self.calc.evaluate(expression)
                self.assertIsInstance(caught.exception, builtin)
                self.assertIsInstance(caught.exception, exprcalc.ExprcalcError)
                self.assertEqual(caught.exception.code, code)
                self.assertIn(f"code {code}", str(caught.exception))
                self.assertIn(repr(expression), str(caught.exception))
                self.assertEqual(self.calc.evaluate_code(expression), (code, 0.0))

    def test_every_code_has_its_exception(self):
        rows = [
            (1, exprcalc.DivisionByZeroError),
            (2, exprcalc.DomainError),
            (3, exprcalc.NegativeLogarithmError),
            (257, exprcalc.OutOfMemoryError),
            (32768, exprcalc.MalformedExpressionError),
            (12345, exprcalc.ExprcalcError),
        ]
        for code, error in rows:
            with self.subTest(code=code):
                raised = exprcalc.error_for_code(code)
                self.assertIs(type(raised), error)
                self.assertEqual(raised.code, code)
        self.assertIsInstance(exprcalc.error_for_code(257), MemoryError)

    def test_nul_in_text_is_refused(self):
        with self.assertRaises(ValueError):
            self.calc.evaluate("1\x00+2")


class ExecuteTest(LibraryTestCase):
    def test_statements(self):
        self.calc.execute("@BASE = 2")
        self.calc.execute("@RATE = 0.5*@BASE")
        self.calc.execute('@NOTE = "some text\tnot stored')
        self.assertEqual(self.variables["@rate"], 1.0)
        self.assertEqual(self.variables["@NOTE"], "some text")
        self.calc.execute("@BASE =")
        self.assertNotIn("@BASE", self.variables)

    def test_refused_statements(self):
        rows = [
            ("@MISSING =", KeyError),
            ("BASE = 1", exprcalc.StatementError),
            ("@X = 1/0", exprcalc.StatementError),
            ("no assignment", exprcalc.StatementError),
        ]
        for statement, error in rows:
            with self.subTest(statement=statement):
                with self.assertRaises(error):
                    self.calc.execute(statement)
                self.assertEqual(len(self.variables), 0)


class VariablesTest(LibraryTestCase):
    def test_numbers_and_texts(self):
        rows = [
            ("@INT", 3, 3.0),
            ("@FLOAT", -0.25, -0.25),
            ("@TEXT", "Hello World", "Hello World"),
            ("@BYTES", b"raw", "raw"),
            ("@UTF8", "Grüße €", "Grüße €"),
            ("@EMPTY", "", ""),
            ("@INF", math.inf, math.inf),
        ]
        for name, stored, expected in rows:
            with self.subTest(name=name):
                self.variables[name] = stored
                self.assertEqual(self.variables[name], expected)
                self.assertIs(type(self.variables[name]), type(expected))

    def test_names_come_back_normalised(self):
        self.variables["  @Rate\t"] = 1
        self.variables["@RATE"] = "two"
        self.assertEqual(dict(self.variables), {"@RATE": "two"})

    def test_iteration_and_removal_keep_index_order(self):
        for name in ("@C", "@A", "@B"):
            self.variables[name] = name
        self.assertEqual(list(self.variables), ["@C", "@A", "@B"])
        del self.variables["@a"]
        self.assertEqual(list(self.variables), ["@C", "@B"])
        self.variables.remove_at(0)
        self.assertEqual(dict(self.variables), {"@B": "@B"})

    def test_missing_names_and_indexes(self):
        rows = [
            ("get", lambda: self.variables["@NONE"], KeyError),
            ("delete", lambda: self.variables.__delitem__("@NONE"), KeyError),
            ("index", lambda: self.variables.index("@NONE"), KeyError),
            ("record", lambda: self.variables.record(0), IndexError),
            ("value at", lambda: self.variables.value_at(0), IndexError),
            ("value at -1", lambda: self.variables.value_at(-1), IndexError),
            ("remove at", lambda: self.variables.remove_at(0), IndexError),
            ("wrong value type", lambda: self.variables.__setitem__("@X", [1]), TypeError),
            ("bool value", lambda: self.variables.__setitem__("@X", True), TypeError),
        ]
        for label, action, error in rows:
            with self.subTest(label):
                with self.assertRaises(error):
                    action()
        self.assertEqual(self.variables.get("@NONE", "default"), "default")
        self.assertNotIn("@NONE", self.variables)
        self.assertNotIn(42, self.variables)

    def test_value_at_reads_by_type(self):
        self.variables["@N"] = 2.5
        self.variables["@T"] = "text"
        self.assertEqual([self.variables.value_at(0), self.variables.value_at(1)], [2.5, "text"])

    def test_texts_keep_their_first_222_bytes(self):
        self.variables["@LONG"] = "x" * 300
        self.assertEqual(self.variables["@LONG"], "x" * 222)
        # A cut through a two-byte character still reads back, byte for byte.
        self.variables["@CUT"] = "a" + "é" * 111
        self.assertEqual(self.variables["@CUT"].encode("utf-8", "surrogateescape"),
                         ("a" + "é" * 111).encode("utf-8")[:222])

    def test_clear(self):
        self.variables.update({"@A": 1, "@B": "b"})
        self.variables.clear()
        self.assertEqual(len(self.variables), 0)
        self.variables["@C"] = 3
        self.assertEqual(self.variables.index("@C"), 0)


class RecordTest(LibraryTestCase):
    def test_records_decode_the_256_bytes(self):
        self.variables["@rate"] = 0.5
        self.variables["@note"] = "Hello"
        number, text = self.variables.records()
        self.assertEqual(number[:4], (0, "d", "@RATE", 0.5))
        self.assertEqual(text[:4], (1, "s", "@NOTE", "Hello"))
        self.assertEqual(len(number.raw), exprcalc.RECORD_SIZE)
        self.assertEqual(struct.unpack_from("<d", number.raw, 40)[0], 0.5)
        self.assertEqual(text.raw[34:40], b"Hello\0")
        self.assertEqual(self.variables.record(-1), text)

    def test_from_bytes(self):
        raw = bytearray(256)
        raw[0:1] = b"s"
        raw[2:7] = b"@NAME"
        raw[34:34 + 222] = b"t" * 222  # a full text has no NUL
        record = exprcalc.VariableRecord.from_bytes(7, bytes(raw))
        self.assertEqual((record.index, record.type, record.name), (7, "s", "@NAME"))
        self.assertEqual(record.value, "t" * 222)
        with self.assertRaises(ValueError):
            exprcalc.VariableRecord.from_bytes(0, b"short")


class LoadingTest(unittest.TestCase):
    def test_explicit_path_wins_over_the_environment(self):
        path = os.environ[exprcalc.LIBRARY_ENVIRONMENT_VARIABLE]
        self.assertEqual(exprcalc.find_library("/explicit/libexprcalc.so"), "/explicit/libexprcalc.so")
        self.assertEqual(exprcalc.find_library(), path)
        self.assertEqual(exprcalc.Library(path).path, path)

    def test_libraries_share_one_table(self):
        first = exprcalc.Library()
        second = exprcalc.Library(os.environ[exprcalc.LIBRARY_ENVIRONMENT_VARIABLE])
        first.variables.clear()
        first.variables["@SHARED"] = 1
        self.assertEqual(second.variables["@SHARED"], 1.0)
        second.variables.clear()

    def test_installed_copy_is_found_under_a_prefix(self):
        built = os.environ[exprcalc.LIBRARY_ENVIRONMENT_VARIABLE]
        with tempfile.TemporaryDirectory() as prefix, \
                mock.patch.dict(os.environ, {exprcalc.LIBRARY_ENVIRONMENT_VARIABLE: ""}):
            with self.assertRaises(OSError):
                exprcalc.find_library(prefixes=[prefix])
            os.mkdir(os.path.join(prefix, "lib"))
            installed = os.path.join(prefix, "lib", "libexprcalc.so.1")
            shutil.copyfile(built, installed)
            self.assertEqual(exprcalc.find_library(prefixes=[prefix]), installed)

    def test_missing_file_raises_oserror(self):
        with self.assertRaises(OSError):
            exprcalc.Library("/nonexistent/libexprcalc.so")


if __name__ == "__main__":
    unittest.main()
