#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs every test,
# then checks an installation (scripts/check_install.sh);
# then builds the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (build-sanitize: no windows, no benchmarks) and runs them, leaving out the
# LibreOffice round trips and the fuzzer, which has sanitizers of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
bash scripts/install-deps.sh --test
bash scripts/build.sh -DVONTRALEK_WERROR=ON
(cd build && ctest --output-on-failure -j"$(nproc)")
echo "build and tests: $((SECONDS - start)) s"
# Installing, the Debian package and pip, as a user gets them.
bash scripts/check_install.sh
echo "with the installation checks: $((SECONDS - start)) s"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# No -Werror here: GCC 12 reports false -Wrestrict and -Wmaybe-uninitialized
# warnings in the standard library when the sanitizers instrument it.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVONTRALEK_SANITIZE=ON -DVONTRALEK_WERROR=OFF \
  -DVONTRALEK_BUILD_UI=OFF -DVONTRALEK_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build build-sanitize -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)" -E 'Interop|workbook_fuzz|source\.')
echo "all, with the sanitizer build: $((SECONDS - start)) s"
