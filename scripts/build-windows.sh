#!/bin/sh
# Builds the Windows executable on this Debian machine with MinGW-w64:
# JsonCpp and libcurl are cross-built from Debian's own source packages into
# BUILD_DIR/deps (once; later runs reuse them), the lean SIP stack by
# scripts/build-sip-stack.sh into its cache outside the checkout (reused
# while its sources and patches are unchanged), then the program from the
# same CMake project, linked statically against both.
#
# build-windows.sh [BUILD_DIR [CMAKE-ARGS...]]   (default: build-win)
# The CMAKE-ARGS choose the build (e.g. -DSIP_TRANSPORT=tls); DRAVIK_WINDOWS_DEPS
# names another build's deps folder to reuse (default: BUILD_DIR/deps).
# Needs scripts/install-test-deps.sh (MinGW-w64 posix, the source lines).
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${1:-build-win}
[ $# -gt 0 ] && shift
mkdir -p "$BUILD"
BUILD=$(cd "$BUILD" && pwd)
DEPS=${DRAVIK_WINDOWS_DEPS:-$BUILD/deps}
mkdir -p "$DEPS"
DEPS=$(cd "$DEPS" && pwd)
PREFIX=$DEPS/prefix
TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
JOBS=2
mkdir -p "$DEPS/src" "$PREFIX"

# fetch SOURCE-PACKAGE: Debian's source, unpacked with its patches applied,
# in $DEPS/src/SOURCE-PACKAGE/tree.
fetch() {
  dir=$DEPS/src/$1
  [ -f "$dir/.unpacked" ] && return 0
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && apt-get source -qq --download-only "$1" >/dev/null 2>&1 &&
    dpkg-source -x ./*.dsc tree >unpack.log 2>&1) || {
    echo "build-windows: could not get Debian's source of $1 (run scripts/install-test-deps.sh)" >&2
    exit 1
  }
  touch "$dir/.unpacked"
}

# cross_build NAME CMAKE-ARGS...: configure, build and install one library.
cross_build() {
  name=$1; shift
  [ -f "$PREFIX/.$name.built" ] && return 0
  echo "build-windows: cross-building $name"
  fetch "$name"
  cmake -S "$DEPS/src/$name/tree" -B "$DEPS/build/$name" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DDRAVIK_WINDOWS_PREFIX="$PREFIX" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@" >"$DEPS/$name-configure.log" 2>&1 ||
    { tail -n 40 "$DEPS/$name-configure.log" >&2; exit 1; }
  cmake --build "$DEPS/build/$name" -j "$JOBS" >"$DEPS/$name-build.log" 2>&1 ||
    { tail -n 40 "$DEPS/$name-build.log" >&2; exit 1; }
  cmake --install "$DEPS/build/$name" >/dev/null
  touch "$PREFIX/.$name.built"
}

cross_build libjsoncpp -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF \
  -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_EXAMPLE=OFF

# libcurl as small as the program needs: HTTP (and HTTPS through Windows'
# own TLS), no tool, no compression or other protocols' libraries.
cross_build curl -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON \
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
  -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none

. "$ROOT/scripts/lib.sh"
STACK=$(sip_stack_prefix windows)
"$ROOT/scripts/build-sip-stack.sh" windows "$STACK"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DDRAVIK_WINDOWS_PREFIX="$PREFIX;$STACK" \
  -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$BUILD" -j "$JOBS"
echo "build-windows: $BUILD/app/dravik-tirn.exe"
