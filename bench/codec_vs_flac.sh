#!/usr/bin/env bash
# Compresses the same 8 minutes of 16-bit mono music with `flac -0` and with talmeru-cli (a WAV
# imported into a .tmb, whose sample data go in as a compressed sample stream), decompresses it
# again with `flac -d` and `talmeru-cli extract`, checks that both give the samples back, and
# prints the CPU time (user + system) of each whole process, the best of RUNS runs (default 3),
# and the ratios. Installs flac and sox when they are missing; needs python3 for the timing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
runs=${RUNS:-3}
if ! command -v flac >/dev/null || ! command -v sox >/dev/null; then
  apt-get install -y -q flac sox >/dev/null
fi
cmake --build "$build" -j2 --target talmeru-cli >/dev/null
work=$(mktemp -d)
trap '[[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT
export TALMERU_HOME=$work

# 60 chords of 8 s: plucked and sustained voices over a bass, with a little noise, mixed to
# mono. sox -R seeds its noise the same way every time, so the music is always the same.
notes=(C3 D3 E3 F3 G3 A3 B3 C4 D4 E4 F4 G4 A4 B4 C5)
segments=()
for i in $(seq 0 59); do
  a=${notes[$((i * 7 % 15))]} b=${notes[$(((i * 7 + 2) % 15))]} c=${notes[$(((i * 7 + 4) % 15))]}
  bass=${notes[$((i * 3 % 7))]}
  seg=$work/seg$i.wav
  sox -R -r 44100 -c 6 -n -b 16 -c 1 "$seg" synth 8 pluck "$a" pluck "$b" pluck "$c" \
    sawtooth "${bass/3/2}" sine "${c/4/5}" pinknoise \
    remix 1v0.3,2v0.3,3v0.3,4v0.12,5v0.08,6v0.01 fade q 0.02 8 0.3 2>/dev/null
  segments+=("$seg")
done
sox "${segments[@]}" "$work/music.wav"
rm -f "${segments[@]}"

cpu() {  # the least user + system seconds of a whole process over $runs runs
  python3 - "$runs" "$@" <<'PY'
import os, subprocess, sys
best = None
for _ in range(int(sys.argv[1])):
    p = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, use = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit("failed: " + " ".join(sys.argv[2:]))
    t = use.ru_utime + use.ru_stime
    best = t if best is None else min(best, t)
print(f"{best:.3f}")
PY
}
cli=$build/src/talmeru-cli
flacc=$(cpu flac -0 -f -s -o "$work/music.flac" "$work/music.wav")
flacd=$(cpu flac -d -f -s -o "$work/flac.wav" "$work/music.flac")
tmbc=$(cpu "$cli" import-wav - "$work/music.tmb" "$work/music.wav")
tmbd=$(cpu "$cli" extract "$work/music.tmb" 0 "$work/tmb.wav")
raw() { sox "$1" -t raw - | md5sum; }
if [[ $(raw "$work/music.wav") != $(raw "$work/flac.wav") ||
  $(raw "$work/music.wav") != $(raw "$work/tmb.wav") ]]; then
  echo "a round trip changed the samples" >&2
  exit 1
fi

size() { stat -c %s "$1"; }
wav=$(size "$work/music.wav")
echo "music: $(soxi -D "$work/music.wav") s, $wav bytes of WAV"
echo "flac -0: $(size "$work/music.flac") bytes; .tmb: $(size "$work/music.tmb") bytes"
printf "%-36s %8s s CPU\n" "flac -0 (compress):" "$flacc" "flac -d (decompress):" "$flacd" \
  "talmeru-cli import-wav (compress):" "$tmbc" "talmeru-cli extract (decompress):" "$tmbd"
awk -v tc="$tmbc" -v fc="$flacc" -v td="$tmbd" -v fd="$flacd" 'BEGIN {
  printf "ratio talmeru/flac compress:   %.2f\n", tc / fc
  printf "ratio talmeru/flac decompress: %.2f\n", td / fd
}'
