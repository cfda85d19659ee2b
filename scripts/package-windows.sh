#!/bin/sh
# Makes the Windows installer, BUILD_DIR/dravik-tirn-VERSION-setup.exe, with
# NSIS from the executable that scripts/build-windows.sh makes (built first
# when it is missing). The installer carries the program's licence and the
# licence texts of every library linked into the executable: Debian's
# debian/copyright of each source tree the Windows build compiled (found by
# the Source: of its debian/control, wherever under BUILD_DIR, the SIP
# stack's Windows build folders or the folders in DRAVIK_SOURCE_TREES it
# lies) and of the MinGW-w64 runtime linked in from Debian's toolchain
# packages, with SOURCES.txt saying which source package and version each
# came from. A library the executable links but whose text is not found
# stops the packaging.
#
# package-windows.sh [BUILD_DIR]   (default: build-win)
# Needs scripts/install-test-deps.sh (NSIS, MinGW-w64, dpkg-dev).
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${1:-build-win}
PUBLISHER=${PUBLISHER:-Dravik Tirn developers}
[ -f "$BUILD/app/dravik-tirn.exe" ] || ./scripts/build-windows.sh "$BUILD"
BUILD=$(cd "$BUILD" && pwd)
cache() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
VERSION=$(cache CMAKE_PROJECT_VERSION)
STAGE=$BUILD/installer
rm -rf "$STAGE"
mkdir -p "$STAGE/licenses"
fail() { echo "package-windows: $*" >&2; exit 1; }

# Debian source packages whose code is in the executable.
REQUIRED="libjsoncpp curl bctoolbox ortp belr belle-sip mediastreamer2 linphone mbedtls speexdsp
  speex opus libsrtp2 libxml2 sqlite3 libantlr3c"

# Windows text files: CRLF line ends.
to_crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }

# source_of DEBIAN-DIR: the source package named by its control file.
source_of() { sed -n 's/^Source:[[:space:]]*//p' "$1/control" | head -n 1; }

# Every Debian source tree compiled for this executable: JsonCpp's and
# libcurl's under BUILD_DIR; the SIP stack's libraries, each built from a
# patched copy of its source, under the stack cache's windows/ folder.
STACK_BUILDS=${DRAVIK_STACK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dravik-tirn/sip-stack}/windows
: >"$STAGE/sources"
for top in "$BUILD" "$STACK_BUILDS" ${DRAVIK_SOURCE_TREES:-}; do
  find "$top" -maxdepth 6 \( -name 'wine-prefix*' -o -name CMakeFiles \) -prune -o \
    -path '*/debian/copyright' -type f -print 2>/dev/null
done | sort | while read -r copyright; do
  dir=$(dirname "$copyright")
  [ -f "$dir/control" ] && [ -f "$dir/changelog" ] || continue
  name=$(source_of "$dir")
  [ -n "$name" ] && [ ! -f "$STAGE/licenses/$name.txt" ] || continue
  to_crlf "$copyright" "$STAGE/licenses/$name.txt"
  echo "$name $(dpkg-parsechangelog -l "$dir/changelog" -S Version)" >>"$STAGE/sources"
done

# The C and C++ runtimes and the threads library, linked in statically
# (-static) from the MinGW-w64 toolchain: their texts come with its packages.
for pkg in gcc-mingw-w64-x86-64-posix-runtime mingw-w64-x86-64-dev; do
  name=$(dpkg-query -W -f='${source:Package}' "$pkg") || fail "$pkg is not installed"
  to_crlf "/usr/share/doc/$pkg/copyright" "$STAGE/licenses/$name.txt"
  echo "$name $(dpkg-query -W -f='${source:Version}' "$pkg")" >>"$STAGE/sources"
done

missing=""
for name in $REQUIRED; do
  [ -f "$STAGE/licenses/$name.txt" ] || missing="$missing $name"
done
[ -z "$missing" ] || fail "no debian/copyright found for the linked library source(s):$missing"

{
  echo "Dravik Tirn $VERSION for Windows"
  echo
  echo "Dravik Tirn is free software under the GNU General Public License,"
  echo "version 3 or (at your option) any later version: LICENSE.txt."
  echo
  echo "The corresponding source is the Dravik Tirn source tree this installer"
  echo "was built from (scripts/package-windows.sh makes it), together with"
  echo "Debian's source packages of the libraries linked into dravik-tirn.exe,"
  echo "listed below by name and version (apt-get source NAME=VERSION), and the"
  echo "project's own patches to them and build scripts, which are part of the"
  echo "source tree. The licence of each library is in licenses\\NAME.txt."
  if [ -d "$ROOT/sip/stack/patches" ]; then
    echo "The patches are in sip/stack/patches/, one per library."
  fi
  echo
  sort "$STAGE/sources" | awk '{ printf "  %-24s %s\n", $1, $2 }'
} >"$STAGE/SOURCES.unix"
to_crlf "$STAGE/SOURCES.unix" "$STAGE/SOURCES.txt"
to_crlf "$ROOT/LICENSE" "$STAGE/LICENSE.txt"
x86_64-w64-mingw32-strip -o "$STAGE/dravik-tirn.exe" "$BUILD/app/dravik-tirn.exe"

OUT=$BUILD/dravik-tirn-$VERSION-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DPUBLISHER="$PUBLISHER" \
  -DPROGRAM_EXE="$STAGE/dravik-tirn.exe" -DICON="$ROOT/app/res/app.ico" \
  -DLICENSE_FILE="$STAGE/LICENSE.txt" -DSOURCES_FILE="$STAGE/SOURCES.txt" \
  -DLICENSES_DIR="$STAGE/licenses" -DOUTFILE="$OUT" "$ROOT/packaging/windows/installer.nsi"
echo "package-windows: $OUT ($(stat -c %s "$OUT") bytes); licence texts: $(cd "$STAGE/licenses" && ls | tr '\n' ' ')"
