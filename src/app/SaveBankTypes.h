#pragma once
// The save-bank dialog's rules without a window.
#include <string>

namespace talmeru {

// The dialog's rules without a window. Types in the order of the filter: the written bank
// formats (0 .pbf, 1 .tmb, 2 .syx), then all files.
struct SaveBankTypes {
    static const int kAllFiles;
    // The type whose pattern matches the name's extension (case ignored); all files if none.
    static int TypeForName(const std::string& name);
    // The name with the type's extension in place of its own; all files keeps the name.
    static std::string WithType(const std::string& name, int type);
    // Only a format that can write WAV files beside the bank offers the box.
    static bool WavBoxEnabled(int type);
    // The save options for the chosen path: writing WAV files only for a ticked .pbf save.
    static int SaveOptions(const std::string& path, bool ticked);
};

}  // namespace talmeru
