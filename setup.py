"""Builds the exprcalc package: the binding's Python files, and beside them the
shared library and the binding's mirror of the header, both from one CMake
build of this tree (in build-python/, outside the preset's build/).

The version is the header's EXPRCALC_VERSION, as for every other product of
the tree. CMake, a C++20 compiler and setuptools must be installed: the
package is built with `pip install --no-build-isolation .`, offline.
"""

import os
import re
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = os.path.dirname(os.path.abspath(__file__))
BUILD_BASE = "build-python"
os.makedirs(os.path.join(ROOT, BUILD_BASE), exist_ok=True)  # egg_info writes there before any build


def header_version():
    with open(os.path.join(ROOT, "include", "exprcalc.h"), encoding="utf-8") as header:
        found = re.search(r'^#define EXPRCALC_VERSION "([0-9]+\.[0-9]+\.[0-9]+)"$', header.read(), re.M)
    if not found:
        raise SystemExit("include/exprcalc.h: no EXPRCALC_VERSION")
    return found.group(1)


class BuildWithLibrary(build_py):
    """build_py, then the library and the header's mirror into the package."""

    def run(self):
        super().run()
        build_dir = os.path.join(ROOT, BUILD_BASE, "cmake")
        configure = ["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                     "-DBUILD_SHARED_LIBS=ON", "-DEXPRCALC_BUILD_TESTS=OFF", "-DEXPRCALC_BUILD_TOOLS=OFF",
                     "-DEXPRCALC_BUILD_BENCHMARKS=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
        self._run(configure)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        self._run(["cmake", "--build", build_dir, "--target", "exprcalc", "-j", jobs])
        package = os.path.join(self.build_lib, "exprcalc")
        # The file the SONAME names, as a file: a wheel keeps no symbolic links.
        library = os.path.realpath(os.path.join(build_dir, "libexprcalc.so.1"))
        self.copy_file(library, os.path.join(package, "libexprcalc.so.1"))
        self.copy_file(os.path.join(build_dir, "bindings", "python", "_exprcalc_header.py"),
                       os.path.join(package, "_exprcalc_header.py"))

    def _run(self, command):
        self.announce(" ".join(command), level=2)
        subprocess.run(command, check=True)

    def get_outputs(self, include_bytecode=1):
        # What pip records for uninstalling: the copied files too.
        package = os.path.join(self.build_lib, "exprcalc")
        return super().get_outputs(include_bytecode) + [
            os.path.join(package, "libexprcalc.so.1"), os.path.join(package, "_exprcalc_header.py")]


def wheel_command():
    """bdist_wheel of the wheel package, which pip needs to build and install:
    the interpreter's own, else Debian's python3-wheel (a fresh virtual
    environment has setuptools but not wheel, and there may be no index to
    fetch it from). Only this build's process looks there."""
    try:
        from wheel.bdist_wheel import bdist_wheel
    except ImportError:
        debian = "/usr/lib/python3/dist-packages"
        if not os.path.isfile(os.path.join(debian, "wheel", "bdist_wheel.py")):
            return {}
        sys.path.append(debian)
        from wheel.bdist_wheel import bdist_wheel
    return {"bdist_wheel": bdist_wheel}


class BinaryDistribution(Distribution):
    """The package holds a shared library: its wheel is for one platform."""

    def has_ext_modules(self):
        return True


setup(
    version=header_version(),
    packages=["exprcalc"],
    package_dir={"": "bindings/python"},
    package_data={"exprcalc": ["py.typed"]},
    distclass=BinaryDistribution,
    cmdclass={"build_py": BuildWithLibrary, **wheel_command()},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
    zip_safe=False,
)
