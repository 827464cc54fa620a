#pragma once
// SoundFont 2 export: every program becomes a preset, every layer an instrument whose zones
// are the keymap's ranges, every sample header a sample. What the format cannot express is
// written to the conversion log as "X ..." lines, approximations as "? ..." lines.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "files/BankFormats.h"

namespace talmeru {

class ConversionLog;
class ZedoDatabase;

// The sample memory that ROM sample headers play (8-bit signed data, addressed by the
// headers' offsets). The files layer cannot make it: the program that has it (the emulator's
// stand-ins) registers it. Without one, the zones that play ROM samples are left out.
using RomSampleSource = std::function<std::shared_ptr<const std::vector<int8_t>>()>;
void SetRomSampleSource(RomSampleSource source);

// Makes every check and the whole file but the sample data, reporting what changes on the
// way to log, and gives the writer that streams the sample data from their sources. 0, or 1
// with the reason shown.
int PrepareSf2(ZedoDatabase& db, const std::string& path, ConversionLog& log, BankWrite& write);

}  // namespace talmeru
