// The plugin's direct hand-over of a bank leaves the emulator exactly as the upload over the
// protocol does: every object, sample block, alias and memory figure, for a SoundFont with a
// stereo pair, a kit and several programs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "emulator/Ma1Emulator.h"
#include "model/Layer.h"
#include "model/Program.h"
#include "platform/MidiSystem.h"
#include "platform/Profile.h"
#include "plugin/BankLoader.h"
#include "plugin/EmulatorLink.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "synth/MidiSynthLink.h"

namespace talmeru {
namespace {

using test::Gen;
using test::RangeGen;
namespace gen = test::sf2gen;

// A pad of two linked halves, a looped wave played by three presets, and a kit of two hits;
// the points at odd lengths and offsets.
test::Sf2Plan Plan() {
    test::Sf2Plan plan;
    std::vector<int16_t> points;
    auto add = [&](const std::string& name, int frames, int type, int link, auto wave) {
        test::Sf2Sample s{name};
        s.start = uint32_t(points.size());
        for (int i = 0; i < frames; ++i)
            points.push_back(int16_t(std::lround(wave(i))));
        s.end = uint32_t(points.size());
        s.loopStart = s.start + 61;
        s.loopEnd = s.end - 5;
        s.type = type;
        s.link = link;
        points.insert(points.end(), 46, 0);
        plan.samples.push_back(s);
    };
    add("PadL", 3001, 4, 1, [](int i) { return 9000 * std::sin(i * 0.031); });
    add("PadR", 3001, 2, 0, [](int i) { return 9000 * std::sin(i * 0.029 + 1); });
    add("Saw", 2203, 1, 0, [](int i) { return 500.0 * (i % 61) - 15000; });
    add("Kick", 1777, 1, 0,
        [](int i) { return 20000 * std::exp(-i / 300.0) * std::sin(i * 0.02); });
    add("Snare", 1501, 1, 0,
        [](int i) { return 12000 * std::exp(-i / 200.0) * ((i * 7919) % 17 - 8) / 8; });
    for (int16_t p : points) {
        plan.sampleData.push_back(uint8_t(p & 0xFF));
        plan.sampleData.push_back(uint8_t(uint16_t(p) >> 8));
    }
    auto looped = [](int sample, std::vector<test::Sf2Gen> gens) {
        gens.push_back(Gen(gen::kSampleModes, 1));
        gens.push_back(Gen(gen::kSampleId, sample));
        return test::Sf2Zone{gens};
    };
    plan.instruments = {
        {"Pad", {looped(0, {Gen(gen::kPan, -500)}), looped(1, {Gen(gen::kPan, 500)})}},
        {"Saw", {looped(2, {})}},
        {"Kit",
         {{{RangeGen(gen::kKeyRange, 35, 36), Gen(gen::kSampleId, 3)}},
          {{RangeGen(gen::kKeyRange, 38, 40), Gen(gen::kSampleId, 4)}}}}};
    plan.presetList = {{"Pad", 0, 0, {{{Gen(gen::kInstrumentGen, 0)}}}},
                       {"Saw", 5, 0, {{{Gen(gen::kInstrumentGen, 1)}}}},
                       {"Low Saw", 6, 0, {{{Gen(gen::kCoarse, -12), Gen(gen::kInstrumentGen, 1)}}}},
                       {"Kit", 0, 128, {{{Gen(gen::kInstrumentGen, 2)}}}}};
    return plan;
}

class HandOver : public test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        setenv("TALMERU_HOME", Path("home").c_str(), 1);
    }
    static std::shared_ptr<emulator::Ma1Emulator> Emulator() {
        emulator::Ma1Settings settings;
        settings.sampleRamBytes = 4u << 20;
        return emulator::Ma1Emulator::Create(settings);
    }
};

constexpr int kTypes = 6, kNumbers = 512;

TEST_F(HandOver, LeavesTheEmulatorAsTheUploadOverTheProtocolDoes) {
    const test::Sf2Plan plan = Plan();
    const std::string bank = Put("bank.sf2", plan.Build());
    auto direct = Emulator();
    plugin::EmulatorLink link(*direct);
    ASSERT_EQ(plugin::UploadBank(link, bank), "");
    auto sent = Emulator();
    {
        Profile profile;
        MidiSystem midi(nullptr);
        midi.AddVirtualDevices(sent->Devices());
        MidiSynthLink midiLink(midi, profile);
        midiLink.PickDevices();
        midiLink.OpenDevices();
        ASSERT_EQ(midiLink.QueryIdentity(), kReplied);
        ASSERT_EQ(midiLink.QueryMemory(0), kReplied);
        ASSERT_EQ(plugin::UploadBank(midiLink, bank), "");
    }
    int inRam[kTypes + 1] = {}, pairs = 0;
    for (int type = 1; type <= kTypes; ++type)
        for (int n = 0; n < kNumbers; ++n) {
            SCOPED_TRACE(testing::Message() << "object " << type << "/" << n);
            ASSERT_EQ(direct->InRam(type, n), sent->InRam(type, n));
            ASSERT_EQ(direct->Object(type, n), sent->Object(type, n));
            if (!direct->InRam(type, n)) continue;
            ++inRam[type];
            // A stereo pair plays as two layers panned to the sides.
            Program p;
            if (type == kTypeProgram && p.Unpack(*direct->Object(type, n)) == 0)
                pairs +=
                    p.LayerCount() == 2 && p.GetLayer(0)->Pan() == 0 && p.GetLayer(1)->Pan() == 31;
        }
    EXPECT_GE(inRam[kTypeProgram], 4);
    EXPECT_GE(inRam[kTypeSampleHeader], 5);
    EXPECT_EQ(pairs, 1);
    int blocks = 0;
    for (int n = 0; n < kNumbers; ++n) {
        SCOPED_TRACE(testing::Message() << "sample " << n);
        ASSERT_EQ(direct->AliasOf(n), sent->AliasOf(n));
        const auto data = direct->SampleData(n);
        ASSERT_EQ(data, sent->SampleData(n));
        if (!data) continue;
        ++blocks;
        // The chunk's points, zeros up to 1024 bytes and a padding word.
        std::vector<uint8_t> expected = plan.sampleData;
        expected.resize(std::max<size_t>(expected.size(), 1024) + 2, 0);
        EXPECT_EQ(*data, expected);
    }
    EXPECT_EQ(blocks, 1);
    const emulator::Ma1Memory a = direct->Memory(), b = sent->Memory();
    EXPECT_EQ(std::tie(a.programFree, a.sampleFree, a.programTotal, a.sampleTotal),
              std::tie(b.programFree, b.sampleFree, b.programTotal, b.sampleTotal));
    EXPECT_EQ(direct->Refused(), 0);
}

}  // namespace
}  // namespace talmeru
