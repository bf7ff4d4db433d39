#!/usr/bin/env bash
# Configures and builds VONTRALEK into ./build (Release, tests and benchmarks included).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
