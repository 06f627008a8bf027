#!/usr/bin/env bash
# Builds Tamsel, installs it for the user (a folder of its own, the
# applications menu, the icon, a `tamsel` command; scripts/install.sh) and
# starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
prefix="${TAMSEL_PREFIX:-$HOME/.local/opt/tamsel}"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTAMSEL_TESTS=OFF -DTAMSEL_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build build-release --target tamsel -j"$(nproc)"
bash scripts/install.sh build-release

# The web engine refuses to run as root inside its sandbox.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
echo "Starting $prefix/tamsel"
exec "$prefix/tamsel"
