#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --parallel "$(nproc)"
# Editor tests need a display; everything else ignores it.
xvfb-run -a ctest --test-dir build --output-on-failure --parallel "$(nproc)"
# The plug-in validator at its strictest, on the VST3 with the default data set the tests built,
# where its source is at hand: it is a test tool built in its own folder, never part of this tree.
pluginval_source="${PLUGINVAL_SOURCE:-$PWD/../shared/third-party/pluginval-1.0.3}"
if [ -f "$pluginval_source/CMakeLists.txt" ]; then
  PLUGINVAL_SOURCE="$pluginval_source" bash scripts/pluginval.sh
else
  echo "test.sh: no pluginval source at $pluginval_source (set PLUGINVAL_SOURCE); validation skipped"
fi
