#!/usr/bin/env bash
# Cross-builds exprcalc.dll with MinGW-w64 for 64-bit and 32-bit x86 Windows
# (build-mingw64/, build-mingw32/) and checks each DLL's export table: exactly
# the names of the export list, undecorated, at the ordinals that the build
# generated from it (exprcalc-exports.txt in the build directory, "name
# ordinal" a line), and no MinGW runtime DLL among its imports. The C host
# test is built for both, and linked with the 64-bit static library; it runs
# against the 64-bit DLL and with the static library under wine when wine is
# there.
# Installs the cross compilers with apt-get when missing (as root); with
# --with-wine, installs wine64 too and requires the test run.
#   usage: tools/windows/cross-build.sh [--with-wine]
set -euo pipefail
with_wine=0
[ "${1:-}" = "--with-wine" ] && with_wine=1

root="$(cd "$(dirname "$0")/../.." && pwd)"
fail() { echo "cross-build: FAILED: $*" >&2; exit 1; }

apt_updated=0
apt_install() {
  [ "$(id -u)" = 0 ] || fail "installing $* needs root"
  export DEBIAN_FRONTEND=noninteractive
  if [ "$apt_updated" = 0 ]; then apt-get update -q; apt_updated=1; fi
  apt-get install -y -q "$@"
}

install_toolchains() {
  command -v x86_64-w64-mingw32-g++ >/dev/null && command -v i686-w64-mingw32-g++ >/dev/null && return
  echo "cross-build: installing the MinGW-w64 cross compilers"
  # Debian 12 splits each compiler into -win32 and -posix thread models; the
  # win32 one needs no winpthread DLL. Older releases have only the plain names.
  apt_install g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 ||
    apt_install g++-mingw-w64-x86-64 g++-mingw-w64-i686
}

# The expected table, "ordinal name" a line, from the file the configuration
# generated out of the export list.
expected_exports() {
  local exports_file="$1"
  [ -s "$exports_file" ] || fail "$exports_file was not generated"
  awk '{ print $2, $1 }' "$exports_file" | sort -n
}

check_exports() {
  local dll="$1" objdump="$2" exports_file="$3" dump base eat_size actual expected
  [ -f "$dll" ] || fail "$dll was not built"
  dump="$("$objdump" -p "$dll")"
  base="$(awk '/^Ordinal Base/ { print $3; exit }' <<<"$dump")"
  [ -n "$base" ] || fail "$dll has no export table"
  eat_size="$(grep -E '^[[:space:]]+Export Address Table[[:space:]]+[0-9a-fA-F]+$' <<<"$dump" | awk '{ print $NF; exit }')"
  # objdump lists each name with its ordinal less the ordinal base.
  actual="$(awk -v base="$base" '
      /^\[Ordinal\/Name Pointer\] Table/ { listing = 1; next }
      listing && /^[[:space:]]*$/ { exit }
      listing { sub(/^[[:space:]]*\[[[:space:]]*/, ""); split($0, part, /\][[:space:]]*/); print part[1] + base, part[2] }
    ' <<<"$dump" | sort -n)"
  expected="$(expected_exports "$exports_file")"
  if grep -q '@' <<<"$actual"; then
    fail "$dll exports decorated names (not the C calling convention):"$'\n'"$actual"
  fi
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    fail "$dll: exported names or ordinals differ from $exports_file (< expected, > actual)"
  fi
  [ "$((16#$eat_size))" = "$(wc -l <<<"$expected")" ] ||
    fail "$dll: export address table has $((16#$eat_size)) entries"
  grep -q "^Name .* exprcalc.dll$" <<<"$dump" || fail "$dll: export table does not name exprcalc.dll"
  if grep -iE 'DLL Name: (libgcc|libstdc|libwinpthread)' <<<"$dump" >&2; then
    fail "$dll depends on MinGW runtime DLLs"
  fi
  echo "cross-build: $dll exports $(wc -l <<<"$actual") undecorated names at ordinals 1-$(wc -l <<<"$expected")"
}

build_dll() {
  local triplet="$1" build_dir="$2" toolchain="$3"
  cmake -S "$root" -B "$build_dir" --toolchain "$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF \
    -DEXPRCALC_WARNINGS_AS_ERRORS=ON
  cmake --build "$build_dir" --target exprcalc -j2
  check_exports "$build_dir/exprcalc.dll" "$triplet-objdump" "$build_dir/exprcalc-exports.txt"
  # The C host compiles against the header as a Windows program would (dllimport, __cdecl).
  "$triplet-gcc" -std=c99 -pedantic -Wall -Wextra -Werror -I"$root/include" \
    "$root/tests/hosts/CHostTest.c" "$build_dir/libexprcalc.dll.a" -static-libgcc \
    -o "$build_dir/CHostTest.exe"
}

# The static library (BUILD_SHARED_LIBS=OFF) for 64-bit Windows: its objects
# carry no DLL export directives, and the C host links it into a program
# that imports no exprcalc.dll. Hosts define EXPRCALC_STATIC, so that the
# header declares the functions without dllimport: without it the link
# looks for __imp_ names that no archive defines, which is checked too.
build_static() {
  local triplet="$1" build_dir="$2" toolchain="$3" archive host imports
  cmake -S "$root" -B "$build_dir" --toolchain "$toolchain" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF \
    -DEXPRCALC_WARNINGS_AS_ERRORS=ON
  cmake --build "$build_dir" --target exprcalc -j2
  archive="$build_dir/libexprcalc.a"
  [ -f "$archive" ] || fail "$archive was not built"
  if "$triplet-strings" -a "$archive" | grep -q -- "-export:"; then
    fail "$archive holds DLL export directives"
  fi
  host=(-std=c99 -pedantic -Wall -Wextra -Werror -I"$root/include" "$root/tests/hosts/CHostTest.c" "$archive"
        -static -lstdc++)
  if "$triplet-gcc" "${host[@]}" -o "$build_dir/CHostTestDllImport.exe" 2>/dev/null; then
    fail "the C host linked the archive with the header's dllimport declarations"
  fi
  "$triplet-gcc" -DEXPRCALC_STATIC "${host[@]}" -o "$build_dir/CHostTest.exe"
  imports="$("$triplet-objdump" -p "$build_dir/CHostTest.exe" | grep -i 'DLL Name')"
  if grep -iE 'exprcalc|libgcc|libstdc|libwinpthread' <<<"$imports" >&2; then
    fail "$build_dir/CHostTest.exe imports a DLL it should have linked statically"
  fi
  echo "cross-build: $archive links statically into the C host"
}

install_toolchains
build_dll x86_64-w64-mingw32 "$root/build-mingw64" "$root/tools/windows/mingw-w64-x86_64.cmake"
build_dll i686-w64-mingw32 "$root/build-mingw32" "$root/tools/windows/mingw-w64-i686.cmake"
build_static x86_64-w64-mingw32 "$root/build-mingw64-static" "$root/tools/windows/mingw-w64-x86_64.cmake"

if [ "$with_wine" = 1 ] && ! command -v wine >/dev/null; then
  echo "cross-build: installing wine64"
  apt_install wine64
fi
if command -v wine >/dev/null; then
  echo "cross-build: running the C host test against the 64-bit DLL under wine"
  export WINEDEBUG=-all WINEPREFIX="$root/build-mingw64/wineprefix"
  wine "$root/build-mingw64/CHostTest.exe" || fail "the C host test failed against the 64-bit DLL"
  echo "cross-build: running the C host test linked with the 64-bit static library under wine"
  wine "$root/build-mingw64-static/CHostTest.exe" || fail "the C host test failed with the 64-bit static library"
  wineserver -k 2>/dev/null || true
elif [ "$with_wine" = 1 ]; then
  fail "wine is not available"
else
  echo "cross-build: wine not found; the Windows programs were built but not run"
fi
echo "cross-build: both DLLs and the static library are good"
