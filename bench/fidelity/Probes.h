// The probe song of bench/sf2_fidelity: one Standard MIDI File that plays every note the
// measures look at, one after another with silence between, so that each player opens the
// SoundFont once. The analysis finds each note by the same table that wrote it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fidelity {

enum class ProbeKind { Program, Drum, Release, Velocity, Vibrato };

struct Probe {
    ProbeKind kind;
    int channel;  // 0-based: 9 is the drum channel
    int program;  // the GM program (0..127); for drums the kit, 0
    int key;
    int velocity;
    int modWheel;    // CC1 sent before the note (0: none)
    double onMs;     // note-on
    double offMs;    // note-off
    double endMs;    // all sound off on the channel, where the next probe's slot starts
};

// The table, in time order. Timing in milliseconds from the start of the file.
std::vector<Probe> ProbeLayout();

// The programs whose release is timed, and those looked at for the stereo image.
const std::vector<int>& ReleasePrograms();
const std::vector<int>& StereoPrograms();
const std::vector<int>& PianoVelocities();
constexpr int kFirstDrumKey = 35, kLastDrumKey = 81;

// A type-0 file at 1 ms a tick (1000 ticks a beat at 60 bpm), ending just after the last slot.
std::vector<uint8_t> ProbeMidi(const std::vector<Probe>& probes);

}  // namespace fidelity
