#!/usr/bin/env bash
# Installs the dependencies, builds the library and runs it on its built-in
# demo signal.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVARNHOLT_BUILD_TESTS=OFF
cmake --build build/release -j "$(nproc)"
if [ -x build/release/tools/varnholt/varnholt ]; then
  build/release/tools/varnholt/varnholt demo
else
  build/release/examples/varnholt_example
fi
