#!/usr/bin/env bash
# Loads the installed plug-ins in real third-party hosts from Debian and prints what they report:
# Ardour's VST 2.4 and VST3 scanners, lilv's lv2ls/lv2info, and jalv running the LV2 plug-in
# against a JACK server with the dummy driver. Asserts what LV2 hosts read (scripts/
# lv2-assertions.sh: the parameters' defaults, ranges and scale points, the twelve presets) and
# that jalv lists the twelve presets; exits non-zero when one fails. Not part of CI (it installs
# Ardour, ~110 MB).
#
# Usage: scripts/host-check.sh [PREFIX]
#   PREFIX  an install prefix holding lib/vst, lib/vst3, lib/lv2 (default: the build folder
#           "build" is installed into a temporary prefix first)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(ardour lilv-utils jalv jackd2 serdi xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

work="$(mktemp -d)"
jackd_pid=""
cleanup() {
  if [ -n "$jackd_pid" ]; then kill "$jackd_pid" 2>/dev/null || true; wait "$jackd_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

prefix="${1:-}"
if [ -z "$prefix" ]; then
  prefix="$work/prefix"
  cmake --install build --prefix "$prefix" >/dev/null
fi

name="VARKEL Hot Preamp"
vst2="$prefix/lib/vst/$name.so"
vst3="$prefix/lib/vst3/$name.vst3"
lv2_dir="$prefix/lib/lv2"
uri="$(sed -n 's/^<\(https\?:[^>]*\)>$/\1/p' "$lv2_dir/$name.lv2/manifest.ttl" | head -n 1)"

# The hosts keep caches and settings in $HOME; the plug-in's editor code wants a display.
export HOME="$work/home"
mkdir -p "$HOME"
run() { if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi; }

section() { printf '\n==== %s\n' "$*"; }

# Runs an Ardour scanner; with strace present, also shows which model files the plug-in looked for
# (they lie in the ".dat" folder beside the module).
scan() {
  local scanner="/usr/lib/ardour7/ardour-$1-scanner" trace="$work/$1.trace"
  if command -v strace >/dev/null; then
    run strace -f -qq -e trace=openat -o "$trace" env LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -v -f "$2" 2>&1 \
      || echo "(scanner exit $?)"
    echo "-- model files the plug-in tried to open:"
    grep -o '"[^"]*varkelpre_[^"]*"' "$trace" | sort -u || echo "(none)"
  else
    run env LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -v -f "$2" 2>&1 || echo "(scanner exit $?)"
  fi
}

section "Ardour VST 2.4 scanner: $vst2"
scan vst "$vst2"

section "Ardour VST3 scanner: $vst3"
scan vst3 "$vst3"

section "lv2ls (LV2_PATH=$lv2_dir)"
export LV2_PATH="$lv2_dir"
lv2ls
section "lv2info $uri"
lv2info "$uri" | tee "$work/lv2info.log"
section "what LV2 hosts read"
failures=0
bash scripts/lv2-assertions.sh "$work/lv2info.log" "$lv2_dir/$name.lv2" || failures=$((failures + 1))

section "jalv with a dummy JACK server (48 kHz, 1024 frames), 5 s"
jackd --no-realtime -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
sleep 2
# jalv reads commands from standard input: list the presets and controls, then keep running.
status=0
# (jalv's console lists every LV2 property control as 0 whatever its value, even one set with
# -c; its presets are what it can be asked about.)
{ sleep 2; echo presets; echo controls; sleep 3; } | run timeout 7 jalv -p "$uri" >"$work/jalv.log" 2>&1 || status=$?
cat "$work/jalv.log"
echo "(jalv ended with status $status; 124 means it was still running when stopped)"
presets="$(grep -cE ':preset[0-9]+ \([0-9]+ default\)$' "$work/jalv.log" || true)"
if [ "$presets" -eq 12 ]; then echo "PASS: jalv lists the twelve programs as presets"; else
  echo "FAIL: jalv lists $presets presets, not 12"; failures=$((failures + 1)); fi
[ "$failures" -eq 0 ]
