#!/usr/bin/env bash
# How much a SoundFont converted by Talmeru sounds like the SoundFont: renders the same probe
# notes and the same 64 s of General MIDI music with talmeru-cli (the SoundFont converted on
# the fly, uploaded to a fresh emulator) and with FluidSynth, both without reverb and chorus,
# and prints per SoundFont: which GM programs and drum keys sound, their levels, release
# times, the piano's velocity curve, the mod wheel's vibrato, the stereo image of stereo
# samples, how alike the music's envelope and harmony are, and the conversion's time and
# memory, each with a PASS/FAIL against its target. A benchmark: it never fails a build.
# Usage: bench/sf2_fidelity.sh [SF2...]   (default: FluidR3_GM, TimGM6mb, MuseScore_General_Lite)
# TALMERU_SF2_FLAGS: the conversion flags for talmeru-cli (default "--sf2-programs presets";
# empty for the instrument mode). BUILD: the build folder (default build).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
read -ra sf2_flags <<<"${TALMERU_SF2_FLAGS-"--sf2-programs presets"}"

need=()
for p in fluidsynth fluid-soundfont-gm timgm6mb-soundfont musescore-general-soundfont-small \
  sox time libsndfile1-dev libkissfft-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
((${#need[@]} == 0)) || DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}" >/dev/null

font() {  # the installed file of a package whose name ends in $2
  dpkg -L "$1" | grep -m1 -E "/$2\$"
}
if (($# == 0)); then
  set -- "$(font fluid-soundfont-gm FluidR3_GM.sf2)" "$(font timgm6mb-soundfont TimGM6mb.sf2)" \
    "$(font musescore-general-soundfont-small MuseScore_General_Lite.sf3)"
fi

cmake --build "$build" -j2 --target talmeru-cli make_gm_song sf2_fidelity >/dev/null
cli=$build/src/talmeru-cli
fidelity=$build/bench/sf2_fidelity
work=$(mktemp -d "${TMPDIR:-/tmp}/talmeru-fidelity.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TALMERU_HOME=$work/home

# The measures first, on sines whose pitch is known.
sox -n -r 44100 -b 16 -c 2 "$work/sine440.wav" synth 2 sine 440 vol 0.5
sox -n -r 44100 -b 16 -c 2 "$work/sine262.wav" synth 2 sine 261.6256 vol 0.5
if "$fidelity" check "$work/sine440.wav" "$work/sine262.wav" >"$work/check.txt"; then
  tail -n 2 "$work/check.txt"
else
  cat "$work/check.txt"  # every reading, so the wrong one shows; the figures below may be off
fi
"$fidelity" probes "$work/probes.mid"
"$build/bench/make_gm_song" "$work/song.mid"
echo "talmeru-cli flags: ${sf2_flags[*]:-(none: instrument mode)}"
echo

fluid() {  # SF MIDI OUT
  fluidsynth -ni -g 0.2 -R 0 -C 0 -r 44100 -O float -F "$3" "$1" "$2" >/dev/null 2>&1
}
talmeru() {  # SF MIDI OUT: prints "-" instead of OUT when talmeru-cli cannot render
  if "$cli" render "$1" "$2" "$3" "${sf2_flags[@]}" --sample-ram 268435456 --float \
    --reverb 0 --chorus 0 --tail 2 >/dev/null 2>"$work/render.err"; then
    echo "$3"
  else
    echo "talmeru-cli render $(basename "$1"): $(grep -v "Run with --help" "$work/render.err" | tail -n 1)" >&2
    echo -
  fi
}

for sf in "$@"; do
  name=$(basename "$sf")
  # FluidSynth renders in the background while talmeru-cli renders: one each per core.
  { fluid "$sf" "$work/probes.mid" "$work/f_probes.wav"
    fluid "$sf" "$work/song.mid" "$work/f_song.wav"; } &
  fluid_job=$!
  t_probes=$(talmeru "$sf" "$work/probes.mid" "$work/t_probes.wav")
  t_song=-
  [[ $t_probes == - ]] || t_song=$(talmeru "$sf" "$work/song.mid" "$work/t_song.wav")
  wait "$fluid_job"
  convert=()
  if /usr/bin/time -f '%e %M' -o "$work/time" "$cli" convert "$sf" "$work/out.tmb" \
    "${sf2_flags[@]}" >/dev/null 2>&1; then
    read -r seconds kb <"$work/time"
    convert=(--convert "$seconds" "$kb")
    [[ $name == FluidR3_GM.sf2 ]] && convert+=(--convert-targets)
  fi
  "$fidelity" analyse "$name" "$work/f_probes.wav" "$t_probes" "$work/f_song.wav" "$t_song" \
    "${convert[@]}" || echo "  analysis of $name failed"
  rm -f "$work"/*.wav "$work/out.tmb"
done
