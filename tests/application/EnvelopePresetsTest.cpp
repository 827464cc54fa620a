// Envelope presets in the settings file: the stored text, saving, overwriting, deleting and
// applying them, damaged values, and the built-in natural envelopes.
#include <gtest/gtest.h>

#include "application/EnvelopePresets.h"
#include "model/WaveData.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace talmeru::test {
namespace {

using Entries = std::vector<EnvelopeEntry>;

bool Same(const Entries& a, const Entries& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].slope != b[i].slope || a[i].duration != b[i].duration) return false;
    return true;
}

class EnvelopePresetsTest : public ::testing::Test {
  protected:
    // The settings as they come back from the file: values trimmed, quotes dropped.
    void Reload() { settings.LoadFromText(settings.ToText()); }
    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    Profile settings;
    EnvelopePresets natural{settings, kNaturalEnvelope};
    EnvelopePresets modulator{settings, kModulatorEnvelope};
};

TEST_F(EnvelopePresetsTest, StoredTextOfBothKinds) {
    const Entries flat = {{0, 0}, {-6818, 0}, {-2046, 0}};
    EXPECT_EQ(FormatNaturalPreset("Pad", flat), "Pad              3 0 0 0 -6818 0 -2046 ");
    EnvModulator env;
    EXPECT_EQ(FormatModulatorPreset("Swell", ShapeOf(env)),
              "Swell            0 3 0 127 50 127 0 0 ");
    EXPECT_EQ(natural.Save("Pad", flat), 0);
    EXPECT_EQ(modulator.Save("Swell", env), 0);
    Reload();
    EXPECT_EQ(settings.GetString("NatEnvPreset", "Preset0"),
              "Pad              3 0 0 0 -6818 0 -2046");
    EXPECT_EQ(settings.GetInt("NatEnvPreset", "NumberPresets", -1), 1);
    EXPECT_EQ(settings.GetInt("ModEnvPreset", "NumberPresets", -1), 1);
    // What was stored parses back to the same envelope after the file trimmed it.
    Entries back;
    std::string why;
    ASSERT_TRUE(ParseNaturalPreset(settings.GetString("NatEnvPreset", "Preset0"), back, why));
    EXPECT_TRUE(Same(back, flat));
    EnvShape shape;
    ASSERT_TRUE(ParseModulatorPreset(settings.GetString("ModEnvPreset", "Preset0"), shape, why));
    EXPECT_EQ(shape, ShapeOf(env));
}

TEST_F(EnvelopePresetsTest, SavingOverwritesByNameAndCutsLongNames) {
    EXPECT_EQ(natural.Save("One", Entries{{5, 100}, {0, 0}}), 0);
    EXPECT_EQ(natural.Save("Two", Entries{{0, 0}}), 1);
    EXPECT_EQ(natural.Save("One", Entries{{7, 200}, {0, 0}}), 0);
    EXPECT_EQ(natural.Count(), 2);
    EXPECT_EQ(natural.ListNames(),
              (std::vector<std::string>{"Flat Env", "Percussive Env", "One", "Two"}));
    // A long name is kept to 16 characters, found by them, and saving it again overwrites.
    EXPECT_EQ(natural.Save("A Very Long Preset Name", Entries{}), 2);
    EXPECT_EQ(natural.ListNames().back(), "A Very Long Pres");
    EXPECT_EQ(natural.Find("A Very Long Pres"), 2);
    EXPECT_EQ(natural.Save("A Very Long Preset Name", Entries{}), 2);
    EXPECT_EQ(natural.Count(), 3);
    SampleHeader h;
    ASSERT_EQ(natural.Apply("One", h), 0);
    EXPECT_TRUE(Same(h.envelope, Entries{{7, 200}, {0, 0}}));
    // The modulator kind has no built-ins.
    EXPECT_TRUE(modulator.ListNames().empty());
}

TEST_F(EnvelopePresetsTest, NamesSurviveTheSettingsFile) {
    // Blanks around a name would be trimmed off the stored line and shift the numbers.
    EXPECT_EQ(PresetName("  Lead  "), "Lead");
    EXPECT_EQ(PresetName("Tab\there\n"), "Tabhere");
    // A multi-byte character is not split at the 16th byte.
    EXPECT_EQ(PresetName("abcdefghijklmno\xE2\x82\xAC"), "abcdefghijklmno");
    EXPECT_EQ(
        PresetName("\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84"),
        "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84");
    EXPECT_EQ(natural.Save("  Lead", Entries{{0, 0}}), 0);
    EXPECT_EQ(natural.Save("abcdefghijklmno\xE2\x82\xAC", Entries{{0, 0}}), 1);
    Reload();
    SampleHeader h;
    EXPECT_EQ(natural.Apply("Lead", h), 0);
    EXPECT_EQ(natural.Apply("abcdefghijklmno", h), 0);
    EXPECT_TRUE(prompter.Messages().empty());
    // A name of blanks only is refused.
    EXPECT_EQ(natural.Save("   ", Entries{}), -1);
    EXPECT_EQ(natural.Count(), 2);
    EXPECT_EQ(prompter.Messages().size(), 1u);
}

TEST_F(EnvelopePresetsTest, DeletingMovesLaterPresetsDown) {
    for (const char* name : {"A", "B", "C"})
        natural.Save(name, Entries{{0, 0}});
    EXPECT_EQ(natural.Delete("A"), 0);
    EXPECT_EQ(natural.Count(), 2);
    EXPECT_EQ(StoredPresetName(settings.GetString("NatEnvPreset", "Preset0")), "B");
    EXPECT_EQ(StoredPresetName(settings.GetString("NatEnvPreset", "Preset1")), "C");
    EXPECT_FALSE(settings.Find("NatEnvPreset", "Preset2"));
    EXPECT_EQ(natural.Delete("C"), 0);
    EXPECT_EQ(natural.Delete("B"), 0);
    EXPECT_EQ(settings.GetInt("NatEnvPreset", "NumberPresets", -1), 0);
    EXPECT_EQ(natural.ListNames(), (std::vector<std::string>{"Flat Env", "Percussive Env"}));
    EXPECT_EQ(natural.Delete("B"), 1);
    EXPECT_TRUE(prompter.Saw("Couldn't find envelope"));
}

TEST_F(EnvelopePresetsTest, ApplyingReplacesTheEnvelope) {
    EnvModulator source;
    source.SetAttackCount(2);
    source.SetDecayCount(2);
    source.SetReleaseCount(2);
    source.SetLinear(true);
    source.SetSegment(5, -40, 200);
    ASSERT_EQ(modulator.Save("Shape", source), 0);
    EnvModulator target;
    target.SetAttackCount(8);
    target.SetStartLevel(10);
    ASSERT_EQ(modulator.Apply("Shape", target), 0);
    EXPECT_EQ(target.CountsByte(), source.CountsByte());
    EXPECT_EQ(target.Segments(), source.Segments());
    EXPECT_EQ(target.PackedSize(), 8 + 2 * 6);
    EXPECT_EQ(target.StartLevel(), 10);  // not part of a preset
    EXPECT_EQ(target.Packed().size(), size_t(target.PackedSize()));

    // A preset removed meanwhile changes nothing.
    const auto before = target.Packed();
    EXPECT_EQ(modulator.Apply("Gone", target), 1);
    EXPECT_TRUE(prompter.Saw("Couldn't find envelope"));
    EXPECT_EQ(target.Packed(), before);
    SampleHeader h;
    EXPECT_EQ(modulator.Apply("Shape", h), 3);
}

TEST_F(EnvelopePresetsTest, DamagedValuesAreReportedAndChangeNothing) {
    const std::vector<std::pair<EnvelopeKind, std::string>> damaged = {
        {kNaturalEnvelope, "Short"},
        {kNaturalEnvelope, "Bad              2 10 x 0 0"},
        {kNaturalEnvelope, "Bad              3 10 5 0 0"},
        {kNaturalEnvelope, "Bad              1 70000 5"},
        {kNaturalEnvelope, "Bad              99999999999999999999"},
        {kModulatorEnvelope, "Bad              0 4 0 127 50 127 0 0 1 1"},
        {kModulatorEnvelope, "Bad              0 3 0 127 50 127 0"},
        {kModulatorEnvelope, "Bad              0 3 300 127 50 127 0 0"},
        {kModulatorEnvelope, "Bad              0 3 0 127 50 127 0 0 junk"},
    };
    for (const auto& [kind, value] : damaged) {
        SCOPED_TRACE(value);
        settings.DeleteSection("NatEnvPreset");
        settings.DeleteSection("ModEnvPreset");
        const char* section = PresetSection(kind);
        settings.WriteInt(section, "NumberPresets", 1);
        settings.WriteString(section, "Preset0", value);
        prompter.Clear();
        EnvModulator env;
        SampleHeader h;
        h.ResetEnvelope(-100);
        const auto envBefore = env.Packed();
        const Entries hBefore = h.envelope;
        const std::string name = StoredPresetName(value);
        const int rc =
            kind == kNaturalEnvelope ? natural.Apply(name, h) : modulator.Apply(name, env);
        EXPECT_EQ(rc, 2);
        ASSERT_EQ(prompter.Messages().size(), 1u);
        EXPECT_NE(prompter.Messages()[0].find("damaged"), std::string::npos);
        EXPECT_EQ(env.Packed(), envBefore);
        EXPECT_TRUE(Same(h.envelope, hBefore));
    }
    // A damaged preset can still be listed and deleted.
    EXPECT_EQ(modulator.ListNames(), std::vector<std::string>{"Bad"});
    EXPECT_EQ(modulator.Delete("Bad"), 0);
    EXPECT_EQ(modulator.Count(), 0);
}

TEST_F(EnvelopePresetsTest, ADamagedCountFallsBackOnTheStoredPresets) {
    natural.Save("A", Entries{});
    natural.Save("B", Entries{});
    bool damaged = false;
    for (const char* count : {"-5", "99999999999"}) {
        settings.WriteString("NatEnvPreset", "NumberPresets", count);
        EXPECT_EQ(natural.Count(&damaged), 2) << count;
        EXPECT_TRUE(damaged);
    }
    // Saving writes a sound count again.
    EXPECT_EQ(natural.Save("C", Entries{}), 2);
    EXPECT_EQ(natural.Count(&damaged), 3);
    EXPECT_FALSE(damaged);
    // A full section takes no more, so its count never turns damaged.
    settings.WriteInt("NatEnvPreset", "NumberPresets", kMaxEnvelopePresets);
    EXPECT_EQ(natural.Save("D", Entries{}), -1);
    EXPECT_EQ(natural.Count(), kMaxEnvelopePresets);
}

TEST(EnvelopeBuiltInTest, FlatAndPercussiveEnvelopes) {
    SampleHeader h;
    h.envelope = {{1, 1}};
    MakeFlatEnvelope(h);
    EXPECT_TRUE(Same(h.envelope, Entries{{0, 0}, {-6818, 0}, {-2046, 0}}));

    // Without wave data the length is unknown: one piece of 30000.
    MakePercussiveEnvelope(h);
    EXPECT_TRUE(Same(h.envelope, Entries{{0, 30000}, {-2000, 0}, {-6818, 0}}));

    InvalidWaveData wave(0);
    wave.length = 2 * 70000;
    h.AttachWave(&wave, kAttachReference);
    h.flags = kSixteenBit;
    h.start = 0;
    h.end = 2 * 70000;
    h.loopStart = -1;
    MakePercussiveEnvelope(h);
    EXPECT_TRUE(
        Same(h.envelope, Entries{{0, 30000}, {0, 30000}, {0, 10000}, {-2000, 0}, {-6818, 0}}));
    // A looped sample counts up to its loop start, in frames.
    h.start = 200;
    h.loopStart = 200 + 2 * 1234;
    MakePercussiveEnvelope(h);
    EXPECT_TRUE(Same(h.envelope, Entries{{0, 1234}, {-2000, 0}, {-6818, 0}}));
    // At most 8 pieces.
    h.loopStart = -1;
    h.end = 200 + 500000;
    MakePercussiveEnvelope(h);
    ASSERT_EQ(h.envelope.size(), 10u);
    EXPECT_EQ(h.envelope[7].duration, 30000);
    EXPECT_EQ(h.envelope[8].slope, -2000);
    wave.length = -1;
    MakePercussiveEnvelope(h);
    EXPECT_EQ(h.envelope.size(), 3u);
    EXPECT_EQ(h.envelope[0].duration, 30000);
}

class EnvelopePresetFileTest : public TempDirTest {};

TEST_F(EnvelopePresetFileTest, PresetsReachTheFileAtOnce) {
    ScriptedPrompter prompter;
    ScopedPrompter scope(prompter);
    Profile settings(dir_ / "talmeru.ini");
    EnvelopePresets presets(settings, kModulatorEnvelope);
    EnvModulator env;
    presets.Save("Kept", env);
    Profile reread(dir_ / "talmeru.ini");
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(EnvelopePresets(reread, kModulatorEnvelope).ListNames(),
              std::vector<std::string>{"Kept"});
    // A folder that cannot be written to is reported.
    settings.SetPath(dir_ / "missing" / "talmeru.ini");
    presets.Delete("Kept");
    EXPECT_EQ(prompter.Messages().size(), 1u);
}

}  // namespace
}  // namespace talmeru::test
