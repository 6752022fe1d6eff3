"""The binding's diagnoses: exceptions, strict evaluation, statement errors and warnings, and the
mirrored structures, for the texts that users trip over."""

import ctypes
import struct
import unittest
import warnings

import exprcalc
from exprcalc import caret_lines


class DiagnosticsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.calc = exprcalc.Library()

    def setUp(self):
        self.calc.variables.clear()
        self.addCleanup(self.calc.variables.clear)

    def test_evaluation_traps(self):
        calc, bits = self.calc, lambda value: struct.pack("<d", value)
        incomplete, malformed = exprcalc.IncompleteExpressionError, exprcalc.MalformedExpressionError
        stop, finding = calc.stop_message, calc.finding_message
        with self.assertWarns(exprcalc.UnreadableNameWarning):
            calc.execute("@MY_RATE = 5")
        rows = [
            # (text, error of evaluate, error of evaluate(strict=True), position, reason); None: the value
            ("@NOPE+1", None, incomplete, 0, stop(exprcalc.STOP_UNKNOWN_VARIABLE)),
            ("@MY_RATE * 2", None, incomplete, 0, stop(exprcalc.STOP_UNKNOWN_VARIABLE)),
            ("1.5e3", None, incomplete, 3, stop(exprcalc.STOP_UNKNOWN_NAME)),
            ("ln(2)", None, incomplete, 0, stop(exprcalc.STOP_UNKNOWN_NAME)),
            ("2*(3+4", None, incomplete, 2, finding(exprcalc.FINDING_CONTENTS_DROPPED)),
            ("1 + (2 * (3 + 4", None, incomplete, 4, finding(exprcalc.FINDING_CONTENTS_DROPPED)),
            ("SQRT(16", None, incomplete, 4, finding(exprcalc.FINDING_NOT_APPLIED)),
            ("2(3)", malformed, malformed, 1, finding(exprcalc.FINDING_OPERAND_BEFORE_PARENTHESIS)),
            ("2*(3+4 mod 2", None, incomplete, 7, stop(exprcalc.STOP_UNKNOWN_NAME)),  # reading stopped first
            ("10 mod 3", None, incomplete, 3, stop(exprcalc.STOP_UNKNOWN_NAME)),
            ("1.5,3", None, incomplete, 3, stop(exprcalc.STOP_COMMA_IN_FRACTION)),
            ("(2+3", None, None, None, None),
            ("8 / (2-2)", exprcalc.DivisionByZeroError, exprcalc.DivisionByZeroError, 2, calc.message(1)),
            ("2 3#", malformed, malformed, 2, calc.finding_message(exprcalc.FINDING_OPERAND_BEFORE_OPERAND)),
            ("2*", malformed, malformed, 1, calc.message(exprcalc.MALFORMED)),
            ("3*@NOPE+1", malformed, malformed, 2, stop(exprcalc.STOP_UNKNOWN_VARIABLE)),
            ("1 +\n2", malformed, malformed, 3, stop(exprcalc.STOP_LINE_END)),
        ]
        for text, error, strict_error, position, reason in rows:
            code, value = calc.evaluate_code(text)
            diagnosis = calc.explain(text)
            self.assertEqual((diagnosis.code, bits(diagnosis.value)), (code, bits(value)), text)
            for strict, expected in ((False, error), (True, strict_error)):
                with self.subTest(text=text, strict=strict):
                    if expected is None:
                        self.assertEqual(bits(calc.evaluate(text, strict=strict)), bits(value))
                        continue
                    with self.assertRaises(expected) as caught:
                        calc.evaluate(text, strict=strict)
                    raised = caught.exception
                    self.assertEqual((raised.code, raised.position, raised.reason, raised.diagnosis),
                                     (code, position, reason, diagnosis))
                    self.assertTrue(str(raised).endswith(f"{text!r}\n{caret_lines(text, position)}"), str(raised))

    def test_statement_traps(self):
        refused, unreadable = exprcalc.StatementError, exprcalc.UnreadableNameWarning
        partly = exprcalc.IncompleteStatementWarning
        rows = [
            # (statement, error, reason, code, position, caret at, warning, stored value)
            ("@A = 1/0", refused, exprcalc.REASON_EVALUATION, 1, 6, 6, None, None),
            ("@Grüße = 1/0", refused, exprcalc.REASON_EVALUATION, 1, 12, 12, None, None),
            ("@A = 3*@NOPE", refused, exprcalc.REASON_NOT_WHOLE, None, 7, 7, None, None),
            ("RATE = 4", refused, exprcalc.REASON_NO_NAME, None, None, 0, None, None),
            ("@A 5", refused, exprcalc.REASON_NOT_A_STATEMENT, None, None, None, None, None),
            ("@MY_RATE = 5", None, None, None, None, None, unreadable, 5.0),
            ("@B = 1.5e3", refused, exprcalc.REASON_NOT_WHOLE, None, 8, 8, None, None),
            ("@C = SQRT(16", refused, exprcalc.REASON_NOT_WHOLE, None, 9, 9, None, None),
            ('@D = "ln(2)', None, None, None, None, None, None, "ln(2)"),
        ]
        for statement, error, reason, code, position, caret, warning, stored in rows:
            with self.subTest(statement=statement), warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                try:
                    self.calc.execute(statement)
                    raised = None
                except refused as exception:
                    raised = exception
                self.assertEqual([type(item.message) for item in caught], [warning] if warning else [])
                self.assertIs(type(raised), error or type(None))
                shown = str(raised or (caught[0].message if caught else ""))
                if caret is not None:
                    self.assertTrue(shown.endswith(caret_lines(statement, caret)), shown)
                if error:
                    self.assertEqual((raised.reason, raised.code, raised.position, raised.diagnosis.reason),
                                     (self.calc.reason_message(reason), code, position, reason))
                    self.assertNotIn(statement.partition(" =")[0], self.calc.variables)
                else:
                    self.assertEqual(self.calc.variables[statement.partition(" =")[0]], stored)
        with self.assertWarns(partly):  # carried out all the same, as Substitution does
            self.calc.execute("@B = 1.5e3", strict=False)
        self.assertEqual(self.calc.variables["@B"], 1.5)
        told = self.calc.explain_statement("@B")
        self.assertEqual((told.result, told.right_at, told.expression), (exprcalc.STATEMENT_FAILED, None, None))

    def test_explain_and_caret_lines(self):
        self.calc.variables["@NOTE"] = "a text reads as 0"
        self.assertEqual(self.calc.explain("2 + @note"), exprcalc.Diagnosis(0, 2.0, 9, 0, 0, 9, False, 4, 9))
        self.assertEqual(self.calc.explain(b"1.2.3"), exprcalc.Diagnosis(0, 0.0, 3, 5, 0, 0, False, None, 5))
        rows = [("\t2 * x", 5, "  \\t2 * x\n        ^"), ("é + #", 5, "  é + #\n      ^"),
                ("1 +\r\n2", 3, "  1 +\n     ^"), ("\x1b[2J+\xa0#", 5, "  \\x1B[2J+\\u00A0#\n          ^"),
                ("\u200b\ufeff1", 6, "  \\u200B\\uFEFF1\n              ^")]
        for text, position, expected in rows:
            self.assertEqual(caret_lines(text, position), expected, text)

    def test_exception_texts_escape_what_cannot_be_seen_and_name_it(self):
        rows = [  # (text, the hint's line)
            ("1\xa0+1", "U+00A0 NO-BREAK SPACE"), ("\x1b[31m2", "U+001B (a control character)"),
            ("4\u22121", "U+2212 MINUS SIGN"), (b"3\xff", None),
        ]
        for text, named in rows:
            with self.subTest(text=text):
                with self.assertRaises(exprcalc.ExprcalcError) as caught:
                    self.calc.evaluate(text, strict=True)
                message = str(caught.exception)
                self.assertEqual([c for c in message if not c.isprintable() and c != "\n"], [], message)
                hint = message.splitlines()[-1]
                self.assertEqual(hint, f"  hint: the character here is {named}" if named else
                                 "  hint: the byte here (\\xFF) is not part of a character")

    def test_the_library_fills_exactly_the_mirrored_structures(self):
        # Bytes past the mirror stay as they were, and its last member holds the library's value.
        rows = [(exprcalc.CDiagnosis, self.calc.functions.exprcalc_explain, b"2*(3+4", lambda d: d.unclosed_at, 2),
                (exprcalc.CStatementDiagnosis, self.calc.functions.exprcalc_explain_statement, b"@ABC = 2*(3+4",
                 lambda d: d.expression.unclosed_at, 9)]
        for structure, function, text, last_member, expected in rows:
            size = ctypes.sizeof(structure)
            buffer = (ctypes.c_ubyte * (size + 16))(*[0xA5] * (size + 16))
            filled = structure.from_buffer(buffer)
            function(text, ctypes.byref(filled))
            self.assertEqual((bytes(buffer[size:]), last_member(filled)), (b"\xa5" * 16, expected), structure.__name__)
        self.assertEqual(self.calc.version, exprcalc.VERSION_NUMBER)


if __name__ == "__main__":
    unittest.main()
