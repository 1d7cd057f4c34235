#!/usr/bin/env bash
# Builds the model file fuzz target with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in its own build folder and runs it for the given number of seconds (default 60) over the
# committed seed corpus. New inputs go to a scratch corpus, crashes to fuzz-artifacts/.
#   scripts/fuzz.sh 600
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build="${VARKEL_FUZZ_BUILD:-build-fuzz}"
sanitizers="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARKEL_BUILD_PLUGIN=OFF -DVARKEL_BUILD_TESTS=OFF -DVARKEL_BUILD_BENCHMARKS=OFF \
    -DVARKEL_BUILD_FUZZERS=ON \
    "-DCMAKE_C_FLAGS=$sanitizers" "-DCMAKE_CXX_FLAGS=$sanitizers" >/dev/null
cmake --build "$build" --target model_file_fuzzer --parallel 2

work="$build/corpus"
mkdir -p "$work" fuzz-artifacts
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1"
"$build/tools/fuzz/model_file_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix=fuzz-artifacts/ -print_final_stats=1 \
    "$work" tools/fuzz/corpus
