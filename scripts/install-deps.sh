#!/usr/bin/env bash
# Installs everything the library, its tests, benchmarks and tools need, from
# Debian's packages. Run as root (or through sudo).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  build-essential cmake pkg-config ca-certificates \
  libfftw3-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libsndfile1-dev libsoxr-dev libcli11-dev nlohmann-json3-dev \
  clang libclang-rt-dev binutils
