#!/usr/bin/env bash
# Checks what LV2 hosts read about the plug-in: lv2info's view (name, the twelve programs as
# presets) and the parameter descriptions in the bundle's dsp.ttl, parsed as RDF by serdi
# (label, default, range and scale points of each of the ten parameters, as the plug-in has them).
# Prints one PASS/FAIL line per check; exits non-zero when any fails.
#
#   scripts/lv2-assertions.sh LV2INFO_OUTPUT BUNDLE_DIR
set -uo pipefail
info="$1"
bundle="$2"
uri="https://talvomer.example/plugins/varkel-hot-preamp"
lv2="http://lv2plug.in/ns/lv2core#"

failures=0
check() {
  if eval "$2"; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

check "lv2info names the plug-in" "grep -q 'Name: *VARKEL Hot Preamp' '$info'"
for n in 1 2 3 4 5 6 7 8 9 10 11 12; do
  check "lv2info lists preset \"$n default\"" "grep -qE '^[[:space:]]+$n default\$' '$info'"
done
check "lv2info lists exactly twelve presets" \
  "[ \"\$(sed -n '/Presets:/,/^\$/p' '$info' | grep -cE '[0-9]+ default')\" -eq 12 ]"

triples="$(mktemp)"
trap 'rm -f "$triples"' EXIT
if ! serdi -i turtle -o ntriples "$bundle/dsp.ttl" >"$triples" 2>/dev/null; then
  echo "FAIL: $bundle/dsp.ttl is not valid Turtle"
  exit 1
fi
value() { # parameter key, predicate -> the literal
  grep -F "<$uri:$1> <$2>" "$triples" | sed -n 's/.*> "\([^"]*\)".*/\1/p' | head -n 1
}
scale_points() { # parameter key -> how many scale points it has
  grep -cF "<$uri:$1> <${lv2}scalePoint>" "$triples"
}

# key, label, default (normalized), scale points (0: a continuous control)
table=(
  "model|Dual Triodes|0|2"
  "in|Input|0.5|0"
  "gain|Gain|0.5|17"
  "trbl|Treble|0.5|15"
  "mdl|Middle|0.5|15"
  "bas|Bass|0.5|15"
  "out|Output|0.5|0"
  "ovrsmplng|Oversampling|0|5"
  "stro|Mono/Stereo|0|2"
  "showset|Show settings|0|2"
)
for row in "${table[@]}"; do
  IFS='|' read -r key label default points <<<"$row"
  check "$key: label \"$label\"" "[ \"\$(value $key http://www.w3.org/2000/01/rdf-schema#label)\" = '$label' ]"
  check "$key: default $default" "awk -v a=\"\$(value $key ${lv2}default)\" -v b=$default 'BEGIN { exit !(a != \"\" && a + 0 == b + 0) }'"
  check "$key: range 0 to 1" "awk -v a=\"\$(value $key ${lv2}minimum)\" -v b=\"\$(value $key ${lv2}maximum)\" 'BEGIN { exit !(a != \"\" && a + 0 == 0 && b + 0 == 1) }'"
  check "$key: $points scale points" "[ \"\$(scale_points $key)\" -eq $points ]"
done
[ "$failures" -eq 0 ]
