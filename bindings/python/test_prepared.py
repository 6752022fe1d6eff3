"""Prepared expressions: Library.prepare against Library.evaluate through every kind of table change,
the release of the handle, and Variables.set_at."""

import array
import copy
import itertools
import math
import pickle
import struct
import unittest
from unittest import mock

import exprcalc
from test_exprcalc import LibraryTestCase

TEXTS = ["(@X+1)*(@X-1)", "8 / (@X-4)", "LOG(@X)", "ACOS(@X)", "@X%@Y", "@X+@Y*@T", "2*(3+@X", "1.5e3",
         "3*@NOPE+1", "", b"@X + \xc3\xa9"]


def outcome(evaluate):
    """The value's bits, or the exception's type, code, position, reason and text with its caret line."""
    try:
        return struct.pack("<d", evaluate())
    except exprcalc.ExprcalcError as error:
        return type(error), error.code, error.position, error.reason, str(error)


class PreparedTest(LibraryTestCase):
    def test_agrees_with_evaluate_through_table_changes(self):
        calc, variables = self.calc, self.variables
        variables.update({"@X": 2, "@Y": 3, "@T": "a text"})
        changes = [  # new values by index (the prepared operations), then changes of shape
            lambda: None, lambda: variables.set_at(0, 4), lambda: variables.set_at(0, -1),
            lambda: variables.set_at(0, 0), lambda: variables.set_at(-2, math.nan),
            lambda: variables.__setitem__("@X", "text"), lambda: variables.__setitem__("@X", 7),
            lambda: variables.__delitem__("@T"), lambda: variables.__setitem__("@NOPE", 2),
            lambda: calc.execute("@X = @Y*2+1"), lambda: variables.update({f"@G{n}": n for n in range(40)}),
            variables.clear, lambda: variables.update({"@Y": 0.5, "@X": 4}),
        ]
        prepared = [calc.prepare(text) for text in TEXTS]
        for step, change in enumerate(changes):
            change()
            for text, expression in zip(TEXTS, prepared):
                with self.subTest(step=step, text=text):
                    self.assertEqual(outcome(expression), outcome(lambda: calc.evaluate(text)))
                    self.assertEqual(expression.evaluate_code()[0], calc.evaluate_code(text)[0])
        with self.assertRaises(exprcalc.DivisionByZeroError) as caught:
            prepared[1].evaluate()
        self.assertEqual((caught.exception.code, caught.exception.position), (1, 2))
        self.assertTrue(str(caught.exception).endswith("'8 / (@X-4)'\n  8 / (@X-4)\n    ^"))

    def test_code_form_is_the_librarys(self):
        self.variables.update({"@X": 2})
        with self.calc.prepare("@X*2+1") as expression:
            form, why = expression.code_form()
            self.assertEqual(form, exprcalc.FORM_STEPS)  # machine code only once evaluations show it pays
            self.assertIn(why, (exprcalc.CODE_NOT_YET, exprcalc.CODE_TURNED_OFF, exprcalc.CODE_PLATFORM,
                                exprcalc.CODE_MDWE, exprcalc.CODE_EXEC_DENIED, exprcalc.CODE_EXECMEM_DENIED))
            self.variables["@Y"] = 1
            self.assertEqual(expression.code_form(), (exprcalc.FORM_TEXT, exprcalc.CODE_SHAPE))
        with self.assertRaisesRegex(ValueError, "closed"):
            expression.code_form()

    def test_the_handle_is_released_once_and_never_used_after(self):
        calc = self.calc
        with mock.patch.object(calc.functions, "exprcalc_release", wraps=calc.functions.exprcalc_release) as release:
            with calc.prepare("1+2") as expression:
                self.assertEqual(expression(), 3.0)
            expression.close()
            for evaluate in (expression, expression.evaluate, expression.evaluate_code):
                with self.assertRaisesRegex(ValueError, "closed"):
                    evaluate()
            self.assertEqual(release.call_count, 1)
            collected = calc.prepare("2*3")
            with self.assertRaisesRegex(TypeError, "cannot be pickled"):
                pickle.dumps(collected)  # its handle is an address in this process
            copies = [copy.copy(collected), copy.deepcopy(collected)]  # each with a handle of its own
            del collected  # never closed: released when collected
            self.assertEqual((release.call_count, [duplicate() for duplicate in copies]), (2, [6.0, 6.0]))

    def test_columns_agree_with_set_at_row_by_row(self):
        calc, variables = self.calc, self.variables
        variables.update({"@X": 2, "@Y": 3, "@T": "a text"})
        xs = [4.0, -1.0, 0.0, math.nan, 1e-300, 2.5] * 30
        ys = [0.5, 0.0, -3.0] * 60
        numpy = None
        try:
            import numpy
        except ImportError:
            pass
        kinds = [lambda c: c, lambda c: array.array("d", c)] + ([numpy.array] if numpy else [])
        for text, kind in itertools.product(TEXTS, kinds):
            with self.subTest(text=text, kind=kind), calc.prepare(text) as expression:
                values, codes = expression.evaluate_columns({"@x": kind(xs[::-1]), 1: kind(ys)})
                expected = []
                for x, y in zip(xs[::-1], ys):
                    variables.set_at(0, x)
                    variables.set_at(1, y)
                    expected.append(expression.evaluate_code())
                self.assertEqual([struct.pack("<d", v) for v in values], [struct.pack("<d", v) for _, v in expected])
                self.assertEqual(list(codes), [code for code, _ in expected])
                self.assertEqual(type(values).__name__, "ndarray" if numpy and kind is numpy.array else "list")
        with calc.prepare("@X") as expression:
            self.assertRaises(KeyError, expression.evaluate_columns, {"@NOPE": [1.0]})
            self.assertRaises(TypeError, expression.evaluate_columns, {"@T": [1.0]})
            self.assertRaises(TypeError, expression.evaluate_columns, {"@X": ["1"]})
            self.assertRaises(TypeError, expression.evaluate_columns, {True: [1.0]})
            self.assertRaises(ValueError, expression.evaluate_columns, {"@X": [1.0], "@Y": [1.0, 2.0]})
            self.assertEqual(expression.evaluate_columns({}), ([], []))
            # Refusals that name what is wrong in a few words, whatever the caller passed.
            for columns, error, text in [
                ({"@X": [1.0], "@x": [2.0]}, ValueError, "columns '@X' and '@x' name the same variable"),
                ({1: [1.0], "@Y": [2.0]}, ValueError, "columns 1 and '@Y' name the same variable"),
                ({"@X": b"x" * 8000}, TypeError, "a column is a sequence of numbers, not bytes"),
                ({"@X": "1" * 8000}, TypeError, "a column is a sequence of numbers, not str"),
                ({"@" + "N" * 8000: [1.0]}, KeyError, "'@" + "N" * 55 + "..."),
            ]:
                with self.subTest(text=text):
                    with self.assertRaises(error) as raised:
                        expression.evaluate_columns(columns)
                    self.assertEqual(raised.exception.args[0], text)

    def test_set_at(self):
        rows = [
            # (index, value, exception or None, what changes in the table)
            (0, 5, None, {"@A": 5.0}), (-1, 7.5, None, {"@B": 7.5}),
            (1, 9.0, TypeError, {}), (-2, 9.0, TypeError, {}),  # a text variable
            (3, 9.0, IndexError, {}), (-4, 9.0, IndexError, {}), (2 ** 32, 9.0, IndexError, {}),
            (0, True, TypeError, {}), (0, "1", TypeError, {}), (1.0, 9.0, TypeError, {}), (True, 9.0, TypeError, {}),
        ]
        for index, value, error, changed in rows:
            with self.subTest(index=index, value=value):
                self.variables.clear()
                self.variables.update({"@A": 1, "@T": "t", "@B": 2})
                if error is None:
                    self.variables.set_at(index, value)
                else:
                    self.assertRaises(error, self.variables.set_at, index, value)
                self.assertEqual(dict(self.variables), {"@A": 1.0, "@T": "t", "@B": 2.0, **changed})


if __name__ == "__main__":
    unittest.main()
