#pragma once
// A main window over the emulator's application, and menu lookups by their texts.
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <memory>

#include "app/AppFixture.h"
#include "app/MainFrame.h"

namespace talmeru::test {

// The main window's menu titled `title` ("&Edit"), or nullptr.
inline QMenu* MenuOf(QMainWindow& window, const QString& title) {
    for (QAction* a : window.menuBar()->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

// The entry of the menu, or of one of its submenus, with that text; nullptr if none.
inline QAction* EntryOf(QMenu* menu, const QString& text) {
    if (!menu) return nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == text) return a;
        if (QAction* inner = EntryOf(a->menu(), text)) return inner;
    }
    return nullptr;
}

// The application started with its main window.
class WindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        OpenWindow();
    }
    // A new application (with `audio` as its output) started with its main window.
    void OpenWindow() {
        Make();
        frame = std::make_unique<CMainFrame>(*app);
        ASSERT_TRUE(app->Start(*frame, {}));
        prompter.Clear();
    }
    void TearDown() override {
        frame.reset();
        AppTest::TearDown();
    }
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace talmeru::test
