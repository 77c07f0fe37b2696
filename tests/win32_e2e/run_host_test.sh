#!/usr/bin/env bash
# orbisk.exe end to end under Wine: `orbisk.exe run` hosts orbisk.dll in a
# window of its own and prints the key messages, while `orbisk.exe simulate
# --port COM6` plays the sample remote into the null-modem pair whose other
# end, COM5, the plug-in reads.  The presses and releases must name the
# sample's keys in order, in lines ending in LF alone, and the end of its
# input must end the run, also when its standard output is a full pipe that
# nobody reads.
#   run_host_test.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$1 source=$2
work=$(mktemp -d)
trap 'kill "${host:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$bin/orbisk.exe" "$bin/orbisk.dll" "$work/"
sed 's/^COM=.*/COM=5/' "$source/samples/orbisk.ini" >"$work/orbisk.ini"

# The host's input is a pipe held open here: closing it, once the last
# release is due, ends the run (--seconds is only the safety net).
mkfifo "$work/input"
wine "$work/orbisk.exe" run --seconds 30 <"$work/input" >"$work/events" 2>"$work/errors" &
host=$!
exec 3>"$work/input"
wine "$work/orbisk.exe" simulate --port COM6 --delay 1500 "$source/samples/tv-remote.capture" >/dev/null 3>&-
sleep 1
exec 3>&-
wait "$host" || { echo "orbisk.exe run failed:"; cat "$work/errors"; exit 1; }

expected="press	Power	TV	30781B59
release	Power	TV	30781B59
press	VolumeUp	TV	F4EC8C68
release	VolumeUp	TV	F4EC8C68
press	VolumeDown	TV	C2A5044B
release	VolumeDown	TV	C2A5044B
press	ChannelUp	TV	D51ADB4C
release	ChannelUp	TV	D51ADB4C
press	Mute	TV	1A0B1F0C
release	Mute	TV	1A0B1F0C
press	VolumeUp	Amplifier	CADA5902
release	VolumeUp	Amplifier	CADA5902
press	VolumeUp	Amplifier	CADA5902
release	VolumeUp	Amplifier	CADA5902
press	Power	Sony TV	230FD041
release	Power	Sony TV	230FD041"
actual=$(grep -v '^repeat ' "$work/events" || true)
if [ "$actual" != "$expected" ]; then
  echo "orbisk.exe run printed:"; cat -A "$work/events"; cat "$work/errors"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
grep -q $'\r' "$work/events" && { echo "CR in the output"; exit 1; }
grep -q '^repeat ' "$work/events" || { echo "no repeat for the held VolumeUp"; exit 1; }
echo "orbisk.exe run: $(wc -l <"$work/events") key messages as expected"

# Again with standard output a full pipe, held open here and never read.
mkfifo "$work/out"
exec 5<>"$work/out"
timeout 1 cat /dev/zero >"$work/out" || true
wine "$work/orbisk.exe" run --seconds 60 <"$work/input" >"$work/out" 2>"$work/errors" &
host=$!
exec 3>"$work/input"
wine "$work/orbisk.exe" simulate --port COM6 --delay 1500 "$source/samples/tv-remote.capture" >/dev/null 3>&-
exec 3>&-
for _ in $(seq 50); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
kill -0 "$host" 2>/dev/null && { echo "orbisk.exe run with a blocked output still runs 5 s after its input ended"; exit 1; }
wait "$host" && grep -q 'not written' "$work/errors" || { echo "orbisk.exe run with a blocked output:"; cat "$work/errors"; exit 1; }
echo "orbisk.exe run with a blocked output: ended in time"
