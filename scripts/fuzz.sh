#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for SECONDS (default 60),
# one after the other, from the seed corpora in fuzz/corpus. A crash, a leak, a time-out (a
# hang) or an allocation past the limit is a finding: its input lands in
# $IO_BUILD_DIR/fuzz/findings/ and the script exits 1.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: document dbf ntx cdx expr codepage
# The corpus grown by a run stays in $IO_BUILD_DIR/fuzz/corpus/ and seeds the next run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(document dbf ntx cdx expr codepage)
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS] [TARGET...]" >&2; exit 2; }
builds=${IO_BUILD_DIR:-$root/build}
dir="$builds/fuzz"
jobs=${IO_JOBS:-2}

echo "=== fuzz: build in $dir"
mkdir -p "$dir"
if ! { cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_CXX_COMPILER=clang++ -DIO_FUZZ=ON -DIO_TESTS=OFF &&
       cmake --build "$dir" -j "$jobs" --target fuzz_all; } >"$dir/build.log" 2>&1; then
  tail -n 40 "$dir/build.log"
  echo "fuzz: BUILD FAILED (full log: $dir/build.log)"
  exit 1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$dir/findings"
bad=0 report=()
for t in "${targets[@]}"; do
  exe="$dir/fuzz/fuzz_$t"
  [ -x "$exe" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  corpus="$dir/corpus/$t"
  mkdir -p "$corpus"
  log="$dir/fuzz-$t.log"
  echo "=== fuzz: $t for $seconds s"
  rc=0
  # A run of one input past 10 s is a hang; one allocation past 256 MB is a finding too.
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
    "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  if [ $rc -ne 0 ]; then
    grep -E '^==[0-9]+==ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -n 8 || true
    report+=("$t: FINDING after ${runs:-?} runs (${cov:-no coverage line}); log $log")
    bad=1
  else
    report+=("$t: ${runs:-?} runs in $seconds s, ${cov:-no coverage line}, no finding")
  fi
done
echo "=== fuzz summary"
printf '%s\n' "${report[@]}"
exit $bad
