#pragma once
// Sysex bank files: the messages an upload of the bank would send, recorded in a file.
#include <cstdint>
#include <string>
#include <vector>

#include "files/BankFormats.h"

namespace talmeru {

class ByteSource;
class ZedoDatabase;

// Replays the file over a copy of the ROM bank. 0, or 1 with the reason shown; a file without
// any MA-1 message or with its last message cut short is "<path> is damaged or cut short",
// and keeps what was read.
// The file is read through a window: its sample data are stepped over, not read.
int ReadSyx(const std::string& path, ZedoDatabase& db, const ZedoDatabase* rom);
// The same from file, whose bytes are those of the file at path.
int ReadSyx(const ByteSource& file, const std::string& path, ZedoDatabase& db,
            const ZedoDatabase* rom);
// Builds what the synchronisation would send, comparing with the ROM bank. The file holds
// 16-bit samples at 44100 Hz: 8-bit samples are widened to 16 bits (their headers' points
// with them) and other rates are read back as 44100 Hz, once the user agreed to it. 0, or 1
// with the reason shown (or the question answered No). PrepareSyx makes every check, asks the
// question and builds the small messages, and gives the writer of the file, which reads the
// sample data from their sources in pieces as it writes them; BuildSyx builds the whole image.
int PrepareSyx(ZedoDatabase& db, const ZedoDatabase* rom, BankWrite& write);
int BuildSyx(ZedoDatabase& db, const ZedoDatabase* rom, std::vector<uint8_t>& image);
// Writes it at path (atomically). 0 or 1.
int WriteSyx(const std::string& path, ZedoDatabase& db, const ZedoDatabase* rom);

// After a save replaced the file at path: the sample data read from the old file is read
// from where it lies in the new one.
void RepointSyxWaveData(ZedoDatabase& db, const std::string& path);

}  // namespace talmeru
