#!/usr/bin/env bash
# Installs the Debian packages VONTRALEK needs. Without an argument: what the
# two programs and the shipped workbook need to build and run (the main job).
# With --test: also what the tests, the benchmarks, the Python module and its
# Dask examples, the .xls/.ods round trips, the fuzzer and the Debian package need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  # messages and the command line's options
  libfmt-dev libcli11-dev
  # the xlsx layer: zip container and XML parts
  libzip-dev libpugixml-dev libdeflate-dev libisal-dev zlib1g-dev
  # the shipped workbook is generated at build time
  libxlsxwriter-dev
  # tables: provenance record (JSON, SHA-256)
  nlohmann-json3-dev libssl-dev
  # the ordered pipeline of sample rows across worker threads (oneTBB)
  libtbb-dev
  # the desktop window
  qt6-base-dev
)
test_packages=(
  clang-format help2man
  # speciation core tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the xlsx layer's tests compare zip containers
  zipcmp zipmerge ziptool
  # fuzzing the reader with sanitizers
  clang libclang-rt-14-dev
  # .xls/.ods conversion (a runtime need only for those files) and the round-trip tests
  libreoffice-calc-nogui python3-openpyxl
  # the Python module, its pip install and its Dask test
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-dask python3-distributed
  python3-setuptools python3-pip python3-venv
  # the desktop windows' tests
  xvfb xauth fonts-comic-neue
  # the water diagrams: cairo draws SVG and PNG with the DejaVu fonts; rsvg-convert checks the SVG
  libcairo2-dev fonts-dejavu-core librsvg2-bin
  # clicking through the real program on the virtual X server (screenshots)
  xdotool
  # the Debian package: cpack -G DEB and its dependencies (dpkg-shlibdeps)
  dpkg-dev file
)
if [ "${1:-}" = --test ]; then packages+=("${test_packages[@]}"); fi

if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${packages[@]}"
