#pragma once
#include <filesystem>
#include <string>

namespace talmeru {

// Where "talmeru.ini" and the ROM bank caches live: $TALMERU_HOME when set; else beside the
// executable when that folder is writable (portable use); else the user's config folder
// (%APPDATA%\Talmeru on Windows, else $XDG_CONFIG_HOME/talmeru or ~/.config/talmeru). The
// folder is created when missing.
// besideExecutable false: never the executable's folder (a plugin's executable is its host's).
std::filesystem::path SettingsDirectory(bool besideExecutable = true);

// Empty when dir is a folder that settings and caches can be kept in (there, a folder, and
// writable); else the message that says why not, such as "The settings folder \"x\" cannot
// be used: Too many levels of symbolic links."
std::string SettingsDirectoryProblem(const std::filesystem::path& dir);

// True when new files can be made in dir (a folder that exists and lets this user write).
bool FolderWritable(const std::filesystem::path& dir);

// The user's home folder (%USERPROFILE% on Windows, $HOME elsewhere), else the current folder.
std::filesystem::path UserHomeDirectory();

// The folder of the running executable (empty when it cannot be found).
std::filesystem::path ExecutableDirectory();

}  // namespace talmeru
