#pragma once
// printf-style formatting: the system's messages are printf formats, kept as they are.
#include <string>

namespace talmeru {

#if defined(__MINGW32__)
// MinGW's printf is Microsoft's unless told otherwise; ours is the C99 one (%zu, %lld).
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Fmt(const char* format, ...);

// ASCII lower case, for the case-insensitive tests of names and extensions.
std::string ToLower(std::string s);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Bank texts (names, comments, file names in bank files) are in the Windows code page 1252,
// a superset of Latin-1; this gives them in UTF-8. The five bytes the code page leaves
// undefined become the control characters of the same number.
std::string Cp1252ToUtf8(std::string_view text);
// Whether text is well-formed UTF-8 (no overlong forms, surrogates or points past U+10FFFF).
bool IsUtf8(std::string_view text);
// At most maxBytes of text; when text is UTF-8 the cut never falls inside a character.
std::string_view Utf8Prefix(std::string_view text, size_t maxBytes);

}  // namespace talmeru
