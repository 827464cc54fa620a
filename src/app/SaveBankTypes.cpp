#include "app/SaveBankTypes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include "files/Pbf.h"

namespace talmeru {

namespace {

constexpr std::array<const char*, 3> kExtensions{".pbf", ".tmb", ".syx"};

std::string LowerExtension(const std::string& name) {
    std::string ext = std::filesystem::path(name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

}  // namespace

int SaveBankTypes::TypeForName(const std::string& name) {
    const std::string ext = LowerExtension(name);
    for (size_t i = 0; i < kExtensions.size(); ++i) {
        if (ext == kExtensions[i]) return int(i);
    }
    return kAllFiles;
}

std::string SaveBankTypes::WithType(const std::string& name, int type) {
    if (type < 0 || type >= int(kExtensions.size()) || name.empty()) return name;
    return std::filesystem::path(name).replace_extension(kExtensions[size_t(type)]).string();
}

int SaveBankTypes::SaveOptions(const std::string& path, bool ticked) {
    return ticked && TypeForName(path) == 0 ? kSaveWriteWavs : 0;
}

}  // namespace talmeru
