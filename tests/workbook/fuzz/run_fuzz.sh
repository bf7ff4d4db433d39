#!/usr/bin/env bash
# Builds the .xlsx reader with libFuzzer, address and undefined-behaviour sanitizers (clang) and fuzzes it.
#   run_fuzz.sh SOURCE_DIR WORK_DIR [RUNS]
#     The test suite's run: every input of the committed corpus (tests/workbook/fuzz/corpus), then RUNS mutations
#     (default 4000) from the fixed seed 1, so that the same inputs are tried every time and a failure comes back.
#   run_fuzz.sh SOURCE_DIR WORK_DIR --campaign SECONDS
#     A longer search with a new random seed, starting from the committed corpus; what it learns stays in
#     WORK_DIR/corpus for the next campaign. A find is saved as WORK_DIR/crash-* (or timeout-*, leak-*): replay it with
#     WORK_DIR/fuzz_xlsx_reader FILE, then add it to tests/workbook/fuzz/corpus with the fix.
set -euo pipefail
src=$1 work=$2
mode=ci runs=4000 seconds=0
if [ "${3:-}" = "--campaign" ]; then
  mode=campaign seconds=${4:?"--campaign needs SECONDS"}
elif [ -n "${3:-}" ]; then
  runs=$3
fi
command -v clang++ >/dev/null || { echo "clang++ is not installed: fuzzing skipped"; exit 77; }
mkdir -p "$work"
# In the suite's run, code whose coverage is not the input's alone gives the mutations no feedback (see the list).
ignore=()
[ "$mode" = ci ] && ignore=(-fsanitize-coverage-ignorelist="$src/tests/workbook/fuzz/coverage-ignore.txt")
# Every source of the workbook layer: the layer as the program links it.
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -ffp-contract=off \
  "${ignore[@]}" -I"$src/src" -DVONTRALEK_TEST_TMP=\"$work\" "$src"/src/workbook/*.cpp \
  "$src"/tests/workbook/{fuzz/FuzzXlsxReader,TestPackages}.cpp $(pkg-config --cflags --libs libzip libdeflate libisal pugixml xlsxwriter zlib fmt) \
  -o "$work/fuzz_xlsx_reader"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
options=(-max_len=65536 -timeout=10 -rss_limit_mb=1536 -print_final_stats=1 -error_exitcode=1 -artifact_prefix="$work/")
if [ "$mode" = ci ]; then
  # What the mutations find goes to a fresh folder, so that every run starts from the committed corpus alone.
  rm -rf "$work/ci-corpus" && mkdir "$work/ci-corpus"
  # -use_cmp=0: the writer's marks have random names, whose comparisons must not steer the mutations.
  "$work/fuzz_xlsx_reader" -seed=1 -runs="$runs" -use_cmp=0 "${options[@]}" "$work/ci-corpus" "$src/tests/workbook/fuzz/corpus"
else
  mkdir -p "$work/corpus"
  "$work/fuzz_xlsx_reader" -max_total_time="$seconds" "${options[@]}" "$work/corpus" "$src/tests/workbook/fuzz/corpus"
fi
