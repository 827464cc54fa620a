// Start-up against the emulator: the ROM bank cache, the notices, the reset or the welcome
// question, and the settings read on the way.
#include <filesystem>

#include "app/AppFixture.h"
#include "files/BankFile.h"
#include "platform/Profile.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

TEST_F(AppTest, FirstStartBuildsTheRomCacheAndTheNextLoadsIt) {
    Make(false);
    EXPECT_TRUE(app->CacheBuilt());
    EXPECT_TRUE(fs::exists(Dir() / "Rombank0103.pbf"));
    EXPECT_TRUE(prompter.Saw(
        "New Pinnacle Program ROM version 0103 detected.\nThe entire ROM will be downloaded now "
        "to a cache file, to speed up startup.\nYou will not see this message again, unless you "
        "upgrade the ROM"));
    EXPECT_GT(emu->Requests(0x02), 0);
    ASSERT_NE(app->Editing().RomBank(), nullptr);
    ASSERT_NE(app->Editing().RomBank()->GetProgram(0), nullptr);
    const std::string firstName = app->Editing().RomBank()->GetProgram(0)->Name();
    // The download went through the current bank, which starts empty.
    EXPECT_EQ(app->Bank().GetProgram(0), nullptr);

    Profile written(Dir() / "talmeru.ini");
    ASSERT_TRUE(written.Load());
    EXPECT_EQ(written.GetInt("ROM", "DatabaseVersion", 0), 0x0103);

    prompter.Clear();
    Make(false);
    EXPECT_FALSE(app->CacheBuilt());
    EXPECT_EQ(emu->Requests(0x02), 0);
    ASSERT_NE(app->Editing().RomBank()->GetProgram(0), nullptr);
    EXPECT_EQ(app->Editing().RomBank()->GetProgram(0)->Name(), firstName);
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(AppTest, TheFirstDownloadShowsItsProgressAndACancelledOneIsNotKept) {
    // A progress window that presses Cancel when the given object arrives.
    struct Window : DownloadObserver {
        void Reached(int, int) override {
            if (++*reports == cancelAt) cancel();
        }
        int* reports = nullptr;
        int cancelAt = -1;
        std::function<void()> cancel;
    };
    int windows = 0, reports = 0, cancelAt = 20;
    cacheProgress = [&](std::function<void()> cancel) -> std::unique_ptr<DownloadObserver> {
        ++windows;
        auto w = std::make_unique<Window>();
        w->reports = &reports;
        w->cancelAt = cancelAt;
        w->cancel = std::move(cancel);
        return w;
    };
    Make(false);
    EXPECT_EQ(windows, 1);
    EXPECT_TRUE(prompter.Saw("Download failed."));
    EXPECT_FALSE(app->CacheBuilt());
    EXPECT_FALSE(fs::exists(Dir() / "Rombank0103.pbf"));
    {
        Profile written(Dir() / "talmeru.ini");
        ASSERT_TRUE(written.Load());
        EXPECT_EQ(written.GetInt("ROM", "DatabaseVersion", 0), 0);
    }

    // The next start tries again; the window sees every object of the ROM.
    cancelAt = -1;
    reports = 0;
    prompter.Clear();
    Make(false);
    EXPECT_EQ(windows, 2);
    EXPECT_TRUE(app->CacheBuilt());
    EXPECT_FALSE(prompter.Saw("Download failed."));
    EXPECT_GT(reports, 20);
    // With the cache in place no window is opened.
    Make(false);
    EXPECT_EQ(windows, 2);
    EXPECT_FALSE(app->CacheBuilt());
}

TEST_F(AppTest, EmptySynthRamResetsToTheRomBankWithoutTheWelcome) {
    Make();
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_EQ(window.welcomes, 0);
    EXPECT_EQ(app->Bank().Path(), "MA-1 GM Bank 0103.pbf");
    ASSERT_NE(app->Editing().CurrentProgram(), nullptr);
    EXPECT_EQ(app->Editing().CurrentNumber(), 0);
    EXPECT_EQ(window.title, "Talmeru - [MA-1 GM Bank 0103]");
    EXPECT_FALSE(app->Bank().IsModified());
    // The first start greets once, plainly: no version numbers nobody has seen before.
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0].rfind("Welcome to Talmeru!", 0), 0u);
    EXPECT_EQ(prompter.Messages()[0].find("version"), std::string::npos);
    emu->Flush();
    EXPECT_GE(emu->ResetCount(), 1);
    // All notes off on every channel at the end.
    const auto shorts = emu->ReceivedShort();
    for (uint32_t ch = 0; ch < 16; ++ch) {
        EXPECT_NE(std::find(shorts.begin(), shorts.end(), (0xB0 | ch) | (123u << 8)), shorts.end())
            << ch;
    }

    prompter.Clear();
    app->SaveState({});
    Make();
    FakeWindow second;
    ASSERT_TRUE(app->Start(second, {}));
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(AppTest, SynthRamInUseBringsTheWelcomeQuestion) {
    Make();
    Program* p = app->Editing().RomBank()->GetProgram(5);
    ASSERT_NE(p, nullptr);
    int allowance = 4096;
    ASSERT_EQ(p->Upload(app->Synth().Link(), nullptr, allowance), 0);
    ASSERT_EQ(app->Synth().Link().QueryMemory(1), 0);
    ASSERT_TRUE(emu->InRam(3, 5));

    window.welcome = WelcomeChoice::ResetSynth;
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_EQ(window.welcomes, 1);
    EXPECT_FALSE(emu->InRam(3, 5));
    EXPECT_EQ(app->Bank().Path(), "MA-1 GM Bank 0103.pbf");
}

TEST_F(AppTest, DownloadProgramsOnlyKeepsTheSynthRam) {
    Make();
    Program* p = app->Editing().RomBank()->GetProgram(5);
    int allowance = 4096;
    ASSERT_EQ(p->Upload(app->Synth().Link(), nullptr, allowance), 0);
    ASSERT_EQ(app->Synth().Link().QueryMemory(1), 0);
    window.welcome = WelcomeChoice::DownloadPrograms;
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_TRUE(emu->InRam(3, 5));
    ASSERT_NE(app->Bank().GetProgram(5), nullptr);
    EXPECT_GT(window.downloads.count, 1);
    EXPECT_EQ(window.downloads.last, std::make_pair(6, 20));  // the end of the last row
    EXPECT_NE(app->Bank().Path(), "MA-1 GM Bank 0103.pbf");
}

TEST_F(AppTest, SettingsAreReadAndNormalised) {
    {
        Profile p(Dir() / "talmeru.ini");
        p.WriteInt("Audition", "InEnabled", 5);
        p.WriteInt("Audition", "Velocity", 70);
        p.WriteInt("Audition", "Channel", 3);
        p.WriteInt("Options", "PurgeUnused", 0);
        p.WriteInt("Options", "NumberStyle", 2);
        p.WriteInt("Install", "Version", 0x147);
        ASSERT_TRUE(p.Save());
    }
    Make();
    EXPECT_FALSE(app->Synth().AuditionInEnabled());
    EXPECT_EQ(app->Settings().GetInt("Audition", "InEnabled", -1), 0);
    EXPECT_EQ(app->Synth().AuditionVelocity(), 70);
    EXPECT_EQ(app->Synth().AuditionChannel(), 3);
    EXPECT_FALSE(app->Bank().PurgeUnused());
    EXPECT_TRUE(app->Bank().LoadWaveData());
    EXPECT_EQ(app->Numbering().style, 2);
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_EQ(window.channel, 3);
    EXPECT_TRUE(prompter.Messages().empty());  // no version notice for this version
}

TEST_F(AppTest, ABankOnTheCommandLineIsOpenedAndAMissingOneEndsTheStart) {
    // A name relative to the folder the program was started from, which start-up leaves.
    {
        ZedoDatabase db;
        db.CreateKeymap("Mine", 300)->entries = {{127, 0, 1}};
        ASSERT_EQ(SaveBank(db, (Dir() / "mine.pbf").string(), 0), 0);
    }
    Make();  // the ROM bank cache is made first, from wherever
    const fs::path before = fs::current_path();
    fs::current_path(Dir());
    Make();
    fs::current_path(Dir().parent_path());
    const bool started = app->Start(window, {"mine.pbf"});
    fs::current_path(before);
    ASSERT_TRUE(started);
    ASSERT_NE(app->Bank().GetKeymap(300), nullptr);

    Make();
    EXPECT_FALSE(app->Start(window, {(Dir() / "missing.pbf").string()}));
    EXPECT_TRUE(prompter.Saw("Could not read file properly."));
}

}  // namespace
}  // namespace talmeru::test
