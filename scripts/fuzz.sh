#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one.
#   scripts/fuzz.sh            short runs from the seed corpus (what CI does)
#   scripts/fuzz.sh 600        each target for 600 seconds instead
# Findings are written to build/fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-}
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g"
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DVARNHOLT_BUILD_FUZZERS=ON -DVARNHOLT_BUILD_TESTS=OFF -DVARNHOLT_BUILD_TOOLS=OFF \
  -DVARNHOLT_BUILD_EXAMPLES=OFF
targets="loudness_from_levels sharpness loudness_stationary loudness_time roughness_dw tonality_aures ecma_tonality ecma_roughness levels stream analysis_samples"
for t in $targets; do cmake --build build/fuzz --target "fuzz_$t" -j "$(nproc)"; done
for t in $targets; do
  # The expensive metrics get fewer runs so the short mode stays short.
  case $t in
    loudness_from_levels|sharpness) runs=20000 ;;
    loudness_stationary|loudness_time|roughness_dw|tonality_aures|levels) runs=300 ;;
    ecma_roughness) runs=100 ;;
    stream) runs=60 ;;
    analysis_samples) runs=20 ;;
    *) runs=40 ;;
  esac
  work=build/fuzz/findings/$t
  mkdir -p "$work/corpus"
  if [ -n "$seconds" ]; then limit="-max_total_time=$seconds"; else limit="-runs=$runs"; fi
  echo "== fuzz_$t ($limit) =="
  ASAN_OPTIONS=detect_leaks=1 "build/fuzz/fuzz/fuzz_$t" $limit -max_len=4096 -timeout=60 \
    -artifact_prefix="$work/" "$work/corpus" "fuzz/corpus/$t"
done
echo "fuzzing: all targets ran without a finding"
