#pragma once
// printf-style formatting: the system's messages are printf formats, kept as they are.
#include <string>

namespace talmeru {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Fmt(const char* format, ...);

// ASCII lower case, for the case-insensitive tests of names and extensions.
std::string ToLower(std::string s);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace talmeru
