#pragma once
// Which section of the user manual (docs/manual.md) belongs to which window, without the
// windows: Help > Contents and F1 open the manual at the section of the window that has
// focus. Sections are named by the anchors that Markdown renderers derive from headings.
#include <string>
#include <vector>

namespace talmeru {

struct HelpSection {
    const char* windowClass;  // the class name, without its namespace
    const char* anchor;
};

inline constexpr const char* kManualResource = ":/help/manual.md";
inline constexpr const char* kManualStart = "main-window";

// Every window that has a section of its own.
const std::vector<HelpSection>& HelpSections();

// The anchor of a heading: lower case, spaces as dashes, punctuation dropped
// ("Insert, rename and purge" -> "insert-rename-and-purge").
std::string HelpAnchor(const std::string& heading);

// The anchors of the manual's headings, in order.
std::vector<std::string> HelpAnchors(const std::string& markdown);

// The section for the focus: classes from the focused widget outwards; the innermost one
// with a section wins, the main window's section when none has.
std::string HelpAnchorFor(const std::vector<std::string>& classes);

}  // namespace talmeru
