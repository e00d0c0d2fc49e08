#!/usr/bin/env bash
# Builds the instrumented tree (build-coverage/), runs every test in it and reports the line coverage of
# src/ alone: tests, tools, benchmarks and moc/autogen output are left out of the figure.
#   scripts/coverage.sh      summary on stdout, HTML report in build-coverage/coverage/index.html
# Exits non-zero when the build or a test fails; the report is still written after failing tests, so the
# figure of a red run can be looked at, but it is not a "before" or "after" figure to quote.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

bash scripts/setup.sh --test gcovr

cmake --preset coverage >/dev/null
cmake --build --preset coverage
# Counters from an earlier run would add up with this one's.
find build-coverage -name '*.gcda' -delete
tests_status=0
ctest --preset coverage || tests_status=$?

out=build-coverage/coverage
rm -rf "$out"
mkdir -p "$out"
gcovr --root . --object-directory build-coverage \
  --filter 'src/' --exclude '.*_autogen/.*' --exclude '.*moc_.*' \
  --exclude 'tests/' --exclude 'tools/' --exclude 'bench/' \
  --gcov-ignore-parse-errors -j 2 \
  --txt "$out/coverage.txt" --html-details "$out/index.html" --print-summary

echo "coverage: report in $out/index.html and $out/coverage.txt ($((SECONDS - start)) s)"
if [ "$tests_status" -ne 0 ]; then
  echo "coverage: tests failed (ctest status $tests_status)" >&2
fi
exit "$tests_status"
