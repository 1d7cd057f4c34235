#!/usr/bin/env bash
# Builds the whole project (JUCE module code included) with a sanitizer in a build folder of its
# own and runs the test suite under it.
#   scripts/sanitize.sh address     AddressSanitizer + LeakSanitizer + UndefinedBehaviorSanitizer
#   scripts/sanitize.sh undefined   UndefinedBehaviorSanitizer alone
#   scripts/sanitize.sh thread      ThreadSanitizer
# Extra arguments go to ctest (for example -R stress). Uses GCC 12 and its Debian sanitizer
# runtimes (libasan8, libubsan1, libtsan2). The build folder can be overridden with
# VARKEL_SANITIZE_BUILD; VARKEL_SANITIZE_JOBS sets the build parallelism (default 2);
# VARKEL_SANITIZE_TARGETS limits the build to some targets (then pick their tests with -R), e.g.
#   VARKEL_SANITIZE_TARGETS=varkel_processor_stress_tests scripts/sanitize.sh thread -R ProcessorStress
# Suppressions for findings in third-party code live in tools/sanitizers/, one reason per entry.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

kind="${1:-address}"
shift || true

ubsan_flags="-fsanitize=undefined,float-cast-overflow,float-divide-by-zero"
case "$kind" in
    address)
        build="build-asan"
        flags="-fsanitize=address $ubsan_flags"
        ;;
    undefined)
        build="build-ubsan"
        flags="$ubsan_flags"
        ;;
    thread)
        build="build-tsan"
        flags="-fsanitize=thread"
        ;;
    *)
        echo "usage: $0 address|undefined|thread [ctest arguments]" >&2
        exit 2
        ;;
esac
build="${VARKEL_SANITIZE_BUILD:-$build}"
jobs="${VARKEL_SANITIZE_JOBS:-2}"
flags="$flags -fno-omit-frame-pointer -g"

supp="$root/tools/sanitizers"
# Every report stops the failing test; reports carry full stacks.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$supp/tsan.supp"

# -O1 keeps stacks readable and the JUCE build affordable on a small machine. The build also
# runs sanitized programs (the LV2 description helper), so the options above are set first.
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -DNDEBUG" \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=$flags" "-DCMAKE_SHARED_LINKER_FLAGS=$flags" \
    "-DCMAKE_MODULE_LINKER_FLAGS=$flags" \
    -DVARKEL_BUILD_TESTS=ON -DVARKEL_BUILD_BENCHMARKS=OFF -DVARKEL_BUILD_FUZZERS=OFF >/dev/null
targets=()
for target in ${VARKEL_SANITIZE_TARGETS:-}; do targets+=(--target "$target"); done
nice cmake --build "$build" --parallel "$jobs" "${targets[@]}"

# Editor tests need a display. Tests run one at a time: sanitized binaries are slow and large.
nice xvfb-run -a ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
