#!/bin/sh
# Installs every Debian package the build, the tests, the demo and the
# benchmarks need. Safe to run again: apt skips what is already there.
set -eu
PKGS="build-essential cmake pkg-config clang-format
  liblinphone-dev libcurl4-openssl-dev libjsoncpp-dev
  libfltk1.3-dev libcpp-httplib-dev libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  sip-tester xvfb xdotool x11-apps imagemagick xauth
  g++-mingw-w64-x86-64 python3 procps locales fonts-liberation"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
