#include "support/MidiFileBuilder.h"

namespace talmeru::test {

namespace {
void Add32BE(std::vector<uint8_t>& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
}
void Add16BE(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
}  // namespace

std::vector<uint8_t> Vlq(uint32_t value) {
    std::vector<uint8_t> out{static_cast<uint8_t>(value & 0x7F)};
    while (value >>= 7)
        out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

MidiTrack& MidiTrack::Delta(uint32_t ticks) {
    std::vector<uint8_t> v = Vlq(ticks);
    data.insert(data.end(), v.begin(), v.end());
    return *this;
}

MidiTrack& MidiTrack::Bytes(std::initializer_list<uint8_t> bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}

MidiTrack& MidiTrack::Message(const std::vector<uint8_t>& message, bool running) {
    data.insert(data.end(), message.begin() + (running ? 1 : 0), message.end());
    return *this;
}

MidiTrack& MidiTrack::Tempo(uint32_t us) {
    return Bytes({0xFF, 0x51, 0x03, static_cast<uint8_t>(us >> 16), static_cast<uint8_t>(us >> 8),
                  static_cast<uint8_t>(us)});
}

MidiTrack& MidiTrack::Sysex(uint8_t kind, const std::vector<uint8_t>& bytes) {
    data.push_back(kind);
    std::vector<uint8_t> length = Vlq(static_cast<uint32_t>(bytes.size()));
    data.insert(data.end(), length.begin(), length.end());
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}

MidiTrack& MidiTrack::End() {
    return Bytes({0xFF, 0x2F, 0x00});
}

std::vector<std::vector<uint8_t>> EveryChannelMessage(int channel) {
    const auto c = static_cast<uint8_t>(channel & 0x0F);
    return {{uint8_t(0x80 | c), 60, 11},  {uint8_t(0x90 | c), 62, 12}, {uint8_t(0xA0 | c), 64, 13},
            {uint8_t(0xB0 | c), 1, 14},   {uint8_t(0xC0 | c), 15},     {uint8_t(0xD0 | c), 16},
            {uint8_t(0xE0 | c), 17, 0x50}};
}

std::vector<uint8_t> MidiImage::Build() const {
    std::vector<uint8_t> b{'M', 'T', 'h', 'd'};
    Add32BE(b, 6);
    Add16BE(b, format);
    Add16BE(b, trackCount.value_or(static_cast<uint16_t>(tracks.size())));
    Add16BE(b, division);
    for (const MidiTrack& t : tracks) {
        b.insert(b.end(), {'M', 'T', 'r', 'k'});
        Add32BE(b, static_cast<uint32_t>(t.data.size()));
        b.insert(b.end(), t.data.begin(), t.data.end());
    }
    return b;
}

}  // namespace talmeru::test
