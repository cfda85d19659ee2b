#!/bin/sh
# Compiles every source file of the window program with MinGW-w64 against
# the real Windows headers, so the window code stays real Win32.
# Only the program's own folders (and JsonCpp's, should a header need it)
# are on the include path, never the whole /usr/include.
set -eu
cd "$(dirname "$0")/.."
CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++}
if ! command -v "$CXX" >/dev/null 2>&1; then
  echo "check-win32: $CXX not found (package g++-mingw-w64-x86-64)" >&2
  exit 1
fi
INCLUDES="-Iapp -Iservice -Isip"
[ -d /usr/include/jsoncpp ] && INCLUDES="$INCLUDES -I/usr/include/jsoncpp"
status=0
for src in app/*.cpp; do
  case "$src" in app/main_linux.cpp) continue ;; esac
  if ! $CXX -fsyntax-only -std=c++17 -Wall -Wextra -finput-charset=UTF-8 \
       -fexec-charset=ISO-8859-1 $INCLUDES "$src"; then
    echo "check-win32: $src does not build for Windows" >&2
    status=1
  fi
done
# The resource script as well: bitmap, icons, accelerators and manifest.
WINDRES=${MINGW_WINDRES:-x86_64-w64-mingw32-windres}
if command -v "$WINDRES" >/dev/null 2>&1; then
  out=$(mktemp)
  if ! (cd app && "$WINDRES" resources.rc -O coff -o "$out"); then
    echo "check-win32: app/resources.rc does not compile" >&2
    status=1
  fi
  rm -f "$out"
fi
[ $status -eq 0 ] && echo "check-win32: app/ builds against the Windows headers"
exit $status
