#!/usr/bin/env bash
# Installs the dependencies, then builds and runs the whole test suite:
#   1. an optimised build with warnings as errors (benchmarks built too);
#   2. the Python package's tests (pytest) against the library and tool of 1;
#   3. the MATLAB / Octave toolbox's tests in Octave, on the MEX gateway of 1;
#   4. a debug build under AddressSanitizer + UndefinedBehaviorSanitizer,
#      LeakSanitizer on (the allocation-failure sweep runs here too);
#   5. the concurrency tests under ThreadSanitizer;
#   6. short runs of every libFuzzer target (scripts/fuzz.sh).
# Set VARNHOLT_SKIP_INSTALL=1 to skip the apt step on a prepared machine, and
# VARNHOLT_PYTHON to use another interpreter than Debian's /usr/bin/python3.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VARNHOLT_SKIP_INSTALL:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== 1/6 optimised build, warnings as errors =="
cmake -S . -B build/ci-release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNHOLT_WERROR=ON \
  -DVARNHOLT_BUILD_BENCHMARKS=ON -DVARNHOLT_BUILD_OCTAVE=ON
cmake --build build/ci-release -j "$jobs"
ctest --test-dir build/ci-release --output-on-failure -j "$jobs" | tee -a "$log"

echo "== 2/6 Python package (pytest) against the library and tool of stage 1 =="
pylog=$(mktemp)
trap 'rm -f "$log" "$pylog"' EXIT
set +e
(cd python && VARNHOLT_LIBRARY="$PWD/../build/ci-release/src/libvarnholt.so.1" \
  VARNHOLT_TOOL="$PWD/../build/ci-release/tools/varnholt/varnholt" PYTHONPATH="$PWD" \
  PYTHONDONTWRITEBYTECODE=1 "${VARNHOLT_PYTHON:-/usr/bin/python3}" -m pytest -q \
  -p no:cacheprovider) | tee "$pylog"
pytest_status=${PIPESTATUS[0]}
set -e
# Any exit code but 0 is a failure: 1 failed tests, 2 interrupted, 3 internal
# error, 4 usage error, 5 no tests collected.
if [ "$pytest_status" -ne 0 ]; then
  echo "pytest failed (exit status $pytest_status)" >&2
  exit "$pytest_status"
fi
pytests=$(sed -n 's/^\([0-9]*\) passed.*/\1/p' "$pylog" | tail -1)

echo "== 3/6 MATLAB / Octave toolbox (Octave) on the MEX gateway of stage 1 =="
octlog=$(mktemp)
trap 'rm -f "$log" "$pylog" "$octlog"' EXIT
set +e
VARNHOLT_TOOL="$PWD/build/ci-release/tools/varnholt/varnholt" \
  octave --no-gui --no-window-system --norc --eval \
  "addpath('matlab', 'matlab/tests', 'build/ci-release/matlab'); run_tests" \
  2>&1 | tee "$octlog"
octave_status=${PIPESTATUS[0]}
set -e
octtests=$(sed -n 's/^octave: \([0-9]*\) passed, 0 failed$/\1/p' "$octlog" | tail -1)
if [ "$octave_status" -ne 0 ] || [ -z "$octtests" ]; then
  echo "the Octave tests failed (exit status $octave_status)" >&2
  exit 1
fi
# The Octave package installs with pkg into a prefix of its own and runs.
cmake --build build/ci-release --target octave-package
version=$(sed -n 's/^project(varnholt VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
pkgprefix=$(mktemp -d)
trap 'rm -f "$log" "$pylog" "$octlog"; rm -rf "$pkgprefix"' EXIT
octave --no-gui --no-window-system --norc --eval "
  pkg('prefix', '$pkgprefix', '$pkgprefix'); pkg('local_list', '$pkgprefix/octave_packages');
  pkg('install', '$PWD/build/ci-release/matlab/varnholt-$version.tar.gz');
  pkg('load', 'varnholt');
  r = varnholt.loudness(sqrt(2) * 2e-3 * sin(2 * pi * 1000 * (0:47999)' / 48000));
  if abs(r.N - 1) > 0.01, exit(1); end"

echo "== 4/6 AddressSanitizer + UndefinedBehaviorSanitizer =="
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/ci-asan -DCMAKE_BUILD_TYPE=Debug -DVARNHOLT_WERROR=ON \
  -DVARNHOLT_PACKAGE_TEST=OFF \
  -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize"
cmake --build build/ci-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/ci-asan --output-on-failure -j "$jobs" | tee -a "$log"

echo "== 5/6 ThreadSanitizer: concurrent calls, FFT planning, threaded streams and analyses =="
tsan="-fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B build/ci-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNHOLT_PACKAGE_TEST=OFF \
  -DVARNHOLT_BUILD_TOOLS=OFF -DVARNHOLT_BUILD_EXAMPLES=OFF \
  -DCMAKE_C_FLAGS="$tsan" -DCMAKE_CXX_FLAGS="$tsan" \
  -DCMAKE_EXE_LINKER_FLAGS="$tsan" -DCMAKE_SHARED_LINKER_FLAGS="$tsan"
cmake --build build/ci-tsan -j "$jobs" --target core_fft_test hardening_concurrency_test \
  stream_api_test analysis_interface_test
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/ci-tsan --output-on-failure \
  -R '^(Fft\.Concurrent|ExportDeterminism|Exports/ExportDeterminism|AllExportsAtOnce|StreamThreads|analysis_interface\.AnalysisThreads)' | tee -a "$log"

echo "== 6/6 fuzz targets, short runs =="
./scripts/fuzz.sh
fuzzers=$(find fuzz -maxdepth 1 -name 'fuzz_*.cpp' | wc -l)

# Every stage above stops the script on its first failure, so reaching this
# line means all of them passed.
tests=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" |
  awk '{ total += $1 } END { print total + 0 }')
echo "summary: $((tests + ${pytests:-0} + octtests + fuzzers)) passed, 0 failed"
