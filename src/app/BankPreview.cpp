#include "app/BankPreview.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "files/BankFile.h"
#include "model/ZedoException.h"

namespace talmeru {

namespace {

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

}  // namespace

std::string BankPreview::Select(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        // A folder or a name being typed: nothing to preview, and nothing of the last file
        // may be played as if it were this one.
        bank_.Clear(false);
        status_.clear();
        canPlay_ = false;
        return status_;
    }
    canPlay_ = false;
    if (LowerExtension(path) != ".pbf") {
        bank_.Clear(false);
        status_ = "no preview avail.";
        return status_;
    }
    int rc = 1;
    try {
        rc = OpenBank(bank_, path, kOpenQuiet);
    } catch (const ZedoException&) {
        rc = 1;
    }
    if (rc != 0) {
        bank_.Clear(false);
        status_.clear();
        return status_;
    }
    status_ = "got one";
    for (int i = 1; i < bank_.WaveDataCount() && !canPlay_; ++i)
        if (WaveData* w = bank_.GetWaveData(i); w && !w->IsRom()) canPlay_ = true;
    return status_;
}

std::vector<std::string> BankPreview::PlayList() const {
    std::vector<std::string> list;
    if (!canPlay_) return list;
    for (int i = 0; i < bank_.WaveDataCount(); ++i) {
        const WaveData* w = bank_.GetWaveData(i);
        if (!w || w->IsRom() || w->channel == kRightChannel) continue;
        if (LowerExtension(w->path) == ".wav") list.push_back(w->path);
    }
    return list;
}

}  // namespace talmeru
