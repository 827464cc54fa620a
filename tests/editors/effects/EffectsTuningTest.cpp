// The effects and tuning logic: what each value is sent as, the texts shown, and the values
// read from and written to the settings.
#include <gtest/gtest.h>

#include "editors/effects/EffectsTuning.h"
#include "platform/Format.h"
#include "platform/Profile.h"

namespace talmeru::test {
namespace {

using P = EffectParam;

// Records what the logic asks to send, as the calls it makes.
struct RecordingOutput : ControllerOutput {
    int EditChannel() const override { return channel; }
    void SendController(uint8_t c, uint8_t v) override { calls.push_back(Fmt("cc %d %d", c, v)); }
    void SendRpn(uint8_t m, uint8_t l, uint8_t v) override {
        calls.push_back(Fmt("rpn %d %d %d", m, l, v));
    }
    void SendNrpn(uint8_t m, uint8_t l, uint8_t v) override {
        calls.push_back(Fmt("nrpn %d %d %d", m, l, v));
    }
    int channel = 0;
    std::vector<std::string> calls;
};

TEST(EffectsTuningTest, TheBytesTextIsWhatGoesOutOnTheEditChannel) {
    Profile settings;
    RecordingOutput out;
    EffectsTuning t(settings, out);
    t.Load();
    EXPECT_EQ(t.BytesText(P::kTranspose), "B0 65 00 B0 64 02 B0 06 40");
    EXPECT_EQ(t.ValueText(P::kTranspose), "+0");
    EXPECT_EQ(t.BytesText(P::kPitchBend), "B0 65 00 B0 64 00 B0 06 02");
    EXPECT_EQ(t.ValueText(P::kPitchBend), "2");

    out.channel = 2;
    t.Change(P::kReverbType, 6);
    EXPECT_EQ(t.BytesText(P::kReverbType), "B2 63 00 B2 62 01 B2 06 06");
    t.Change(P::kChorusType, 8);
    EXPECT_EQ(t.BytesText(P::kChorusType), "B2 63 00 B2 62 02 B2 06 08");
    t.Change(P::kFineTune, 0);
    EXPECT_EQ(t.BytesText(P::kFineTune), "B2 65 00 B2 64 01 B2 06 00");
    EXPECT_EQ(t.ValueText(P::kFineTune), "-64");
    out.channel = 15;
    t.Change(P::kReverbDepth, 127);
    EXPECT_EQ(t.BytesText(P::kReverbDepth), "BF 5B 7F");
    t.Change(P::kChorusDepth, 10);
    EXPECT_EQ(t.BytesText(P::kChorusDepth), "BF 5D 0A");
    EXPECT_EQ(t.ValueText(P::kChorusDepth), "");
    EXPECT_EQ(out.calls, (std::vector<std::string>{"nrpn 0 1 6", "nrpn 0 2 8", "rpn 0 1 0",
                                                   "cc 91 127", "cc 93 10"}));
}

TEST(EffectsTuningTest, ValueTextsReadBackAndRefuseWhatIsOutOfRange) {
    for (P p : {P::kTranspose, P::kFineTune, P::kPitchBend}) {
        const EffectParamInfo& info = InfoOf(p);
        for (int v = info.minimum; v <= info.maximum; ++v)
            EXPECT_EQ(ParseEffectValueText(p, EffectValueText(p, v)), v);
        EXPECT_FALSE(ParseEffectValueText(p, EffectValueText(p, info.maximum + 1)));
        EXPECT_FALSE(ParseEffectValueText(p, EffectValueText(p, info.minimum - 1)));
    }
    EXPECT_EQ(EffectValueText(P::kTranspose, 88), "+24");
    EXPECT_EQ(ParseEffectValueText(P::kTranspose, " 7 "), 71);
    EXPECT_EQ(ParseEffectValueText(P::kPitchBend, "+3"), 3);
    for (const char* bad : {"", "+", "-", "abc", "1x", "+-1", "99999999"})
        EXPECT_FALSE(ParseEffectValueText(P::kTranspose, bad)) << bad;
}

TEST(EffectsTuningTest, NamesAndTips) {
    ASSERT_EQ(ReverbTypeNames().size(), 10u);
    ASSERT_EQ(ChorusTypeNames().size(), 9u);
    EXPECT_EQ(ReverbTypeNames()[6], "Plate");
    EXPECT_EQ(ReverbTypeNames()[9], "Pan Delay 2");
    EXPECT_EQ(ChorusTypeNames()[5], "Chorus w/Feedback");
    EXPECT_EQ(ChorusTypeNames()[8], "Delay w/Feedback");
    // The type lists are exactly as long as their ranges.
    EXPECT_EQ(InfoOf(P::kReverbType).maximum + 1, int(ReverbTypeNames().size()));
    EXPECT_EQ(InfoOf(P::kChorusType).maximum + 1, int(ChorusTypeNames().size()));

    EXPECT_EQ(EffectsToolTip(kCtrlTransposeBytes), "MIDI bytes to set tranpose");
    EXPECT_EQ(EffectsToolTip(kCtrlChorusDepth),
              "Adjusts the depth of the chorus for the edit channel");
    EXPECT_EQ(EffectsToolTip(kCtrlFineTuneSpin), "Tool Tip not define for ctrl 1286");
    for (P p : kEffectParams) {
        EXPECT_EQ(EffectsToolTip(InfoOf(p).control).find("Tool Tip"), std::string::npos);
        EXPECT_EQ(EffectsToolTip(InfoOf(p).bytesControl).find("Tool Tip"), std::string::npos);
    }
}

TEST(EffectsTuningTest, DamagedSettingsComeBackInRangeAndAnUnknownTypeSelectsNothing) {
    Profile settings;
    RecordingOutput out;
    EffectsTuning fresh(settings, out);
    fresh.Load();
    const std::vector<int> defaults = {64, 64, 2, 0, 0, 0, 0};
    for (P p : kEffectParams)
        EXPECT_EQ(fresh.Value(p), defaults[size_t(p)]);

    settings.LoadFromText(
        "[Tuning]\nCoarse=200\nFine=-3\nPitchBend=abc\n"
        "[Effects]\nChorusType=-1\nChorusLevel=999\nReverbType=10\nReverbLevel=77\n");
    EffectsTuning t(settings, out);
    t.Load();
    EXPECT_EQ(t.Value(P::kTranspose), 88);
    EXPECT_EQ(t.Value(P::kFineTune), 0);
    EXPECT_EQ(t.Value(P::kPitchBend), 0);
    EXPECT_EQ(t.Value(P::kChorusType), EffectsTuning::kNoSelection);
    EXPECT_EQ(t.Value(P::kChorusDepth), 127);
    EXPECT_EQ(t.Value(P::kReverbType), EffectsTuning::kNoSelection);
    EXPECT_EQ(t.Value(P::kReverbDepth), 77);
    EXPECT_EQ(t.BytesText(P::kReverbType), "");
    EXPECT_TRUE(out.calls.empty());

    // A value outside the range is brought into it before it is sent; no selection sends nothing.
    t.Change(P::kTranspose, 30);
    t.Change(P::kReverbType, EffectsTuning::kNoSelection);
    EXPECT_EQ(out.calls, std::vector<std::string>{"rpn 0 2 40"});

    // Closing writes what the controls hold, and keeps a type nothing was selected for.
    t.Save();
    EXPECT_EQ(settings.GetInt("Tuning", "Coarse", 0), 40);
    EXPECT_EQ(settings.GetInt("Tuning", "Fine", 1), 0);
    EXPECT_EQ(settings.GetInt("Tuning", "PitchBend", 1), 0);
    EXPECT_EQ(settings.GetInt("Effects", "ChorusLevel", 0), 127);
    EXPECT_EQ(settings.GetString("Effects", "ChorusType"), "-1");
    EXPECT_EQ(settings.GetString("Effects", "ReverbType"), "10");
}

}  // namespace
}  // namespace talmeru::test
