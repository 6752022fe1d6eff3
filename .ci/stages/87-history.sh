#!/usr/bin/env bash
# The session's history as a person meets it, in tmux: a line typed in one
# session is recalled by up-arrow in the next. Both line readers are tried:
# the calculator built with libedit (its development files installed here
# when missing) recalls the line; the plain reader, which cannot recall, keeps
# the same history file.
set -euo pipefail
cd "$(dirname "$0")/../.."

missing=()
command -v tmux >/dev/null || missing+=(tmux)
{ pkg-config --exists libedit 2>/dev/null || [ -f /usr/include/editline/readline.h ]; } || missing+=(libedit-dev)
command -v pkg-config >/dev/null || missing+=(pkg-config)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "history stage: ${missing[*]} missing, and only root can install them" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=build-history
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXPRCALC_BUILD_BENCHMARKS=OFF
grep -q '^EXPRCALC_LINE_READER:INTERNAL=libedit$' "$build/CMakeCache.txt" || {
  echo "history stage: the build did not find libedit" >&2
  exit 1
}
cmake --build "$build" -j2 --target exprcalc_cli exprcalc_cli_plain

work="$(mktemp -d)"
socket="$work/tmux"
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# Waits until the pane shows text; fails after about ten seconds.
wait_for() {
  for _ in $(seq 100); do
    tmux -S "$socket" capture-pane -p -t history | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  echo "history stage: the pane never showed '$1':" >&2
  tmux -S "$socket" capture-pane -p -t history >&2
  return 1
}

# Starts a session of calculator in a new tmux window and waits for its prompt.
start() {
  tmux -S "$socket" new-session -d -s history -x 80 -y 24 \
    "env XDG_STATE_HOME='$work/state-$2' TERM=xterm '$1'; echo SESSION-ENDED; sleep 30"
  wait_for 'exprcalc>'  # capture-pane drops the blank after it
}

finish() {
  tmux -S "$socket" send-keys -t history C-d
  wait_for SESSION-ENDED
  tmux -S "$socket" kill-session -t history
}

for reader in libedit plain; do
  calculator="$build/tools/exprcalc/exprcalc"
  [ "$reader" = plain ] && calculator="$build/tools/exprcalc/exprcalc-plain"
  start "$calculator" "$reader"
  tmux -S "$socket" send-keys -t history '6*7' Enter
  wait_for 42
  finish
  [ "$(tail -n 1 "$work/state-$reader/exprcalc/history")" = '6*7' ] || {
    echo "history stage ($reader): the line typed is not in the history file" >&2
    exit 1
  }
  if [ "$reader" = libedit ]; then
    start "$calculator" "$reader"
    tmux -S "$socket" send-keys -t history Up
    wait_for 'exprcalc> 6*7'
    tmux -S "$socket" send-keys -t history Enter
    wait_for 42
    finish
  fi
  echo "history stage ($reader): kept across sessions"
done
