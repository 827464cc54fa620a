// The user manual: which section each window opens, that the manual has them all, and F1 in
// the main window's editors and in the wizards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <set>

#include "app/HelpBrowser.h"
#include "app/HelpSections.h"
#include "app/WindowFixture.h"
#include "editors/sample/EditorSample.h"
#include "widgets/MusicKeyboard.h"
#include "wizards/DKWiz.h"
#include "wizards/MTWiz.h"
#include "wizards/TPWiz.h"

namespace talmeru::test {
namespace {

TEST(HelpSectionsTest, AnchorsAsMarkdownRenderersMakeThem) {
    EXPECT_EQ(HelpAnchor("Insert, rename and purge"), "insert-rename-and-purge");
    EXPECT_EQ(HelpAnchor("The emulator and its sound"), "the-emulator-and-its-sound");
    EXPECT_EQ(HelpAnchor("Program/layer editor (F2)"), "programlayer-editor-f2");
    EXPECT_EQ(HelpAnchors("# Title\n\n## Main window\ntext #no\n```\n# not a heading\n```\n"
                          "#also not\n### Sub part\n"),
              (std::vector<std::string>{"title", "main-window", "sub-part"}));
}

TEST(HelpSectionsTest, TheInnermostWindowWithASectionWins) {
    EXPECT_EQ(HelpAnchorFor({"QLineEdit", "QGroupBox", "talmeru::EditorSample", "QMdiSubWindow",
                             "talmeru::CMainFrame"}),
              "sample-editor");
    EXPECT_EQ(HelpAnchorFor({"QWidget", "talmeru::TPWiz2", "talmeru::TPWiz"}),
              "tonal-program-wizard");
    EXPECT_EQ(HelpAnchorFor({"talmeru::CModulatorEditor", "talmeru::LayerEditor"}), "modulators");
    EXPECT_EQ(HelpAnchorFor({"talmeru::CMusicKeyboard", "QToolBar", "talmeru::CMainFrame"}),
              "virtual-keyboard");
    EXPECT_EQ(HelpAnchorFor({"QPushButton"}), "main-window");
    EXPECT_EQ(HelpAnchorFor({}), "main-window");
}

TEST(HelpSectionsTest, TheManualHasASectionForEveryWindow) {
    HelpBrowser help;  // loads the manual's resource
    QFile file(kManualResource);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::vector<std::string> anchors = HelpAnchors(file.readAll().toStdString());
    const std::set<std::string> have(anchors.begin(), anchors.end());
    for (const HelpSection& s : HelpSections()) {
        EXPECT_TRUE(have.count(s.anchor)) << s.windowClass << " -> " << s.anchor;
        EXPECT_TRUE(help.ShowSection(s.anchor)) << s.anchor;
    }
    for (const char* more : {"the-emulator-and-its-sound", "the-command-line"})
        EXPECT_TRUE(have.count(more)) << more;
    EXPECT_FALSE(help.ShowSection("no-such-section"));
}

class HelpWindow : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        frame->resize(1200, 800);
        frame->show();
    }
    HelpBrowser* F1(QWidget* target) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        return Shown();
    }
    static HelpBrowser* Shown() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* h = qobject_cast<HelpBrowser*>(w); h && h->isVisible()) return h;
        return nullptr;
    }
};

TEST_F(HelpWindow, ContentsOpensAtTheSectionOfTheFocusedWindow) {
    QAction* contents = EntryOf(MenuOf(*frame, "&Help"), "&Contents");
    ASSERT_NE(contents, nullptr);
    EXPECT_EQ(contents->shortcut(), QKeySequence(Qt::Key_F1));

    EditorSample* samples = frame->OpenSampleEditor();
    samples->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(samples->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == samples);
    contents->trigger();
    HelpBrowser* help = Shown();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->Section(), "sample-editor");
    // Inside the screen, which is smaller than the window's own size on a small display.
    EXPECT_TRUE(help->screen()->availableGeometry().contains(help->frameGeometry()))
        << help->frameGeometry().height() << " in " << help->screen()->availableGeometry().height();
    // Scrolled to the heading, below the start.
    EXPECT_GT(help->Browser()->verticalScrollBar()->value(), 0);
    EXPECT_EQ(help->Browser()->textCursor().block().text(), "Sample editor");

    frame->Keyboard()->setFocus();
    contents->trigger();
    EXPECT_EQ(Shown(), help);  // one help window
    EXPECT_EQ(help->Section(), "virtual-keyboard");

    // Links between sections stay in the window.
    emit help->Browser()->anchorClicked(QUrl("#keymap-editor"));
    EXPECT_EQ(help->Section(), "keymap-editor");
}

TEST_F(HelpWindow, F1InEachWizardOpensItsSection) {
    const std::vector<std::pair<std::function<std::unique_ptr<QWidget>()>, std::string>> cases = {
        {[&] {
             return std::make_unique<DKWiz>(app->Bank(), app->Editing().CurrentNumber(),
                                            app->Settings(), false, frame.get());
         },
         "drum-kit-wizard"},
        {[&] {
             return std::make_unique<TPWiz>(app->Bank(), app->Settings(),
                                            app->Editing().CurrentNumber(), false, frame.get());
         },
         "tonal-program-wizard"},
        {[&] { return std::make_unique<MTWiz>(app->Bank(), app->Numbering(), frame.get()); },
         "microtuning-wizard"},
    };
    for (const auto& [make, anchor] : cases) {
        std::unique_ptr<QWidget> wizard = make();
        wizard->show();
        QApplication::processEvents();
        QWidget* focus = wizard->focusWidget() ? wizard->focusWidget() : wizard.get();
        HelpBrowser* help = F1(focus);
        ASSERT_NE(help, nullptr) << anchor;
        EXPECT_EQ(help->Section(), anchor);
        help->close();
        QApplication::processEvents();
    }
}

}  // namespace
}  // namespace talmeru::test
