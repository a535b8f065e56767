#!/usr/bin/env bash
# Installs what Orbelt needs, then checks it four ways, stopping at the
# first failure:
#  1. the Release build (build/) and every test, then its Debian package
#     installed, used and purged (as root; skipped elsewhere);
#  2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#     (build-asan/): any report ends its test, so the pass fails on any report;
#  3. the suites of the threaded code (task pool, regions, banded moves)
#     built with ThreadSanitizer (build-tsan/);
#  4. each libFuzzer target for a few seconds from its seed corpus
#     (build-fuzz/, clang), so the targets keep building and the seeds pass.
# Needs no display: Qt draws offscreen.
#
# Environment: ORBELT_SKIP_SANITIZERS=1 (both sanitizer passes) or ORBELT_SKIP_FUZZ=1 leave a pass out
# (for a quick local check); ORBELT_FUZZ_SECONDS sets the fuzz time per
# target (default 3; a real hunt is `bash fuzz/run-fuzzers.sh 600`).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
export QT_QPA_PLATFORM=offscreen

# Every build here treats a warning in project code as an error.
export ORBELT_WERROR=ON

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBELT_WERROR=ON
cmake --build build -j2
# The suite includes the Python package's pytest run (PythonPackage) and the
# installed library's consumer build; a build that quietly left the module
# out would skip the former, so its absence fails here.
if ! ctest --test-dir build -N -R '^PythonPackage$' | grep -q 'Total Tests: 1'; then
  echo "run-tests: the Python package was not built (pybind11-dev, python3-dev for /usr/bin/python3?)" >&2
  exit 1
fi
ctest --test-dir build --output-on-failure -j2 --timeout 900

echo "== Debian package: install, use, purge"
# Skips with a note where it cannot run as root (a developer's machine).
bash tools/check-deb-package.sh build

if [ "${ORBELT_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== Sanitizer build and tests"
  # -O1 and line tables only (-g1) keep the build short and the reports
  # readable. The benchmarks are left
  # out, and so are the public datasets (their tests skip): sanitizers look
  # for memory and arithmetic faults, which the small fixtures reach too.
  # The Python module and the installed-library consumer are left out here:
  # an instrumented extension loads only into an interpreter started with
  # the sanitizer runtime preloaded (LD_PRELOAD=libasan), whose own
  # allocations then bury the reports; both run in the Release pass.
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DORBELT_SANITIZE=ON -DORBELT_BUILD_BENCH=OFF -DORBELT_SHARED_DATA_DIR=/nonexistent/orbelt-data -DORBELT_WERROR=ON
  cmake --build build-asan -j2
  # Leaks are checked; the few that Qt and fontconfig keep until exit on
  # purpose are suppressed by name in the committed list.
  export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/reliability/lsan-suppressions.txt:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export ORBELT_SANITIZER_RUN=1
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
  unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS ORBELT_SANITIZER_RUN
fi

if [ "${ORBELT_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== Thread sanitizer on the code that splits one job over threads"
  # Only the suites of the libraries that run parts of one job at once (the
  # task pool, the graph searched in regions, the banded moves): a race there
  # can change a cut silently, and the plain suites see it only by luck.
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DORBELT_TSAN=ON -DORBELT_BUILD_BENCH=OFF -DORBELT_BUILD_APP=OFF \
    -DORBELT_SHARED_DATA_DIR=/nonexistent/orbelt-data -DORBELT_WERROR=ON
  cmake --build build-tsan -j2 --target orbelt_platform_tests orbelt_maxflow_tests orbelt_mrf_tests
  for suite in orbelt_platform_tests orbelt_maxflow_tests orbelt_mrf_tests; do
    TSAN_OPTIONS="halt_on_error=1" "build-tsan/bin/$suite" --gtest_brief=1
  done
fi

if [ "${ORBELT_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== Brief fuzz pass"
  # ORBELT_WERROR (exported above) reaches the fuzz build's configuration.
  bash fuzz/run-fuzzers.sh "${ORBELT_FUZZ_SECONDS:-3}"
fi
