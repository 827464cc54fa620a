// The voice engine heard through measurements of what it renders: pitch against the header
// pitch rule, loops, filters, levels, polyphony, controllers, and banks swapped while it plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <thread>

#include "model/Keymap.h"
#include "model/Ma1Units.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "voice/BankImage.h"
#include "voice/Engine.h"

namespace talmeru::test {
namespace {

using voice::BankImage;
using voice::Engine;

constexpr double kRate = 44100.0;
constexpr int kPeriod = 100;  // the test sine: 441 Hz at 44.1 kHz, exactly 100 frames
constexpr double kSineHz = kRate / kPeriod;

uint32_t Msg(int status, int d1, int d2 = 0) {
    return uint32_t(status) | uint32_t(d1) << 8 | uint32_t(d2) << 16;
}

template <typename T>
std::vector<uint8_t> Block(T& object) {
    std::vector<uint8_t> block;
    EXPECT_EQ(object.PackToBlock(block), kObjectPacked);
    return block;
}

// A bank of one program (0) with one layer over keymap 0, which plays sample 0: a looped
// 16-bit sine whose header pitch follows the pitch rule for its true root. The loop starts
// 37 frames into a period, so that a wrap to anywhere but the loop start jumps.
constexpr int kLoopStart = 100 * kPeriod + 37;
constexpr int kLoopEnd = kLoopStart + 99 * kPeriod;

// What the test sine at full scale measures on one side at gain 0, velocity 127 without
// tracking: channel volume 100 on the General MIDI curve, the centre pan's half power, and
// the quarter that the mix keeps as headroom for many voices.
const double kFullRms =
    20000 / 32768.0 / std::sqrt(2.0) * std::pow(100 / 127.0, 2) * std::sqrt(0.5) * 0.25;

struct TestBank {
    Program program;
    Keymap keymap;
    SampleHeader header;
    std::vector<int16_t> wave;
    bool naturalEnvelope = false;

    TestBank() {
        const int frames = kPeriod * 200;
        for (int i = 0; i < frames; ++i)
            wave.push_back(
                int16_t(std::lround(20000 * std::sin(2 * std::numbers::pi * i / kPeriod))));
        header.SetNumber(0);
        header.SetName("sine");
        header.start = 0;
        header.loopStart = 2 * kLoopStart;
        header.end = 2 * kLoopEnd;
        header.flags = kSixteenBit | kLinearData;
        const double root = 69 + 12 * std::log2(kSineHz / 440.0);
        header.pitch = int(256 * (root - 60 - 12 * std::log2(kRate / 88200.0)) + 0.5);
        header.ResetEnvelope(kDefaultDecaySlope);
        keymap.SetNumber(0);
        keymap.SetName("map");
        keymap.entries = {{127, 0, 0}};
        program.SetNumber(0);
        program.SetName("test");
        Layer* layer = program.AddLayer(keymap, false);
        layer->Amp().SetGain(0);
        layer->Amp().SetVelocityTracking(0);
    }
    Layer& layer() { return *program.GetLayer(0); }
    std::shared_ptr<const BankImage> Image() {
        layer().SetNaturalEnvelope(naturalEnvelope);
        program.DropPackedCopy();
        BankImage::Builder b(nullptr);
        b.AddObject(Block(program));
        b.AddObject(Block(keymap));
        b.AddObject(Block(header));
        auto bytes = std::make_shared<std::vector<uint8_t>>();
        for (int16_t s : wave) {
            bytes->push_back(uint8_t(s & 0xFF));
            bytes->push_back(uint8_t((s >> 8) & 0xFF));
        }
        b.AddSampleData(0, bytes);
        return b.Build();
    }
};

struct Stereo {
    std::vector<float> left, right;
};

Stereo Render(Engine& e, int frames) {
    Stereo s{std::vector<float>(size_t(frames)), std::vector<float>(size_t(frames))};
    for (int done = 0; done < frames; done += 256) {
        const int n = std::min(256, frames - done);
        e.Render(s.left.data() + done, s.right.data() + done, n);
    }
    return s;
}

double Rms(const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, x.size());
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

double Db(double ratio) {
    return 20 * std::log10(ratio);
}

// Frequency from the first and last rising zero crossings, with linear interpolation.
double MeasureHz(const std::vector<float>& x, size_t from) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0;
}

double Cents(double hz, double want) {
    return 1200 * std::log2(hz / want);
}

// What the test sine sounds at on `key` (plus `bend` semitones) under the header pitch rule.
double WantHz(const SampleHeader& h, double key) {
    return kSineHz * units::PlaybackFramesPerSecond(key, h.pitch) / kRate;
}

class EngineTest : public ::testing::Test {
  protected:
    Stereo Play(int key, int velocity, int frames, int releaseAt = -1) {
        engine.SetBank(bank.Image());
        engine.Send(Msg(0x90, key, velocity));
        if (releaseAt < 0) return Render(engine, frames);
        Stereo a = Render(engine, releaseAt);
        engine.Send(Msg(0x80, key, 64));
        Stereo b = Render(engine, frames - releaseAt);
        a.left.insert(a.left.end(), b.left.begin(), b.left.end());
        a.right.insert(a.right.end(), b.right.begin(), b.right.end());
        return a;
    }
    TestBank bank;
    Engine engine;
};

TEST_F(EngineTest, NotesLandOnThePitchTheHeaderRuleGives) {
    for (int key : {45, 57, 69, 81, 93}) {
        Engine e;
        e.SetBank(bank.Image());
        e.Send(Msg(0x90, key, 127));
        Stereo s = Render(e, 22050);
        EXPECT_NEAR(Cents(MeasureHz(s.left, 1000), WantHz(bank.header, key)), 0.0, 2.0)
            << "key " << key;
    }
}

TEST_F(EngineTest, LoopedSamplePlaysOnWithoutAJump) {
    // The part before the loop swells from silence: played again, it would dip the level.
    for (int i = 0; i < kLoopStart; ++i)
        bank.wave[size_t(i)] = int16_t(std::lround(bank.wave[size_t(i)] * double(i) / kLoopStart));
    // 3 s: well past the 0.45 s of data, through many loop passes.
    Stereo s = Play(69, 127, int(kRate * 3));
    double maxStep = 0;
    for (size_t i = 1000; i < s.left.size(); ++i)
        maxStep = std::max(maxStep, double(std::fabs(s.left[i] - s.left[i - 1])));
    // A sine's largest step per frame is its peak times 2 pi / period.
    EXPECT_LT(maxStep, kFullRms * std::sqrt(2.0) * 2 * std::numbers::pi / kPeriod * 1.05);
    for (size_t from : {size_t(kLoopStart + 1000), size_t(100000)})
        EXPECT_NEAR(Db(Rms(s.left, from, from + 9000) / kFullRms), 0.0, 0.1) << from;
}

TEST_F(EngineTest, UnloopedSampleEndsAndFreesItsVoice) {
    bank.header.loopStart = -1;
    Stereo s = Play(69, 127, int(kRate));
    EXPECT_GT(Rms(s.left, 0, 10000), 0.01);
    EXPECT_EQ(Rms(s.left, 30000), 0.0);
    EXPECT_EQ(engine.Stats().activeVoices, 0);
}

TEST_F(EngineTest, FiltersShapeTheSpectrumAtTheirFrequency) {
    // Against the analogue prototypes at 1 kHz: one pole at 6 dB, two poles at 12 dB/octave.
    auto onePoleLp = [](double r) { return -10 * std::log10(1 + r * r); };
    auto onePoleHp = [](double r) { return -10 * std::log10(1 + 1 / (r * r)); };
    auto twoPoleLp = [](double r) { return -10 * std::log10(1 + r * r * r * r); };
    struct Case {
        int type;
        double (*response)(double);
        double hz;        // the corner at key 60
        int keyTracking;  // 64: the corner follows the key
    };
    const Case cases[] = {{1, onePoleLp, 1000, 0}, {2, onePoleHp, 1000, 0},
                          {3, twoPoleLp, 1000, 0}, {4, twoPoleLp, 1000, 0},
                          {3, twoPoleLp, 200, 64}, {1, onePoleLp, 1000, -16}};
    for (const Case& c : cases) {
        const int setting = units::FilterSetting(c.hz) & 0xFF00;
        for (int key : {45, 81, 105}) {  // 110, 882 and 3528 Hz
            Engine plain, filtered;
            plain.SetBank(bank.Image());
            bank.layer().Filter1().SetFilterType(c.type);
            bank.layer().Filter1().SetFrequency(setting);
            bank.layer().Filter1().SetKeyTracking(c.keyTracking);
            filtered.SetBank(bank.Image());
            bank.layer().Filter1().SetFilterType(0);
            for (Engine* e : {&plain, &filtered})
                e->Send(Msg(0x90, key, 127));
            const double hz = WantHz(bank.header, key);
            const double corner =
                units::FilterHz(setting) * std::exp2(c.keyTracking / 64.0 * (key - 60) / 12);
            const double db =
                Db(Rms(Render(filtered, 22050).left, 5000) / Rms(Render(plain, 22050).left, 5000));
            EXPECT_NEAR(db, c.response(hz / corner), 1.0)
                << "type " << c.type << " at " << c.hz << " Hz, tracking " << c.keyTracking
                << ", key " << key;
        }
    }
}

TEST_F(EngineTest, VelocityKeyTrackingAndChannelPressureMoveTheLevelByTheirUnits) {
    struct Case {
        int velTracking, keyTracking, velocity, key;
        int pressure;   // -1: no route; else channel pressure drives the Amp block at full depth
        double wantDb;  // against the full level
    };
    const Case cases[] = {
        {64, 0, 64, 69, -1, 40 * std::log10(64 / 127.0)},
        {32, 0, 64, 69, -1, 20 * std::log10(64 / 127.0)},
        {0, 0, 20, 69, -1, 0},
        {0, 16, 127, 81, -1, 16 * (81 - 60) / 64.0},
        {0, -16, 127, 81, -1, -16 * (81 - 60) / 64.0},
        {0, 16, 127, 60, -1, 0},
        {0, 16, 127, 45, -1, 16 * (45 - 60) / 64.0},
        {0, 0, 127, 69, 127, 0},
        {0, 0, 127, 69, 64, -96 * (1 - 64 / 127.0)},
    };
    for (const Case& c : cases) {
        TestBank b;
        b.layer().Amp().SetVelocityTracking(c.velTracking);
        b.layer().Amp().SetKeyTracking(c.keyTracking);
        if (c.pressure >= 0) b.layer().Amp().AddEntry({0xB0, 127, 0, kSourceZero});  // aftertouch
        Engine e;
        e.SetBank(b.Image());
        if (c.pressure >= 0) e.Send(Msg(0xD0, c.pressure));
        e.Send(Msg(0x90, c.key, c.velocity));
        EXPECT_NEAR(Db(Rms(Render(e, 8820).left, 2000) / kFullRms), c.wantDb, 0.3)
            << c.velTracking << " " << c.keyTracking << " " << c.key << " " << c.pressure;
    }
}

TEST_F(EngineTest, EnvelopeOnTheAmpShapesAttackAndRelease) {
    auto env = std::make_unique<EnvModulator>();
    env->SetLinear(true);
    env->SetStartLevel(0);
    env->SetSegment(0, 127, 25);  // attack to full in 0.5 s
    env->SetSegment(1, 127, 0);
    env->SetSegment(2, 0, 10);  // release to silence in 0.2 s
    const int id = bank.layer().AddModulator(std::move(env));
    bank.layer().Amp().AddEntry({LayerModulatorSource(id), 127, 0, kSourceZero});
    Stereo s = Play(69, 127, int(kRate * 1.5), int(kRate));
    const double full = Rms(s.left, 30000, 40000);
    // Attack: the level in dB rises linearly over 0.5 s (96 dB from silence).
    EXPECT_NEAR(Db(Rms(s.left, 10800, 11250) / full), -48.0, 3.0);
    EXPECT_NEAR(Db(Rms(s.left, 19800, 21000) / full), -96 * (1 - 20400 / 22050.0), 1.5);
    // Release: halfway through its 0.2 s, 48 dB down; after it, silence.
    EXPECT_NEAR(Db(Rms(s.left, 48300, 48800) / full), -48.0, 4.0);
    EXPECT_LT(Rms(s.left, 55000), full * 1e-4);
    EXPECT_EQ(engine.Stats().activeVoices, 0);
}

TEST_F(EngineTest, NaturalEnvelopeHoldsItsFirstGroupAndReleasesWithItsSecond) {
    bank.naturalEnvelope = true;
    // Held: 0.1 s of samples flat (4410 frames at the root key), then -30 dB a second;
    // released: -600 dB a second.
    bank.header.envelope = {{0, 4410}, {-100, 0}, {-2000, 0}, {-2046, 0}};
    Stereo s = Play(69, 127, int(kRate * 2), int(kRate));
    const double early = Rms(s.left, 0, 4000);
    EXPECT_NEAR(Db(Rms(s.left, 5000, 8000) / early), -30 * (6500 - 4410) / kRate, 0.5);
    EXPECT_NEAR(Db(Rms(s.left, 39690, 44100) / early), -30 * (41895 - 4410) / kRate, 1.0);
    EXPECT_NEAR(Db(Rms(s.left, 44100 + 2205, 44100 + 2646) / early),
                -30 * (44100 - 4410) / kRate - 600 * (2425 / kRate), 3.0);
    EXPECT_EQ(Rms(s.left, 44100 + 22050), 0.0);
    // The header a wave file gets holds its level while the key is down.
    bank.header.ResetEnvelope(kDefaultDecaySlope);
    s = Play(69, 127, int(kRate));
    EXPECT_NEAR(Db(Rms(s.left, 39690, 44100) / Rms(s.left, 0, 4000)), 0.0, 0.2);
}

TEST_F(EngineTest, PitchBendUsesTheRangeSetByRpnZero) {
    engine.SetBank(bank.Image());
    for (uint32_t m :
         {Msg(0xB0, 101, 0), Msg(0xB0, 100, 0), Msg(0xB0, 6, 12), Msg(0xE0, 0x7F, 0x7F)})
        engine.Send(m);
    engine.Send(Msg(0x90, 57, 127));
    Stereo s = Render(engine, 22050);
    EXPECT_NEAR(Cents(MeasureHz(s.left, 1000), WantHz(bank.header, 57 + 12 * 8191.0 / 8192)), 0.0,
                2.0);
}

TEST_F(EngineTest, EffectTypesComeByNrpnAndTheChannelsSendsFeedThem) {
    struct Case {
        int nrpn, type, send;  // send: the controller that feeds it
        bool tail;
    };
    const Case cases[] = {
        {1, 4, 91, true},   // Hall 1 through the reverb send
        {1, 0, 91, false},  // no reverb
        {2, 7, 93, true},   // the chorus type "Delay" through the chorus send
        {1, 4, 93, false},  // a reverb is not fed by the chorus send
    };
    for (const Case& c : cases) {
        Engine e;
        e.SetBank(bank.Image());
        for (uint32_t m : {Msg(0xB0, 99, 0), Msg(0xB0, 98, c.nrpn), Msg(0xB0, 6, c.type),
                           Msg(0xB0, 91, 0), Msg(0xB0, c.send, 127), Msg(0x90, 69, 127)})
            e.Send(m);
        Render(e, 11025);
        e.Send(Msg(0xB0, 120, 0));  // all sound off: what follows is the effect's tail
        const double tail = Rms(Render(e, 11025).left, 441);
        EXPECT_EQ(tail > 1e-4, c.tail) << c.nrpn << " " << c.type << " " << c.send;
    }
}

TEST_F(EngineTest, SixtyFiveNotesStealTheOldestReleasedVoiceFirst) {
    bank.naturalEnvelope = true;      // so that a released note sounds on
    bank.header.ResetEnvelope(-100);  // and fades slowly
    engine.SetBank(bank.Image());
    // Released notes on a channel panned hard right, then on one panned hard left; the held
    // notes on a channel at volume 0.
    for (uint32_t m : {Msg(0xB0, 10, 127), Msg(0xB1, 10, 0), Msg(0xB2, 7, 0)})
        engine.Send(m);
    for (int ch : {0, 1, 2})
        engine.Send(Msg(0xB0 | ch, 91, 0));
    for (int ch : {0, 1}) {
        engine.Send(Msg(0x90 | ch, 10 + ch, 100));
        engine.Send(Msg(0x80 | ch, 10 + ch, 0));
    }
    for (int k = 12; k < 12 + 62; ++k)
        engine.Send(Msg(0x92, k, 100));
    Render(engine, 256);
    EXPECT_EQ(engine.Stats().activeVoices, 64);
    engine.Send(Msg(0x92, 100, 100));
    Stereo s = Render(engine, 2048);
    EXPECT_EQ(engine.Stats().activeVoices, 64);
    for (float x : s.left)
        ASSERT_TRUE(std::isfinite(x));
    // The first released note, on the right, made way; the later one sounds on.
    EXPECT_LT(Rms(s.right, 1024), 1e-4 * kFullRms);
    EXPECT_GT(Rms(s.left, 1024), 0.1 * kFullRms);
}

TEST_F(EngineTest, EveryWayOfEndingANoteSilencesIt) {
    struct Case {
        const char* what;
        uint32_t message;
    };
    const Case cases[] = {
        {"note off", Msg(0x80, 69, 64)},
        {"note on at velocity 0", Msg(0x90, 69, 0)},
        {"all notes off", Msg(0xB0, 123, 0)},
        {"all sound off", Msg(0xB0, 120, 0)},
    };
    for (const Case& c : cases) {
        Engine e;
        e.SetBank(bank.Image());
        e.Send(Msg(0xB0, 91, 0));
        e.Send(Msg(0x90, 69, 127));
        EXPECT_NEAR(Db(Rms(Render(e, 4410).left, 1000) / kFullRms), 0.0, 0.1) << c.what;
        e.Send(c.message);
        EXPECT_EQ(Rms(Render(e, 4410).left, 441), 0.0) << c.what;
        EXPECT_EQ(e.Stats().activeVoices, 0) << c.what;
    }
}

TEST_F(EngineTest, MissingObjectsAndDamagedDataPlayNothing) {
    struct Case {
        const char* what;
        std::function<void(TestBank&)> damage;
        int program;
    };
    const Case cases[] = {
        {"no such program", [](TestBank&) {}, 5},
        {"keymap without samples",
         [](TestBank& b) {
             b.keymap.entries = {{127, 0, kNoSample}};
         },
         0},
        {"keymap naming a missing header",
         [](TestBank& b) {
             b.keymap.entries = {{127, 0, 9}};
         },
         0},
        {"points past the data", [](TestBank& b) { b.header.start = b.header.end = 1 << 30; }, 0},
        {"empty sample", [](TestBank& b) { b.wave.clear(); }, 0},
        {"layer keymap missing", [](TestBank& b) { b.layer().keymap = 77; }, 0},
    };
    for (const Case& c : cases) {
        TestBank b;
        c.damage(b);
        Engine e;
        e.SetBank(b.Image());
        e.Send(Msg(0xC0, c.program));
        e.Send(Msg(0x90, 60, 127));
        EXPECT_EQ(Rms(Render(e, 4410).left), 0.0) << c.what;
    }
}

TEST_F(EngineTest, ProgramChangeWithBankSelectReachesProgramsPast127) {
    bank.program.SetNumber(300);  // bank 2, program 44
    engine.SetBank(bank.Image());
    engine.Send(Msg(0x90, 60, 127));
    EXPECT_EQ(Rms(Render(engine, 2205).left), 0.0);
    for (uint32_t m : {Msg(0xB0, 0, 2), Msg(0xC0, 44), Msg(0x90, 62, 127)})
        engine.Send(m);
    EXPECT_GT(Rms(Render(engine, 2205).left), 0.01);
}

TEST_F(EngineTest, FiltersRingingDownReachZeroWithoutPassingThroughSubnormals) {
    // One click, then a loop of silence: the filter's state decays towards zero for ever.
    bank.wave.assign(4000, 0);
    bank.wave[10] = 30000;
    bank.header.loopStart = 2 * 1000;
    bank.header.end = 2 * 4000;
    bank.layer().Filter1().SetFilterType(1);
    bank.layer().Filter1().SetFrequency(units::FilterSetting(1000.0));
    engine.SetBank(bank.Image());
    for (uint32_t m : {Msg(0xB0, 91, 0), Msg(0xB0, 93, 0), Msg(0x90, 69, 127)})
        engine.Send(m);
    Stereo s = Render(engine, 4410);
    int subnormal = 0;
    for (float x : s.left)
        subnormal += std::fpclassify(x) == FP_SUBNORMAL;
    EXPECT_EQ(subnormal, 0);
    EXPECT_EQ(s.left.back(), 0.0f);
}

TEST_F(EngineTest, PanCentreIsThreeDecibelsDownAndHardPansSilenceTheOtherSide) {
    struct Case {
        int layerPan, mode, channelPan;
        double leftDb, rightDb;  // against the whole level on one side; -999: silence
    };
    const double centre = 10 * std::log10(0.5);
    const Case cases[] = {
        {15, 0, 64, centre, centre}, {15, 0, 0, 0, -999},  {15, 0, 1, 0, -999},
        {15, 0, 127, -999, 0},       {31, 0, 0, 0, -999},  {0, 0, 127, -999, 0},
        {31, 1, 0, -999, 0},         {0, 2, 0, -999, 0},   {15, 1, 127, centre, centre},
    };
    auto render = [&](int layerPan, int mode, int channelPan) {
        bank.layer().SetPan(layerPan);
        bank.layer().SetPanMode(mode);
        Engine e;
        e.SetBank(bank.Image());
        for (uint32_t m : {Msg(0xB0, 91, 0), Msg(0xB0, 10, channelPan), Msg(0x90, 69, 127)})
            e.Send(m);
        return Render(e, 4410);
    };
    const double whole = Rms(render(0, 0, 64).left, 1000);
    auto db = [&](const std::vector<float>& x) {
        const double rms = Rms(x, 1000);
        return rms == 0 ? -999 : Db(rms / whole);
    };
    for (const Case& c : cases) {
        const Stereo s = render(c.layerPan, c.mode, c.channelPan);
        EXPECT_NEAR(db(s.left), c.leftDb, 0.01) << c.layerPan << " " << c.mode << " " << c.channelPan;
        EXPECT_NEAR(db(s.right), c.rightDb, 0.01) << c.layerPan << " " << c.mode << " " << c.channelPan;
    }
}

std::atomic<int64_t> fakeNanoseconds{0};

TEST_F(EngineTest, LiveNotesStartAtTheirFrameInTheNextBlock) {
    auto at = [](int frame) { fakeNanoseconds = int64_t(1e9 + frame * 1e9 / kRate); };
    std::vector<float> l(512), r(512);
    for (int frame : {300, 0, 77}) {
        Engine e;
        e.SetClock([] { return fakeNanoseconds.load(); });
        e.SetBank(bank.Image());
        at(0);
        e.Render(l.data(), r.data(), 512);  // the previous block begins at 0
        at(frame);
        e.SendLive(Msg(0x90, 69, 127));
        at(512);
        e.Render(l.data(), r.data(), 512);
        const auto first = std::find_if(l.begin(), l.end(), [](float x) { return x != 0; });
        EXPECT_NEAR(double(first - l.begin()), frame, 1.0) << frame;
    }
}

TEST_F(EngineTest, AFilterSweepGlidesInsteadOfSteppingEachControlPeriod) {
    auto env = std::make_unique<EnvModulator>();
    env->SetLinear(true);
    env->SetStartLevel(0);
    env->SetSegment(0, 127, 25);  // up over 0.5 s
    env->SetSegment(1, 127, 0);
    const int id = bank.layer().AddModulator(std::move(env));
    bank.layer().Filter1().SetFilterType(3);
    bank.layer().Filter1().SetFrequency(units::FilterSetting(200.0));
    bank.layer().Filter1().AddEntry({LayerModulatorSource(id), 60, 0, kSourceZero});  // 5 octaves
    engine.SetBank(bank.Image());
    engine.Send(Msg(0xB0, 91, 0));
    const std::vector<float> y = Play(69, 127, 22050).left;
    // Zipper noise is a kink where the coefficients change: the second difference there,
    // against the second difference elsewhere.
    double atSteps = 0, between = 0;
    for (size_t i = 2000; i + 1 < y.size(); ++i) {
        const double d2 = double(y[i + 1]) - 2.0 * y[i] + y[i - 1];
        (i % 32 == 0 || i % 32 == 31 ? atSteps : between) += d2 * d2;
    }
    const double ratio = std::sqrt(atSteps / 2 / (between / 30));
    EXPECT_LT(Db(ratio), 0.5);  // 1.8 dB when the coefficients step
}

TEST_F(EngineTest, ChannelsKeepProgramsControllersAndEffectTypesAcrossARateChange) {
    struct Case {
        const char* what;
        std::vector<uint32_t> setup;
        bool sound, tail;
    };
    const Case cases[] = {
        {"program", {Msg(0xC0, 5)}, false, false},
        {"volume", {Msg(0xB0, 7, 0)}, false, false},
        {"hall", {Msg(0xB0, 99, 0), Msg(0xB0, 98, 1), Msg(0xB0, 6, 4), Msg(0xB0, 91, 127)}, true,
         true},
    };
    for (const Case& c : cases) {
        Engine e;
        e.SetBank(bank.Image());
        for (uint32_t m : c.setup)
            e.Send(m);
        Render(e, 256);
        e.SetSampleRate(48000);
        e.Send(Msg(0x90, 69, 127));
        EXPECT_EQ(Rms(Render(e, 4800).left) > 1e-4, c.sound) << c.what;
        e.Send(Msg(0xB0, 120, 0));
        EXPECT_EQ(Rms(Render(e, 12000).left, 480) > 1e-4, c.tail) << c.what;
    }
}

// An old bank stays while a note plays it, and goes once that note has ended.
TEST_F(EngineTest, CollectLetsGoOfABankOnceNoNotePlaysIt) {
    bank.header.loopStart = -1;  // the note ends by itself
    std::shared_ptr<const BankImage> first = bank.Image();
    const std::weak_ptr<const BankImage> old = first;
    engine.SetBank(std::move(first));
    engine.Send(Msg(0x90, 69, 127));
    Render(engine, 512);
    engine.SetBank(bank.Image());
    Render(engine, 512);
    EXPECT_FALSE(engine.Collect());
    EXPECT_FALSE(old.expired());
    Render(engine, int(kRate));
    EXPECT_TRUE(engine.Collect());
    EXPECT_TRUE(old.expired());
}

TEST_F(EngineTest, BanksSwappedWhileRenderingNeverTearAVoice) {
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(256), r(256);
        while (!stop)
            engine.Render(l.data(), r.data(), 256);
    });
    for (int i = 0; i < 200; ++i) {
        bank.header.end = 2 * kPeriod * (101 + i % 99);
        engine.SetBank(bank.Image());
        engine.Send(Msg(0x90, 40 + i % 40, 100));
        if (i % 3 == 0) engine.Send(Msg(0x80, 40 + (i + 7) % 40, 0));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop = true;
    audio.join();
    EXPECT_LE(engine.Stats().activeVoices, voice::kVoiceCount);
}

}  // namespace
}  // namespace talmeru::test
