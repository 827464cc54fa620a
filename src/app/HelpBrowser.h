#pragma once
// The user manual in a window of its own: docs/manual.md, compiled into the program, shown as
// Markdown and opened at the section of the window that has focus (HelpSections).
#include <QWidget>
#include <string>

class QTextBrowser;

namespace talmeru {

class HelpBrowser : public QWidget {
    Q_OBJECT
  public:
    explicit HelpBrowser(QWidget* parent = nullptr);
    // Scrolls the section's heading to the top; false when the manual has no such section.
    bool ShowSection(const std::string& anchor);
    // The anchor shown last.
    const std::string& Section() const { return section_; }
    QTextBrowser* Browser() const { return browser_; }

  private:
    QTextBrowser* browser_;
    std::string section_;
};

// Opens (or brings up) the manual at the section for the widget that has focus (the main
// window's section when none). While a modal dialog runs, the manual opens over it, since
// any other window would not take input then.
HelpBrowser* ShowHelpFor(QWidget* focus, QWidget* mainWindow);

}  // namespace talmeru
