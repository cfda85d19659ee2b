#!/bin/sh
# The Windows installer, installed as a customer would, in a fresh Wine
# prefix: started by hand it shows the licence; then silently, for the
# current user. The program is started as its Start-menu shortcut starts
# it, once from the shortcut's target and working folder, once by the shell
# from the shortcut itself; each time it logs in to the demo service on
# 127.0.0.1:18080 (the host the executable is built for): key.txt must be in
# the user's own folder and both logins must send its key; started from its
# installation folder (Explorer's double-click), the program uses that key
# too and writes nothing there. An upgrade keeps the key. With the program
# open, a silent upgrade or uninstall fails and changes nothing, and the
# uninstall wizard asks to close it and closes it only through the
# program's own close (its "Sair ?" and logout notice). The uninstaller must
# remove the program, its shortcuts and its entry in the list of programs,
# and leave nothing in both AppData folders but key.txt; asked to
# (/REMOVEKEY), it removes the key as well. Installed for all users, the
# shortcut starts the program in each user's own folder, through %APPDATA%.
# The listings of the AppData folders and the wizard's page with the
# program open (uninstall-program-open.png) are left in SHOTS-DIR, when
# given.
#
# windows_install.sh SETUP.exe PROBE.exe WINE-PREFIX-DIR [SHOTS-DIR]
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
SETUP=$(abspath "$1")
PROBE=$(abspath "$2")
PREFIX=$3
SHOTS=${4:-}
IMAGE=dravik-tirn.exe
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
use_work_dir
trap 'stop_wine; stop_tracked; rm -rf "$WORK"' EXIT INT TERM

fail() {
  printf "windows-install: FAILED: %s\n" "$*" >&2
  [ -f "$WORK/probe.txt" ] && { echo "--- what the probe saw last"; cat "$WORK/probe.txt"; } >&2
  show_logs 20 service.log
  exit 1
}
say() { printf 'windows-install: %s\n' "$*"; }

# Wine links the prefix's user folders (Desktop...) to those of HOME: a
# HOME of the test's own keeps them in the prefix.
export HOME="$WORK/home"
mkdir -p "$HOME"
start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
fresh_wine_prefix "$PREFIX" || fail "the Wine prefix could not be made"

# unix_path WINDOWS-PATH: where it is here; environment variables in it are
# expanded first, as the shell does for a shortcut's working folder.
unix_path() {
  case "$1" in
  *%*) p=$(wine cmd /c echo "$1" 2>/dev/null | tr -d '\r') ;;
  *) p=$1 ;;
  esac
  winepath -u "$p" 2>/dev/null
}
USER_DIR=$(unix_path 'C:\users\'"$(id -un)")
APPDATA=$(unix_path '%APPDATA%')
LOCALAPPDATA=$(unix_path '%LOCALAPPDATA%')
TEMP_DIR=$(unix_path '%TEMP%')
START_MENU="$APPDATA/Microsoft/Windows/Start Menu/Programs"
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\DravikTirn'

# appdata_listing: what both AppData folders hold, a path a line (but the
# temporary folder, which Wine and the uninstaller's copy use).
appdata_listing() {
  {
    (cd "$APPDATA" && find . -mindepth 1 | sed 's|^\.|%APPDATA%|')
    (cd "$LOCALAPPDATA" && find . -mindepth 1 ! -path ./Temp ! -path './Temp/*' |
      sed 's|^\.|%LOCALAPPDATA%|')
  } | LC_ALL=C sort
}
# appdata_left NAME [KEY]: compared with the listing before the installation,
# nothing more in both AppData folders than key.txt in its folder (with KEY
# "key"), nor a folder of the program's runs in the temporary folder; the
# listing is kept in SHOTS as appdata-NAME.txt. (Windows' own folder of
# per-user programs, %LOCALAPPDATA%\Programs, which a fresh Wine prefix
# lacks, may stay, empty.)
appdata_left() {
  appdata_listing >"$WORK/appdata-$1.txt"
  [ -n "$SHOTS" ] && cp "$WORK/appdata-$1.txt" "$SHOTS/appdata-$1.txt"
  allowed='^%LOCALAPPDATA%/Programs$'
  [ "${2:-}" = key ] && allowed='^%APPDATA%/Dravik Tirn(/key\.txt)?$|^%LOCALAPPDATA%/Programs$'
  extra=$(LC_ALL=C comm -13 "$WORK/appdata-before.txt" "$WORK/appdata-$1.txt" | grep -Ev "$allowed" || true)
  [ -z "$extra" ] || fail "$1: left in AppData: $(echo "$extra" | tr '\n' ' ')"
  runs=$(cd "$TEMP_DIR" && find . -maxdepth 1 -name 'dravik-tirn-*' | head -n 3 | tr '\n' ' ')
  [ -z "$runs" ] || fail "$1: left in the temporary folder: $runs"
}
[ -n "$SHOTS" ] && mkdir -p "$SHOTS"
appdata_listing >"$WORK/appdata-before.txt"

# Started as a user starts it: after the welcome page, the licence.
IMAGE=$(basename "$SETUP")
wine "$SETUP" >"$WORK/setup.log" 2>&1 &
PIDS="$PIDS $!"
wait_probe 'text="Instalação do Dravik Tirn' || fail "the installer's window did not appear"
xdotool key Return
wait_probe 'class="RichEdit20W" text=" *GNU GENERAL PUBLIC LICENSE' || fail "the installer shows no licence page"
has 'class="Static" text="Acordo de Licença"' || fail "the licence page has no title"
wineserver -k
IMAGE=dravik-tirn.exe

wine "$SETUP" /S >"$WORK/setup.log" 2>&1 || fail "the installer failed (exit code $?)"
LNK="$START_MENU/Dravik Tirn.lnk"
[ -f "$LNK" ] || fail "no Start-menu shortcut $LNK"
[ -f "$USER_DIR/Desktop/Dravik Tirn.lnk" ] || fail "no desktop shortcut"
python3 "$ROOT/tests/install/lnk_fields.py" "$LNK" >"$WORK/lnk.txt"
TARGET=$(sed -n 's/^target=//p' "$WORK/lnk.txt")
WORKDIR=$(sed -n 's/^workdir=//p' "$WORK/lnk.txt")
say "shortcut target: $TARGET"
say "shortcut working folder: $WORKDIR"
PROGRAM=$(unix_path "$TARGET")
RUN=$(unix_path "$WORKDIR")
INSTDIR=$(dirname "$PROGRAM")
[ -f "$PROGRAM" ] || fail "the shortcut's target $TARGET is not installed"
[ "$RUN" = "$APPDATA/Dravik Tirn" ] || fail "the working folder $WORKDIR is not the user's own folder"
[ -d "$RUN" ] || fail "the installer did not make the working folder $WORKDIR"
for f in LICENSE.txt SOURCES.txt uninstall.exe licenses/curl.txt licenses/libjsoncpp.txt; do
  [ -f "$INSTDIR/$f" ] || fail "the installation has no $f"
done
say "installed in ${TARGET%\\*}: $(cd "$INSTDIR" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')"
wine reg query "$UNINSTALL_KEY" >"$WORK/uninstall-entry.txt" 2>&1 || fail "no entry in the list of programs"
for value in DisplayName DisplayVersion Publisher UninstallString DisplayIcon; do
  grep -q "$value" "$WORK/uninstall-entry.txt" || fail "the list of programs' entry has no $value"
done

start_demo_peers "$WORK" "" 127.0.0.43 18080 || fail "the demo service did not start"

# start_logged_in fields|link|installdir: one start and a login. The program
# is started from the shortcut's fields, by the shell from the shortcut, or
# in its installation folder as Explorer's double-click starts it.
start_logged_in() {
  case $1 in
  fields) (cd "$RUN" && exec wine "$TARGET" >"$WORK/program.log" 2>&1) & ;;
  link) (cd "$WORK" && exec wine start /wait "$(winepath -w "$LNK")" >"$WORK/program.log" 2>&1) & ;;
  installdir) (cd "$INSTDIR" && exec wine "$TARGET" >"$WORK/program.log" 2>&1) & ;;
  esac
  PROGRAM_PID=$!
  PIDS="$PIDS $PROGRAM_PID"
  wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1"' || fail "the main window did not appear"
  log_in 1001 demo123
  wait_probe 'class="Button" text="Ligar"' || fail "the call screen did not appear"
}
# run_from_shortcut fields|link|installdir: one start, a login, a close.
run_from_shortcut() {
  start_logged_in "$1"
  close_program "$PROGRAM_PID"
}
run_from_shortcut fields
problem=$(key_logins "$RUN/key.txt" 1) || fail "start from the shortcut's fields ($WORKDIR): $problem"
KEY=$(cat "$RUN/key.txt")
run_from_shortcut link
[ "$(cat "$RUN/key.txt")" = "$KEY" ] || fail "key.txt changed between two starts"
problem=$(key_logins "$RUN/key.txt" 2) || fail "start from the shortcut: $problem"
say "the same key sent twice from $WORKDIR"
run_from_shortcut installdir
[ ! -e "$INSTDIR/key.txt" ] || fail "started in its installation folder, the program wrote key.txt there"
problem=$(key_logins "$RUN/key.txt" 3) || fail "start in the installation folder: $problem"
say "started in the installation folder: the same key, nothing written there"

# An upgrade (the installer run again over the installation) keeps the key.
wine "$SETUP" /S >"$WORK/setup.log" 2>&1 || fail "the upgrade failed"
[ "$(cat "$RUN/key.txt")" = "$KEY" ] || fail "the upgrade changed key.txt"
python3 "$ROOT/tests/install/lnk_fields.py" "$LNK" | grep -qxF "workdir=$WORKDIR" ||
  fail "the upgrade changed the shortcut's working folder"

# uninstall [OPTIONS]: the uninstaller as the list of programs runs it, and
# the wait until its copy (it runs from a temporary copy) has finished: until
# the prefix has no process left. The installation folder goes before the
# uninstaller's last steps (the key's folder, with /REMOVEKEY).
uninstall() {
  wine "$INSTDIR/uninstall.exe" /S "$@" >"$WORK/uninstall.log" 2>&1 || fail "the uninstaller failed"
  timeout 60 wineserver -w || fail "the uninstaller did not finish in 60 s"
  [ ! -e "$INSTDIR" ] || fail "the installation folder stayed: $(ls -R "$INSTDIR")"
}
# With the program open (a login, so that its close has a logout notice to
# send), neither the installer nor the uninstaller goes on silently: each
# fails and changes nothing. The uninstaller's code is read from a copy run
# in place (_?=), as its usual start hands the work to such a copy and
# returns at once.
start_logged_in fields
status=0
wine "$SETUP" /S >"$WORK/setup.log" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "the silent upgrade reported success with the program open"
running "$PROGRAM_PID" || fail "the silent upgrade ended the program"
mkdir "$WORK/uninstaller"
cp "$INSTDIR/uninstall.exe" "$WORK/uninstaller/"
status=$(cd "$WORK/uninstaller" &&
  wine cmd /c "uninstall.exe /S _?=$(winepath -w "$INSTDIR")& echo status=%errorlevel%" 2>/dev/null |
  tr -d '\r' | sed -n 's/^status=//p')
[ -n "$status" ] && [ "$status" -ne 0 ] || fail "the silent uninstall reported success (${status:-no code}) with the program open"
running "$PROGRAM_PID" || fail "the silent uninstall ended the program"
[ -f "$PROGRAM" ] && [ -f "$INSTDIR/uninstall.exe" ] && [ -e "$LNK" ] || fail "the failed silent uninstall removed files"
wine reg query "$UNINSTALL_KEY" >/dev/null 2>&1 || fail "the failed silent uninstall removed the entry in the list of programs"
say "silently, with the program open: the upgrade and the uninstall fail (code $status) and change nothing"
[ -n "$SHOTS" ] && appdata_listing >"$SHOTS/appdata-program-open.txt"

# The wizard: asked to go on, it asks for the program to be closed; on OK
# the program gets its own close ("Sair ?"), ends its login, and only then
# is it removed. The uninstaller's wizard runs from its copy, Un.exe.
logouts=$(grep -c '^codigo=1001$' "$WORK/logout.log" || true)
(cd "$WORK" && exec wine "$INSTDIR/uninstall.exe" >"$WORK/uninstall.log" 2>&1) &
PIDS="$PIDS $!"
IMAGE=Un.exe
wait_probe 'class="Button" text="&*Próximo >"' || fail "the uninstall wizard did not appear"
click_control '.*Dravik Tirn.*' 'Próximo >'
wait_probe 'class="Static" text="O Dravik Tirn está aberto e precisa ser fechado' ||
  fail "the uninstall wizard did not ask for the open program to be closed"
[ -n "$SHOTS" ] && import -window root "$SHOTS/uninstall-program-open.png"
[ -f "$PROGRAM" ] || fail "the uninstall wizard removed the program before it was closed"
click_control '.*Dravik Tirn.*' OK
IMAGE=dravik-tirn.exe
wait_box 'Dravik Tirn' 'Sair ?' || fail "the program was not asked to close (no \"Sair ?\")"
click_control 'Dravik Tirn' OK
wait_until 300 'ended "$PROGRAM_PID"' || fail "the program did not end after its close"
exited_ok "$PROGRAM_PID" || fail "the program exited with code $EXIT_CODE"
[ "$(grep -c '^codigo=1001$' "$WORK/logout.log")" -eq $((logouts + 1)) ] ||
  fail "the program closed for the uninstaller sent no logout notice"
IMAGE=Un.exe
wait_probe 'class="Button" text="&*Desinstalar"' || fail "the uninstall wizard did not go on once the program was closed"
click_control '.*Dravik Tirn.*' Desinstalar
wait_probe 'class="Button" text="&*Fechar"' || fail "the uninstall wizard did not finish"
click_control '.*Dravik Tirn.*' Fechar
IMAGE=dravik-tirn.exe
timeout 60 wineserver -w || fail "the uninstaller did not finish in 60 s"
[ ! -e "$INSTDIR" ] || fail "the installation folder stayed: $(ls -R "$INSTDIR")"
say "the wizard had the program closed through its own close, then removed it"
appdata_left uninstalled key

# Installed again and removed silently, the program closed.
wine "$SETUP" /S >"$WORK/setup.log" 2>&1 || fail "installing again failed"
uninstall
[ ! -e "$LNK" ] || fail "the Start-menu shortcut stayed"
[ ! -e "$USER_DIR/Desktop/Dravik Tirn.lnk" ] || fail "the desktop shortcut stayed"
! wine reg query "$UNINSTALL_KEY" >/dev/null 2>&1 || fail "the entry in the list of programs stayed"
[ "$(cat "$RUN/key.txt" 2>/dev/null)" = "$KEY" ] || fail "the uninstaller did not keep key.txt"
say "uninstalled; key.txt kept"
appdata_left silent key

# Installed again, then uninstalled with the key.
wine "$SETUP" /S /NODESKTOP >"$WORK/setup.log" 2>&1 || fail "the second installation failed"
[ ! -e "$USER_DIR/Desktop/Dravik Tirn.lnk" ] || fail "/NODESKTOP made a desktop shortcut"
[ "$(cat "$RUN/key.txt")" = "$KEY" ] || fail "installing again changed key.txt"
uninstall /REMOVEKEY
[ ! -e "$RUN" ] || fail "/REMOVEKEY left $RUN: $(ls -A "$RUN")"
appdata_left removekey

# For all users: the program under Program Files, the shortcut in everyone's
# Start menu, its working folder each user's own through %APPDATA%.
wine "$SETUP" /S /AllUsers >"$WORK/setup.log" 2>&1 || fail "the installation for all users failed"
COMMON_LNK="$(unix_path '%ProgramData%')/Microsoft/Windows/Start Menu/Programs/Dravik Tirn.lnk"
[ -f "$COMMON_LNK" ] || fail "no shortcut in the Start menu of all users"
python3 "$ROOT/tests/install/lnk_fields.py" "$COMMON_LNK" >"$WORK/lnk.txt"
say "all users: $(tr '\n' ' ' <"$WORK/lnk.txt")"
grep -qx 'target=C:\\Program Files\\Dravik Tirn\\dravik-tirn.exe' "$WORK/lnk.txt" ||
  fail "the shortcut for all users does not start the program under Program Files"
grep -qx 'workdir=%APPDATA%\\Dravik Tirn' "$WORK/lnk.txt" ||
  fail "the shortcut for all users does not start in each user's own folder"
[ -d "$RUN" ] || fail "the installation for all users did not make the installing user's folder"
# Started from that shortcut, the program makes its key in the user's folder.
(cd "$WORK" && exec wine start "$(winepath -w "$COMMON_LNK")" >"$WORK/program.log" 2>&1) &
PIDS="$PIDS $!"
wait_until 300 '[ -f "$RUN/key.txt" ]' || fail "the program started for all users made no key.txt in $RUN"
wineserver -k
INSTDIR=$(unix_path 'C:\Program Files\Dravik Tirn')
uninstall /AllUsers
[ ! -e "$COMMON_LNK" ] || fail "the shortcut for all users stayed"
appdata_left allusers key
say "passed"
