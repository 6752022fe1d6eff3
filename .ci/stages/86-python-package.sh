#!/usr/bin/env bash
# CI stage: the Python package as pip installs it. In a new virtual
# environment of the python3 first on PATH, from a clean copy of the tree:
# `pip install --no-build-isolation .` with no index (offline); from /, the
# package imports and evaluates with its own library and no path set; the
# binding's tests run from a folder outside the tree against the installed
# package; help() documents every public name; Debian's mypy accepts a typed
# host (tests/python/typed_host.py) with --strict; `pip wheel` gives a wheel
# that holds the library, its mirror of the header and py.typed; and
# `pip uninstall` leaves no file behind. Installs what it needs with apt-get
# when missing (as root): python3-wheel (a fresh environment's setuptools
# builds wheels with it), python3-mypy.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
work="$root/build-python-package"
fail() { echo "python package: FAILED: $*" >&2; exit 1; }

missing=()
for package in python3-wheel python3-mypy cmake g++; do
  dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  [ "$(id -u)" = 0 ] || fail "installing ${missing[*]} needs root"
  echo "python package: installing ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A clean copy of the tree: what git has, tracked and new files not ignored.
rm -rf "$work"
mkdir -p "$work/clone" "$work/tests" "$work/wheels"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
  [ -e "$file" ] && printf '%s\0' "$file"
done | tar --null -T - -cf - | tar -xf - -C "$work/clone"

python3 -m venv "$work/venv"
python="$work/venv/bin/python"
unset PYTHONPATH EXPRCALC_LIBRARY LD_LIBRARY_PATH
# The environment's files before, less what pip compiles of itself as it runs.
listing() { (cd "$work/venv" && find . -type f -o -type l | grep -v -E '/(pip|setuptools|pkg_resources|_distutils_hack)/' | sort); }
"$python" -m pip --version >/dev/null
listing >"$work/before.txt"

echo "python package: pip install --no-build-isolation --no-index ."
(cd "$work/clone" && "$python" -m pip install -q --no-build-isolation --no-index .) >"$work/install.log" 2>&1 ||
  { tail -n 60 "$work/install.log" >&2; fail "pip install (log: $work/install.log)"; }

printed="$(cd / && "$python" -c 'import exprcalc; print(exprcalc.Library().evaluate("2*SIN(RAD(30))+1"))')"
[ "$printed" = "2.0" ] || fail "the installed package printed '$printed', not 2.0"
package_dir="$(cd / && "$python" -c 'import exprcalc, os; print(os.path.dirname(exprcalc.__file__))')"
case "$package_dir" in "$work/venv/"*) ;; *) fail "exprcalc imported from $package_dir";; esac
library="$(cd / && "$python" -c 'import exprcalc; print(exprcalc.Library().path)')"
[ "$library" = "$package_dir/libexprcalc.so.1" ] || fail "the library loaded is $library, not the package's own"
echo "python package: imported from $package_dir, the library beside it"

# The binding's tests, from a folder of their own, so that they import the
# installed package; checked against this tree's header, exports and judgement lines.
cp "$work/clone"/bindings/python/test_*.py "$work/clone/bindings/python/generate_header_module.py" "$work/tests/"
(cd "$work/tests" && EXPRCALC_LIBRARY="$library" EXPRCALC_HEADER="$work/clone/include/exprcalc.h" \
  EXPRCALC_EXPORT_LIST="$work/clone/src/module/exports.list" \
  EXPRCALC_JUDGEMENT_LINES="$work/clone/tests/judgement/lines.tsv" PYTHONDONTWRITEBYTECODE=1 \
  "$python" -m unittest discover -s . -p 'test_*.py') || fail "the binding's tests against the installed package"

# help(): a docstring on every public class, function and method.
(cd / && "$python" - <<'PYTHON') || fail "help(exprcalc) lacks docstrings"
import inspect, pydoc, exprcalc
missing = []
for name in exprcalc.__all__:
    item = getattr(exprcalc, name)
    if not (inspect.isclass(item) or inspect.isfunction(item)):
        continue
    if not item.__doc__:
        missing.append(name)
    members = vars(item).items() if inspect.isclass(item) else ()
    for member_name, member in members:
        if member_name.startswith("_") and member_name not in ("__call__", "__getitem__", "__setitem__",
                                                               "__delitem__", "__contains__", "__len__", "__iter__"):
            continue
        function = member.fget if isinstance(member, property) else getattr(member, "__func__", member)
        if (inspect.isfunction(function) or isinstance(member, property)) and not function.__doc__:
            missing.append(f"{name}.{member_name}")
assert not missing, f"no docstring: {missing}"
shown = pydoc.render_doc(exprcalc.Library, renderer=pydoc.plaintext)
for method in ("evaluate", "prepare", "explain", "judge", "execute"):
    assert f"{method}(" in shown, method
print(f"python package: help() documents every public name ({len(exprcalc.__all__)} exported)")
PYTHON

(cd / && "$python" "$root/tests/python/typed_host.py" >/dev/null) || fail "the typed host does not run"
/usr/bin/python3 -m mypy --strict --python-executable "$python" --cache-dir "$work/mypy-cache" \
  "$root/tests/python/typed_host.py" || fail "mypy --strict rejects the typed host"

echo "python package: pip wheel --no-build-isolation --no-index ."
(cd "$work/clone" && "$python" -m pip wheel -q --no-build-isolation --no-index --no-deps -w "$work/wheels" .) \
  >"$work/wheel.log" 2>&1 || { tail -n 60 "$work/wheel.log" >&2; fail "pip wheel (log: $work/wheel.log)"; }
wheel=("$work"/wheels/exprcalc-*.whl)
[ -f "${wheel[0]}" ] || fail "no wheel in $work/wheels"
"$python" - "${wheel[0]}" <<'PYTHON' || fail "the wheel lacks files"
import sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
needed = {"exprcalc/__init__.py", "exprcalc/_exprcalc_header.py", "exprcalc/py.typed", "exprcalc/libexprcalc.so.1"}
assert needed <= names, f"missing: {needed - names}"
assert "-none-any" not in sys.argv[1], "a wheel that holds a library is for one platform"
print(f"python package: {sys.argv[1].rsplit('/', 1)[-1]}: {len(names)} files")
PYTHON

"$python" -m pip uninstall -q -y exprcalc
listing >"$work/after.txt"
diff -u "$work/before.txt" "$work/after.txt" || fail "pip uninstall left files behind (or removed others)"
echo "python package: installed, tested, typed, wheeled and uninstalled without a trace"
