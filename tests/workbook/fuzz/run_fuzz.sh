#!/usr/bin/env bash
# Builds the .xlsx reader with libFuzzer and the address and undefined-behaviour
# sanitizers (clang), writes the seed packages and fuzzes for a while.
# Usage: run_fuzz.sh SOURCE_DIR WORK_DIR [SECONDS]. Exit 77: no clang (skipped).
set -euo pipefail
src=$1
work=$2
seconds=${3:-30}
command -v clang++ >/dev/null || { echo "clang++ is not installed: fuzzing skipped"; exit 77; }
mkdir -p "$work/corpus" "$work/seeds"
binary="$work/fuzz_xlsx_reader"
sources=("$src/src/workbook/XlsxWorkbook.cpp" "$src/src/workbook/XlsxXml.cpp" "$src/src/workbook/WorkbookFiles.cpp"
         "$src/src/workbook/Cells.cpp" "$src/tests/workbook/fuzz/FuzzXlsxReader.cpp")
rebuild=0
[ -x "$binary" ] || rebuild=1
for f in "${sources[@]}" "$src"/src/workbook/*.h; do [ "$f" -nt "$binary" ] && rebuild=1; done
if [ "$rebuild" = 1 ]; then
  # shellcheck disable=SC2046
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -ffp-contract=off -I"$src/src" "${sources[@]}" $(pkg-config --cflags --libs libzip pugixml) -o "$binary"
fi
/usr/bin/python3 "$src/tests/workbook/fuzz/make_seeds.py" "$work/seeds"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$binary" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1536 -print_final_stats=1 -error_exitcode=1 \
  -artifact_prefix="$work/" "$work/corpus" "$work/seeds"
