// The main window's layout: where it opens the first time, what it brings back later, the
// editors as tabs or windows, and editors that fit a 1280x800 screen without clipping.
#include <QApplication>
#include <QDockWidget>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>

#include "app/BankEditor.h"
#include "app/ObjectBrowser.h"
#include "app/WindowFixture.h"
#include "editors/program/LayerEditor.h"
#include "editors/sample/EditorSample.h"
#include "model/NoteNames.h"
#include "widgets/MusicKeyboard.h"

namespace talmeru::test {
namespace {

TEST(FirstStartGeometryTest, TakesMostOfTheScreenCentred) {
    for (const QRect screen : {QRect(0, 0, 1280, 800), QRect(0, 24, 1600, 976),
                               QRect(1920, 0, 1024, 768), QRect(0, 0, 3840, 2160)}) {
        const QRect r = FirstStartGeometry(screen);
        EXPECT_TRUE(screen.contains(r)) << screen.width();
        EXPECT_GE(r.width() * 100, screen.width() * 85);
        EXPECT_GE(r.height() * 100, screen.height() * 85);
        EXPECT_LE(std::abs(r.center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(r.center().y() - screen.center().y()), 1);
    }
}

class Layout : public WindowTest {
  protected:
    // A new main window on the same application, as at the next start.
    void Restart() {
        frame->close();
        frame = std::make_unique<CMainFrame>(*app);
        frame->show();
        frame->OpenStartWindows();
        QApplication::processEvents();
    }
    void Show(int width, int height) {
        frame->resize(width, height);
        frame->show();
        QApplication::processEvents();
    }
};

TEST_F(Layout, TheFirstStartShowsTheBrowserDockedLeftAndTheProgramEditorAsATab) {
    EXPECT_TRUE(frame->FirstStart());
    frame->show();
    frame->OpenStartWindows();
    QApplication::processEvents();
    CObjectBrowserFrame* browser = frame->findChild<CObjectBrowserFrame*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(frame->dockWidgetArea(browser), Qt::LeftDockWidgetArea);
    EXPECT_FALSE(browser->isFloating());
    EXPECT_GE(browser->width(), 200);
    ASSERT_NE(frame->OpenedLayerEditor(), nullptr);
    EXPECT_EQ(frame->Mdi()->viewMode(), QMdiArea::TabbedView);
    EXPECT_EQ(frame->Mdi()->subWindowList().size(), 1);
    EXPECT_NE(MenuOf(*frame, "&View"), nullptr);
    EXPECT_NE(EntryOf(MenuOf(*frame, "&View"), "&Tabbed Editors"), nullptr);
    EXPECT_TRUE(EntryOf(MenuOf(*frame, "&View"), "&Tabbed Editors")->isChecked());
}

TEST_F(Layout, TheNextStartBringsBackSizeDocksViewModeAndOpenWindows) {
    Show(1000, 700);
    frame->OpenStartWindows();
    CObjectBrowserFrame* browser = frame->OpenObjectBrowser();
    frame->addDockWidget(Qt::RightDockWidgetArea, browser);
    EntryOf(MenuOf(*frame, "&View"), "&Editors in Windows")->trigger();
    EXPECT_EQ(frame->Mdi()->viewMode(), QMdiArea::SubWindowView);
    frame->OpenBankEditor();
    QApplication::processEvents();
    Restart();
    EXPECT_FALSE(frame->FirstStart());
    EXPECT_EQ(frame->size(), QSize(1000, 700));
    ASSERT_NE(frame->ObjectBrowser(), nullptr);
    EXPECT_EQ(frame->dockWidgetArea(frame->OpenObjectBrowser()), Qt::RightDockWidgetArea);
    EXPECT_EQ(frame->Mdi()->viewMode(), QMdiArea::SubWindowView);
    EXPECT_NE(frame->BankFrame(), nullptr);
    EXPECT_NE(frame->OpenedLayerEditor(), nullptr);
    // The position key keeps its four numbers.
    int l, t, w, h;
    EXPECT_EQ(std::sscanf(app->Settings().GetString("State", "MainFrame-Position").c_str(),
                          "%d %d %d %d", &l, &t, &w, &h),
              4);
    EXPECT_EQ(QSize(w, h), QSize(1000, 700));

    // Maximised and without the browser: both come back so.
    frame->findChild<CObjectBrowserFrame*>()->close();
    frame->showMaximized();
    QApplication::processEvents();
    Restart();
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->ObjectBrowser(), nullptr);
}

TEST_F(Layout, KeyboardKeysGrowWithTheWindowAndCarryOctaveLabels) {
    CMusicKeyboard* keys = frame->Keyboard();
    const int narrow = keys->minimumWidth();
    Show(1280, 800);
    EXPECT_GT(keys->width(), narrow + 200);
    for (int key : {0, 13, 60, 61, 64, 127}) {
        const QRect r = keys->KeyBounds(key);
        EXPECT_EQ(keys->KeyAt(QPoint(r.center().x(), IsBlackKey(key) ? 3 : r.bottom() - 3)), key)
            << key;
    }
    EXPECT_EQ(CMusicKeyboard::OctaveLabel(60), "C4");
    EXPECT_EQ(CMusicKeyboard::OctaveLabel(0), "C-1");
    EXPECT_EQ(CMusicKeyboard::OctaveLabel(61), "");
}

TEST_F(Layout, TheBankEditorSplitsItsPanesEvenly) {
    Show(1280, 800);
    frame->OpenBankEditor();
    QApplication::processEvents();
    const QList<int> sizes = frame->BankFrame()->Splitter()->sizes();
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_LE(std::abs(sizes[0] - sizes[1]), 2);
    EXPECT_GT(sizes[0], 300);
}

// Every column title of every editor at 1280x800 and at 1920x1080 is as wide as its text, and
// every value field as wide as its value.
class ScreenLayout : public Layout, public ::testing::WithParamInterface<QSize> {};

TEST_P(ScreenLayout, EditorsFitTheScreenWithoutClipping) {
    Show(GetParam().width(), GetParam().height());
    frame->OpenStartWindows();
    frame->OpenBankEditor();
    frame->OpenSampleEditor(0);
    frame->OpenKeymapEditor();
    frame->OpenLayerEditor();
    frame->OpenProgramTable();
    for (QMdiSubWindow* sub : frame->Mdi()->subWindowList()) {
        frame->Mdi()->setActiveSubWindow(sub);
        QApplication::processEvents();
        const QString name = sub->windowTitle();
        for (QHeaderView* header : sub->findChildren<QHeaderView*>()) {
            if (!header->isVisible() || header->orientation() != Qt::Horizontal) continue;
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i)) continue;
                // A title of several lines needs the width of its widest.
                const QString text = header->model()->headerData(i, Qt::Horizontal).toString();
                int widest = 0;
                for (const QString& line : text.split('\n'))
                    widest = std::max(widest, header->fontMetrics().horizontalAdvance(line));
                EXPECT_GE(header->sectionSize(i), widest)
                    << name.toStdString() << ": " << text.toStdString();
            }
        }
        // Every button shows its whole text.
        for (QPushButton* button : sub->findChildren<QPushButton*>()) {
            if (!button->isVisible() || button->text().isEmpty()) continue;
            EXPECT_GE(button->width(),
                      button->fontMetrics().horizontalAdvance(button->text().remove('&')) + 8)
                << name.toStdString() << ": " << button->text().toStdString();
        }
        for (QLineEdit* field : sub->findChildren<QLineEdit*>()) {
            if (!field->isVisible() || field->text().isEmpty()) continue;
            EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()),
                      field->contentsRect().width())
                << name.toStdString() << ": " << field->text().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, ScreenLayout,
                         ::testing::Values(QSize(1280, 800), QSize(1920, 1080)));

TEST_F(Layout, TheTitleNamesTheBankAndMarksItUnsaved) {
    app->NewBank();
    EXPECT_EQ(frame->windowTitle(), "Talmeru - [Untitled][*]");
    EXPECT_FALSE(frame->isWindowModified());
    app->Bank().SetModified(true);
    frame->UpdateActions();
    EXPECT_TRUE(frame->isWindowModified());
}

// A note of the log (a sample file taken from another folder) stays in sight in the status
// bar, whether or not the log's window is wanted.
TEST_F(Layout, TheLogsNotesStayInTheStatusBar) {
    const QString before = frame->statusBar()->currentMessage();
    frame->Log()->Add("+ Program 1\r\n");
    EXPECT_EQ(frame->statusBar()->currentMessage(), before);
    frame->Log()->Add("? \"/a/x.wav\" was not found; using \"./x.wav\"\r\n");
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              "? \"/a/x.wav\" was not found; using \"./x.wav\"");
}

}  // namespace
}  // namespace talmeru::test
