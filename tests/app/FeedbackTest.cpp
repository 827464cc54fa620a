// What the window tells the user about the bank: its title, the recent files, the bank that
// comes back at start and the notices of a new version.
#include <filesystem>

#include "app/AppFixture.h"
#include "files/BankFile.h"
#include "platform/Profile.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

TEST(WindowTitleTest, NamesTheBankAndNeverShowsEmptyBrackets) {
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"/home/u/banks/Strings.pbf", "Talmeru - [Strings]"},
        {"MA-1 GM Bank 0103.pbf", "Talmeru - [MA-1 GM Bank 0103]"},
        {"", "Talmeru - [Untitled]"},
        {"/only/a/folder/", "Talmeru - [Untitled]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowTitle(c.path), c.title) << c.path;
}

TEST(RomBankCacheNameTest, OnlyTheCacheNamesMatch) {
    const struct {
        const char* path;
        bool cache;
    } cases[] = {
        {"/x/Rombank0103.pbf", true},      {"Rombank01af.pbf", true},
        {"/x/Rombank0103.pbf.bak", false}, {"/x/Rombank013.pbf", false},
        {"/x/Rombank01g3.pbf", false},     {"/x/MyRombank0103.pbf", false},
        {"/x/Strings.pbf", false},         {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRomBankCache(c.path), c.cache) << c.path;
}

class Feedback : public AppTest {
  protected:
    // The current bank saved in the test's folder.
    std::string SavedBank(const std::string& name) {
        const std::string path = (Dir() / name).string();
        EXPECT_EQ(SaveBank(app->Bank(), path, 0), 0);
        return path;
    }
};

TEST_F(Feedback, TheRomBankCacheNeverEntersTheRecentFiles) {
    Make(false);  // builds the cache
    ASSERT_TRUE(app->CacheBuilt());
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_TRUE(app->RecentFiles().empty());
    const std::string cache = (Dir() / "Rombank0103.pbf").string();
    app->AddRecentFile(cache);
    EXPECT_TRUE(app->RecentFiles().empty());
    // An older settings file that lists it: dropped when read.
    app->Settings().WriteString("Recent File List", "File1", cache);
    const std::string bank = SavedBank("kept.pbf");
    app->Settings().WriteString("Recent File List", "File2", bank);
    app->SaveState({});
    Make();
    FakeWindow second;
    ASSERT_TRUE(app->Start(second, {}));
    ASSERT_EQ(app->RecentFiles().size(), 1u);
    EXPECT_EQ(app->RecentFiles().front(), bank);
}

TEST_F(Feedback, TheLastBankComesBackUnlessTheOptionIsOffOrTheFileIsGone) {
    Make();
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_TRUE(app->Options().reopenLastBank);
    const std::string bank = SavedBank("last.pbf");
    ASSERT_TRUE(app->OpenDocumentFile(bank));
    app->SaveState({});

    Make();
    FakeWindow again;
    ASSERT_TRUE(app->Start(again, {}));
    EXPECT_EQ(app->Bank().Path(), bank);
    EXPECT_EQ(again.title, "Talmeru - [last]");

    // The option off: the usual start on the ROM bank.
    app->Options().reopenLastBank = false;
    app->SaveState({});
    EXPECT_EQ(app->Settings().GetInt("Options", "ReopenLastBank", 1), 0);
    Make();
    FakeWindow off;
    ASSERT_TRUE(app->Start(off, {}));
    EXPECT_EQ(app->Bank().Path(), "MA-1 GM Bank 0103.pbf");
    EXPECT_FALSE(app->Options().reopenLastBank);

    // On again, but the file has gone: the ROM bank and no error.
    app->Options().reopenLastBank = true;
    app->SaveState({});
    fs::remove(bank);
    Make();
    FakeWindow gone;
    prompter.Clear();
    ASSERT_TRUE(app->Start(gone, {}));
    EXPECT_EQ(app->Bank().Path(), "MA-1 GM Bank 0103.pbf");
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(Feedback, ANewVersionIsNamedButTheFirstStartOnlyGreets) {
    Make();
    ASSERT_TRUE(app->Start(window, {}));
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0].find("Last version"), std::string::npos);
    app->Settings().WriteInt("Install", "Version", 0x146);
    app->SaveState({});
    prompter.Clear();
    Make();
    FakeWindow second;
    ASSERT_TRUE(app->Start(second, {}));
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("Last version: 146\nThis version: 147"),
              std::string::npos);
}

}  // namespace
}  // namespace talmeru::test
