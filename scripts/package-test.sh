#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would (apt-get install ./FILE.deb), checks
# the installed plug-ins in real hosts from Debian and removes the package again:
#   - every format where hosts look, each module's data folder leading to the one data set;
#   - Ardour's VST 2.4 and VST3 scanners find the plug-in with its identity;
#   - lv2info shows the ten parameters with their defaults and the twelve programs as presets;
#   - a guitar phrase rendered through the installed VST 2.4 module is not silent, with the
#     system's copy of the network library hidden where a private mount namespace is allowed;
#   - removing the package leaves none of its files behind.
# Needs root. Installs Ardour, lilv-utils, jalv and JACK when they are missing (~110 MB).
#
#   bash scripts/package-test.sh [PACKAGE.deb]     default: out/varkel-hot-preamp_*.deb, made
#                                                  by scripts/package.sh when there is none
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

package="${1:-}"
if [ -z "$package" ]; then
  package="$(ls out/varkel-hot-preamp_*.deb 2>/dev/null | head -n 1 || true)"
  if [ -z "$package" ]; then
    bash scripts/package.sh
    package="$(ls out/varkel-hot-preamp_*.deb | head -n 1)"
  fi
fi
package="$(realpath "$package")"

export DEBIAN_FRONTEND=noninteractive
hosts=(ardour lilv-utils jalv jackd2 serdi xvfb xauth)
missing=()
for p in "${hosts[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
cmake --build build --target varkel_render --parallel "$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" # the hosts' caches and settings
mkdir -p "$HOME"
run() { if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi; }

failures=0
passes=0
check() { # description, then a command that must succeed
  local description="$1"
  shift
  if "$@"; then
    echo "PASS: $description"
    passes=$((passes + 1))
  else
    echo "FAIL: $description"
    failures=$((failures + 1))
  fi
}
contains() { grep -q -- "$2" "$1"; }

name="VARKEL Hot Preamp"
vst2="/usr/lib/vst/$name.so"
vst3="/usr/lib/vst3/$name.vst3"
lv2="/usr/lib/lv2/$name.lv2"
data=/usr/share/varkel-hot-preamp/model-data
uri="https://talvomer.example/plugins/varkel-hot-preamp"

if dpkg-query -W -f='${Status}' varkel-hot-preamp 2>/dev/null | grep -q "install ok installed"; then
  apt-get remove -y varkel-hot-preamp >/dev/null
fi

echo "==== apt-get install $package"
apt-get install -y "$package" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
dpkg-query -W -f='${Package} ${Version}: ${Depends}\n' varkel-hot-preamp
dpkg -L varkel-hot-preamp >"$work/files"

echo "==== installed files"
for file in "$vst2" "$vst3/Contents/x86_64-linux/$name.so" "$lv2/$name.so" "$lv2/manifest.ttl" \
  "/usr/bin/$name" /usr/bin/varkel-hot-preamp /usr/share/applications/varkel-hot-preamp.desktop; do
  check "installed: $file" test -e "$file"
done
check "the model data set is installed once, in $data" test -f "$data/varkelpre_eh_b4_std.dat"
for module in "$vst2" "$vst3/Contents/x86_64-linux/$name.so" "$lv2/$name.so" \
  "/usr/lib/varkel-hot-preamp/$name"; do
  check "the data folder beside $module leads to $data" \
    test "$(realpath "$module.dat")" = "$(realpath "$data")"
done
check "the package does not depend on the network library's package" \
  bash -c '! dpkg-query -W -f="\${Depends}" varkel-hot-preamp | grep -q libfann'

echo "==== Ardour's VST 2.4 scanner"
run env LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner -v -f "$vst2" >"$work/vst2.log" 2>&1 || true
grep -E "Found Plugin|VST2Info" "$work/vst2.log" || tail -n 5 "$work/vst2.log"
check "VST 2.4: unique ID VRKL (1448233804), name and maker" \
  contains "$work/vst2.log" 'id="1448233804" name="VARKEL Hot Preamp" creator="Talvomer" category="Effect"'
check "VST 2.4: 2 in, 2 out, an editor" contains "$work/vst2.log" 'n_inputs="2" n_outputs="2".*has_editor="1"'

echo "==== Ardour's VST3 scanner"
run env LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -v -f "$vst3" >"$work/vst3.log" 2>&1 || true
grep -E "Found Plugin|VST3Info" "$work/vst3.log" || tail -n 5 "$work/vst3.log"
check "VST3: name, vendor, version 1.0.0, 2 in, 2 out" \
  contains "$work/vst3.log" 'name="VARKEL Hot Preamp" vendor="Talvomer" category="Fx" version="1.0.0".*n_inputs="2" n_outputs="2"'

echo "==== lv2info (the system's LV2 path)"
env -u LV2_PATH lv2info "$uri" >"$work/lv2info.log" 2>&1 || true
bash scripts/lv2-assertions.sh "$work/lv2info.log" "$lv2" | tee "$work/lv2.checks" || true
passes=$((passes + $(grep -c '^PASS' "$work/lv2.checks" || true)))
failures=$((failures + $(grep -c '^FAIL' "$work/lv2.checks" || true)))

echo "==== a phrase through the installed VST 2.4 module"
render=("$root/build/tools/render/varkel_render" --module "$vst2" --output "$work/phrase.wav")
if unshare --mount true 2>/dev/null; then
  fann="$(realpath /usr/lib/x86_64-linux-gnu/libfloatfann.so.2 2>/dev/null || true)"
  if [ -n "$fann" ]; then
    echo "(with $fann hidden: the module must use the copy installed with it)"
    render=(unshare --mount sh -c 'mount --bind /dev/null "$0" && exec "$@"' "$fann" "${render[@]}")
  fi
fi
status=0
"${render[@]}" >"$work/render.log" 2>&1 || status=$?
grep -E "model data|output peak|wrote" "$work/render.log" || tail -n 5 "$work/render.log"
check "render through the installed module exits 0 (not silent)" test "$status" -eq 0
check "the installed module reports its model data loaded" contains "$work/render.log" "model data: loaded"

echo "==== apt-get remove"
apt-get remove -y varkel-hot-preamp >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; exit 1; }
left=0
while IFS= read -r file; do
  if [ -f "$file" ] || [ -L "$file" ]; then
    echo "left behind: $file"
    left=$((left + 1))
  fi
done <"$work/files"
check "removing the package leaves none of its files" test "$left" -eq 0
check "nothing is left in $data" test ! -e "$data"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
