// Whole-bank transfer, per-object upload and the ROM bank cache, end to end against the
// emulator.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/BankFile.h"
#include "files/RomBankCache.h"
#include "files/WaveImport.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "support/BankBuilder.h"
#include "support/LinkFixture.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;

class TransferTest : public test::EmulatorLink {
  protected:
    void SetUp() override {
        EmulatorLink::SetUp();
        dir_ = fs::temp_directory_path() /
               (std::string("talmeru-transfer-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ASSERT_EQ(link->QueryIdentity(), 0);
        ASSERT_EQ(link->QueryMemory(0), 0);
        rom_ = std::make_unique<ZedoDatabase>();
        ASSERT_EQ(DownloadAll(*rom_, *link), 0);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        EmulatorLink::TearDown();
    }
    std::string Wav(const std::string& name, int channels, int frames, int first) {
        test::WavPlan s;
        s.channels = channels;
        std::vector<std::vector<int16_t>> ch;
        for (int c = 0; c < channels; ++c)
            ch.push_back(test::Ramp(frames, first + 1000 * c, 3));
        s.data = test::Pcm16(ch);
        std::string path = (dir_ / name).string();
        EXPECT_TRUE(WriteWholeFile(path, test::MakeWav(s)));
        return path;
    }
    std::vector<uint8_t> Packed(BankObject* o) {
        std::vector<uint8_t> b;
        EXPECT_EQ(o->PackToBlock(b), 0);
        return b;
    }
    fs::path dir_;
    std::unique_ptr<ZedoDatabase> rom_;
};

TEST_F(TransferTest, DownloadGivesExactlyTheEmulatorsRom) {
    EXPECT_EQ(rom_->Path(), "Current Bank");
    int objects = 0;
    for (int type : {1, 2, 3})
        for (int n = 0; n < kSlotCount; ++n) {
            auto held = emu->Object(type, n);
            BankObject* o = rom_->GetObject(type, n);
            ASSERT_EQ(held.has_value(), o != nullptr) << type << "/" << n;
            if (!o) continue;
            EXPECT_EQ(Packed(o), *held) << type << "/" << n;
            ++objects;
        }
    EXPECT_GT(objects, 281 + 77 + 128);
    for (int type : {5, 6})
        for (int n = 0; n < 20; ++n) {
            auto held = emu->Object(type, n);
            const auto* raw = rom_->RawBlock(type, n);
            ASSERT_EQ(held.has_value(), raw != nullptr);
            if (raw) {
                EXPECT_EQ(*raw, *held);
            }
        }
}

TEST_F(TransferTest, GivingUpEndsTheDownloadAtOnce) {
    link->SetTickPeriod(std::chrono::milliseconds(1));
    int before = emu->Requests(0x02) + emu->Requests(0x03);
    emu->InjectFault(emulator::Ma1Fault::kSilent, -1);
    ZedoDatabase db(link.get());
    EXPECT_EQ(DownloadAll(db, *link), 1);
    EXPECT_TRUE(prompter.Saw("Download was cancelled. Not all objects are available"));
    // Only the first keymap was asked for (with its resends).
    EXPECT_LE(emu->Requests(0x02) + emu->Requests(0x03) - before, 6);
    EXPECT_EQ(db.GetSampleHeader(0), nullptr);
}

TEST_F(TransferTest, RestoreRomCopiesTheFactoryObjects) {
    ZedoDatabase db(link.get());
    db.SetPath("/x/old.pbf");
    RestoreRom(db, *rom_, 0);
    EXPECT_EQ(db.GetProgram(0), nullptr);
    EXPECT_EQ(db.Path(), "");  // cleared with the bank, not renamed
    ASSERT_NE(db.GetSampleHeader(280), nullptr);
    EXPECT_EQ(db.GetSampleHeader(280)->RegionName(), "C 4-Bird");
    EXPECT_EQ(db.GetSampleHeader(280)->Wave(), db.GetWaveData(0));
    RestoreRom(db, *rom_, kRestoreRename | kRestorePrograms);
    EXPECT_EQ(db.Path(), "MA-1 GM Bank 0103.pbf");
    EXPECT_FALSE(db.IsModified());
    EXPECT_EQ(Packed(db.GetProgram(0)), Packed(rom_->GetProgram(0)));
}

TEST_F(TransferTest, ARomEqualBankSendsNoObject) {
    ZedoDatabase db(link.get());
    RestoreRom(db, *rom_, kRestorePrograms);
    ThreadUploadHost host;
    ASSERT_EQ(Synchronise(db, rom_.get(), host), 0);
    EXPECT_EQ(emu->Requests(0x03 /* store */), 0);
    for (int type : {1, 2, 3})
        for (int n = 0; n < kSlotCount; ++n)
            EXPECT_FALSE(emu->InRam(type, n)) << type << "/" << n;
    EXPECT_EQ(emu->Memory().programFree, emu->Memory().programTotal);
    EXPECT_FALSE(db.GetProgram(0)->marked);  // marks cleared after success
}

TEST_F(TransferTest, RamSamplesStereoAndAliasesArriveExactly) {
    ZedoDatabase db(link.get());
    RestoreRom(db, *rom_, kRestorePrograms);
    Program* mono = BuildProgramFromWave(db, Wav("mono.wav", 1, 3000, 5), false, nullptr);
    Program* stereo = BuildProgramFromWave(db, Wav("stereo.wav", 2, 2000, 7), false, nullptr);
    ASSERT_TRUE(mono && stereo);
    SampleHeader* alias = ImportWaveAsSample(
        db,
        db.GetSampleHeader(db.GetKeymap(mono->GetLayer(0)->keymap)->entries[0].sample)
            ->Wave()
            ->path,
        -1, kWholeFile, 0);
    ASSERT_NE(alias, nullptr);
    db.GetKeymap(mono->GetLayer(0)->keymap)->entries[0].topKey = 59;
    db.GetKeymap(mono->GetLayer(0)->keymap)->entries.push_back({127, 0, alias->Number()});
    db.GetProgram(5)->SetName("Edited GM");  // a ROM program that now differs

    ThreadUploadHost host;
    ASSERT_EQ(Synchronise(db, rom_.get(), host), 0);
    EXPECT_TRUE(prompter.Messages().empty());
    for (int type : {1, 2, 3})
        for (int n = 0; n < kSlotCount; ++n) {
            BankObject* mine = db.GetObject(type, n);
            BankObject* factory = rom_->GetObject(type, n);
            bool differs = mine && (!factory || Packed(mine) != Packed(factory));
            ASSERT_EQ(emu->InRam(type, n), differs) << type << "/" << n;
            if (differs) {
                EXPECT_EQ(*emu->Object(type, n), Packed(mine));
            }
        }
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        ASSERT_EQ(w->LoadData(), 0);
        auto held = emu->SampleData(w->base);
        ASSERT_TRUE(held) << w->base;
        ASSERT_GE(held->size(), w->data.size());
        EXPECT_TRUE(std::equal(w->data.begin(), w->data.end(), held->begin()));
        for (const auto& l : w->links)
            EXPECT_EQ(emu->AliasOf(l.number), w->base);
        w->ReleaseData();
    }
    EXPECT_EQ(emu->AliasOf(alias->Number()), alias->Wave()->base);
}

TEST_F(TransferTest, TooLittleSampleRamSkipsOneWaveDataAndSendsTheNext) {
    Open({.sampleRamBytes = 12000});
    ASSERT_EQ(link->QueryIdentity(), 0);
    ASSERT_EQ(link->QueryMemory(0), 0);
    ZedoDatabase db(link.get());
    ASSERT_NE(BuildProgramFromWave(db, Wav("big.wav", 1, 8000, 0), false, nullptr), nullptr);
    ASSERT_NE(BuildProgramFromWave(db, Wav("small.wav", 1, 2000, 0), false, nullptr), nullptr);
    ThreadUploadHost host;
    ASSERT_EQ(Synchronise(db, rom_.get(), host), 0);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0].rfind(
                  "Skipping \"" + (dir_ / "big.wav").string() + "\" (16000 bytes)", 0),
              0u);
    // The message names what will not sound, and where a larger emulator is set.
    const std::string big = "0 " + db.GetProgram(0)->Name();
    EXPECT_NE(prompter.Messages()[0].find("\nPrograms that did not fit: " + big + ".\n"),
              std::string::npos)
        << prompter.Messages()[0];
    EXPECT_NE(prompter.Messages()[0].find("File > Properties"), std::string::npos);
    EXPECT_FALSE(emu->SampleData(0));
    EXPECT_TRUE(emu->SampleData(1));
}

TEST_F(TransferTest, MergedUploadSendsOneBlockAndKeepsEachSamplesStretch) {
    ZedoDatabase db(link.get());
    db.SetPath((dir_ / "bank.pbf").string());
    ASSERT_NE(BuildProgramFromWave(db, Wav("a.wav", 1, 300, 0), false, nullptr), nullptr);
    ASSERT_NE(BuildProgramFromWave(db, Wav("b.wav", 1, 200, 9), false, nullptr), nullptr);
    db.SetMergeWaveData(true);
    ThreadUploadHost host;
    ASSERT_EQ(Synchronise(db, rom_.get(), host), 0);
    ASSERT_EQ(db.WaveDataCount(), 2);
    WaveData* block = db.GetWaveData(1);
    EXPECT_EQ(block->Kind(), kWaveMerged);
    EXPECT_EQ(db.GetSampleHeader(1)->start, 600 + 2);  // b's stretch, after a and two zeros
    EXPECT_EQ(*emu->Object(2, 1), Packed(db.GetSampleHeader(1)));
    auto held = emu->SampleData(block->base);
    ASSERT_TRUE(held);
    EXPECT_EQ((*held)[602], 9);        // b's first sample
    EXPECT_FALSE(emu->SampleData(0));  // one block, not a sample each
}

// Cancels as soon as the worker has reported a given number of objects.
class CancellingHost : public UploadHost, public UploadObserver {
  public:
    explicit CancellingHost(int after) : after_(after) {}
    bool RunUpload(const Work& work) override {
        std::thread worker([&] { result = work(*this, cancel_); });
        worker.join();
        return cancel_.load();
    }
    void ObjectText(const std::string&) override {
        if (++seen >= after_) cancel_ = true;
    }
    int seen = 0, result = -1;

  private:
    int after_;
    std::atomic<bool> cancel_{false};
};

TEST_F(TransferTest, CancelStopsWithinOneSlot) {
    ZedoDatabase db(link.get());
    for (int n = 0; n < 40; ++n)
        db.Store(test::PackedObject(3, 200 + n, "P" + std::to_string(n), test::ProgramBody(1, 0)));
    CancellingHost host(3);
    EXPECT_EQ(Synchronise(db, rom_.get(), host), 1);
    EXPECT_EQ(host.result, 1);
    EXPECT_TRUE(prompter.Saw("You cancelled the upload, things will probably be corrupt..."));
    EXPECT_EQ(host.seen, 3);
    int stored = 0;
    for (int n = 200; n < 240; ++n)
        stored += emu->InRam(3, n);
    EXPECT_EQ(stored, 3);
}

TEST_F(TransferTest, PerObjectUploadRamAccounting) {
    ZedoDatabase db(link.get());
    db.Store(test::PackedObject(3, 300, "New", test::ProgramBody(1, 0)));
    Program* p = db.GetProgram(300);
    std::vector<uint8_t> block = Packed(p);
    int free = static_cast<int>(block.size());
    EXPECT_EQ(p->Upload(*link, nullptr, free), 0);  // exactly enough
    EXPECT_EQ(free, 0);
    EXPECT_TRUE(emu->InRam(3, 300));
    EXPECT_EQ(p->Upload(*link, nullptr, free), 1);
    EXPECT_TRUE(prompter.Saw("Out of Program Memory"));
    // Identical to its ROM counterpart: nothing sent, nothing counted.
    ZedoDatabase copy;
    RestoreRom(copy, *rom_, kRestorePrograms);
    int plenty = 100000;
    int stores = emu->Requests(0x03);
    EXPECT_EQ(copy.GetProgram(3)->Upload(*link, rom_->GetProgram(3), plenty), 0);
    EXPECT_EQ(plenty, 100000);
    EXPECT_EQ(emu->Requests(0x03), stores);
}

// A stereo pair goes as two objects, once each; chains that a damaged bank closes on
// themselves end after one step instead of recursing without end.
TEST_F(TransferTest, StereoChainsSendEachHalfOnceAndNeverLoop) {
    ZedoDatabase db(link.get());
    Keymap* left = db.CreateKeymap("Pair L", 300);
    Keymap* right = db.CreateKeymap("Pair R", 301);
    ASSERT_TRUE(left && right);
    EXPECT_FALSE(PairStereo(*left, *left));
    EXPECT_EQ(left->stereoRole, kMono);
    EXPECT_EQ(left->chained, nullptr);
    ASSERT_TRUE(PairStereo(*left, *right));
    left->marked = right->marked = true;
    const int stores = emu->Requests(0x03);
    const int free = int(emu->Memory().programFree);
    ThreadUploadHost host;
    ASSERT_EQ(UploadMarked(db, rom_.get(), host), 0);
    EXPECT_EQ(emu->Requests(0x03) - stores, 2);
    EXPECT_EQ(free - db.programRamFree, int(Packed(left).size() + Packed(right).size()));

    // Each half claims the other, or itself.
    right->stereoRole = kStereoLeft;
    right->chained = left;
    int plenty = 100000;
    EXPECT_EQ(left->Upload(*link, nullptr, plenty), 0);
    left->chained = left;
    EXPECT_EQ(left->Upload(*link, nullptr, plenty), 0);
}

TEST_F(TransferTest, DeleteMoveAndSwapTellTheSynthesizer) {
    ZedoDatabase db(link.get());
    for (int n : {300, 301}) {
        db.Store(test::PackedObject(3, n, "P" + std::to_string(n), test::ProgramBody(1, 0)));
        int free = 4096;
        ASSERT_EQ(db.GetProgram(n)->Upload(*link, nullptr, free), 0);
    }
    db.MoveProgram(300, 310);
    EXPECT_EQ(db.GetProgram(300), nullptr);
    ASSERT_NE(db.GetProgram(310), nullptr);
    EXPECT_EQ(db.GetProgram(310)->Number(), 310);
    EXPECT_FALSE(emu->InRam(3, 300));
    EXPECT_TRUE(emu->InRam(3, 310));

    db.SwapPrograms(301, 320);  // with an empty number: moves and deletes the old one
    EXPECT_EQ(db.GetProgram(301), nullptr);
    EXPECT_EQ(db.GetProgram(320)->Number(), 320);
    EXPECT_FALSE(emu->InRam(3, 301));
    EXPECT_TRUE(emu->InRam(3, 320));
    db.SwapPrograms(310, 320);
    EXPECT_EQ(db.GetProgram(310)->Name(), "P301");
    EXPECT_EQ(db.GetProgram(320)->Name(), "P300");
    EXPECT_EQ(*emu->Object(3, 310), Packed(db.GetProgram(310)));

    EXPECT_EQ(db.DeleteObject(db.GetProgram(310)), 0);
    EXPECT_FALSE(emu->InRam(3, 310));
    EXPECT_TRUE(db.IsModified());
}

TEST_F(TransferTest, NewSampleSharersAreAliasedAtOnce) {
    ZedoDatabase db(link.get());
    ASSERT_NE(BuildProgramFromWave(db, Wav("a.wav", 1, 500, 0), false, nullptr), nullptr);
    ThreadUploadHost host;
    ASSERT_EQ(Synchronise(db, rom_.get(), host), 0);
    WaveData* w = db.GetWaveData(1);
    w->AddUser(40, link.get());
    EXPECT_EQ(emu->AliasOf(40), w->base);
    EXPECT_FALSE(w->links.back().pending);
    // Removing the base: the first alias becomes it and the data goes again under it.
    db.Store(test::PackedObject(2, 40, "alias", test::SampleBody(0, -1, 1000)));
    db.GetSampleHeader(40)->AttachWave(w, kAttachReference);
    db.DeleteSampleHeader(0);
    EXPECT_EQ(w->base, 40);
    EXPECT_TRUE(emu->SampleData(40));
}

TEST_F(TransferTest, RomBankCacheIsBuiltOnceAndLoadedAfterwards) {
    Profile settings;
    RomBankCache cache(dir_, settings);
    ZedoDatabase scratch(link.get());
    auto first = cache.Load(link.get(), scratch);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(cache.Built());
    EXPECT_TRUE(fs::exists(dir_ / "Rombank0103.pbf"));
    EXPECT_EQ(settings.GetInt("ROM", "DatabaseVersion", 0), 0x0103);
    EXPECT_TRUE(
        prompter.Saw("New Pinnacle Program ROM version 0103 detected.\nThe entire ROM will be "
                     "downloaded now to a cache file, to speed up startup.\nYou will not see this "
                     "message again, unless you upgrade the ROM"));
    EXPECT_EQ(Packed(first->GetProgram(0)), Packed(rom_->GetProgram(0)));

    int fetches = emu->Requests(0x02);
    prompter.Clear();
    auto second = cache.Load(link.get(), scratch);
    EXPECT_FALSE(cache.Built());
    EXPECT_EQ(emu->Requests(0x02), fetches);  // no download this time
    EXPECT_TRUE(prompter.All().empty());
    // Without a synthesizer the 0x0103 cache is used.
    auto offline = cache.Load(nullptr, scratch);
    ASSERT_NE(offline, nullptr);
    EXPECT_NE(offline->GetSampleHeader(0), nullptr);

    RomBankCache empty(dir_ / "nowhere", settings);
    fs::create_directories(dir_ / "nowhere");
    auto none = empty.Load(nullptr, scratch);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->GetSampleHeader(0), nullptr);
    EXPECT_TRUE(prompter.Saw("ROM image not found, and MA-1 device unavailable."));
    EXPECT_TRUE(prompter.Saw("Failed to load the default ROM bank image."));
}

}  // namespace
}  // namespace talmeru
