#!/usr/bin/env bash
# Builds Tamsel with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test headless under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_SANITIZE=ON -DTAMSEL_BENCH=OFF >/dev/null
cmake --build build-test -j"$(nproc)"

# Chromium's own allocations are not ours to check for leaks; the rest of
# AddressSanitizer and every UndefinedBehaviorSanitizer check stay on.
export ASAN_OPTIONS="detect_leaks=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export QTWEBENGINE_DISABLE_SANDBOX=1
cd build-test
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300 "$@"
