#!/usr/bin/env bash
# Runs every test on Debian 12 (installs what is missing first):
#   1. native  - Debug build, ctest
#   2. asan    - AddressSanitizer + UBSan build, ctest
#   3. windows - 32-bit Windows cross build (static .exe), checked to need only system DLLs,
#                its core tests run under Wine, headless, through ctest.
#   4. gui     - the real window (importobj-trace.exe, of the windows build) under Xvfb and Wine,
#                driven with xdotool; its screenshot after an import lands in
#                windows/gui-artefacts/window.png.
#   5. fuzz    - every libFuzzer target (scripts/fuzz.sh) for IO_FUZZ_SECONDS (default 60) each;
#                each target counts as one test, failed when it finds something.
# Usage: scripts/test.sh [native] [asan] [windows] [gui] [fuzz]   (default: all five, in order)
# IO_BUILD_DIR (default: build/ in the checkout) holds one folder per stage; IO_JOBS (default 2).
# The fixtures are read from tests/fixtures in the checkout, or from IO_FIXTURES.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"
source "$root/tests/support/wine-prefix.sh"
# The same locale wherever it runs (CI starts with almost no environment).
export LC_ALL=C.UTF-8

jobs=${IO_JOBS:-2}
builds=${IO_BUILD_DIR:-$root/build}
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native asan windows gui fuzz)
fixtures=${IO_FIXTURES:-$root/tests/fixtures}
[ -d "$fixtures" ] || { echo "test: no fixture folder at $fixtures (set IO_FIXTURES)" >&2; exit 1; }

report=() broken=() bad=0 all_passed=0 all_failed=0 all_skipped=0
trap 'io_wine_stop "$builds/windows/wineprefix"' EXIT

# Every .exe of the build must import system DLLs only, so it runs on a bare Windows.
check_imports() {  # build folder
  local exe dll ok=0
  while IFS= read -r exe; do
    i686-w64-mingw32-objdump -f "$exe" | grep -q 'file format pei-i386' ||
      { echo "test: $exe is not a 32-bit Windows program" >&2; ok=1; }
    while IFS= read -r dll; do
      case "${dll,,}" in
        lib*.dll | *gcc* | *stdc++* | *pthread*)
          echo "test: $exe needs $dll beside it (link it statically)" >&2
          ok=1
          ;;
      esac
    done < <(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  done < <(find "$1" -name '*.exe' -not -path '*/wineprefix/*' -not -path '*/CMakeFiles/*')
  return $ok
}

# A stage's build folder is $builds/NAME unless stage_dir names another; ctest_args choose tests.
# no_tests: why the stage's tests cannot run on this machine (it is then built and checked only).
stage_dir='' ctest_args=() no_tests=''

# Wine runs the 32-bit Windows programs only where the kernel runs 32-bit programs at all; some
# virtual machines have no 32-bit support ("Exec format error").
wine_problem() {
  local out
  out=$(timeout -k 5 60 wine --version 2>&1) && return 0
  echo "this machine cannot run Wine's 32-bit programs ($(tail -n 1 <<<"$out"))"
}
run_stage() {  # name, then cmake options
  local name=$1 dir="${stage_dir:-$builds/$1}" start=$SECONDS build_s test_s rc=0 line log
  shift
  echo "=== $name: build in $dir"
  mkdir -p "$dir"
  log="$dir/build.log"
  if ! { cmake -S "$root" -B "$dir" -G Ninja "$@" && cmake --build "$dir" -j "$jobs"; } >"$log" 2>&1
  then
    tail -n 60 "$log"
    echo "=== $name: BUILD FAILED (full log: $log)"
    report+=("$name: build failed after $((SECONDS - start)) s")
    bad=1 broken+=("$name")
    return
  fi
  build_s=$((SECONDS - start))
  if [ "$name" != native ] && [ "$name" != asan ] && ! check_imports "$dir"; then
    report+=("$name: programs need DLLs that Windows does not ship")
    bad=1 broken+=("$name")
    return
  fi
  if [ -n "$no_tests" ]; then
    echo "=== $name: built and checked; tests not run: $no_tests"
    report+=("$name: built and checked in ${build_s} s; tests not run: $no_tests")
    return
  fi
  log="$dir/ctest-$name.log"
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --no-tests=error "${ctest_args[@]}") \
    >"$log" 2>&1 || rc=$?
  test_s=$((SECONDS - start - build_s))
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ $rc -ne 0 ] || [ -z "$line" ]; then
    # The output of the tests that failed, each after its status line.
    awk '/^ *Start +[0-9]+: / { next }
         /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / { p = $0 !~ /(Passed|Skipped) +[0-9.]+ sec$/ }
         p' "$log" | head -n 3000
    bad=1
  fi
  echo "$line"
  local total failed skipped
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"${line:-out of 0}")
  failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"${line:-0 tests failed}")
  skipped=$(grep -c -E '^\s+[0-9]+ - .* \(Skipped\)$' "$log" || true)
  [ $rc -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
  all_passed=$((all_passed + total - failed - skipped))
  all_failed=$((all_failed + failed))
  all_skipped=$((all_skipped + skipped))
  report+=("$name: ${line:-ctest gave no summary (exit $rc)}; build ${build_s} s, tests ${test_s} s")
}

# The fuzz targets, a short run each; every target is one test of the total.
run_fuzz() {
  local start=$SECONDS log="$builds/fuzz-stage.log" rc=0 ok runs
  mkdir -p "$builds"
  IO_BUILD_DIR="$builds" bash "$root/scripts/fuzz.sh" "${IO_FUZZ_SECONDS:-60}" >"$log" 2>&1 || rc=$?
  if grep -q 'BUILD FAILED' "$log"; then
    tail -n 40 "$log"
    report+=("fuzz: build failed after $((SECONDS - start)) s")
    bad=1 broken+=(fuzz)
    return
  fi
  sed -n '/^=== fuzz summary/,$p' "$log"
  ok=$(grep -c ', no finding$' "$log" || true)
  runs=$(grep -c -E '^[a-z]+: (FINDING|[0-9?]+ runs)' "$log" || true)
  [ $rc -eq 0 ] || [ "$runs" -gt "$ok" ] || runs=$((ok + 1))
  [ $rc -eq 0 ] || { bad=1; grep -B2 -A8 'FINDING\|ERROR' "$log" | head -n 60; }
  all_passed=$((all_passed + ok))
  all_failed=$((all_failed + runs - ok))
  report+=("fuzz: $ok of $runs targets without a finding; $((SECONDS - start)) s")
}

for stage in "${stages[@]}"; do
  case "$stage" in
    native) run_stage native -DCMAKE_BUILD_TYPE=Debug ;;
    asan)
      export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
      export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
      run_stage asan -DCMAKE_BUILD_TYPE=Debug -DIO_SANITIZE=ON
      ;;
    windows | gui)
      # One Windows build serves both: the gui stage builds nothing new.
      stage_dir="$builds/windows"
      if [ "$stage" = windows ]; then ctest_args=(-LE gui); else ctest_args=(-L gui); fi
      no_tests=$(wine_problem || true)
      run_stage "$stage" -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
        -DIO_WINDOWS_TESTS=$([ -z "$no_tests" ] && echo ON || echo OFF)
      stage_dir='' ctest_args=() no_tests=''
      ;;
    fuzz) echo "=== fuzz: every target for ${IO_FUZZ_SECONDS:-60} s"; run_fuzz ;;
    *) echo "test: unknown stage $stage (native, asan, windows, gui, fuzz)" >&2; exit 2 ;;
  esac
done

echo "=== summary"
printf '%s\n' "${report[@]}"
if [ ${#broken[@]} -gt 0 ]; then
  echo "test: FAILED, no tests ran for: ${broken[*]}"
else
  echo "total: $all_passed passed, $all_failed failed, $all_skipped skipped"
fi
exit $bad
