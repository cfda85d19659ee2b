#!/bin/sh
# Makes the Debian package, BUILD_DIR/dravik-tirn_VERSION_ARCH.deb, with
# CPack from the program built in BUILD_DIR (configured here, as a release
# build without the tests, when the folder has no build yet), then checks it
# with lintian, which must report no error. The program carries the
# project's own SIP stack and libcurl (built first when the folder is new);
# the package depends on the system's sound, codec, window and C runtime
# libraries only.
#
# package-debian.sh [BUILD_DIR]   (default: build-deb)
# Needs scripts/install-deps.sh; lintian comes with scripts/install-test-deps.sh.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-deb}
if [ -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" >/dev/null
else
  ./scripts/build-sip-stack.sh linux "$(. scripts/lib.sh && sip_stack_prefix linux)"
  # Debian's build flags, with all hardening (fortified functions, PIE,
  # full RELRO).
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  flags() { echo "$(dpkg-buildflags --get "$1") $(dpkg-buildflags --get CPPFLAGS)"; }
  CFLAGS=$(flags CFLAGS) CXXFLAGS=$(flags CXXFLAGS) LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)" --target dravik-tirn package-docs
rm -f "$BUILD"/dravik-tirn_*.deb
(cd "$BUILD" && cpack -G DEB >cpack.log 2>&1) || { cat "$BUILD/cpack.log" >&2; exit 1; }
DEB=$(ls "$BUILD"/dravik-tirn_*.deb)
if command -v lintian >/dev/null; then
  # Root builds the package here; lintian is told so instead of refusing.
  status=0
  lintian --allow-root --fail-on error "$DEB" >"$BUILD/lintian.log" 2>&1 || status=$?
  cat "$BUILD/lintian.log"
  [ $status -eq 0 ] || { echo "package-debian: lintian reports errors (above)" >&2; exit 1; }
else
  echo "package-debian: lintian is not installed; the package was not checked" >&2
fi
echo "package-debian: $(cd "$(dirname "$DEB")" && pwd)/$(basename "$DEB")"
