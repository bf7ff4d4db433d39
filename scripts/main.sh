#!/usr/bin/env bash
# Installs what is needed, builds, and runs the batch of the shipped workbook
# on a copy in the build folder, then prints the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
mkdir -p build/main-job
cp build/bin/VONTRALEK.xlsx build/main-job/VONTRALEK.xlsx
build/bin/vontralek-cli --sheet batch --pair ph build/main-job/VONTRALEK.xlsx
echo "Results written to build/main-job/VONTRALEK.xlsx (Batch sheet: columns K to CA, and CB to CD for the saturation indices and the charge-balance error the shipped settings ask for)."
