#!/usr/bin/env bash
# Start-up with a huge one-line text on the clipboard against a start with one
# formula on it, the yardstick, alternating in one run: the time until the
# window shows (the text is in the editor before the window shows), and the
# program's resident memory three seconds later and at its peak. Runs its own
# virtual display with a window manager; each start has its own runtime
# folder, so no other copy answers.
#
# Usage: bench/big_start.sh BUILD_DIR [MEGABYTES, default 50] [ROUNDS, default 3]
set -euo pipefail

build="$(cd "$1" && pwd)"
megabytes="${2:-50}"
rounds="${3:-3}"
work="$(mktemp -d)"
. "$(dirname "$0")/virtual-display.sh"

mkdir "$work/app"
cp "$build/app/tamsel" "$build/app/tamsel-clipboard" "$work/app/"
python3 -c "
import random, sys
random.seed(1)
words = ['alpha', 'x^2', '\\\\frac{a}{b}', 'beta', '\$y\$', 'gamma', '\\\\sum_{i=1}^n']
out, size = [], 0
while size < $megabytes * 1000 * 1000:
    w = random.choice(words); out.append(w); size += len(w) + 1
sys.stdout.write(' '.join(out))" > "$work/big.txt"
printf '%s' '$x^2$' > "$work/small.txt"

# Prints "seconds-to-window resident-MiB peak-MiB" for one start.
start() {
  local text="$1"
  export XDG_RUNTIME_DIR="$(mktemp -d "$work/run.XXXX")"
  chmod 700 "$XDG_RUNTIME_DIR"
  xclip -selection clipboard -i < "$text" >/dev/null 2>&1 &
  sleep 1
  local began ended pid
  began=$(date +%s.%N)
  (cd "$work/app" && exec ./tamsel >/dev/null 2>&1) &
  pid=$!
  pids+=("$pid")
  # Asked every 20 ms: xdotool's own wait asks every half second.
  until xdotool search --onlyvisible --name '^Tamsel$' >/dev/null 2>&1; do sleep 0.02; done
  ended=$(date +%s.%N)
  sleep 3
  local rss hwm
  rss=$(awk '/VmRSS/ {print int($2 / 1024)}' /proc/"$pid"/status)
  hwm=$(awk '/VmHWM/ {print int($2 / 1024)}' /proc/"$pid"/status)
  kill -9 "$pid"; pkill -9 -f "$work/app/tamsel-clipboard" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$work/app"/tamsel.tex*
  echo "$(echo "$ended - $began" | bc) $rss $hwm"
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq "$rounds"); do
  echo "round $round: one formula:   $(start "$work/small.txt")  (s to window, MiB resident, MiB peak)"
  echo "round $round: $megabytes MB line: $(start "$work/big.txt")"
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
