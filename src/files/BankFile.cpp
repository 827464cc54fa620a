#include "files/BankFile.h"

#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "files/BankFormats.h"
#include "files/ConversionLog.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace fs = std::filesystem;

namespace {

RomBankProvider& Provider() {
    static RomBankProvider provider;
    return provider;
}

}  // namespace

void SetRomBankProvider(RomBankProvider provider) {
    Provider() = std::move(provider);
}

const ZedoDatabase* RomBankForFiles() {
    return Provider() ? Provider()() : nullptr;
}

int OpenBank(ZedoDatabase& db, const std::string& path, int options, ConversionLog* log) {
    db.SetOpenOptions(options);
    db.Clear(false);
    db.SetPath(path);
    db.SetModified(false);
    const BankFormat* format = BankFormatToOpen(path);
    if (!format) return 1;
    // A FIFO or a device would keep every reader waiting, a folder is no bank.
    if (std::string why = NotRegularFileMessage(path); !why.empty()) {
        ShowMessage(why);
        return 1;
    }
    StreamConversionLog toStderr(std::cerr);
    ConversionLog& out = log ? *log : toStderr;
    if (!format->import) return format->read(db, path, out);
    // A file the import could not read at all fails the open; anything else it made becomes
    // a bank that is saved as a Pinnacle Bank File.
    if (format->read(db, path, out) != 0) return 1;
    db.SetComment("Converted with Talmeru");
    db.SetPath(Utf8FromPath(PathFromUtf8(path).replace_extension(PinnacleBankFormat().extension)));
    db.SetModified(false);
    return 0;
}

int ReopenBank(ZedoDatabase& db) {
    std::string path = db.Path();
    db.Clear(false);
    db.SetPath(path);
    StreamConversionLog toStderr(std::cerr);
    return PinnacleBankFormat().read(db, path, toStderr);
}

int SaveBank(ZedoDatabase& db, const std::string& path, int options, ConversionLog* log) {
    const BankFormat* format = BankFormatToSave(path);
    if (!format) return 1;
    // A link is followed: the file it leads to is written, the link stays.
    const fs::path target = FollowLinks(path);
    if (std::string why = NotRegularFileMessage(Utf8FromPath(target)); !why.empty()) {
        ShowMessage(why);
        return 1;
    }
    if (!MayReplace(target)) {
        ShowMessage("Error deleting old bank file.");
        return 1;
    }
    // Every check is made before any file is made; the data are written into a temporary
    // file that replaces the old one only once complete.
    BankWrite write;
    StreamConversionLog toStderr(std::cerr);
    if (int rc = format->build(db, path, options, log ? *log : toStderr, write); rc != 0) return rc;
    bool shown = false;
    AtomicWrite written =
        ReplaceFileThroughSink(target, [&](ByteSink& out) { return write(out, shown); });
    if (!written && shown) return 1;
    switch (written.result) {
        case AtomicWrite::kDone:
            break;
        case AtomicWrite::kNotRegular:
            ShowMessage(written.text);
            return 1;
        case AtomicWrite::kRenameFailed:
            ShowMessage("Error renaming temporary file to bank file.");
            return 1;
        default:
            ShowMessage(SavingProblem(written));
            return 1;
    }
    if (format->afterSave) format->afterSave(db, Utf8FromPath(target));
    if (format->exportOnly) return 0;
    // Only now is the bank really in that file.
    db.SetPath(path);
    db.SetModified(false);
    return 0;
}

}  // namespace talmeru
