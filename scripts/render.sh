#!/usr/bin/env bash
# The main job, on a fresh Debian 12 machine: installs the dependencies, builds the VST 2.4
# module and the render tool in build/, builds the model data set into build/model-data when it
# is missing, puts it beside the module ("<module file>.dat"), renders a guitar phrase through
# the module and prints the output file's path last.
#
#   bash scripts/render.sh [render options]     e.g. --param gain=0.75 --output out/hot.wav
#
# Render options: build/tools/render/varkel_render --help. The output is out/render.wav unless
# --output says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target VarkelHotPreamp_VST varkel_render --parallel "$(nproc)"

module="$root/build/source/VarkelHotPreamp_artefacts/Release/VST/VARKEL Hot Preamp.so"
data="$root/build/model-data"

# The data set is complete once the builder has finished: it writes into a scratch folder that is
# renamed at the end, so an interrupted build is never taken for a complete one.
if [ -f "$data/varkelpre_eh_b4_std.dat" ] && [ -f "$data/varkelpre_rsd_b4_std.dat" ]; then
  echo "render.sh: model data present in $data"
elif [ -f tools/model-builder/CMakeLists.txt ]; then
  echo "render.sh: building the model data set into $data (derived from the circuit; a few minutes)"
  cmake --build build --target varkel-model-builder --parallel "$(nproc)"
  rm -rf "$data.partial"
  # The quick preset: both valve sets, the two common host rates, no oversampled rates (a render
  # with oversampling needs the full set, see README).
  nice build/tools/model-builder/varkel-model-builder --out "$data.partial" --valve both \
    --host-rates 48000,44100 --training-rates 48000 --factors 1 --jobs "$(nproc)" --fast
  rm -rf "$data"
  mv "$data.partial" "$data"
else
  echo "render.sh: NOTE: this checkout has no model-data builder (tools/model-builder) and no data in"
  echo "render.sh: $data; the plug-in will be silent. Put a model data set there and run again."
fi

# The plug-in reads its data from the folder beside its module. A real folder there (data put
# in by hand) is left alone; otherwise it links to build/model-data.
if [ -d "$data" ] && { [ -L "$module.dat" ] || [ ! -e "$module.dat" ]; }; then
  ln -sfn "$data" "$module.dat"
fi

status=0
build/tools/render/varkel_render --module "$module" "$@" || status=$?
output="out/render.wav"
previous=""
for argument in "$@"; do
  case "$previous" in --output) output="$argument" ;; esac
  case "$argument" in
    --output=*) output="${argument#--output=}" ;;
    --help | -h) output="" ;;
  esac
  previous="$argument"
done
if [ -n "$output" ] && { [ "$status" -eq 0 ] || [ "$status" -eq 3 ]; }; then
  realpath -m "$output"
fi
exit "$status"
