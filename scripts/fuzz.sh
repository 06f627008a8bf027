#!/usr/bin/env bash
# Builds the profile-file fuzz target with clang and libFuzzer and runs it for
# the given number of seconds (default 60) on a corpus that grows in
# build-fuzz/corpus, seeded from tests/fuzz/corpus.
#
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${TAMSEL_FUZZ_BUILD:-$root/build-fuzz}"

bash "$root/scripts/install-deps.sh"
if ! command -v clang++ >/dev/null 2>&1; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y -qq --no-install-recommends clang
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAMSEL_FUZZ=ON -DTAMSEL_TESTS=OFF -DTAMSEL_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j2 --target profile_fuzz

mkdir -p "$build/corpus"
cp -n "$root"/tests/fuzz/corpus/* "$build/corpus/" 2>/dev/null || true
# Short allocation stacks: the full ones cost more than the target itself.
export ASAN_OPTIONS="detect_leaks=1:malloc_context_size=2"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
./tests/fuzz/profile_fuzz -max_total_time="$seconds" -print_final_stats=1 \
  -dict="$root/tests/fuzz/dictionary" -max_len=4096 corpus
echo "corpus: $(ls corpus | wc -l) inputs, $(du -sh corpus | cut -f1)"
