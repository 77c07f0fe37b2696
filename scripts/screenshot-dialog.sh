#!/usr/bin/env bash
# Renders the setup dialog in a real X server (Xvfb) and writes
# docs/setup-dialog.png, the picture in the README.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/screenshot -DCMAKE_BUILD_TYPE=Release -DORBISK_BENCH=OFF >/dev/null
cmake --build build/screenshot -j "$(nproc)" --target test_dialog_qt >/dev/null
QT_QPA_PLATFORM=xcb ORBISK_DIALOG_PNG="$PWD/docs/setup-dialog.png" \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  build/screenshot/tests/test_dialog_qt --gtest_filter='*Picture*'
echo "wrote docs/setup-dialog.png"
