#pragma once
// Sysex bank files: the messages an upload of the bank would send, recorded in a file.
#include <cstdint>
#include <string>
#include <vector>

namespace talmeru {

class ZedoDatabase;

// Replays the file over a copy of the ROM bank. 0, or 1 with the reason shown.
int ReadSyx(const std::string& path, ZedoDatabase& db, const ZedoDatabase* rom);
// Builds what the synchronisation would send, comparing with the ROM bank. 0, or 1 with the
// reason shown.
int BuildSyx(ZedoDatabase& db, const ZedoDatabase* rom, std::vector<uint8_t>& image);
// Writes it at path (atomically). 0 or 1.
int WriteSyx(const std::string& path, ZedoDatabase& db, const ZedoDatabase* rom);

// After a save replaced the file at path: the sample data read from the old file is read
// from where it lies in the new one.
void RepointSyxWaveData(ZedoDatabase& db, const std::string& path);

}  // namespace talmeru
