#include "platform/CommandLine.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include "platform/PathText.h"

namespace talmeru {

#if defined(_WIN32)
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
}

bool StderrIsTerminal() {
    return ::_isatty(2) != 0;
}
#else
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

bool StderrIsTerminal() {
    return ::isatty(2) != 0;
}
#endif

}  // namespace talmeru
