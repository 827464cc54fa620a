// The tonal program wizard's logic: keys from names, the spread over the keyboard and the
// instrument it builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Keymap.h"
#include "model/Modulator.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "model/ZedoDatabase.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"
#include "wizards/TonalProgram.h"

namespace talmeru::test {
namespace {

TEST(TonalProgramNames, KeyComesFromTheFirstNoteInTheFileName) {
    EXPECT_EQ(KeyFromPath("/x/Piano C4.wav"), 60);
    EXPECT_EQ(KeyFromPath("/x/Str_A#3.wav"), 58);
    EXPECT_EQ(KeyFromPath("Eb4.wav"), 63);
    EXPECT_EQ(KeyFromPath("Fs2.wav"), 42);
    EXPECT_EQ(KeyFromPath("Bass A1 C3.wav"), 33);
    EXPECT_EQ(KeyFromPath("g9.wav"), 127);
    // No note, a note-like word with another accidental, and one above the keyboard.
    EXPECT_EQ(KeyFromPath("Pad.wav"), -1);
    EXPECT_EQ(KeyFromPath("Ax3.wav"), -1);
    EXPECT_EQ(KeyFromPath("B9 D2.wav"), 38);
    // A folder named like a note does not name the sample's pitch.
    EXPECT_EQ(KeyFromPath("/media/cd1/Pad.wav"), -1);
    EXPECT_EQ(KeyFromPath("C:\\e2\\Pad.wav"), -1);
}

TEST(TonalProgramSpread, EachKeyPlaysTheNearestSampleAtOrAboveIt) {
    // Samples that cannot play above their own key: ranges end at the keys themselves.
    EXPECT_EQ(SpreadKeys({48, 60, 72}, {48, 60, 72}, true), (std::vector<int>{48, 60, 72}));
    // Free to transpose up by an octave: the midpoints decide, the last goes to its limit.
    EXPECT_EQ(SpreadKeys({48, 60, 72}, {60, 72, 84}, false), (std::vector<int>{54, 66, 84}));
    // A sample that can only go up two keys leaves the rest to the next one.
    EXPECT_EQ(SpreadKeys({48, 60}, {50, 72}, false), (std::vector<int>{50, 72}));
    // A repeated key: the second sample would start above its top and gets nothing.
    EXPECT_EQ(SpreadKeys({60, 60, 72}, {60, 60, 72}, true), (std::vector<int>{60, -1, 72}));
    // Never past the keyboard.
    EXPECT_EQ(SpreadKeys({120}, {132}, false), (std::vector<int>{127}));
}

class TonalProgramTest : public TempDirTest {
  protected:
    std::string Wave(const std::string& name, uint32_t rate = 88200, int channels = 1,
                     std::optional<uint32_t> unity = std::nullopt) {
        WavPlan plan;
        plan.rate = rate;
        plan.channels = channels;
        plan.unity = unity;
        std::vector<std::vector<int16_t>> data(static_cast<size_t>(channels), Ramp(400, 0, 5));
        plan.data = Pcm16(data);
        return Put(name, MakeWav(plan));
    }
    std::string Broken(const std::string& name) {
        return Put(name, std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'});
    }
    int Objects() const {
        int n = 0;
        for (int i = 0; i < kSlotCount; ++i)
            n += (db.GetKeymap(i) != nullptr) + (db.GetSampleHeader(i) != nullptr) +
                 (db.GetProgram(i) != nullptr);
        return n;
    }
    // Each entry of a keymap as (low key, top key, sample).
    static std::vector<std::array<int, 3>> Ranges(const Keymap& k) {
        std::vector<std::array<int, 3>> out;
        for (size_t i = 0; i < k.entries.size(); ++i)
            out.push_back({k.LowKey(i), k.entries[i].topKey, k.entries[i].sample});
        return out;
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase db;
    RecordingEdits edits{db};
    TonalProgram t;
};

TEST_F(TonalProgramTest, RowsTakeTheStoredNoteThenTheNameThenMiddleC) {
    t.AddWaves({Wave("Stored A3.wav", 44100, 1, 62), Wave("Name E2.wav"), Wave("Plain.wav"),
                Broken("Bad F3.wav")});
    t.FillRows(false);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Could not load wave"});
    ASSERT_EQ(t.Rows().size(), 4u);
    std::vector<int> keys;
    for (const TonalRow& r : t.Rows())
        keys.push_back(r.key);
    EXPECT_EQ(keys, (std::vector<int>{62, 40, 60, 53}));
    EXPECT_EQ(t.SampleName(t.Rows()[1]), "Name E2");

    // Parsing names ignores what the files store and sorts at once.
    t.FillRows(true);
    ASSERT_EQ(t.Rows().size(), 4u);
    std::vector<int> waves;
    keys.clear();
    for (const TonalRow& r : t.Rows()) {
        keys.push_back(r.key);
        waves.push_back(r.wave);
    }
    EXPECT_EQ(keys, (std::vector<int>{40, 53, 57, 60}));
    EXPECT_EQ(waves, (std::vector<int>{1, 3, 0, 2}));
}

TEST_F(TonalProgramTest, KeysWrapAndRemovedWavesTakeTheirRows) {
    t.AddWaves({Wave("A.wav"), Wave("B.wav"), Wave("C.wav")});
    t.FillRows(false);
    t.SetKey(0, 120);
    t.SetKey(1, 3);
    t.ShiftOctaves(1);
    EXPECT_EQ(t.Rows()[0].key, 4);
    EXPECT_EQ(t.Rows()[1].key, 15);
    t.ShiftKey(0, -5);
    EXPECT_EQ(t.Rows()[0].key, 127);
    t.ShiftOctaves(-2);
    EXPECT_EQ(t.Rows()[1].key, 119);

    t.RemoveWaves({1});
    ASSERT_EQ(t.Waves().size(), 2u);
    ASSERT_EQ(t.Rows().size(), 2u);
    EXPECT_EQ(t.Rows()[1].wave, 1);
    EXPECT_EQ(t.SampleName(t.Rows()[1]), "C");
    // A wave added later gets a row of its own; the others keep their keys.
    t.AddWaves({Wave("D5.wav")});
    t.FillRows(false);
    ASSERT_EQ(t.Rows().size(), 3u);
    EXPECT_EQ(t.Rows()[0].key, 103);
    EXPECT_EQ(t.Rows()[2].key, 74);
}

TEST_F(TonalProgramTest, OnlyOneHundredTwentyEightWaves) {
    std::vector<std::string> many(130, "x.wav");
    EXPECT_EQ(t.AddWaves(many), 128);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Only 128 Waves allowed"});
    EXPECT_EQ(t.AddWaves({"y.wav"}), 0);
    EXPECT_EQ(t.Waves().size(), 128u);
}

TEST_F(TonalProgramTest, SettingsKeepTheirDefaultsAndStoredValues) {
    Profile settings;
    t.LoadKeySetting(settings);
    t.LoadFinishSettings(settings);
    EXPECT_TRUE(t.keySet);
    EXPECT_TRUE(t.noTransposeUp);
    EXPECT_EQ(t.rate, 250);
    settings.WriteInt("Options", "TPSlowReleaseRate", -700);
    settings.WriteInt("Options", "TPTranposeBug", 2);
    t.LoadFinishSettings(settings);
    EXPECT_EQ(t.rate, 700);
    EXPECT_FALSE(t.noTransposeUp);
    t.keySet = false;
    t.rate = 40;
    t.noTransposeUp = true;
    t.SaveKeySetting(settings);
    t.SaveFinishSettings(settings);
    EXPECT_EQ(settings.GetInt("Options", "TPKeySet", 1), 0);
    EXPECT_EQ(settings.GetInt("Options", "TPSlowReleaseRate", 0), 40);
    EXPECT_EQ(settings.GetInt("Options", "TPTranposeBug", 0), 1);
}

TEST_F(TonalProgramTest, BuildsAMultisampledProgram) {
    t.AddWaves({Wave("Hi C5.wav"), Wave("Lo C3.wav"), Wave("Mid C4.wav")});
    t.FillRows(false);
    t.name = "Keys";
    t.number = 7;
    Program* made = t.Build(edits, -1, false);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(prompter.All().empty());
    EXPECT_EQ(made, db.GetProgram(7));
    EXPECT_EQ(made->Name(), "Keys");
    EXPECT_TRUE(made->marked);
    EXPECT_TRUE(db.IsModified());
    ASSERT_EQ(made->LayerCount(), 1);
    const Keymap* k = db.GetKeymap(made->GetLayer(0)->keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Name(), "Keys");
    EXPECT_TRUE(k->marked);
    ASSERT_EQ(k->entries.size(), 4u);
    EXPECT_EQ(Ranges(*k)[0][1], 48);
    EXPECT_EQ(Ranges(*k)[1][0], 49);
    EXPECT_EQ(Ranges(*k)[1][1], 60);
    EXPECT_EQ(Ranges(*k)[2][1], 72);
    EXPECT_EQ(Ranges(*k)[3], (std::array<int, 3>{73, 127, kNoSample}));
    // Lowest key first, each sample tuned to play its own pitch on its key.
    const std::vector<std::string> names{"Lo C3", "Mid C4", "Hi C5"};
    for (int i = 0; i < 3; ++i) {
        const SampleHeader* s = db.GetSampleHeader(k->entries[static_cast<size_t>(i)].sample);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Name(), names[static_cast<size_t>(i)]);
        EXPECT_NEAR(s->pitch, 256 * (48 + 12 * i - 60), 1);
        EXPECT_TRUE(s->marked);
        ASSERT_EQ(s->envelope.size(), 3u);
        EXPECT_EQ(s->envelope[1].slope, -6818);
    }
    // No quick options: a plain layer.
    EXPECT_TRUE(made->GetLayer(0)->Modulators().empty());
    EXPECT_TRUE(made->GetLayer(0)->Amp().Entries().empty());
}

TEST_F(TonalProgramTest, TransposingUpLetsTheMidpointsDecide) {
    // 44100 Hz samples can play an octave above their keys.
    t.AddWaves({Wave("C3.wav", 44100), Wave("C4.wav", 44100)});
    t.FillRows(false);
    t.name = "Up";
    t.noTransposeUp = false;
    t.slowRelease = true;
    t.rate = 40;
    Program* made = t.Build(edits, -1, false);
    ASSERT_NE(made, nullptr);
    const Keymap* k = db.GetKeymap(made->GetLayer(0)->keymap);
    ASSERT_EQ(k->entries.size(), 3u);
    EXPECT_EQ(k->entries[0].topKey, 54);
    EXPECT_EQ(k->entries[1].topKey, 72);
    EXPECT_EQ(k->entries[2].sample, kNoSample);
    EXPECT_EQ(db.GetSampleHeader(k->entries[1].sample)->envelope[1].slope, -40);
}

TEST_F(TonalProgramTest, UnloadableAndRepeatedSamplesAreSkipped) {
    t.AddWaves({Wave("C3.wav"), Broken("E3.wav"), Wave("C4.wav"), Wave("Again C4.wav")});
    t.FillRows(false);
    prompter.Clear();
    t.name = "Gaps";
    const int before = Objects();
    Program* made = t.Build(edits, -1, false);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(prompter.Messages().size(), 2u);
    EXPECT_EQ(prompter.Messages()[0], dir_.string() +
                                          "/E3.wav was skipped because it could "
                                          "not be loaded.");
    EXPECT_NE(prompter.Messages()[1].find("Again C4.wav was skipped"), std::string::npos);
    // The unreadable file's keys go to its neighbour, the repeated sample is not imported.
    const Keymap* k = db.GetKeymap(made->GetLayer(0)->keymap);
    ASSERT_EQ(k->entries.size(), 3u);
    EXPECT_EQ(k->entries[0].topKey, 48);
    EXPECT_EQ(k->entries[1].topKey, 60);
    EXPECT_EQ(db.GetSampleHeader(k->entries[1].sample)->Name(), "C4");
    EXPECT_EQ(Objects(), before + 4);
}

TEST_F(TonalProgramTest, StereoSamplesMakeAStereoLayerPairWithQuickOptions) {
    t.AddWaves({Wave("C3.wav", 88200, 2), Wave("C4.wav")});
    t.FillRows(false);
    t.name = "Wide";
    t.modVibrato = t.modTremolo = t.slowAttack = t.velocityBrightness = t.phat = true;
    Program* made = t.Build(edits, -1, false);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->LayerCount(), 2);
    const Layer& left = *made->GetLayer(0);
    const Layer& right = *made->GetLayer(1);
    EXPECT_EQ(left.StereoState(), kStereoLeft);
    EXPECT_EQ(left.Partner(), &right);
    const Keymap* lk = db.GetKeymap(left.keymap);
    const Keymap* rk = db.GetKeymap(right.keymap);
    ASSERT_TRUE(lk && rk && lk != rk);
    EXPECT_EQ(lk->chained, rk);
    EXPECT_TRUE(rk->marked);
    ASSERT_EQ(rk->entries.size(), 3u);
    // The stereo sample's right channel on the right; the mono sample on both sides.
    const SampleHeader* stereoLeft = db.GetSampleHeader(lk->entries[0].sample);
    ASSERT_NE(stereoLeft, nullptr);
    ASSERT_NE(stereoLeft->chained, nullptr);
    EXPECT_EQ(rk->entries[0].sample, stereoLeft->chained->Number());
    EXPECT_EQ(static_cast<const SampleHeader*>(stereoLeft->chained)->pitch, stereoLeft->pitch);
    EXPECT_EQ(rk->entries[1].sample, lk->entries[1].sample);
    EXPECT_EQ(rk->entries[2].sample, kNoSample);

    for (const Layer* layer : {&left, &right}) {
        auto* vibrato = dynamic_cast<LfoModulator*>(layer->FindModulator(1));
        auto* tremolo = dynamic_cast<LfoModulator*>(layer->FindModulator(2));
        auto* attack = dynamic_cast<EnvModulator*>(layer->FindModulator(3));
        ASSERT_TRUE(vibrato && tremolo && attack);
        EXPECT_EQ(vibrato->Shape(), 4);
        EXPECT_EQ(tremolo->Shape(), 1);
        EXPECT_EQ(attack->Packed()[7], 129);
        EXPECT_EQ(attack->Segments()[0], (EnvSegment{0, 20}));
        EXPECT_EQ(attack->Segments()[1], (EnvSegment{0, 50}));
        EXPECT_EQ(layer->Pitch().Entries(), (std::vector<ModulationEntry>{{241, 0, 20, 129}}));
        EXPECT_EQ(layer->Amp().Entries(),
                  (std::vector<ModulationEntry>{{242, 0, 10, 129}, {243, 32, 32, 64}}));
        EXPECT_EQ(layer->Filter1().FilterType(), 1);
        EXPECT_EQ(layer->Filter1().VelocityTracking(), 70);
        EXPECT_EQ(layer->Pitch().FineTune(), 10);
    }
    // The program still packs.
    std::vector<uint8_t> block;
    EXPECT_EQ(made->PackToBlock(block), 0);
}

TEST_F(TonalProgramTest, AddsToTheCurrentProgramOrReplacesIt) {
    Program* current = db.CreateProgram("Old", 3);
    Keymap* other = db.CreateKeymap("Other", 0);
    current->AddLayer(*other, false);
    t.AddWaves({Wave("C4.wav")});
    t.FillRows(false);

    t.newProgram = false;
    ASSERT_EQ(t.Build(edits, 3, false), current);
    EXPECT_EQ(current->LayerCount(), 2);
    EXPECT_EQ(current->Name(), "Old");

    // With AutoProgramReplace the current program's number is no clash: it is rebuilt.
    t.newProgram = true;
    t.name = "Fresh";
    t.number = 3;
    ASSERT_EQ(t.Build(edits, 3, true), current);
    EXPECT_EQ(current->Name(), "Fresh");
    EXPECT_EQ(current->LayerCount(), 1);
}

TEST_F(TonalProgramTest, RefusesBeforeTheBankChanges) {
    db.CreateProgram("Taken", 5);
    t.AddWaves({Wave("C4.wav"), Wave("C5.wav", 88200, 2)});
    t.FillRows(false);
    t.name = "Clash";
    t.number = 5;
    auto refused = [&](const std::string& message, int current, bool autoReplace) {
        prompter.Clear();
        const int before = Objects();
        EXPECT_EQ(t.Build(edits, current, autoReplace), nullptr);
        EXPECT_EQ(prompter.Messages(), std::vector<std::string>{message});
        EXPECT_EQ(Objects(), before);
    };
    refused("Program 5 is already in use. Choose a free program number.", -1, false);
    // AutoProgramReplace only frees the current program's own number.
    refused("Program 5 is already in use. Choose a free program number.", 2, true);

    t.number = 6;
    t.name = "";
    refused("Enter a name for the new program", -1, false);
    t.name = "Fine";
    // One keymap left: not enough for a stereo instrument.
    for (int n = 0; n < kSlotCount - 1; ++n)
        db.CreateKeymap("K", n);
    refused("Could not create right keymap", -1, false);

    // A full program cannot take the layer pair.
    db.DeleteObject(db.GetKeymap(0));
    Program* full = db.GetProgram(5);
    for (int i = 0; i < kMaxLayers - 1; ++i)
        full->AddLayer(*db.GetKeymap(1), false);
    t.newProgram = false;
    EXPECT_FALSE(TonalProgram::CanAddToCurrent(db, -1));
    EXPECT_TRUE(TonalProgram::CanAddToCurrent(db, 5));
    refused("The current program has no room for a stereo layer pair", 5, false);

    t.RemoveWaves({0, 1});
    t.AddWaves({Broken("Bad.wav")});
    t.FillRows(false);
    t.newProgram = true;
    refused("None of the wave files could be loaded", -1, false);
}

}  // namespace
}  // namespace talmeru::test
