#include "editors/WindowPlacement.h"

#include <cstdio>

#include "platform/Format.h"

namespace talmeru {

std::string PlacementKey(const std::string& frameName) {
    return frameName + "-WindowPlacement";
}

std::string FormatPlacement(const WindowPlacement& p) {
    return Fmt("%d  %d %d  %d %d  %d %d %d %d", p.show, p.minX, p.minY, p.maxX, p.maxY, p.left,
               p.top, p.right, p.bottom);
}

std::optional<WindowPlacement> ParsePlacement(const std::string& text) {
    WindowPlacement p;
    if (std::sscanf(text.c_str(), "%d %d %d %d %d %d %d %d %d", &p.show, &p.minX, &p.minY, &p.maxX,
                    &p.maxY, &p.left, &p.top, &p.right, &p.bottom) != 9)
        return std::nullopt;
    if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
    return p;
}

}  // namespace talmeru
