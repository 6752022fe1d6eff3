"""exprcalc.Table: variable tables of their own, with functions of their own, beside the process table."""

import math
import threading
import unittest

import exprcalc


class TableTest(unittest.TestCase):
    def test_two_tables_hold_different_variables_at_once(self):
        first, second = exprcalc.Table(), exprcalc.Table()
        first.variables["@X"], second.variables["@X"] = 1.5, -7.25
        self.assertEqual(first.evaluate("@X*2+1"), 4.0)
        self.assertEqual(second.evaluate("@X*2+1"), -13.5)
        self.assertEqual(dict(first.variables), {"@X": 1.5})
        self.assertNotIn("@X", exprcalc.Library().variables)
        first.execute("@Y = @X*4")
        self.assertEqual(first.variables["@Y"], 6.0)
        self.assertNotIn("@Y", second.variables)
        with self.assertRaises(exprcalc.IncompleteExpressionError):
            second.evaluate("@Y+1", strict=True)

    def test_the_library_and_a_table_agree_on_every_text(self):
        calc, table = exprcalc.Library(), exprcalc.Table()
        try:
            for mapping in (calc.variables, table.variables):
                mapping["@R"], mapping["@S"] = 2.5, "text"
            for text in ("@R^2-1", "SQRT(@R", "1/0", "LOG(-@R)", "@S+1", "2(3)", "10 mod 3"):
                with self.subTest(text=text):
                    self.assertEqual(table.explain(text), calc.explain(text))
                    self.assertEqual(table.judge(text), calc.judge(text))
                    with table.prepare(text) as mine, calc.prepare(text) as theirs:
                        self.assertEqual(mine.evaluate_code(), theirs.evaluate_code())
        finally:
            calc.variables.clear()

    def test_a_python_function_runs_in_every_evaluation(self):
        table = exprcalc.Table()
        calls = []
        table.define_function("twice", lambda x: calls.append(x) or 2 * x)
        table.variables["@X"] = 3
        self.assertEqual(table.evaluate("TWICE(3)+1"), 7.0)
        with table.prepare("TWICE(@X)+1") as prepared:
            self.assertEqual(prepared(), 7.0)
            self.assertEqual(prepared.evaluate_columns({"@X": [1.0, 2.0, 0.5]}), ([3.0, 5.0, 2.0], [0, 0, 0]))
        self.assertEqual(calls[-3:], [1.0, 2.0, 0.5])
        self.assertFalse(table.judge("TWICE(3").whole)
        with self.assertRaises(ValueError):
            table.define_function("SIN", math.sin)
        with self.assertRaises(ValueError):
            table.define_function("@F", math.sin)
        table.variables["RATE"] = 2
        with self.assertRaises(ValueError):
            table.define_function("rate", math.sin)
        with self.assertRaises(ValueError):
            table.variables["twice"] = 1
        table.define_function("TWICE", None)
        with self.assertRaises(KeyError):
            table.define_function("TWICE", None)

    def test_an_exception_inside_a_function_is_a_clear_error(self):
        table = exprcalc.Table()
        table.define_function("ROOT", math.sqrt)
        table.define_function("BAD", lambda x: None)
        self.assertEqual(table.evaluate("ROOT(16)"), 4.0)
        for text, cause in (("1+ROOT(-1)", ValueError), ("BAD(2)", TypeError)):
            with self.subTest(text=text):
                with self.assertRaises(exprcalc.FunctionError) as caught:
                    table.evaluate(text)
                self.assertIsInstance(caught.exception.__cause__, cause)
                self.assertIn(cause.__name__, str(caught.exception))
                with table.prepare(text) as prepared:
                    with self.assertRaises(exprcalc.FunctionError) as caught:
                        prepared()
                    self.assertIsInstance(caught.exception.__cause__, cause)
        self.assertEqual(table.evaluate("ROOT(9)"), 3.0)  # the table goes on working

    def test_two_threads_on_two_tables(self):
        tables = [exprcalc.Table(), exprcalc.Table()]
        wrong = []

        def work(table, x):
            table.variables["@X"] = x
            table.define_function("TWICE", lambda y: 2 * y)
            with table.prepare("TWICE(@X)+1") as prepared:
                for _ in range(300):
                    if table.evaluate("@X*2+1") != 2 * x + 1 or prepared() != 2 * x + 1:
                        wrong.append(x)
        threads = [threading.Thread(target=work, args=(table, x)) for table, x in zip(tables, (1.5, -7.25))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(wrong, [])


if __name__ == "__main__":
    unittest.main()
