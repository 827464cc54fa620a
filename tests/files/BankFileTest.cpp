#include <gtest/gtest.h>

#include <filesystem>

#include "files/BankFile.h"
#include "files/BankFormats.h"
#include "files/Pbf.h"
#include "files/WaveImport.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/Fifo.h"
#include "support/Portability.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;
using test::PackedObject;

class BankFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("talmeru-bankfile-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        test::PbfImage img;
        img.programs = {PackedObject(3, 7, "Strings", test::ProgramBody(1, 2))};
        img.keymaps = {PackedObject(1, 2, "map", test::KeymapBody({{127, 0, 4}}))};
        img.samples = {PackedObject(2, 4, "Bird", test::SampleBody(2092825, 2094895, 2095688))};
        bank_ = dir_ / "bank.pbf";
        ASSERT_TRUE(WriteWholeFile(bank_, img.Build()));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(dir_))
            out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path dir_, bank_;
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

TEST_F(BankFileTest, OpenChoosesTheReaderByExtension) {
    ZedoDatabase db;
    db.SetModified();
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    EXPECT_EQ(db.Path(), bank_.string());
    EXPECT_FALSE(db.IsModified());
    EXPECT_NE(db.GetProgram(7), nullptr);

    // ".pbf" anywhere in the path counts, upper case too.
    fs::create_directories(dir_ / "old.PBF.d");
    fs::copy_file(bank_, dir_ / "old.PBF.d" / "bank.bak");
    EXPECT_EQ(OpenBank(db, (dir_ / "old.PBF.d" / "bank.bak").string(), 0), 0);
    EXPECT_NE(db.GetProgram(7), nullptr);

    EXPECT_EQ(OpenBank(db, (dir_ / "sound.k25").string(), 0), 1);
    EXPECT_EQ(OpenBank(db, (dir_ / "notes.txt").string(), 0), 1);
    EXPECT_TRUE(prompter_.All().empty());  // unknown extensions fail without a message
    EXPECT_EQ(db.GetProgram(7), nullptr);  // the bank was emptied first

    const std::string missing = (dir_ / "missing.pbf").string();
    EXPECT_EQ(OpenBank(db, missing, kOpenQuiet), 1);
    EXPECT_TRUE(
        prompter_.Saw("problem with opening\n\"" + missing + "\": No such file or directory"));
    EXPECT_EQ(db.OpenOptions(), kOpenQuiet);
}

TEST_F(BankFileTest, SaveReplacesTheFileOnlyWhenComplete) {
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    db.SetModified();
    fs::path copy = dir_ / "copy.pbf";
    ASSERT_EQ(SaveBank(db, copy.string(), 0), 0);
    EXPECT_EQ(db.Path(), copy.string());
    EXPECT_FALSE(db.IsModified());
    EXPECT_EQ(Files(), (std::vector<fs::path>{"bank.pbf", "copy.pbf"}));  // no temporary left

    // Saving over an existing file replaces it.
    db.GetProgram(7)->SetName("Renamed");
    ASSERT_EQ(SaveBank(db, copy.string(), 0), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, copy.string(), 0), 0);
    EXPECT_EQ(back.GetProgram(7)->Name(), "Renamed");
}

TEST_F(BankFileTest, SaveToAnImportExtensionWritesNothing) {
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    db.SetModified();
    EXPECT_EQ(SaveBank(db, (dir_ / "out.krz").string(), 0), 1);
    EXPECT_EQ(Files(), std::vector<fs::path>{"bank.pbf"});
    EXPECT_TRUE(db.IsModified());
    EXPECT_EQ(db.Path(), bank_.string());
}

TEST_F(BankFileTest, ReadOnlyTargetIsKeptAndTheBankStaysUnsaved) {
    TALMERU_SKIP_ON_WINDOWS("POSIX permissions");
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    auto before = ReadWholeFile(bank_);
    fs::permissions(bank_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    db.GetProgram(7)->SetName("Edited");
    db.SetModified();
    fs::path elsewhere = dir_ / "other.pbf";
    db.SetPath(elsewhere.string());
    EXPECT_EQ(SaveBank(db, bank_.string(), 0), 1);
    EXPECT_TRUE(prompter_.Saw("Error deleting old bank file."));
    EXPECT_EQ(ReadWholeFile(bank_), before);
    EXPECT_TRUE(db.IsModified());  // the edits are not in any bank file yet
    EXPECT_EQ(db.Path(), elsewhere.string());
    // Refused before anything was built or written: no temporary file is left.
    EXPECT_EQ(Files(), std::vector<fs::path>{"bank.pbf"});
}

// A save writes the file a link leads to and keeps its permissions; a FIFO or a folder in the
// bank's place is refused.
TEST_F(BankFileTest, SaveReplacesOnlyRegularFilesThroughLinks) {
    TALMERU_SKIP_ON_WINDOWS("POSIX permissions, symbolic links and FIFOs");
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(bank_, mode);
    fs::create_symlink("bank.pbf", dir_ / "link.pbf");
    db.GetProgram(7)->SetName("Linked");
    ASSERT_EQ(SaveBank(db, (dir_ / "link.pbf").string(), 0), 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.pbf"));
    EXPECT_EQ(db.Path(), (dir_ / "link.pbf").string());
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, bank_.string(), 0), 0);
    EXPECT_EQ(back.GetProgram(7)->Name(), "Linked");
    EXPECT_EQ(fs::status(bank_).permissions(), mode);

    test::FifoGuard fifo(dir_ / "pipe.pbf");
    fs::create_directories(dir_ / "folder.tmb");
    struct Case {
        const char* name;
        const char* kind;
    };
    for (const Case& c : {Case{"pipe.pbf", "a FIFO"}, Case{"folder.tmb", "a folder"}}) {
        const std::string path = (dir_ / c.name).string();
        prompter_.Clear();
        db.SetModified();
        EXPECT_EQ(SaveBank(db, path, 0), 1) << c.name;
        EXPECT_TRUE(prompter_.Saw("\"" + path + "\" is " + c.kind + ", not a regular file."))
            << c.name;
        EXPECT_TRUE(db.IsModified());
    }
    EXPECT_FALSE(fifo.Opened());
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.pbf"));
    EXPECT_EQ(Files(), (std::vector<fs::path>{"bank.pbf", "folder.tmb", "link.pbf", "pipe.pbf"}));
}

// Notes what the bank's folder holds whenever a message comes.
class ListingPrompter : public ScriptedPrompter {
  public:
    explicit ListingPrompter(fs::path dir) : dir_(std::move(dir)) {}
    void Message(const std::string& text) override {
        for (const auto& e : fs::directory_iterator(dir_))
            seen.push_back(e.path().filename().string());
        ScriptedPrompter::Message(text);
    }
    std::vector<std::string> seen;

  private:
    fs::path dir_;
};

// A save that stops while the bank is built (here a sample file gone) has made no file yet.
TEST_F(BankFileTest, TheTemporaryFileComesOnlyOnceTheBankIsBuilt) {
    test::WavPlan plan;
    plan.data = test::Pcm16({test::Ramp(400, 0, 3)});
    fs::path wav = dir_ / "gone.wav";
    ASSERT_TRUE(WriteWholeFile(wav, test::MakeWav(plan)));
    ZedoDatabase db;
    ASSERT_NE(ImportWaveAsSample(db, wav.string(), -1, kWholeFile, 0), nullptr);
    fs::remove(wav);
    ListingPrompter listing(dir_);
    ScopedPrompter scope(listing);
    EXPECT_EQ(SaveBank(db, (dir_ / "out.tmb").string(), 0), 1);
    ASSERT_TRUE(listing.Saw("Failed to open sample file \"" + wav.string() + "\".\n"));
    for (const auto& name : listing.seen)
        EXPECT_EQ(name.rfind("TalmeruTemp", 0), std::string::npos) << name;
    EXPECT_EQ(Files(), std::vector<fs::path>{"bank.pbf"});
}

TEST_F(BankFileTest, FailedWriterLeavesNoTraces) {
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    auto before = ReadWholeFile(bank_);
    db.SetMerged(true);
    db.SetModified();
    EXPECT_EQ(SaveBank(db, bank_.string(), 0), 1);
    EXPECT_TRUE(prompter_.Saw("Sorry, you can't save a bank with merged wave data"));
    EXPECT_EQ(ReadWholeFile(bank_), before);
    EXPECT_EQ(Files(), std::vector<fs::path>{"bank.pbf"});
    EXPECT_TRUE(db.IsModified());

    db.SetMerged(false);  // the bank is built first: now only the missing folder fails
    EXPECT_EQ(SaveBank(db, (dir_ / "no-such-folder" / "x.pbf").string(), 0), 1);
    EXPECT_TRUE(prompter_.Saw("problem with saving\nNo temporary file can be made in \"" +
                              (dir_ / "no-such-folder").string() +
                              "\": No such file or directory"));
}

// Every reader would wait on a FIFO for a writer that never comes.
TEST_F(BankFileTest, OpenRefusesWhatIsNotARegularFile) {
    TALMERU_SKIP_ON_WINDOWS("FIFOs");
    ZedoDatabase rom;
    SetRomBankProvider([&rom] { return &rom; });
    for (const char* name :
         {"pipe.pbf", "pipe.tmb", "pipe.syx", "pipe.sf2", "pipe.krz", "pipe.apex"}) {
        test::FifoGuard fifo(dir_ / name);
        ASSERT_TRUE(fifo.Made());
        ZedoDatabase db;
        prompter_.Clear();
        EXPECT_EQ(OpenBank(db, fifo.Path(), 0), 1) << name;
        EXPECT_TRUE(prompter_.Saw("\"" + fifo.Path() + "\" is a FIFO, not a regular file."))
            << name;
        EXPECT_FALSE(fifo.Opened()) << name;
    }
    fs::create_directories(dir_ / "folder.pbf");
    ZedoDatabase db;
    EXPECT_EQ(OpenBank(db, (dir_ / "folder.pbf").string(), 0), 1);
    EXPECT_TRUE(prompter_.Saw("\"" + (dir_ / "folder.pbf").string() +
                              "\" is a folder, not a regular file."));
    SetRomBankProvider(nullptr);
}

TEST_F(BankFileTest, ReopenReadsTheStoredPathAgain) {
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, bank_.string(), 0), 0);
    db.GetProgram(7)->SetName("Changed");
    ASSERT_EQ(ReopenBank(db), 0);
    EXPECT_EQ(db.GetProgram(7)->Name(), "Strings");
    EXPECT_EQ(db.Path(), bank_.string());
    fs::remove(bank_);
    EXPECT_EQ(ReopenBank(db), 1);
    EXPECT_TRUE(prompter_.Saw("problem with opening\n\"" + bank_.string() +
                              "\": No such file or directory"));
}

// The dialogs' filters as users have always seen them, built from the table.
TEST(BankFormatsTest, DialogFilters) {
    EXPECT_EQ(OpenBankFilter(),
              "All Patch Banks (*.pbf *.krz *.sf2 *.sf3 *.tmb *.syx *.apex);;"
              "Pinnacle Bank File (*.pbf);;Kurzweil K2000 File(*.krz);;Soundfont 2 Bank(*.sf2);;"
              "SoundFont 3 Bank(*.sf3);;Talmeru MA-1 Bank (*.tmb);;Sysex Banks (*.syx);;"
              "Apex Banks (*.apex);;All Files (*)");
    EXPECT_EQ(SaveBankFilter(),
              "Pinnacle Bank File (*.pbf);;Talmeru MA-1 Bank (*.tmb);;"
              "Sysex File (*.syx);;SoundFont 2 (*.sf2);;All Files (*)");
    EXPECT_EQ(BankFormatName(PinnacleBankFormat()), "Pinnacle Bank File");
    EXPECT_EQ(BankFormatName(*BankFormatToOpen("a.krz")), "Kurzweil K2000 File");
    EXPECT_EQ(BankFormatName(*BankFormatToOpen("a.sf3")), "SoundFont 3 Bank");
}

// An extension counts anywhere in the path, the first in the table's order winning; a save
// looks only among the formats that are written.
TEST(BankFormatsTest, FormatByPath) {
    auto ext = [](const BankFormat* f) { return std::string(f ? f->extension : ""); };
    struct Case {
        const char* path;
        const char* toOpen;
        const char* toSave;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"dir/Bank.SYX", ".syx", ".syx"},
             {"old.pbf.d/bank.bak", ".pbf", ".pbf"},
             {"songs.krz.tmb", ".krz", ".tmb"},
             {"a.tmb.pbf", ".pbf", ".pbf"},
             {"kit.Apex", ".apex", ""},
             {"piano.sf2", ".sf2", ".sf2"},
             {"sound.k25", "", ""},
         }) {
        EXPECT_EQ(ext(BankFormatToOpen(c.path)), c.toOpen) << c.path;
        EXPECT_EQ(ext(BankFormatToSave(c.path)), c.toSave) << c.path;
    }
}

}  // namespace
}  // namespace talmeru
