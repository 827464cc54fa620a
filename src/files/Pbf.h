#pragma once
// Pinnacle Bank Files: the bank's objects as packed records, plus a table of the files
// its RAM samples' wave data comes from and of the headers that share them.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/BankReadError.h"
#include "platform/Version.h"

namespace talmeru {

class ByteReader;
class ByteSource;
class ConversionLog;
class ZedoDatabase;

// Records read so far, by object type.
using RecordCounts = std::array<int, 7>;

// One packed-object record at the reader's position, stored into db. A clean end of the data
// counts as a missing record; anything short or malformed raises BankReadError.
void ReadObjectRecord(ByteReader& r, ZedoDatabase& db, RecordCounts& counts);
// The same for the record at offset of a file, reading only that record: the offset after it.
uint64_t ReadObjectRecordAt(const ByteSource& src, uint64_t offset, ZedoDatabase& db,
                            RecordCounts& counts);
// Makes sample header `linked` play the wave data whose base is `base` (BankReadError when
// there is none).
void ApplyWaveLink(ZedoDatabase& db, int base, int linked);
// Every sample header without wave data plays the ROM.
void AttachRomToTheRest(ZedoDatabase& db);

inline constexpr int kPbfFormatOld = 0x0100;
inline constexpr int kPbfFormatCurrent = 0x0102;
inline constexpr int kProgramVersion = kTalmeruVersion;
inline constexpr int kSaveWriteWavs = 0x10000;

// Reads a .pbf file into db (emptied by the caller), taking only the parts its headers name.
// 0, or 5 when the load failed (the reason has been shown). A sample file whose bits or rate
// differ from its record fails the load too, after the whole bank is read. The modified flag
// is cleared once the bank is read.
// path, when given, names the file in messages; log, when given, hears of every sample file
// found in another folder than the bank names.
int ReadPbf(const ByteSource& file, ZedoDatabase& db, int options, const std::string& path = {},
            ConversionLog* log = nullptr);
int ReadPbf(std::span<const uint8_t> file, ZedoDatabase& db, int options);

// Builds the format 0x0102 image of db. 0, or 1 when the bank cannot be written (the reason
// has been shown). The modified flag is left to the caller, which knows when the file is in
// place. With kSaveWriteWavs every RAM sample's wave data is first written as a WAV file
// into wavFolder, and the bank then refers to those files.
int BuildPbf(ZedoDatabase& db, int options, std::vector<uint8_t>& out,
             const std::string& wavFolder = ".");

// A file name made of a sample name that stays inside its folder whatever the name holds.
std::string SafeFileName(const std::string& sampleName);

// Writes db as a .pbf file at path (atomically); 0 or 1 ("problem with saving\n" when the
// file cannot be written).
int WritePbf(const std::string& path, ZedoDatabase& db, int options);

}  // namespace talmeru
