#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include <csignal>

#include <sys/stat.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/ByteIO.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"
#include "platform/RomDirectory.h"
#include "platform/SignalCleanup.h"
#include "support/Fifo.h"
#include "support/FileSizeLimit.h"
#include "support/Portability.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;

TEST(ByteIO, ReadsBothByteOrdersAndRefusesToReadPastTheEnd) {
    const std::vector<uint8_t> data = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
    ByteReader r(data);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0x12345678u);
    EXPECT_EQ(r.S8(), -1);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_THROW(r.U8(), ReadPastEnd);

    ByteReader be(data);
    EXPECT_EQ(be.U16BE(), 0x3412);
    EXPECT_EQ(be.U32BE(), 0x78563412u);
    EXPECT_THROW(be.U16BE(), ReadPastEnd);  // one byte left
    EXPECT_EQ(be.Pos(), 6u);                // a failed read does not move
    EXPECT_THROW(be.Seek(8), ReadPastEnd);
    EXPECT_THROW(be.Bytes(2), ReadPastEnd);
}

TEST(ByteIO, WriterRoundTripsAndPatches) {
    ByteWriter w;
    w.U16(0xBEEF);
    w.S32(-2);
    w.U32BE(0x01020304);
    w.FixedString("ABCDEFGHIJKLMNOPQ", 16);  // cut to the field
    w.PatchU16(0, 0x1234);
    ByteReader r(w.Data());
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.S32(), -2);
    EXPECT_EQ(r.U32BE(), 0x01020304u);
    EXPECT_EQ(r.FixedString(16), "ABCDEFGHIJKLMNOP");
    EXPECT_THROW(w.PatchU32(w.Pos() - 2, 1), std::out_of_range);
}

TEST(Format, PrintfStyleAndCaseHelpers) {
    EXPECT_EQ(Fmt("%d - %s", 5, "Piano"), "5 - Piano");
    EXPECT_EQ(Fmt("Created by Talmeru Version %03x", 0x147), "Created by Talmeru Version 147");
    std::string longText(5000, 'x');
    EXPECT_EQ(Fmt("%s", longText.c_str()).size(), 5000u);
    EXPECT_EQ(ToLower("PiNNacle.PBF"), "pinnacle.pbf");
    EXPECT_TRUE(EqualsNoCase("PINNACLE", "pinnacle"));
    EXPECT_FALSE(EqualsNoCase("pinnacl", "pinnacle"));
}

// Bank texts are in the Windows code page; JSON and the like want UTF-8.
TEST(Format, CodePageTextAsUtf8) {
    struct Case {
        std::string bank, utf8;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"Grand", "Grand"},
             {"Caf\xe9", "Caf\u00e9"},
             {"\x80uro \x99 \x9f", "\u20acuro \u2122 \u0178"},
             {"\x81\x8d\x8f\x90\x9d", "\u0081\u008d\u008f\u0090\u009d"},
             {"\xff\xa0", "\u00ff\u00a0"},
         }) {
        EXPECT_EQ(Cp1252ToUtf8(c.bank), c.utf8) << c.bank;
        EXPECT_TRUE(IsUtf8(c.utf8)) << c.bank;
    }
    for (const char* bad : {"\xe9", "Caf\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "\xf8\x88\x80\x80\x80", "a\x80"})
        EXPECT_FALSE(IsUtf8(bad)) << bad;
    for (const char* good : {"", "plain", "\xc3\xa9t\xc3\xa9", "\xf0\x9f\x8e\xb9", "\xef\xbf\xbd"})
        EXPECT_TRUE(IsUtf8(good)) << good;
}

TEST(Prompter, ScriptedAnswersAndRecordsEverything) {
    ScriptedPrompter p(Answer::No);
    ScopedPrompter scope(p);
    p.QueueAnswer(Answer::Yes);
    ShowMessage("hello");
    EXPECT_TRUE(AskYesNo("first?"));
    EXPECT_FALSE(AskYesNo("second?"));  // script used up: the default
    EXPECT_EQ(p.Messages(), std::vector<std::string>{"hello"});
    EXPECT_EQ(p.Questions(), (std::vector<std::string>{"first?", "second?"}));
    EXPECT_TRUE(p.Saw("second?"));
    EXPECT_FALSE(p.Saw("third?"));
}

TEST(Prompter, ScopeRestoresThePreviousPrompter) {
    TALMERU_SKIP_ON_WINDOWS("POSIX permissions");
    ScriptedPrompter outer, inner;
    {
        ScopedPrompter a(outer);
        {
            ScopedPrompter b(inner);
            ShowMessage("to inner");
        }
        ShowMessage("to outer");
    }
    EXPECT_EQ(inner.Messages(), std::vector<std::string>{"to inner"});
    EXPECT_EQ(outer.Messages(), std::vector<std::string>{"to outer"});
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("talmeru-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

using ProfileTest = TempDir;

TEST_F(ProfileTest, WindowsSemanticsKeepOrderCaseAndUnknownLines) {
    Profile p(dir_ / "talmeru.ini");
    p.LoadFromText(
        "; settings\n[Options]\nMergeWaveData=1\nLoadWaveData = 0 \n; keep me\nOdd line\n\n"
        "[Device]\nSynthOut=TBS Pro Main Synth Out\nQuoted=\"  spaced  \"\n");
    EXPECT_TRUE(p.GetBool("options", "mergewavedata", false));
    EXPECT_FALSE(p.GetBool("Options", "LoadWaveData", true));
    EXPECT_EQ(p.GetString("DEVICE", "synthout"), "TBS Pro Main Synth Out");
    EXPECT_EQ(p.GetString("Device", "Quoted"), "  spaced  ");
    EXPECT_EQ(p.GetString("Device", "Missing", "dflt"), "dflt");

    p.WriteInt("OPTIONS", "PurgeUnused", 0);  // new key joins the existing section
    p.WriteString("options", "mergewavedata", "0");
    p.WriteString("State", "WorkDir", "/tmp");
    std::string text = p.ToText();
    EXPECT_EQ(text,
              "; settings\n[Options]\nMergeWaveData=0\nLoadWaveData=0\n; keep me\nOdd line\n"
              "PurgeUnused=0\n\n[Device]\nSynthOut=TBS Pro Main Synth Out\nQuoted=\"  spaced  \"\n"
              "[State]\nWorkDir=/tmp\n");
    p.DeleteKey("device", "QUOTED");
    p.DeleteSection("state");
    EXPECT_EQ(p.Keys("Device"), std::vector<std::string>{"SynthOut"});
    EXPECT_EQ(p.Sections(), (std::vector<std::string>{"Options", "Device"}));
}

TEST_F(ProfileTest, IntegersAndBooleansReadLikeWindows) {
    Profile p;
    p.LoadFromText("[S]\nA=12abc\nB=abc\nC=-7\nD=2\nE=\n");
    EXPECT_EQ(p.GetInt("S", "A", 5), 12);
    EXPECT_EQ(p.GetInt("S", "B", 5), 0);
    EXPECT_EQ(p.GetInt("S", "C", 5), -7);
    EXPECT_EQ(p.GetInt("S", "Z", 5), 5);
    EXPECT_FALSE(p.GetBool("S", "D", true));  // only 1 counts as on
    EXPECT_FALSE(p.GetBool("S", "E", true));
    EXPECT_TRUE(p.GetBool("S", "Z", true));
}

TEST_F(ProfileTest, SavesAtomicallyAndReloads) {
    fs::path file = dir_ / "talmeru.ini";
    Profile p(file);
    ASSERT_TRUE(p.Load());  // missing file: empty profile
    p.WriteInt("Audition", "Velocity", 100);
    ASSERT_TRUE(p.Save());
    Profile q(file);
    ASSERT_TRUE(q.Load());
    EXPECT_EQ(q.GetInt("Audition", "Velocity", 0), 100);
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename(), "talmeru.ini");  // no temporary file left behind

    // A folder that cannot take the file: the save fails and says so.
    Profile bad(dir_ / "missing-folder" / "talmeru.ini");
    bad.WriteInt("A", "B", 1);
    EXPECT_FALSE(bad.Save());
}

// A bank, a document, a script: none of them is a settings file, and none is rewritten as one.
TEST_F(ProfileTest, OnlySettingsTextIsLoadedAndWrittenBack) {
    struct Case {
        std::string text;
        bool settings;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"", true},
             {"; only a comment\n\n# another\n", true},
             {"Loose=1\n[S]\nA=1\nodd line kept\n", true},
             {"[Device]\r\nSynthOut=x\r\n", true},
             {"\xEF\xBB\xBF[Device]\nSynthOut=x\n", true},
             {std::string("PINNACLE\0\0\0Bank\0\x02\x01", 17), false},
             {"Talmeru\n\nA desktop editor.\n[S]\n", false},
             {"#!/bin/sh\necho hello\n", false},
             {"=1\n", false},
             {"[Options]\nA=1\x1b[2J\n", false},
         }) {
        const std::string& text = c.text;
        fs::path file = dir_ / "settings.ini";
        ASSERT_TRUE(WriteWholeFile(file, std::vector<uint8_t>(text.begin(), text.end())));
        Profile p(file);
        EXPECT_EQ(p.Load(), c.settings) << text;
        p.WriteString("Device", "SynthOut", "changed");
        EXPECT_EQ(p.Save(), c.settings) << text;
        if (!c.settings) {
            EXPECT_EQ(p.Error(), "\"" + file.string() + "\" is not a settings file.");
            auto after = ReadWholeFile(file);
            EXPECT_EQ(std::string(after->begin(), after->end()), text);
        }
    }
}

using FileUtilTest = TempDir;

// A save writes what a link leads to, keeps the file's permissions and owner, and replaces
// nothing but a regular file.
TEST_F(FileUtilTest, AtomicWritesFollowLinksAndKeepTheFile) {
    TALMERU_SKIP_ON_WINDOWS("POSIX owners, permissions, links, FIFOs and file size limits");
    fs::create_directories(dir_ / "sub");
    fs::path real = dir_ / "sub" / "real.ini";
    ASSERT_TRUE(WriteWholeFile(real, {1}));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#if !defined(_WIN32)
    ASSERT_EQ(::chown(real.c_str(), 4321, 4322), 0);
    fs::create_symlink("sub/real.ini", dir_ / "link.ini");
    fs::create_symlink("link.ini", dir_ / "link2.ini");
    ASSERT_TRUE(WriteFileAtomic(dir_ / "link2.ini", {7, 8}));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link2.ini"));
    EXPECT_EQ(*ReadWholeFile(real), (std::vector<uint8_t>{7, 8}));
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
#endif
    EXPECT_EQ(FollowLinks(dir_ / "link2.ini"), dir_ / "sub" / "real.ini");
    // A link to a file not there yet makes that file.
    fs::create_symlink("sub/new.ini", dir_ / "ahead.ini");
    ASSERT_TRUE(WriteFileAtomic(dir_ / "ahead.ini", {3}));
    EXPECT_EQ(*ReadWholeFile(dir_ / "sub" / "new.ini"), std::vector<uint8_t>{3});
    EXPECT_TRUE(fs::is_symlink(dir_ / "ahead.ini"));

    test::FifoGuard fifo(dir_ / "pipe.ini");
    fs::create_directories(dir_ / "folder.ini");
    fs::create_symlink("loop2.ini", dir_ / "loop1.ini");
    fs::create_symlink("loop1.ini", dir_ / "loop2.ini");
    for (const char* name : {"pipe.ini", "folder.ini", "loop1.ini"}) {
        AtomicWrite w = ReplaceFileAtomic(dir_ / name, std::vector<uint8_t>{1});
        EXPECT_EQ(w.result, AtomicWrite::kNotRegular) << name;
        EXPECT_NE(w.text.find("not a regular file."), std::string::npos) << w.text;
    }
    EXPECT_FALSE(fifo.Opened());
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.ini"));
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.ini"));

    // A full disk keeps the old file and leaves no temporary file.
    {
        test::FileSizeLimit full(1000);
        AtomicWrite w = ReplaceFileAtomic(real, std::vector<uint8_t>(5000, 9));
        EXPECT_EQ(w.result, AtomicWrite::kWriteFailed);
    }
    EXPECT_EQ(*ReadWholeFile(real), (std::vector<uint8_t>{7, 8}));
    for (const auto& e : fs::recursive_directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().rfind("TalmeruTemp", 0), std::string::npos);
}

// Windows does not let a file that another program holds open be replaced: the save says so,
// and the old file stays whole with no temporary file beside it.
TEST_F(FileUtilTest, AFileHeldOpenElsewhereIsLeftWhole) {
#if !defined(_WIN32)
    GTEST_SKIP() << "only Windows refuses to replace a file that is open";
#else
    const fs::path target = dir_ / "held.pbf";
    ASSERT_TRUE(WriteWholeFile(target, {1, 2, 3}));
    std::FILE* held = _wfopen(target.c_str(), L"rb");
    ASSERT_NE(held, nullptr);
    const AtomicWrite w = ReplaceFileAtomic(target, std::vector<uint8_t>{9});
    std::fclose(held);
    EXPECT_EQ(w.result, AtomicWrite::kRenameFailed) << w.text;
    EXPECT_NE(w.text.find("could not be replaced"), std::string::npos) << w.text;
    EXPECT_EQ(*ReadWholeFile(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
#endif
}

// Ctrl+C, a kill or a closed terminal in the middle of a long write leaves no temporary file
// of tens of MB beside the output, and the program still ends by that signal.
TEST_F(FileUtilTest, ASignalDuringAWriteRemovesTheTemporaryFile) {
    TALMERU_SKIP_ON_WINDOWS("fork and signals");
#if !defined(_WIN32)
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            std::signal(sig, SIG_DFL);  // not ignored as under nohup
            RemoveTemporaryFilesOnSignals();
            (void)ReplaceFileAtomicWith(dir_ / "out.wav", [&](int fd) {
                (void)WriteToDescriptor(fd, std::vector<uint8_t>(1 << 16, 1));
                (void)!::write(ready[1], "w", 1);
                for (;;) ::pause();
                return true;
            });
            ::_exit(0);
        }
        ::close(ready[1]);
        char c = 0;
        EXPECT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        EXPECT_FALSE(fs::is_empty(dir_)) << "the temporary file is there while writing";
        ::kill(child, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
        EXPECT_TRUE(fs::is_empty(dir_)) << sig;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
#endif
}

TEST_F(FileUtilTest, UniqueFilesAndReadOnlyDetection) {
    TALMERU_SKIP_ON_WINDOWS("POSIX permissions");
    auto a = CreateUniqueFile(dir_, "TalmeruTemp");
    auto b = CreateUniqueFile(dir_, "TalmeruTemp");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(a->filename().string().size(), std::string("TalmeruTemp").size() + 6);
    EXPECT_TRUE(MayReplace(*a));
    EXPECT_TRUE(MayReplace(dir_ / "nothing-here"));
    fs::permissions(*a, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(MayReplace(*a));
    EXPECT_FALSE(ReadWholeFile(dir_ / "nothing-here").has_value());
    ASSERT_TRUE(WriteWholeFile(*b, {1, 2, 3}));
    EXPECT_EQ(*ReadWholeFile(*b), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(ReadWholeFile(*b, 2).has_value());  // over the size limit
}

// A FIFO would keep a reader waiting for a writer that never comes; a folder is no file.
TEST_F(FileUtilTest, ReadersRefuseWhatIsNotARegularFile) {
    TALMERU_SKIP_ON_WINDOWS("FIFOs");
    test::FifoGuard fifo(dir_ / "pipe.ini");
    ASSERT_TRUE(fifo.Made());
    fs::create_directories(dir_ / "folder.ini");
    struct Case {
        std::string path;
        const char* kind;
    };
    for (const Case& c :
         {Case{fifo.Path(), "a FIFO"}, Case{(dir_ / "folder.ini").string(), "a folder"}}) {
        EXPECT_EQ(NotRegularFileMessage(c.path),
                  "\"" + c.path + "\" is " + c.kind + ", not a regular file.");
        EXPECT_FALSE(ReadWholeFile(c.path).has_value()) << c.path;
        EXPECT_FALSE(FileSource(c.path).Ok()) << c.path;
        Profile settings{fs::path(c.path)};
        EXPECT_FALSE(settings.Load()) << c.path;
        EXPECT_EQ(settings.Error(), NotRegularFileMessage(c.path));
    }
    EXPECT_FALSE(fifo.Opened());
    EXPECT_EQ(NotRegularFileMessage((dir_ / "nothing-here").string()), "");
    ASSERT_TRUE(WriteWholeFile(dir_ / "plain", {1}));
    EXPECT_EQ(NotRegularFileMessage((dir_ / "plain").string()), "");
}

TEST(RomDirectory, HasEveryRegionInOrderInsideTheRom) {
    auto dir = RomDirectory();
    ASSERT_EQ(dir.size(), 281u);
    EXPECT_EQ(dir[0].name, "C 2-Perc Organ");
    EXPECT_EQ(dir[280].name, "C 4-Bird");
    EXPECT_EQ(dir[280].start, 2092825);
    EXPECT_EQ(dir[280].loopStart, 2094895);
    EXPECT_EQ(dir[280].end, 2095688);
    const RomRegion* bagpipe = FindRomRegion(1048576, 1048666, 1048814);
    ASSERT_NE(bagpipe, nullptr);
    EXPECT_EQ(bagpipe->name, "A 3-Bagpipe");
    EXPECT_EQ(FindRomRegion(67490, 95576, 120676)->name, "D 2-gm piano");
    EXPECT_EQ(FindRomRegion(9038, 16245, 16335)->name, "C 4-Perc Organ");
    EXPECT_EQ(FindRomRegion(0, 7215, 9038), nullptr);
    for (size_t i = 0; i < dir.size(); ++i) {
        EXPECT_LE(dir[i].start, dir[i].loopStart) << dir[i].name;
        EXPECT_LE(dir[i].loopStart, dir[i].end) << dir[i].name;
        EXPECT_LE(dir[i].end, kRomSampleLength);
        if (i > 0) {
            EXPECT_GT(dir[i].start, dir[i - 1].end) << dir[i].name;
        }
        // Every region is found by its own offsets (the names depend on it).
        EXPECT_EQ(FindRomRegion(dir[i].start, dir[i].loopStart, dir[i].end), &dir[i]);
    }
}

TEST(RomDirectory, ReadsTheRootKeyFromTheRegionName) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"C#4-gm piano", 61},          {"A 1-gm acoustic bass", 33}, {"C 8-Sine Wave", 108},
        {"C#7-   Ocarina", 97},        {"Dry Kick", std::nullopt},   {"High Tom", std::nullopt},
        {"H 4-nothing", std::nullopt}, {"C4-short", std::nullopt},
    };
    for (const auto& [name, key] : cases)
        EXPECT_EQ(RomRootKey(name), key) << name;
}

// The regions laid out in code loop over whole periods of their root note at 44.1 kHz, so
// the emulator's waves sustain in tune; the five with known offsets keep theirs.
TEST(RomDirectory, MadeUpLoopsHoldWholePeriodsOfTheRoot) {
    auto dir = RomDirectory();
    for (size_t i = 0; i < dir.size(); ++i) {
        const std::optional<int> root = RomRootKey(dir[i].name);
        if (!root || i == 0 || i == 1 || i == 9 || i == 106 || i == 280) continue;
        const double periods = (dir[i].end - dir[i].loopStart + 1) * 440 *
                               std::exp2((*root - 69) / 12.0) / kRomSampleRate;
        const double cents = 1200 * std::log2(std::round(periods) / periods);
        EXPECT_LT(std::abs(cents), 1) << dir[i].name;
        EXPECT_GE(dir[i].loopStart - dir[i].start, (dir[i].end - dir[i].start) / 2) << dir[i].name;
    }
}

// Paths are UTF-8 text in the program: names in any script come back as they went, and a name
// from a damaged file (not UTF-8) is no reason to throw.
TEST(PathText, NamesInAnyScriptSurviveAndDamagedOnesDoNotThrow) {
    for (const std::string name : {"plain.pbf", "\xC5\x92uvre.tmb",
                                   "Bank-\xE6\x97\xA5\xE6\x9C\xAC.pbf", "\xF0\x9D\x84\x9E.wav"}) {
        const fs::path path = PathFromUtf8(name);
        EXPECT_EQ(Utf8FromPath(path), name);
        EXPECT_EQ(Utf8FromPath(path.stem()) + Utf8FromPath(path.extension()), name);
    }
#if defined(_WIN32)
    // What the system is given: the name itself in UTF-16, not its bytes in the ANSI code page.
    EXPECT_EQ(PathFromUtf8("\xC5\x92uvre \xE6\x97\xA5.tmb").native(), L"\u0152uvre \u65E5.tmb");
#endif
    const std::string damaged = "caf\xE9\xFF.pbf";
    EXPECT_NO_THROW(EXPECT_EQ(PathFromUtf8(damaged).extension(), ".pbf"));
    EXPECT_NO_THROW(EXPECT_FALSE(Utf8FromPath(PathFromUtf8(damaged)).empty()));
}

}  // namespace
}  // namespace talmeru
