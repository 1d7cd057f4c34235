#!/usr/bin/env bash
# Builds the default model data set into build/model-data unless a complete one is there: both
# valve sets, host rates 44100, 48000, 88200, 96000, 176400 and 192000 at oversampling factors 1,
# 2, 4, 8 and 16 (block 3 has one file per processing rate), the builder's fast preset, blocks 1,
# 2 and 4 trained at 48000, blocks 1 and 2 again (Fresh at 192000, Aged at 176400) for processing
# rates above 96000. Needs a configured build folder (build/); builds the builder.
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
      processing=$((rate * factor))
      names=("varkelpre_${valve}_b3_pca.dat.$processing")
      # Above 96000 blocks 1 and 2 have files of their own, trained nearer those rates.
      if [ "$processing" -gt 96000 ]; then
        names+=("varkelpre_${valve}_b1_pca.dat.$processing" "varkelpre_${valve}_b2_pca.dat.$processing")
      fi
      for name in "${names[@]}"; do
        [ -f "$data/$name" ] || missing+=("$name")
      done
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
# The builder's arguments are the build's own (cmake/RealModelData.cmake), the ones the tests'
# default-set fixture uses, so a set built here is one that fixture takes as up to date.
mapfile -t arguments < build/model-data-args
builder=build/tools/model-builder/varkel_model_builder
# A scratch folder renamed at the end: an interrupted build is never taken for a complete one.
rm -rf "$data.partial"
start=$SECONDS
nice -n 10 "$builder" --out "$data.partial" "${arguments[@]}"
printf '%s %s' "$(IFS=';'; echo "${arguments[*]}")" "$(sha256sum "$builder" | cut -d' ' -f1)" \
  > "$data.partial/.built-with"
rm -rf "$data"
mv "$data.partial" "$data"
echo "model-data: built in $((SECONDS - start)) s, $(du -sh "$data" | cut -f1) in $data"
