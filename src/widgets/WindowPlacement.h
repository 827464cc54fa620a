#pragma once
// Where an editor window stands in the main window, kept in the settings under
// "<frame name>-WindowPlacement" as nine numbers: show state, minimised x and y, maximised
// x and y, then the normal left, top, right and bottom.
#include <optional>
#include <string>

class QMdiSubWindow;
class QWidget;

namespace talmeru {

class Profile;

enum PlacementShow : int { kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3 };

struct WindowPlacement {
    int show = kShowNormal;
    int minX = -1, minY = -1;
    int maxX = -1, maxY = -1;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const WindowPlacement&) const = default;
};

std::string PlacementKey(const std::string& frameName);
// "%d  %d %d  %d %d  %d %d %d %d".
std::string FormatPlacement(const WindowPlacement& p);
// None unless the text holds nine numbers and a normal rectangle that is not empty.
std::optional<WindowPlacement> ParsePlacement(const std::string& text);

// Applies the stored placement (the window's own when none is stored); maximised when the
// window that was active is.
void RestorePlacement(QMdiSubWindow& window, const Profile& settings, const std::string& name,
                      bool activeMaximized);
void SavePlacement(const QWidget& window, Profile& settings, const std::string& name);

}  // namespace talmeru
