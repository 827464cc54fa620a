#!/usr/bin/env bash
# Peak memory (maximum resident set) and wall time of whole talmeru-cli processes on a big
# bank: FluidR3_GM.sf2 (148 MB of samples) converted to .tmb and .syx, `info` of the .syx,
# `extract` of one sample, and the upload of the .tmb to an emulator with 256 MiB sample RAM.
# Usage: bench/memory.sh [build dir] (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/src/talmeru-cli
sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
if [[ ! -f $sf2 ]]; then
    sudo apt-get install -y fluid-soundfont-gm >/dev/null || apt-get install -y fluid-soundfont-gm >/dev/null
fi
[[ -x $cli ]] || { echo "no $cli: build the talmeru-cli target first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/talmeru-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TALMERU_HOME=$work/home
mkdir -p "$TALMERU_HOME"

# Runs the command under /usr/bin/time -v and prints: label, peak MB, seconds.
measure() {
    local label=$1
    shift
    if ! /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>"$work/err"; then
        echo "$label: failed" >&2
        cat "$work/err" >&2
        return 1
    fi
    local kb secs
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time" |
        awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    printf '%-22s %8.1f MB %7.2f s\n' "$label" "$(echo "$kb / 1024" | bc -l)" "$secs"
}

printf '%-22s %11s %9s\n' "" "peak" "time"
# The ROM bank cache is made once, outside the measured runs.
"$cli" --yes info "$sf2" >/dev/null 2>&1 || true
measure "sf2 -> tmb" "$cli" --yes convert "$sf2" "$work/gm.tmb"
measure "sf2 -> syx" "$cli" --yes convert "$sf2" "$work/gm.syx"
measure "tmb -> syx" "$cli" --yes convert "$work/gm.tmb" "$work/gm2.syx"
measure "info syx" "$cli" --yes info "$work/gm.syx"
sample=$("$cli" list "$work/gm.tmb" samples 2>/dev/null | awk 'NR == 1 {print $1}')
measure "extract" "$cli" --yes extract "$work/gm.tmb" "$sample" "$work/one.wav"
measure "upload tmb (256 MiB)" "$cli" --yes synth --sample-ram 268435456 upload "$work/gm.tmb"
ls -l "$work"/gm.tmb "$work"/gm.syx | awk '{printf "%s %.1f MB\n", $NF, $5 / 1048576}'
