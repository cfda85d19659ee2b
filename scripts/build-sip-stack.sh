#!/bin/sh
# Builds the program's lean, voice-only SIP stack (liblinphone and what it
# stands on) from Debian's own source packages, with the project's patch
# files (sip/stack/patches/LIBRARY.patch, one per library), into PREFIX.
#
# build-sip-stack.sh TARGET PREFIX
#   TARGET windows: static libraries cross-built with MinGW-w64 (posix threads)
#   TARGET linux:   static libraries for this machine, with PulseAudio and
#                   ALSA, and a lean libcurl (HTTP and HTTPS over the stack's
#                   own mbedtls) for the program's service client
# Same sources, options and patches for both; what only concerns Windows is
# kept inside the patches behind the compilers' own Windows checks.
#
# The unpacked sources, the build folders and the logs are kept in
# DRAVIK_STACK_CACHE (default ~/.cache/dravik-tirn/sip-stack, outside any
# checkout, so that builds and worktrees on one machine share it). Each
# library has a stamp in PREFIX keyed on its source version, its patch, its
# options and the stamps of the libraries under it: an unchanged chain is
# reused in a second; a changed patch rebuilds that library and those above.
# Needs scripts/install-test-deps.sh (the source lines, MinGW-w64, tclsh).
set -eu
[ $# -eq 2 ] || { echo "usage: $0 windows|linux PREFIX" >&2; exit 2; }
TARGET=$1
ROOT=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$2"
PREFIX=$(cd "$2" && pwd)
PATCHES=$ROOT/sip/stack/patches
. "$ROOT/scripts/lib.sh"
CACHE=$DRAVIK_STACK_CACHE
JOBS=${DRAVIK_STACK_JOBS:-2}
mkdir -p "$CACHE/src" "$CACHE/$TARGET" "$PREFIX/.stamps"
BUILDS=$CACHE/$TARGET
LOGS=$BUILDS/logs
mkdir -p "$LOGS"
# Bumped when this script changes how every library is built.
RECIPE=1

case $TARGET in
windows)
  HOST=x86_64-w64-mingw32
  SHARED=OFF
  CMAKE_TARGET="-DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/mingw-w64-x86_64.cmake -DDRAVIK_WINDOWS_PREFIX=$PREFIX"
  CROSS_CC=$HOST-gcc-posix
  # The libraries' Windows code tests WIN32, which MinGW's compilers in strict
  # ISO modes do not define; _WIN32_WINNT: Windows 7's interfaces (qWAVE,
  # inet_ntop) are used; the headers of bctoolbox and libxml2 are told their
  # libraries are linked statically, not imported from DLLs.
  TARGET_CFLAGS="-DWIN32 -D_WIN32_WINNT=0x0601 -DBCTBX_STATIC -DLIBXML_STATIC"
  ;;
linux)
  HOST=""
  SHARED=OFF
  CMAKE_TARGET=""
  CROSS_CC=""
  # Static archives in separate sections: the program's link keeps only the
  # functions it reaches, so it maps and touches far fewer pages than the
  # shared libraries did (their symbol tables, relocations and unused code).
  TARGET_CFLAGS="-ffunction-sections -fdata-sections"
  ;;
*) echo "build-sip-stack: unknown target $TARGET (windows or linux)" >&2; exit 2 ;;
esac
if [ "$SHARED" = ON ]; then STATIC=OFF; else STATIC=ON; fi
CFLAGS_ALL="-O2 -I$PREFIX/include $TARGET_CFLAGS"
LDFLAGS_ALL="-L$PREFIX/lib"

# One build at a time per target in a shared cache.
exec 9>"$CACHE/$TARGET.lock"
flock 9

say() { echo "build-sip-stack[$TARGET]: $*"; }
# fails NAME STEP: the tail of the step's log, then stops.
fails() {
  echo "build-sip-stack[$TARGET]: $1 failed at $2; last lines of $LOGS/$1-$2.log:" >&2
  tail -n 40 "$LOGS/$1-$2.log" >&2
  exit 1
}

# fetch PACKAGE: Debian's source of PACKAGE (a source or binary package name),
# unpacked with Debian's patches in $CACHE/src/SOURCE_VERSION/tree, once.
# Sets SRC to that tree and UPSTREAM to the upstream version.
fetch() {
  info=$(apt-cache showsrc "$1" 2>/dev/null | awk '
    /^Package:/ { p = $2 } /^Version:/ { print p, $2 }' | sort -V -k2 | tail -n 1)
  if [ -z "$info" ]; then
    # No source lines (offline): the newest tree already unpacked.
    dir=$(ls -d "$CACHE/src/$1"_*/ 2>/dev/null | sort -V | tail -n 1)
    [ -n "$dir" ] && [ -f "$dir/.unpacked" ] ||
      { echo "build-sip-stack: no Debian source of $1 (run scripts/install-test-deps.sh)" >&2; exit 1; }
    dir=${dir%/}
  else
    version=${info#* }
    dir=$CACHE/src/${info% *}_${version#*:}
    if [ ! -f "$dir/.unpacked" ]; then
      say "fetching Debian's source of $1 ($version)"
      rm -rf "$dir" && mkdir -p "$dir"
      (cd "$dir" && apt-get source -qq --download-only "$1=$version" >fetch.log 2>&1 &&
        dpkg-source -x ./*.dsc tree >unpack.log 2>&1) ||
        { echo "build-sip-stack: could not get Debian's source of $1" >&2; cat "$dir"/*.log >&2; exit 1; }
      touch "$dir/.unpacked"
    fi
  fi
  SRC=$dir/tree
  UPSTREAM=$(basename "$dir" | sed 's/^[^_]*_//; s/-[^-]*$//; s/[+~].*$//')
}

# The key of the library being built: its source, its patch, its options,
# and the key of the one built before it (every library may use those under
# it).
CHAIN_KEY=$RECIPE-$TARGET
# begin NAME PACKAGE OPTIONS...: fetches, and decides whether NAME needs a
# build (returns 1 when its stamp is current). On a build, WORKSRC is a fresh
# copy of the source with the project's patch applied, and BUILD an empty
# build folder.
begin() {
  name=$1 package=$2
  shift 2
  fetch "$package"
  patch=$PATCHES/$name.patch
  key=$( { echo "$CHAIN_KEY $(basename "$(dirname "$SRC")") $CFLAGS_ALL $*"; [ -f "$patch" ] && cat "$patch"; } |
    sha256sum | cut -c1-16)
  CHAIN_KEY=$key
  stamp=$PREFIX/.stamps/$name
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] && return 1
  say "building $name $UPSTREAM"
  started=$(date +%s)
  WORKSRC=$BUILDS/$name/src
  BUILD=$BUILDS/$name/build
  rm -rf "${BUILDS:?}/$name" && mkdir -p "$BUILDS/$name" "$BUILD"
  cp -a "$SRC" "$WORKSRC"
  if [ -f "$patch" ]; then
    patch -d "$WORKSRC" -p1 <"$patch" >"$LOGS/$name-patch.log" 2>&1 || fails "$name" patch
  fi
  return 0
}
# done_lib: the stamp of the library just built.
done_lib() {
  echo "$key" >"$PREFIX/.stamps/$name"
  say "$name built in $(($(date +%s) - started)) s"
}

# cmake_lib NAME PACKAGE CMAKE-ARGS...
cmake_lib() {
  begin "$@" || return 0
  shift 2
  # shellcheck disable=SC2086
  cmake -S "$WORKSRC" -B "$BUILD" $CMAKE_TARGET -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="$CFLAGS_ALL" -DCMAKE_CXX_FLAGS="$CFLAGS_ALL" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS_ALL" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS_ALL" \
    -DBUILD_SHARED_LIBS=$SHARED -DENABLE_SHARED=$SHARED -DENABLE_STATIC=$STATIC \
    -DENABLE_STRICT=OFF -DENABLE_TESTS=OFF -DENABLE_UNIT_TESTS=OFF -DENABLE_DOC=OFF \
    -DENABLE_TOOLS=OFF -DENABLE_PACKAGE_SOURCE=OFF -DDEB_VERSION_UPSTREAM="$UPSTREAM" \
    "$@" >"$LOGS/$name-configure.log" 2>&1 || fails "$name" configure
  cmake --build "$BUILD" -j "$JOBS" >"$LOGS/$name-build.log" 2>&1 || fails "$name" build
  cmake --install "$BUILD" >"$LOGS/$name-install.log" 2>&1 || fails "$name" install
  done_lib
}

# autotools_lib NAME PACKAGE CONFIGURE-ARGS...
autotools_lib() {
  begin "$@" || return 0
  shift 2
  if [ "$SHARED" = ON ]; then libs="--enable-shared --disable-static"; else libs="--disable-shared --enable-static"; fi
  # shellcheck disable=SC2086
  (cd "$BUILD" && PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig" CFLAGS="$CFLAGS_ALL" \
    LDFLAGS="$LDFLAGS_ALL" "$WORKSRC/configure" ${HOST:+--host=$HOST} ${CROSS_CC:+CC=$CROSS_CC} \
    --prefix="$PREFIX" --libdir="$PREFIX/lib" $libs "$@") >"$LOGS/$name-configure.log" 2>&1 ||
    fails "$name" configure
  make -C "$BUILD" -j "$JOBS" >"$LOGS/$name-build.log" 2>&1 || fails "$name" build
  make -C "$BUILD" install >"$LOGS/$name-install.log" 2>&1 || fails "$name" install
  done_lib
}

# sqlite3: its configure does not cross-compile (it runs a program it builds,
# and decides the OS from the build machine), so the single-file amalgamation
# is made on this machine and compiled alone for the target.
sqlite_lib() {
  begin sqlite3 sqlite3 || return 0
  (cd "$BUILD" && "$WORKSRC/configure" >"$LOGS/sqlite3-configure.log" 2>&1 &&
    make sqlite3.c >"$LOGS/sqlite3-build.log" 2>&1) || fails sqlite3 build
  cc=${CROSS_CC:-cc}
  defs="-DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION $CFLAGS_ALL"
  mkdir -p "$PREFIX/lib/pkgconfig"
  if [ "$SHARED" = ON ]; then
    # shellcheck disable=SC2086
    $cc $defs -fPIC -shared -o "$PREFIX/lib/libsqlite3.so" "$BUILD/sqlite3.c" -lpthread -lm \
      >>"$LOGS/sqlite3-build.log" 2>&1 || fails sqlite3 build
  else
    # shellcheck disable=SC2086
    $cc $defs -c -o "$BUILD/sqlite3.o" "$BUILD/sqlite3.c" >>"$LOGS/sqlite3-build.log" 2>&1 ||
      fails sqlite3 build
    rm -f "$PREFIX/lib/libsqlite3.a"
    ${HOST:+$HOST-}ar rcs "$PREFIX/lib/libsqlite3.a" "$BUILD/sqlite3.o"
  fi
  cp "$BUILD/sqlite3.h" "$WORKSRC/src/sqlite3ext.h" "$PREFIX/include/" 2>/dev/null ||
    cp "$BUILD/sqlite3.h" "$PREFIX/include/"
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: SQLite\nDescription: SQL database engine\nVersion: %s\nLibs: -L${libdir} -lsqlite3\nCflags: -I${includedir}\n' \
    "$PREFIX" "$UPSTREAM" >"$PREFIX/lib/pkgconfig/sqlite3.pc"
  done_lib
}

mkdir -p "$PREFIX/include" "$PREFIX/lib"
T0=$(date +%s)

# The libraries Debian has no MinGW package of, then the SIP stack itself.
cmake_lib mbedtls mbedtls -DENABLE_TESTING=OFF -DENABLE_PROGRAMS=OFF -DMBEDTLS_FATAL_WARNINGS=OFF \
  -DUSE_SHARED_MBEDTLS_LIBRARY=$SHARED -DUSE_STATIC_MBEDTLS_LIBRARY=$STATIC
autotools_lib speexdsp speexdsp --disable-examples
autotools_lib speex speex --disable-binaries
autotools_lib opus opus --disable-doc --disable-extra-programs
cmake_lib srtp2 libsrtp2 -DBUILD_WITH_WARNINGS=OFF -DTEST_APPS=OFF
cmake_lib xml2 libxml2 -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF \
  -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_PYTHON=OFF \
  -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_PROGRAMS=OFF
sqlite_lib
cmake_lib antlr3c libantlr3c

cmake_lib bctoolbox bctoolbox -DENABLE_MBEDTLS=ON -DENABLE_POLARSSL=OFF -DENABLE_DECAF=OFF \
  -DENABLE_TESTS_COMPONENT=OFF
cmake_lib ortp ortp -DENABLE_NTP_TIMESTAMP=OFF
cmake_lib belr belr
cmake_lib belle-sip belle-sip -DENABLE_MDNS=OFF -DENABLE_TUNNEL=OFF
# Linux keeps its sound servers and the codecs Debian's build offers through
# the system's own libraries (GSM, G.726 through spandsp, and G.729 through
# bcg729, which calls offer by default); Windows has its MME cards (patched
# in) and the codecs built here.
if [ "$TARGET" = linux ]; then
  CARDS="-DENABLE_PULSEAUDIO=ON -DENABLE_ALSA=ON -DENABLE_GSM=ON -DENABLE_G726=ON -DENABLE_G729=ON
    -DENABLE_G729B_CNG=ON"
else
  CARDS="-DENABLE_PULSEAUDIO=OFF -DENABLE_ALSA=OFF -DENABLE_GSM=OFF -DENABLE_G726=OFF -DENABLE_G729=OFF
    -DENABLE_G729B_CNG=OFF"
fi
# shellcheck disable=SC2086
cmake_lib mediastreamer2 mediastreamer2 -DENABLE_SOUND=ON $CARDS -DENABLE_PORTAUDIO=OFF \
  -DENABLE_OSS=OFF -DENABLE_VIDEO=OFF -DENABLE_FFMPEG=OFF -DENABLE_MKV=OFF -DENABLE_JPEG=OFF \
  -DENABLE_QRCODE=OFF -DENABLE_GL=OFF -DENABLE_GLX=OFF -DENABLE_QT_GL=OFF -DENABLE_SDL=OFF \
  -DENABLE_X11=OFF -DENABLE_XV=OFF -DENABLE_V4L=OFF -DENABLE_VPX=OFF -DENABLE_THEORA=OFF \
  -DENABLE_LIBYUV=OFF -DENABLE_BV16=OFF \
  -DENABLE_ZRTP=OFF -DENABLE_PCAP=OFF -DENABLE_SRTP=ON -DENABLE_OPUS=ON -DENABLE_SPEEX_CODEC=ON \
  -DENABLE_SPEEX_DSP=ON -DENABLE_RESAMPLE=ON -DENABLE_NON_FREE_CODECS=OFF
# On Linux the sound servers and the system's codecs are found, or the build
# stops: a missing header package would otherwise leave them out quietly.
# Each is seen by a function of its library that the archive calls.
if [ "$TARGET" = linux ]; then
  calls=$(nm -u "$PREFIX/lib/libmediastreamer.a" 2>/dev/null | awk '{ print $2 }' | sort -u)
  for need in libpulse:pa_context_new libasound:snd_pcm_open libgsm:gsm_create \
    libspandsp:g726_init libbcg729:initBcg729EncoderChannel; do
    if ! echo "$calls" | grep -qx "${need#*:}"; then
      rm -f "$PREFIX/.stamps/mediastreamer2"
      echo "build-sip-stack[linux]: mediastreamer2 was built without ${need%%:*} (run scripts/install-test-deps.sh)" >&2
      exit 1
    fi
  done
fi
cmake_lib linphone liblinphone-dev -DENABLE_ADVANCED_IM=OFF -DENABLE_DB_STORAGE=OFF \
  -DENABLE_LIME=OFF -DENABLE_LIME_X3DH=OFF -DENABLE_VCARD=OFF -DENABLE_FLEXIAPI=OFF \
  -DENABLE_VIDEO=OFF -DENABLE_CXX_WRAPPER=OFF -DENABLE_CSHARP_WRAPPER=OFF -DENABLE_JAVA_WRAPPER=OFF \
  -DENABLE_SWIFT_WRAPPER=OFF -DENABLE_CONSOLE_UI=OFF -DENABLE_DAEMON=OFF -DENABLE_TUTORIALS=OFF \
  -DENABLE_LDAP=OFF -DENABLE_ASSETS=OFF -DENABLE_UPDATE_CHECK=OFF -DENABLE_NOTIFY=OFF \
  -DENABLE_READLINE=OFF -DENABLE_TUNNEL=OFF -DENABLE_DATE=OFF

# The program's service client on Linux: libcurl with HTTP and HTTPS only,
# over the mbedtls above and the system's zlib (for compressed answers), with
# Debian's CA bundle. Debian's own package brings Kerberos, LDAP, SSH, RTMP,
# GnuTLS and OpenSSL into the process. Windows builds its libcurl with its
# own TLS in build-windows.sh.
if [ "$TARGET" = linux ]; then
  cmake_lib curl curl -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_MBEDTLS=ON \
    -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF \
    -DCURL_ZLIB=ON -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
    -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF -DCURL_CA_BUNDLE=/etc/ssl/certs/ca-certificates.crt \
    -DCURL_CA_PATH=none
fi

say "the stack is in $PREFIX ($(($(date +%s) - T0)) s)"
