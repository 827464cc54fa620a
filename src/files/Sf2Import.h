#pragma once
// SoundFont 2 import: every instrument becomes a program with one layer and one keymap,
// every sample header a sample header, and the file's sample chunk one wave data that all
// of them share. The preset level is not converted, except in a file of our own export
// (INFO "ISFT" "Talmeru"): there each preset becomes the program of its number again, whose
// layers are its instruments'.
#include <string>
#include <string_view>

namespace talmeru {

class ConversionLog;
class ZedoDatabase;

// Converts the SoundFont at path into db (emptied by the caller), reporting every step in
// log. 0 when the file was converted, in whole or in part; 1 when it could not be read as a
// SoundFont at all (nothing was created; the log says why).
int ImportSf2(const std::string& path, ZedoDatabase& db, ConversionLog& log);

// A SoundFont name (20 characters) made to fit the 16 of an object name: blanks go first,
// then vowels, then the tail.
std::string ShortenSf2Name(std::string_view name);

}  // namespace talmeru
