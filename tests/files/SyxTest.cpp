#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "files/BankFile.h"
#include "files/SyxBank.h"
#include "files/WaveImport.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/ClaimingSource.h"
#include "support/Portability.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"
#include "synth/SynthLink.h"
#include "synth/Sysex.h"

namespace talmeru {
namespace {

using test::PackedObject;

class SyxTest : public test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        rom_.Store(PackedObject(2, 0, "Perc", test::SampleBody(0, 7215, 9037)));
        rom_.Store(PackedObject(2, 1, "Bird", test::SampleBody(2092825, 2094895, 2095688)));
        rom_.Store(PackedObject(1, 0, "GM map", test::KeymapBody({{60, 0, 0}, {127, 0, 1}})));
        rom_.Store(PackedObject(3, 0, "Piano", test::ProgramBody(1, 0)));
        rom_.Store(PackedObject(3, 1, "Organ", test::ProgramBody(2, 0, true)));
        for (int n = 0; n < 2; ++n)
            rom_.GetSampleHeader(n)->AttachWave(rom_.GetWaveData(0), kAttachReference);
    }
    std::string Wav(const std::string& name, int frames, int first) {
        test::WavPlan s;
        s.data = test::Pcm16({test::Ramp(frames, first, 5)});
        return Put(name, test::MakeWav(s));
    }
    std::vector<uint8_t> Packed(BankObject* o) {
        std::vector<uint8_t> b;
        EXPECT_EQ(o->PackToBlock(b), 0);
        return b;
    }
    int Dumps(const std::vector<uint8_t>& f) {
        int n = 0;
        for (size_t i = 0; i + 4 < f.size(); ++i)
            n += f[i] == 0xF0 && f[i + 1] == 0x07 && f[i + 2] == 0x21 && f[i + 4] == 0x03;
        return n;
    }
    ZedoDatabase rom_;
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

TEST_F(SyxTest, ARomEqualBankWritesNoObjectDump) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    ASSERT_EQ(WriteSyx(Path("rom.syx"), db, &rom_), 0);
    EXPECT_EQ(Dumps(*ReadWholeFile(Path("rom.syx"))), 0);
}

TEST_F(SyxTest, WrittenBanksReadBackTheSame) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    db.GetProgram(1)->SetName("Organ edited");
    Program* p = BuildProgramFromWave(db, Wav("a.wav", 700, 3), false, nullptr);
    ASSERT_NE(p, nullptr);
    SampleHeader* shared = ImportWaveAsSample(db, db.GetWaveData(1)->path, 40, kWholeFile, 0);
    ASSERT_NE(shared, nullptr);
    ASSERT_EQ(WriteSyx(Path("bank.syx"), db, &rom_), 0);
    EXPECT_TRUE(prompter_.All().empty());

    ZedoDatabase back;
    ASSERT_EQ(ReadSyx(Path("bank.syx"), back, &rom_), 0);
    EXPECT_TRUE(prompter_.All().empty());
    for (int type : {1, 2, 3})
        for (int n = 0; n < kSlotCount; ++n) {
            BankObject* a = db.GetObject(type, n);
            BankObject* b = back.GetObject(type, n);
            ASSERT_EQ(a == nullptr, b == nullptr) << type << "/" << n;
            if (a) {
                EXPECT_EQ(Packed(a), Packed(b)) << type << "/" << n;
            }
        }
    WaveData* w = back.GetSampleHeader(shared->Number())->Wave();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Kind(), kWaveMa1);
    EXPECT_EQ(back.GetSampleHeader(w->base)->Wave(), w);
    ASSERT_EQ(w->LoadData(), 0);
    ASSERT_EQ(db.GetWaveData(1)->LoadData(), 0);
    EXPECT_TRUE(std::equal(db.GetWaveData(1)->data.begin(), db.GetWaveData(1)->data.end(),
                           w->data.begin()));
    EXPECT_TRUE(back.GetSampleHeader(1)->IsRom());
    EXPECT_EQ(back.GetSampleHeader(1)->RegionName(), "C 4-Bird");

    // Through the open and save dispatch as well.
    SetRomBankProvider([this] { return &rom_; });
    ZedoDatabase opened;
    EXPECT_EQ(OpenBank(opened, Path("bank.syx"), 0), 0);
    EXPECT_EQ(opened.GetProgram(1)->Name(), "Organ edited");
    EXPECT_EQ(SaveBank(opened, Path("again.syx"), 0), 0);
    SetRomBankProvider(nullptr);
    ZedoDatabase none;
    EXPECT_EQ(OpenBank(none, Path("bank.syx"), 0), 1);  // no ROM bank to start from
}

// The sample data of a bank read from a .syx file lies in that file; saving over it (by its
// name or through a link) moves the data, and the bank must read it from its new place.
TEST_F(SyxTest, SavingOverItsOwnFileKeepsTheSampleData) {
    TALMERU_SKIP_ON_WINDOWS("symbolic links");
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    ASSERT_NE(BuildProgramFromWave(db, Wav("a.wav", 3000, 11), false, nullptr), nullptr);
    ASSERT_NE(BuildProgramFromWave(db, Wav("b.wav", 2000, -900), false, nullptr), nullptr);
    std::vector<std::vector<uint8_t>> wanted;
    std::vector<int> samples;
    for (int i : {1, 2}) {
        ASSERT_EQ(db.GetWaveData(i)->LoadData(), 0);
        wanted.push_back(db.GetWaveData(i)->data);
        samples.push_back(db.GetWaveData(i)->base);
    }
    std::vector<uint8_t> image;
    ASSERT_EQ(BuildSyx(db, &rom_, image), 0);
    // Another maker's message first: a save does not write it again, so every sample moves.
    std::vector<uint8_t> foreign{0xF0, 0x43, 0x10};
    foreign.resize(301, 0x11);
    foreign.push_back(0xF7);
    image.insert(image.begin(), foreign.begin(), foreign.end());
    const std::string bank = Put("bank.syx", image);
    std::filesystem::create_symlink("bank.syx", dir_ / "link.syx");

    SetRomBankProvider([this] { return &rom_; });
    ZedoDatabase opened;
    ASSERT_EQ(OpenBank(opened, bank, 0), 0);
    for (const std::string& path : {bank, Path("link.syx"), bank}) {
        ASSERT_EQ(SaveBank(opened, path, 0), 0) << path;
        for (int i : {0, 1}) {
            WaveData* w = opened.GetSampleHeader(samples[size_t(i)])->Wave();
            ASSERT_EQ(w->LoadData(), 0);
            ASSERT_GE(w->data.size(), wanted[size_t(i)].size());
            EXPECT_TRUE(
                std::equal(wanted[size_t(i)].begin(), wanted[size_t(i)].end(), w->data.begin()))
                << path << " sample " << i;
            w->ReleaseData();
        }
    }
    SetRomBankProvider(nullptr);
}

// Sample data comes back as long as it went in, however often the bank goes through a .syx
// file; data shorter than the smallest block comes back filled up to it with silence.
TEST_F(SyxTest, SampleDataKeepsItsLengthThroughRoundTrips) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    struct Case {
        int frames;
        size_t bytesBack;
    };
    const std::vector<Case> cases = {{700, 1400}, {3001, 6002}, {100, 1024}};
    for (const Case& c : cases)
        ASSERT_NE(
            BuildProgramFromWave(db, Wav(Fmt("w%d.wav", c.frames), c.frames, 9), false, nullptr),
            nullptr);
    SetRomBankProvider([this] { return &rom_; });
    ASSERT_EQ(SaveBank(db, Path("one.syx"), 0), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, Path("one.syx"), 0), 0);
    ASSERT_EQ(SaveBank(back, Path("two.syx"), 0), 0);
    ZedoDatabase again;
    ASSERT_EQ(OpenBank(again, Path("two.syx"), 0), 0);
    SetRomBankProvider(nullptr);
    for (size_t i = 0; i < cases.size(); ++i) {
        const int n = db.GetWaveData(int(i) + 1)->base;
        WaveData* original = db.GetSampleHeader(n)->Wave();
        ASSERT_EQ(original->LoadData(), 0);
        for (ZedoDatabase* read : {&back, &again}) {
            WaveData* w = read->GetSampleHeader(n)->Wave();
            ASSERT_EQ(w->LoadData(), 0);
            ASSERT_EQ(w->data.size(), cases[i].bytesBack) << cases[i].frames;
            EXPECT_TRUE(std::equal(original->data.begin(), original->data.end(), w->data.begin()));
            EXPECT_TRUE(std::all_of(w->data.begin() + std::ptrdiff_t(original->data.size()),
                                    w->data.end(), [](uint8_t b) { return b == 0; }));
        }
    }
}

// A sample the writer cannot load is not left out without a word.
TEST_F(SyxTest, InvalidSampleDataRefusesTheSave) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    db.Store(PackedObject(2, 5, "gone", test::SampleBody(0, -1, 10)));
    db.GetSampleHeader(5)->AttachWave(
        db.AddWaveData(std::make_unique<InvalidWaveData>(5, Path("gone.wav"), 0)),
        kAttachReference);
    std::vector<uint8_t> image;
    EXPECT_EQ(BuildSyx(db, &rom_, image), 1);
    EXPECT_TRUE(prompter_.Saw("Some Wave data is invalid, can't save bank"));
    SetRomBankProvider([this] { return &rom_; });
    EXPECT_EQ(SaveBank(db, Path("gone.syx"), 0), 1);
    SetRomBankProvider(nullptr);
    EXPECT_FALSE(std::filesystem::exists(Path("gone.syx")));
}

// A sysex file holds 16-bit data at 44100 Hz: anything else is saved only when the user
// agrees, and 8-bit data is widened to 16 bits, never read back as other data.
TEST_F(SyxTest, EightBitAndOtherRatesAreSavedOnlyWhenAgreed) {
    auto wav = [this](const std::string& name, int bits, uint32_t rate) {
        test::WavPlan plan;
        plan.bits = bits;
        plan.rate = rate;
        for (int f = 0; f < 1500; ++f) {
            if (bits == 8) {
                plan.data.push_back(static_cast<uint8_t>(128 + (f % 200) - 100));
            } else {
                plan.data.push_back(static_cast<uint8_t>(f * 3));
                plan.data.push_back(static_cast<uint8_t>((f * 3) >> 8));
            }
        }
        return Put(name, test::MakeWav(plan));
    };
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    for (const auto& w :
         {wav("Eight.wav", 8, 44100), wav("Slow.wav", 16, 22050), wav("Fine.wav", 16, 44100)})
        ASSERT_NE(BuildProgramFromWave(db, w, false, nullptr), nullptr);
    SampleHeader* eight = db.GetSampleHeader(2);
    ASSERT_EQ(eight->Name(), "Eight");
    eight->loopStart = 100;
    eight->end = 1400;
    SetRomBankProvider([this] { return &rom_; });

    prompter_.QueueAnswer(Answer::No);
    EXPECT_EQ(SaveBank(db, Path("bank.syx"), 0), 1);
    ASSERT_EQ(prompter_.Questions().size(), 1u);
    EXPECT_EQ(prompter_.Questions()[0],
              "A sysex file holds 16-bit samples at 44100 Hz. These samples would change:\n"
              "2 \"Eight\" (8-bit, widened to 16 bits)\n"
              "3 \"Slow\" (22050 Hz, read back as 44100 Hz)\nSave anyway?");
    EXPECT_FALSE(std::filesystem::exists(Path("bank.syx")));

    prompter_.QueueAnswer(Answer::Yes);
    ASSERT_EQ(SaveBank(db, Path("bank.syx"), 0), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, Path("bank.syx"), 0), 0);
    SetRomBankProvider(nullptr);
    SampleHeader* wide = back.GetSampleHeader(2);
    EXPECT_EQ(wide->loopStart, 200);
    EXPECT_EQ(wide->end, 2800);
    EXPECT_EQ(wide->start, eight->start * 2);
    EXPECT_NE(wide->flags & kSixteenBit, 0);
    EXPECT_EQ(eight->loopStart, 100);  // the bank in memory is left as it was
    WaveData* original = eight->Wave();
    ASSERT_EQ(original->LoadData(), 0);
    ASSERT_EQ(wide->Wave()->LoadData(), 0);
    const auto& d = wide->Wave()->data;
    ASSERT_EQ(d.size(), original->data.size() * 2);
    for (size_t i = 0; i < original->data.size(); ++i)
        ASSERT_EQ(static_cast<int16_t>(d[2 * i] | (d[2 * i + 1] << 8)),
                  static_cast<int8_t>(original->data[i]) * 256)
            << i;
    // Other rates keep their data as it was.
    WaveData* slow = db.GetSampleHeader(3)->Wave();
    ASSERT_EQ(slow->LoadData(), 0);
    ASSERT_EQ(back.GetSampleHeader(3)->Wave()->LoadData(), 0);
    EXPECT_EQ(back.GetSampleHeader(3)->Wave()->data, slow->data);
}

// Sample data go into the file in pieces: data longer than a piece (8-bit data widened as it
// goes) comes back whole, the streamed file is the image built in memory, and a source that
// is gone refuses the save and leaves the old file as it was.
TEST_F(SyxTest, LargeSamplesStreamInPiecesAndAFailedSaveKeepsTheOldFile) {
    test::WavPlan eightBit;
    eightBit.bits = 8;
    for (int f = 0; f < 700001; ++f)
        eightBit.data.push_back(static_cast<uint8_t>(f * 7 + f / 251));
    test::WavPlan sixteen;
    for (int f = 0; f < 600003; ++f) {
        sixteen.data.push_back(static_cast<uint8_t>(f * 13));
        sixteen.data.push_back(static_cast<uint8_t>(f / 3));
    }
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    const std::string sixteenPath = Put("big16.wav", test::MakeWav(sixteen));
    ASSERT_NE(BuildProgramFromWave(db, Put("big8.wav", test::MakeWav(eightBit)), false, nullptr),
              nullptr);
    ASSERT_NE(BuildProgramFromWave(db, sixteenPath, false, nullptr), nullptr);
    prompter_.QueueAnswer(Answer::Yes);
    std::vector<uint8_t> image;
    ASSERT_EQ(BuildSyx(db, &rom_, image), 0);
    prompter_.QueueAnswer(Answer::Yes);
    ASSERT_EQ(WriteSyx(Path("big.syx"), db, &rom_), 0);
    const auto written = *ReadWholeFile(Path("big.syx"));
    EXPECT_TRUE(written == image);

    ZedoDatabase back;
    ASSERT_EQ(ReadSyx(Path("big.syx"), back, &rom_), 0);
    for (int i : {1, 2}) {
        WaveData* original = db.GetWaveData(i);
        WaveData* w = back.GetSampleHeader(original->base)->Wave();
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(original->LoadData(), 0);
        ASSERT_EQ(w->LoadData(), 0);
        const auto& o = original->data;
        if (original->bitsHeld == 8) {
            ASSERT_EQ(w->data.size(), 2 * o.size());
            size_t wrong = 0;
            for (size_t k = 0; k < o.size(); ++k)
                wrong += w->data[2 * k] != 0 || w->data[2 * k + 1] != o[k];
            EXPECT_EQ(wrong, 0u);
        } else {
            EXPECT_EQ(w->data, o);
        }
        original->ReleaseData();
    }

    std::filesystem::remove(sixteenPath);
    prompter_.QueueAnswer(Answer::Yes);
    SetRomBankProvider([this] { return &rom_; });
    EXPECT_EQ(SaveBank(db, Path("big.syx"), 0), 1);
    SetRomBankProvider(nullptr);
    EXPECT_TRUE(prompter_.Saw("Sysex save was not totally successful."));
    EXPECT_TRUE(*ReadWholeFile(Path("big.syx")) == written);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_))
        ++files;
    EXPECT_EQ(files, 2u);  // big8.wav and big.syx: no temporary file is left
}

// A file with nothing of the MA-1 in it, or cut short anywhere, is reported as damaged; what
// came before the damage is kept. A bank the same as the ROM still reads back.
TEST_F(SyxTest, DamagedOrCutShortFilesFailButKeepWhatWasRead) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    std::vector<uint8_t> romEqual;
    ASSERT_EQ(BuildSyx(db, &rom_, romEqual), 0);
    ZedoDatabase same;
    EXPECT_EQ(ReadSyx(Put("rom.syx", romEqual), same, &rom_), 0);
    EXPECT_TRUE(prompter_.All().empty());

    db.GetProgram(1)->SetName("Organ edited");
    ASSERT_NE(BuildProgramFromWave(db, Wav("a.wav", 3000, 3), false, nullptr), nullptr);
    ASSERT_NE(ImportWaveAsSample(db, db.GetWaveData(1)->path, 40, kWholeFile, 0), nullptr);
    std::vector<uint8_t> whole;
    ASSERT_EQ(BuildSyx(db, &rom_, whole), 0);
    // Where each message starts: sample data, its alias, then the objects.
    std::vector<size_t> starts;
    for (size_t i = 0; i + 4 < whole.size(); ++i)
        if (whole[i] == 0xF0 && whole[i + 1] == 0x07 && whole[i + 2] == 0x21) starts.push_back(i);
    ASSERT_GE(starts.size(), 4u);
    ASSERT_EQ(whole[starts[0] + 4], 5);
    ASSERT_EQ(whole[starts[1] + 4], 6);

    std::mt19937 gen(5);
    std::vector<uint8_t> noise(3000);
    for (auto& b : noise)
        b = static_cast<uint8_t>(gen() % 0xF0);
    noise[100] = 0xF0;
    noise[2000] = 0xF7;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool sampleKept;
    };
    auto upTo = [&](size_t n) { return std::vector<uint8_t>(whole.begin(), whole.begin() + n); };
    for (const Case& c : {Case{"empty", {}, false}, Case{"noise", noise, false},
                          Case{"in the sample data", upTo(starts[0] + 500), false},
                          Case{"in the alias", upTo(starts[1] + 6), true},
                          Case{"in the last object", upTo(whole.size() - 1), true}}) {
        prompter_.Clear();
        const std::string path = Put("damaged.syx", c.bytes);
        ZedoDatabase back;
        EXPECT_EQ(ReadSyx(path, back, &rom_), 1) << c.name;
        EXPECT_TRUE(prompter_.Saw(path + " is damaged or cut short")) << c.name;
        EXPECT_EQ(back.GetProgram(0)->Name(), "Piano") << c.name;  // the ROM underneath
        bool kept = false;
        for (int i = 0; i < back.WaveDataCount(); ++i)
            kept = kept || (back.GetWaveData(i)->Kind() == kWaveMa1 &&
                            back.GetWaveData(i)->base == db.GetWaveData(1)->base);
        EXPECT_EQ(kept, c.sampleKept) << c.name;
    }
}

// The reader holds a window of the file, however large the file or the sizes it claims: sample
// data are stepped over, stray bytes after the bank are scanned a window at a time.
TEST_F(SyxTest, ReadsThroughAWindowWhateverTheFileClaims) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    db.GetProgram(1)->SetName("Organ edited");
    ASSERT_NE(BuildProgramFromWave(db, Wav("a.wav", 3000, 3), false, nullptr), nullptr);
    std::vector<uint8_t> image;
    ASSERT_EQ(BuildSyx(db, &rom_, image), 0);
    const std::string path = Put("bank.syx", image);
    // A sample-data message whose block claims nearly 4 GB in a file of 64 MB.
    std::vector<uint8_t> lying = image;
    const uint8_t ma1[] = {0xF0, 0x07, 0x21};
    const auto data = std::search(lying.begin(), lying.end(), std::begin(ma1), std::end(ma1));
    ASSERT_EQ(data[4], 5);
    const auto head = SynthLink::SampleDataHead(0, 0xFFFFFFF0u);
    std::copy(head.begin(), head.end(), data);
    for (const auto& [name, bytes, rc] :
         {std::tuple{"bank then zeros", image, 0}, std::tuple{"lying block", lying, 1}}) {
        prompter_.Clear();
        test::ClaimingSource big(bytes, uint64_t{64} << 20);
        ZedoDatabase back;
        EXPECT_EQ(ReadSyx(big, path, back, &rom_), rc) << name;
        EXPECT_LE(big.largest, size_t{1} << 20) << name;
        if (rc == 0) {
            EXPECT_EQ(back.GetProgram(1)->Name(), "Organ edited");
            EXPECT_TRUE(prompter_.All().empty());
        } else {
            EXPECT_TRUE(prompter_.Saw(path + " is damaged or cut short"));
        }
    }
}

// Sample data that no sample header plays is reported: the synthesizer would refuse it.
TEST_F(SyxTest, SampleDataWithoutAHeaderIsReported) {
    ZedoDatabase db;
    RestoreRom(db, rom_, kRestorePrograms);
    ASSERT_NE(ImportWaveAsSample(db, Wav("a.wav", 600, 1), 77, kWholeFile, 0), nullptr);
    std::vector<uint8_t> image;
    ASSERT_EQ(BuildSyx(db, &rom_, image), 0);
    // The sample data goes first, its header last: leave the header out.
    const std::vector<uint8_t> ma1{0xF0, 0x07, 0x21};
    auto header = std::find_end(image.begin(), image.end(), ma1.begin(), ma1.end());
    ASSERT_EQ(header[4], 3);
    std::vector<uint8_t> dataOnly(image.begin(), header);
    ASSERT_GT(dataOnly.size(), 1200u);
    ZedoDatabase back;
    EXPECT_EQ(ReadSyx(Put("orphan.syx", dataOnly), back, &rom_), 1);
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"Bad Add Sample"});
    ASSERT_EQ(back.WaveDataCount(), 2);  // kept with the rest of what was read
    EXPECT_EQ(back.GetWaveData(1)->base, 77);
    EXPECT_EQ(back.GetProgram(0)->Name(), "Piano");
}

std::vector<uint8_t> ObjectDump(const std::vector<uint8_t>& block) {
    return BuildMessage(0x03, block);
}

TEST_F(SyxTest, ReaderSkipsForeignMessagesAndReportsDamage) {
    std::vector<uint8_t> f = ObjectDump(PackedObject(3, 7, "First", test::ProgramBody(1, 0)));
    for (uint8_t b : {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7})
        f.push_back(b);  // another maker's message
    auto second = ObjectDump(PackedObject(3, 8, "Second", test::ProgramBody(1, 0)));
    f.insert(f.end(), second.begin(), second.end());
    ZedoDatabase db;
    ASSERT_EQ(ReadSyx(Put("two.syx", f), db, &rom_), 0);
    EXPECT_EQ(db.GetProgram(7)->Name(), "First");
    EXPECT_EQ(db.GetProgram(8)->Name(), "Second");
    EXPECT_EQ(db.GetProgram(0)->Name(), "Piano");  // the ROM copy underneath

    auto alias = BuildMessage(0x06, std::vector<uint8_t>{0, 0, 5, 0});
    ZedoDatabase a;
    EXPECT_EQ(ReadSyx(Put("alias.syx", alias), a, &rom_), 1);
    EXPECT_TRUE(prompter_.Saw("Sample alias without Sample"));

    std::vector<uint8_t> endless{0xF0, 0x07, 0x21, 0x01, 0x03};
    endless.resize(9000, 0x11);
    ZedoDatabase e;
    EXPECT_EQ(ReadSyx(Put("endless.syx", endless), e, &rom_), 1);
    EXPECT_TRUE(prompter_.Saw("File corrupted"));

    // A last message cut short ends the reading, and the file is reported as damaged.
    auto cut = ObjectDump(PackedObject(3, 9, "Cut", test::ProgramBody(1, 0)));
    cut.resize(cut.size() - 3);
    prompter_.Clear();
    ZedoDatabase c;
    EXPECT_EQ(ReadSyx(Put("cut.syx", cut), c, &rom_), 1);
    EXPECT_EQ(prompter_.Messages(),
              std::vector<std::string>{Path("cut.syx") + " is damaged or cut short"});
    EXPECT_EQ(c.GetProgram(9), nullptr);

    ZedoDatabase missing;
    EXPECT_EQ(ReadSyx(Path("none.syx"), missing, &rom_), 1);
}

}  // namespace
}  // namespace talmeru
