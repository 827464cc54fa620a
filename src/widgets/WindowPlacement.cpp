#include "widgets/WindowPlacement.h"

#include <QMdiSubWindow>
#include <cstdio>

#include "platform/Format.h"
#include "platform/Profile.h"

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
                    &p.maxY, &p.left, &p.top, &p.right, &p.bottom) != 9 ||
        p.right <= p.left || p.bottom <= p.top)
        return std::nullopt;
    return p;
}

void RestorePlacement(QMdiSubWindow& window, const Profile& settings, const std::string& name,
                      bool activeMaximized) {
    const std::optional<WindowPlacement> stored =
        ParsePlacement(settings.GetString("State", PlacementKey(name)));
    if (stored)
        window.setGeometry(stored->left, stored->top, stored->right - stored->left,
                           stored->bottom - stored->top);
    const int show = activeMaximized ? kShowMaximized : stored ? stored->show : kShowNormal;
    if (show == kShowMaximized)
        window.showMaximized();
    else if (show == kShowMinimized)
        window.showMinimized();
    else
        window.showNormal();
}

void SavePlacement(const QWidget& window, Profile& settings, const std::string& name) {
    WindowPlacement p;
    p.show = window.isMaximized()   ? kShowMaximized
             : window.isMinimized() ? kShowMinimized
                                    : kShowNormal;
    // Child windows do not report the normal rectangle behind a maximised one; the
    // current one then stands in for it.
    QRect r = window.normalGeometry();
    if (r.isEmpty()) r = window.geometry();
    p.left = r.left();
    p.top = r.top();
    p.right = r.left() + r.width();
    p.bottom = r.top() + r.height();
    settings.WriteString("State", PlacementKey(name), FormatPlacement(p));
}

}  // namespace talmeru
