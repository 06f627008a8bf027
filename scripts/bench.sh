#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them on a virtual display:
# the C++ side of a refresh and the refresh cycle's own work (Google
# Benchmark, when installed), then the end-to-end preview latency, start-up
# and memory figures.
#
# Usage: scripts/bench.sh [preview_bench options, e.g. --iterations 60 --runs 7]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAMSEL_BENCH_BUILD:-$root/build-bench}"

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DTAMSEL_TESTS=OFF -DTAMSEL_BENCH=ON >/dev/null
fi
targets=(preview_bench typing_bench refresh_key_bench splitter_bench long_line_bench error_marks_bench export_bench tamsel tamsel-clipboard)
if grep -q '^benchmark_DIR:PATH=/' "$build/CMakeCache.txt"; then
  targets+=(preview_source_bench framework_bench settings_bench)
else
  echo "Google Benchmark not found: skipping the micro-benchmarks" >&2
fi
cmake --build "$build" -j2 --target "${targets[@]}"

# The web engine refuses to run as root inside its sandbox.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QT_QPA_PLATFORM=xcb
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-qt.webenginecontext=false}"

if [ -x "$build/bench/preview_source_bench" ]; then
  echo "== reading and packaging the preview file =="
  "$build/bench/preview_source_bench"
  echo "== the refresh cycle's own work =="
  dbus-run-session -- xvfb-run -a "$build/bench/framework_bench" 2>/dev/null
  echo "== the settings file at close and at show =="
  dbus-run-session -- xvfb-run -a "$build/bench/settings_bench" 2>/dev/null
fi

echo "== dragging the bar =="
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/splitter_bench" 2>/dev/null \
  || echo "the release did not lay the window out exactly once"

echo "== the editor with one line of 10 MiB: idle CPU and key latency =="
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/long_line_bench" 2>/dev/null

echo "== starting with a 50 MB line on the clipboard, against one formula =="
"$root/bench/big_start.sh" "$build" 50 3 2>/dev/null

echo "== the error marks of 5000 failing formulas =="
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/error_marks_bench" 2>/dev/null

echo "== a formula copied out of the preview =="
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/export_bench" 2>/dev/null

echo "== typing into 5000 formulas against one formula =="
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/typing_bench" 2>/dev/null

echo "== keys typed while a 10 MB text is refreshed, against no refresh =="
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/refresh_key_bench" 2>/dev/null

echo "== preview latency, first preview, memory =="
# A screen of its own for the whole run; the web engine's own chatter on
# stderr is dropped, the figures go to stdout.
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/preview_bench" "$@" 2>/dev/null
