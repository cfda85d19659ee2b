#!/bin/sh
# Installs every Debian package the build, the tests, the demo and the
# benchmarks need, and the source lines of the release's own archives, from
# which scripts/build-sip-stack.sh builds the SIP stack (Tcl makes SQLite's
# one-file source; the stack uses the system's sound servers and codecs).
# Safe to run again: apt skips what is already there. The source lines are
# derived from the machine's own Debian package lines (the same archives, as
# deb-src), so no archive is named here.
set -eu
PKGS="build-essential cmake meson ninja-build m4 pkg-config clang-format dpkg-dev tcl
  libpulse-dev libasound2-dev libgsm1-dev libbcg729-dev
  libfltk1.3-dev libxcursor-dev libxinerama-dev libcpp-httplib-dev libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  sip-tester baresip-core xvfb xdotool x11-apps imagemagick xauth
  g++-mingw-w64-x86-64 python3 procps iproute2 locales fonts-liberation"
SRC_LIST=/etc/apt/sources.list.d/dravik-tests-src.sources
. "$(dirname "$0")/lib.sh"

# The release's own archives: the stanzas whose suites are this release or
# its updates and security suites, turned into source stanzas. One-line
# entries ("deb URI suite components") are turned into stanzas as well.
derive_sources() {
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$SRC_LIST" ] || continue
    awk -v rel="$codename" '
      function flush() {
        if (keep && deb) printf "%s\n", stanza
        stanza = ""; keep = 0; deb = 0
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      {
        line = $0
        if ($1 == "Types:") {
          for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1
          line = "Types: deb-src"
        }
        if ($1 == "Suites:") for (i = 2; i <= NF; i++) if ($i == rel || index($i, rel "-") == 1) keep = 1
        stanza = stanza line "\n"
      }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v rel="$codename" '$1 == "deb" {
        i = 2
        if ($i ~ /^\[/) while ($i !~ /\]$/) i++
        if ($i ~ /^\[/ || $i ~ /\]$/) i++
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps " " $j
        if (suite == rel || index(suite, rel "-") == 1)
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n\n", uri, suite, comps
      }' "$f"
  done
}

new_sources=$(derive_sources)
if [ -z "$new_sources" ]; then
  echo "install-deps: no Debian package source found to derive source lines from" >&2
  exit 1
fi
if [ ! -f "$SRC_LIST" ] || [ "$(cat "$SRC_LIST")" != "$new_sources" ]; then
  printf '%s\n' "$new_sources" | as_root tee "$SRC_LIST" >/dev/null
  apt_update
fi
# shellcheck disable=SC2086 # one word per package
apt_install $PKGS
