#pragma once
// What files dropped on a window do, without the window: a bank file (or a file that
// converts to one) dropped on the main window opens as File > Open would open it; WAV files
// dropped on the sample editor become new samples, and one WAV file dropped on a keymap's
// range becomes the sample that the range plays. Anything else is refused, so the drag shows
// that it cannot be dropped there.
#include <string>
#include <vector>

namespace talmeru {

enum class DropTarget { kMainWindow, kSampleEditor, kKeymapRange };
enum class DropAction { kNone, kOpenBank, kImportSamples };

// The file opens as a bank, as File > Open would open it: the one table of bank formats decides.
bool IsBankFile(const std::string& path);
bool IsWaveFile(const std::string& path);

struct DropPlan {
    DropAction action = DropAction::kNone;
    std::vector<std::string> files;
    bool operator==(const DropPlan&) const = default;
};

DropPlan PlanDrop(DropTarget target, const std::vector<std::string>& paths);

}  // namespace talmeru
