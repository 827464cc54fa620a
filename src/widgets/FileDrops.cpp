#include "widgets/FileDrops.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "files/BankFormats.h"

namespace talmeru {

namespace {

std::string Extension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

}  // namespace

bool IsBankFile(const std::string& path) {
    return BankFormatToOpen(path) != nullptr;
}

bool IsWaveFile(const std::string& path) {
    const std::string ext = Extension(path);
    return ext == ".wav" || ext == ".wave";
}

DropPlan PlanDrop(DropTarget target, const std::vector<std::string>& paths) {
    if (paths.empty()) return {};
    const bool allWaves = std::all_of(paths.begin(), paths.end(), IsWaveFile);
    switch (target) {
        case DropTarget::kMainWindow:
            // One bank replaces the open one; several would each replace the one before.
            if (paths.size() == 1 && IsBankFile(paths.front()))
                return {DropAction::kOpenBank, paths};
            return {};
        case DropTarget::kSampleEditor:
            if (allWaves) return {DropAction::kImportSamples, paths};
            return {};
        case DropTarget::kKeymapRange:
            // A range plays one sample (a stereo file: one pair).
            if (paths.size() == 1 && allWaves) return {DropAction::kImportSamples, paths};
            return {};
    }
    return {};
}

}  // namespace talmeru
