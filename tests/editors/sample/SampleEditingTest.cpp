// The sample editor's logic against a bank on the emulator: texts, field edits, loops,
// aliases, new samples, extraction and the external wave editor round trip.
#include <cmath>
#include <filesystem>
#include <numbers>
#include <set>
#include <tuple>

#include "app/AppFixture.h"
#include "application/EnvelopePresets.h"
#include "editors/sample/SampleAudition.h"
#include "editors/sample/SampleEditing.h"
#include "files/WavWaveData.h"
#include "model/NoteNames.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "support/WavBuilder.h"
#include "widgets/WaveFileInfo.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

TEST(SampleTexts, NotesAndPitchReadOuts) {
    EXPECT_EQ(NoteName(60), " C4");
    EXPECT_EQ(NoteName(61), "C#4");
    EXPECT_EQ(NoteName(0), " C-1");
    EXPECT_EQ(NoteName(127), " G9");
    // 15360 - 12 = 59 * 256 + 244: rounded up to C4, the remainder taken as -12.
    EXPECT_EQ(MaxNoteText(-12), " C4 ( -4.7)");
    EXPECT_EQ(MaxNoteText(100), " C4 (+39.4)");
    EXPECT_EQ(MaxNoteText(256 * 7 + 127), " G4 (+50.0)");
    EXPECT_EQ(MaxNoteText(-32767), " E-7 ( +0.4)");
    EXPECT_EQ(FractionalNoteText(-0.5), "N/A");
    EXPECT_EQ(FractionalNoteText(60.75), "C#4 (-25.2)");
    EXPECT_EQ(FractionalNoteText(69.25), " A4 (+25.2)");
    EXPECT_EQ(NearestKey(60.75), 61);
    EXPECT_EQ(NearestKey(60.25), 60);
    EXPECT_EQ(NearestKey(4.2e9), 1000000);
    EXPECT_EQ(FractionalNoteText(4.2e9).substr(0, 9), " E83332 (");
}

TEST(SampleTexts, ExtractNamesReplaceTheFirstMarkerWithASafeName) {
    EXPECT_EQ(ExtractFileName("/out/$$.wav", "Kick", true), "/out/Kick.wav");
    EXPECT_EQ(ExtractFileName("/out/$$-$$.wav", "Kick", true), "/out/Kick-$$.wav");
    EXPECT_EQ(ExtractFileName("/out/one.wav", "Kick", false), "/out/one.wav");
    EXPECT_EQ(ExtractFileName("/out/drums.wav", "Kick", true), "/out/drums_Kick.wav");
    // A name must not lead the file out of the chosen folder.
    EXPECT_EQ(ExtractFileName("/out/$$.wav", "../x/y", true), "/out/.._x_y.wav");
    EXPECT_EQ(ExtractFileName("/out/$$.wav", "..", true), "/out/_.wav");
}

class SampleEditingTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        edit = std::make_unique<SampleEditing>(*app);
        prompter.Clear();
    }
    void TearDown() override {
        edit.reset();
        AppTest::TearDown();
    }
    // A wave file with a loop and an original note.
    std::string LoopedWav(const std::string& name, int frames, int channels, uint32_t unity,
                          uint32_t loopStart, uint32_t loopEnd) {
        WavPlan plan;
        plan.channels = channels;
        std::vector<std::vector<int16_t>> ch(size_t(channels), Ramp(frames, 0, 5));
        plan.data = Pcm16(ch);
        plan.unity = unity;
        plan.loops = {{0, loopStart, loopEnd, 0}};
        const std::string path = (Dir() / name).string();
        EXPECT_TRUE(WriteWholeFile(path, MakeWav(plan)));
        return path;
    }
    // The synthesizer holds these bytes first under the number (blocks are padded).
    bool SentData(int number, const std::vector<uint8_t>& bytes) {
        const auto held = emu->SampleData(number);
        return held && held->size() >= bytes.size() &&
               std::equal(bytes.begin(), bytes.end(), held->begin());
    }
    SampleHeader* Made(int number) { return app->Bank().GetSampleHeader(number); }
    bool IsPending(const BankObject* o) {
        const auto& p = app->Editing().Pending();
        return std::find(p.begin(), p.end(), o) != p.end();
    }

    std::unique_ptr<SampleEditing> edit;
};

TEST_F(SampleEditingTest, NewSamplesAreUploadedAndAStereoFileMakesAPair) {
    const int mono = edit->NewSamples({Wav("mono.wav", 1000)});
    ASSERT_GE(mono, 0);
    EXPECT_TRUE(SentData(mono, Pcm16({Ramp(1000, 0, 3)})));
    EXPECT_TRUE(emu->InRam(kTypeSampleHeader, mono));

    const int left = edit->NewSamples({LoopedWav("st.wav", 500, 2, 60, 100, 400)});
    SampleHeader* l = Made(left);
    ASSERT_NE(l, nullptr);
    SampleHeader* r = StereoPartner(*l);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->stereoRole, kStereoRight);
    EXPECT_TRUE(emu->InRam(kTypeSampleHeader, r->Number()));
    EXPECT_TRUE(emu->SampleData(r->Number()).has_value());
    EXPECT_TRUE(app->Bank().IsModified());

    // The right half is not listed; the left shows its channel.
    auto rows = edit->Rows();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [&](const SampleRow& row) { return row.number == r->Number(); }),
              0);
    auto row = std::find_if(rows.begin(), rows.end(),
                            [&](const SampleRow& x) { return x.number == left; });
    ASSERT_NE(row, rows.end());
    EXPECT_EQ(row->icon, kIconRamStereo);
    EXPECT_EQ(row->cells[6], l->Wave()->path + "   (Left)");
    EXPECT_EQ(row->cells[4], "44100");
    EXPECT_EQ(row->cells[5], "1000");
}

TEST_F(SampleEditingTest, AFileThatCannotBeLoadedStopsTheRun) {
    const std::string bad = (Dir() / "bad.wav").string();
    ASSERT_TRUE(WriteWholeFile(bad, {'j', 'u', 'n', 'k'}));
    const int before = app->Bank().FirstFreeSampleHeader();
    const int last = edit->NewSamples({Wav("a.wav", 100), bad, Wav("c.wav", 100)});
    EXPECT_EQ(last, before);
    EXPECT_TRUE(prompter.Saw("Error loading sample"));
    EXPECT_EQ(app->Bank().FirstFreeSampleHeader(), before + 1);
}

TEST_F(SampleEditingTest, FiltersAndRomRows) {
    const int n = edit->NewSamples({Wav("a.wav", 100)});
    auto numbers = [&](int filter) {
        edit->SetFilter(filter);
        std::vector<int> out;
        for (const SampleRow& r : edit->Rows())
            out.push_back(r.number);
        return out;
    };
    const auto all = numbers(kSamplesAll), ram = numbers(kSamplesRam), rom = numbers(kSamplesRom);
    EXPECT_EQ(ram, std::vector<int>{n});
    EXPECT_EQ(all.size(), rom.size() + 1);
    ASSERT_FALSE(rom.empty());
    edit->SetFilter(kSamplesRom);
    const SampleRow first = edit->Rows().front();
    EXPECT_EQ(first.icon, kIconRom);
    EXPECT_EQ(first.cells[4], "-");
    EXPECT_EQ(first.cells[6], "MA-1 ROM");
}

TEST_F(SampleEditingTest, PointsShowAndStoreInSamplePoints) {
    const int n = edit->NewSamples({Wav("a.wav", 4000)});
    SampleHeader* h = Made(n);
    ASSERT_TRUE(h->flags & kSixteenBit);
    h->start = 2000;
    edit->Select({n});
    auto v = edit->Fields();
    EXPECT_TRUE(v.enabled);
    EXPECT_EQ(v.caption, "Sample Points (in 16-bit Words)");
    EXPECT_EQ(v.points[0], "1000");
    EXPECT_EQ(v.originals[2], "4000");
    // A header an import made was never loaded: no points as loaded, rather than "no loop".
    const std::tuple kept{h->origStart, h->origLoopStart, h->origEnd};
    h->origStart = h->origEnd = 0;
    h->origLoopStart = -1;
    EXPECT_EQ(edit->Fields().originals, (std::array<std::string, 3>{"-", "-", "-"}));
    std::tie(h->origStart, h->origLoopStart, h->origEnd) = kept;

    EXPECT_EQ(edit->SetPoint(kPointStart, "1500"), 1);
    EXPECT_EQ(h->start, 3000);
    EXPECT_TRUE(IsPending(h));
    // Leaving a field as shown keeps an odd offset; text that is no number changes nothing.
    h->end = 7999;
    EXPECT_EQ(edit->SetPoint(kPointEnd, "3999"), 0);
    EXPECT_EQ(h->end, 7999);
    EXPECT_EQ(edit->SetPoint(kPointEnd, "12x"), 0);
    EXPECT_EQ(edit->SetPoint(kPointEnd, "3000000000"), 0);
    EXPECT_EQ(h->end, 7999);
    EXPECT_EQ(edit->SetPoint(kPointLoop, "50"), 1);
    EXPECT_EQ(h->loopStart, 100);
    EXPECT_EQ(edit->SetPoint(kPointLoop, "-1"), 1);
    EXPECT_EQ(h->loopStart, -1);
    EXPECT_EQ(edit->Fields().points[1], "no loop");
    EXPECT_EQ(edit->SetPoint(kPointLoop, "no loop"), 0);
    EXPECT_EQ(h->loopStart, -1);
    // Neither half of an unlooped pair nor a damaged negative offset shows a huge number.
    h->flags |= kSixteenBit;
    EXPECT_EQ(edit->Fields().points[1], "no loop");
    h->loopStart = -2;
    EXPECT_EQ(edit->Fields().points[1], "no loop");
    EXPECT_EQ(SampleEditing::PointsInFrames(*h).loop, -1);
    h->loopStart = -1;
    h->flags &= ~kSixteenBit;

    EXPECT_EQ(edit->ResetPoints(), 1);
    EXPECT_EQ(h->start, h->origStart);
    EXPECT_EQ(h->end, 8000);

    // A header read from its packed form keeps the points it was read with.
    h->start = 10;
    std::vector<uint8_t> block;
    ASSERT_EQ(h->PackToBlock(block), 0);
    SampleHeader loaded;
    ASSERT_EQ(loaded.Unpack(block), 0);
    loaded.start = 99;
    EXPECT_EQ(loaded.origStart, 10);
    EXPECT_EQ(loaded.origEnd, 8000);
    h->start = 0;

    h->flags &= ~kSixteenBit;
    EXPECT_EQ(edit->SetPoint(kPointStart, "1500"), 1);
    EXPECT_EQ(h->start, 1500);
    EXPECT_EQ(edit->Fields().caption, "Sample Points (in 8-bit Bytes)");

    // Several selected, or a transfer running: nothing to edit.
    edit->Select({n, 0});
    EXPECT_FALSE(edit->Fields().enabled);
    EXPECT_EQ(edit->SetPoint(kPointStart, "10"), 0);
    edit->Select({n});
    edit->SetBusyTest([] { return true; });
    EXPECT_FALSE(edit->Fields().enabled);
    EXPECT_EQ(edit->Fields().maxNote, "?");
}

TEST_F(SampleEditingTest, PitchAmpAndFlagsStayInTheirRanges) {
    const int n = edit->NewSamples({Wav("a.wav", 100)});
    SampleHeader* h = Made(n);
    edit->Select({n});
    h->pitch = 32700;
    EXPECT_EQ(edit->StepPitch(1, true), 0);
    EXPECT_EQ(h->pitch, 32700);
    EXPECT_EQ(edit->StepPitch(67, false), 1);
    EXPECT_EQ(h->pitch, 32767);
    EXPECT_EQ(edit->StepPitch(-2, true), 1);
    EXPECT_EQ(h->pitch, 32767 - 512);

    EXPECT_EQ(edit->SetAmp(33), 0);
    EXPECT_EQ(edit->SetAmp(-32), 1);
    EXPECT_EQ(h->amp, -32);

    EXPECT_EQ(edit->SetFlag(0, true), 1);
    EXPECT_EQ(h->flags & kDeThump, kDeThump);
    EXPECT_EQ(edit->SetFlag(0, true), 0);

    EXPECT_EQ(edit->SetAttackSegs(3), 1);
    EXPECT_EQ(h->AttackCount(), 3);
    EXPECT_EQ(edit->SetAttackSegs(9), 0);
    EXPECT_EQ(edit->Fields().attackSegs, 3);
}

TEST_F(SampleEditingTest, TheOriginalNoteUndoesSetPitch) {
    const int n = edit->NewSamples({LoopedWav("a.wav", 500, 1, 64, 10, 400)});
    SampleHeader* h = Made(n);
    edit->Select({n});
    EXPECT_NEAR(RootKeyOf(*h), 64.0, 1.0 / 256);
    EXPECT_EQ(edit->Fields().originalNote, " E4 ( +0.0)");
    EXPECT_EQ(edit->Fields().actualNote, " E4 ( +0.0)");
    h->pitch = -40000 / 2;  // far below: the root key floors at 0
    EXPECT_EQ(RootKeyOf(*h), 0.0);
}

TEST_F(SampleEditingTest, AStereoEditReachesThePartner) {
    const int left = edit->NewSamples({LoopedWav("st.wav", 500, 2, 60, 100, 400)});
    SampleHeader* l = Made(left);
    SampleHeader* r = StereoPartner(*l);
    ASSERT_NE(r, nullptr);
    const std::string rightName = r->Name();
    WaveData* rightWave = r->Wave();
    edit->Select({left});
    EXPECT_EQ(edit->StepPitch(3, false), 1);
    EXPECT_EQ(edit->SetPoint(kPointStart, "7"), 1);
    EXPECT_EQ(edit->ApplyPreset(1, "Percussive Env"), 1);
    EXPECT_EQ(r->pitch, l->pitch);
    EXPECT_EQ(r->start, 14);
    EXPECT_EQ(r->envelope.size(), l->envelope.size());
    EXPECT_EQ(r->Name(), rightName);
    EXPECT_EQ(r->Wave(), rightWave);
    EXPECT_TRUE(IsPending(l));
    EXPECT_TRUE(IsPending(r));
}

TEST_F(SampleEditingTest, LoopToggleMovesTheLoopBetweenStartAndEnd) {
    const int a = edit->NewSamples({Wav("a.wav", 100)});
    const int b = edit->NewSamples({Wav("b.wav", 200)});
    Made(a)->loopStart = Made(a)->start;
    Made(b)->loopStart = 40;
    edit->Select({a, b});
    edit->ToggleLoops();
    EXPECT_EQ(Made(a)->loopStart, Made(a)->end);
    EXPECT_EQ(Made(b)->loopStart, Made(b)->start);
    edit->ToggleLoops();
    EXPECT_EQ(Made(a)->loopStart, Made(a)->start);
    EXPECT_EQ(Made(b)->loopStart, Made(b)->end);
}

TEST_F(SampleEditingTest, AliasesShareTheWaveAndCannotBeExtracted) {
    const int n = edit->NewSamples({Wav("Kick.wav", 300)});
    edit->Select({n});
    const int alias = edit->MakeAliases();
    ASSERT_GE(alias, 0);
    SampleHeader* a = Made(alias);
    EXPECT_EQ(a->Wave(), Made(n)->Wave());
    EXPECT_NE(a->Name(), Made(n)->Name());
    EXPECT_EQ(a->Name().substr(0, 4), "Kick");
    EXPECT_TRUE(Made(n)->Wave()->UsedBy(alias));
    EXPECT_EQ(emu->AliasOf(alias), n);
    // Marked changed, and sent when the views refreshed.
    EXPECT_TRUE(emu->InRam(kTypeSampleHeader, alias));

    auto rows = edit->Rows();
    auto row = std::find_if(rows.begin(), rows.end(),
                            [&](const SampleRow& r) { return r.number == alias; });
    ASSERT_NE(row, rows.end());
    EXPECT_EQ(row->cells[6], Fmt("(Alias to %d)", n));
    EXPECT_EQ(row->cells[5], "-");

    edit->Select({alias});
    EXPECT_TRUE(edit->PlanExtract().numbers.empty());
}

TEST_F(SampleEditingTest, AStereoAliasIsAPairOfItsOwn) {
    const int left = edit->NewSamples({LoopedWav("st.wav", 500, 2, 60, 100, 400)});
    SampleHeader* right = StereoPartner(*Made(left));
    edit->Select({left});
    const int alias = edit->MakeAliases();
    SampleHeader* aliasRight = StereoPartner(*Made(alias));
    ASSERT_NE(aliasRight, nullptr);
    EXPECT_NE(aliasRight, right);
    EXPECT_EQ(aliasRight->Wave(), right->Wave());
    EXPECT_EQ(StereoPartner(*Made(left)), right);
}

TEST_F(SampleEditingTest, ExtractingSeveralSamplesNamesEachFile) {
    const int kick = edit->NewSamples({Wav("k.wav", 300)});
    const int snare = edit->NewSamples({LoopedWav("s.wav", 200, 2, 62, 20, 150)});
    Made(kick)->SetName("Kick");
    Made(snare)->SetName("Snare");
    edit->Select({kick});
    ExtractPlan one = edit->PlanExtract();
    EXPECT_EQ(one.proposedName, "Kick.wav");
    EXPECT_NE(one.warning.find("Do not save this extracted"), std::string::npos);

    edit->Select({kick, snare, 0});  // the ROM header does not qualify
    ExtractPlan plan = edit->PlanExtract();
    EXPECT_EQ(plan.numbers, (std::vector<int>{kick, snare}));
    EXPECT_EQ(plan.proposedName, "$$.wav");
    fs::create_directory(Dir() / "out");
    EXPECT_EQ(edit->Extract(plan, (Dir() / "out" / "$$.wav").string()), 2);

    WavWaveData k((Dir() / "out" / "Kick.wav").string(), 0, kWholeFile, true);
    WavWaveData s((Dir() / "out" / "Snare.wav").string(), 0, kWholeFile, true);
    EXPECT_EQ(k.formatTag, 1);
    EXPECT_EQ(k.channels, 1);
    EXPECT_EQ(k.Length(), 600);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.Length(), 400);
    EXPECT_EQ(s.LoopStart(), 20);
}

class WaveEditorTest : public SampleEditingTest {
  protected:
    void SetUp() override {
        SampleEditingTest::SetUp();
        app->Options().waveEditorPath = "/usr/bin/wave-editor";
        path = LoopedWav("w.wav", 1000, 1, 60, 100, 900);
        number = edit->NewSamples({path});
        edit->Select({number});
        prompter.Clear();
    }
    // An editor that writes `bytes` over the file it is given (none: leaves it alone).
    SampleEditing::EditorRunner Editor(std::optional<std::vector<uint8_t>> bytes) {
        return [this, bytes](const std::string& program, const std::string& file) {
            ++runs;
            givenProgram = program;
            givenFile = file;
            EXPECT_EQ(fs::path(file).filename().string().rfind("TalmeruTemp", 0), 0u);
            EXPECT_EQ(ReadWholeFile(file), ReadWholeFile(path));
            if (bytes) {
                EXPECT_TRUE(WriteWholeFile(file, *bytes));
                // A later time than the copy's, however coarse the file system's clock.
                fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(2));
            }
        };
    }
    SampleEditing::ChangesChooser Choose(std::optional<int> what) {
        return [this, what](const std::string& p, const WaveEditOffer& o) {
            offered = o;
            offeredPath = p;
            return what;
        };
    }
    std::vector<uint8_t> EditedWav(int frames, std::optional<uint32_t> unity, bool loop) {
        WavPlan plan;
        plan.data = Pcm16({Ramp(frames, 7, 1)});
        plan.unity = unity;
        if (loop) plan.loops = {{0, 50, 250, 0}};
        return MakeWav(plan);
    }

    std::string path, givenProgram, givenFile, offeredPath;
    int number = -1, runs = 0;
    std::optional<WaveEditOffer> offered;
};

TEST_F(WaveEditorTest, NeedsAnEditorPath) {
    app->Options().waveEditorPath.clear();
    EXPECT_FALSE(edit->RunWaveEditor(Editor(std::nullopt), Choose(0)));
    EXPECT_TRUE(prompter.Saw("No wave editor defined in properties."));
    EXPECT_EQ(runs, 0);
}

TEST_F(WaveEditorTest, AnEditorThatSavesNothingChangesNothing) {
    const auto before = ReadWholeFile(path);
    EXPECT_FALSE(edit->RunWaveEditor(Editor(std::nullopt), Choose(kUpdateWaveform)));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(givenProgram, "/usr/bin/wave-editor");
    EXPECT_FALSE(offered.has_value());
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_FALSE(fs::exists(givenFile));
}

TEST_F(WaveEditorTest, SavedChangesAreOfferedAndTakenBack) {
    SampleHeader* h = Made(number);
    const int oldStart = h->start;
    EXPECT_TRUE(edit->RunWaveEditor(Editor(EditedWav(600, 67, true)),
                                    Choose(kUpdateNote | kUpdatePoints | kUpdateWaveform)));
    ASSERT_TRUE(offered.has_value());
    EXPECT_EQ(offeredPath, h->Wave()->path);
    EXPECT_TRUE(offered->noteAvailable);
    EXPECT_EQ(offered->noteText, "Old note:  C4 New note:  G4");
    EXPECT_TRUE(offered->pointsAvailable);
    // The files' loops end at points 900 and 250: the samples end one point after them.
    EXPECT_EQ(offered->pointsText,
              Fmt("Old settings: %d 200 1802\r\nNew settings: 0 100 502", oldStart));
    // The file itself now holds the edit, and so do the header and the synthesizer.
    EXPECT_EQ(ReadWholeFile(path), EditedWav(600, 67, true));
    EXPECT_FALSE(fs::exists(givenFile));
    EXPECT_EQ(h->loopStart, 100);
    EXPECT_EQ(h->end, 502);
    EXPECT_EQ(NearestKey(RootKeyOf(*h)), 67);
    EXPECT_TRUE(SentData(number, Pcm16({Ramp(600, 7, 1)})));
}

TEST_F(WaveEditorTest, AFileWithoutNoteOrLoopOffersOnlyTheWaveform) {
    SampleHeader* h = Made(number);
    const int pitch = h->pitch, end = h->end;
    EXPECT_TRUE(
        edit->RunWaveEditor(Editor(EditedWav(300, std::nullopt, false)), Choose(kUpdateWaveform)));
    ASSERT_TRUE(offered.has_value());
    EXPECT_FALSE(offered->noteAvailable);
    EXPECT_EQ(offered->noteText, "(No Original Key Info)");
    EXPECT_FALSE(offered->pointsAvailable);
    EXPECT_EQ(offered->pointsText, "(No Loop Info)");
    EXPECT_EQ(h->pitch, pitch);
    EXPECT_EQ(h->end, end);
    EXPECT_TRUE(SentData(number, Pcm16({Ramp(300, 7, 1)})));
}

TEST_F(WaveEditorTest, ADamagedResultLeavesTheSampleAlone) {
    const auto before = ReadWholeFile(path);
    EXPECT_FALSE(edit->RunWaveEditor(Editor(std::vector<uint8_t>{'R', 'I', 'F', 'F'}),
                                     Choose(kUpdateWaveform)));
    EXPECT_FALSE(offered.has_value());
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_FALSE(prompter.Messages().empty());
}

TEST_F(SampleEditingTest, PresetsApplyToEverySelectedHeader) {
    const int a = edit->NewSamples({Wav("a.wav", 100)});
    const int b = edit->NewSamples({Wav("b.wav", 100)});
    Made(a)->envelope = {{5, 10}, {0, 0}, {-1, 0}, {-2, 0}};
    edit->Select({a});
    const int index = edit->AddPreset("Mine");
    EXPECT_EQ(index, 2);
    edit->Select({a, b});
    EXPECT_EQ(edit->ApplyPreset(index, "Mine"), 2);
    EXPECT_EQ(Made(b)->envelope.size(), Made(a)->envelope.size());
    EXPECT_EQ(Made(b)->envelope[0].slope, 5);
    EXPECT_EQ(edit->ApplyPreset(0, kFlatEnvName), 2);
    EXPECT_EQ(Made(a)->envelope[1].slope, kDefaultDecaySlope);

    EXPECT_EQ(edit->DeletePreset(1, kPercussiveEnvName), 1);
    EXPECT_TRUE(prompter.Saw("This preset can not be deleted"));
    EXPECT_EQ(edit->DeletePreset(index, "Mine"), 0);
    EXPECT_EQ(EnvelopePresets(app->Settings(), kNaturalEnvelope).Find("Mine"), -1);
}

TEST_F(SampleEditingTest, TheChooserDescribesWaveFilesQuietly) {
    WaveFileInfo info = DescribeWaveFile(LoopedWav("Pad.wav", 300, 2, 61, 10, 200));
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.name, "Pad.wav");
    EXPECT_EQ(info.format, "PCM");
    EXPECT_EQ(info.bits, "16");
    EXPECT_TRUE(info.stereo);
    EXPECT_EQ(info.originalNote, "C#4");
    EXPECT_EQ(info.samples, "600");
    EXPECT_EQ(DescribeWaveFile(Wav("plain.wav", 10)).originalNote, "");

    const std::string junk = (Dir() / "junk.wav").string();
    ASSERT_TRUE(WriteWholeFile(junk, {'x'}));
    info = DescribeWaveFile(junk);
    EXPECT_FALSE(info.readable);
    EXPECT_EQ(info.name, "junk.wav");
    EXPECT_FALSE(DescribeWaveFile((Dir() / "missing.wav").string()).readable);
    EXPECT_TRUE(prompter.All().empty());
}

TEST_F(SampleEditingTest, DeleteOnlyExplains) {
    const int n = edit->NewSamples({Wav("a.wav", 100)});
    edit->Select({n});
    edit->DeleteCommand();
    EXPECT_NE(Made(n), nullptr);
    EXPECT_TRUE(prompter.Saw(
        "To delete samples, remove all references to them from the keymaps, and then select the "
        "\"Edit|Purge Unused\" menu command."));
}

}  // namespace
}  // namespace talmeru::test

namespace talmeru::test {
namespace {

// A tone of period 100 frames at 44100 Hz (441 Hz) with two overtones, looped over
// [loopStart, loopEnd) frames, the file's unity note given wrongly as 60.
std::vector<int16_t> ToneFrames(int frames, double scale) {
    std::vector<int16_t> out;
    for (int i = 0; i < frames; ++i) {
        const double t = 2 * std::numbers::pi * i / 100.0;
        out.push_back(static_cast<int16_t>(
            std::lround(scale * (9000 * std::sin(t) + 4000 * std::sin(2 * t + 1) +
                                 2000 * std::sin(3 * t + 2)))));
    }
    return out;
}

class SampleViewLogicTest : public SampleEditingTest {
  protected:
    int ToneSample(const std::string& name, int frames, int channels, uint32_t loopStart,
                   uint32_t loopEnd) {
        WavPlan plan;
        plan.channels = channels;
        std::vector<std::vector<int16_t>> ch;
        for (int c = 0; c < channels; ++c)
            ch.push_back(ToneFrames(frames, 1.0 - 0.3 * c));
        plan.data = Pcm16(ch);
        plan.unity = 60;
        plan.loops = {{0, loopStart, loopEnd, 0}};
        const std::string path = (Dir() / name).string();
        EXPECT_TRUE(WriteWholeFile(path, MakeWav(plan)));
        const int n = edit->NewSamples({path});
        edit->Select({n});
        return n;
    }
};

TEST_F(SampleViewLogicTest, MarkersFindLoopAndDetectPitchWriteTheHeaderAndItsPartner) {
    const int n = ToneSample("tone.wav", 44100, 2, 10017, 30055);
    SampleHeader* h = Made(n);
    ASSERT_NE(h, nullptr);
    SampleHeader* r = StereoPartner(*h);
    ASSERT_NE(r, nullptr);
    const auto frames = edit->Frames(*h);
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->Frames(), 44100);
    EXPECT_EQ(frames->Data()[25], ToneFrames(26, 1.0)[25]);
    EXPECT_EQ(edit->Frames(*h), frames);  // read once
    EXPECT_NE(edit->Frames(*r), frames);
    EXPECT_EQ(SampleEditing::PointsInFrames(*h).loop, 10017);

    // A marker dropped at a frame stores it as the field does: in bytes of 16-bit data.
    EXPECT_EQ(edit->MovePoint(kPointEnd, 30001), 1);
    EXPECT_EQ(h->end, 60002);
    EXPECT_EQ(r->end, 60002);
    EXPECT_TRUE(IsPending(h) && IsPending(r));
    app->FlushPendingEdits();

    EXPECT_EQ(edit->FindLoop(), 1);
    const SampleEditing::FramePoints p = SampleEditing::PointsInFrames(*h);
    EXPECT_EQ((p.end - p.loop) % 100, 0) << p.loop << " " << p.end;
    EXPECT_LE(std::abs(p.end - 30001), 1024);
    EXPECT_EQ(r->loopStart, h->loopStart);
    EXPECT_EQ(r->end, h->end);
    EXPECT_TRUE(IsPending(h) && IsPending(r));
    EXPECT_EQ(edit->FindLoop(), 0);  // already the best join
    app->FlushPendingEdits();

    const double truth = KeyOfFrequency(441.0);
    EXPECT_NEAR(RootKeyOf(*h), 60.0, 0.01);
    EXPECT_EQ(edit->DetectPitch(), 1);
    EXPECT_NEAR(RootKeyOf(*h), truth, 0.01);  // a cent, as the header's 1/256 steps allow
    EXPECT_EQ(r->pitch, h->pitch);
    EXPECT_TRUE(IsPending(h));

    // A sample that does not loop gets a loop proposed near its middle.
    EXPECT_EQ(edit->SetPoint(kPointLoop, "-1"), 1);
    ASSERT_TRUE(edit->ProposeLoop());
    EXPECT_NEAR(static_cast<double>(edit->ProposeLoop()->loopStart), (p.end) / 2.0, 1200);

    // ROM headers have no frames to read.
    for (int i = 0; i < kSlotCount; ++i) {
        SampleHeader* rom = app->Bank().GetSampleHeader(i);
        if (!rom || !IsRomHeader(*rom)) continue;
        EXPECT_EQ(edit->Frames(*rom), nullptr);
        edit->Select({i});
        EXPECT_EQ(edit->FindLoop(), 0);
        EXPECT_EQ(edit->DetectPitch(), 0);
        break;
    }
}

TEST_F(SampleViewLogicTest, HeldPlayLoopsTheSampleOnAProgramOfItsOwn) {
    // Half a second of tone, looped: still sounding after two seconds only through its loop.
    const int n = ToneSample("held.wav", 22050, 1, 10000, 20000);
    SampleHeader* h = Made(n);
    ASSERT_NE(h, nullptr);
    // An envelope that holds its level while the key is down.
    h->envelope = {{0, 0}, {0, 0}, {-2046, 0}};
    app->Changed(*h);
    const int current = app->Editing().CurrentNumber();
    auto programs = [this] {
        int count = 0;
        for (int i = 0; i < kSlotCount; ++i)
            count += app->Bank().GetProgram(i) != nullptr;
        return count;
    };
    const int programsBefore = programs();
    emu->SetAudioRate(44100);
    SampleAudition audition(*app);
    ASSERT_TRUE(audition.Start(n));
    emu->Flush();
    const int program = audition.ProgramNumber();
    EXPECT_TRUE(emu->InRam(kTypeProgram, program));
    EXPECT_EQ(app->Bank().GetProgram(program), nullptr);
    EXPECT_EQ(programs(), programsBefore);
    EXPECT_EQ(emu->ChannelProgram(app->Synth().AuditionChannel()), program % 128);
    EXPECT_EQ(audition.Key(), 60);  // the file's unity note
    EXPECT_EQ(emu->SoundingNotes(),
              (std::set<std::pair<int, int>>{{app->Synth().AuditionChannel(), 60}}));

    // Two seconds of a half-second sample: the last block still sounds as loud as the first.
    std::vector<float> left(4410), right(4410);
    std::vector<double> peaks;
    for (int block = 0; block < 20; ++block) {
        emu->Render(left.data(), right.data(), 4410);
        double peak = 0;
        for (float v : left)
            peak = std::max(peak, double(std::abs(v)));
        peaks.push_back(peak);
    }
    EXPECT_GT(peaks.front(), 1e-3);
    EXPECT_GT(peaks.back(), 0.9 * peaks.front());

    audition.Stop();
    emu->Flush();
    EXPECT_TRUE(emu->SoundingNotes().empty());
    EXPECT_FALSE(emu->InRam(kTypeProgram, program));
    EXPECT_EQ(emu->ChannelProgram(app->Synth().AuditionChannel()), current % 128);
    EXPECT_FALSE(audition.Playing());
}

}  // namespace
}  // namespace talmeru::test
