# The program's SIP stack, library by library, in build order: each block
# names the library, the Debian source package it is built from, its build
# system, the libraries of this recipe it uses, and its options. Read by
# scripts/build-sip-stack.sh, which fetches, patches (patches/NAME.patch),
# builds and stamps each one; see there for the build systems.
#
#   library NAME source=PACKAGE build=cmake|autotools|meson|amalgamation
#           [needs="NAME..."] [only=linux|windows] [tarball=upstream] -- OPTIONS...
#
# Same sources, options and patches for both targets; what only concerns
# Windows is kept inside the patches behind the compilers' own Windows
# checks. TARGET (linux or windows) is set when this is read.
# shellcheck shell=sh

# TLS and its cryptography: SIP over TLS, SRTP's keys, and HTTPS for the
# Linux libcurl below. Debian has no MinGW package of it.
library mbedtls source=mbedtls build=cmake -- \
  -DENABLE_TESTING=OFF -DENABLE_PROGRAMS=OFF -DMBEDTLS_FATAL_WARNINGS=OFF \
  -DUSE_SHARED_MBEDTLS_LIBRARY=OFF -DUSE_STATIC_MBEDTLS_LIBRARY=ON

# Echo cancelling, resampling and jitter handling for the sound path.
library speexdsp source=speexdsp build=autotools -- \
  --disable-examples

# The Speex codec.
library speex source=speex build=autotools -- \
  --disable-binaries

# The Opus codec.
library opus source=opus build=autotools -- \
  --disable-doc --disable-extra-programs

# SRTP, for calls of the TLS build.
library srtp2 source=libsrtp2 build=cmake -- \
  -DBUILD_WITH_WARNINGS=OFF -DTEST_APPS=OFF

# XML for the SIP bodies liblinphone reads: no networking, no compression,
# no character sets beyond its own.
library xml2 source=libxml2 build=cmake -- \
  -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF \
  -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_PYTHON=OFF \
  -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_PROGRAMS=OFF

# liblinphone's configuration and call history store. Needs tclsh.
library sqlite3 source=sqlite3 build=amalgamation

# The parser runtime under belle-sip's SIP grammar.
library antlr3c source=libantlr3c build=cmake

# The stack's toolbox (threads, sockets, logs), over mbedtls.
library bctoolbox source=bctoolbox build=cmake needs="mbedtls" -- \
  -DENABLE_MBEDTLS=ON -DENABLE_POLARSSL=OFF -DENABLE_DECAF=OFF \
  -DENABLE_TESTS_COMPONENT=OFF

# RTP.
library ortp source=ortp build=cmake needs="bctoolbox" -- \
  -DENABLE_NTP_TIMESTAMP=OFF

# The grammar engine liblinphone parses SDP and addresses with.
library belr source=belr build=cmake needs="bctoolbox" --

# SIP itself: transactions, dialogs, transports.
library belle-sip source=belle-sip build=cmake needs="bctoolbox belr antlr3c" -- \
  -DENABLE_MDNS=OFF -DENABLE_TUNNEL=OFF

# G.726 for the Linux streams, from spandsp without its fax half (patched
# out): the system's library would bring libtiff and the image libraries
# under it into the program for a codec of a few kilobytes. (No
# --disable-tests: its configure takes any value of it for "yes".) Built
# from the source package's upstream tarball: Debian's own part of it is
# missing from the archive mirrors this is built on.
library spandsp source=spandsp build=autotools only=linux tarball=upstream --

# The sound server's client for the Linux streams, client only: Debian's
# libpulse brings libsndfile with its codecs, systemd's and D-Bus's clients,
# gcrypt and more into the program; this one speaks the native protocol over
# the server's socket and nothing else (no X11 or D-Bus server lookup, no
# autospawn). Its run-time paths are the system's (/etc/pulse/client.conf,
# /var/run/pulse, /usr/share/locale), as with Debian's. Patched to build
# static archives and to need libsndfile only for the daemon.
library pulseaudio source=pulseaudio build=meson only=linux -- \
  -Dsysconfdir=/etc -Dlocalstatedir=/var -Dbindir=/usr/bin -Dlocaledir=/usr/share/locale \
  -Ddaemon=false -Dclient=true -Ddoxygen=false -Dman=false -Dtests=false -Dgcov=false \
  -Ddatabase=simple -Dhal-compat=false -Dipv6=true -Dalsa=disabled -Dasyncns=disabled \
  -Davahi=disabled -Dbluez5=disabled -Ddbus=disabled -Delogind=disabled -Dfftw=disabled \
  -Dglib=disabled -Dgsettings=disabled -Dgstreamer=disabled -Dgtk=disabled -Djack=disabled \
  -Dlirc=disabled -Dopenssl=disabled -Dorc=disabled -Doss-output=disabled -Dsamplerate=disabled \
  -Dsoxr=disabled -Dspeex=disabled -Dsystemd=disabled -Dtcpwrap=disabled -Dudev=disabled \
  -Dvalgrind=disabled -Dx11=disabled -Dwebrtc-aec=disabled

# The audio streams, voice only. Linux keeps its sound servers (PulseAudio
# through the client above) and the codecs Debian's build offers (G.726
# through the spandsp above; GSM and G.729, which calls offer by default,
# through the system's libgsm and bcg729: their -dev packages come with
# scripts/install-deps.sh); Windows has its MME cards (patched in) and the
# codecs built here.
if [ "$TARGET" = linux ]; then
  LINUX_NEEDS="spandsp pulseaudio"
  # The PulseAudio client above, as archives: its check links with both
  # and libm, which the library's own lookup (one shared libpulse) leaves
  # out (a STRING: as a file path, "m" would be made a path).
  CARDS="-DENABLE_PULSEAUDIO=ON -DENABLE_ALSA=ON -DENABLE_GSM=ON -DENABLE_G726=ON -DENABLE_G729=ON
    -DENABLE_G729B_CNG=ON
    -DPULSEAUDIO_LIBRARIES:STRING=$PREFIX/lib/libpulse.a;$PREFIX/lib/pulseaudio/libpulsecommon-16.1.a;m"
else
  LINUX_NEEDS=""
  CARDS="-DENABLE_PULSEAUDIO=OFF -DENABLE_ALSA=OFF -DENABLE_GSM=OFF -DENABLE_G726=OFF -DENABLE_G729=OFF
    -DENABLE_G729B_CNG=OFF"
fi
# shellcheck disable=SC2086
library mediastreamer2 source=mediastreamer2 build=cmake needs="ortp srtp2 speexdsp speex opus $LINUX_NEEDS" -- \
  -DENABLE_SOUND=ON $CARDS -DENABLE_PORTAUDIO=OFF \
  -DENABLE_OSS=OFF -DENABLE_VIDEO=OFF -DENABLE_FFMPEG=OFF -DENABLE_MKV=OFF -DENABLE_JPEG=OFF \
  -DENABLE_QRCODE=OFF -DENABLE_GL=OFF -DENABLE_GLX=OFF -DENABLE_QT_GL=OFF -DENABLE_SDL=OFF \
  -DENABLE_X11=OFF -DENABLE_XV=OFF -DENABLE_V4L=OFF -DENABLE_VPX=OFF -DENABLE_THEORA=OFF \
  -DENABLE_LIBYUV=OFF -DENABLE_BV16=OFF \
  -DENABLE_ZRTP=OFF -DENABLE_PCAP=OFF -DENABLE_SRTP=ON -DENABLE_OPUS=ON -DENABLE_SPEEX_CODEC=ON \
  -DENABLE_SPEEX_DSP=ON -DENABLE_RESAMPLE=ON -DENABLE_NON_FREE_CODECS=OFF
# A missing header package would leave a sound server or codec out quietly:
# each must be reached through a function of its library.
if [ "$TARGET" = linux ]; then
  archive_calls mediastreamer2 libmediastreamer.a libpulse:pa_context_new libasound:snd_pcm_open \
    libgsm:gsm_create libspandsp:g726_init libbcg729:initBcg729EncoderChannel
fi

# The call library the program drives: no chat storage, encryption engines,
# video, wrappers or tools.
library linphone source=liblinphone-dev build=cmake \
  needs="mediastreamer2 belle-sip belr bctoolbox ortp xml2 sqlite3" -- \
  -DENABLE_ADVANCED_IM=OFF -DENABLE_DB_STORAGE=OFF \
  -DENABLE_LIME=OFF -DENABLE_LIME_X3DH=OFF -DENABLE_VCARD=OFF -DENABLE_FLEXIAPI=OFF \
  -DENABLE_VIDEO=OFF -DENABLE_CXX_WRAPPER=OFF -DENABLE_CSHARP_WRAPPER=OFF -DENABLE_JAVA_WRAPPER=OFF \
  -DENABLE_SWIFT_WRAPPER=OFF -DENABLE_CONSOLE_UI=OFF -DENABLE_DAEMON=OFF -DENABLE_TUTORIALS=OFF \
  -DENABLE_LDAP=OFF -DENABLE_ASSETS=OFF -DENABLE_UPDATE_CHECK=OFF -DENABLE_NOTIFY=OFF \
  -DENABLE_READLINE=OFF -DENABLE_TUNNEL=OFF -DENABLE_DATE=OFF

# The service client on Linux: libcurl with HTTP and HTTPS only, over the
# mbedtls above and the system's zlib (for compressed answers), with
# Debian's CA bundle; Debian's own package brings Kerberos, LDAP, SSH, RTMP,
# GnuTLS and OpenSSL into the process. Windows builds its libcurl, with its
# own TLS, in build-windows.sh.
library curl source=curl build=cmake needs="mbedtls" only=linux -- \
  -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_MBEDTLS=ON \
  -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF \
  -DCURL_ZLIB=ON -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
  -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF -DCURL_CA_BUNDLE=/etc/ssl/certs/ca-certificates.crt \
  -DCURL_CA_PATH=none

# The service's JSON answers, on Linux (Windows: build-windows.sh).
library jsoncpp source=libjsoncpp build=cmake only=linux -- \
  -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF \
  -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_EXAMPLE=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
