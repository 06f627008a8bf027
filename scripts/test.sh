#!/usr/bin/env bash
# Builds Tamsel with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test headless under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_SANITIZE=ON -DTAMSEL_BENCH=OFF >/dev/null
cmake --build build-test -j"$(nproc)"

# Each test carries its own environment (the sanitizers' options, the web
# engine's sandbox switch), so a plain ctest in the build folder runs the same.
cd build-test
# A session bus of its own, as on a desktop: without one, Qt's accessibility
# bridge sometimes waits for ever while it looks for the bus.
dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300 "$@"
