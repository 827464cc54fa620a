#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace talmeru {

// Paths travel through the program as UTF-8 text. A std::filesystem::path made from a narrow
// string, and its string(), use the system's narrow encoding instead, which on Windows is the
// ANSI code page: a name in any other script would be changed. These convert in UTF-8 on
// every platform, and never throw: bytes that are not UTF-8 (a name from a damaged file)
// become U+FFFD on Windows, where a file name is UTF-16, and stay as they are elsewhere.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

#if defined(_WIN32)
// UTF-16 text from the system (a path, an argument) as UTF-8.
std::string Utf8FromWide(std::wstring_view wide);
#endif

}  // namespace talmeru
