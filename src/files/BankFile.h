#pragma once
// Opening and saving banks, the format chosen by the file name's extension. A save writes a
// temporary file beside the target and only then replaces the bank file.
#include <functional>
#include <string>

namespace talmeru {

class ZedoDatabase;

// 0 on success; 1 when the extension is not known or the file cannot be opened; else the
// reader's result (5 for a failed .pbf load).
int OpenBank(ZedoDatabase& db, const std::string& path, int options);
// 0 on success; nonzero on failure, with the old bank file untouched.
int SaveBank(ZedoDatabase& db, const std::string& path, int options);
// Reads the bank's own path again as a Pinnacle Bank File.
int ReopenBank(ZedoDatabase& db);

// The ROM bank that sysex bank files start from (and that they are compared with when
// written); the application or the command line supplies it, made on first use.
using RomBankProvider = std::function<const ZedoDatabase*()>;
void SetRomBankProvider(RomBankProvider provider);
const ZedoDatabase* RomBankForFiles();

}  // namespace talmeru
