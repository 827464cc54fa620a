#include "platform/Locations.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>

#include "platform/FileUtil.h"
#elif defined(__APPLE__)
#include <mach-o/dyld.h>
#include <unistd.h>
#else
#include <unistd.h>
#endif

#include "platform/PathText.h"

namespace talmeru {

namespace fs = std::filesystem;

fs::path ExecutableDirectory() {
#if defined(_WIN32)
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return n ? fs::path(std::wstring(buf, n)).parent_path() : fs::path();
#elif defined(__APPLE__)
    char buf[4096];
    uint32_t size = sizeof buf;
    return _NSGetExecutablePath(buf, &size) == 0 ? fs::path(buf).parent_path() : fs::path();
#else
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
#endif
}

namespace {

// The environment variable as a path: on Windows read in UTF-16, so that a folder named in any
// script arrives whole. Empty when unset.
fs::path EnvironmentPath(const char* name) {
#if defined(_WIN32)
    const std::wstring wide(name, name + std::strlen(name));
    const wchar_t* value = _wgetenv(wide.c_str());
    return value ? fs::path(value) : fs::path();
#else
    const char* value = std::getenv(name);
    return value ? fs::path(value) : fs::path();
#endif
}

}  // namespace

fs::path UserHomeDirectory() {
#if defined(_WIN32)
    fs::path home = EnvironmentPath("USERPROFILE");
#else
    fs::path home = EnvironmentPath("HOME");
#endif
    std::error_code ec;
    return home.empty() ? fs::current_path(ec) : home;
}

bool FolderWritable(const fs::path& dir) {
#if defined(_WIN32)
    // Windows' access() knows only the read-only attribute, not who may write: try it.
    if (dir.empty()) return false;
    const std::optional<fs::path> probe = CreateUniqueFile(dir, "TalmeruProbe");
    std::error_code ec;
    if (probe) fs::remove(*probe, ec);
    return probe.has_value();
#else
    return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

fs::path SettingsDirectory(bool besideExecutable) {
    fs::path dir;
    if (fs::path home = EnvironmentPath("TALMERU_HOME"); !home.empty()) {
        dir = home;
    } else if (fs::path exe = besideExecutable ? ExecutableDirectory() : fs::path();
               !exe.empty() && FolderWritable(exe)) {
        dir = exe;
#if defined(_WIN32)
    } else if (fs::path appData = EnvironmentPath("APPDATA"); !appData.empty()) {
        dir = appData / "Talmeru";
#endif
    } else if (fs::path xdg = EnvironmentPath("XDG_CONFIG_HOME"); !xdg.empty()) {
        dir = xdg / "talmeru";
    } else if (fs::path user = EnvironmentPath("HOME"); !user.empty()) {
        dir = user / ".config" / "talmeru";
    } else {
        std::error_code ec;
        dir = fs::current_path(ec) / "talmeru";
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

std::string SettingsDirectoryProblem(const fs::path& dir) {
    auto problem = [&dir](const std::string& why) {
        return "The settings folder \"" + Utf8FromPath(dir) + "\" cannot be used: " + why + ".";
    };
    std::error_code ec;
    const fs::file_status st = fs::status(dir, ec);
    if (ec) return problem(ec.message());
    if (!fs::is_directory(st)) return problem("it is not a folder");
#if !defined(_WIN32)
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return problem(std::strerror(errno));
#endif
    return {};
}

}  // namespace talmeru
