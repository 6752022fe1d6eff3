#!/usr/bin/env bash
# CI stage: builds the Debian packages (debian/) with dpkg-buildpackage in a
# copy of the tree under build-deb/, checks them with lintian (any error or
# warning fails), unpacks them into a throwaway root with dpkg -x and runs
# the consumer tests (CMake package and pkg-config, shared and static, C and
# C++), the calculator and the Python binding's tests against what was
# packaged (tests/hosts/RunPackagedConsumers.cmake). The test suite itself
# ran in the first stages, so the package build skips it (nocheck) unless
# EXPRCALC_DEB_BUILD_OPTIONS says otherwise. Installs what it needs with
# apt-get when missing (as root).
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
work="$root/build-deb"
fail() { echo "debian: FAILED: $*" >&2; exit 1; }

# The tools, then the build dependencies that debian/control names.
tools=(dpkg-dev debhelper lintian fakeroot binutils pkgconf python3 cmake g++)
missing=()
for package in "${tools[@]}"; do
  dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed || missing+=("$package")
done
export DEBIAN_FRONTEND=noninteractive
apt_updated=0
apt_update_once() {
  [ "$apt_updated" = 1 ] && return
  [ "$(id -u)" = 0 ] || fail "installing packages needs root"
  apt-get update -q
  apt_updated=1
}
if [ "${#missing[@]}" -gt 0 ]; then
  echo "debian: installing ${missing[*]}"
  apt_update_once
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

version="$(dpkg-parsechangelog -l debian/changelog -SVersion)"
source_dir="$work/exprcalc-${version%-*}"
build_options="${EXPRCALC_DEB_BUILD_OPTIONS-nocheck parallel=2}"
profiles=()
[[ " $build_options " == *" nocheck "* ]] && profiles=(-Pnocheck)

# A copy of the tree as git has it (tracked files and new ones not ignored,
# as they are in the work tree), so that no build output lands in the tree.
rm -rf "$work"
mkdir -p "$source_dir"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
  [ -e "$file" ] && printf '%s\0' "$file"
done | tar --null -T - -cf - | tar -xf - -C "$source_dir"

if ! (cd "$source_dir" && dpkg-checkbuilddeps "${profiles[@]}") 2>/dev/null; then
  echo "debian: installing the build dependencies of debian/control"
  apt_update_once
  apt-get build-dep -y -q --no-install-recommends "$source_dir"
fi

echo "debian: dpkg-buildpackage -us -uc -b for $version"
(cd "$source_dir" && DEB_BUILD_OPTIONS="$build_options" dpkg-buildpackage -us -uc -b "${profiles[@]}") \
  >"$work/build.log" 2>&1 || { tail -n 80 "$work/build.log" >&2; fail "dpkg-buildpackage (log: $work/build.log)"; }
grep -E "^dpkg-gensymbols|^dpkg-shlibdeps" "$work/build.log" || true

changes=("$work"/exprcalc_*.changes)
[ -f "${changes[0]}" ] || fail "no .changes file in $work"
echo "debian: lintian"
lintian --fail-on error,warning --tag-display-limit 0 "${changes[0]}" || fail "lintian reports errors or warnings"

# The packages (not the debug symbols) unpacked side by side, as they would install.
packaged="$work/root"
for package in libexprcalc1 libexprcalc-dev exprcalc python3-exprcalc; do
  deb=("$work/${package}_${version}_"*.deb)
  [ -f "${deb[0]}" ] || fail "$package was not built"
  echo "debian: $(basename "${deb[0]}"): $(dpkg-deb -c "${deb[0]}" | awk '$1 !~ /^d/' | wc -l) files"
  dpkg -x "${deb[0]}" "$packaged"
done

cmake -DROOT="$packaged" -DSOURCE_DIR="$root" -DWORK_DIR="$work/consumers" \
  -DMULTIARCH="$(dpkg-architecture -qDEB_HOST_MULTIARCH)" \
  -P tests/hosts/RunPackagedConsumers.cmake
echo "debian: the packages build, pass lintian and serve their hosts"
