#!/bin/sh
# The desktop program started where no window can open: it must say why and
# end with status 2 (instead of Qt's abort and core dump).
# Usage: without-display.sh <path-to-orbelt>
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" 2>&1)
status=$?
printf '%s\n' "$out"
if [ "$status" -ne 2 ]; then
  echo "expected exit status 2, got $status"
  exit 1
fi
printf '%s\n' "$out" | grep -q 'no display to open the dialog on: DISPLAY and WAYLAND_DISPLAY are unset' || {
  echo "the message does not say that the display is missing"
  exit 1
}
# --help and --version answer without a display (the manual page is made
# from them on build machines that have none), with status 0.
for option in --help --version; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" "$option" 2>&1)
  status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "$out"
    echo "orbelt $option: expected exit status 0, got $status"
    exit 1
  fi
  case "$option:$out" in
    --help:"Usage: orbelt"*|--version:"orbelt "[0-9]*) ;;
    *) printf '%s\n' "$out"; echo "orbelt $option printed something else"; exit 1 ;;
  esac
done
