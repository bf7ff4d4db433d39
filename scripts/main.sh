#!/usr/bin/env bash
# The main job: installs what the programs need, builds the two programs and
# the shipped workbook (no tests, no benchmarks, no Python module), and runs
# the batch of the shipped workbook on a copy in the build folder, then prints
# the summary. scripts/test.sh builds and checks everything else.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The configure step leaves out what the main job does not use; test.sh
# configures the same folder again with everything on.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVONTRALEK_BUILD_TESTS=OFF -DVONTRALEK_BUILD_BENCH=OFF \
  -DVONTRALEK_BUILD_PYTHON=OFF "${launcher[@]}"
cmake --build build -j"$(nproc)" --target vontralek-cli vontralek vontralek_shipped_workbook
mkdir -p build/main-job
cp build/bin/VONTRALEK.xlsx build/main-job/VONTRALEK.xlsx
build/bin/vontralek-cli --sheet batch --pair ph build/main-job/VONTRALEK.xlsx
echo "Results written to build/main-job/VONTRALEK.xlsx (Batch sheet: columns K to CA; what the shipped settings ask for besides: CB to CD SI calcite, SI gypsum and the charge-balance error, CH the DIC, CI to CR the water quality, CS to CX the calcite saturation, from DC the saturation indices of the phases)."
