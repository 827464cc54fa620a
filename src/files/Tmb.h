#pragma once
// TMB bank files: the bank's objects, its stereo pairings and the sample data of every RAM
// sample (compressed without loss) in one self-contained RIFF file.
#include <cstdint>
#include <string>
#include <vector>

#include "files/BankFormats.h"

namespace talmeru {

class ZedoDatabase;

// 0, or 1 when the load failed, some sample data is damaged or the file is cut short
// ("<path> is damaged or cut short"); the reason has been shown. What could be read is kept;
// sample headers left without wave data play the ROM.
int ReadTmb(const std::string& path, ZedoDatabase& db);
// Makes the checks of saving db and gives the writer of the file, which reads the sample data
// from their sources block by block as it writes; 0, or 1 when the bank cannot be written
// (the reason has been shown).
int PrepareTmb(ZedoDatabase& db, BankWrite& write);
// Builds the whole file image; 0, or 1 when the bank cannot be written (the reason has been
// shown).
int BuildTmb(ZedoDatabase& db, std::vector<uint8_t>& image);
// Writes it at path (atomically); 0, or 1 with the reason shown.
int WriteTmb(const std::string& path, ZedoDatabase& db, int options);
// After a save replaced the file at path: the wave data that read from the old file read
// from the new one.
void RepointTmbWaveData(ZedoDatabase& db, const std::string& path);

}  // namespace talmeru
