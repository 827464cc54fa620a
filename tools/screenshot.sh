#!/usr/bin/env bash
# Makes the README's pictures: Talmeru on the MA-1 emulator under Xvfb with the openbox window
# manager, on a bank that this script builds from tones made with sox (three plucked piano
# notes and a stereo pad, imported by talmeru-cli), with settings and ROM bank cache in a
# scratch folder so that no first-start notice is in the way.
#   docs/screenshot.png      the main window with the program editor
#   docs/sample-editor.png   the sample editor on the stereo pad
#   docs/sample-view-sf2.png the sample view on "Piano C5" of a SoundFont converted to a bank
#   docs/program-table.png   the program table of a SoundFont preset with several layers
#   docs/browser-search.png  the object browser searching for "piano"
#   docs/sf2-import.png      the SoundFont Import dialog on opening that SoundFont
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps "${TALMERU_SCREENSHOT_PACKAGES[@]}"
talmeru_configure "$TALMERU_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$TALMERU_ROOT/build" -j2 --target talmeru talmeru-cli >&2
bin="$TALMERU_ROOT/build/src"

home=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$home"
}
trap cleanup EXIT
export TALMERU_HOME="$home"
cd "$home"

# The bank: one program per WAV file.
for note in C3:130.81 C4:261.63 C5:523.25; do
  sox -n -r 44100 -b 16 -c 1 "piano_${note%%:*}.wav" synth 2.5 pluck "${note#*:}" \
    fade 0 2.5 2 norm -3
done
sox -n -r 44100 -b 16 -c 2 pad_A3.wav synth 4 sawtooth 220 sawtooth 220.8 tremolo 3 40 \
  fade 0.5 4 1 norm -6
"$bin/talmeru-cli" rom Rombank0103.pbf >/dev/null
"$bin/talmeru-cli" import-wav - demo.tmb piano_C3.wav piano_C4.wav piano_C5.wav pad_A3.wav >&2
pad=$("$bin/talmeru-cli" list demo.tmb samples | sed -n 's/^\([0-9]*\) [-S] pad_A3L\?$/\1/p' | head -1)

width=1280 height=800
n=90
while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 "${width}x${height}x24" -nolisten tcp &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 200); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start on $display" >&2; exit 1; }
openbox >/dev/null 2>&1 &
pids+=($!)

# shot FILE WINDOW [BANK [KEYS [TITLE]]]: starts Talmeru on the bank (demo.tmb unless named)
# with that editor open, waits for a window of that title (Talmeru's own unless named), types
# the keys (xdotool key names, then text after "type:"), grabs the screen, ends it.
shot() {
  printf '[Install]\nVersion=327\n[State]\nMainFrame-Position=0 0 %d %d\n' \
    "$width" "$height" >talmeru.ini
  "$bin/talmeru" "${3:-demo.tmb}" --show-window "$2" >/dev/null 2>&1 &
  local pid=$!
  if ! timeout 60 xdotool search --sync --onlyvisible --name "${5:-Talmeru}" >/dev/null; then
    echo "The window \"${5:-Talmeru}\" did not appear" >&2
    exit 1
  fi
  sleep 3
  if [[ -n "${4:-}" ]]; then
    xdotool key --delay 100 ${4%%type:*}
    [[ "$4" == *type:* ]] && xdotool type --delay 80 "${4#*type:}"
    sleep 1
  fi
  import -window root "$1"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$1 written" >&2
}
shot "$TALMERU_ROOT/docs/screenshot.png" program
shot "$TALMERU_ROOT/docs/sample-editor.png" "sample:${pad:-0}"

# A General MIDI SoundFont (Debian's timgm6mb-soundfont) converted with its presets as programs.
sf2=/usr/share/sounds/sf2/TimGM6mb.sf2
if [[ -r "$sf2" ]]; then
  "$bin/talmeru-cli" --yes --sf2-programs presets convert "$sf2" gm.tmb >/dev/null
  piano=$("$bin/talmeru-cli" list gm.tmb samples | sed -n 's/^\([0-9]*\) - Piano C5$/\1/p' | head -1)
  shot "$TALMERU_ROOT/docs/sample-view-sf2.png" "sample:${piano:-0}" gm.tmb
  shot "$TALMERU_ROOT/docs/program-table.png" table:13 gm.tmb  # Xylophone: ten layers
  shot "$TALMERU_ROOT/docs/browser-search.png" browser gm.tmb "ctrl+f type:piano"
  shot "$TALMERU_ROOT/docs/sf2-import.png" program "$sf2" "" "SoundFont Import"
fi
