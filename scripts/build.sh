#!/usr/bin/env bash
# Configures and builds VONTRALEK into ./build (Release, tests and benchmarks
# included). Extra arguments go to the configure step (e.g. -DVONTRALEK_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Everything on, also in a build folder the main job configured with less.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVONTRALEK_BUILD_TESTS=ON -DVONTRALEK_BUILD_BENCH=ON \
  -DVONTRALEK_BUILD_PYTHON=ON "${launcher[@]}" "$@"
cmake --build build -j"$(nproc)"
