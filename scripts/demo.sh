#!/usr/bin/env bash
# The demo: builds Orbisk, installs it into out/orbisk, and shows named key
# presses, repeats and releases.
#
#   scripts/demo.sh                    the sample remote, played by the simulator
#   scripts/demo.sh --device /dev/X    a real receiver on that serial device;
#                                      Ctrl-C stops
set -euo pipefail
cd "$(dirname "$0")/.."

device=""
while [ $# -gt 0 ]; do
  case "$1" in
    --device) device="${2:?--device needs a path}"; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "demo.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

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
"$prefix/orbisk" simulate --com 2 samples/tv-remote.capture &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true' EXIT
sleep 0.3
printf 'event\tkey\tremote\tcode\n'
# End of input stops the host, so keep its input open for the run.
sleep 8 | "$prefix/orbisk" run --seconds 6
