#!/bin/sh
# Builds the program's lean, voice-only SIP stack (liblinphone and what it
# stands on) from Debian's own source packages, with the project's patch
# files, into PREFIX, as static archives. What is built, from which source
# and with which options is the recipe, sip/stack/recipe.sh; this is the
# engine that fetches, patches, builds and stamps each library of it.
#
# build-sip-stack.sh TARGET PREFIX
#   TARGET windows: cross-built with MinGW-w64 (posix threads)
#   TARGET linux:   for this machine, with PulseAudio and ALSA, and a lean
#                   libcurl and JsonCpp for the program's service client
#
# The unpacked sources, the build folders and the logs are kept in
# DRAVIK_STACK_CACHE (default ~/.cache/dravik-tirn/sip-stack, outside any
# checkout, so that builds and worktrees on one machine share it). Each
# library has a stamp in PREFIX keyed on its source version, its patch, its
# options and the stamp of the library before it in the recipe: an
# unchanged chain is reused in a second; a changed patch rebuilds that
# library and those after it.
# Needs scripts/install-deps.sh (the source lines, the sound and codec
# headers, tclsh), and for windows scripts/install-test-deps.sh (MinGW-w64).
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
BUILDS=$CACHE/$TARGET
LOGS=$BUILDS/logs
mkdir -p "$CACHE/src" "$LOGS" "$PREFIX/.stamps" "$PREFIX/include" "$PREFIX/lib"
# Bumped when this engine changes how every library is built.
ENGINE_VERSION=1

case $TARGET in
windows)
  HOST=x86_64-w64-mingw32
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
  CMAKE_TARGET=""
  CROSS_CC=""
  # Separate sections: the program's link keeps only the functions it
  # reaches, so it maps and touches far fewer pages than shared libraries
  # would (their symbol tables, relocations and unused code).
  TARGET_CFLAGS="-ffunction-sections -fdata-sections"
  ;;
*) echo "build-sip-stack: unknown target $TARGET (windows or linux)" >&2; exit 2 ;;
esac
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

# fetch PACKAGE [TARBALL]: prints the folder that holds Debian's source of
# PACKAGE (a source or binary package name) unpacked with Debian's patches,
# in $CACHE/src/SOURCE_VERSION/tree; fetched and unpacked once. TARBALL
# upstream: the source package's upstream tarball alone (apt checks it
# against the source index), in $CACHE/src/SOURCE_VERSION-upstream/tree.
fetch() {
  info=$(apt-cache showsrc "$1" 2>/dev/null | awk '
    /^Package:/ { p = $2 } /^Version:/ { print p, $2 }' | sort -V -k2 | tail -n 1)
  suffix=""
  [ "${2:-}" = upstream ] && suffix=-upstream
  if [ -z "$info" ]; then
    # No source lines (offline): the newest tree already unpacked.
    dir=$(ls -d "$CACHE/src/$1"_*"$suffix"/ 2>/dev/null | sort -V | tail -n 1)
    [ -n "$dir" ] && [ -f "$dir/.unpacked" ] ||
      { echo "build-sip-stack: no Debian source of $1 (run scripts/install-deps.sh)" >&2; exit 1; }
    dir=${dir%/}
  else
    version=${info#* }
    dir=$CACHE/src/${info% *}_${version#*:}$suffix
    if [ ! -f "$dir/.unpacked" ]; then
      say "fetching Debian's source of $1 ($version${suffix:+, its upstream tarball})" >&2
      rm -rf "$dir" && mkdir -p "$dir"
      if [ -n "$suffix" ]; then
        (cd "$dir" && apt-get source -qq --download-only --tar-only "$1=$version" >fetch.log 2>&1 &&
          mkdir tree && tar -xf ./*.orig.tar.* -C tree --strip-components=1 >unpack.log 2>&1)
      else
        (cd "$dir" && apt-get source -qq --download-only "$1=$version" >fetch.log 2>&1 &&
          dpkg-source -x ./*.dsc tree >unpack.log 2>&1)
      fi || { echo "build-sip-stack: could not get Debian's source of $1" >&2; cat "$dir"/*.log >&2; exit 1; }
      echo "$version" >"$dir/version"
      touch "$dir/.unpacked"
    fi
  fi
  echo "$dir"
}

# upstream_of SOURCE-DIR: the upstream version of a fetched source.
upstream_of() { basename "$1" | sed 's/^[^_]*_//; s/-[^-]*$//; s/[+~].*$//'; }

# stamp_key PREVIOUS-KEY SOURCE-DIR NAME OPTIONS...: the key of a library:
# its source, its options, its patch, and the key of the library built
# before it (each may use any library before it).
stamp_key() {
  previous=$1 source_dir=$2 patch=$PATCHES/$3.patch
  shift 3
  { echo "$previous $(basename "$source_dir") $CFLAGS_ALL $*"; [ -f "$patch" ] && cat "$patch"; } |
    sha256sum | cut -c1-16
}

# The build systems. Each is called as build_SYSTEM NAME SOURCE BUILD
# UPSTREAM OPTIONS...: a patched copy of the source, an empty build folder,
# the upstream version; it installs into PREFIX.

build_cmake() {
  name=$1 src=$2 build=$3 upstream=$4
  shift 4
  # shellcheck disable=SC2086
  cmake -S "$src" -B "$build" $CMAKE_TARGET -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="$CFLAGS_ALL" -DCMAKE_CXX_FLAGS="$CFLAGS_ALL" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS_ALL" \
    -DBUILD_SHARED_LIBS=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DENABLE_STRICT=OFF -DENABLE_TESTS=OFF -DENABLE_UNIT_TESTS=OFF -DENABLE_DOC=OFF \
    -DENABLE_TOOLS=OFF -DENABLE_PACKAGE_SOURCE=OFF -DDEB_VERSION_UPSTREAM="$upstream" \
    "$@" >"$LOGS/$name-configure.log" 2>&1 || fails "$name" configure
  cmake --build "$build" -j "$JOBS" >"$LOGS/$name-build.log" 2>&1 || fails "$name" build
  cmake --install "$build" >"$LOGS/$name-install.log" 2>&1 || fails "$name" install
}

build_autotools() {
  name=$1 src=$2 build=$3
  shift 4
  (cd "$build" && PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig" CFLAGS="$CFLAGS_ALL" \
    LDFLAGS="$LDFLAGS_ALL" "$src/configure" ${HOST:+--host=$HOST} ${CROSS_CC:+CC=$CROSS_CC} \
    --prefix="$PREFIX" --libdir="$PREFIX/lib" --disable-shared --enable-static "$@") \
    >"$LOGS/$name-configure.log" 2>&1 || fails "$name" configure
  make -C "$build" -j "$JOBS" >"$LOGS/$name-build.log" 2>&1 || fails "$name" build
  make -C "$build" install >"$LOGS/$name-install.log" 2>&1 || fails "$name" install
}

# Meson, for Linux only (the Windows target would need a cross file): static
# archives, the flags of the other builds (Debian's "plain" build type: no
# optimisation of meson's own), and only what linking needs is installed
# (archives, headers, pkg-config files; the "devel" install tag), so that
# paths a library reads at run time may point outside PREFIX (the system's
# own /etc) without anything being written there.
build_meson() {
  name=$1 src=$2 build=$3
  shift 4
  [ "$TARGET" = linux ] || { echo "build-sip-stack: $name: build=meson is for the linux target only" >&2; exit 2; }
  PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig" CFLAGS="$CFLAGS_ALL" LDFLAGS="$LDFLAGS_ALL" \
    meson setup "$build" "$src" --prefix="$PREFIX" --libdir=lib --buildtype=plain \
    --default-library=static "$@" >"$LOGS/$name-configure.log" 2>&1 || fails "$name" configure
  ninja -C "$build" -j "$JOBS" >"$LOGS/$name-build.log" 2>&1 || fails "$name" build
  meson install -C "$build" --tags devel >"$LOGS/$name-install.log" 2>&1 || fails "$name" install
}

# SQLite's configure does not cross-compile (it runs a program it builds,
# and decides the OS from the build machine), so the single-file
# amalgamation is made on this machine and compiled alone for the target.
build_amalgamation() {
  name=$1 src=$2 build=$3 upstream=$4
  (cd "$build" && "$src/configure" >"$LOGS/$name-configure.log" 2>&1 &&
    make sqlite3.c >"$LOGS/$name-build.log" 2>&1) || fails "$name" build
  # shellcheck disable=SC2086
  ${CROSS_CC:-cc} -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION $CFLAGS_ALL \
    -c -o "$build/sqlite3.o" "$build/sqlite3.c" >>"$LOGS/$name-build.log" 2>&1 || fails "$name" build
  rm -f "$PREFIX/lib/libsqlite3.a"
  ${HOST:+$HOST-}ar rcs "$PREFIX/lib/libsqlite3.a" "$build/sqlite3.o"
  cp "$build/sqlite3.h" "$src/src/sqlite3ext.h" "$PREFIX/include/" 2>/dev/null ||
    cp "$build/sqlite3.h" "$PREFIX/include/"
  mkdir -p "$PREFIX/lib/pkgconfig"
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: SQLite\nDescription: SQL database engine\nVersion: %s\nLibs: -L${libdir} -lsqlite3\nCflags: -I${includedir}\n' \
    "$PREFIX" "$upstream" >"$PREFIX/lib/pkgconfig/sqlite3.pc"
}

# The recipe's state as it is read: the key of the last library (the next
# one's starting point) and the libraries listed so far.
CHAIN_KEY=$ENGINE_VERSION-$TARGET
LISTED=""
# What a package of a program linking the stack has to carry: each source
# package's licence (Debian's debian/copyright) and, in SOURCES, its name
# and version; gathered on every run and put in place at its end.
NOTICES=$PREFIX/share/doc/sip-stack.new
rm -rf "$NOTICES" && mkdir -p "$NOTICES/licenses"

# notice SOURCE-DIR: the licence and version of a fetched source (an
# upstream tarball's own licence file when Debian's part is not there).
notice() {
  source_name=$(basename "$1")
  source_name=${source_name%%_*}
  if [ -f "$1/tree/debian/copyright" ]; then
    cp "$1/tree/debian/copyright" "$NOTICES/licenses/$source_name.txt"
    echo "$source_name $(dpkg-parsechangelog -l "$1/tree/debian/changelog" -S Version)" >>"$NOTICES/SOURCES"
  else
    cat "$1/tree/COPYING" "$1/tree/AUTHORS" >"$NOTICES/licenses/$source_name.txt" 2>/dev/null ||
      { echo "build-sip-stack: $source_name has no licence file" >&2; exit 1; }
    echo "$source_name $(cat "$1/version") (upstream tarball)" >>"$NOTICES/SOURCES"
  fi
}

# library NAME source=PACKAGE build=SYSTEM [needs="NAME..."] [only=TARGET]
#         [tarball=upstream] -- OPTIONS...
# (the recipe's one statement): builds NAME unless its stamp is current.
library() {
  name=$1 package="" system="" needs="" only="" tarball=""
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    case $1 in
    source=*) package=${1#source=} ;;
    build=*) system=${1#build=} ;;
    needs=*) needs=${1#needs=} ;;
    only=*) only=${1#only=} ;;
    tarball=*) tarball=${1#tarball=} ;;
    *) echo "build-sip-stack: recipe: $name: unknown field $1" >&2; exit 2 ;;
    esac
    shift
  done
  [ $# -gt 0 ] && shift
  [ -z "$only" ] || [ "$only" = "$TARGET" ] || return 0
  for need in $needs; do
    case " $LISTED " in *" $need "*) ;; *)
      echo "build-sip-stack: recipe: $name needs $need, which is not listed before it" >&2; exit 2 ;;
    esac
  done
  source_dir=$(fetch "$package" "$tarball")
  notice "$source_dir"
  CHAIN_KEY=$(stamp_key "$CHAIN_KEY" "$source_dir" "$name" "$@")
  LISTED="$LISTED $name"
  stamp=$PREFIX/.stamps/$name
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$CHAIN_KEY" ] && return 0
  upstream=$(upstream_of "$source_dir")
  say "building $name $upstream"
  started=$(date +%s)
  work=$BUILDS/$name
  rm -rf "$work" && mkdir -p "$work/build"
  cp -a "$source_dir/tree" "$work/src"
  if [ -f "$PATCHES/$name.patch" ]; then
    patch -d "$work/src" -p1 <"$PATCHES/$name.patch" >"$LOGS/$name-patch.log" 2>&1 || fails "$name" patch
  fi
  "build_$system" "$name" "$work/src" "$work/build" "$upstream" "$@"
  echo "$CHAIN_KEY" >"$stamp"
  say "$name built in $(($(date +%s) - started)) s"
}

# archive_calls NAME ARCHIVE LIBRARY:FUNCTION...: NAME's ARCHIVE calls each
# FUNCTION, or NAME was built without that system LIBRARY: its stamp goes
# and the build stops.
archive_calls() {
  name=$1 calls=$(nm -u "$PREFIX/lib/$2" 2>/dev/null | awk '{ print $2 }' | sort -u)
  shift 2
  for need in "$@"; do
    if ! echo "$calls" | grep -qx "${need#*:}"; then
      rm -f "$PREFIX/.stamps/$name"
      echo "build-sip-stack[$TARGET]: $name was built without ${need%%:*} (run scripts/install-deps.sh)" >&2
      exit 1
    fi
  done
}

T0=$(date +%s)
. "$ROOT/sip/stack/recipe.sh"
rm -rf "$PREFIX/share/doc/sip-stack" && mv "$NOTICES" "$PREFIX/share/doc/sip-stack"
say "the stack is in $PREFIX ($(($(date +%s) - T0)) s)"
