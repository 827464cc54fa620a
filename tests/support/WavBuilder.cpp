#include "support/WavBuilder.h"

namespace talmeru::test {

namespace {
void Add16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Add32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void AddChunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& data) {
    b.insert(b.end(), id, id + 4);
    Add32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
}
}  // namespace

std::vector<uint8_t> MakeWav(const WavPlan& s) {
    std::vector<uint8_t> body{'W', 'A', 'V', 'E'};
    if (s.withFmt) {
        std::vector<uint8_t> fmt;
        Add16(fmt, static_cast<uint32_t>(s.tag));
        Add16(fmt, static_cast<uint32_t>(s.channels));
        Add32(fmt, s.rate);
        uint32_t align = static_cast<uint32_t>(s.channels * s.bits / 8);
        Add32(fmt, s.rate * align);
        Add16(fmt, align);
        Add16(fmt, static_cast<uint32_t>(s.bits));
        AddChunk(body, "fmt ", fmt);
    }
    std::vector<uint8_t> smpl;
    if (s.unity || !s.loops.empty()) {
        for (uint32_t v : {0u, 0u, 22675u, s.unity.value_or(60), s.pitchFraction, 0u, 0u,
                           static_cast<uint32_t>(s.loops.size()), 0u})
            Add32(smpl, v);
        uint32_t id = 0;
        for (const auto& l : s.loops)
            for (uint32_t v : {id++, l.type, l.start, l.end, l.fraction, 0u})
                Add32(smpl, v);
        smpl.resize(smpl.size() + s.smplPadding, 0);
    }
    if (!smpl.empty() && s.smplBeforeData) AddChunk(body, "smpl", smpl);
    if (s.withData) AddChunk(body, "data", s.data);
    if (!smpl.empty() && !s.smplBeforeData) AddChunk(body, "smpl", smpl);
    if (s.inst) AddChunk(body, "inst", *s.inst);
    std::vector<uint8_t> file{'R', 'I', 'F', 'F'};
    Add32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

std::vector<uint8_t> Pcm16(const std::vector<std::vector<int16_t>>& channels) {
    std::vector<uint8_t> out;
    size_t frames = channels.empty() ? 0 : channels[0].size();
    for (size_t f = 0; f < frames; ++f)
        for (const auto& c : channels)
            Add16(out, static_cast<uint16_t>(c[f]));
    return out;
}

std::vector<int16_t> Ramp(int frames, int start, int step) {
    std::vector<int16_t> r;
    for (int i = 0; i < frames; ++i)
        r.push_back(static_cast<int16_t>(start + i * step));
    return r;
}

}  // namespace talmeru::test
