#include "files/RomBankCache.h"

#include <system_error>

#include "files/BankFile.h"
#include "model/BankLink.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/PathText.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"

namespace talmeru {

std::string RomBankCache::FileName(int romVersion) {
    return Fmt("Rombank%04x.pbf", romVersion);
}

void RomBankCache::Build(BankLink& link, ZedoDatabase& scratch, DownloadObserver* observer,
                         int version) {
    link.ClearRam();
    if (DownloadAll(scratch, link, observer) != 0) {
        // A part of the ROM saved as its cache would be loaded at every later start;
        // without a file the next start downloads it again.
        ShowMessage("Download failed.");
    } else if (SaveBank(scratch, Utf8FromPath(last_), 0) != 0) {
        ShowMessage("Could not save file properly");
    } else {
        built_ = true;
        settings_.WriteInt("ROM", "DatabaseVersion", version);
    }
}

std::unique_ptr<ZedoDatabase> RomBankCache::Load(BankLink* link, ZedoDatabase& scratch,
                                                 DownloadObserver* observer) {
    built_ = loaded_ = false;
    int version = kDefaultRomVersion;
    if (link) {
        version = link->RomVersion();
        if (version == 0) {
            ShowMessage(
                "Could not determine the MA-1 version. Perhaps the incorrect device is selected.");
            return nullptr;
        }
    }
    last_ = PathFor(version);
    std::error_code ec;
    if (!std::filesystem::exists(last_, ec)) {
        if (!link) {
            ShowMessage("ROM image not found, and MA-1 device unavailable.");
        } else {
            ShowMessage(
                Fmt("New Pinnacle Program ROM version %04x detected.\nThe entire ROM will be "
                    "downloaded now to a cache file, to speed up startup.\nYou will not see "
                    "this message again, unless you upgrade the ROM",
                    version));
            Build(*link, scratch, observer, version);
        }
    }
    // Even a failed load leaves a (possibly empty) ROM bank to restore from and compare with.
    auto rom = std::make_unique<ZedoDatabase>();
    loaded_ =
        std::filesystem::exists(last_, ec) && OpenBank(*rom, Utf8FromPath(last_), kOpenQuiet) == 0;
    // A damaged cache would stand for the ROM at every start: it is made again.
    if (!loaded_ && link && !built_ && std::filesystem::exists(last_, ec)) {
        ShowMessage(Fmt("The ROM bank cache \"%s\" could not be read; it is built again.",
                        Utf8FromPath(last_).c_str()));
        Build(*link, scratch, observer, version);
        rom = std::make_unique<ZedoDatabase>();
        loaded_ = built_ && OpenBank(*rom, Utf8FromPath(last_), kOpenQuiet) == 0;
    }
    if (!loaded_) ShowMessage("Failed to load the default ROM bank image.");
    return rom;
}

}  // namespace talmeru
