"""The binding's verdict on every line of tests/judgement/lines.tsv, which the calculator runs too
(tests/calculator/JudgementLinesTest.cpp): expressions through evaluate(strict=True), statements through
execute(); the value, the exception or warning, and its position (the table's column less one).

The table is found through EXPRCALC_JUDGEMENT_LINES, else in the source tree around this folder.
"""

import os
import unittest
import warnings

import exprcalc

HERE = os.path.dirname(os.path.abspath(__file__))
LINES = os.environ.get("EXPRCALC_JUDGEMENT_LINES") or os.path.join(
    HERE, os.pardir, os.pardir, "tests", "judgement", "lines.tsv")


def rows():
    with open(LINES, encoding="utf-8") as table:
        for text in table:
            fields = text.rstrip("\n").split("\t")
            if not text.startswith("#") and len(fields) == 4:
                line = fields[0].replace("\\t", "\t").replace("\\r", "\r")
                yield line, fields[1], None if fields[2] == "-" else int(fields[2]) - 1, fields[3]


class JudgementLinesTest(unittest.TestCase):
    def test_the_binding_gives_each_line_its_verdict(self):
        calc = exprcalc.Library()
        table = list(rows())
        self.assertGreaterEqual(len(table), 40)
        for line, verdict, position, value in table:
            with self.subTest(line=line, verdict=verdict):
                calc.variables.clear()
                calc.execute("@X = 2")
                calc.execute('@NOTE = "hello')
                statement = verdict in ("stored", "removed", "stored-warning", "refused")
                with warnings.catch_warnings(record=True) as warned:
                    warnings.simplefilter("always")
                    try:
                        result = calc.execute(line) if statement else calc.evaluate(line, strict=True)
                    except KeyError:  # the removal of a variable that does not exist
                        self.assertEqual(verdict, "refused")
                        continue
                    except (exprcalc.ExprcalcError, exprcalc.StatementError) as error:
                        self.assertIn(verdict, ("error", "refused"), str(error))
                        self.assertEqual(error.position, position, str(error))
                        continue
                self.assertNotIn(verdict, ("error", "refused"), f"{line!r} gave {result!r}")
                if value != "-":
                    self.assertEqual(result, float(value))
                positions = [warning.message.position for warning in warned]
                self.assertEqual(positions[:1], [] if position is None else [position],
                                 [str(warning.message) for warning in warned])


if __name__ == "__main__":
    unittest.main()
