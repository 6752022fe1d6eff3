#!/usr/bin/env python3
"""Runs the examples of Markdown pages as a reader would, in order, in one tree.

    check_examples.py [--root DIR] [--python PYTHON] [--system] [--exclude REGEX] [--list] PAGE.md...

Every fenced block of a page is an example, by its language:
  sh       commands, run by bash -euo pipefail in the tree; they must succeed.
  console  "$ command" lines, each followed by what it prints (standard output
           and standard error, as a terminal shows them): run, and compared.
  c        a program (with main) or a fragment of one, which is compiled inside
           main() after <stdio.h> and "exprcalc.h"; built against the tree's
           build/ and run: it must exit with 0.
  python   a doctest; a page's Python examples share one session.
  text     output or syntax shown: nothing to run.
A comment line just before a block changes that:
  <!-- example: file NAME -->      the block is the file NAME in the tree,
                                   which the examples after it use;
  <!-- example: system -->         it changes the machine (installs packages):
                                   run only with --system, on a throwaway one;
  <!-- example: skip: REASON -->   not run, for the reason given.
An indented code block is an error: it would be seen by no one here.

The commands run with HOME set to an empty folder (a new user's), the tree's
build/tools/exprcalc first on PATH (where `exprcalc` lies once built) and
a UTF-8 locale. With --system, apt-get answers yes and Debian packages are
built without their test suite, which the tree's own test command runs.
"""

import argparse
import doctest
import os
import re
import shutil
import subprocess
import sys
import tempfile
from typing import List, NamedTuple, Optional

FENCE = re.compile(r"^( *)```(\w*)\s*$")
MARKER = re.compile(r"^<!-- example: (file (?P<file>\S+)|system|skip: (?P<reason>.+)) -->$")
LANGUAGES = ("sh", "console", "c", "python", "text", "cmake")
C_PRELUDE = '#include <math.h>\n#include <stdio.h>\n#include <stdlib.h>\n#include "exprcalc.h"\n'


class Block(NamedTuple):
    page: str
    line: int          # of the opening fence, 1-based
    language: str
    text: str          # without the fences and the fence's indentation
    marker: str        # "", "file", "system" or "skip"
    argument: str      # the file's name, or the reason for skipping

    @property
    def where(self) -> str:
        return f"{self.page}:{self.line}"


class ExampleError(Exception):
    pass


def blocks_of(page: str) -> List[Block]:
    """The fenced blocks of page, with the marker before each."""
    lines = open(page, encoding="utf-8").read().split("\n")
    found: List[Block] = []
    index = 0
    previous = ""
    while index < len(lines):
        line = lines[index]
        fence = FENCE.match(line)
        if fence:
            indent, language = len(fence.group(1)), fence.group(2)
            end = index + 1
            while end < len(lines) and lines[end].strip() != "```":
                end += 1
            if end == len(lines):
                raise ExampleError(f"{page}:{index + 1}: a fence that is never closed")
            if language not in LANGUAGES:
                raise ExampleError(f"{page}:{index + 1}: a block of language '{language}', not one of {LANGUAGES}")
            text = "\n".join(body[indent:] for body in lines[index + 1:end]) + "\n"
            marker, argument = "", ""
            matched = MARKER.match(previous.strip())
            if matched:
                marker = matched.group(1).split(" ")[0].rstrip(":")
                argument = matched.group("file") or matched.group("reason") or ""
            found.append(Block(page, index + 1, language, text, marker, argument))
            index = end + 1
            previous = ""
            continue
        if line.startswith("    ") and previous.strip() == "" and not _in_list(lines, index):
            raise ExampleError(f"{page}:{index + 1}: an indented code block; fence it with its language")
        if line.strip():
            previous = line
        elif previous.startswith("<!-- example:"):
            pass  # a blank line between a marker and its block
        else:
            previous = ""
        index += 1
    return found


def _in_list(lines: List[str], index: int) -> bool:
    """Whether the indented line continues a list item rather than starting a code block."""
    for line in reversed(lines[:index]):
        if not line.strip():
            continue
        return bool(re.match(r"^\s*([-*]|\d+\.) ", line)) or line.startswith("  ")
    return False


class Runner:
    def __init__(self, root: str, python: str, system: bool):
        self.root = root
        self.python = python
        self.system = system
        self.home = tempfile.mkdtemp(prefix="examples-home-")
        self.environment = dict(os.environ)
        self.environment.update({
            "HOME": self.home, "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
            "PATH": os.pathsep.join([os.path.join(root, "build", "tools", "exprcalc"),
                                     self.environment.get("PATH", "")]),
        })
        for name in ("PYTHONPATH", "EXPRCALC_LIBRARY", "LD_LIBRARY_PATH", "PKG_CONFIG_PATH", "NO_COLOR"):
            self.environment.pop(name, None)
        if system:
            apt_config = os.path.join(self.home, "apt.conf")
            with open(apt_config, "w") as file:
                file.write('APT::Get::Assume-Yes "true";\n')
            self.environment.update({"APT_CONFIG": apt_config, "DEBIAN_FRONTEND": "noninteractive",
                                     "DEB_BUILD_OPTIONS": "nocheck parallel=2"})
        self.python_sessions: dict = {}
        self.ran = 0
        self.skipped: List[str] = []

    def run(self, block: Block) -> None:
        if block.marker == "skip":
            self.skipped.append(f"{block.where}: {block.argument}")
            return
        if block.marker == "system" and not self.system:
            self.skipped.append(f"{block.where}: changes the machine (run with --system)")
            return
        if block.marker == "file":
            path = os.path.join(self.root, block.argument)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as file:
                file.write(block.text)
            return
        if block.language in ("text", "cmake"):
            return
        getattr(self, "_run_" + block.language)(block)
        self.ran += 1

    def _shell(self, command: str, block: Block, check: bool = True) -> subprocess.CompletedProcess:
        result = subprocess.run(["bash", "-euo", "pipefail", "-c", command], cwd=self.root, env=self.environment,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output = result.stdout.decode("utf-8", errors="replace")
        if check and result.returncode != 0:
            raise ExampleError(f"{block.where}: exit status {result.returncode} from:\n{command}\n{output[-4000:]}")
        return subprocess.CompletedProcess(result.args, result.returncode, output)

    def _run_sh(self, block: Block) -> None:
        self._shell(block.text, block)

    def _run_console(self, block: Block) -> None:
        command: Optional[str] = None
        expected: List[str] = []
        for line in block.text.rstrip("\n").split("\n") + ["$ "]:
            if line.startswith("$ "):
                if command is not None:
                    shown = self._shell(command, block, check=False).stdout
                    if _lines(shown) != _lines("\n".join(expected)):
                        raise ExampleError(f"{block.where}: $ {command}\nprinted:\n{shown}\nthe page shows:\n"
                                           + "\n".join(expected))
                command, expected = line[2:], []
            elif command is None:
                raise ExampleError(f"{block.where}: a console block must begin with '$ '")
            else:
                expected.append(line)

    def _run_c(self, block: Block) -> None:
        program = block.text if re.search(r"\bint main\b", block.text) else (
            C_PRELUDE + "int main(void) {\n" + block.text + "return 0;\n}\n")
        work = tempfile.mkdtemp(prefix="example-c-")
        try:
            source = os.path.join(work, "example.c")
            with open(source, "w", encoding="utf-8") as file:
                file.write(program)
            build = os.path.join(self.root, "build")
            binary = os.path.join(work, "example")
            command = (f"cc -std=c11 -Wall -Werror -Wno-unused-variable {source} -I{self.root}/include -L{build} "
                       f"-lexprcalc -lm -Wl,-rpath,{build} -o {binary} && {binary} >/dev/null")
            self._shell(command, block)
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def _run_python(self, block: Block) -> None:
        self.python_sessions.setdefault(block.page, []).append(block)

    def finish_page(self, page: str) -> None:
        """A page's Python examples, as one doctest session in an interpreter of its own."""
        blocks = self.python_sessions.pop(page, [])
        if not blocks:
            return
        # Each block keeps its own line numbers in the report: a doctest per block, one namespace.
        session = "\n".join(f"# {block.where}\n" + block.text for block in blocks)
        driver = ("import doctest, sys\n"
                  "text = sys.stdin.read()\n"
                  "test = doctest.DocTestParser().get_doctest(text, {}, sys.argv[1], sys.argv[1], 0)\n"
                  "runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)\n"
                  "runner.run(test)\n"
                  "sys.exit(1 if runner.failures or not runner.tries else 0)\n")
        if not os.path.isfile(self.python):
            raise ExampleError(f"{page}: no interpreter {self.python} for its Python examples")
        result = subprocess.run([self.python, "-c", driver, page], input=session.encode(), cwd=self.home,
                                env=self.environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode != 0:
            raise ExampleError(f"{page}: the Python examples failed:\n{result.stdout.decode()[-6000:]}")


def _lines(text: str) -> List[str]:
    return [line.rstrip() for line in text.rstrip("\n").split("\n")] if text.strip() else []


def main(arguments: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("pages", nargs="+")
    parser.add_argument("--root", default=os.getcwd(), help="the tree the examples run in")
    parser.add_argument("--python", default=sys.executable, help="the interpreter of the Python examples")
    parser.add_argument("--system", action="store_true", help="also run the examples that change the machine")
    parser.add_argument("--list", action="store_true", help="list the examples and what would be done")
    parser.add_argument("--exclude", help="leave out the blocks whose text matches this regular expression "
                                          "(for trying pages out: CI runs every block)")
    options = parser.parse_args(arguments)
    try:
        pages = [(page, blocks_of(page)) for page in options.pages]
    except ExampleError as error:
        print(f"examples: {error}", file=sys.stderr)
        return 1
    if options.list:
        for _, blocks in pages:
            for block in blocks:
                print(f"{block.where}\t{block.language}\t{block.marker or 'run'}\t{block.argument}")
        return 0
    runner = Runner(os.path.abspath(options.root), options.python, options.system)
    try:
        for page, blocks in pages:
            for block in blocks:
                if options.exclude and re.search(options.exclude, block.text):
                    runner.skipped.append(f"{block.where}: left out by --exclude")
                    continue
                print(f"examples: {block.where} ({block.language}{', ' + block.marker if block.marker else ''})",
                      flush=True)
                runner.run(block)
            runner.finish_page(page)
    except ExampleError as error:
        print(f"examples: FAILED: {error}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(runner.home, ignore_errors=True)
    for skipped in runner.skipped:
        print(f"examples: not run: {skipped}")
    print(f"examples: {runner.ran} run, {len(runner.skipped)} not run")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
