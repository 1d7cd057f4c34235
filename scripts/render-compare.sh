#!/usr/bin/env bash
# Renders the same settings through the VST 2.4 module of another revision and through this
# build's, with the same model data, and compares the WAV files byte for byte: a change that
# only moves code must leave every one identical.
#
#   bash scripts/render-compare.sh REV [DATA_DIR]
#
# REV is built in a scratch worktree (its own build folder under the system's temp folder, ccache
# shared); DATA_DIR defaults to build/test-model-data (the test data set: 44.1 and 48 kHz, x1 and
# x2). Exit status 0 when every render is identical, 1 when one differs or fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
rev="${1:?usage: render-compare.sh REV [DATA_DIR]}"
data="$(realpath "${2:-build/test-model-data}")"
module_path="source/VarkelHotPreamp_artefacts/Release/VST/VARKEL Hot Preamp.so"

work="$(mktemp -d)"
trap 'git -C "$root" worktree remove --force "$work/tree" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
git worktree add --detach "$work/tree" "$rev" >/dev/null
cmake -S "$work/tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
nice cmake --build "$work/build" --target VarkelHotPreamp_VST --parallel "$(nproc)" >/dev/null
cmake --build build --target VarkelHotPreamp_VST varkel_render --parallel "$(nproc)" >/dev/null

# Each module reads the data folder beside it ("<module file>.dat"); point both at the same set.
before="$work/before/VARKEL Hot Preamp.so"
after="$work/after/VARKEL Hot Preamp.so"
mkdir -p "$work/before" "$work/after"
cp "$work/build/$module_path" "$before"
cp "build/$module_path" "$after"
ln -s "$data" "$before.dat"
ln -s "$data" "$after.dat"

cases=(
  "--param gain=0"
  "--param gain=0.5"
  "--param gain=1"
  "--param gain=0.5 --param treble=0 --param middle=1 --param bass=0.21"
  "--param gain=0.75 --param oversampling=x2"
  "--param gain=0.5 --param dual-triodes=1"
  "--param gain=1 --stereo --rate 44100"
  "--chord --param gain=0.25 --param input=0.8"
  "--param gain=0.5 --block 1"
  "--program 3 --tone 220 --seconds 2"
)
render="build/tools/render/varkel_render"
failed=0
for i in "${!cases[@]}"; do
  read -r -a args <<<"${cases[$i]}"
  "$render" --module "$before" "${args[@]}" --output "$work/b$i.wav" >"$work/b$i.log" 2>&1 || true
  "$render" --module "$after" "${args[@]}" --output "$work/a$i.wav" >"$work/a$i.log" 2>&1 || true
  if [ -f "$work/a$i.wav" ] && cmp -s "$work/a$i.wav" "$work/b$i.wav"; then
    echo "same      ${cases[$i]}"
  else
    echo "DIFFERENT ${cases[$i]}"
    failed=1
  fi
done
exit "$failed"
