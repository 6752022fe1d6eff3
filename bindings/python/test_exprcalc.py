"""Tests of the Python binding against the real shared library.

The library is found through EXPRCALC_LIBRARY (ctest points it at the built
library). All Library objects share the one process-wide table, so every test
starts by clearing it.
"""

import ctypes
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import textwrap
import threading
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
        with self.assertRaises(exprcalc.StatementError):  # the text stored would end at the tab
            self.calc.execute('@NOTE = "some text\tnot stored')
        with self.assertWarns(exprcalc.IncompleteStatementWarning):
            self.calc.execute('@NOTE = "some text\tnot stored', strict=False)
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

    def test_texts_are_cut_to_whole_characters(self):
        rows = [
            # (stored, read back): a str keeps its longest start of whole characters within 222 bytes
            ("x" * 300, "x" * 222),
            ("a" + "é" * 111, "a" + "é" * 110),          # 223 bytes: the last 2-byte character goes
            ("€" * 75, "€" * 74),                        # 225 bytes: 74 three-byte characters are 222
            ("ab" + "😀" * 55, "ab" + "😀" * 55),        # exactly 222 bytes: kept whole
            ("abc" + "😀" * 55, "abc" + "😀" * 54),      # 223 bytes: the last 4-byte character goes
            ("é" * 111, "é" * 111),                      # exactly 222 bytes
        ]
        for stored, expected in rows:
            with self.subTest(stored=stored[:8], length=len(stored.encode("utf-8"))):
                self.variables["@CUT"] = stored
                self.assertEqual(self.variables["@CUT"], expected)
                self.assertLessEqual(len(self.variables["@CUT"].encode("utf-8")), 222)

    def test_bytes_and_statements_are_cut_in_bytes(self):
        # Bytes are stored as given and cut at 222 bytes, as the library does for a statement's text;
        # a cut inside a character reads back with a surrogate escape, byte for byte.
        data = ("a" + "é" * 111).encode("utf-8")
        self.variables["@BYTES"] = data
        with self.assertWarns(exprcalc.IncompleteStatementWarning):
            self.calc.execute('@STATEMENT = "a' + "é" * 111, strict=False)
        for name in ("@BYTES", "@STATEMENT"):
            with self.subTest(name):
                self.assertEqual(self.variables[name], "a" + "é" * 110 + "\udcc3")
                self.assertEqual(self.variables[name].encode("utf-8", "surrogateescape"), data[:222])

    def test_only_ascii_letters_are_upper_cased_in_names(self):
        self.variables["@abc"] = 1
        self.variables["@ABC"] = 2
        self.variables["@é"] = 3
        self.variables["@É"] = 4
        self.assertEqual(dict(self.variables), {"@ABC": 2.0, "@é": 3.0, "@É": 4.0})

    def test_clear(self):
        self.variables.update({"@A": 1, "@B": "b"})
        self.variables.clear()
        self.assertEqual(len(self.variables), 0)
        self.variables["@C"] = 3
        self.assertEqual(self.variables.index("@C"), 0)


class EdgeTest(LibraryTestCase):
    """Indexes beyond 32 bits, wrong argument types and the names in errors."""

    def setUp(self):
        super().setUp()
        for name in ("@A", "@B", "@C"):
            self.variables[name] = name

    def test_indexes_outside_the_table_raise_index_error(self):
        rows = []
        for index in (3, 4, -4, 2**31, 2**32, 2**32 + 1, 2**32 + 2, -2**32 + 1, 2**63, -2**64):
            rows += [
                (f"record({index})", lambda index=index: self.variables.record(index)),
                (f"value_at({index})", lambda index=index: self.variables.value_at(index)),
                (f"remove_at({index})", lambda index=index: self.variables.remove_at(index)),
            ]
        for label, action in rows:
            with self.subTest(label):
                with self.assertRaises(IndexError):
                    action()
                self.assertEqual(list(self.variables), ["@A", "@B", "@C"])

    def test_indexes_inside_the_table(self):
        rows = [
            (0, "@A"), (2, "@C"), (-1, "@C"), (-3, "@A"), (True, "@B"),
        ]
        for index, name in rows:
            with self.subTest(index=index):
                self.assertEqual(self.variables.record(index).name, name)
                self.assertEqual(self.variables.value_at(index), name)
        self.variables.remove_at(-1)
        self.variables.remove_at(0)
        self.assertEqual(list(self.variables), ["@B"])

    def test_wrong_types_raise_type_error(self):
        variables, calc = self.variables, self.calc
        rows = [
            ("evaluate(None)", lambda: calc.evaluate(None)),
            ("evaluate(1.5)", lambda: calc.evaluate(1.5)),
            ("evaluate_code(None)", lambda: calc.evaluate_code(None)),
            ("execute(None)", lambda: calc.execute(None)),
            ("execute(42)", lambda: calc.execute(42)),
            ("variables[None]", lambda: variables[None]),
            ("variables[1]", lambda: variables[1]),
            ("variables[None] = 1", lambda: variables.__setitem__(None, 1)),
            ("variables['@X'] = None", lambda: variables.__setitem__("@X", None)),
            ("variables['@X'] = [1]", lambda: variables.__setitem__("@X", [1])),
            ("del variables[None]", lambda: variables.__delitem__(None)),
            ("index(None)", lambda: variables.index(None)),
            ("record(None)", lambda: variables.record(None)),
            ("record(1.0)", lambda: variables.record(1.0)),
            ("record('1')", lambda: variables.record("1")),
            ("value_at(None)", lambda: variables.value_at(None)),
            ("value_at(0.5)", lambda: variables.value_at(0.5)),
            ("remove_at(None)", lambda: variables.remove_at(None)),
            ("remove_at(1.0)", lambda: variables.remove_at(1.0)),
            ("reason_message('x')", lambda: calc.reason_message("x")),
            ("message(None)", lambda: calc.message(None)),
        ]
        for label, action in rows:
            with self.subTest(label):
                with self.assertRaises(TypeError):
                    action()
                self.assertEqual(list(self.variables), ["@A", "@B", "@C"])
        self.assertNotIn(None, self.variables)

    def test_key_error_names_the_variable(self):
        rows = [
            ("@MISSING =", "@MISSING"),
            ("  @gone\t=  ", "@gone"),
            (b"@BYTES =", "@BYTES"),
            ("@Grüße =", "@Grüße"),
        ]
        for statement, name in rows:
            with self.subTest(statement=statement):
                with self.assertRaises(KeyError) as caught:
                    self.calc.execute(statement)
                self.assertEqual(caught.exception.args, (name,))


class ThreadTest(LibraryTestCase):
    """One process-wide lock around every call into the library."""

    def test_every_call_waits_for_the_lock(self):
        number, text, kind = ctypes.c_double(), ctypes.create_string_buffer(223), ctypes.c_int()
        record = ctypes.create_string_buffer(256)
        arguments = {
            "EnterVarDouble": (b"@X", 1.0), "EnterVarString": (b"@Y", b"y"), "FreeVariable": (),
            "GetIndexByKey": (b"@X", ctypes.byref(kind)), "GetVar": (0, record), "GetVarCount": (),
            "LookupVarDouble": (b"@X", ctypes.byref(number)), "LookupVarString": (b"@Y", text),
            "ParseString": (b"1+1", ctypes.byref(number)), "RemoveVarIndex": (5,),
            "RemoveVariable": (b"@NONE",), "Substitution": (b"@Z = 3",), "VarDouble": (0, ctypes.byref(number)),
            "VarString": (1, text), "exprcalc_version": (), "exprcalc_message": (1,),
            "exprcalc_stop_message": (1,), "exprcalc_reason_message": (1,),
            "exprcalc_explain": (b"1+1", ctypes.byref(exprcalc.CDiagnosis())),
            "exprcalc_explain_statement": (b"@W = 1", ctypes.byref(exprcalc.CStatementDiagnosis())),
            "exprcalc_prepare": (b"1+1", None), "exprcalc_evaluate": (None, ctypes.byref(number)),
            "exprcalc_release": (None,), "exprcalc_set_double": (99, 1.0),
            "exprcalc_judge": (b"1+1", ctypes.byref(exprcalc.CJudgement())), "exprcalc_finding_message": (1,),
            "exprcalc_judge_statement": (b"@W = 1", ctypes.byref(exprcalc.CStatementJudgement())),
            "exprcalc_substitute_whole": (b"@W = 1", ctypes.byref(exprcalc.CStatementJudgement())),
            "exprcalc_evaluate_columns": (None, 0, 0, None, None, None, None),
            "exprcalc_code_form": (None, None),
            # The table forms, on the process table (a null table is the process table).
            "exprcalc_table_create": (None,), "exprcalc_table_destroy": (None,), "exprcalc_process_table": (),
            "exprcalc_table_evaluate": (None, b"1+1", ctypes.byref(number)),
            "exprcalc_table_substitute": (None, b"@Z = 3"), "exprcalc_table_enter_double": (None, b"@X", 1.0),
            "exprcalc_table_enter_string": (None, b"@Y", b"y"),
            "exprcalc_table_index_of": (None, b"@X", ctypes.byref(kind)),
            "exprcalc_table_lookup_double": (None, b"@X", ctypes.byref(number)),
            "exprcalc_table_lookup_string": (None, b"@Y", text), "exprcalc_table_remove": (None, b"@NONE"),
            "exprcalc_table_remove_index": (None, 5), "exprcalc_table_double_at": (None, 0, ctypes.byref(number)),
            "exprcalc_table_string_at": (None, 1, text), "exprcalc_table_record": (None, 0, record),
            "exprcalc_table_count": (None,), "exprcalc_table_clear": (None,),
            "exprcalc_table_set_double": (None, 99, 1.0),
            "exprcalc_table_explain": (None, b"1+1", ctypes.byref(exprcalc.CDiagnosis())),
            "exprcalc_table_explain_statement": (None, b"@W = 1", ctypes.byref(exprcalc.CStatementDiagnosis())),
            "exprcalc_table_judge": (None, b"1+1", ctypes.byref(exprcalc.CJudgement())),
            "exprcalc_table_judge_statement": (None, b"@W = 1", ctypes.byref(exprcalc.CStatementJudgement())),
            "exprcalc_table_substitute_whole": (None, b"@W = 1", ctypes.byref(exprcalc.CStatementJudgement())),
            "exprcalc_table_prepare": (None, b"1+1", None),
            "exprcalc_table_define_function": (None, b"NONE", exprcalc.CFunction(), None),
        }
        self.assertEqual(set(arguments), set(exprcalc.SIGNATURES))
        for name, call_arguments in arguments.items():
            with self.subTest(name):
                function = getattr(self.calc.functions, name)
                thread = threading.Thread(target=function, args=call_arguments)
                with exprcalc.LOCK:
                    thread.start()
                    thread.join(0.05)
                    self.assertTrue(thread.is_alive(), f"{name} ran while another thread held the lock")
                thread.join(10)
                self.assertFalse(thread.is_alive())

    def test_threads_share_the_table_safely(self):
        # In a child process, so that a crash is reported as a failure of this test.
        program = textwrap.dedent("""
            import sys, threading
            import exprcalc
            calc = exprcalc.Library()
            variables = calc.variables
            failures = []

            def work(thread):
                try:
                    for step in range(3000):
                        name = f"@T{thread}_{step % 20}"
                        variables[name] = step
                        assert variables.get(name) in (step, None)       # None: another thread cleared it
                        assert calc.evaluate(f"{name}*2") in (2 * step, 0.0)  # 0: cleared
                        calc.execute(f'{name} = "text {step}')
                        assert variables.get(name) in (f"text {step}", None)
                        if step % 3 == 0:
                            variables.pop(name, None)
                        if step % 10 == 0:
                            records = variables.records()
                            assert [record.index for record in records] == list(range(len(records)))
                            assert len({record.name for record in records}) == len(records)
                        if step % 50 == 0:
                            variables.clear()
                except Exception as error:
                    failures.append(repr(error))

            threads = [threading.Thread(target=work, args=(thread,)) for thread in range(4)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            print(failures or "ok")
            sys.exit(1 if failures else 0)
            """)
        environment = dict(os.environ)
        package_parent = os.path.dirname(os.path.dirname(os.path.abspath(exprcalc.__file__)))
        environment["PYTHONPATH"] = os.pathsep.join(filter(None, [package_parent, environment.get("PYTHONPATH")]))
        result = subprocess.run([sys.executable, "-c", program], env=environment, capture_output=True,
                                text=True, timeout=300)
        self.assertEqual((result.returncode, result.stdout.strip()), (0, "ok"), result.stderr[-3000:])


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

    def test_installed_module_looks_beside_its_recorded_library_folder_first(self):
        built = os.environ[exprcalc.LIBRARY_ENVIRONMENT_VARIABLE]
        # The package as if in an empty folder: nothing beside it (pip puts the library there).
        with tempfile.TemporaryDirectory() as libdir, tempfile.TemporaryDirectory() as module_dir, \
                mock.patch.object(exprcalc, "_module_dir", return_value=module_dir), \
                mock.patch.dict(os.environ, {exprcalc.LIBRARY_ENVIRONMENT_VARIABLE: ""}), \
                mock.patch.object(exprcalc.ctypes.util, "find_library", return_value="/elsewhere/libexprcalc.so.1"):
            installed = os.path.join(libdir, "libexprcalc.so.1")
            shutil.copyfile(built, installed)
            with mock.patch.object(exprcalc, "_INSTALLED_LIBRARY_DIR", os.path.relpath(libdir, module_dir)):
                self.assertEqual(exprcalc.find_library(), installed)
            with mock.patch.object(exprcalc, "_INSTALLED_LIBRARY_DIR", None):
                self.assertEqual(exprcalc.find_library(), "/elsewhere/libexprcalc.so.1")
            shutil.copyfile(built, os.path.join(module_dir, "libexprcalc.so.1"))
            with mock.patch.object(exprcalc, "_INSTALLED_LIBRARY_DIR", None):
                self.assertEqual(exprcalc.find_library(), os.path.join(module_dir, "libexprcalc.so.1"))

    def test_module_in_a_source_tree_finds_the_library_in_its_build(self):
        built = os.environ[exprcalc.LIBRARY_ENVIRONMENT_VARIABLE]
        with tempfile.TemporaryDirectory() as tree, \
                mock.patch.dict(os.environ, {exprcalc.LIBRARY_ENVIRONMENT_VARIABLE: ""}), \
                mock.patch.object(exprcalc.ctypes.util, "find_library", return_value="/elsewhere/libexprcalc.so.1"):
            module_dir = os.path.join(tree, "bindings", "python", "exprcalc")
            for folder in (module_dir, os.path.join(tree, "include"), os.path.join(tree, "build")):
                os.makedirs(folder)
            in_build = os.path.join(tree, "build", "libexprcalc.so.1")
            shutil.copyfile(built, in_build)
            with mock.patch.object(exprcalc, "_module_dir", return_value=module_dir):
                self.assertEqual(exprcalc.find_library(), "/elsewhere/libexprcalc.so.1")  # not a tree: no header
                open(os.path.join(tree, "include", "exprcalc.h"), "w").close()
                self.assertEqual(exprcalc.find_library(), in_build)

    def test_missing_file_raises_oserror(self):
        with self.assertRaises(OSError):
            exprcalc.Library("/nonexistent/libexprcalc.so")


if __name__ == "__main__":
    unittest.main()
