#!/bin/sh
# Starts Dravik Tirn in the user's own data folder: the program keeps its
# installation key (key.txt) in the folder it is started in, and the
# installed program's folder is not writable. XDG_DATA_HOME is used when it
# is an absolute path, as the XDG base directory rules say.
case "${XDG_DATA_HOME:-}" in
/*) data=$XDG_DATA_HOME ;;
*) data=${HOME:?}/.local/share ;;
esac
dir=$data/dravik-tirn
if ! mkdir -p "$dir" || ! cd "$dir"; then
  # Started from a menu nobody reads stderr: the message goes in a window.
  msg="Não foi possível usar a pasta $dir"
  echo "dravik-tirn: $msg" >&2
  command -v xmessage >/dev/null 2>&1 && xmessage -center -title "Dravik Tirn" "$msg"
  exit 1
fi
exec @PROGRAM_PATH@ "$@"
