#!/bin/sh
# What only the tests need on top of install-deps.sh: stunnel (the TLS
# front of the SIP-over-TLS tests), Wine (the Windows program's end-to-end
# test), MinGW-w64 with posix threads (the Windows build, its SIP stack from
# the source lines install-deps.sh adds); PulseAudio gives the calls under
# test a sound card; espeak-ng speaks the voice test's reference speech;
# NSIS and lintian make and check the packages. The demo never runs this:
# running the program needs none of it (the demo installs its sound server).
set -eu
PKGS="wine64 wine fonts-wine g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  stunnel4 pulseaudio espeak-ng nsis lintian x11-utils"
. "$(dirname "$0")/lib.sh"
# shellcheck disable=SC2086 # one word per package
apt_install $PKGS

# Wine takes the Windows locale, and with it the 8-bit code page (1252 for
# Portuguese), from the Unix locale, which has to exist for that.
if ! locale -a 2>/dev/null | grep -qix 'pt_BR\.utf-\?8'; then
  as_root localedef -i pt_BR -c -f UTF-8 pt_BR.UTF-8 || true
  locale -a 2>/dev/null | grep -qix 'pt_BR\.utf-\?8' ||
    { echo "install-test-deps: could not make the pt_BR.UTF-8 locale" >&2; exit 1; }
fi
