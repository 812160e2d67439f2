#!/usr/bin/env bash
# Installs the dependencies, builds the library and runs it on its built-in
# demo signal; ends by drawing the demo's report with the Python package, as
# a PNG and as an interactive HTML page.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVARNHOLT_BUILD_TESTS=OFF
cmake --build build/release -j "$(nproc)"
if [ ! -x build/release/tools/varnholt/varnholt ]; then
  build/release/examples/varnholt_example
  exit
fi
build/release/tools/varnholt/varnholt demo --json build/release/demo.json
VARNHOLT_LIBRARY="$PWD/build/release/src/libvarnholt.so.1" PYTHONPATH="$PWD/python" \
  "${VARNHOLT_PYTHON:-/usr/bin/python3}" -m varnholt plot build/release/demo.json \
  -o "$PWD/build/release/demo-report.png"
VARNHOLT_LIBRARY="$PWD/build/release/src/libvarnholt.so.1" PYTHONPATH="$PWD/python" \
  "${VARNHOLT_PYTHON:-/usr/bin/python3}" -m varnholt plot build/release/demo.json \
  -o "$PWD/build/release/demo-report.html"
