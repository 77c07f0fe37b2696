#!/usr/bin/env bash
# Renders the setup dialog in a real X server (Xvfb) and writes the README's
# pictures:
#   scripts/screenshot-dialog.sh            docs/setup-dialog.png (Qt, Linux)
#   scripts/screenshot-dialog.sh --windows  docs/setup-dialog-windows.png
#                                           (the native view, under Wine)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
if [ "${1:-}" = "--windows" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$(nproc)" --target test_dialog_win32 >/dev/null
  # shellcheck source=wine-env.sh
  source scripts/wine-env.sh
  # Without a window manager on Xvfb, Wine draws the caption and frame itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
  ORBISK_DIALOG_PNG="$PWD/docs/setup-dialog-windows.png" \
    xvfb-run -a -s "-screen 0 1024x768x24" \
    wine build/win32/tests/test_dialog_win32.exe --gtest_filter='*Picture*'
  echo "wrote docs/setup-dialog-windows.png"
  exit 0
fi
cmake -S . -B build/screenshot -DCMAKE_BUILD_TYPE=Release -DORBISK_BENCH=OFF >/dev/null
cmake --build build/screenshot -j "$(nproc)" --target test_dialog_qt >/dev/null
QT_QPA_PLATFORM=xcb ORBISK_DIALOG_PNG="$PWD/docs/setup-dialog.png" \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  build/screenshot/tests/test_dialog_qt --gtest_filter='*Picture*'
echo "wrote docs/setup-dialog.png"
