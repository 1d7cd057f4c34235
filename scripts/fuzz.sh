#!/usr/bin/env bash
# Builds a fuzz target with clang, AddressSanitizer and UndefinedBehaviorSanitizer in its own
# build folder and runs it for the given number of seconds (default 60) over its committed seed
# corpus. New inputs go to a scratch corpus, crashes to fuzz-artifacts/.
#   scripts/fuzz.sh 600                 the model file readers (tools/fuzz/corpus)
#   scripts/fuzz.sh 600 state           the saved-state restore path (tools/fuzz/state-corpus)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
case "${2:-model}" in
    model) target=varkel_model_file_fuzzer seeds=tools/fuzz/corpus maxlen=4096 ;;
    # Long enough for a deep document given literally, not only described.
    state) target=varkel_state_chunk_fuzzer seeds=tools/fuzz/state-corpus maxlen=65536 ;;
    *) echo "unknown fuzz target '$2': model or state" >&2; exit 2 ;;
esac
build="${VARKEL_FUZZ_BUILD:-build-fuzz}"
sanitizers="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARKEL_BUILD_PLUGIN=OFF -DVARKEL_BUILD_TESTS=OFF -DVARKEL_BUILD_BENCHMARKS=OFF \
    -DVARKEL_BUILD_FUZZERS=ON \
    "-DCMAKE_C_FLAGS=$sanitizers" "-DCMAKE_CXX_FLAGS=$sanitizers" >/dev/null
cmake --build "$build" --target "$target" --parallel 2

work="$build/corpus-$target"
mkdir -p "$work" fuzz-artifacts
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1"
"$build/tools/fuzz/$target" -max_total_time="$seconds" -max_len="$maxlen" -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix=fuzz-artifacts/ -print_final_stats=1 \
    "$work" "$seeds"
