#!/usr/bin/env bash
# Idle cost of the program against a window with a bare editor: wakeups
# (context switches of every thread) and CPU time per second of the whole
# process tree, over a span with nothing typed, with the window focused and
# with another window focused. Runs its own virtual display with a window
# manager.
#
# Usage: bench/idle.sh BUILD_DIR [SECONDS]
set -euo pipefail

build="$(cd "$1" && pwd)"
seconds="${2:-30}"
work="$(mktemp -d)"
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
. "$(dirname "$0")/virtual-display.sh"

tree() {
  local pid="$1"
  echo "$pid"
  for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do tree "$child"; done
}

# Prints "task switches ticks" for every thread of the process tree.
counters() {
  local p t
  for p in $(tree "$1"); do
    for t in /proc/"$p"/task/*; do
      awk -v id="$p/${t##*/}" '/ctxt_switches/ { s += $2 } END { printf "%s %d ", id, s }' "$t/status" 2>/dev/null || continue
      awk '{ print $14 + $15 }' "$t/stat" 2>/dev/null || echo 0
    done
  done | sort
}

# Threads that ended meanwhile are left out of the sums.
measure() {
  local name="$1" pid="$2" state="$3"
  counters "$pid" >"$work/before"
  sleep "$seconds"
  counters "$pid" >"$work/after"
  join "$work/before" "$work/after" | awk -v n="$name" -v st="$state" -v d="$seconds" -v hz="$(getconf CLK_TCK)" \
    '{ s += $4 - $2; t += $5 - $3 }
     END { printf "%-14s %-10s %8.1f wakeups/s %8.2f ms CPU/s\n", n, st, s / d, t * 1000 / hz / d }'
}

# The top-level window of a process (child widgets may have windows too).
window() {
  timeout 30 xdotool search --all --sync --onlyvisible --pid "$1" --name . | head -1
}

# Another window to take the focus away.
"$build/bench/plain_editor" >/dev/null 2>&1 &
other=$!
pids+=($other)

run() {
  local name="$1"; shift
  (cd "$work" && exec "$@") >/dev/null 2>&1 &
  local pid=$!
  pids+=($pid)
  sleep 10
  xdotool windowactivate --sync "$(window "$pid")"
  sleep 2
  measure "$name" "$pid" focused
  xdotool windowactivate --sync "$(window "$other")"
  sleep 2
  measure "$name" "$pid" unfocused
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

cp "$build/app/tamsel" "$work/tamsel"
run "plain editor" "$build/bench/plain_editor"
run "tamsel" "$work/tamsel"
