#!/usr/bin/env bash
# Validates the VST3 bundle with pluginval at strictness 10, as a strict host would, with the
# model data beside the module. pluginval 1.0.3's source lies outside this tree
# (../shared/third-party/pluginval-1.0.3, or PLUGINVAL_SOURCE); it is built against Debian's
# JUCE in its own folder, build/pluginval, and never copied into the repository.
#
#   bash scripts/pluginval.sh [extra pluginval options]
#
# Exit status: pluginval's (0 when every test passed).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
source_dir="${PLUGINVAL_SOURCE:-$root/../shared/third-party/pluginval-1.0.3}"
work="$root/build/pluginval"
timeout_ms="${PLUGINVAL_TIMEOUT_MS:-300000}"

if [ ! -f "$source_dir/CMakeLists.txt" ]; then
  echo "pluginval.sh: no pluginval source at $source_dir (set PLUGINVAL_SOURCE)" >&2
  exit 2
fi

bash scripts/install-deps.sh
# pluginval hosts LADSPA as well, so it needs the LADSPA header; and a display for its window.
extra=(ladspa-sdk libflac-dev libvorbis-dev libogg-dev xvfb xauth)
missing=()
for p in "${extra[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# A small wrapper project: Debian's JUCE instead of the one pluginval would fetch, and the codec
# libraries that Debian's JUCE uses but does not link.
mkdir -p "$work/wrapper"
cat >"$work/wrapper/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.22)
project(pluginval_wrapper LANGUAGES C CXX)
find_package(JUCE 7.0.5 CONFIG REQUIRED)
set(PLUGINVAL_FETCH_JUCE OFF CACHE BOOL "" FORCE)
add_subdirectory("$source_dir" pluginval)
target_link_libraries(pluginval PRIVATE FLAC vorbisfile vorbisenc vorbis ogg)
EOF
cmake -S "$work/wrapper" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
nice cmake --build "$work/build" --target pluginval --parallel 2
validator="$(find "$work/build" -type f -name pluginval -perm -u+x | head -n 1)"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
nice cmake --build build --target VarkelHotPreamp_VST3 --parallel 2
bundle="$root/build/source/VarkelHotPreamp_artefacts/Release/VST3/VARKEL Hot Preamp.vst3"
module="$bundle/Contents/x86_64-linux/VARKEL Hot Preamp.so"

# The model data: the full set if one was built, else the tests' real set (built on demand).
data="$root/build/model-data"
if [ ! -f "$data/varkelpre_eh_b4_std.dat" ] || [ ! -f "$data/varkelpre_rsd_b4_std.dat" ]; then
  data="$root/build/test-model-data"
  if [ ! -f "$data/.built-with" ]; then
    nice cmake --build build --target varkel_model_builder --parallel 2
    nice ctest --test-dir build -R '^real_model_data$' --output-on-failure
  fi
fi
if [ -L "$module.dat" ] || [ ! -e "$module.dat" ]; then
  ln -sfn "$data" "$module.dat"
fi
echo "pluginval.sh: validating $bundle with the data in $data"

start=$(date +%s)
status=0
xvfb-run -a "$validator" --strictness-level 10 --timeout-ms "$timeout_ms" \
  --output-dir "$work/logs" "$@" --validate "$bundle" || status=$?
echo "pluginval.sh: pluginval exited $status after $(($(date +%s) - start)) s"
exit "$status"
