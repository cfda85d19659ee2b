#!/bin/sh
# The program started where no display can be opened (DISPLAY unset, or
# naming a display that does not exist): it says so on standard error in its
# own words and exits 1, without a core dump.
# no_display.sh PROGRAM
set -u
PROGRAM=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
status=0
check() { # label, then the environment change
  label=$1; shift
  (cd "$WORK" && env "$@" "$PROGRAM" >"$WORK/out" 2>"$WORK/err")
  code=$?
  if [ "$code" -ne 1 ]; then
    echo "$label: exit code $code, expected 1"; cat "$WORK/err"; status=1
  fi
  if ! grep -q "Erro!: Falha na Abertura do programa!" "$WORK/err"; then
    echo "$label: no start-up failure on standard error:"; cat "$WORK/err"; status=1
  fi
}
check "DISPLAY unset" -u DISPLAY
check "DISPLAY of no server" DISPLAY=:97
exit $status
