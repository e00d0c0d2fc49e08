#!/usr/bin/env bash
# Builds the libFuzzer programs (preset "fuzz": clang-14 with AddressSanitizer,
# UndefinedBehaviorSanitizer and leak detection) and runs each for SECONDS.
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (default 60 s, every target)
# Fails when any target crashes, leaks, hangs (an input over 10 s) or grows
# beyond 512 MB. The corpus grows in build-fuzz/fuzz-run/corpus/<target>
# from run to run; what a failing target left is in
# build-fuzz/fuzz-run/artifacts/<target>/. Store such an input in
# tests/fuzz/regressions/<target>/ once fixed: the ordinary suite replays it.
set -euo pipefail

seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

all=(drop_file modem_answer gateway_body report_answer queue_stamp send_url xls xlsx csv)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

# SMS_FUZZ_NO_BUILD=1 runs what is built (two runs side by side must not both build).
if [ -z "${SMS_FUZZ_NO_BUILD:-}" ]; then
  bash scripts/setup.sh clang-14 libclang-rt-14-dev
  cmake --preset fuzz >/dev/null
  nice cmake --build --preset fuzz
fi

run=build-fuzz/fuzz-run
sheets=build-fuzz/tests/spreadsheet/data
failed=()
summary=()
for t in "${targets[@]}"; do
  program=build-fuzz/tests/fuzz/fuzz_$t
  [ -x "$program" ] || { echo "fuzz: no program for target $t" >&2; exit 2; }
  corpus=$run/corpus/$t
  artifacts=$run/artifacts/$t
  log=$run/$t.log
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  for d in tests/fuzz/corpus/$t tests/fuzz/regressions/$t; do
    [ -d "$d" ] && seeds+=("$d")
  done
  # The spreadsheet targets start from the reader tests' workbooks of their kind.
  case $t in
    xls|xlsx|csv)
      rm -rf "$run/seeds/$t"
      mkdir -p "$run/seeds/$t"
      # (small ones only: the largest seed sets the longest input the fuzzer tries)
      find "$sheets" -maxdepth 1 -name "*.$t" -size -16k -exec cp -f {} "$run/seeds/$t/" \;
      seeds+=("$run/seeds/$t")
      ;;
  esac

  echo "fuzz: $t for ${seconds}s"
  status=0
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$root/tests/fuzz/lsan.supp \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=512 -detect_leaks=1 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
  summary+=("$(printf '%-14s %10s execs  %-22s corpus %5s  %s' "$t" "${execs:-?}" "${cov:-?}" \
    "$(find "$corpus" -type f | wc -l)" "$([ $status -eq 0 ] && echo ok || echo FAILED)")")
  if [ $status -ne 0 ]; then
    failed+=("$t")
    echo "fuzz: $t FAILED (exit $status); its log: $log" >&2
    grep -E 'ERROR|SUMMARY|broken:|Test unit written' "$log" | head -20 >&2 || true
  fi
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: every target ran ${seconds}s clean"
