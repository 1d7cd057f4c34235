#!/usr/bin/env bash
# CPU time per second of mono 48 kHz audio: this plug-in's processor at oversampling x1, x4 and
# x16, against a peer LV2 preamp from Debian (the studio preamp of guitarix-lv2, run by lv2file)
# on the same input file, and the ratios.
#   bench/peer/run-peer-bench.sh [MODEL_DATA_DIR]
# Without MODEL_DATA_DIR the processor runs on model files of the trained sizes with random
# weights (cost per sample depends on the sizes and on the region search, not on the weights);
# with it, on that data set (for example build/model-data). Installs guitarix-lv2 and lv2file
# when they are missing (root or sudo). Build folder: VARKEL_BENCH_BUILD (default build, Release).
set -euo pipefail
cd "$(dirname "$0")/../.."

build="${VARKEL_BENCH_BUILD:-build}"
data="${1:-}"
peer="http://guitarix.sourceforge.net/plugins/gx_studiopre#studiopre"
long_seconds=30
short_seconds=2

if ! command -v lv2file >/dev/null || ! dpkg-query -W -f='${Status}' guitarix-lv2 2>/dev/null | grep -q "ok installed"; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y --no-install-recommends guitarix-lv2 lv2file
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target varkel_peer_bench --parallel 2 >/dev/null
bench="$build/bench/peer/varkel_peer_bench"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$bench" --write-input "$work/long.wav" --seconds "$long_seconds"
"$bench" --write-input "$work/short.wav" --seconds "$short_seconds"

# Ours: only the process calls are timed, inside the program.
ours="$("$bench" --input "$work/long.wav" ${data:+--model-data "$data"} --repeats 3)"
echo "$ours"

# The peer: lv2file's CPU time (user + system) on the long and on the short file, best of three
# each; the difference over the difference in length removes start-up, file and host costs.
cpu_of() {
    local best="" t
    for _ in 1 2 3; do
        t="$( { TIMEFORMAT='%3U %3S'; time lv2file --ignore-clipping -b 512 -i "$1" -o "$work/out.wav" "$peer" >/dev/null 2>&1; } 2>&1 \
            | awk '{ print $1 + $2 }')"
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
    done
    echo "$best"
}
long_cpu="$(cpu_of "$work/long.wav")"
short_cpu="$(cpu_of "$work/short.wav")"
peer_ms="$(awk -v l="$long_cpu" -v s="$short_cpu" -v d=$((long_seconds - short_seconds)) \
    'BEGIN { printf "%.2f", 1000 * (l - s) / d }')"
echo "peer     $peer_ms ms CPU per second of audio (gx_studiopre in lv2file; ${long_seconds} s run ${long_cpu} s, ${short_seconds} s run ${short_cpu} s)"

echo "$ours" | awk -v p="$peer_ms" '/^ours/ { printf "ratio ours %-3s / peer: %.1f\n", $2, $3 / p }'
