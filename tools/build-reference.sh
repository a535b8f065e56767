#!/usr/bin/env bash
# Builds an earlier commit's libraries with this tree's benchmark programs, in
# a scratch folder outside the repository, so that a benchmark can run the
# same measurement against both side by side (e.g. orbelt-mrf-bench
# --reference DIR/build/bin).
#
#   bash tools/build-reference.sh COMMIT DIR [TARGET...]
#
# COMMIT: any revision (e.g. the commit before the work being measured).
# DIR: scratch folder (e.g. /tmp/orbelt-ref); created, or refreshed when it
#   holds an earlier reference build. Never inside the repository.
# TARGET: what to build (default: orbelt-mrf-bench orbelt-maxflow-bench; the
#   commit's own orbelt-run-bench and orbelt-cli can be named too).
# The commit's sources come from `git archive` (no worktree is registered);
# bench/mrf and bench/maxflow are then taken from this tree, so both builds
# measure with the same benchmark code. Those two benchmarks use only the
# optimizer's and the graph's calls, in a form that builds against trees
# before and after the optimizer's calls began to return a Status; the mrf
# bench hands a pair's matcher costs to the reference as a file. The build
# is Release with ccache when present; prints the bin folder at the end.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: bash tools/build-reference.sh COMMIT DIR [TARGET...]" >&2
  exit 2
fi
commit=$1
dir=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(orbelt-mrf-bench orbelt-maxflow-bench)
fi

root=$(cd "$(dirname "$0")/.." && pwd)
git -C "$root" rev-parse --verify --quiet "$commit^{commit}" > /dev/null || {
  echo "build-reference: \"$commit\" is not a commit of $root" >&2
  exit 2
}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
case "$dir/" in
  "$root"/*) echo "build-reference: $dir is inside the repository; pick a scratch folder such as /tmp/orbelt-ref" >&2
             exit 2 ;;
esac
if [ -e "$dir/src" ] && [ ! -f "$dir/src/.orbelt-reference" ]; then
  echo "build-reference: $dir/src exists and is not a reference build's; pick an empty folder" >&2
  exit 2
fi

rm -rf "$dir/src"
mkdir -p "$dir/src"
git -C "$root" archive "$commit" | tar -x -C "$dir/src"
# The optimizer's and the graph's benchmarks as in this tree (the max-flow
# bench also reads the Boost oracle's header).
rm -rf "$dir/src/bench/mrf" "$dir/src/bench/maxflow"
cp -r "$root/bench/mrf" "$root/bench/maxflow" "$dir/src/bench/"
mkdir -p "$dir/src/tests/maxflow"
cp "$root/tests/maxflow/BoostFlowOracle.h" "$dir/src/tests/maxflow/"
git -C "$root" rev-parse "$commit" > "$dir/src/.orbelt-reference"

launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DORBELT_BUILD_TESTS=OFF -DORBELT_BUILD_APP=OFF -DORBELT_SHARED_DATA_DIR="$root/../shared/data" > "$dir/cmake.log"
cmake --build "$dir/build" -j2 --target "${targets[@]}"
echo "reference build of $(cat "$dir/src/.orbelt-reference") in $dir/build/bin"
