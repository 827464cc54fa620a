#!/usr/bin/env bash
# Wall time and peak memory (maximum resident set) of whole `talmeru-cli convert ... OUT.sf2`
# processes: a 150 MB bank of samples (six mono and two stereo WAV files made with sox) held
# by a .pbf that refers to the WAV files and by a self-contained .tmb, and FluidR3_GM.sf2
# converted to .tmb first. The writer streams the sample data in 1 MB pieces from every kind
# of source, so the peak does not follow the bank's size. The 150 MB bank should take less
# than 2 s.
# Usage: bench/sf2_export.sh [build dir] (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/src/talmeru-cli
sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
command -v sox >/dev/null || apt-get install -y -q sox >/dev/null
[[ -x /usr/bin/time ]] || apt-get install -y -q time >/dev/null
[[ -f $sf2 ]] || apt-get install -y -q fluid-soundfont-gm >/dev/null
[[ -x $cli ]] || { echo "no $cli: build the talmeru-cli target first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/talmeru-sf2-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TALMERU_HOME=$work/home

# 8 files of 178 s: 6 x 15.7 MB mono and 2 x 31.4 MB stereo, 157 MB of 16-bit data in all.
waves=()
for i in 0 1 2 3 4 5; do
  sox -R -n -r 44100 -b 16 -c 1 "$work/mono$i.wav" synth 178 sine $((220 + 55 * i)) pinknoise \
    remix 1v0.5,2v0.05 2>/dev/null
  waves+=("$work/mono$i.wav")
done
for i in 0 1; do
  sox -R -n -r 44100 -b 16 -c 2 "$work/stereo$i.wav" synth 178 sine $((330 + 110 * i)) \
    sine $((331 + 110 * i)) 2>/dev/null
  waves+=("$work/stereo$i.wav")
done
"$cli" import-wav - "$work/big.pbf" "${waves[@]}" >/dev/null
"$cli" convert "$work/big.pbf" "$work/big.tmb" 2>/dev/null
"$cli" convert "$sf2" "$work/fluid.tmb" 2>/dev/null

measure() {  # label, then the command
  local label=$1
  shift
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" 2>/dev/null >/dev/null
  read -r seconds kb <"$work/time"
  printf '%-34s %6.2f s  peak %6.1f MB\n' "$label" "$seconds" "$(echo "$kb / 1024" | bc -l)"
}
sync
measure "150 MB bank (.pbf + WAVs) -> .sf2" "$cli" convert "$work/big.pbf" "$work/big.sf2"
printf '%-34s %6.1f MB written\n' "" "$(echo "$(stat -c %s "$work/big.sf2") / 1048576" | bc -l)"
measure "150 MB bank (.tmb) -> .sf2" "$cli" convert "$work/big.tmb" "$work/big2.sf2"
measure "FluidR3_GM (.tmb) -> .sf2" "$cli" convert "$work/fluid.tmb" "$work/fluid.sf2"
printf '%-34s %6.1f MB written\n' "" "$(echo "$(stat -c %s "$work/fluid.sf2") / 1048576" | bc -l)"
measure "FluidR3_GM.sf2 -> .sf2" "$cli" convert "$sf2" "$work/fluid2.sf2"
measure "open the .pbf alone (info)" "$cli" info "$work/big.pbf"
