#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the render tool and renders a generated guitar phrase
# through the plug-in's processor into out/render.wav (the path is printed at the end).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target varkel_render --parallel "$(nproc)"
./build/tools/render/varkel_render out/render.wav
