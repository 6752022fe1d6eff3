#!/usr/bin/env bash
# SVG plots as a browser shows them: the calculator plots SIN and COS over a
# period to an SVG file, headless Chromium (Debian's package, installed here
# when missing) renders it to a PNG, and the picture's pixels must show both
# curves on each side of the zero line and on it. Plots that once could not
# be read (a range of 10^-300 with its 300-digit labels, a legend longer than
# the picture is wide) must keep every text inside the picture and apart.
set -euo pipefail
cd "$(dirname "$0")/../.."

missing=()
command -v chromium >/dev/null || missing+=(chromium)
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "svg stage: ${missing[*]} missing, and only root can install them" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

[ -f build/CMakeCache.txt ] || cmake --preset default
cmake --build build -j2 --target exprcalc_cli

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Renders an SVG file to a PNG of the picture's own size.
render() {
  local height
  height="$(grep -o 'viewBox="0 0 [0-9.]* [0-9.]*"' "$1" | head -n 1 | awk '{print int($4)}')"
  timeout 300 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --screenshot="$2" --window-size="800,$height" \
    "file://$1" 2>"$work/chromium.log" || { cat "$work/chromium.log" >&2; exit 1; }
}

calculator=build/tools/exprcalc/exprcalc
"$calculator" --plot @X 0 '2*PAI' 'SIN(@X)' 'COS(@X)' -o "$work/plot.svg"
render "$work/plot.svg" "$work/plot.png"
python3 .ci/plot_picture.py "$work/plot.png"

# x labels, axis title, one legend line
"$calculator" --plot @X 0 '10^(0-300)' '@X' -o "$work/tiny.svg"
render "$work/tiny.svg" "$work/tiny.png"
python3 .ci/plot_picture.py "$work/tiny.png" --readable 3

# x labels, axis title, the long label cut short and why points are missing
# on a line of its own, and the short label with its reason on one line
sum="1/@X"
for _ in $(seq 60); do sum="$sum+@X"; done
"$calculator" --plot @X '0-1' 1 "$sum" '1/@X' -o "$work/legend.svg"
render "$work/legend.svg" "$work/legend.png"
python3 .ci/plot_picture.py "$work/legend.png" --readable 5
