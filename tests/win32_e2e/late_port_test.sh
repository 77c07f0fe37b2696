#!/usr/bin/env bash
# A receiver plugged in after the host started: test_plugin_dll.exe starts
# orbisk.dll on COM7 while there is no such port, and 3 s after it says so
# this script makes the null-modem pair COM8 -> COM7.
#   late_port_test.sh TEST_PLUGIN_DLL_EXE SOURCE_DIR
set -euo pipefail
test_exe=$1 source=$2
# shellcheck source=../../scripts/wine-env.sh
source "$source/scripts/wine-env.sh"
devices=$WINEPREFIX/dosdevices
work=$(mktemp -d)
pair=
trap '[ -z "$pair" ] || kill "$pair" 2>/dev/null; rm -rf "$work" "$devices/com7" "$devices/com8"' EXIT
rm -f "$devices/com7" "$devices/com8"

ORBISK_LATE_PAIR_MARKER=$(winepath -w "$work/started") \
  wine "$test_exe" --gtest_filter=PluginDll.APortMissingAtStartIsOpenedOnceItAppears &
host=$!
for _ in $(seq 600); do [ -e "$work/started" ] || ! kill -0 "$host" 2>/dev/null && break; sleep 0.1; done
sleep 3
socat "pty,raw,echo=0,link=$devices/com7" "pty,raw,echo=0,link=$devices/com8" </dev/null >/dev/null 2>&1 &
pair=$!
wait "$host"
