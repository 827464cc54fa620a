#include "app/SaveBankTypes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "files/BankFormats.h"
#include "files/Pbf.h"

namespace talmeru {

namespace {

std::string LowerExtension(const std::string& name) {
    std::string ext = std::filesystem::path(name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

}  // namespace

const int SaveBankTypes::kAllFiles = WrittenBankFormatCount();

int SaveBankTypes::TypeForName(const std::string& name) {
    const std::string ext = LowerExtension(name);
    for (int i = 0; i < kAllFiles; ++i) {
        if (ext == WrittenBankFormat(i)->extension) return i;
    }
    return kAllFiles;
}

std::string SaveBankTypes::WithType(const std::string& name, int type) {
    const BankFormat* format = WrittenBankFormat(type);
    if (!format || name.empty()) return name;
    return std::filesystem::path(name).replace_extension(format->extension).string();
}

bool SaveBankTypes::WavBoxEnabled(int type) {
    const BankFormat* format = WrittenBankFormat(type);
    return format && format->wavFilesBeside;
}

int SaveBankTypes::SaveOptions(const std::string& path, bool ticked) {
    return ticked && WavBoxEnabled(TypeForName(path)) ? kSaveWriteWavs : 0;
}

}  // namespace talmeru
