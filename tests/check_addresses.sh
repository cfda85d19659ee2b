#!/bin/sh
# Every loopback address written in the tests, the benchmarks, the demo and
# the scripts is listed in tests/loopback_addresses.txt with the file that
# writes it; says which are not and fails.
set -eu
cd "$(dirname "$0")/.."
LIST=tests/loopback_addresses.txt
missing=$(grep -rnoE '127\.[0-9]+\.[0-9]+\.[0-9]+' tests bench demo scripts |
  grep -v "^$LIST:" | awk -F: '{ print $1, $3 }' | sort -u |
  while read -r file addr; do
    awk -v addr="$addr" -v file="$file" '
      $1 == addr { for (i = 2; i <= NF; i++) if ($i == file || $i == "any") found = 1 }
      END { exit !found }' "$LIST" || echo "$addr in $file"
  done)
if [ -n "$missing" ]; then
  echo "check-addresses: not in $LIST:" >&2
  echo "$missing" >&2
  exit 1
fi
echo "check-addresses: every loopback address is listed in $LIST"
