#!/usr/bin/env bash
# Installs everything the library, its tests, benchmarks, tools and Python
# package need, from
# Debian's packages. Run as root (or through sudo).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  build-essential cmake pkg-config ca-certificates \
  libfftw3-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libsndfile1-dev libsoxr-dev libcli11-dev nlohmann-json3-dev \
  clang libclang-rt-dev binutils \
  python3 python3-numpy python3-cffi python3-matplotlib python3-soundfile \
  python3-dask python3-distributed python3-pandas python3-pytest python3-setuptools \
  python3-pip
