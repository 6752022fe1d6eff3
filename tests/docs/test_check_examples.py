"""check_examples.py fails a page whose example does not do what the page shows, and only then."""

import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_examples.py")
FENCE = "```"


def page(*parts: str) -> str:
    return textwrap.dedent("\n".join(parts)).replace("~~~", FENCE)


# (name, page text, passes, words the report must hold)
CASES = [
    ("console output as shown", page("""
        ~~~console
        $ echo one; echo two >&2
        one
        two
        ~~~
        """), True, "1 run"),
    ("console output that differs", page("""
        ~~~console
        $ echo 3
        4
        ~~~
        """), False, "the page shows"),
    ("a failing command", page("""
        ~~~sh
        true
        false
        true
        ~~~
        """), False, "exit status 1"),
    ("a file that the next block uses", page("""
        <!-- example: file sub/data.txt -->
        ~~~text
        hello
        ~~~

        ~~~console
        $ cat sub/data.txt
        hello
        ~~~
        """), True, "1 run"),
    ("a block not run, for its reason", page("""
        <!-- example: skip: it would take an hour -->
        ~~~sh
        false
        ~~~
        """), True, "it would take an hour"),
    ("a block that changes the machine, without --system", page("""
        <!-- example: system -->
        ~~~sh
        false
        ~~~
        """), True, "changes the machine"),
    ("a new user's home", page("""
        ~~~sh
        test -z "$(ls -A "$HOME" | grep -v apt.conf)"
        touch "$HOME/mine"
        ~~~
        """), True, "1 run"),
    ("a doctest as shown", page("""
        ~~~python
        >>> numbers = [3, 1, 2]
        ~~~

        The session goes on in the next block:

        ~~~python
        >>> sorted(numbers)
        [1, 2, 3]
        ~~~
        """), True, "2 run"),
    ("a doctest that differs", page("""
        ~~~python
        >>> 1 + 1
        3
        ~~~
        """), False, "Python examples failed"),
    ("an indented code block", page("""
        Text.

            echo never run
        """), False, "indented code block"),
    ("a list item's second paragraph is not a block", page("""
        - an item

          its second paragraph
        """), True, "0 run"),
    ("a language the checker does not know", page("""
        ~~~ruby
        puts 1
        ~~~
        """), False, "language 'ruby'"),
]


class CheckExamplesTest(unittest.TestCase):
    def test_cases(self):
        for name, text, passes, words in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                path = os.path.join(root, "page.md")
                with open(path, "w", encoding="utf-8") as file:
                    file.write(text)
                result = subprocess.run([sys.executable, CHECKER, "--root", root, path], capture_output=True,
                                        text=True, timeout=120)
                report = result.stdout + result.stderr
                self.assertEqual(result.returncode == 0, passes, report)
                self.assertIn(words, report)


if __name__ == "__main__":
    unittest.main()
