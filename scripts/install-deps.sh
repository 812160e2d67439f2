#!/usr/bin/env bash
# Installs everything the library, its tests, benchmarks, tools, Python
# package and Octave toolbox need, from
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
  python3-pip python3-pil \
  chromium chromium-driver python3-selenium \
  octave liboctave-dev gnuplot-nox fonts-freefont-otf
# uPlot, the plotting library the HTML report inlines into its pages, from
# npm into a fixed place outside the repository (VARNHOLT_UPLOT_DIR points
# elsewhere). Debian's npm only where no npm came with the machine's Node.js.
if ! command -v npm >/dev/null 2>&1; then
  apt-get install -y --no-install-recommends npm
fi
npm install --prefix /usr/local/share/varnholt-js --no-audit --no-fund uplot@1.6.32
