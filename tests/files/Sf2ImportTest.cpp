#include <gtest/gtest.h>

#include <cmath>

#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/Sf2Import.h"
#include "files/WaveDataLoader.h"
#include "model/Ma1Units.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/ImportFuzz.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::Gen;
using test::RangeGen;
using test::Sf2Plan;
using test::Sf2Zone;
using Lines = std::vector<std::string>;

using namespace test::sf2gen;

int ExpectedPitch(double root, double rate) {
    return static_cast<int>(std::trunc(256.0 * (root - 60 - 12 * std::log2(rate / 88200)) + 0.5));
}

// Two samples of a 1000-frame ramp and one instrument with a global zone and two key ranges.
Sf2Plan PianoPlan() {
    Sf2Plan s;
    s.sampleData = test::Pcm16({test::Ramp(1000, 0, 3)});
    s.samples = {{"Piano C4", 0, 400, 100, 300, 44100, 60, 0},
                 {"Piano C5", 400, 800, 500, 700, 22050, 72, -50}};
    Sf2Zone global{{RangeGen(kVelRange, 10, 100), Gen(kCoarse, 2), Gen(kFine, 50),
                    Gen(kVolEnvRelease, 0), Gen(kModLfoFreq, 0), Gen(kAttenuation, 100)}};
    Sf2Zone low{{RangeGen(kKeyRange, 0, 63), Gen(kSampleModes, 1), Gen(kSampleId, 0)}};
    Sf2Zone high{{RangeGen(kKeyRange, 64, 127), Gen(kRootKey, 70), Gen(kSampleId, 1)}};
    s.instruments = {{"Grand Piano", {global, low, high}}};
    return s;
}

class Sf2ImportTest : public test::TempDirTest {
  protected:
    int Import(const Sf2Plan& plan) { return ImportImage(plan.Build()); }
    int ImportImage(const std::vector<uint8_t>& image) {
        db_.Clear(false);
        path_ = Put("bank.sf2", image);
        return ImportSf2(path_, db_, log_);
    }
    std::vector<int> Sources(const ControlBlock& block) const {
        std::vector<int> out;
        for (const auto& e : block.Entries())
            out.push_back(e.controlSource);
        return out;
    }

    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    ZedoDatabase db_;
    RecordingConversionLog log_;
    std::string path_;
};

TEST_F(Sf2ImportTest, InstrumentBecomesProgramKeymapLayerAndSharedWaveData) {
    Sf2Plan plan = PianoPlan();
    ASSERT_EQ(Import(plan), 0);
    EXPECT_EQ(log_.Lines(), (Lines{"? 1 Presets skipped\r\n", "+ Sample 0 = Piano C4\r\n",
                                   "+ Sample 1 = Piano C5\r\n", "+ Program \"Grand Piano\"\r\n",
                                   "*** Done ***\r\n"}));

    SampleHeader* c4 = db_.GetSampleHeader(0);
    SampleHeader* c5 = db_.GetSampleHeader(1);
    ASSERT_TRUE(c4 && c5);
    EXPECT_EQ(c4->Name(), "Piano C4");
    EXPECT_EQ(c4->loopStart, 200);
    EXPECT_EQ(c4->end, 600);  // the end of the loop, in bytes
    EXPECT_EQ(c4->pitch, ExpectedPitch(60, 44100));
    // The zone's root key override at the sample's own rate; the zone does not loop, so the
    // sample plays to its own end (not its loop's) and the loop start moves there.
    EXPECT_EQ(c5->pitch, ExpectedPitch(70, 22050));
    EXPECT_EQ(c5->start, 800);
    EXPECT_EQ(c5->loopStart, 1600);
    EXPECT_EQ(c5->end, 1600);

    Program* p = db_.GetProgram(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Name(), "Grand Piano");
    ASSERT_EQ(p->LayerCount(), 1);
    Layer* layer = p->GetLayer(0);
    Keymap* k = db_.GetKeymap(layer->keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Name(), "Grand Piano");
    EXPECT_EQ(k->SampleForKey(63), 0);
    EXPECT_EQ(k->SampleForKey(64), 1);
    // The global zone's velocity range, tune and attenuation.
    EXPECT_EQ(layer->velocityLow, 10);
    EXPECT_EQ(layer->velocityHigh, 100);
    EXPECT_EQ(layer->Pitch().CoarseTune(), 2);
    EXPECT_EQ(layer->Pitch().FineTune(), 64);  // 50 cents in 1/128 semitone
    EXPECT_EQ(layer->Amp().Gain(), -4);  // players hear 100 cB of attenuation as 4 dB

    // Envelope A, envelope B, LFO A, LFO B, with their routes.
    // ... and the FUN that lets velocity close the cutoff only from 64 up, as players do.
    ASSERT_EQ(layer->Modulators().size(), 5u);
    auto* envA = dynamic_cast<EnvModulator*>(layer->FindModulator(0));
    auto* envB = dynamic_cast<EnvModulator*>(layer->FindModulator(1));
    auto* lfoA = dynamic_cast<LfoModulator*>(layer->FindModulator(2));
    ASSERT_TRUE(envA && envB && lfoA && layer->FindModulator(3));
    EXPECT_EQ(envA->Segments(),
              (std::vector<EnvSegment>{{0, 0}, {127, 0}, {127, 0}, {127, 0}, {0, 0}}));
    EXPECT_EQ(envB->Segments()[4].time, 50);  // a release of one second, in 0.02 s steps
    EXPECT_TRUE(envA->Linear());
    EXPECT_FALSE(envB->Linear());            // attacks linear in amplitude, decays in dB
    EXPECT_FALSE(layer->NaturalEnvelope());  // the volume envelope alone shapes the level
    EXPECT_EQ(lfoA->BaseRate(), 83);
    // The last route is the players' channel pressure vibrato.
    EXPECT_EQ(Sources(layer->Pitch()), (std::vector<int>{0xF0, 0xF3, 0xF2, 0xF3}));
    EXPECT_EQ(Sources(layer->Filter1()), (std::vector<int>{0xF0, 0xF2, 0xD7}));
    EXPECT_EQ(Sources(layer->Amp()), (std::vector<int>{0xF2, 0xF1}));

    // One wave data over the whole sample chunk: the file's own header is its base, the
    // imported samples are its links. None of the chunk has been read yet.
    ASSERT_EQ(db_.WaveDataCount(), 2);
    WaveData* w = db_.GetWaveData(1);
    EXPECT_EQ(w->Kind(), kWaveSf2);
    EXPECT_FALSE(w->loaded);
    EXPECT_EQ(w->base, 2);
    ASSERT_EQ(w->links.size(), 2u);
    EXPECT_EQ(w->links[1].number, 1);
    EXPECT_EQ(c5->Wave(), w);
    EXPECT_EQ(db_.GetSampleHeader(2)->Name(), "bank");
    EXPECT_EQ(db_.GetSampleHeader(2)->end, 2000);
    ASSERT_EQ(w->LoadData(), 0);
    EXPECT_EQ(w->data, plan.sampleData);
}

TEST_F(Sf2ImportTest, NamesAreShortenedBlanksFirstThenVowels) {
    EXPECT_EQ(ShortenSf2Name("Bright Grand Piano 2"), "BrghtGrandPiano2");
    EXPECT_EQ(ShortenSf2Name("Soft Pad     "), "Soft Pad");
    EXPECT_EQ(ShortenSf2Name("Warm Strings 1"), "Warm Strings 1");
    EXPECT_EQ(ShortenSf2Name("BCDFGHJKLMNPQRSTVWXZ"), "BCDFGHJKLMNPQRST");
    EXPECT_EQ(ShortenSf2Name("Aeolian Harp Ensemble"), "olianHarpEnsembl");

    Sf2Plan plan = PianoPlan();
    plan.samples[0].name = "Bright Grand Piano 2";
    plan.instruments[0].name = "Bright Grand Piano 2";
    ASSERT_EQ(Import(plan), 0);
    EXPECT_EQ(db_.GetSampleHeader(0)->Name(), "BrghtGrandPiano2");
    EXPECT_EQ(db_.GetProgram(0)->Name(), "BrghtGrandPiano2");
    EXPECT_EQ(db_.GetKeymap(0)->Name(), "BrghtGrandPiano2");
    EXPECT_TRUE(log_.Has("+ Sample 0 = Bright Grand Piano 2\r\n"));
}

TEST_F(Sf2ImportTest, SecondZoneWithoutSampleStopsTheConversion) {
    Sf2Plan plan = PianoPlan();
    plan.instruments.push_back({"Broken", {{{Gen(kSampleId, 0)}}, {{RangeGen(kKeyRange, 0, 9)}}}});
    plan.instruments.push_back({"Never", {{{Gen(kSampleId, 1)}}}});
    ASSERT_EQ(Import(plan), 0);
    EXPECT_EQ(log_.Count("Corrupt generator list in zone 1\r\n"), 1);
    EXPECT_FALSE(log_.Has("+ Program \"Never\"\r\n"));
    // What came before the stop stays, and the samples still get their wave data.
    EXPECT_EQ(db_.GetProgram(1)->Name(), "Broken");
    EXPECT_EQ(db_.GetProgram(2), nullptr);
    EXPECT_EQ(db_.GetSampleHeader(0)->Wave()->Kind(), kWaveSf2);
}

TEST_F(Sf2ImportTest, SamplesThatWereNotCreatedPlayNothing) {
    Sf2Plan plan = PianoPlan();
    // A ROM sample takes number 0 and a stereo pair 1 and 2.
    plan.samples = {{"Rom Piano", 0, 0, 0, 0, 44100, 60, 0, 0, 0x8001},
                    {"Pad L", 0, 500, 10, 490, 44100, 60, 0, 2, 4},
                    {"Pad R", 500, 1000, 510, 990, 44100, 60, 0, 1, 2}};
    plan.instruments = {{"Mixed",
                         {{{RangeGen(kKeyRange, 0, 20), Gen(kSampleId, 0)}},
                          {{RangeGen(kKeyRange, 21, 40), Gen(kSampleId, 1)}},
                          {{RangeGen(kKeyRange, 41, 60), Gen(kSampleId, 2)}},
                          {{RangeGen(kKeyRange, 61, 80), Gen(kSampleId, 9)}}}}};
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(log_.Has("X Sample Rom Piano is ROM based!\r\n"));
    EXPECT_TRUE(log_.Has("X Zone 3 of \"Mixed\" names sample 9, which does not exist\r\n"));

    // The file's own header takes the free number 0; keys of the ROM zone must not play it.
    EXPECT_EQ(db_.GetSampleHeader(0)->Name(), "bank");
    Keymap* k = db_.GetKeymap(0);
    EXPECT_EQ(k->SampleForKey(10), kNoSample);
    EXPECT_EQ(k->SampleForKey(30), 1);
    EXPECT_EQ(k->SampleForKey(50), 2);
    EXPECT_EQ(k->SampleForKey(70), kNoSample);
    EXPECT_EQ(k->SampleForKey(100), kNoSample);  // no zone there

    // Each half of the stereo sample plays its own stretch of the one wave data.
    SampleHeader* r = db_.GetSampleHeader(2);
    EXPECT_EQ(db_.GetSampleHeader(1)->Wave(), r->Wave());
    EXPECT_EQ(r->start, 1000);
    EXPECT_EQ(r->end, 2000);  // its zone does not loop: the sample's own end
}

TEST_F(Sf2ImportTest, SamplePointsOutsideTheSampleChunk) {
    Sf2Plan plan = PianoPlan();
    plan.samples.push_back({"Far Away", 5000, 6000, 5100, 5900});
    // The loop lies past the data but the sample does not: it plays to its own end.
    plan.samples.push_back({"Bad Loop", 100, 900, 300, 70000});
    plan.samples.push_back({"Backwards", 900, 100, 0, 0});
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(log_.Has("X Sample Far Away lies outside the sample data, skipped\r\n"));
    EXPECT_TRUE(log_.Has("X Sample Backwards lies outside the sample data, skipped\r\n"));
    EXPECT_TRUE(log_.Has("? Sample Bad Loop has no usable loop, it plays to its end\r\n"));
    // The file's own header took the first number left free.
    EXPECT_EQ(db_.GetSampleHeader(2)->Name(), "bank");
    EXPECT_EQ(db_.GetSampleHeader(4), nullptr);
    SampleHeader* bad = db_.GetSampleHeader(3);
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->start, 200);
    EXPECT_EQ(bad->loopStart, 1800);
    EXPECT_EQ(bad->end, 1800);
}

TEST_F(Sf2ImportTest, GeneratorsOfTheEnvelopesAndLfos) {
    Sf2Plan plan = PianoPlan();
    plan.instruments = {
        {"Shaped",
         {{{Gen(kModEnvDelay, -12000), Gen(kModEnvAttack, -1200), Gen(kModEnvHold, 1200),
            Gen(kModEnvDecay, 0), Gen(kModEnvSustain, 27), Gen(kModEnvRelease, -2400),
            Gen(kVolEnvAttack, 0), Gen(kVolEnvSustain, 1000), Gen(kVolEnvRelease, -12000),
            Gen(kVibLfoFreq, -1200), Gen(kSampleId, 0)}}}}};
    ASSERT_EQ(Import(plan), 0);
    Layer* layer = db_.GetProgram(0)->GetLayer(0);
    auto* envA = dynamic_cast<EnvModulator*>(layer->FindModulator(0));
    auto* envB = dynamic_cast<EnvModulator*>(layer->FindModulator(1));
    auto* lfoB = dynamic_cast<LfoModulator*>(layer->FindModulator(3));
    ASSERT_TRUE(envA && envB && lfoB);
    // Times in 0.02 s steps: 1 ms, 0.5 s, 2 s; the decay covers the 2.7% down to the sustain
    // (0.1% units) of its 1 s, the release the remaining 97.3% of its 0.25 s.
    EXPECT_EQ(envA->Segments(),
              (std::vector<EnvSegment>{{0, 0}, {127, 25}, {127, 100}, {124, 1}, {0, 12}}));
    // A volume sustain of 96 dB or more is silence (the decay's time is its whole travel);
    // -12000 timecents round to 0.
    EXPECT_EQ(envB->Segments(),
              (std::vector<EnvSegment>{{0, 0}, {127, 50}, {127, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(lfoB->BaseRate(), 42);
    EXPECT_EQ(lfoB->Shape(), 4);
}

TEST_F(Sf2ImportTest, ModulationDepthsFilterAndPanInTheEngineUnits) {
    Sf2Plan plan = PianoPlan();
    // vibrato 50 cents, mod env to pitch 1200 cents and to filter -2400 cents, tremolo 60 cB,
    // a 1 kHz resonant low-pass of 12 dB, pan hard right.
    plan.instruments = {{"Deep",
                         {{{Gen(6, 50), Gen(7, 1200), Gen(11, -2400), Gen(13, 60), Gen(8, 8321),
                            Gen(9, 120), Gen(17, 500), Gen(kSampleId, 0)}}}}};
    ASSERT_EQ(Import(plan), 0);
    Layer* layer = db_.GetProgram(0)->GetLayer(0);
    auto depths = [](const ControlBlock& b) {
        std::vector<int> out;
        for (const auto& e : b.Entries())
            out.push_back(e.baseDepth);
        return out;
    };
    // env A, LFO B, LFO A, LFO B from channel pressure
    EXPECT_EQ(depths(layer->Pitch()), (std::vector<int>{120, 5, 0, 0}));
    EXPECT_EQ(depths(layer->Filter1()), (std::vector<int>{-24, 0, 0}));
    EXPECT_EQ(depths(layer->Amp()), (std::vector<int>{8, 127}));
    EXPECT_EQ(layer->Filter1().FilterType(), 4);
    EXPECT_NEAR(units::FilterHz(layer->Filter1().Frequency() & 0xFF00), 1000, 30);
    // The players' velocity route: 24 semitones down at velocity 0, gated by a FUN.
    const ModulationEntry& velocity = layer->Filter1().Entries().back();
    EXPECT_EQ(velocity.controlSource, 0xD7);
    EXPECT_EQ(velocity.adjustedDepth, -24);
    EXPECT_EQ((velocity.depthAdjustSource & 0xF0), 0xF0);
    EXPECT_NEAR(units::ResonanceDb(layer->Filter1().Frequency() & 0xFF), 12, 0.1);
    EXPECT_EQ(layer->Pan(), 31);
}

TEST_F(Sf2ImportTest, MissingAndShortChunks) {
    // Missing chunks: the instrument level ends the import, the preset level does not.
    const std::tuple<const char*, int, const char*> missing[] = {
        {"inst", 1, "No inst chunk\r\n"},   {"ibag", 1, "Nop ibag chunk\r\n"},
        {"shdr", 1, "No shdr chunk\r\n"},   {"phdr", 0, "X No phdr chunk\r\n"},
        {"pbag", 0, "X No pbag chunk\r\n"}, {"pgen", 0, "X No pgen chunk\r\n"},
        {"igen", 0, "No igen chunk\r\n"},
    };
    for (auto [id, result, line] : missing) {
        SCOPED_TRACE(id);
        Sf2Plan plan = PianoPlan();
        plan.leaveOut = {id};
        EXPECT_EQ(Import(plan), result);
        EXPECT_TRUE(log_.Has(line)) << log_.Text();
        EXPECT_EQ(log_.Lines().back(), "*** Done ***\r\n");
        EXPECT_EQ(db_.GetProgram(0) != nullptr, result == 0);
    }
    // Without generators no zone names a sample, so the second zone is corrupt.
    EXPECT_TRUE(log_.Has("Corrupt generator list in zone 1\r\n"));

    // A table that holds no whole number of records, or runs past the file, ends it.
    const std::pair<const char*, const char*> shortened[] = {
        {"phdr", "X Error reading phdr chunk\r\n"}, {"pbag", "X Error reading pbag chunk\r\n"},
        {"pgen", "X Error reading pmod chunk\r\n"}, {"inst", "Error reading inst chunk\r\n"},
        {"ibag", "Error reading ibag chunk\r\n"},   {"igen", "Error reading igen chunk\r\n"},
        {"shdr", "Error reading smpl chunk\r\n"},
    };
    for (auto [id, line] : shortened) {
        SCOPED_TRACE(id);
        auto image = PianoPlan().Build();
        size_t at = test::ChunkDataAt(image, id);
        image[at - 4] = static_cast<uint8_t>(image[at - 4] - 1);
        EXPECT_EQ(ImportImage(image), 1);
        EXPECT_TRUE(log_.Has(line)) << log_.Text();
        EXPECT_EQ(db_.GetSampleHeader(0), nullptr);
    }
    auto image = PianoPlan().Build();
    image[test::ChunkDataAt(image, "shdr") - 2] = 0x7F;
    EXPECT_EQ(ImportImage(image), 1);
    EXPECT_TRUE(log_.Has("Error reading smpl chunk\r\n"));
}

TEST_F(Sf2ImportTest, FilesThatAreNoSoundFont) {
    std::string missing = Path("nothing.sf2");
    EXPECT_EQ(ImportSf2(missing, db_, log_), 1);
    EXPECT_EQ(log_.Lines(),
              (Lines{"X Failed to open Sf2 file \"" + missing + "\".\n", "*** Done ***\r\n"}));
    EXPECT_EQ(ImportImage({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}), 1);
    EXPECT_EQ(log_.Lines()[0], "X This is not a SoundFont2 file, \"" + path_ + "\".\n");
    Sf2Plan plan = PianoPlan();
    plan.leaveOut = {"pdta"};
    EXPECT_EQ(Import(plan), 1);
    EXPECT_EQ(log_.Lines()[0], "X SoundFont2 file \"" + path_ + "\" has no \"pdta\" chunk.");
    plan.leaveOut = {"smpl"};
    EXPECT_EQ(Import(plan), 1);
    EXPECT_EQ(log_.Lines()[0], "X SoundFont2 file \"" + path_ + "\" has no \"smpl\" chunk.\r\n");
    EXPECT_EQ(db_.GetSampleHeader(0), nullptr);
}

TEST_F(Sf2ImportTest, CorruptZoneListsSkipTheirInstrument) {
    Sf2Plan plan = PianoPlan();
    plan.instruments.push_back({"Second", {{{Gen(kSampleId, 0)}}}});
    plan.instruments.push_back({"Third", {{{Gen(kSampleId, 1)}}}});
    // Instrument records are 22 bytes, the name and the index of the first zone. "Second"
    // starts at zone 3; "Third" is made to start before it, so Second's zones run backwards.
    auto image = plan.Build();
    image[test::ChunkDataAt(image, "inst") + 2 * 22 + 20] = 1;
    EXPECT_EQ(ImportImage(image), 0);
    EXPECT_TRUE(log_.Has("X Instrument \"Second\" has a corrupt zone list, skipped\r\n"));
    EXPECT_FALSE(log_.Has("+ Program \"Second\"\r\n"));
    EXPECT_TRUE(log_.Has("+ Program \"Grand Piano\"\r\n"));

    // A zone whose generators run past the generator table.
    image = plan.Build();
    size_t ibag = test::ChunkDataAt(image, "ibag");
    image[ibag + 3 * 4 + 1] = 0x7F;
    EXPECT_EQ(ImportImage(image), 0);
    EXPECT_TRUE(log_.Has("X Instrument \"Grand Piano\" has a corrupt zone list, skipped\r\n"));
}

TEST_F(Sf2ImportTest, MoreInstrumentsThanPrograms) {
    Sf2Plan plan = PianoPlan();
    plan.instruments.clear();
    for (int i = 0; i <= kSlotCount; ++i)
        plan.instruments.push_back(
            {i < 2 ? "Same" : "I" + std::to_string(i), {{{Gen(kSampleId, 0)}}}});
    ASSERT_EQ(Import(plan), 0);
    EXPECT_EQ(log_.Count("X Too many programs\r\n"), 1);
    EXPECT_TRUE(log_.Has("+ Program \"I512\"\r\n"));
    EXPECT_EQ(db_.GetProgram(kSlotCount - 1)->Name(), "I511");
    // Keymap names are unique; program names are the instrument's.
    EXPECT_EQ(db_.GetKeymap(1)->Name(), "Same1");
    EXPECT_EQ(db_.GetProgram(1)->Name(), "Same");
}

TEST_F(Sf2ImportTest, OpeningASoundFontConvertsItIntoAPbfBank) {
    Sf2Plan plan = PianoPlan();
    std::string sf2 = Put("Piano.SF2", plan.Build());
    ASSERT_EQ(OpenBank(db_, sf2, 0, &log_), 0);
    EXPECT_EQ(db_.Comment(), "Converted with Talmeru");
    EXPECT_EQ(db_.Path(), Path("Piano.pbf"));
    EXPECT_FALSE(db_.IsModified());

    // Saved and read back as either bank format: the samples still play their stretches of
    // the SoundFont's data.
    for (const char* ext : {".pbf", ".tmb"}) {
        SCOPED_TRACE(ext);
        ASSERT_EQ(SaveBank(db_, Path(std::string("Piano") + ext), 0), 0);
        ZedoDatabase again;
        ASSERT_EQ(OpenBank(again, Path(std::string("Piano") + ext), kOpenQuiet), 0);
        SampleHeader* c5 = again.GetSampleHeader(1);
        ASSERT_NE(c5, nullptr);
        EXPECT_EQ(c5->start, 800);
        EXPECT_EQ(c5->pitch, db_.GetSampleHeader(1)->pitch);
        // Each sample keeps its own rate, which the editor shows its note by.
        EXPECT_EQ(c5->SampleRate(), 22050);
        EXPECT_EQ(again.GetSampleHeader(0)->SampleRate(), 44100);
        WaveData* w = c5->Wave();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w, again.GetSampleHeader(0)->Wave());
        ASSERT_EQ(w->LoadData(), 0);
        EXPECT_EQ(w->data, plan.sampleData);
        // Saved over itself, the bank reads its data from the new file, rates and all.
        ASSERT_EQ(SaveBank(again, again.Path(), 0), 0);
        EXPECT_EQ(again.GetSampleHeader(1)->SampleRate(), 22050);
        EXPECT_EQ(again.GetSampleHeader(1)->Wave(), again.GetSampleHeader(0)->Wave());
    }

    // Not a SoundFont after all: the open fails.
    EXPECT_EQ(OpenBank(db_, Put("fake.sf2", {1, 2, 3}), 0, &log_), 1);
}

TEST_F(Sf2ImportTest, WaveDataOverTheSampleChunk) {
    Sf2Plan plan = PianoPlan();
    auto w = CreateWaveDataByExtension(Put("Data.Sf2", plan.Build()), 4, kWholeFile, true);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Kind(), kWaveSf2);
    EXPECT_EQ(w->base, 4);
    EXPECT_EQ(w->Length(), 2000);
    EXPECT_EQ(w->LoopStart(), 1000);
    EXPECT_EQ(w->End(), 1000);

    // A chunk that claims more than the file holds gives what is there.
    auto image = plan.Build();
    size_t smpl = test::ChunkDataAt(image, "smpl");
    image[smpl - 2] = 0x01;
    image.resize(smpl + 100);
    auto partial = CreateWaveDataByExtension(Put("cut.sf2", image), 0, kWholeFile, true);
    EXPECT_EQ(partial->Length(), 100);
    ASSERT_EQ(partial->LoadData(), 0);
    EXPECT_EQ(partial->data.size(), 100u);

    plan.leaveOut = {"smpl"};
    auto bad = CreateWaveDataByExtension(Put("none.sf2", plan.Build()), 0, kWholeFile, true);
    EXPECT_EQ(bad->FormatTag(), -1);
    EXPECT_NE(bad->LoadData(), 0);
    EXPECT_TRUE(prompter_.Saw("SoundFont2 file \"" + bad->path + "\" has no \"smpl\" chunk."));
}

TEST_F(Sf2ImportTest, DamagedFilesNeverCrashTheImport) {
    // Little sample data, so that most changes land in the structure.
    Sf2Plan plan = PianoPlan();
    plan.sampleData = test::Pcm16({test::Ramp(120, 0, 3)});
    plan.samples = {{"Piano C4", 0, 60, 10, 50},
                    {"Piano C5", 60, 120, 70, 110, 22050, 72, -50},
                    {"Rom", 0, 0, 0, 0, 44100, 60, 0, 0, 0x8001}};
    plan.instruments.push_back({"Two",
                                {{{RangeGen(kKeyRange, 0, 60), Gen(kSampleId, 2)}},
                                 {{Gen(kSampleId, 1), Gen(kVolEnvRelease, 300)}}}});
    test::FuzzImport(plan.Build(), Path("fuzz.sf2"), 1234,
                     [](const std::string& path, ZedoDatabase& db, ConversionLog& log) {
                         ImportSf2(path, db, log);
                     });
}

// A file of more samples than headers: the samples the instruments play take the headers, in
// the order they are played, so no instrument is left silent by samples it never plays.
TEST_F(Sf2ImportTest, MoreSamplesThanHeadersNumberThosePlayed) {
    Sf2Plan plan;
    plan.sampleData = test::Pcm16({test::Ramp(600 * 10, 0, 1)});
    for (uint32_t i = 0; i < 600; ++i)
        plan.samples.push_back({"S" + std::to_string(i), i * 10, i * 10 + 8, i * 10 + 1,
                                i * 10 + 7, 44100, 60, 0});
    plan.instruments = {{"Late", {{{RangeGen(kKeyRange, 0, 59), Gen(kSampleId, 590)}},
                                  {{RangeGen(kKeyRange, 60, 127), Gen(kSampleId, 3)}}}}};
    ASSERT_EQ(Import(plan), 0);
    const Keymap* k = db_.GetKeymap(db_.GetProgram(0)->GetLayer(0)->keymap);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->SampleForKey(10), 0);
    ASSERT_EQ(k->SampleForKey(70), 1);
    EXPECT_EQ(db_.GetSampleHeader(0)->Name(), "S590");
    EXPECT_EQ(db_.GetSampleHeader(1)->Name(), "S3");
    // The third is the one over the whole sample chunk; unplayed samples take none.
    EXPECT_EQ(db_.GetSampleHeader(3), nullptr);
    EXPECT_EQ(db_.GetSampleHeader(0)->start, 2 * 5900);
}

}  // namespace
}  // namespace talmeru
