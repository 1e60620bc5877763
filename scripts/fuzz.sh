#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for the given seconds (default 60),
# the import from the sample files, the formula check from a few formulas, the workbook reader and
# template learner from a small template of the platform's shape. Exits non-zero when a target
# finds a crash, a leak or a hang (the input is left in build-fuzz/crashes/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTAXFERRY_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzz_import fuzz_formula fuzz_workbook
mkdir -p build-fuzz/corpus/import build-fuzz/corpus/formula build-fuzz/corpus/workbook build-fuzz/crashes
cp samples/*.txt build-fuzz/corpus/import/
cp tests/fuzz/*.xlsx build-fuzz/corpus/workbook/
printf '%s' '[24/数量]*[25/不含税金额]' >build-fuzz/corpus/formula/a
printf '%s' 'round([25/不含税金额],2)' >build-fuzz/corpus/formula/b
printf '%s' "case when [3/购方名称]='' then 1 else 0 end" >build-fuzz/corpus/formula/c
status=0
for target in import formula workbook; do
  echo "fuzz_$target: $seconds s"
  ASAN_OPTIONS=detect_leaks=0 build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=4096 -artifact_prefix=build-fuzz/crashes/ -print_final_stats=1 \
    build-fuzz/corpus/$target 2>build-fuzz/fuzz_$target.log || status=1
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ +DONE" build-fuzz/fuzz_$target.log || true
  if [ $status -ne 0 ]; then tail -n 40 build-fuzz/fuzz_$target.log; fi
done
exit $status
