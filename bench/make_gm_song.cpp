// Writes the benchmark's music: 64 s of General MIDI in a type-1 Standard MIDI File, eight
// parts (piano chords, bass, strings pad, lead with vibrato and pitch bend, brass stabs,
// arpeggio, a drum kit on channel 10), about 40 voices at a time. Deterministic, so that both
// players render the same notes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

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
    while (n--)
        out.push_back(uint8_t(buf[n] | (n ? 0x80 : 0)));
}

std::vector<uint8_t> Track(std::vector<Event> events) {
    std::vector<uint8_t> body;
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    uint32_t now = 0;
    for (const Event& e : events) {
        Vlq(body, e.tick - now);
        now = e.tick;
        body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> t = {'M', 'T', 'r', 'k'};
    for (int s = 24; s >= 0; s -= 8)
        t.push_back(uint8_t(body.size() >> s));
    t.insert(t.end(), body.begin(), body.end());
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_gm_song OUT.mid\n");
        return 1;
    }
    constexpr uint32_t kPpq = 480, kBeats = 128;  // 120 bpm: 64 s
    std::vector<std::vector<Event>> tracks(9);
    tracks[0].push_back({0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}});  // 500000 us a beat
    auto note = [&](int track, int ch, uint32_t at, uint32_t len, int key, int vel) {
        tracks[size_t(track)].push_back({at, {uint8_t(0x90 | ch), uint8_t(key), uint8_t(vel)}});
        tracks[size_t(track)].push_back({at + len, {uint8_t(0x80 | ch), uint8_t(key), 64}});
    };
    auto message = [&](int track, uint32_t at, std::vector<uint8_t> m) {
        tracks[size_t(track)].push_back({at, std::move(m)});
    };
    const int programs[8] = {0, 33, 48, 81, 61, 11, 0, 0};
    for (int ch = 0; ch < 8; ++ch) {
        const int c = ch == 6 ? 9 : ch;
        message(ch + 1, 0, {uint8_t(0xC0 | c), uint8_t(programs[ch])});
        message(ch + 1, 0, {uint8_t(0xB0 | c), 91, 50});
        message(ch + 1, 0, {uint8_t(0xB0 | c), 93, 20});
    }
    const int chords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
    for (uint32_t beat = 0; beat < kBeats; ++beat) {
        const uint32_t t = beat * kPpq;
        const int* chord = chords[(beat / 4) % 4];
        for (int i = 0; i < 3; ++i)
            note(1, 0, t, kPpq - 40, chord[i], 70 + int(beat % 3) * 10);
        note(2, 1, t, kPpq / 2, chord[0] - 24, 100);
        note(2, 1, t + kPpq / 2, kPpq / 2 - 20, chord[0] - 12, 90);
        if (beat % 4 == 0)
            for (int i = 0; i < 3; ++i)
                note(3, 2, t, 4 * kPpq - 10, chord[i] - 12, 60);
        note(4, 3, t, kPpq / 2, chord[beat % 3] + 12, 90);
        note(4, 3, t + kPpq / 2, kPpq / 2, chord[(beat + 1) % 3] + 12, 80);
        message(4, t, {0xB3, 1, uint8_t(beat % 8 * 16)});
        message(4, t + kPpq / 4, {0xE3, 0x00, uint8_t(0x40 + (beat % 2) * 8)});
        if (beat % 2 == 1)
            for (int i = 0; i < 3; ++i)
                note(5, 4, t + kPpq / 2, kPpq / 4, chord[i], 110);
        for (int s = 0; s < 4; ++s)
            note(6, 5, t + s * kPpq / 4, kPpq / 4, chord[s % 3] + 24, 70 + s * 10);
        note(7, 9, t, kPpq / 8, beat % 2 ? 38 : 36, 110);
        note(7, 9, t, kPpq / 8, 42, 80);
        note(7, 9, t + kPpq / 2, kPpq / 8, 42, 70);
        if (beat % 8 == 0) note(7, 9, t, kPpq, 49, 100);
        message(8, t, {0xB6, 7, uint8_t(90 + beat % 30)});
    }
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, uint8_t(tracks.size()),
                                 uint8_t(kPpq >> 8), uint8_t(kPpq & 0xFF)};
    for (auto& t : tracks) {
        std::vector<uint8_t> chunk = Track(std::move(t));
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return 0;
}
