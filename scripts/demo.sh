#!/usr/bin/env bash
# The demo: builds Orbisk, installs it into out/orbisk, and shows named key
# presses, repeats and releases.
#
#   scripts/demo.sh                    the sample remote, played by the simulator
#   scripts/demo.sh --device /dev/X    a real receiver on that serial device;
#                                      Ctrl-C stops
#   scripts/demo.sh --windows          orbisk.dll and orbisk.exe, built for
#                                      32-bit Windows, under Wine: the sample
#                                      remote through a null-modem pair
set -euo pipefail
cd "$(dirname "$0")/.."

device=""
windows=0
while [ $# -gt 0 ]; do
  case "$1" in
    --device) device="${2:?--device needs a path}"; shift 2 ;;
    --windows) windows=1; shift ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "demo.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

if [ "$windows" = 1 ]; then
  scripts/install-deps.sh --windows
  prefix="$PWD/out/orbisk-windows"
  cmake -S . -B build/demo-win32 --toolchain cmake/mingw-i686-posix.cmake -DCMAKE_BUILD_TYPE=Release \
    -DORBISK_TESTS=OFF -DORBISK_BENCH=OFF -DORBISK_QT=OFF >/dev/null
  cmake --build build/demo-win32 -j "$(nproc)" >/dev/null
  cmake --install build/demo-win32 --prefix "$prefix" >/dev/null
  # The plug-in reads COM5, one end of the pair; the simulator writes COM6.
  [ -f "$prefix/orbisk.ini" ] || sed 's/^COM=.*/COM=5/' samples/orbisk.ini >"$prefix/orbisk.ini"
  echo "Installed into $prefix (settings: $prefix/orbisk.ini)"

  export WINEPREFIX="$PWD/build/wine-demo"
  source scripts/wine-env.sh
  socat "pty,raw,echo=0,link=$WINEPREFIX/dosdevices/com5" "pty,raw,echo=0,link=$WINEPREFIX/dosdevices/com6" \
    </dev/null >/dev/null 2>&1 &
  pair=$!
  # The wineserver holds the pair's line as its terminal: it ends before the
  # pair, so that it is not hung up.
  trap 'wineserver -w; kill "$pair" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do [ -e "$WINEPREFIX/dosdevices/com6" ] && break; sleep 0.05; done

  echo "Playing the sample remote (samples/tv-remote.capture) through orbisk.exe under Wine:"
  printf 'event\tkey\tremote\tcode\n'
  # End of input stops the host, so keep its input open for the run.
  sleep 10 | wine "$prefix/orbisk.exe" run --seconds 7 &
  host=$!
  wine "$prefix/orbisk.exe" simulate --port COM6 --delay 1500 samples/tv-remote.capture >/dev/null
  wait "$host"
  exit 0
fi

scripts/install-deps.sh --runtime

prefix="$PWD/out/orbisk"
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DORBISK_TESTS=OFF -DORBISK_BENCH=OFF >/dev/null
cmake --build build/demo -j "$(nproc)" >/dev/null
cmake --install build/demo --prefix "$prefix" >/dev/null
# The settings file beside the plug-in holds learned keys: never overwrite it.
[ -f "$prefix/orbisk.ini" ] || cp samples/orbisk.ini "$prefix/orbisk.ini"
echo "Installed into $prefix (settings: $prefix/orbisk.ini)"

if [ -n "$device" ]; then
  mkdir -p "$prefix/ports"
  ln -sfn "$device" "$prefix/ports/com2"
  echo "Listening on $device as port 2; press keys on the remote, Ctrl-C stops."
  exec "$prefix/orbisk" run
fi

echo "Playing the sample remote (samples/tv-remote.capture) through the simulator:"
# A null-modem pair: the plug-in reads one end as port 2, the simulator
# writes the other.  The pair outlives both, so the host stops while its
# port is still there and no receiver is reported lost.
mkdir -p "$prefix/ports"
line="$(mktemp -u "${TMPDIR:-/tmp}/orbisk-demo-XXXXXX")"
socat "pty,raw,echo=0,link=$prefix/ports/com2" "pty,raw,echo=0,link=$line" </dev/null >/dev/null 2>&1 &
pair=$!
trap 'kill "$pair" 2>/dev/null || true; wait "$pair" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$line" ] && [ -e "$prefix/ports/com2" ] && break; sleep 0.05; done
printf 'event\tkey\tremote\tcode\n'
# End of input stops the host, so keep its input open for the run.
sleep 8 | "$prefix/orbisk" run --seconds 6 &
host=$!
"$prefix/orbisk" simulate --port "$line" --delay 1000 samples/tv-remote.capture >/dev/null
wait "$host"
