#pragma once
#include <filesystem>

namespace talmeru {

// Where "talmeru.ini" and the ROM bank caches live: $TALMERU_HOME when set; else beside the
// executable when that folder is writable (portable use); else the user's config folder
// ($XDG_CONFIG_HOME/talmeru or ~/.config/talmeru). The folder is created when missing.
std::filesystem::path SettingsDirectory();

// The folder of the running executable (empty when it cannot be found).
std::filesystem::path ExecutableDirectory();

}  // namespace talmeru
