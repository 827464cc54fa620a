#!/usr/bin/env bash
# Renders the same 64 s of General MIDI music with talmeru-cli (the bank imported from
# FluidR3_GM.sf2, uploaded to a fresh emulator and played by its voice engine) and with
# FluidSynth's file renderer on the same SoundFont, and prints the CPU time of each whole
# process and their ratio. Installs fluidsynth and fluid-soundfont-gm when they are missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
if ! command -v fluidsynth >/dev/null || [[ ! -f $sf2 ]]; then
  apt-get install -y -q fluidsynth fluid-soundfont-gm >/dev/null
fi
cmake --build "$build" -j2 --target talmeru-cli make_gm_song >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_gm_song" "$work/song.mid"

cpu() {  # user + system seconds of a whole process
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1
  awk '{printf "%.2f", $1 + $2}' "$work/time"
}
talmeru=$(cpu "$build/src/talmeru-cli" render "$sf2" "$work/song.mid" "$work/talmeru.wav" \
  --sample-ram 268435456)
fluid=$(cpu fluidsynth -ni -r 44100 -F "$work/fluidsynth.wav" "$sf2" "$work/song.mid")
echo "talmeru-cli render (import, upload, render): ${talmeru} s CPU"
echo "fluidsynth -ni -F:                           ${fluid} s CPU"
awk -v t="$talmeru" -v f="$fluid" 'BEGIN { printf "ratio talmeru/fluidsynth: %.2f\n", t / f }'
