#!/usr/bin/env bash
# Peak memory (maximum resident set) and wall time of whole talmeru-cli processes on a big
# bank: FluidR3_GM.sf2 (148 MB of samples) converted to .tmb and .syx, `info` of the .syx,
# `extract` of one sample, `info` of small banks at the start of 2 GiB files, and the upload of the .tmb to an emulator with 256 MiB sample RAM.
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
# A bank whose sample is a 150 MB WAV file: converted and uploaded from the WAV in pieces.
sox -n -r 44100 -b 16 -c 1 "$work/long.wav" synth 1700 pinknoise vol 0.3 2>/dev/null
"$cli" --yes import-wav - "$work/long.pbf" "$work/long.wav" >/dev/null 2>&1
measure "wav bank -> tmb" "$cli" --yes convert "$work/long.pbf" "$work/long.tmb"
measure "upload wav bank" "$cli" --yes synth --sample-ram 268435456 upload "$work/long.pbf"
# The same for 24-bit stereo, which is decoded (to 16 bits) as it is read.
sox -n -r 44100 -b 24 -c 2 "$work/deep.wav" synth 600 pinknoise vol 0.3 2>/dev/null
"$cli" --yes import-wav - "$work/deep.pbf" "$work/deep.wav" >/dev/null 2>&1
measure "24-bit wav bank -> tmb" "$cli" --yes convert "$work/deep.pbf" "$work/deep.tmb"

# A bank in the first kilobytes of a 2 GiB file (sparse: the rest reads as zeros): opening it
# should cost the bank, not the file.
sox -n -r 44100 -b 16 -c 1 "$work/tone.wav" synth 0.5 sine 440 2>/dev/null
"$cli" --yes import-wav - "$work/small.pbf" "$work/tone.wav" >/dev/null 2>&1
"$cli" --yes convert "$work/small.pbf" "$work/small.syx" >/dev/null 2>&1
for f in small.pbf small.syx; do
    cp "$work/$f" "$work/huge-$f"
    truncate -s 2G "$work/huge-$f"
    cat "$work/huge-$f" >/dev/null  # the page cache, not the program, is not what is measured
done
measure "info 2 GiB pbf" "$cli" --yes info "$work/huge-small.pbf"
measure "info 2 GiB syx" "$cli" --yes info "$work/huge-small.syx"
ls -l "$work"/gm.tmb "$work"/gm.syx | awk '{printf "%s %.1f MB\n", $NF, $5 / 1048576}'
