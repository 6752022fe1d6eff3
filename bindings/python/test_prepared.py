"""Prepared expressions in the binding: Library.prepare against Library.evaluate through every kind of
table change, the handle's release, and Variables.set_at."""

import copy
import math
import struct
import unittest
from unittest import mock

import exprcalc

TEXTS = [
    "(@X+1)*(@X-1)", "8 / (@X-4)", "LOG(@X)", "ACOS(@X)", "SQRT(@X)^2", "@X%@Y", "@X+@Y*@T", "@Y",
    "2*(3+@X", "1.5e3", "3*@NOPE+1", "1+", "", "@Grüße*2", b"@X/@Y", "@X\n+1",
]


def bits(code, value):
    return code, struct.pack("<d", value)


def outcome(evaluate):
    """What an evaluation gives: the value's bits, or the exception's type, code, place, reason and text."""
    try:
        return "value", struct.pack("<d", evaluate())
    except exprcalc.ExprcalcError as error:
        return type(error), error.code, error.position, error.reason, str(error)


class PreparedTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.calc = exprcalc.Library()
        cls.variables = cls.calc.variables

    def setUp(self):
        self.variables.clear()
        self.addCleanup(self.variables.clear)

    def test_agrees_with_evaluate_through_table_changes(self):
        variables, calc = self.variables, self.calc
        variables.update({"@X": 2, "@Y": 3, "@T": "a text", "@Grüße": 1.5})
        at = variables.index

        def grow():
            for number in range(40):
                variables[f"@G{number}"] = number

        changes = [
            # (label, change): new values first (the prepared operations), then changes of shape
            ("unchanged", lambda: None),
            ("@X 5 by index", lambda: variables.set_at(at("@X"), 5)),
            ("@X 4: a division by zero", lambda: variables.set_at(at("@X"), 4.0)),
            ("@X -1: negative logarithm", lambda: variables.set_at(at("@X"), -1)),
            ("@X 0: domain error", lambda: variables.set_at(at("@X"), 0)),
            ("@X NaN", lambda: variables.set_at(at("@X"), math.nan)),
            ("@Y -0.0 by index from the end", lambda: variables.set_at(-3, -0.0)),
            ("@X infinite by name", lambda: variables.__setitem__("@X", math.inf)),
            ("@X turned into a text", lambda: variables.__setitem__("@X", "text")),
            ("@X a number again", lambda: variables.__setitem__("@X", 7)),
            ("@T removed", lambda: variables.__delitem__("@T")),
            ("@NOPE added", lambda: variables.__setitem__("@NOPE", 2)),
            ("the first record removed", lambda: variables.remove_at(0)),
            ("@X by a statement", lambda: calc.execute("@X = @Y*2+1")),
            ("the table grown", grow),
            ("@Y 0.5 by index after growth", lambda: variables.set_at(at("@Y"), 0.5)),
            ("cleared", variables.clear),
            ("@X and @Y again", lambda: variables.update({"@Y": 9, "@X": 1e300})),
        ]
        prepared = [calc.prepare(text) for text in TEXTS]
        for label, change in changes:
            change()
            for text, expression in zip(TEXTS, prepared):
                with self.subTest(change=label, text=text):
                    self.assertEqual(outcome(expression), outcome(lambda: calc.evaluate(text)))
                    self.assertEqual(bits(*expression.evaluate_code()), bits(*calc.evaluate_code(text)))
        for expression in prepared:
            expression.close()

    def test_exceptions_carry_code_position_and_caret(self):
        stop = self.calc.stop_message
        rows = [
            # (text, @X, exception, code, position, reason or None for the code's message)
            ("8 / (@X-4)", 4, exprcalc.DivisionByZeroError, 1, 2, None),
            ("1 + LOG(@X)", 0, exprcalc.DomainError, 2, 4, None),
            ("LOG10(@X)", -2, exprcalc.NegativeLogarithmError, 3, 0, None),
            ("3*@NOPE+1", 1, exprcalc.MalformedExpressionError, exprcalc.MALFORMED, 2,
             stop(exprcalc.STOP_UNKNOWN_VARIABLE)),
            (b"@X + \xc3\xa9", 1, exprcalc.MalformedExpressionError, exprcalc.MALFORMED, 5,
             stop(exprcalc.STOP_UNREADABLE_BYTE)),
        ]
        for text, x, error, code, position, reason in rows:
            self.variables["@X"] = x
            with self.subTest(text=text), self.calc.prepare(text) as expression:
                shown = expression.text
                self.assertIsInstance(shown, str)
                for evaluate in (expression, expression.evaluate):
                    with self.assertRaises(error) as caught:
                        evaluate()
                    raised = caught.exception
                    self.assertEqual((raised.code, raised.position, raised.reason, raised.expression),
                                     (code, position, reason or self.calc.message(code), shown))
                    self.assertTrue(str(raised).endswith(exprcalc.caret_lines(shown, position)), str(raised))

    def test_the_handle_is_released_once_and_never_used_after(self):
        calc = self.calc
        with mock.patch.object(calc.functions, "exprcalc_release", wraps=calc.functions.exprcalc_release) as release:
            with calc.prepare("1+2") as expression:
                handle = expression._handle
                self.assertEqual((expression(), expression.closed), (3.0, False))
            self.assertTrue(expression.closed)
            expression.close()
            self.assertEqual(release.call_args_list, [mock.call(handle)])
            for label, evaluate in (("call", expression), ("evaluate", expression.evaluate),
                                    ("evaluate_code", expression.evaluate_code)):
                with self.subTest(label), self.assertRaisesRegex(ValueError, "closed"):
                    evaluate()

            release.reset_mock()
            collected = calc.prepare("2*3")
            duplicate = copy.copy(collected)
            deep = copy.deepcopy(collected)
            self.assertEqual(len({id(collected._handle), id(duplicate._handle), id(deep._handle)}), 3)
            del collected  # the safety net releases a handle never closed
            self.assertEqual(release.call_count, 1)
            self.assertEqual((duplicate(), deep()), (6.0, 6.0))
            duplicate.close()
            deep.close()
            self.assertEqual(release.call_count, 3)

    def test_preparation_refusals(self):
        rows = [
            ("out of memory", 257, "1+1", exprcalc.OutOfMemoryError),
            ("a NUL", None, "1\x00+2", ValueError),
            ("no text", None, 1.5, TypeError),
        ]
        for label, code, text, error in rows:
            with self.subTest(label), mock.patch.object(self.calc.functions, "exprcalc_prepare",
                                                        return_value=code) as prepare:
                with self.assertRaises(error):
                    self.calc.prepare(text)
                self.assertEqual(prepare.called, code is not None)

    def test_set_at(self):
        variables = self.variables
        rows = [
            # (index, value, exception or None, the table afterwards)
            (0, 5, None, {"@A": 5.0}),
            (-1, 7.5, None, {"@B": 7.5}),
            (2, 10 ** 3, None, {"@B": 1000.0}),
            (1, 9.0, TypeError, {}),
            (-2, 9.0, TypeError, {}),
            (3, 9.0, IndexError, {}),
            (-4, 9.0, IndexError, {}),
            (2 ** 31, 9.0, IndexError, {}),
            (2 ** 32, 9.0, IndexError, {}),
            (-2 ** 64, 9.0, IndexError, {}),
            (0, "1", TypeError, {}),
            (0, True, TypeError, {}),
            (0, None, TypeError, {}),
            (1.0, 9.0, TypeError, {}),
            (None, 9.0, TypeError, {}),
        ]
        for index, value, error, changed in rows:
            with self.subTest(index=index, value=value):
                variables.clear()
                variables.update({"@A": 1, "@T": "t", "@B": 2})
                expected = {"@A": 1.0, "@T": "t", "@B": 2.0, **changed}
                if error is None:
                    self.assertIsNone(variables.set_at(index, value))
                else:
                    with self.assertRaises(error):
                        variables.set_at(index, value)
                self.assertEqual(dict(variables), expected)


if __name__ == "__main__":
    unittest.main()
