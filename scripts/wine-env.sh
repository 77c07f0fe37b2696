#!/usr/bin/env bash
# The private Wine prefix the Windows tests run in, build/wine.
#
#   source scripts/wine-env.sh        exports WINEPREFIX, WINEARCH, WINEDEBUG
#                                     and creates the prefix once
#   scripts/wine-env.sh               the same, for a one-off set-up
#
# The prefix is created with wineboot and then wineserver is waited for: the
# first program started while wineboot still settles may fail to make windows.
_orbisk_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$_orbisk_root/build/wine}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  echo "Creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# Wine's own fonts (MS Sans Serif, in which the setup dialog is laid out, and
# Marlett for the parts of windows) are not found in Debian's data folder
# unless the prefix's Fonts folder holds them.
if [ -d /usr/share/wine/fonts ] && [ ! -e "$WINEPREFIX/drive_c/windows/Fonts/sserife.fon" ]; then
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
fi
unset _orbisk_root
