#include "platform/Locations.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>
#include <unistd.h>
#else
#include <unistd.h>
#endif

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

bool FolderWritable(const fs::path& dir) {
#if defined(_WIN32)
    return !dir.empty();
#else
    return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

fs::path SettingsDirectory(bool besideExecutable) {
    fs::path dir;
    if (const char* home = std::getenv("TALMERU_HOME"); home && *home) {
        dir = home;
    } else if (fs::path exe = besideExecutable ? ExecutableDirectory() : fs::path();
               !exe.empty() && FolderWritable(exe)) {
        dir = exe;
    } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        dir = fs::path(xdg) / "talmeru";
    } else if (const char* user = std::getenv("HOME"); user && *user) {
        dir = fs::path(user) / ".config" / "talmeru";
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
        return "The settings folder \"" + dir.string() + "\" cannot be used: " + why + ".";
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
