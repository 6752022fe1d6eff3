#!/usr/bin/env bash
# CI stage: the documentation as a new user meets it. In a clean copy of the
# tree (build-docs/clone), every example of README.md and docs/ runs in order
# (tests/docs/check_examples.py): the set-up commands, the C, calculator and
# Python examples, installing with CMake into a new user's ~/.local, a host
# built with CMake and with pkg-config, the static library and, as root, the
# Debian packages built and installed (removed again at the end). Then the
# manual pages as cmake --install lays them out are checked: every export
# named, and each page rendered by `groff -ww -z` and `man -l` without a
# warning. Installs groff and man-db with apt-get when missing (as root).
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
work="$root/build-docs"
fail() { echo "docs: FAILED: $*" >&2; exit 1; }

missing=()
for package in groff-base man-db python3 cmake g++ pkgconf; do
  dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  [ "$(id -u)" = 0 ] || fail "installing ${missing[*]} needs root"
  echo "docs: installing ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

rm -rf "$work"
mkdir -p "$work/clone"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
  [ -e "$file" ] && printf '%s\0' "$file"
done | tar --null -T - -cf - | tar -xf - -C "$work/clone"

# As root on a machine of its own, CI also runs the examples that install
# packages; the exprcalc packages that the Debian example installs go again.
system=()
if [ "$(id -u)" = 0 ] && [ "${CI:-}" = true ]; then
  system=(--system)
  remove_packages() {
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q libexprcalc-dev libexprcalc1 >/dev/null 2>&1 || true
  }
  trap remove_packages EXIT
fi

# EXPRCALC_EXAMPLES_EXCLUDE (a regular expression) leaves blocks out when trying
# the stage on a shared machine; CI sets none.
exclude=()
[ -n "${EXPRCALC_EXAMPLES_EXCLUDE:-}" ] && exclude=(--exclude "$EXPRCALC_EXAMPLES_EXCLUDE")
unset PYTHONPATH EXPRCALC_LIBRARY LD_LIBRARY_PATH
(cd "$work/clone" && python3 tests/docs/check_examples.py --root "$work/clone" \
  --python "$work/clone/.venv/bin/python" "${system[@]}" "${exclude[@]}" README.md docs/*.md) || fail "an example"

# The manual pages, installed from the Release build that the examples made.
cmake --install "$work/clone/build-release" --prefix "$work/prefix" >/dev/null
cmake -DMAN_DIR="$work/prefix/share/man/man3" -DEXPORTS="$root/src/module/exports.list" \
  -DMODULE="$root/man/ManPageNames.cmake" -DREQUIRE_TOOLS=ON -P tests/docs/CheckManPages.cmake ||
  fail "the manual pages"
echo "docs: every example runs and every manual page renders"
