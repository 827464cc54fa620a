#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>

#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/Sf2Import.h"
#include "model/Ma1Units.h"
#include "model/ModSource.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"
#include "voice/Modulation.h"

namespace talmeru {
namespace {

using test::Gen;
using test::RangeGen;
using test::Sf2Plan;
using test::Sf2Preset;
using test::Sf2Zone;

using namespace test::sf2gen;

constexpr int kFrames = 300;  // each test sample: a looped 300-point ramp

// `count` mono samples laid end to end.
Sf2Plan WithSamples(int count) {
    Sf2Plan s;
    s.sampleData = test::Pcm16({test::Ramp(kFrames * count, 0, 7)});
    for (int i = 0; i < count; ++i) {
        const uint32_t at = uint32_t(i * kFrames);
        s.samples.push_back({"S" + std::to_string(i), at, at + 280, at + 40, at + 240, 44100, 60, 0});
    }
    return s;
}

Sf2Zone SampleZone(int sample, int low, int high, std::vector<test::Sf2Gen> more = {}) {
    Sf2Zone z{{RangeGen(kKeyRange, low, high)}};
    z.gens.insert(z.gens.end(), more.begin(), more.end());
    z.gens.push_back(Gen(kSampleModes, 1));
    z.gens.push_back(Gen(kSampleId, sample));
    return z;
}

Sf2Preset PresetOf(const std::string& name, int bank, int preset, int instrument) {
    return {name, preset, bank, {Sf2Zone{{Gen(kInstrumentGen, instrument)}}}};
}

// Every key of the program's layers that has a sample, as (key, velocity-range low) pairs.
std::set<int> SoundingKeys(const ZedoDatabase& db, const Program& p) {
    std::set<int> keys;
    for (const auto& layer : p.Layers()) {
        const Keymap* k = db.GetKeymap(layer->keymap);
        if (!k) continue;
        for (int key = layer->keyLow; key <= layer->keyHigh; ++key)
            if (k->SampleForKey(key) != kNoSample && db.GetSampleHeader(k->SampleForKey(key)))
                keys.insert(key);
    }
    return keys;
}

class Sf2PresetsTest : public test::TempDirTest {
  protected:
    Sf2PresetsTest() {
        SetSf2Chooser([this](const std::string&, const Sf2Catalog& catalog) {
            catalog_ = catalog;
            Sf2Choice c;
            c.mode = Sf2Programs::kPresets;
            c.budget = budget_;
            return std::optional<Sf2Choice>(c);
        });
    }
    ~Sf2PresetsTest() override { SetSf2Chooser(nullptr); }
    int Import(const Sf2Plan& plan) {
        db_.Clear(false);
        return ImportSf2(Put("bank.sf2", plan.Build()), db_, log_);
    }
    bool Logged(const std::string& part) const {
        return std::any_of(log_.Lines().begin(), log_.Lines().end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
    const Layer& LayerAt(int program, int i) const { return *db_.GetProgram(program)->GetLayer(i); }

    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    ZedoDatabase db_;
    RecordingConversionLog log_;
    Sf2Budget budget_;
    Sf2Catalog catalog_;
};

TEST_F(Sf2PresetsTest, ProgramNumbersFollowGeneralMidiAndKitsStartAt128) {
    Sf2Plan plan = WithSamples(2);
    plan.instruments = {{"Piano", {SampleZone(0, 0, 127)}}, {"Kit", {SampleZone(1, 35, 81)}}};
    plan.presetList = {PresetOf("Grand", 0, 0, 0), PresetOf("Room Kit", 128, 8, 1),
                       PresetOf("Piano 2", 8, 0, 0), PresetOf("Grand again", 0, 0, 0)};
    ASSERT_EQ(Import(plan), 0);
    for (int n : {0, 136, 256, 257})
        EXPECT_NE(db_.GetProgram(n), nullptr) << n;
    EXPECT_EQ(db_.GetProgram(0)->Name(), "Grand");
    EXPECT_EQ(db_.GetProgram(256)->Name(), "Piano 2");
    EXPECT_TRUE(Logged("? Preset 8:0 \"Piano 2\" becomes program 256"));
    EXPECT_TRUE(Logged("? Preset 0:0 \"Grand again\" becomes program 257"));
    // Presets that play the same instrument share its sample header and keymap.
    EXPECT_EQ(LayerAt(0, 0).keymap, LayerAt(256, 0).keymap);
    ASSERT_EQ(catalog_.presets.size(), 4u);
    EXPECT_EQ(catalog_.presets[1].bank, 128);
    EXPECT_EQ(catalog_.presets[1].sampleBytes, 2 * 280);
}

// Samples 0/1 and 2/3 are left/right pairs, linked or (as in FluidR3's pianos) with their links
// lost: halves alike in length, loop and pitch on the same keys are a pair all the same.
TEST_F(Sf2PresetsTest, VelocitySplitsBecomeLayersAndLinkedHalvesStereoPairs) {
  for (bool linked : {true, false}) {
    SCOPED_TRACE(linked ? "linked" : "links lost");
    Sf2Plan plan = WithSamples(4);
    for (int i : {0, 2}) {
        plan.samples[size_t(i)].type = 4;
        plan.samples[size_t(i)].link = linked ? i + 1 : 0;
        plan.samples[size_t(i + 1)].type = 2;
        plan.samples[size_t(i + 1)].link = linked ? i : 0;
    }
    // Resonant, so that both halves are lowered by half the peak.
    auto zone = [](int sample, int pan, int vlo, int vhi) {
        return SampleZone(sample, 0, 127,
                          {RangeGen(kVelRange, vlo, vhi), Gen(kPan, pan),
                           Gen(kInitialFilterFc, 9000), Gen(kInitialFilterQ, 100)});
    };
    plan.instruments = {{"Sax", {zone(0, -500, 0, 63), zone(1, 500, 0, 63), zone(2, -500, 64, 127),
                                 zone(3, 500, 64, 127)}}};
    plan.presetList = {PresetOf("Alto Sax", 0, 65, 0)};
    ASSERT_EQ(Import(plan), 0);
    const Program* p = db_.GetProgram(65);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->LayerCount(), 4);
    for (int i : {0, 2}) {
        const Layer& left = LayerAt(65, i);
        const Layer& right = LayerAt(65, i + 1);
        EXPECT_EQ(left.StereoState(), kStereoLeft);
        EXPECT_EQ(left.Partner(), &right);
        EXPECT_EQ(left.Pan(), 0);
        EXPECT_EQ(right.Pan(), 31);
        EXPECT_EQ(right.velocityLow, left.velocityLow);
        EXPECT_EQ(left.Amp().Gain(), -5);
        EXPECT_EQ(right.Amp().Gain(), left.Amp().Gain());
        const Keymap* l = db_.GetKeymap(left.keymap);
        const Keymap* r = db_.GetKeymap(right.keymap);
        ASSERT_TRUE(l && r);
        EXPECT_EQ(l->chained, r);
        // Each half plays its own channel's sample, and the headers are a pair too.
        const SampleHeader* lh = db_.GetSampleHeader(l->SampleForKey(60));
        const SampleHeader* rh = db_.GetSampleHeader(r->SampleForKey(60));
        ASSERT_TRUE(lh && rh);
        EXPECT_EQ(lh->Name(), "S" + std::to_string(i));
        EXPECT_EQ(rh->Name(), "S" + std::to_string(i + 1));
        EXPECT_EQ(lh->chained, rh);
    }
    EXPECT_EQ(LayerAt(65, 0).velocityHigh, 63);
    EXPECT_EQ(LayerAt(65, 2).velocityLow, 64);
  }
}

TEST_F(Sf2PresetsTest, KitsKeepPerKeyPanTuningAndExclusiveClasses) {
    Sf2Plan plan = WithSamples(4);
    plan.instruments = {{"Drums",
                         {SampleZone(0, 36, 36),
                          SampleZone(1, 38, 38, {Gen(kPan, 300), Gen(kCoarse, 2)}),
                          SampleZone(2, 42, 42, {Gen(kPan, -300), Gen(kExclusiveClass, 1)}),
                          SampleZone(3, 46, 46, {Gen(kPan, -300), Gen(kExclusiveClass, 1)})}}};
    plan.presetList = {PresetOf("Standard", 128, 0, 0)};
    ASSERT_EQ(Import(plan), 0);
    const Program* kit = db_.GetProgram(128);
    ASSERT_NE(kit, nullptr);
    EXPECT_EQ(SoundingKeys(db_, *kit), (std::set<int>{36, 38, 42, 46}));
    auto layerFor = [&](int key) -> const Layer* {
        for (const auto& l : kit->Layers())
            if (db_.GetKeymap(l->keymap)->SampleForKey(key) != kNoSample) return l.get();
        return nullptr;
    };
    ASSERT_TRUE(layerFor(36) && layerFor(38) && layerFor(42));
    // The hi-hats choke each other: one layer, one exclusive class.
    EXPECT_EQ(layerFor(42), layerFor(46));
    EXPECT_EQ(layerFor(42)->exclusiveZone, 1);
    EXPECT_EQ(layerFor(36)->exclusiveZone, 0);
    EXPECT_LT(layerFor(42)->Pan(), layerFor(36)->Pan());
    EXPECT_GT(layerFor(38)->Pan(), layerFor(36)->Pan());
    // Two semitones up: the sample's recorded pitch sounds two keys lower.
    const Keymap* k = db_.GetKeymap(layerFor(38)->keymap);
    const SampleHeader* snare = db_.GetSampleHeader(k->SampleForKey(38));
    EXPECT_NEAR(units::RootKeyForPitch(snare->pitch, 44100), 58.0, 0.01);
}

// A header's root is the key at which its recording sounds at its own rate, whatever the
// sample's nominal pitch says: TimGM6mb's "Piano C5" (nominal 60) is recorded at 2305 Hz,
// which its zones state as root 98 less 35 cents, and the sample editor shows that note.
TEST_F(Sf2PresetsTest, TheHeadersRootIsWhereTheRecordingSoundsAtItsRate) {
    struct Case {
        std::vector<test::Sf2Gen> tuning;
        int correction;  // the sample's own, in cents
        double root;
    };
    const Case cases[] = {
        {{Gen(kRootKey, 98), Gen(kFine, 35)}, 0, 97.65},
        {{Gen(kRootKey, 98), Gen(kFine, 35)},
         -20,
         97.85},  // a root given still takes the correction
        {{Gen(kCoarse, -1), Gen(kFine, -50)}, 30, 61.2},
        {{}, -30, 60.3},
    };
    for (const Case& c : cases) {
        Sf2Plan plan = WithSamples(1);
        plan.samples[0].correction = c.correction;
        plan.instruments = {{"Tuned", {SampleZone(0, 0, 127, c.tuning)}}};
        plan.presetList = {PresetOf("Tuned", 0, 0, 0)};
        ASSERT_EQ(Import(plan), 0);
        const Layer& layer = LayerAt(0, 0);
        const SampleHeader* h = db_.GetSampleHeader(db_.GetKeymap(layer.keymap)->SampleForKey(60));
        ASSERT_NE(h, nullptr);
        EXPECT_NEAR(units::RootKeyForPitch(h->pitch, 44100), c.root, 0.01) << c.correction;
        EXPECT_EQ(layer.Pitch().CoarseTune(), 0);
    }
}

// Presets that need more headers than the synthesizer holds give up velocity layers, then key
// splits, and still sound on every key and velocity they covered; the losses are named.
TEST_F(Sf2PresetsTest, OverBudgetPresetsThinButEveryKeyStillSounds) {
    constexpr int kZones = 24;
    Sf2Plan plan = WithSamples(3 * kZones);
    // Zones whose velocity opens the filter through the modulation envelope, by `bright`
    // cents at full velocity from `depth`.
    auto multi = [&](const std::string& name, int first, int vlo, int vhi, int attenuation,
                     int depth = 0, int bright = 0) {
        test::Sf2Instrument inst{name, {}};
        for (int z = 0; z < kZones; ++z) {
            inst.zones.push_back(
                SampleZone(first + z, z * 4, z * 4 + 3,
                           {RangeGen(kVelRange, vlo, vhi), Gen(kAttenuation, attenuation),
                            Gen(kModEnvToFilterFc, depth)}));
            inst.zones.back().mods = {{2, kModEnvToFilterFc, int16_t(bright)}};
        }
        return inst;
    };
    // The loud layer is the quieter one at full level, so soft notes played by it alone
    // must fall off less steeply than the default curve makes them; and it is the darker one
    // at soft velocities, which it must open as the soft layer did.
    plan.instruments = {multi("Multi", 0, 0, 127, 0), multi("Soft", kZones, 0, 80, 0, 0, 6000),
                        multi("Loud", 2 * kZones, 81, 127, 150, -2000, 10000)};
    plan.presetList = {PresetOf("Multi", 0, 0, 0),
                       {"Split", 1, 0, {Sf2Zone{{Gen(kInstrumentGen, 1)}},
                                        Sf2Zone{{Gen(kInstrumentGen, 2)}}}}};
    budget_.sampleHeaders = 30;
    ASSERT_EQ(Import(plan), 0);
    int headers = 0;
    for (int n = 0; n < kSlotCount; ++n)
        headers += db_.GetSampleHeader(n) != nullptr;
    EXPECT_LE(headers, 30);
    for (int n : {0, 1}) {
        const Program* prog = db_.GetProgram(n);
        ASSERT_NE(prog, nullptr);
        EXPECT_EQ(SoundingKeys(db_, *prog).size(), size_t(kZones * 4)) << n;
    }
    // The split kept one layer, which now takes every velocity, with a velocity curve that
    // follows the levels the soft layer gave soft notes.
    ASSERT_EQ(db_.GetProgram(1)->LayerCount(), 1);
    EXPECT_EQ(LayerAt(1, 0).velocityLow, 0);
    EXPECT_EQ(LayerAt(1, 0).velocityHigh, 127);
    EXPECT_LT(LayerAt(1, 0).Amp().VelocityTracking(), 56);
    EXPECT_GT(LayerAt(1, 0).Amp().VelocityTracking(), 16);
    EXPECT_EQ(LayerAt(0, 0).Amp().VelocityTracking(), 64);  // no split: the default curve
    auto brightness = [&](int velocity) {  // cents, on the modulation envelope's route
        for (const ModulationEntry& e : LayerAt(1, 0).Filter1().Entries())
            if (e.depthAdjustSource == 0xD1)  // velocity
                return 100.0 * (e.baseDepth + e.adjustedDepth * velocity / 127.0);
        return double(NAN);
    };
    // A line through both layers' own: soft notes open the filter nearly as the soft layer
    // did (the loud layer's own would close it by 1370 cents), loud ones as the loud layer.
    const double soft = 6000 * 20 / 127.0, loudAtSoft = -2000 + 10000 * 20 / 127.0;
    EXPECT_LT(std::abs(brightness(20) - soft), std::abs(loudAtSoft - soft) / 2);
    EXPECT_NEAR(brightness(110), -2000 + 10000 * 110 / 127.0, 400);
    EXPECT_TRUE(Logged("programs lost layers"));
    EXPECT_TRUE(Logged("1 Split (key splits, velocity layers)"));
    EXPECT_FALSE(Logged("was not converted"));
}

// A multisample thinned to a few samples plays each key from the kept sample whose root is
// nearest to it; a stereo kit gives up stereo rather than drums.
TEST_F(Sf2PresetsTest, ThinnedProgramsPlayEachKeyFromTheNearestKeptSample) {
    constexpr int kZones = 16;
    Sf2Plan plan = WithSamples(kZones + 8);
    auto rootOf = [](int sample) { return 14 + 6 * sample; };  // the middle of its six keys
    test::Sf2Instrument piano{"Piano", {}};
    for (int i = 0; i < kZones; ++i) {
        plan.samples[size_t(i)].key = rootOf(i);
        piano.zones.push_back(SampleZone(i, 12 + 6 * i, 17 + 6 * i));
    }
    test::Sf2Instrument kit{"Kit", {}};
    for (int d = 0; d < 4; ++d) {
        const int left = kZones + 2 * d;
        plan.samples[size_t(left)].type = 4;
        plan.samples[size_t(left)].link = left + 1;
        plan.samples[size_t(left + 1)].type = 2;
        plan.samples[size_t(left + 1)].link = left;
        for (int side : {0, 1})
            kit.zones.push_back(
                SampleZone(left + side, 36 + d, 36 + d, {Gen(kPan, side ? 500 : -500)}));
    }
    plan.instruments = {piano, kit};
    plan.presetList = {PresetOf("Piano", 0, 0, 0), PresetOf("Standard", 128, 0, 1)};
    budget_.sampleHeaders = 7;  // four drums and three of the piano's sixteen samples
    ASSERT_EQ(Import(plan), 0);

    const Program* kitProgram = db_.GetProgram(128);
    ASSERT_NE(kitProgram, nullptr);
    EXPECT_EQ(SoundingKeys(db_, *kitProgram), (std::set<int>{36, 37, 38, 39}));
    EXPECT_EQ(kitProgram->LayerCount(), 1);
    EXPECT_EQ(LayerAt(128, 0).Pan(), units::PanForPosition(0)) << "a mono drum stays in the middle";
    EXPECT_TRUE(Logged("128 Standard (stereo)"));
    // As loud as the pair was: in the middle each side has 3 dB less than a half at its side.
    const Keymap* drums = db_.GetKeymap(LayerAt(128, 0).keymap);
    ASSERT_NE(drums, nullptr);
    for (const KeymapEntry& e : drums->entries)
        if (e.sample != kNoSample) {
            EXPECT_EQ(LayerAt(128, 0).Amp().Gain() + e.amp, 3);
        }

    const Keymap* k = db_.GetKeymap(LayerAt(0, 0).keymap);
    ASSERT_NE(k, nullptr);
    auto rootAt = [&](int key) {
        const SampleHeader* h = db_.GetSampleHeader(k->SampleForKey(key));
        return h ? rootOf(std::stoi(h->Name().substr(1))) : -1;
    };
    std::set<int> kept;
    for (int key = 12; key < 12 + 6 * kZones; ++key)
        kept.insert(rootAt(key));
    ASSERT_FALSE(kept.count(-1)) << "every key still sounds";
    EXPECT_GT(kept.size(), 1u);
    EXPECT_LE(kept.size(), 3u);
    for (int key = 12; key < 12 + 6 * kZones; ++key) {
        int nearest = INT_MAX;
        for (int r : kept)
            nearest = std::min(nearest, std::abs(key - r));
        EXPECT_EQ(std::abs(key - rootAt(key)), nearest) << "key " << key;
    }
    // Samples that serve the keys music mostly plays, none from the far ends.
    EXPECT_GE(*kept.begin(), 36);
    EXPECT_LE(*kept.rbegin(), 96);
}

// The keys a kept sample takes over play as loud as their own sample played them.
TEST_F(Sf2PresetsTest, KeysTakenOverKeepTheirSamplesLevel) {
    Sf2Plan plan = WithSamples(2);
    std::vector<int16_t> points;
    for (int i = 0; i < 2 * kFrames; ++i)  // the second sample 6 dB below the first
        points.push_back(static_cast<int16_t>((i % 2 ? 1 : -1) * (i < kFrames ? 16000 : 8000)));
    plan.sampleData = test::Pcm16({points});
    plan.samples[0].key = 50;
    plan.samples[1].key = 70;
    plan.instruments = {{"Two", {SampleZone(0, 40, 59), SampleZone(1, 60, 79)}}};
    plan.presetList = {PresetOf("Two", 0, 0, 0)};
    budget_.sampleHeaders = 1;
    ASSERT_EQ(Import(plan), 0);
    const Layer& layer = LayerAt(0, 0);
    const Keymap* k = db_.GetKeymap(layer.keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->SampleForKey(45), k->SampleForKey(75));
    auto levelAt = [&](int key) {
        for (size_t i = 0; i < k->entries.size(); ++i)
            if (k->LowKey(i) <= key && key <= k->entries[i].topKey)
                return layer.Amp().Gain() + k->entries[i].amp;
        return INT_MIN;
    };
    EXPECT_EQ(levelAt(45) - levelAt(75), 6);
}

// A synthesizer too small for the whole sample chunk gets only the samples the programs play,
// each still under its own headers; a .tmb carries the selection, a .pbf says it cannot.
TEST_F(Sf2PresetsTest, ASmallSynthesizerGetsOnlyThePlayedSamples) {
    Sf2Plan plan = WithSamples(6);
    plan.instruments = {{"Two", {SampleZone(1, 0, 63), SampleZone(4, 64, 127)}}};
    plan.presetList = {PresetOf("Two", 0, 0, 0)};
    budget_.sampleBytes = 2000;  // the chunk holds 3600 bytes, the two samples 1120
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(Logged("its programs play are kept"));
    const Keymap* k = db_.GetKeymap(LayerAt(0, 0).keymap);
    ASSERT_NE(k, nullptr);
    auto pointsAt = [&](ZedoDatabase& db, int key) {
        const SampleHeader* h = db.GetSampleHeader(k->SampleForKey(key));
        EXPECT_NE(h, nullptr);
        if (!h || h->Wave()->LoadData() != 0) return std::vector<uint8_t>{};
        const auto from = h->Wave()->data.begin() + h->start;
        return std::vector<uint8_t>(from, from + 2 * 280);
    };
    auto original = [&](int sample) {
        const auto from = plan.sampleData.begin() + 2 * kFrames * sample;
        return std::vector<uint8_t>(from, from + 2 * 280);
    };
    WaveData* wave = db_.GetSampleHeader(k->SampleForKey(10))->Wave();
    EXPECT_LE(wave->Length(), budget_.sampleBytes);
    EXPECT_EQ(pointsAt(db_, 10), original(1));
    EXPECT_EQ(pointsAt(db_, 100), original(4));

    EXPECT_NE(SaveBank(db_, Path("kept.pbf"), 0), 0);
    EXPECT_FALSE(prompter_.Messages().empty());
    ASSERT_EQ(SaveBank(db_, Path("kept.tmb"), 0), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, Path("kept.tmb"), kOpenQuiet), 0);
    EXPECT_EQ(pointsAt(back, 10), original(1));
    EXPECT_EQ(pointsAt(back, 100), original(4));
}

TEST_F(Sf2PresetsTest, WhatCannotFitIsDroppedWholeAndNamedNeverSilent) {
    Sf2Plan plan = WithSamples(6);
    plan.instruments = {{"K1", {SampleZone(0, 36, 36), SampleZone(1, 38, 38)}},
                        {"K2", {SampleZone(2, 36, 36), SampleZone(3, 38, 38)}},
                        {"K3", {SampleZone(4, 36, 36), SampleZone(5, 38, 38)}}};
    plan.presetList = {PresetOf("Standard", 128, 0, 0), PresetOf("Room", 128, 8, 1),
                       PresetOf("Power", 128, 16, 2)};
    budget_.sampleHeaders = 3;
    ASSERT_EQ(Import(plan), 0);
    ASSERT_NE(db_.GetProgram(128), nullptr);  // the standard kit stays
    EXPECT_EQ(db_.GetProgram(144), nullptr);
    EXPECT_EQ(db_.GetProgram(136), nullptr);
    EXPECT_TRUE(Logged("X Preset 128:16 Power was not converted: no sample header left"));
    EXPECT_TRUE(Logged("X Preset 128:8 Room was not converted: no sample header left"));
    for (int n = 0; n < kSlotCount; ++n)
        if (const Program* p = db_.GetProgram(n)) {
            EXPECT_FALSE(SoundingKeys(db_, *p).empty()) << n;
        }
}

// Envelopes and levels as players hear them.
struct EnvelopeCase {
    const char* what;
    int decayTc, sustainCb, releaseTc;
    int decaySegments;
    double decaySeconds, releaseSeconds;  // the segments' sums
};

class Sf2EnvelopeTest : public Sf2PresetsTest, public ::testing::WithParamInterface<EnvelopeCase> {};

TEST_P(Sf2EnvelopeTest, DecayAndReleaseAsPlayersShapeThem) {
    const EnvelopeCase& c = GetParam();
    Sf2Plan plan = WithSamples(1);
    plan.instruments = {{"One",
                         {SampleZone(0, 0, 127,
                                     {Gen(kVolEnvDecay, c.decayTc), Gen(kVolEnvSustain, c.sustainCb),
                                      Gen(kVolEnvRelease, c.releaseTc), Gen(kAttenuation, 100)})}}};
    plan.presetList = {PresetOf("One", 0, 0, 0)};
    ASSERT_EQ(Import(plan), 0);
    const Layer& layer = LayerAt(0, 0);
    // The players scale the attenuation generator by 0.4: 100 cB is 4 dB.
    EXPECT_EQ(layer.Amp().Gain(), -4);
    EXPECT_EQ(layer.Filter1().FilterType(), 3);
    EXPECT_EQ(layer.Amp().VelocityTracking(), 64);
    // The volume envelope is the curved one.
    const EnvModulator* env = nullptr;
    for (const auto& m : layer.Modulators())
        if (const auto* e = dynamic_cast<const EnvModulator*>(m.get()); e && !e->Linear()) env = e;
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(env->DecayCount(), c.decaySegments) << c.what;
    double decay = 0, release = 0;
    const int a = env->AttackCount(), d = env->DecayCount();
    for (int i = a; i < a + d; ++i)
        decay += units::EnvSeconds(env->Segments()[size_t(i)].time);
    for (int i = a + d; i < a + d + env->ReleaseCount(); ++i)
        release += units::EnvSeconds(env->Segments()[size_t(i)].time);
    EXPECT_NEAR(decay, c.decaySeconds, 0.03) << c.what;
    EXPECT_NEAR(release, c.releaseSeconds, 0.03) << c.what;
    EXPECT_EQ(env->Segments()[size_t(a + d + env->ReleaseCount() - 1)].level, 0);
}

// FluidSynth's release falls 96 dB in its time from wherever the note is; a note released a
// second into a 2 s decay to silence has fallen half way, so the segment takes half the time.
INSTANTIATE_TEST_SUITE_P(
    Envelopes, Sf2EnvelopeTest,
    ::testing::Values(EnvelopeCase{"piano: decays to silence", 1200, 960, -1200, 1, 2.0, 0.25},
                      EnvelopeCase{"organ: full sustain", 0, 0, 0, 1, 0.0, 1.0},
                      EnvelopeCase{"long bell decay", 4302, 960, 0, 3, 12.0, 11.0 / 12.0},
                      EnvelopeCase{"pad: sustain 48 dB down", 2400, 480, 2400, 1, 2.0, 3.0}));

// A decay that follows the key takes the zone's middle key's time: a zone an octave above key
// 60 with 100 timecents a key decays in half the time.
TEST_F(Sf2PresetsTest, KeyScaledDecaysTakeTheZonesMiddleKey) {
    constexpr int kKeynumToVolEnvDecay = 40;
    Sf2Plan plan = WithSamples(2);
    plan.instruments = {
        {"Bells",
         {SampleZone(0, 54, 66, {Gen(kVolEnvDecay, 1200), Gen(kVolEnvSustain, 960),
                                 Gen(kKeynumToVolEnvDecay, 100)}),
          SampleZone(1, 66 + 1, 77, {Gen(kVolEnvDecay, 1200), Gen(kVolEnvSustain, 960),
                                     Gen(kKeynumToVolEnvDecay, 100)})}}};
    plan.presetList = {PresetOf("Bells", 0, 14, 0)};
    ASSERT_EQ(Import(plan), 0);
    ASSERT_EQ(db_.GetProgram(14)->LayerCount(), 2);  // the two decays are a factor 2 apart
    auto decaySeconds = [&](int layer) {
        for (const auto& m : LayerAt(14, layer).Modulators())
            if (const auto* e = dynamic_cast<const EnvModulator*>(m.get()); e && !e->Linear())
                return units::EnvSeconds(e->Segments()[size_t(e->AttackCount())].time);
        return -1.0;
    };
    EXPECT_NEAR(decaySeconds(0), 2.0, 0.03);   // middle key 60
    EXPECT_NEAR(decaySeconds(1), 1.0, 0.03);   // middle key 72
}

// Values the MA-1 cannot hold are held at the nearest it can, each with a note.
TEST_F(Sf2PresetsTest, WhatTheSynthesizerCannotHoldIsNoted) {
    constexpr int kScaleTuning = 56;
    Sf2Plan plan = WithSamples(1);
    const Sf2Zone zone{{RangeGen(kKeyRange, 40, 80), Gen(kVolEnvDecay, 6400),
                        Gen(kVolEnvSustain, 960), Gen(kScaleTuning, 50), Gen(kSampleModes, 3),
                        Gen(kSampleId, 0)}};
    plan.instruments = {{"Long", {zone}}};
    plan.presetList = {PresetOf("Long", 0, 0, 0)};
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(Logged("? Program 0 Long, layer 0: a volume decay of 40.3 s, held to 20.4 s"));
    EXPECT_TRUE(Logged("? Sample S0 follows the keys by 50 cents a key"));
    EXPECT_TRUE(Logged("? Sample S0 loops until released"));
}

TEST_F(Sf2PresetsTest, PlayersDefaultModulatorsAreThere) {
    Sf2Plan plan = WithSamples(1);
    plan.instruments = {{"Flute", {SampleZone(0, 0, 127, {Gen(kVibLfoFreq, 0)})}}};
    plan.presetList = {PresetOf("Flute", 0, 73, 0)};
    ASSERT_EQ(Import(plan), 0);
    const Layer& layer = LayerAt(73, 0);
    // The mod wheel and channel pressure each add 50 cents of vibrato.
    std::set<int> adjusters;
    for (const ModulationEntry& e : layer.Pitch().Entries())
        if (e.adjustedDepth == 5) adjusters.insert(e.depthAdjustSource);
    EXPECT_EQ(adjusters, (std::set<int>{0x81, 0xB0}));
    // Velocity closes a low-pass filter by 24 semitones x (1 - velocity), gated open from
    // velocity 64 up by a FUN "in range" of velocity.
    EXPECT_FALSE(layer.Filter1().IsNullFilter());
    const ModulationEntry& route = layer.Filter1().Entries().back();
    EXPECT_EQ(route.controlSource, 0xD7);  // velocity, inverted
    EXPECT_EQ(route.adjustedDepth, -24);
    const auto* gate = dynamic_cast<const FunModulator*>(
        layer.ResolveSource(route.depthAdjustSource));
    ASSERT_NE(gate, nullptr);
    EXPECT_EQ(gate->Operator(), 7);
    EXPECT_EQ(gate->InputSource(0), 0xD1);
    const double threshold = ConstantValue(uint8_t(gate->InputSource(1)));
    EXPECT_GT(threshold, 62 / 127.0);
    EXPECT_LE(threshold, 64 / 127.0);
}

// A file's own velocity curve: an instrument's modulator replaces the players' 960 cB, a
// preset's adds to what the instrument gives.
// A resonant filter's whole output is lowered by half its peak, as players lower it.
TEST_F(Sf2PresetsTest, ResonanceLowersTheLevelByHalfItsPeak) {
    for (const auto& [q, gain] : {std::pair{0, -4}, std::pair{120, -10}, std::pair{200, -14}}) {
        Sf2Plan plan = WithSamples(1);
        plan.instruments = {{"Lead", {SampleZone(0, 0, 127,
                                                 {Gen(kInitialFilterFc, 9000),
                                                  Gen(kInitialFilterQ, q),
                                                  Gen(kAttenuation, 100)})}}};
        plan.presetList = {PresetOf("Lead", 0, 81, 0)};
        ASSERT_EQ(Import(plan), 0);
        EXPECT_EQ(LayerAt(81, 0).Amp().Gain(), gain) << q;
    }
}

TEST_F(Sf2PresetsTest, VelocityCurveModulatorsSetTheVelocityTracking) {
    constexpr uint16_t kCurve = 0x0502;  // velocity, negative, concave
    const struct {
        std::vector<test::Sf2Mod> instrument, preset;
        int tracking;
    } cases[] = {{{}, {}, 64},
                 {{{kCurve, kAttenuation, 0}}, {{kCurve, kAttenuation, 480}}, 32},
                 {{{kCurve, kAttenuation, 720}}, {}, 48},
                 {{}, {{kCurve, kAttenuation, -480}}, 32},
                 {{{kCurve, kInitialFilterFc, 0}}, {}, 64}};
    for (const auto& c : cases) {
        Sf2Plan plan = WithSamples(1);
        Sf2Zone zone = SampleZone(0, 0, 127);
        zone.mods = c.instrument;
        plan.instruments = {{"Piano", {zone}}};
        Sf2Preset preset = PresetOf("Piano", 0, 0, 0);
        preset.zones[0].mods = c.preset;
        plan.presetList = {preset};
        ASSERT_EQ(Import(plan), 0);
        EXPECT_EQ(LayerAt(0, 0).Amp().VelocityTracking(), c.tracking) << c.tracking;
    }
}

// A file's modulators from MIDI sources become routes: velocity opening the modulation
// envelope's reach into the cutoff, the preset's amount added to the instrument's.
TEST_F(Sf2PresetsTest, ModulatorsFromMidiSourcesBecomeRoutes) {
    constexpr uint16_t kVelocity = 2, kModEnvToFilterFc = 11;
    Sf2Plan plan = WithSamples(1);
    Sf2Zone zone = SampleZone(0, 0, 127);
    zone.mods = {{kVelocity, kModEnvToFilterFc, 6000}};
    plan.instruments = {{"Piano", {zone}}};
    Sf2Preset preset = PresetOf("Piano", 0, 0, 0);
    preset.zones[0].mods = {{kVelocity, kModEnvToFilterFc, 500}};
    plan.presetList = {preset};
    ASSERT_EQ(Import(plan), 0);
    const Layer& layer = LayerAt(0, 0);
    int adjusted = 0;
    for (const ModulationEntry& e : layer.Filter1().Entries())
        if (e.depthAdjustSource == 0xD1) adjusted = e.adjustedDepth;  // velocity
    EXPECT_EQ(adjusted, 65);  // semitones
}

// Modulators that stretch a release or a decay by the note's key and velocity (a piano's low
// notes ringing on) become the envelope's rate input: note by note, the stage takes the time
// the players give it, within the rate input's steps.
struct EnvelopeRateCase {
    uint16_t src, amountSrc;
    int dest, amount, key, velocity;
};

class Sf2EnvelopeRateTest : public Sf2PresetsTest,
                            public ::testing::WithParamInterface<EnvelopeRateCase> {
  protected:
    // The stage's seconds as a note of key and velocity plays it, and the stage's stored seconds.
    std::pair<double, double> StageSeconds(const std::vector<test::Sf2Mod>& mods, int dest,
                                           int key, int velocity) {
        Sf2Plan plan = WithSamples(1);
        Sf2Zone zone = SampleZone(0, 0, 127,
                                  {Gen(kVolEnvDecay, 1200), Gen(kVolEnvSustain, 480),
                                   Gen(kVolEnvRelease, 600)});
        zone.mods = mods;
        plan.instruments = {{"Piano", {zone}}};
        plan.presetList = {PresetOf("Piano", 0, 0, 0)};
        EXPECT_EQ(Import(plan), 0);
        const Layer& layer = LayerAt(0, 0);
        voice::NoteSources note;
        note.property[voice::kKeyNumber] = key / 127.0f;
        note.property[voice::kAttackVelocity] = velocity / 127.0f;
        std::array<float, 16> values{};
        voice::ChannelSources channel;
        const voice::SourceContext ctx{&channel, &note, nullptr, values.data()};
        const EnvModulator* env = nullptr;
        for (const auto& m : layer.Modulators()) {
            voice::ModulatorState state;
            state.Start(m.get());
            values[size_t(m->Id())] = state.Step(ctx, true, 0.001f);
            if (const auto* e = dynamic_cast<const EnvModulator*>(m.get()); e && !e->Linear())
                env = e;
        }
        EXPECT_NE(env, nullptr);
        if (!env) return {0, 0};
        const bool release = dest == kVolEnvRelease;
        const int first = env->AttackCount() + (release ? env->DecayCount() : 0);
        const int count = release ? env->ReleaseCount() : env->DecayCount();
        double stored = 0;
        for (int i = first; i < first + count; ++i)
            stored += units::EnvSeconds(env->Segments()[size_t(i)].time);
        const float rate = voice::SourceValue(uint8_t(env->InputSource(release ? 3 : 2)), ctx);
        return {stored * std::exp2(4.0 * (1.0 - std::clamp(rate, -1.0f, 1.0f))), stored};
    }
};

TEST_P(Sf2EnvelopeRateTest, StretchesTheStageAsPlayersDo) {
    const EnvelopeRateCase& c = GetParam();
    auto value = [&](uint16_t src) {
        if (!src) return 1.0;
        const double v = ((src & 0xFF) == 3 ? c.key : c.velocity) / 127.0;
        return src & 0x100 ? 1.0 - v : v;
    };
    const double want = std::exp2(c.amount * value(c.src) * value(c.amountSrc) / 1200.0);
    const double plain = StageSeconds({}, c.dest, c.key, c.velocity).first;
    const auto [played, stored] =
        StageSeconds({{c.src, uint16_t(c.dest), int16_t(c.amount), c.amountSrc}}, c.dest, c.key,
                     c.velocity);
    EXPECT_NEAR(played / plain, want, want * 0.06 + 0.02)
        << c.src << " " << c.dest << " " << c.amount << " key " << c.key;
    if (c.amount < 0) {
        EXPECT_LT(stored, plain * 0.9);  // stored at the shortest
    }
}

constexpr uint16_t kKeySrc = 3, kKeyDown = 3 | 0x100, kVelSrc = 2;
INSTANTIATE_TEST_SUITE_P(
    Rates, Sf2EnvelopeRateTest,
    ::testing::Values(EnvelopeRateCase{kKeyDown, kVelSrc, kVolEnvRelease, 2500, 36, 100},
                      EnvelopeRateCase{kKeyDown, kVelSrc, kVolEnvRelease, 2500, 96, 100},
                      EnvelopeRateCase{kKeyDown, 0, kVolEnvRelease, 1200, 24, 64},
                      EnvelopeRateCase{kKeySrc, 0, kVolEnvDecay, 2400, 72, 64},
                      EnvelopeRateCase{kVelSrc, 0, kVolEnvDecay, -1200, 60, 30},
                      EnvelopeRateCase{kVelSrc, 0, kVolEnvRelease, -2400, 60, 120}));

TEST_F(Sf2PresetsTest, BadPresetsAndSamplesAreLoggedNotFatal) {
    Sf2Plan plan = WithSamples(3);
    plan.samples[1].type = 0x8001;  // ROM
    plan.samples[2].type = 4;       // a left half whose partner does not exist
    plan.samples[2].link = 77;
    plan.instruments = {{"Ok", {SampleZone(0, 0, 59), SampleZone(1, 60, 127)}},
                        {"Odd", {SampleZone(2, 0, 127, {Gen(kPan, -500)}), SampleZone(9, 0, 10)}}};
    test::Sf2Instrument many{"Many", {}};
    for (int z = 0; z < 200; ++z)
        many.zones.push_back(SampleZone(z % 3, z % 128, z % 128));
    plan.instruments.push_back(many);
    plan.presetList = {PresetOf("Ok", 0, 0, 0), PresetOf("Past the end", 0, 1, 40),
                       PresetOf("Odd", 0, 2, 1), PresetOf("Many", 0, 3, 2)};
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(Logged("X Sample S1 is ROM based!"));
    EXPECT_TRUE(Logged("plays instrument 40, which does not exist"));
    EXPECT_TRUE(Logged("names sample 9, which does not exist"));
    EXPECT_TRUE(Logged("Preset 0:1 Past the end was not converted"));
    ASSERT_NE(db_.GetProgram(2), nullptr);
    EXPECT_EQ(SoundingKeys(db_, *db_.GetProgram(0)).size(), 60u);
    ASSERT_NE(db_.GetProgram(3), nullptr);
    EXPECT_LE(db_.GetProgram(3)->LayerCount(), kMaxLayers);
}

}  // namespace
}  // namespace talmeru
