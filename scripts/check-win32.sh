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
# The definition CMakeLists.txt gives every file: the project's version.
VERSION=$(sed -n 's/^project(DravikTirn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEFINES="-DPROGRAM_VERSION=\"$VERSION\""
[ -d /usr/include/jsoncpp ] && INCLUDES="$INCLUDES -I/usr/include/jsoncpp"
status=0
for src in app/*.cpp; do
  case "$src" in app/main_linux.cpp) continue ;; esac
  if ! $CXX -fsyntax-only -std=c++17 -Wall -Wextra -finput-charset=UTF-8 \
       -fexec-charset=CP1252 $INCLUDES $DEFINES "$src"; then
    echo "check-win32: $src does not build for Windows" >&2
    status=1
  fi
done
# The SIP code against the headers of the lean SIP stack built for Windows
# (scripts/build-sip-stack.sh, through build-windows.sh), with the
# posix-thread MinGW compiler that the Windows build uses; skipped until
# that stack has been built.
CXX_POSIX=${MINGW_CXX_POSIX:-x86_64-w64-mingw32-g++-posix}
. ./scripts/lib.sh
stack_inc=$(sip_stack_prefix windows)/include
if command -v "$CXX_POSIX" >/dev/null 2>&1 && [ -f "$stack_inc/linphone/core.h" ]; then
  for src in sip/*.cpp; do
    # The definitions sip/CMakeLists.txt gives, with their default values.
    if ! $CXX_POSIX -fsyntax-only -std=c++17 -Wall -Wextra -Werror=cpp $INCLUDES -isystem "$stack_inc" \
         -DBCTBX_STATIC -DLIBXML_STATIC -DSIP_OVER_TLS=0 -DSIP_CA_FILE='""' $DEFINES "$src"; then
      echo "check-win32: $src does not build for Windows with the SIP library's headers" >&2
      status=1
    fi
  done
else
  echo "check-win32: the SIP stack for Windows is not built yet: sip/ is checked by build-windows.sh"
fi
# Every Win32 function the Linux window layer declares, held against the
# real declaration: compiled as C, where a differing signature is an error.
if command -v "${MINGW_CC:-x86_64-w64-mingw32-gcc}" >/dev/null 2>&1; then
  sigs=$(mktemp --suffix=.c)
  {
    echo '#include <windows.h>'
    echo '#include <shellapi.h>'
    awk '/WINAPI [A-Za-z]+\(/ { on = 1 } on { print } on && /\);/ { on = 0 }' \
      winapi/include/windows.h winapi/include/win32/*.h winapi/include/shellapi.h
  } >"$sigs"
  if ! "${MINGW_CC:-x86_64-w64-mingw32-gcc}" -fsyntax-only -Wno-attributes -Werror=incompatible-pointer-types \
       "$sigs"; then
    echo "check-win32: a function of winapi/include differs from its Win32 declaration" >&2
    status=1
  fi
  rm -f "$sigs"
fi
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
# Link the window program as a Windows GUI executable (the service and the
# SIP side stubbed), so that WinMain, WndProc and the resources form a real
# Win32 program.
if [ $status -eq 0 ] && command -v "$WINDRES" >/dev/null 2>&1; then
  tmp=$(mktemp -d)
  cat >"$tmp/stubs.cpp" <<'STUBS'
#include "service.h"
void ensureInstallKey() {}
std::string readInstallKey() { return ""; }
bool serviceLogin() { return false; }
TextList copyQueueNames() { return {}; }
TextList copyQueueUsers() { return {}; }
int findQueueIndex() { return 0; }
const char *lookupQueueUser() { return "erro"; }
bool sendLogoutNotice(long) { return true; }
const char *serviceBaseUrl() { return "http://127.0.0.1:18080"; }
bool leaveInstallationFolder() { return true; }
#include "sip.h"
void setupSipAccount(const char *, const char *, const char *) {}
void placeCall(const char *) {}
void terminateCall() {}
bool shutdownSip(int) { return true; }
bool sendDigit(char) { return false; }
void removeSipRunFolder() {}
void holdSipCoreForGood() {}
SipReport sipReport() { return SipReport{REGISTRATION_UNAVAILABLE, "", CALL_NONE, 0, false, false, false}; }
STUBS
  objs=""
  for src in app/*.cpp "$tmp/stubs.cpp"; do
    case "$src" in app/main_linux.cpp) continue ;; esac
    obj="$tmp/$(basename "$src" .cpp).o"
    $CXX -c -std=c++17 -finput-charset=UTF-8 -fexec-charset=CP1252 $INCLUDES $DEFINES "$src" -o "$obj" ||
      status=1
    objs="$objs $obj"
  done
  (cd app && "$WINDRES" resources.rc -O coff -o "$tmp/resources.o") || status=1
  if [ $status -eq 0 ] && ! $CXX -mwindows -static -o "$tmp/dravik-tirn.exe" $objs "$tmp/resources.o" \
       -lgdi32 -luser32 -lshell32; then
    echo "check-win32: the window program does not link for Windows" >&2
    status=1
  fi
  rm -rf "$tmp"
fi
[ $status -eq 0 ] && echo "check-win32: app/ builds against the Windows headers"
exit $status
