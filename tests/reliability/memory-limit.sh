#!/usr/bin/env bash
# orbelt-cli under a lowered address-space limit (ulimit -v): a run that
# cannot fit is refused before any work, with status 2 and a message about
# memory, and leaves the earlier map alone; a run that fits completes.
#   memory-limit.sh <orbelt-cli> <folder with Img0.png and Img1.png>
set -u
cli="$1"
data="$2"
if [ "${ORBELT_SANITIZER_RUN:-0}" = 1 ]; then
  echo "skipped: sanitizer builds reserve terabytes of address space, so no address-space limit can apply"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

limit_kib=$((600 * 1024))
printf 'the map of an earlier run' >"$work/earlier"
cp "$work/earlier" "$work/map.bmp"

# 400 x 300 x 2000 labels: the cost volume alone is about 915 MiB.
status=0
(ulimit -v "$limit_kib"; exec "$cli" "$data/Img0.png" "$data/Img1.png" -o "$work/map.bmp" \
  --disparity-range 2000 --half-win-size 2 --threads 1 --seed 1) >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 2 ] || fail "a run that cannot fit ended with status $status, not 2"
grep -q "of memory, but only" "$work/err" || fail "the refusal does not name memory: $(cat "$work/err")"
grep -q "pass\|cost volume:" "$work/err" && fail "work started before the refusal: $(cat "$work/err")"
cmp -s "$work/earlier" "$work/map.bmp" || fail "the earlier map was touched"
echo "refused as expected: $(grep "of memory" "$work/err")"

# The same pair with 8 labels needs a few tens of MiB: it must complete
# under the same limit.
status=0
(ulimit -v "$limit_kib"; exec "$cli" "$data/Img0.png" "$data/Img1.png" -o "$work/map.bmp" \
  --disparity-range 8 --half-win-size 2 --threads 1 --seed 1 -q) >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 0 ] || fail "a run that fits ended with status $status: $(cat "$work/err")"
grep -q "^wrote " "$work/out" || fail "a run that fits did not report its map"
cmp -s "$work/earlier" "$work/map.bmp" && fail "a run that fits did not replace the map"

[ "$failures" = 0 ] && echo "memory limit: both runs behaved"
exit $((failures > 0))
