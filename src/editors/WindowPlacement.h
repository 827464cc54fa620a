#pragma once
// An editor window's placement as the settings file keeps it under "%s-WindowPlacement":
// show state, minimised x and y, maximised x and y, and the normal rectangle.
#include <optional>
#include <string>

namespace talmeru {

inline constexpr int kShowNormal = 1;
inline constexpr int kShowMinimised = 2;
inline constexpr int kShowMaximised = 3;

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
// Nothing for a damaged value or an empty rectangle.
std::optional<WindowPlacement> ParsePlacement(const std::string& text);

}  // namespace talmeru
