# Shared by the Wine tests (sourced after scripts/lib.sh, with WORK, PROBE
# and IMAGE set): a fresh Wine prefix, the window probe and clicks on what
# it lists.

# fresh_wine_prefix DIR: a new prefix in DIR, in Portuguese, with Wine
# drawing its windows' frames itself, so no window manager is needed.
fresh_wine_prefix() {
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  WINEPREFIX=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
  # No browser or .NET runtime to offer to download, and no menu entries
  # made on this machine for the shortcuts that installers create.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LC_ALL=pt_BR.UTF-8 LANG=pt_BR.UTF-8
  wine wineboot --init >"$WORK/wineboot.log" 2>&1 || return 1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

# Safe in an exit trap under set -e: a server already gone fails nothing,
# so the cleanup after it still runs.
stop_wine() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
}

# What the program shows now, in $WORK/probe.txt.
probe() {
  wine "$PROBE" "$IMAGE" >"$WORK/probe.new" 2>/dev/null || true
  mv "$WORK/probe.new" "$WORK/probe.txt"
}
has() { grep -q -- "$1" "$WORK/probe.txt"; }

# Each probe takes a fraction of a second: 60 of them are some 20 seconds.
PROBE_TRIES=60

# probe_until CONDITION: probes until the shell CONDITION holds, at most
# PROBE_TRIES times.
probe_until() {
  n=0
  while :; do
    probe
    eval "$1" && return 0
    n=$((n + 1))
    [ $n -ge $PROBE_TRIES ] && return 1
  done
}
# wait_probe PATTERN: until a line of the probe's answer matches.
wait_probe() { probe_pattern=$1; probe_until 'has "$probe_pattern"'; }
# wait_probe_gone PATTERN: until no line of the probe's answer matches.
wait_probe_gone() { probe_pattern=$1; probe_until '! has "$probe_pattern"'; }

# show_session_state: what the probe saw last and the logs of the scripted
# session's peers (session.sh), for a failing session's report.
show_session_state() {
  if [ -f "$WORK/probe.txt" ]; then
    echo "--- what the probe saw last"
    cat "$WORK/probe.txt"
  fi >&2
  show_logs 30 service.log program.log registrar.log busy.log hangs-up.log stranger.log \
    too-brief.log gsm.log ending.log \
    digits.log second.log transfers.log redirects.log
}

# The lines of the top-level window whose caption matches the regular
# expression CAPTION whole (dialog boxes first), with their controls.
window_block() {
  awk -v want="^$1\$" '
    /^window / {
      t = $0; sub(/^.* text="/, "", t); sub(/" rect=.*$/, "", t)
      grab = (t ~ want)
    }
    grab' "$WORK/probe.txt"
}
box_block() {
  awk -v want="^$1\$" '
    /^window / {
      t = $0; sub(/^.* text="/, "", t); sub(/" rect=.*$/, "", t)
      grab = (t ~ want) && index($0, "class=\"#32770\"")
    }
    grab' "$WORK/probe.txt"
}

# wait_box CAPTION TEXT: until a message box with that caption shows a text
# that starts with TEXT (regular expressions).
wait_box() {
  box_caption=$1 box_text=$2
  probe_until 'box_block "$box_caption" | grep -q "class=\"Static\" text=\"$box_text"'
}
# wait_gone CAPTION: until no message box with that caption is shown.
wait_gone() { box_caption=$1; probe_until '[ -z "$(box_block "$box_caption")" ]'; }

# control_centre CAPTION TEXT [NTH]: screen position of the middle of the
# NTH (default 1) direct control whose text is TEXT, in the window whose
# caption matches CAPTION (a message box if there is one).
control_centre() {
  { box_block "$1"; window_block "$1"; } | awk -v want="$2" -v nth="${3:-1}" '
    /^window / && !done {
      c = $0; sub(/^.* client=/, "", c); sub(/ .*$/, "", c); split(c, origin, ",")
    }
    /^  control / && !done {
      t = $0; sub(/^.* text="/, "", t); sub(/" rect=.*$/, "", t)
      # Button labels compare without their mnemonic mark ("&Sim").
      gsub(/&/, "", t); w = want; gsub(/&/, "", w)
      if (t == w && ++seen == nth) {
        r = $0; sub(/^.* rect=/, "", r); sub(/ .*$/, "", r); split(r, rect, ",")
        print origin[1] + rect[1] + int(rect[3] / 2), origin[2] + rect[2] + int(rect[4] / 2)
        done = 1
      }
    }'
}

# click_control CAPTION TEXT [--move-only]: a click in the middle of it.
click_control() {
  probe
  pos=$(control_centre "$1" "$2")
  [ -n "$pos" ] || fail "no control \"$2\" in the window \"$1\""
  # shellcheck disable=SC2086
  if [ "${3:-}" = --move-only ]; then
    xdotool mousemove $pos
  else
    xdotool mousemove $pos click 1
  fi
}

# click_edit N: a click into the main window's Nth edit field.
click_edit() {
  probe
  pos=$(window_block 'Dravik Tirn 1\.1' | awk -v nth="$1" '
    /^window / { c = $0; sub(/^.* client=/, "", c); sub(/ .*$/, "", c); split(c, origin, ",") }
    /^  control .*class="Edit"/ && ++seen == nth {
      r = $0; sub(/^.* rect=/, "", r); sub(/ .*$/, "", r); split(r, rect, ",")
      print origin[1] + rect[1] + int(rect[3] / 2), origin[2] + rect[2] + int(rect[4] / 2); exit
    }')
  [ -n "$pos" ] || fail "no edit field $1 in the main window"
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 1
}

# retype_password PW: the password field emptied, PW typed, Enter.
retype_password() {
  click_edit 2
  # Emptied key by key: the layer's edit field has no Shift+Home selection.
  xdotool key End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace \
    BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
  xdotool type --delay 30 "$1"
  xdotool key Return
}

# log_in CODE PASSWORD: typed into the login screen's two fields, then Enter.
log_in() {
  click_edit 1
  xdotool type --delay 30 "$1"
  xdotool key Tab
  xdotool type --delay 30 "$2"
  xdotool key Return
}

# close_program PID [COMMAND]: Alt+F4 on the call screen, COMMAND (if
# given) while "Sair ?" is shown, then OK; the program must end, with code 0.
close_program() {
  click_control 'Dravik Tirn 1\.1' Ligar --move-only
  xdotool key alt+F4
  wait_box 'Dravik Tirn' 'Sair ?' || fail "no close prompt"
  if [ -n "${2:-}" ]; then $2; fi
  click_control 'Dravik Tirn' OK
  # The logout notice may take its 10 seconds when the service does not answer.
  wait_until 300 'ended "$1"' || fail "the program did not end after OK"
  exited_ok "$1" || fail "the program exited with code $EXIT_CODE"
}

# new_ca DIR NAME: a throw-away CA (EC P-256, valid two days) in DIR/NAME.pem
# and DIR/NAME.key.
new_ca() {
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$1/$2.key" -out "$1/$2.pem" 2>/dev/null
}

# issue_cert DIR CA STEM NAME...: a server certificate for the NAMEs, signed
# by DIR/CA, in DIR/STEM.pem and DIR/STEM.key. An address is named twice: as
# an address and as a name, for TLS stacks that compare names only.
issue_cert() {
  dir=$1 ca=$2 stem=$3
  shift 3
  alt=""
  for n in "$@"; do
    alt="$alt${alt:+,}DNS:$n"
    case $n in *[!0-9.]*) ;; *) alt="$alt,IP:$n" ;; esac
  done
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$alt" \
    >"$dir/$stem.ext"
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$1" \
    -keyout "$dir/$stem.key" 2>/dev/null |
    openssl x509 -req -CA "$dir/$ca.pem" -CAkey "$dir/$ca.key" -days 2 -extfile "$dir/$stem.ext" \
      -out "$dir/$stem.pem" 2>/dev/null
}

# trust_root_ca PEM: the certificate added to the current user's root store
# of the Wine prefix, as Windows keeps it in the registry: a key named by
# its SHA-1 thumbprint holding the serialized certificate (property 32, the
# encoded certificate) as "Blob".
trust_root_ca() {
  openssl x509 -in "$1" -outform DER -out "$WORK/root.der"
  python3 - "$WORK/root.der" "$WORK/root.reg" <<'PY'
import hashlib, struct, sys
der = open(sys.argv[1], "rb").read()
blob = struct.pack("<III", 32, 1, len(der)) + der
key = r"HKEY_CURRENT_USER\Software\Microsoft\SystemCertificates\Root\Certificates" + "\\" + \
    hashlib.sha1(der).hexdigest().upper()
with open(sys.argv[2], "w", encoding="utf-16") as out:
    out.write("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n" % key)
    out.write('"Blob"=hex:%s\r\n' % ",".join("%02x" % b for b in blob))
PY
  wine reg import "$WORK/root.reg" >/dev/null 2>&1
}
