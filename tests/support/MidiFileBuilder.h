#pragma once
// Builds Standard MIDI File images byte by byte, written apart from the reader under test.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace talmeru::test {

// One track's events: each call appends a delta time or raw bytes, so a test can write
// running status, bad lengths or a missing end of track as easily as good events.
class MidiTrack {
  public:
    MidiTrack& Delta(uint32_t ticks);  // as a variable-length number of up to 4 bytes
    MidiTrack& Bytes(std::initializer_list<uint8_t> bytes);
    // A channel message whole, or in running status (its status byte left out).
    MidiTrack& Message(const std::vector<uint8_t>& message, bool running = false);
    MidiTrack& Tempo(uint32_t usPerQuarter);  // the meta event, without its delta
    // F0 or F7 event with its counted data (the F0 itself is not counted).
    MidiTrack& Sysex(uint8_t kind, const std::vector<uint8_t>& data);
    MidiTrack& End();  // end of track, without its delta
    std::vector<uint8_t> data;
};

struct MidiImage {
    uint16_t format = 1;
    uint16_t division = 480;
    std::optional<uint16_t> trackCount;  // the header's count when it should lie
    std::vector<MidiTrack> tracks;
    std::vector<uint8_t> Build() const;
};

// One channel message of each kind on `channel`, each with the data bytes the kind takes:
// note off, note on, key pressure, controller, program change, channel pressure, pitch bend.
// Every data byte differs from the others.
std::vector<std::vector<uint8_t>> EveryChannelMessage(int channel);

// The variable-length number as the format writes it.
std::vector<uint8_t> Vlq(uint32_t value);

}  // namespace talmeru::test
