#pragma once
// The bank file formats in one table: each one's extension, its entries in the open and save
// dialogs, its reader and its writer. The table's order is the dialogs' order and also the
// order in which a file name is matched against the extensions.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

class ByteSink;
class ConversionLog;
class ZedoDatabase;

// Writes a bank that is ready (every check made, every question asked) into out: false when
// that fails, with shown set when the reason has been shown (a sample that cannot be read);
// else the sink failed.
using BankWrite = std::function<bool(ByteSink& out, bool& shown)>;

// Runs a ready writer into memory (for tests and callers that want the file's bytes): 0, or
// 1 when it fails.
int WriteBankImage(const BankWrite& write, std::vector<uint8_t>& image);

struct BankFormat {
    const char* extension = nullptr;  // lower case, with the dot
    const char* openLabel = nullptr;  // the open dialog's filter, exactly as it shows; nullptr
                                      // for a format that is only written
    const char* saveLabel = nullptr;  // the save dialog's; nullptr for a format that is only read
    // Reads path into db (emptied, its path set). 0, or the reader's failure code; nullptr
    // when only written.
    int (*read)(ZedoDatabase& db, const std::string& path, ConversionLog& log) = nullptr;
    // Makes every check and asks every question of saving db at path, and gives the writer
    // of the file: no file is made before that is done, and sample data flow from their
    // sources into the file as it is written. What the format cannot hold of the bank is
    // reported to log. 0, or nonzero with the reason shown; nullptr when only read.
    int (*build)(ZedoDatabase& db, const std::string& path, int options, ConversionLog& log,
                 BankWrite& write) = nullptr;
    // Converted on opening, reporting to the log: the result is a new bank that is saved as
    // a Pinnacle Bank File.
    bool import = false;
    // Written as a copy for other programs, which cannot hold the whole bank: the bank keeps
    // its own file (and its unsaved edits stay unsaved) after such a save.
    bool exportOnly = false;
    // Read over the ROM bank, or written by comparing with it: without the ROM bank (see
    // RomBankForFiles) such a file cannot be opened or is not written as it should be.
    bool startsFromRom = false;
    // The writer can put every RAM sample beside the bank as a WAV file (kSaveWriteWavs).
    bool wavFilesBeside = false;
    // The version the file's header gives ("format 0x0102"), or "" when it has none or it
    // cannot be read; nullptr for a format without one.
    std::string (*version)(const std::string& path) = nullptr;
    // Run once the written file has replaced the old one at path (links followed); nullptr
    // when nothing is left to do.
    void (*afterSave)(ZedoDatabase& db, const std::string& path) = nullptr;
};

std::span<const BankFormat> BankFormats();
// The bank's own format: what imports become, what a reopen reads.
const BankFormat& PinnacleBankFormat();

// The first format read whose extension the path holds anywhere (case ignored), so a backup
// such as "bank.pbf.old" opens too; nullptr when there is none.
const BankFormat* BankFormatToOpen(const std::string& path);
// The same among the formats that are written.
const BankFormat* BankFormatToSave(const std::string& path);
// The written formats in the save dialog's order: the index-th one, or nullptr past the last.
const BankFormat* WrittenBankFormat(int index);
int WrittenBankFormatCount();

// The open dialog's name filters: all bank extensions together, each format, all files.
std::string OpenBankFilter();
// The save dialog's: each written format, all files.
std::string SaveBankFilter();
// The name the open dialog gives the format, without its pattern.
std::string BankFormatName(const BankFormat& format);
// What the file at path is taken for: the format's name with the version its header gives,
// such as "Pinnacle Bank File (format 0x0102)"; "unknown" for no bank extension.
std::string DescribeBankFile(const std::string& path);

}  // namespace talmeru
