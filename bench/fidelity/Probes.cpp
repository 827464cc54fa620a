#include "fidelity/Probes.h"

#include <algorithm>

namespace fidelity {

namespace {

// A held note of 1.5 s; 1.4 s after the note-off the channel is silenced so that a long
// release cannot lift the next slot's silence. Release probes ring 4.4 s before that.
constexpr double kLead = 100, kHeld = 1500, kTail = 1400, kReleaseTail = 4400;
constexpr double kDrumHeld = 500, kDrumTail = 1400, kVibratoHeld = 4000;

struct Event {
    uint32_t tick;
    std::vector<uint8_t> bytes;
};

void Vlq(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t buf[5];
    int n = 0;
    do {
        buf[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n--) out.push_back(uint8_t(buf[n] | (n ? 0x80 : 0)));
}

// Appends one probe's slot and returns where the next one starts.
double Add(std::vector<Probe>& out, ProbeKind kind, int channel, int program, int key,
           int velocity, int modWheel, double start, double held, double tail) {
    const double on = start + kLead, off = on + held;
    out.push_back({kind, channel, program, key, velocity, modWheel, on, off, off + tail});
    return off + tail;
}

}  // namespace

const std::vector<int>& ReleasePrograms() {
    // Decaying (piano, nylon guitar, vibraphone) and sustaining (strings, rock organ, flute).
    static const std::vector<int> programs = {0, 24, 11, 48, 19, 73};
    return programs;
}

const std::vector<int>& StereoPrograms() {
    // Stereo sample pairs in FluidR3_GM.
    static const std::vector<int> programs = {0, 22, 65, 104};
    return programs;
}

const std::vector<int>& PianoVelocities() {
    static const std::vector<int> velocities = {20, 40, 64, 100, 127};
    return velocities;
}

std::vector<Probe> ProbeLayout() {
    std::vector<Probe> p;
    double t = 0;
    for (int program = 0; program < 128; ++program)
        t = Add(p, ProbeKind::Program, 0, program, 60, 100, 0, t, kHeld, kTail);
    for (int key = kFirstDrumKey; key <= kLastDrumKey; ++key)
        t = Add(p, ProbeKind::Drum, 9, 0, key, 100, 0, t, kDrumHeld, kDrumTail);
    for (int program : ReleasePrograms())
        t = Add(p, ProbeKind::Release, 0, program, 60, 100, 0, t, kHeld, kReleaseTail);
    for (int velocity : PianoVelocities())
        t = Add(p, ProbeKind::Velocity, 0, 0, 60, velocity, 0, t, kHeld, kTail);
    // The flute's C5 with and without the mod wheel: the first shows what the samples carry.
    t = Add(p, ProbeKind::Vibrato, 1, 73, 72, 100, 0, t, kVibratoHeld, kTail);
    Add(p, ProbeKind::Vibrato, 1, 73, 72, 100, 127, t, kVibratoHeld, kTail);
    return p;
}

std::vector<uint8_t> ProbeMidi(const std::vector<Probe>& probes) {
    std::vector<Event> events;
    auto at = [](double ms) { return uint32_t(ms); };
    for (const Probe& p : probes) {
        const uint8_t ch = uint8_t(p.channel);
        const uint32_t start = at(p.onMs) - 50;  // program and controllers before the note
        // Bank 0 on the melodic channels; the drum channel keeps each player's own kit bank.
        if (p.kind != ProbeKind::Drum) events.push_back({start, {uint8_t(0xB0 | ch), 0, 0}});
        events.push_back({start, {uint8_t(0xC0 | ch), uint8_t(p.program)}});
        events.push_back({start, {uint8_t(0xB0 | ch), 1, uint8_t(p.modWheel)}});
        events.push_back({at(p.onMs), {uint8_t(0x90 | ch), uint8_t(p.key), uint8_t(p.velocity)}});
        events.push_back({at(p.offMs), {uint8_t(0x80 | ch), uint8_t(p.key), 64}});
        events.push_back({at(p.endMs) - 20, {uint8_t(0xB0 | ch), 120, 0}});  // all sound off
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::vector<uint8_t> body;
    Vlq(body, 0);
    body.insert(body.end(), {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40});  // 1000000 us a beat
    uint32_t now = 0;
    for (const Event& e : events) {
        Vlq(body, e.tick - now);
        now = e.tick;
        body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    Vlq(body, 500);  // half a second of silence before the end, so neither player cuts short
    body.insert(body.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xE8,
                                 'M', 'T', 'r', 'k'};
    for (int s = 24; s >= 0; s -= 8) file.push_back(uint8_t(body.size() >> s));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace fidelity
