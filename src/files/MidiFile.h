#pragma once
// Standard MIDI Files (format 0 and 1) read into one list of events in playing order, each
// with its time in seconds through the file's tempo map, ready to be sent to a synthesizer.
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <vector>

namespace talmeru {

// Why a MIDI file cannot be played; the text says where the fault is.
class MidiFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Bounds on what one file may ask of memory: far above any real song, far below harm.
inline constexpr size_t kMaxMidiEvents = 1'000'000;
inline constexpr uint64_t kMaxMidiFileBytes = uint64_t(64) << 20;

struct MidiEvent {
    uint64_t tick = 0;
    double seconds = 0;
    int track = 0;
    // A channel message packed as the device layer carries it (status in the lowest byte);
    // 0 for a system-exclusive message.
    uint32_t message = 0;
    // A whole system-exclusive message, F0 first (packets sent in parts already joined).
    std::vector<uint8_t> sysex;
    bool IsSysex() const { return !sysex.empty(); }
};

struct MidiSong {
    int format = 0;
    int trackCount = 0;
    // Channel messages and system-exclusive messages of every track, in time order; events
    // at the same tick keep the order of their tracks.
    std::vector<MidiEvent> events;
    // Where the song ends: its last end of track, or its last event when that is later.
    double lengthSeconds = 0;
};

// Throws MidiFileError on anything it cannot read safely.
MidiSong ReadMidi(std::span<const uint8_t> bytes);
MidiSong ReadMidiFile(const std::string& path);

}  // namespace talmeru
