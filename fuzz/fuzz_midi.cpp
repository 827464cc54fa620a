// Standard MIDI Files: the merged event list must come out in time order, within the song's
// length, with only channel messages and whole F0-first system-exclusive messages in it.
#include <cstdlib>

#include "files/MidiFile.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MidiSong song;
    try {
        song = ReadMidi({data, size});
    } catch (const MidiFileError&) {
        return 0;
    }
    double last = 0;
    for (const MidiEvent& e : song.events) {
        if (e.seconds < last || e.seconds > song.lengthSeconds) std::abort();
        last = e.seconds;
        if (e.IsSysex() ? e.sysex[0] != 0xF0 || e.message != 0
                        : (e.message & 0xFF) < 0x80 || (e.message & 0xFF) > 0xEF ||
                              (e.message & 0xFF808080u) != 0x80)
            std::abort();
    }
    return 0;
}
