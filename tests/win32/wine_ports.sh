#!/usr/bin/env bash
# The Wine side of the Windows tests:
#   wine_ports.sh prefix          create the Wine prefix (scripts/wine-env.sh)
#   wine_ports.sh start PIDFILE   a null-modem pair: COM6 -> COM5 in the prefix
#   wine_ports.sh stop PIDFILE    end it
# COM6 is raw; COM5 starts as a cooked terminal line, as a real serial port
# may, so a reader that does not make its line raw loses bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
devices=$WINEPREFIX/dosdevices

case $1 in
prefix) ;;
start)
  "$0" stop "$2"
  rm -f "$devices/com5" "$devices/com6"
  socat "pty,echo=0,link=$devices/com5" "pty,raw,echo=0,link=$devices/com6" </dev/null >/dev/null 2>&1 &
  echo $! >"$2"
  for _ in $(seq 100); do
    [ -e "$devices/com5" ] && [ -e "$devices/com6" ] && exit 0
    sleep 0.05
  done
  echo "socat made no COM5/COM6 pair in $devices" >&2
  exit 1
  ;;
stop)
  if [ -f "$2" ]; then
    kill "$(cat "$2")" 2>/dev/null || true
    rm -f "$2"
  fi
  ;;
esac
