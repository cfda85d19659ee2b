#!/bin/sh
# Installs what is needed, then builds and runs every test: a plain build,
# an AddressSanitizer+UBSan build, a ThreadSanitizer run of the threaded
# tests, the check that the window code is still real Win32, a build for an
# https service with SIP over TLS, the program on the lean SIP stack, the
# Windows executable under Wine, and the Windows installer and the Debian
# package, each tested by installing it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# The tests' own packages (sound server, Wine, MinGW-w64, the libraries'
# sources...), once for every stage.
./scripts/install-test-deps.sh
JOBS=$(nproc)

run_suite() { # build-dir sanitizer ctest-args...
  dir=$1; san=$2; shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE="$san" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" "$@")
}

run_suite build ""
# Leak detection on for every test and the program it runs; only leaks inside
# uninstrumented system libraries are suppressed, by name, in one file.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  run_suite build-asan address -LE no-asan
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp" \
  run_suite build-tsan thread -L threads

# The secure build: the service over https, SIP over TLS only. Its own tests
# run here: the service client against https servers of a throw-away CA, and
# registration through a TLS front (stunnel, tests only) to a sipp registrar.
stage_start=$(date +%s)
cmake -S . -B build-secure -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSERVICE_HOST=https://localhost:18443 -DSIP_TRANSPORT=tls >/dev/null
cmake --build build-secure -j "$JOBS"
(cd build-secure && ctest --output-on-failure -j "$JOBS" -R 'Service|Https|SipTls|Worker|TlsRegistrar')
echo "https + TLS build and tests: $(($(date +%s) - stage_start)) s"

# The program on the lean SIP stack: the stack and its libcurl built from
# Debian's sources (reused from its cache outside the checkout while their
# sources, options and patches are unchanged), then the service, SIP and
# program tests and the end-to-end test against them.
stage_start=$(date +%s)
LEAN_STACK=$(. scripts/lib.sh && sip_stack_prefix linux)
./scripts/build-sip-stack.sh linux "$LEAN_STACK"
cmake -S . -B build-lean -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIP_STACK=lean \
  -DSIP_STACK_PREFIX="$LEAN_STACK" >/dev/null
cmake --build build-lean -j "$JOBS" --target service_http_test service_transfer_test sip_worker_test \
  sip_account_test sip_call_test sip_voice_test app_tests dravik-tirn dravik-tirn-e2e x11-close
# The stack and its libcurl are inside the program: none of Debian's SIP, web
# or TLS libraries may come with it (they are what the lean build leaves out).
if ldd build-lean/app/dravik-tirn | grep -E '(liblinphone|libmediastreamer|libbellesip|libcurl|libssl|libcrypto|libgnutls)\.'; then
  echo "test: the lean program loads Debian's SIP or web libraries (above)" >&2
  exit 1
fi
(cd build-lean && ctest --output-on-failure -j "$JOBS" \
  -R '^(Service|HttpsService|Sip|PeriodicWorker|CallScreen|Program|Worker|app\.|e2e\.)' -E 'Slow')
echo "lean SIP stack, build and tests: $(($(date +%s) - stage_start)) s"

# The Windows executable, built here with MinGW-w64 and run under Wine. Wine
# and the libraries' sources are for the tests only (not for the demo). The
# SIP stack is cross-built from Debian's sources once per machine (its cache,
# DRAVIK_STACK_CACHE, is outside the checkout) and reused while its sources
# and patches are unchanged; the Wine session registers and places calls.
stage_start=$(date +%s)
./scripts/build-windows.sh build-win
# The window code is still real Win32, and sip/ builds on the stack's headers.
scripts/check-win32.sh
tests/wine/run_wine_e2e.sh build-win/app/dravik-tirn.exe build-win/tests/wine/win32-probe.exe \
  build/tests/e2e/screenshots-wine build-win/wine-prefix
# The same session on the Linux build, compared field by field with Wine's.
tests/wine/run_differential.sh build/tests/e2e/dravik-tirn-e2e build/tests/e2e/screenshots-wine/probe \
  build/tests/e2e/screenshots-layer
echo "windows build, wine test and differential check: $(($(date +%s) - stage_start)) s"

# The packages, installed as customers install them: the Windows installer
# (of the executable just built) under Wine, the Debian package (of the
# plain build, checked by lintian) with dpkg.
stage_start=$(date +%s)
./scripts/package-windows.sh build-win
tests/install/windows_install.sh build-win/dravik-tirn-*-setup.exe build-win/tests/wine/win32-probe.exe \
  build-win/wine-prefix-install
./scripts/package-debian.sh build
tests/install/debian_install.sh build/dravik-tirn_*.deb build/tests/e2e/x11-close
echo "packages and their installation tests: $(($(date +%s) - stage_start)) s"
echo "all tests passed"
