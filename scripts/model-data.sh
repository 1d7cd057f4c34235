#!/usr/bin/env bash
# Builds the default model data set into build/model-data unless a complete one is there: both
# valve sets, host rates 44100, 48000, 88200, 96000, 176400 and 192000 at oversampling factors 1,
# 2, 4, 8 and 16 (block 3 has one file per processing rate), the builder's fast preset, blocks 1,
# 2 and 4 trained at 48000. Needs a configured build folder (build/); builds the builder.
#
#   bash scripts/model-data.sh [--check]     --check: only say whether the set is complete
set -euo pipefail
cd "$(dirname "$0")/.."

data="$PWD/build/model-data"
host_rates=(48000 44100 88200 96000 176400 192000)
factors=(1 2 4 8 16)

missing=()
for valve in eh rsd; do
  for block in b1_pca b2_pca b4_std; do
    [ -f "$data/varkelpre_${valve}_${block}.dat" ] || missing+=("varkelpre_${valve}_${block}.dat")
  done
  for rate in "${host_rates[@]}"; do
    for factor in "${factors[@]}"; do
      name="varkelpre_${valve}_b3_pca.dat.$((rate * factor))"
      [ -f "$data/$name" ] || missing+=("$name")
    done
  done
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "model-data: complete default set in $data"
  exit 0
fi
if [ "${1:-}" = "--check" ]; then
  echo "model-data: $data lacks ${#missing[@]} files, e.g. ${missing[0]}"
  exit 1
fi

echo "model-data: building the default set into $data (${#missing[@]} files missing, e.g. ${missing[0]})"
echo "model-data: derived from the circuit itself; about 3 to 5 minutes of a 2-core machine"
cmake --build build --target varkel_model_builder --parallel "$(nproc)"
rates="$(IFS=,; echo "${host_rates[*]}")"
factor_list="$(IFS=,; echo "${factors[*]}")"
# A scratch folder renamed at the end: an interrupted build is never taken for a complete one.
rm -rf "$data.partial"
start=$SECONDS
nice -n 10 build/tools/model-builder/varkel_model_builder --out "$data.partial" --valve both \
  --host-rates "$rates" --factors "$factor_list" --training-rates 48000 --jobs "$(nproc)" --fast
rm -rf "$data"
mv "$data.partial" "$data"
echo "model-data: built in $((SECONDS - start)) s, $(du -sh "$data" | cut -f1) in $data"
