#!/usr/bin/env bash
# Installs every Debian package VONTRALEK needs to build, run and test.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  # messages and the command line's options
  libfmt-dev libcli11-dev
  # speciation core tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the xlsx layer: zip container and XML parts
  libzip-dev zipcmp zipmerge ziptool libpugixml-dev libdeflate-dev libisal-dev zlib1g-dev
  # the shipped workbook is generated at build time
  libxlsxwriter-dev
  # fuzzing the reader with sanitizers
  clang libclang-rt-14-dev
  # .xls/.ods conversion and the round-trip tests
  libreoffice-calc-nogui python3-openpyxl
  # tables: provenance record (JSON, SHA-256); the Python module and its Dask test
  nlohmann-json3-dev libssl-dev
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-dask python3-distributed
  # the desktop windows and their tests
  qt6-base-dev xvfb xauth fonts-comic-neue
  # the water diagrams: cairo draws SVG and PNG with the DejaVu fonts; rsvg-convert checks the SVG
  libcairo2-dev fonts-dejavu-core librsvg2-bin
  # clicking through the real program on the virtual X server (screenshots)
  xdotool
)

if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${packages[@]}"
