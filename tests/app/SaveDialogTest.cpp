// The save-bank dialog: file types, extensions and the WAV files box.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <filesystem>

#include "app/BankFileSaveDialog.h"
#include "files/Pbf.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;

TEST(SaveBankTypesTest, TypesFollowExtensionsInAnyCase) {
    EXPECT_EQ(SaveBankTypes::TypeForName("dir/Bank.PBF"), 0);
    EXPECT_EQ(SaveBankTypes::TypeForName("bank.tmb"), 1);
    EXPECT_EQ(SaveBankTypes::TypeForName("bank.Syx"), 2);
    EXPECT_EQ(SaveBankTypes::TypeForName("bank.wav"), SaveBankTypes::kAllFiles);
    EXPECT_EQ(SaveBankTypes::TypeForName("bank"), SaveBankTypes::kAllFiles);
    EXPECT_EQ(SaveBankTypes::WithType("dir/bank.tmb", 0), "dir/bank.pbf");
    EXPECT_EQ(SaveBankTypes::WithType("my.bank", 2), "my.syx");
    EXPECT_EQ(SaveBankTypes::WithType("bank", 1), "bank.tmb");
    EXPECT_EQ(SaveBankTypes::WithType("bank.tmb", SaveBankTypes::kAllFiles), "bank.tmb");
    EXPECT_EQ(SaveBankTypes::WithType("", 0), "");
    EXPECT_TRUE(SaveBankTypes::WavBoxEnabled(0));
    EXPECT_FALSE(SaveBankTypes::WavBoxEnabled(1));
    EXPECT_FALSE(SaveBankTypes::WavBoxEnabled(SaveBankTypes::kAllFiles));
    // The WAV files are written for a Pinnacle Bank File only, and only when asked for.
    EXPECT_EQ(SaveBankTypes::SaveOptions("b.PBF", true), kSaveWriteWavs);
    EXPECT_EQ(SaveBankTypes::SaveOptions("b.pbf", false), 0);
    EXPECT_EQ(SaveBankTypes::SaveOptions("b.tmb", true), 0);
}

TEST(BankFileSaveDialogTest, TheTypeSetsTheExtensionAndTheBox) {
    const fs::path dir = fs::temp_directory_path() / "talmeru-save-dialog";
    fs::create_directories(dir);
    CBankFileSaveDialog dialog((dir / "bank.tmb").string(), nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Save Bank File");
    EXPECT_EQ(dialog.Type(), 1);
    EXPECT_EQ(dialog.selectedNameFilter(), "Talmeru MA-1 Bank (*.tmb)");
    EXPECT_FALSE(dialog.WavBox()->isEnabled());
    EXPECT_EQ(dialog.WavBox()->text(), "Create all .WAV files in same directory (*.PBF only)");

    dialog.ChooseType(0);
    EXPECT_TRUE(dialog.WavBox()->isEnabled());
    EXPECT_EQ(fs::path(dialog.ChosenPath()).filename(), "bank.pbf");
    EXPECT_EQ(dialog.SaveOptions(), 0);
    dialog.WavBox()->setChecked(true);
    EXPECT_EQ(dialog.SaveOptions(), kSaveWriteWavs);

    // A ticked box left behind by another type writes no WAV files.
    dialog.ChooseType(2);
    EXPECT_FALSE(dialog.WavBox()->isEnabled());
    EXPECT_EQ(fs::path(dialog.ChosenPath()).filename(), "bank.syx");
    EXPECT_EQ(dialog.SaveOptions(), 0);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace talmeru
