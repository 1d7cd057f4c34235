#!/usr/bin/env bash
# Prints the cost table of the preamp (bench/table): CPU per second of 48 kHz audio at x1 to x16,
# mono and stereo, ns per pass of the four blocks, the peer preamp (the studio preamp of Debian's
# guitarix-lv2, run by lv2file) and the ratios, the exact reference chain's cost and the
# speed-up over it, and gain and tone change times.
#   scripts/bench-table.sh [MODEL_DATA_DIR] [more varkel_bench_table options]
# MODEL_DATA_DIR defaults to build/model-data when it exists (the data set the build makes);
# otherwise the table runs on model files of the trained sizes with random weights. Installs
# guitarix-lv2 and lv2file when they are missing (root or sudo). Build folder: VARKEL_BENCH_BUILD
# (default build, Release). The machine should be otherwise idle; the program runs niced.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${VARKEL_BENCH_BUILD:-build}"
data="${1:-}"
if [ $# -gt 0 ]; then shift; fi
if [ -z "$data" ] && [ -d "$build/model-data" ]; then data="$build/model-data"; fi

if ! command -v lv2file >/dev/null || ! dpkg-query -W -f='${Status}' guitarix-lv2 2>/dev/null | grep -q "ok installed"; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y --no-install-recommends guitarix-lv2 lv2file
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target varkel_bench_table --parallel 2 >/dev/null
nice "$build/bench/table/varkel_bench_table" ${data:+--model-data "$data"} "$@"
