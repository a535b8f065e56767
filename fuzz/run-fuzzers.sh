#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (coverage, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS, then prints one line
# per target: executions, seconds, corpus size and whether it crashed.
#
#   bash fuzz/run-fuzzers.sh 5                  # the brief pass CI makes
#   bash fuzz/run-fuzzers.sh 600                # a longer hunt, ten minutes each
#   bash fuzz/run-fuzzers.sh 60 fuzz_flow_graph # one target
#
# The seeds in fuzz/corpus/<name>/ (the target without fuzz_) are read, never written: inputs the
# fuzzer finds go to <build>/corpus/<target>/, crashing inputs to
# <build>/artifacts/<target>/ (reproduce with <build>/bin/<target> FILE; make
# each one a regression test in the normal suite). The build folder is
# $ORBELT_FUZZ_BUILD_DIR, default build-fuzz. ORBELT_WERROR=ON makes warnings
# errors (CI sets it). Exit status 1 when any target crashed or a build failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-10}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_exchange_parsing fuzz_image_pair fuzz_flow_graph fuzz_pfm fuzz_npy)
fi
build="${ORBELT_FUZZ_BUILD_DIR:-build-fuzz}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  # -O1 with line tables: quick to build, still fast to run, and every
  # report points at a source line.
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
    -DORBELT_BUILD_FUZZ=ON -DORBELT_BUILD_APP=OFF -DORBELT_BUILD_TESTS=OFF -DORBELT_BUILD_BENCH=OFF >/dev/null
fi
# Set on every run, so a folder configured before keeps up with the caller's choice.
cmake -S . -B "$build" -DORBELT_WERROR="${ORBELT_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# Leaks are reported too: a fuzz input that leaks is a finding like a crash.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

summary=()
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  log="$build/$target.log"
  status=0
  # The repository's seeds come second: read for the start, never written.
  "$build/bin/$target" "$corpus" "fuzz/corpus/${target#fuzz_}" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    result="no crash"
  else
    result="CRASH (status $status): $(ls "$artifacts" | head -3 | tr '\n' ' ')see $log"
    failed=1
  fi
  summary+=("$(printf '%-22s %10s runs %5s s %6s corpus files  %s' "$target" "${runs:-?}" "${took:-?}" "$files" "$result")")
done

echo
echo "fuzz summary (${seconds} s per target):"
printf '  %s\n' "${summary[@]}"
exit "$failed"
