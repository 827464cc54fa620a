#include <gtest/gtest.h>

#include <filesystem>

#include "files/BankFile.h"
#include "files/BankFormats.h"
#include "files/Pbf.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/Fifo.h"

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

    EXPECT_EQ(OpenBank(db, (dir_ / "missing.pbf").string(), kOpenQuiet), 1);
    EXPECT_TRUE(prompter_.Saw("problem with opening\n"));
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
    // The complete new bank waits in the temporary file.
    auto files = Files();
    ASSERT_EQ(files.size(), 2u);
    fs::path temp = files[0] == "bank.pbf" ? files[1] : files[0];
    EXPECT_EQ(temp.string().rfind("TalmeruTemp", 0), 0u);
    ZedoDatabase rescued;
    ASSERT_EQ(ReadPbf(*ReadWholeFile(dir_ / temp), rescued, 0), 0);
    EXPECT_EQ(rescued.GetProgram(7)->Name(), "Edited");
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

    EXPECT_EQ(SaveBank(db, (dir_ / "no-such-folder" / "x.pbf").string(), 0), 1);
    EXPECT_TRUE(prompter_.Saw("problem with saving\n"));
}

// Every reader would wait on a FIFO for a writer that never comes.
TEST_F(BankFileTest, OpenRefusesWhatIsNotARegularFile) {
    ZedoDatabase rom;
    SetRomBankProvider([&rom] { return &rom; });
    for (const char* name : {"pipe.pbf", "pipe.tmb", "pipe.syx", "pipe.sf2", "pipe.krz",
                             "pipe.apex"}) {
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
    EXPECT_TRUE(prompter_.Saw("problem with opening\n"));
}

// The dialogs' filters as users have always seen them, built from the table.
TEST(BankFormatsTest, DialogFilters) {
    EXPECT_EQ(OpenBankFilter(),
              "All Patch Banks (*.pbf *.krz *.sf2 *.tmb *.syx *.apex);;Pinnacle Bank File (*.pbf);;"
              "Kurzweil K2000 File(*.krz);;Soundfont 2 Bank(*.sf2);;Talmeru MA-1 Bank (*.tmb);;"
              "Sysex Banks (*.syx);;Apex Banks (*.apex);;All Files (*)");
    EXPECT_EQ(SaveBankFilter(),
              "Pinnacle Bank File (*.pbf);;Talmeru MA-1 Bank (*.tmb);;"
              "Sysex File (*.syx);;All Files (*)");
    EXPECT_EQ(BankFormatName(PinnacleBankFormat()), "Pinnacle Bank File");
    EXPECT_EQ(BankFormatName(*BankFormatToOpen("a.krz")), "Kurzweil K2000 File");
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
             {"piano.sf2", ".sf2", ""},
             {"sound.k25", "", ""},
         }) {
        EXPECT_EQ(ext(BankFormatToOpen(c.path)), c.toOpen) << c.path;
        EXPECT_EQ(ext(BankFormatToSave(c.path)), c.toSave) << c.path;
    }
}

}  // namespace
}  // namespace talmeru
