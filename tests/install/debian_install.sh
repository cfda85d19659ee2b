#!/bin/sh
# The Debian package, installed as a customer would: dpkg -i, and apt for
# what it depends on. The program is started the way its menu entry starts
# it (the Exec of the installed desktop entry), twice, under Xvfb, each time
# logging in to the demo service on 127.0.0.1:18080 (the host the program is
# built for) and the demo SIP peer: key.txt must be in the user's data
# folder and both logins must send its key. Removed while the program is
# open, the package says that it keeps working, and it does until it is
# closed. dpkg -r must then remove every file the package installed and
# leave key.txt, and after the purge the user's home holds nothing of the
# program but key.txt. The program carries its own
# SIP stack, G.726 codec, PulseAudio client and web client: the package
# depends on none of Debian's SIP, web, TLS or JSON libraries, nor on
# spandsp and its fax libraries, nor on libpulse and its sound-file library.
# Needs root (or sudo).
#
# debian_install.sh PACKAGE.deb X11-CLOSE
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
DEB=$(abspath "$1")
X11CLOSE=$(abspath "$2")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SIP_ADDR=127.0.0.44
. "$ROOT/scripts/lib.sh"
INSTALLED=no
remove_package() {
  if [ $INSTALLED = yes ]; then as_root dpkg -r dravik-tirn >/dev/null 2>&1 || true; fi
}
use_work_dir
trap 'stop_tracked; remove_package; rm -rf "$WORK"' EXIT INT TERM
fail() {
  echo "debian-install: FAILED: $*" >&2
  show_logs 20 service.log program.log dpkg.log
  exit 1
}
say() { echo "debian-install: $*"; }

PACKAGE=$(dpkg-deb -f "$DEB" Package)
[ "$PACKAGE" = dravik-tirn ] || fail "$DEB is not the dravik-tirn package"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
say "$(basename "$DEB"): $(stat -c %s "$DEB") bytes; Depends: $DEPENDS"
if echo "$DEPENDS" | grep -Eo '(liblinphone|libmediastreamer|libbellesip|libortp|libbctoolbox|libcurl|libssl|libgnutls|libmbed|libjsoncpp|libspandsp|libtiff|libpulse|libsndfile)[^ ,]*'; then
  fail "the package depends on Debian's SIP, web, TLS, JSON, fax or PulseAudio libraries (above)"
fi
INSTALLED=yes
if ! as_root dpkg -i "$DEB" >"$WORK/dpkg.log" 2>&1; then
  say "dpkg -i left dependencies to install; apt installs them"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq >>"$WORK/dpkg.log" 2>&1 || fail "the dependencies could not be installed"
fi
dpkg-query -W -f='${Status}' dravik-tirn | grep -q 'install ok installed' || fail "the package is not installed"
dpkg -L dravik-tirn >"$WORK/files"
say "installed: $(while read -r f; do [ -d "$f" ] || echo "$f"; done <"$WORK/files" | tr '\n' ' ')"

# The menu entry: its command, run from the home folder as a menu would.
DESKTOP=/usr/share/applications/dravik-tirn.desktop
EXEC=$(sed -n 's/^Exec=//p' "$DESKTOP")
ICON=$(sed -n 's/^Icon=//p' "$DESKTOP")
[ -n "$EXEC" ] || fail "the desktop entry has no Exec"
[ -f "/usr/share/icons/hicolor/48x48/apps/$ICON.png" ] || fail "no icon $ICON in the icon theme"
say "menu entry: Exec=$EXEC, Icon=$ICON"

export HOME="$WORK/home"
unset XDG_DATA_HOME
mkdir -p "$HOME"
DATA="$HOME/.local/share/dravik-tirn"
start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
start_demo_peers "$WORK" "" "$SIP_ADDR" 18080 || fail "the demo service or SIP peer did not start"

run_from_menu() { # NAME: one start, a login, a close
  # shellcheck disable=SC2086
  (cd "$HOME" && exec $OWNED $EXEC >"$WORK/program.log" 2>&1) &
  pid=$!
  PIDS="$PIDS $pid"
  "$ROOT/demo/tour.sh" --x11-close "$X11CLOSE" --shots "$WORK/shots-$1" --code 1001 --password demo123 \
    --sip-trace "$WORK/sip.msg" --program-log "$WORK/program.log" --login-only yes ||
    fail "the $1 run's login did not complete"
  wait_until 300 'ended "$pid"' || fail "the program did not end after the $1 run"
  exited_ok "$pid" || fail "the program exited with code $EXIT_CODE after the $1 run"
}
# A data folder that cannot be made is said in a window, not only on stderr.
(XDG_DATA_HOME=/proc/version exec $OWNED $EXEC >"$WORK/launcher-fail.log" 2>&1) &
pid=$!
PIDS="$PIDS $pid"
wait_until 100 'xdotool search --class Xmessage >/dev/null 2>&1' ||
  fail "an unusable data folder is not said in a window"
pkill -x xmessage || true
! exited_ok "$pid" || fail "the launcher reported success without a data folder"
run_from_menu first
problem=$(key_logins "$DATA/key.txt" 1) || fail "first start: $problem"
KEY=$(cat "$DATA/key.txt")
run_from_menu second
[ "$(cat "$DATA/key.txt")" = "$KEY" ] || fail "key.txt changed between two starts"
problem=$(key_logins "$DATA/key.txt" 2) || fail "second start: $problem"
say "the same key sent twice from $DATA/key.txt"

# Removed while the program is open and logged in: dpkg says that it keeps
# working; it does, and its close still ends the login.
(cd "$HOME" && exec $OWNED $EXEC >"$WORK/program.log" 2>&1) &
pid=$!
PIDS="$PIDS $pid"
MAIN=$(main_window "$pid") || fail "the main window did not appear"
window_login "$MAIN" 1001 demo123 || fail "the login was not typed"
wait_until 300 'grep -aq "Novo estado de registro LinphoneRegistrationOk" "$WORK/program.log"' ||
  fail "the program did not register"
as_root dpkg -r dravik-tirn >"$WORK/dpkg-r.log" 2>&1 || { cat "$WORK/dpkg-r.log" >>"$WORK/dpkg.log"; fail "dpkg -r failed"; }
cat "$WORK/dpkg-r.log" >>"$WORK/dpkg.log"
INSTALLED=no
grep -q "continua funcionando" "$WORK/dpkg-r.log" || fail "dpkg -r did not say that the open program keeps working"
say "removal with the program open: $(grep -m 1 "continua funcionando" "$WORK/dpkg-r.log")"
running "$pid" || fail "removing the package ended the program"
logouts=$(grep -c '^codigo=1001$' "$WORK/logout.log" || true)
BEFORE=$(visible_windows)
"$X11CLOSE" "$MAIN"
answer_new_box || fail "the program shows no close prompt after the removal"
wait_until 300 'ended "$pid"' || fail "the program did not end after its close"
exited_ok "$pid" || fail "the program exited with code $EXIT_CODE after the removal"
[ "$(grep -c '^codigo=1001$' "$WORK/logout.log")" -eq $((logouts + 1)) ] ||
  fail "the program closed after the removal sent no logout notice"
say "the open program kept working and ended its login when closed"
as_root dpkg --purge dravik-tirn >>"$WORK/dpkg.log" 2>&1 || fail "dpkg --purge failed"
dpkg-query -W -f='${Status}' dravik-tirn 2>/dev/null | grep -q 'ok installed' && fail "the package is still installed"
while read -r f; do
  [ -d "$f" ] || [ ! -e "$f" ] || fail "dpkg -r left $f"
done <"$WORK/files"
[ ! -e /usr/lib/dravik-tirn ] || fail "dpkg -r left the program's folder /usr/lib/dravik-tirn"
[ "$(cat "$DATA/key.txt")" = "$KEY" ] || fail "key.txt did not stay with the user"
# (The sound server's client links its runtime folder from ~/.config/pulse
# when the session names none, as this test's does not; the window toolkit
# keeps its own settings in ~/.fltk.)
left=$(cd "$HOME" && find . -mindepth 1 ! -path ./.config ! -path './.config/pulse*' ! -path './.fltk*' |
  grep -vx -e ./.local -e ./.local/share -e ./.local/share/dravik-tirn -e ./.local/share/dravik-tirn/key.txt |
  head -n 5 | tr '\n' ' ' || true)
[ -z "$left" ] || fail "the program left in the home folder: $left"
say "removed: no file of the package left; key.txt kept, and nothing else in the home folder"
say "passed"
