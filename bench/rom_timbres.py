#!/usr/bin/python3
"""The factory ROM bank as a listener meets it: every General MIDI program on middle C and
every kit key 35..81, rendered by talmeru-cli on a fresh emulator, one note per slot.

Prints per sound its peak (dBFS), how long it stays above -60 dBFS and within 60 dB of its
peak (a held note is let go after 2 s; the kit ignores note-offs), its attack (ms to within
3 dB of its loudest 10 ms), how far it falls while held (dB from its loudest 10 ms to the
level just before the release) and its brightness (spectral centroid of its first second, Hz,
over the bins within 60 dB of the strongest).
Then the spread of the programs' peaks around their median, how many distinct sounds the
programs make (two sounds are one when their band spectra and level envelopes agree within a
decibel or so) and, per General MIDI family of eight programs, the range of those figures.

    bench/rom_timbres.py [build/src/talmeru-cli] [--csv out.csv]
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import wave

import numpy as np

RATE = 44100
SLOT_S = 7.0     # one sound per slot: up to 2 s held, then its release
HOLD_S = 2.0
TICKS = 960      # per second at the default tempo (480 per quarter, 120 bpm)
DRUM_KEYS = range(35, 82)


def var_len(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)


def midi_file(events):
    """events: (seconds, bytes) in order; a format 0 file."""
    track, now = b"", 0
    for t, msg in events:
        tick = int(round(t * TICKS))
        track += var_len(tick - now) + msg
        now = tick
    track += b"\x00\xff\x2f\x00"
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) +
            b"MTrk" + struct.pack(">I", len(track)) + track)


def program_song():
    events = []
    for p in range(128):
        t = p * SLOT_S
        events += [(t, bytes([0xC0, p])), (t + 0.01, bytes([0x90, 60, 100])),
                   (t + 0.01 + HOLD_S, bytes([0x80, 60, 0]))]
    return midi_file(events), 128


def drum_song():
    events = []
    for i, key in enumerate(DRUM_KEYS):
        t = i * SLOT_S
        events += [(t + 0.01, bytes([0x99, key, 100])), (t + 0.5, bytes([0x89, key, 0]))]
    return midi_file(events), len(DRUM_KEYS)


def render(cli, song, folder, name):
    mid, out = os.path.join(folder, name + ".mid"), os.path.join(folder, name + ".wav")
    with open(mid, "wb") as f:
        f.write(song)
    subprocess.run([cli, "render", "--reverb", "0", "--chorus", "0", "--tail", "8",
                    "-", mid, out], check=True, stdout=subprocess.DEVNULL)
    with wave.open(out) as w:
        frames = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        x = frames.reshape(-1, w.getnchannels()).astype(np.float64) / 32768
    return x.mean(axis=1)


def slots(x, count):
    n = int(SLOT_S * RATE)
    x = np.concatenate([x, np.zeros(max(0, count * n - len(x)))])
    return [x[i * n:(i + 1) * n] for i in range(count)]


def db(v):
    return 20 * np.log10(np.maximum(v, 1e-9))


def measure(x):
    frame = RATE // 100
    rms = np.sqrt(np.mean(x[: len(x) // frame * frame].reshape(-1, frame) ** 2, axis=1))
    peak = db(np.max(np.abs(x)))
    loud = np.nonzero(db(rms) > -60)[0]
    duration = (loud[-1] + 1) / 100 if len(loud) else 0.0
    ringing = np.nonzero(db(rms) > peak - 60)[0]
    ring = (ringing[-1] + 1) / 100 if len(ringing) else 0.0
    # Fingerprint: the spectrum of the first second in sixth-octave bands and the level
    # envelope over three seconds, both relative to their loudest point.
    first = x[:RATE]
    spectrum = np.abs(np.fft.rfft(first * np.hanning(len(first)))) ** 2
    hz = np.fft.rfftfreq(len(first), 1 / RATE)
    edges = 50 * 2 ** (np.arange(0, 54) / 6)
    bands = np.array([spectrum[(hz >= lo) & (hz < hi)].sum() for lo, hi in zip(edges, edges[1:])])
    bands = np.maximum(10 * np.log10(np.maximum(bands, 1e-20)) - 10 * np.log10(bands.max() + 1e-20), -60)
    env = db(rms[:300].reshape(-1, 5).mean(axis=1))
    env = np.maximum(env - env.max(), -60)
    level = db(rms)
    loudest = int(np.argmax(level))
    attack = 10 * int(np.argmax(level >= level[loudest] - 3))
    fall = level[loudest] - np.mean(level[185:195])  # the note is let go at 2.01 s
    # Bins 60 dB under the strongest are left out: the 8-bit data's noise floor would
    # otherwise brighten every quiet tail alike.
    magnitude = np.sqrt(spectrum)
    magnitude = np.where(magnitude > 1e-3 * magnitude.max(), magnitude, 0)
    centroid = float(np.sum(hz * magnitude) / max(np.sum(magnitude), 1e-20))
    return peak, duration, bands, env, ring, attack, fall, centroid


def distinct(prints, tolerance=1.5):
    kept = []
    for bands, env in prints:
        if not any(np.mean(np.abs(bands - b)) < tolerance and np.mean(np.abs(env - e)) < tolerance
                   for b, e in kept):
            kept.append((bands, env))
    return len(kept)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli", nargs="?", default="build/src/talmeru-cli")
    ap.add_argument("--csv")
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        programs = [measure(s) for s in slots(render(args.cli, *program_song()[:1], folder, "programs"), 128)]
        drums = [measure(s) for s in slots(render(args.cli, drum_song()[0], folder, "drums"), len(DRUM_KEYS))]
    rows = [("program", p, m[0], m[1], m[4], m[5], m[6], m[7]) for p, m in enumerate(programs)]
    rows += [("drum", k, m[0], m[1], m[4], m[5], m[6], m[7]) for k, m in zip(DRUM_KEYS, drums)]
    if args.csv:
        with open(args.csv, "w") as f:
            f.write("kind,number,peak_dbfs,seconds_above_-60dbfs,seconds_within_60db_of_peak,"
                    "attack_ms,held_fall_db,centroid_hz\n")
            for r in rows:
                f.write("%s,%d,%.1f,%.2f,%.2f,%d,%.1f,%.0f\n" % r)
    for kind, n, peak, dur, ring, attack, fall, centroid in rows:
        print("%-7s %3d  peak %6.1f dBFS  %5.2f s above -60 dBFS  %5.2f s within 60 dB of peak"
              "  attack %4d ms  falls %5.1f dB held  centroid %5.0f Hz" %
              (kind, n, peak, dur, ring, attack, fall, centroid))
    peaks = np.array([m[0] for m in programs])
    median = np.median(peaks)
    far = [(p, round(v - median, 1)) for p, v in enumerate(peaks) if abs(v - median) > 6]
    print("programs: median peak %.1f dBFS, %d beyond 6 dB of it: %s" % (median, len(far), far))
    print("programs: %d distinct sounds of 128" % distinct([(m[2], m[3]) for m in programs]))
    durs = [m[1] for m in programs]
    print("programs: above -60 dBFS for %.2f..%.2f s (median %.2f)" % (min(durs), max(durs), np.median(durs)))
    for family in range(16):
        f = programs[8 * family:8 * family + 8]
        print("family %2d (%3d..%3d): attack %4d..%4d ms  falls %5.1f..%5.1f dB held  "
              "centroid %5.0f..%5.0f Hz" % (
                  family, 8 * family, 8 * family + 7, min(m[5] for m in f), max(m[5] for m in f),
                  min(m[6] for m in f), max(m[6] for m in f), min(m[7] for m in f), max(m[7] for m in f)))
    ddurs, drings = [m[1] for m in drums], [m[4] for m in drums]
    print("drums: peaks %.1f..%.1f dBFS, above -60 dBFS for %.2f..%.2f s, within 60 dB of "
          "their peak for %.2f..%.2f s" % (min(m[0] for m in drums), max(m[0] for m in drums),
                                          min(ddurs), max(ddurs), min(drings), max(drings)))


if __name__ == "__main__":
    sys.exit(main())
