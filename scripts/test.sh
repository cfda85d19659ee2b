#!/bin/sh
# Installs what is needed, then builds and runs the tests, stage by stage:
#   quick       the plain build and its tests
#   sanitizers  an AddressSanitizer+UBSan build and a ThreadSanitizer run of
#               the threaded tests
#   secure      a build for an https service with SIP over TLS, its tests
#   windows     the check that the window code is still real Win32, the
#               Windows executable under Wine (plain and secure) and the same
#               session on the Linux build, compared
#   packages    the Windows installer and the Debian package, each tested by
#               installing it
# test.sh [STAGE...]: the stages named (in the order above), every one when
# none is named. Every build links the project's own SIP stack, built first.
set -eu
cd "$(dirname "$0")/.."
STAGES="quick sanitizers secure windows packages"
for stage; do
  case " $STAGES " in
    *" $stage "*) ;;
    *) echo "test: no stage '$stage'; the stages are: $STAGES" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || set -- $STAGES
SELECTED=" $* "
selected() { case "$SELECTED" in *" $1 "*) return 0 ;; esac; return 1; }

./scripts/install-deps.sh
# The tests' own packages (sound server, Wine, MinGW-w64, the libraries'
# sources...), once for every stage.
./scripts/install-test-deps.sh
JOBS=$(nproc)

# stage_done NAME: how long the stage that began at STAGE_START took.
stage_done() { echo "$1: $(($(date +%s) - STAGE_START)) s"; }

# The SIP stack and the service client's libcurl, built from Debian's sources
# into the machine's cache outside the checkout (reused in a second while
# their sources, options and patches are unchanged), for every Linux build.
STAGE_START=$(date +%s)
./scripts/build-sip-stack.sh linux "$(. scripts/lib.sh && sip_stack_prefix linux)"
stage_done "SIP stack for Linux"

# own_stack_only BUILD-DIR: the stack and its libcurl are inside the program;
# none of Debian's SIP, web, TLS or JSON libraries may come with it.
# Nor image libraries: G.726's spandsp is built without its fax half. Nor
# Debian's PulseAudio client and what it links (sound files, systemd,
# D-Bus): the stack's own client is inside.
SYSTEM_STACK='(liblinphone|libmediastreamer|libbellesip|libortp|libbctoolbox|libcurl|libssl|libcrypto|libgnutls|libmbed|libjsoncpp|libspandsp)'
IMAGES='(libtiff|libjpeg|libwebp|libLerc|libdeflate|libjbig)'
PULSE_CHAIN='(libpulse|libsndfile|libsystemd|libdbus)'
own_stack_only() {
  if ldd "$1/app/dravik-tirn" | grep -E "$SYSTEM_STACK|$IMAGES|$PULSE_CHAIN"; then
    echo "test: $1/app/dravik-tirn loads Debian's SIP, web, TLS, JSON, image or PulseAudio libraries (above)" >&2
    exit 1
  fi
}

build_tree() { # build-dir sanitizer
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE="$2" >/dev/null
  cmake --build "$1" -j "$JOBS"
  own_stack_only "$1"
}

run_suite() { # build-dir sanitizer ctest-args... (TEST_JOBS tests at once)
  dir=$1; san=$2; shift 2
  STAGE_START=$(date +%s)
  build_tree "$dir" "$san"
  (cd "$dir" && ctest --output-on-failure -j "${TEST_JOBS:-$JOBS}" "$@")
  stage_done "build and tests in $dir"
}

stage_quick() {
  run_suite build ""
}

stage_sanitizers() {
  # Leak detection on for every test and the program it runs; only leaks inside
  # uninstrumented system libraries are suppressed, by name, in one file.
  # Not the answered call's speech measurement (20 s of audio): the stack's
  # sound path, which is not instrumented, while the program only places and
  # ends the call there as in the call tests.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
    run_suite build-asan address -E 'SipVoice.AnsweredCallCarriesSpeech'
  # Not the pure mappings (status words, account values), nor the two tests
  # that wait out a time limit on the window thread alone (the service's 10 s,
  # the library's 32 s for a registrar that never answers): the news between
  # the threads there is that of the refused registration's test.
  TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp" \
    run_suite build-tsan thread -L threads -E '^(StatusWords|AccountValues)\.|SlowService|UnansweredRegistration'
}

stage_secure() {
  # The secure build: the service over https, SIP over TLS only. Its own tests
  # run here: the service client against https servers of a throw-away CA, and
  # registration through a TLS front (stunnel, tests only) to a sipp registrar.
  STAGE_START=$(date +%s)
  cmake -S . -B build-secure -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSERVICE_HOST=https://localhost:18443 -DSIP_TRANSPORT=tls >/dev/null
  cmake --build build-secure -j "$JOBS"
  own_stack_only build-secure
  # (The service's time limit is tested in the plain build: the same plain-HTTP
  # exchange in both.)
  (cd build-secure && ctest --output-on-failure -j "$JOBS" -R 'Service|Https|SipTls|Worker|TlsRegistrar' \
    -E SlowService)
  stage_done "https + TLS build and tests"
}

stage_windows() {
  # The Windows executable, built here with MinGW-w64 and run under Wine (for
  # the tests only, not for the demo). The SIP stack is cross-built from Debian's sources once per machine (its cache,
  # DRAVIK_STACK_CACHE, is outside the checkout) and reused while its sources
  # and patches are unchanged; the Wine session registers and places calls.
  STAGE_START=$(date +%s)
  # The Linux build's session is compared with Wine's (built, not tested,
  # when the quick stage has not run).
  build_tree build ""
  ./scripts/build-windows.sh build-win
  # The window code is still real Win32, and sip/ builds on the stack's headers.
  scripts/check-win32.sh
  tests/wine/run_wine_e2e.sh build-win/app/dravik-tirn.exe build-win/tests/wine/win32-probe.exe \
    build/tests/e2e/screenshots-wine build-win/wine-prefix
  # The same session on the Linux build, compared field by field with Wine's.
  tests/wine/run_differential.sh build/tests/e2e/dravik-tirn-e2e build/tests/e2e/screenshots-wine/probe \
    build/tests/e2e/screenshots-layer
  # The secure Windows executable (the https service with a private CA's
  # file, SIP over TLS only), on the libraries just built: the login over
  # https and the registration through a TLS front, the test's CA in Wine's
  # root store and in that file; a registrar and a service of an unknown CA
  # are refused. (Wine's Schannel checks no certificate by itself: only the
  # CA file makes the https side's refusal testable here.) The registrar's
  # trace is kept.
  DRAVIK_WINDOWS_DEPS=$PWD/build-win/deps ./scripts/build-windows.sh build-win-secure \
    -DSERVICE_HOST=https://localhost:18443 -DSIP_TRANSPORT=tls \
    -DSERVICE_CA_FILE="$PWD/build-win-secure/service-ca.pem"
  tests/wine/run_wine_tls.sh build-win-secure/app/dravik-tirn.exe build-win/tests/wine/win32-probe.exe \
    build-win-secure/wine-prefix build-win-secure/sip-traces "$PWD/build-win-secure/service-ca.pem"
  stage_done "windows build, wine tests and differential check"
}

stage_packages() {
  # The packages, installed as customers install them: the Windows installer
  # (of the Windows executable) under Wine, the Debian package (of the
  # plain build, checked by lintian) with dpkg. Both builds are brought up to
  # date first (nothing to do after the earlier stages).
  STAGE_START=$(date +%s)
  build_tree build ""
  ./scripts/build-windows.sh build-win
  ./scripts/package-windows.sh build-win
  tests/install/windows_install.sh build-win/dravik-tirn-*-setup.exe build-win/tests/wine/win32-probe.exe \
    build-win/wine-prefix-install
  ./scripts/package-debian.sh build
  tests/install/debian_install.sh build/dravik-tirn_*.deb build/tests/e2e/x11-close
  stage_done "packages and their installation tests"
}

for stage in $STAGES; do
  if selected "$stage"; then "stage_$stage"; fi
done
echo "all tests passed (stages: $*)"
