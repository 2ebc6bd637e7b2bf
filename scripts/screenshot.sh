#!/usr/bin/env bash
# Takes docs/qola-gui.png: the desktop program's main dialog, drawn on a
# private Xvfb display by a step of the window tests that only this script
# runs, with a "Ready" box over it (framed by openbox where it is installed).
# Usage: scripts/screenshot.sh [build directory, default build/gui]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/gui}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOLA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target qola_gui_tests
mkdir -p docs
rm -f docs/qola-gui.png
QOLA_SCREENSHOT="$PWD/docs/qola-gui.png" \
  "$build/tests/gui/qola_gui_tests" --gtest_also_run_disabled_tests \
  --gtest_filter=MainWindowOnScreen.DISABLED_Screenshot
if [ ! -s docs/qola-gui.png ]; then
  echo "no screenshot taken (could Xvfb start?)" >&2
  exit 1
fi
echo "wrote docs/qola-gui.png"
