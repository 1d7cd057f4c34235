#!/usr/bin/env bash
# The main job, on a fresh Debian 12 machine: installs the dependencies, builds the VST 2.4
# module and the render tool in build/, builds the default model data set into build/model-data
# when it is missing (scripts/model-data.sh), puts it beside the module ("<module file>.dat"),
# renders a guitar phrase through the module and prints the output file's path last.
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

# The default data set (both valve sets, six host rates, every oversampling factor), built when
# it is missing or incomplete; about 5 minutes of a 2-core machine the first time.
if [ -f tools/model-builder/CMakeLists.txt ]; then
  bash scripts/model-data.sh
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
