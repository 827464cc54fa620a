// Where a bank converted from an import file is saved when the import's folder is read-only.
#include <gtest/gtest.h>

#include <set>

#include "application/TalmeruApp.h"
#include "platform/Locations.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

TEST(ConvertedBankPathTest, FallsBackToTheCurrentFolderThenToAskingOnSave) {
    struct Case {
        std::set<std::string> writable;
        const char* want;
    };
    const Case cases[] = {
        {{"/usr/share/sounds", "/home/me"}, "/usr/share/sounds/piano.pbf"},
        {{"/home/me"}, "/home/me/piano.pbf"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        auto writable = [&](const fs::path& dir) { return c.writable.count(dir.string()) > 0; };
        EXPECT_EQ(ConvertedBankPath("/usr/share/sounds/piano.pbf", "/home/me", writable), c.want);
    }
    // A bare file name lives in the working folder.
    EXPECT_EQ(
        ConvertedBankPath("piano.pbf", "/home/me", [](const fs::path& dir) { return dir == "."; }),
        "piano.pbf");
}

TEST(ConvertedBankPathTest, MissingFoldersAndFilesAreNotWritableFolders) {
    EXPECT_TRUE(FolderWritable(fs::temp_directory_path()));
    EXPECT_FALSE(FolderWritable(fs::temp_directory_path() / "talmeru-no-such-folder"));
    EXPECT_FALSE(FolderWritable({}));
}

}  // namespace
}  // namespace talmeru::test
