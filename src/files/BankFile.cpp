#include "files/BankFile.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "files/Apex.h"
#include "files/ConversionLog.h"
#include "files/K2000Import.h"
#include "files/Pbf.h"
#include "files/Sf2Import.h"
#include "files/SyxBank.h"
#include "files/Tmb.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace fs = std::filesystem;

namespace {

RomBankProvider& Provider() {
    static RomBankProvider provider;
    return provider;
}

bool Has(const std::string& lowerPath, const char* ext) {
    return lowerPath.find(ext) != std::string::npos;
}

int ReadPbfFile(ZedoDatabase& db, const std::string& path) {
    auto data = ReadWholeFile(path);
    if (!data) {
        ShowMessage("problem with opening\n");
        return 1;
    }
    return ReadPbf(*data, db, db.OpenOptions());
}

// Runs an import; a file it could not read at all fails the open, and anything else it
// made becomes a bank that is saved as a .pbf file.
int Import(ZedoDatabase& db, const std::string& path, ConversionLog* log, bool k2000) {
    StreamConversionLog toStderr(std::cerr);
    ConversionLog& out = log ? *log : toStderr;
    int rc = 0;
    if (k2000) {
        const ZedoDatabase* rom = RomBankForFiles();
        if (!rom) {
            ShowMessage("A K2000 file can only be converted once the MA-1 ROM bank is loaded.");
            return 1;
        }
        rc = ImportK2000(path, db, *rom, out);
    } else {
        rc = ImportSf2(path, db, out);
    }
    if (rc != 0) return 1;
    db.SetComment("Converted with Talmeru");
    db.SetPath(fs::path(path).replace_extension(".pbf").string());
    db.SetModified(false);
    return 0;
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
    std::string lower = ToLower(path);
    if (Has(lower, ".pbf")) return ReadPbfFile(db, path);
    if (Has(lower, ".krz")) return Import(db, path, log, true);
    if (Has(lower, ".sf2")) return Import(db, path, log, false);
    if (Has(lower, ".tmb")) return ReadTmb(path, db);
    if (Has(lower, ".syx")) return ReadSyx(path, db, RomBankForFiles());
    if (Has(lower, ".apex")) return ReadApex(path, db);
    return 1;
}

int ReopenBank(ZedoDatabase& db) {
    std::string path = db.Path();
    db.Clear(false);
    db.SetPath(path);
    return ReadPbfFile(db, path);
}

int SaveBank(ZedoDatabase& db, const std::string& path, int options) {
    std::string lower = ToLower(path);
    int (*writer)(const std::string&, ZedoDatabase&, int) = nullptr;
    if (Has(lower, ".pbf"))
        writer = WritePbf;
    else if (Has(lower, ".tmb"))
        writer = WriteTmb;
    else if (Has(lower, ".syx"))
        writer = [](const std::string& p, ZedoDatabase& d, int) {
            return WriteSyx(p, d, RomBankForFiles());
        };
    if (!writer) return 1;

    fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    auto temp = CreateUniqueFile(dir, "TalmeruTemp");
    if (!temp) {
        ShowMessage("problem with saving\n");
        return 1;
    }
    std::error_code ec;
    if (int rc = writer(temp->string(), db, options); rc != 0) {
        // A half-written temporary file is of no use to anyone.
        fs::remove(*temp, ec);
        return rc;
    }
    // The complete new bank stays in the temporary file when the old one may not be replaced.
    if (!MayReplace(target)) {
        ShowMessage("Error deleting old bank file.");
        return 1;
    }
    fs::rename(*temp, target, ec);
    if (ec) {
        ShowMessage("Error renaming temporary file to bank file.");
        return 1;
    }
    // Sample data read from the file just replaced now lies elsewhere in the new one.
    if (writer == WriteTmb) RepointTmbWaveData(db, path);
    // Only now is the bank really in that file.
    db.SetPath(path);
    db.SetModified(false);
    return 0;
}

}  // namespace talmeru
