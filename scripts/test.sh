#!/usr/bin/env bash
# Installs the dependencies, then builds and runs the whole test suite twice:
# an optimised build with warnings as errors, and a debug build under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VARNHOLT_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
jobs=$(nproc)

echo "== optimised build, warnings as errors =="
cmake -S . -B build/ci-release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNHOLT_WERROR=ON \
  -DVARNHOLT_BUILD_BENCHMARKS=ON
cmake --build build/ci-release -j "$jobs"
ctest --test-dir build/ci-release --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/ci-asan -DCMAKE_BUILD_TYPE=Debug -DVARNHOLT_WERROR=ON \
  -DVARNHOLT_PACKAGE_TEST=OFF \
  -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize"
cmake --build build/ci-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/ci-asan --output-on-failure -j "$jobs"
