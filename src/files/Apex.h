#pragma once
// Banks saved by AVM Sample Studio for the MA-1: packed objects and WAV images in one file.
#include <string>

namespace talmeru {

class ZedoDatabase;

// 0 success; 1 the file cannot be opened; 5 the load failed (the reason has been shown).
// The bank's path takes the extension ".pbf" afterwards.
int ReadApex(const std::string& path, ZedoDatabase& db);

}  // namespace talmeru
