#pragma once
// Opening and saving banks, the format chosen by the file name's extension. A save builds the
// whole file first, then writes a temporary file beside the target and only then replaces
// the bank file (see ReplaceFileAtomic).
#include <functional>
#include <string>

namespace talmeru {

class ConversionLog;
class ZedoDatabase;

// 0 on success; 1 when the extension is not known or the file cannot be opened; else the
// reader's result (5 for a failed .pbf load). A SoundFont 2 (.sf2) or K2000 (.krz) file is
// converted, reporting to log (stderr without one), and the bank's path becomes the .pbf
// file that a later save writes.
int OpenBank(ZedoDatabase& db, const std::string& path, int options, ConversionLog* log = nullptr);
// 0 on success; nonzero on failure, with the old bank file untouched and no temporary file
// left. Only a regular file is replaced; a link is followed to the file it leads to. What the
// format cannot hold is reported to log (stderr without one). After an export (a format that
// cannot hold the whole bank, such as .sf2) the bank keeps its path and unsaved state.
int SaveBank(ZedoDatabase& db, const std::string& path, int options, ConversionLog* log = nullptr);
// Reads the bank's own path again as a Pinnacle Bank File.
int ReopenBank(ZedoDatabase& db);

// The ROM bank that sysex bank files and K2000 imports start from (sysex files are compared
// with it when written); the application or the command line supplies it, made on first use.
// Without one those files cannot be opened.
using RomBankProvider = std::function<const ZedoDatabase*()>;
void SetRomBankProvider(RomBankProvider provider);
const ZedoDatabase* RomBankForFiles();

}  // namespace talmeru
