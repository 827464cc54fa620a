// The LV2 instrument in a host of our own: it plays as `talmeru-cli render` plays, whatever
// the blocks; run() allocates nothing; a saved project brings its bank back; a bank that
// cannot be loaded leaves the previous one playing and says why.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "files/MidiFile.h"
#include "plugin/Lv2Host.h"
#include "support/CliRun.h"
#include "support/MidiFileBuilder.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"

namespace talmeru {
namespace {

using test::Lv2Host;
using test::Lv2Instance;
using test::MidiEvent;
using test::Sf2Gen;
namespace gen = test::sf2gen;

constexpr const char* kUri = "urn:talmeru:ma1";
constexpr int kLatency = 32;  // one control period of the voice engine

// Looped waves of different periods (so the programs sound apart) and a decaying hit.
std::vector<uint8_t> SoundFont() {
    test::Sf2Plan plan;
    std::vector<int16_t> points;
    auto add = [&](const std::string& name, int frames, bool loop, auto wave) {
        test::Sf2Sample s{name};
        s.start = uint32_t(points.size());
        for (int i = 0; i < frames; ++i)
            points.push_back(int16_t(std::lround(wave(i))));
        s.end = uint32_t(points.size());
        s.loopStart = loop ? s.start + 97 : s.start;
        s.loopEnd = loop ? s.end - 3 : s.end;
        points.insert(points.end(), 46, 0);
        plan.samples.push_back(s);
    };
    add("Sine", 9800, true, [](int i) { return 16000 * std::sin(2 * M_PI * i / 100); });
    add("Saw", 9100, true, [](int i) { return 600.0 * (i % 70) - 21000; });
    add("Hit", 7000, false,
        [](int i) { return 20000 * std::exp(-i / 900.0) * ((i * 7919) % 13 - 6) / 6; });
    for (int16_t p : points) {
        plan.sampleData.push_back(uint8_t(p & 0xFF));
        plan.sampleData.push_back(uint8_t(uint16_t(p) >> 8));
    }
    for (int i = 0; i < 3; ++i) {
        std::vector<Sf2Gen> gens{test::Gen(gen::kVolEnvRelease, -2400)};
        if (i < 2) gens.push_back(test::Gen(gen::kSampleModes, 1));
        gens.push_back(test::Gen(gen::kSampleId, i));
        plan.instruments.push_back({plan.samples[size_t(i)].name, {{gens}}});
    }
    plan.presetList = {{"Sine", 0, 0, {{{test::Gen(gen::kInstrumentGen, 0)}}}},
                       {"Saw", 5, 0, {{{test::Gen(gen::kInstrumentGen, 1)}}}},
                       {"Kit", 0, 128, {{{test::Gen(gen::kInstrumentGen, 2)}}}}};
    return plan.Build();
}

// A short song: bank select and program changes, two melodic channels, the kit on channel
// 10, a pitch bend and a controller, at frames no block size divides.
std::vector<MidiEvent> Song() {
    return {{0, {0xB0, 0x00, 0x00}}, {0, {0xC0, 5}},           {101, {0x90, 60, 100}},
            {997, {0x91, 67, 80}},   {1500, {0x99, 38, 120}},  {4099, {0xE0, 0x00, 0x50}},
            {5003, {0xB1, 7, 70}},   {7777, {0x80, 60, 0}},    {8191, {0x99, 42, 90}},
            {12345, {0x81, 67, 0}},  {13001, {0x90, 72, 127}}, {20000, {0x80, 72, 0}}};
}

// The song as a Standard MIDI File at 0.5 ms a tick, so every event sits on a whole frame at
// 48 kHz and on a frame that rounds the same way as the test rounds it at 44.1 kHz.
std::vector<uint8_t> SongFile(const std::vector<MidiEvent>& song, int rate) {
    test::MidiTrack t;
    t.Delta(0).Tempo(240000);  // 480 ticks a quarter: 0.5 ms a tick
    int64_t last = 0;
    for (const MidiEvent& e : song) {
        const int64_t tick = std::llround(e.frame * 2000.0 / rate);
        t.Delta(uint32_t(tick - last));
        last = tick;
        t.data.insert(t.data.end(), e.bytes.begin(), e.bytes.end());
    }
    t.Delta(0).End();
    test::MidiImage image;
    image.format = 0;
    image.tracks.push_back(t);
    return image.Build();
}

class Lv2Plugin : public test::TempDirTest {
  protected:
    static void SetUpTestSuite() { host_ = new Lv2Host(TALMERU_LV2_BUNDLE, kUri); }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(host_->Found()) << "no plugin in " << TALMERU_LV2_BUNDLE;
        setenv("TALMERU_HOME", Path("home").c_str(), 1);
        bank_ = Put("gm.sf2", SoundFont());
    }
    std::unique_ptr<Lv2Instance> WithBank(const std::string& bank, double rate = 44100) {
        auto p = std::make_unique<Lv2Instance>(*host_, rate);
        EXPECT_TRUE(p->Ok());
        p->SetBank(bank);
        // The worker loads it after this empty block, so the song starts at the engine's first
        // frame, as in render (the chorus's sweep runs from there).
        p->Run(0, {});
        return p;
    }
    // The render of the song's events, read back as float frames; `song` gets the frames
    // render plays its events at.
    std::vector<float> Render(std::vector<MidiEvent>& song, int rate,
                              const std::vector<std::string>& extra) {
        const std::string midi = Put("song.mid", SongFile(song, rate));
        song.clear();
        for (const talmeru::MidiEvent& e : ReadMidiFile(midi).events) {
            const uint32_t m = e.message;
            song.push_back({int(std::llround(e.seconds * rate)),
                            {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16)}});
            if ((m & 0xE0) == 0xC0) song.back().bytes.pop_back();  // two bytes only
        }
        const std::string out = Path("render.wav");
        std::vector<std::string> args{"--sf2-programs",
                                      "presets",
                                      "render",
                                      bank_,
                                      midi,
                                      out,
                                      "--float",
                                      "--tail",
                                      "0.5",
                                      "--rate",
                                      std::to_string(rate)};
        args.insert(args.end(), extra.begin(), extra.end());
        const test::CliRun r = test::Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        SF_INFO info{};
        SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
        if (!f) return {};
        std::vector<float> x(size_t(info.frames) * 2);
        sf_readf_float(f, x.data(), info.frames);
        sf_close(f);
        return x;
    }
    // Peak of the first n frames, both sides.
    static float Peak(const Lv2Instance& p, size_t from, size_t n) {
        float peak = 0;
        for (size_t i = from; i < from + n && i < p.left.size(); ++i)
            peak = std::max({peak, std::fabs(p.left[i]), std::fabs(p.right[i])});
        return peak;
    }
    static Lv2Host* host_;
    std::string bank_;
};

Lv2Host* Lv2Plugin::host_ = nullptr;

struct BlockCase {
    int rate;
    std::vector<int> blocks;
};

// Frame for frame what render writes (one control period later), whatever blocks the host
// runs, at both rates, with reverb and chorus on.
TEST_F(Lv2Plugin, PlaysTheSongAsRenderDoesForAnyBlocks) {
    const BlockCase cases[] = {{44100, {512}},  {44100, {1}},
                               {44100, {4096}}, {44100, {7, 300, 1, 4096, 33, 64, 2049}},
                               {48000, {256}},  {48000, {5, 1000, 3, 4000}}};
    for (const BlockCase& c : cases) {
        std::vector<MidiEvent> song = Song();
        const std::vector<float> want = Render(song, c.rate, {"--reverb", "4", "--chorus", "1"});
        ASSERT_GT(want.size(), 40000u);
        auto p = WithBank(bank_, c.rate);
        p->SetControl("reverb", 4);
        p->SetControl("chorus", 1);
        const int64_t frames = int64_t(want.size() / 2);
        p->Play(frames + kLatency, c.blocks, song);
        float worst = 0, peak = 0;
        for (int64_t i = 0; i < frames; ++i) {
            const size_t at = size_t(i + kLatency);
            worst = std::max({worst, std::fabs(p->left[at] - want[size_t(2 * i)]),
                              std::fabs(p->right[at] - want[size_t(2 * i + 1)])});
            peak = std::max(peak, std::fabs(want[size_t(2 * i)]));
        }
        EXPECT_GT(peak, 0.01f) << c.rate;
        EXPECT_LE(worst, 3.2e-5f) << c.rate << " Hz, first block " << c.blocks[0];  // -90 dBFS
    }
}

// 64 notes with reverb and chorus, notes starting and stopping in every block: the counter
// of the host's operator new stays where it was.
TEST_F(Lv2Plugin, RunAllocatesNothing) {
    auto p = WithBank(bank_);
    p->SetControl("reverb", 5);
    p->SetControl("chorus", 6);
    std::vector<MidiEvent> events;
    for (int i = 0; i < 64; ++i)
        events.push_back({i * 37, {uint8_t(0x90 | (i % 16)), uint8_t(30 + i), 100}});
    for (int i = 0; i < 64; ++i)
        events.push_back({5000 + i * 41, {uint8_t(0x80 | (i % 16)), uint8_t(30 + i), 0}});
    events.push_back({6000, {0xC3, 5}});
    events.push_back({6001, {0xE0, 0x10, 0x30}});
    const int64_t before = test::AllocationsCounted();
    p->Play(20000, {256, 3, 1024}, events);
    EXPECT_EQ(test::AllocationsCounted(), before);
    EXPECT_GT(Peak(*p, 0, 20000), 0.01f);
    // The counter does count: the worker's load, outside run(), allocates.
    test::CountAllocations(true);
    std::string s(100, 'x');
    test::CountAllocations(false);
    EXPECT_GT(test::AllocationsCounted(), before);
}

// The project keeps the bank's path through the host's path mapping; a fresh instance
// restored from it plays what one given the bank plays, not the factory ROM.
TEST_F(Lv2Plugin, StateBringsTheBankBack) {
    const std::vector<MidiEvent> note{{0, {0xC0, 5}}, {10, {0x90, 60, 100}}};
    auto played = [&](Lv2Instance& p) {
        p.Play(8000, {512}, note);
        return p.left;
    };
    auto given = WithBank(bank_);
    EXPECT_EQ(given->notifiedBanks, std::vector<std::string>{});
    given->Run(16, {});
    EXPECT_EQ(given->notifiedBanks, std::vector<std::string>{bank_});
    const std::string dir = Path("state");
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(given->SaveState(dir));

    // Each has run one block before the note, as WithBank does.
    Lv2Instance restored(*host_, 44100);
    ASSERT_TRUE(restored.RestoreState(dir));
    Lv2Instance rom(*host_, 44100);
    for (Lv2Instance* p : {&restored, &rom}) {
        p->Run(64, {});
        p->left.clear();
    }
    const std::vector<float> want = played(*WithBank(bank_));
    EXPECT_EQ(played(restored), want);
    EXPECT_EQ(restored.notifiedBanks.size(), 1u);
    EXPECT_NE(played(rom), want);
}

// A missing file and a damaged one: an error in the log, and the bank before plays on.
TEST_F(Lv2Plugin, ABankThatCannotBeLoadedLeavesThePreviousOnePlaying) {
    std::vector<uint8_t> damaged = SoundFont();
    damaged.resize(damaged.size() / 3);
    const std::string bad[] = {Path("missing.sf2"), Put("damaged.sf2", damaged),
                               Put("damaged.pbf", {'R', 'I', 'F', 'F', 9, 9})};
    const std::vector<MidiEvent> note{{0, {0xC0, 5}}, {10, {0x90, 60, 100}}};
    auto reference = WithBank(bank_);
    reference->Run(64, {});
    reference->left.clear();
    reference->Play(6000, {512}, note);
    for (const std::string& path : bad) {
        auto p = WithBank(bank_);
        const size_t logged = p->log.size();
        p->SetBank(path);
        p->Run(64, {});
        p->left.clear();
        p->Play(6000, {512}, note);
        EXPECT_EQ(p->left, reference->left) << path;
        ASSERT_GT(p->log.size(), logged) << path;
        EXPECT_NE(p->log.back().find("previous bank"), std::string::npos) << p->log.back();
    }
}

}  // namespace
}  // namespace talmeru
