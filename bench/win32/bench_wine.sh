#!/usr/bin/env bash
# The runtime measurements of orbisk.dll under Wine, on this machine:
#   bench/win32/bench_wine.sh [BURSTS] [IDLE_SECONDS]
# Key latency and Stop come from bench_runtime_win32.exe; the idle CPU is
# that of `orbisk.exe run` with the plug-in started on an idle COM5, and of
# the wineserver serving it, read from /proc over IDLE_SECONDS.
# Needs the win32 build with ORBISK_BENCH=ON (scripts/test.sh builds it).
set -euo pipefail
cd "$(dirname "$0")/../.."
bursts=${1:-300}
idle=${2:-10}
bin=build/win32/bin
source scripts/wine-env.sh
pidfile=$(mktemp)
work=$(mktemp -d)
# The wineserver has the pair's line as its terminal: it ends first, so that
# ending the pair does not hang it up.
trap 'wineserver -w; tests/win32/wine_ports.sh stop "$pidfile" >/dev/null 2>&1; rm -rf "$work" "$pidfile"' EXIT
tests/win32/wine_ports.sh start "$pidfile"

wine "$bin/bench_runtime_win32.exe" "$bursts"

# CPU time in clock ticks of a process and its threads.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cp "$bin/orbisk.exe" "$bin/orbisk.dll" "$work/"
printf '[Main]\r\nCOM=5\r\n' >"$work/orbisk.ini"
mkfifo "$work/input"
wine "$work/orbisk.exe" run --seconds $((idle + 30)) <"$work/input" >/dev/null 2>&1 &
host=$!
exec 3>"$work/input"
sleep 3  # loaded and started
# This prefix's wineserver works in a folder named after the prefix's device
# and inode.
server_dir=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
server=""
for p in $(pgrep -x 'wineserver(32)?'); do
  case $(readlink "/proc/$p/cwd") in */"$server_dir") server=$p ;; esac
done
[ -n "$server" ] || { echo "no wineserver for $WINEPREFIX" >&2; exit 1; }
host_before=$(ticks "$host") server_before=$(ticks "$server")
sleep "$idle"
host_after=$(ticks "$host") server_after=$(ticks "$server")
exec 3>&-
wait "$host" || true
hz=$(getconf CLK_TCK)
awk -v h=$((host_after - host_before)) -v s=$((server_after - server_before)) -v hz="$hz" -v t="$idle" 'BEGIN {
  printf "idle CPU over %d s: plug-in host %.3f s (%.3f %% of a core), wineserver %.3f s (%.3f %%)\n",
         t, h / hz, 100 * h / hz / t, s / hz, 100 * s / hz / t }'
