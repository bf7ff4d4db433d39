#!/usr/bin/env bash
# Checks that every C++ source under src, tests, bench and tools is formatted
# as .clang-format says; lists the files that are not. Exit 77 (skipped) when
# clang-format is not installed.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
command -v clang-format >/dev/null || { echo "clang-format not installed"; exit 77; }
mapfile -t files < <(find src tests bench tools -name '*.cpp' -o -name '*.h' | sort)
bad=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if ((${#bad[@]})); then
  printf 'not formatted (run clang-format -i): %s\n' "${bad[@]}"
  exit 1
fi
echo "${#files[@]} files formatted"
