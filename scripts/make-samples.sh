#!/usr/bin/env bash
# Regenerates the files in samples/ with a built orbisk program:
#
#   scripts/make-samples.sh [path/to/orbisk]     (default build/release/bin/orbisk)
#
# The capture is a made-up evening with three remotes; orbisk.ini names their
# keys by their shape codes (as keys learned with Recognize=0 are stored), so
# the sample also shows that such keys are still found.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
orbisk=${1:-$root/build/release/bin/orbisk}
samples=$root/samples
[ -x "$orbisk" ] || { echo "make-samples: no orbisk program at $orbisk (build it or name it)" >&2; exit 2; }

# A 50 us receiver unit and 2 % jitter; seed 1 keeps the files reproducible.
options=(--unit 50 --jitter 2 --seed 1)

# remote|key name|key press; the presses of one remote stay together.
presses=(
  "TV|Power|nec:0x04:0x08"
  "TV|VolumeUp|nec:0x04:0x02:600"
  "TV|VolumeDown|nec:0x04:0x03"
  "TV|ChannelUp|nec:0x04:0x00"
  "TV|Mute|nec:0x04:0x09"
  "Amplifier|VolumeUp|rc5:16:16:300"
  "Amplifier|VolumeUp|rc5:16:16"
  "Sony TV|Power|sirc:1:21"
)

keys=()
for p in "${presses[@]}"; do keys+=("${p##*|}"); done

"$orbisk" generate "${options[@]}" "${keys[@]}" > "$samples/tv-remote.capture"
"$orbisk" generate "${options[@]}" --format hex "${keys[@]}" > "$samples/tv-remote.hex"
"$orbisk" generate "${options[@]}" --format raw "${keys[@]}" > "$samples/tv-remote.bin"

# The code of each press is the last fresh code of the capture up to that
# press: a prefix of the presses gives the same bursts as the whole run, and
# an RC-5 press keeps the toggle bit it has in the whole run.
{
  cat <<'INI'
[Main]
COM=2
COMRate=115200
Interval=100
RepeatLength=3
SkipBegin=4
HaltOnError=0
ExecOnError=
LastRemoteControl=TV
Wait1=300
WaitN=100
WaitR=200
INI
  section=""
  prefix=()
  declare -A written=()
  for p in "${presses[@]}"; do
    IFS='|' read -r remote name key <<<"$p"
    prefix+=("$key")
    code=$("$orbisk" generate "${options[@]}" --format raw "${prefix[@]}" |
           "$orbisk" decode --skip 4 --repeat-length 3 --no-recognize | awk '$2 == "key" { c = $1 } END { print c }')
    if [ "$remote" != "$section" ]; then
      echo "[$remote]"
      section=$remote
    fi
    if [ -z "${written[$remote|$code]:-}" ]; then
      echo "$code=$name"
      written[$remote|$code]=1
    fi
  done
} > "$samples/orbisk.ini"

# Every fresh code in the capture must be one the settings name.
missing=$("$orbisk" decode --no-recognize "$samples/tv-remote.bin" | awk '$2 == "key" { print $1 }' | sort -u |
          while read -r code; do grep -q "^$code=" "$samples/orbisk.ini" || echo "$code"; done)
if [ -n "$missing" ]; then
  echo "make-samples: codes in the capture that orbisk.ini does not name: $missing" >&2
  exit 1
fi
echo "make-samples: wrote $samples/{tv-remote.capture,tv-remote.hex,tv-remote.bin,orbisk.ini}"
