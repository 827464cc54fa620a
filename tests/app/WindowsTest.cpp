// The upload progress window and the conversion status window.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <map>
#include <thread>

#include "app/NoDisplay.h"
#include "app/QtPrompter.h"
#include "app/SplashWindow.h"
#include "app/WindowFixture.h"
#include "widgets/ProgressWindows.h"

namespace talmeru {
namespace {

QDialog* OpenDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) return d;
    }
    return nullptr;
}

TEST(UploadWindowTest, ShowsTheWorkersProgressAndWaitsForIt) {
    UploadWindow window(nullptr);
    std::thread::id workerThread;
    QString shownText;
    int shownPercent = -1;
    const bool cancelled = window.RunUpload([&](UploadObserver& o, const std::atomic<bool>&) {
        workerThread = std::this_thread::get_id();
        o.ObjectText("Program 3");
        o.Percent(0, 40);
        // Read back on the window's thread once the reports have arrived.
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                QDialog* d = OpenDialog();
                ASSERT_NE(d, nullptr);
                shownText = d->findChild<QLabel*>()->text();
                shownPercent = d->findChild<QProgressBar*>()->value();
            },
            Qt::BlockingQueuedConnection);
        return 0;
    });
    EXPECT_FALSE(cancelled);
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_EQ(shownText, "Program 3");
    EXPECT_EQ(shownPercent, 40);
}

TEST(UploadWindowTest, CancelStopsTheWorker) {
    UploadWindow window(nullptr);
    QTimer::singleShot(0, [] {
        QDialog* d = OpenDialog();
        ASSERT_NE(d, nullptr);
        d->findChild<QPushButton*>()->click();
    });
    bool sawCancel = false;
    const bool cancelled = window.RunUpload([&](UploadObserver&, const std::atomic<bool>& cancel) {
        // Bounded so that a broken Cancel fails the test instead of hanging it.
        for (int i = 0; i < 2000 && !cancel; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        sawCancel = cancel;
        return 1;
    });
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(sawCancel);
}

TEST(ConversionStatusWindowTest, ListsTheLogAndKeepsTheChoice) {
    bool wanted = true;
    ConversionStatusWindow window(wanted, nullptr);
    window.Add("+ Program 1");
    window.Add("X Keymap 2");
    EXPECT_EQ(window.Text()->toPlainText(), "+ Program 1\nX Keymap 2");
    auto* box = window.findChild<QCheckBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Show this status window in the future.");
    EXPECT_TRUE(box->isChecked());
    box->setChecked(false);
    EXPECT_FALSE(wanted);
    window.ShowIfWanted();  // not wanted: returns without showing
    EXPECT_FALSE(window.isVisible());
    // Wanted again through the Properties sheet, not the box: shown at once.
    wanted = true;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = window.isVisible();
        window.accept();
    });
    window.ShowIfWanted();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(box->isChecked());
    window.Clear();
    EXPECT_TRUE(window.Text()->toPlainText().isEmpty());
}

TEST(SplashWindowTest, AKeyOrAClickClosesItAndOtherwiseItClosesByItself) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::MouseButtonPress}) {
        QPointer<CSplashWindow> splash = new CSplashWindow;
        splash->show();
        ASSERT_TRUE(splash->isVisible());
        if (type == QEvent::KeyPress) {
            QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier);
            QApplication::sendEvent(splash, &key);
        } else {
            QMouseEvent click(type, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(splash, &click);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(splash.isNull()) << type;
    }
    QPointer<CSplashWindow> splash = new CSplashWindow;
    splash->show();
    QEventLoop wait;
    QTimer::singleShot(kSplashMilliseconds + 200, &wait, &QEventLoop::quit);
    wait.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(splash.isNull());
}

TEST(SplashWindowTest, AMessageShownMeanwhileOutlivesTheSplash) {
    QPointer<CSplashWindow> splash = new CSplashWindow;
    splash->show();
    QApplication::setActiveWindow(splash);
    QtPrompter prompter;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            seen = true;
            EXPECT_NE(box->parentWidget(), splash.data());
            // The splash goes while the message is still open.
            splash->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            box->accept();
            break;  // the list still names the splash, which is gone
        }
    });
    prompter.Message("Still here");
    EXPECT_TRUE(seen);
    EXPECT_TRUE(splash.isNull());
}

// The shortcut's action as the main window holds it, found by its key.
QAction* ActionWithKey(QMainWindow& window, const QKeySequence& key) {
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (a->shortcut() == key) return a;
    return nullptr;
}

class MainWindowState : public test::WindowTest {
  protected:
    // What the window does before a key press may reach a shortcut.
    void BeforeShortcut() {
        QKeyEvent probe(QEvent::ShortcutOverride, Qt::Key_S, Qt::ControlModifier);
        QApplication::sendEvent(frame.get(), &probe);
    }
};

TEST_F(MainWindowState, ShortcutsAndTheTitleFollowTheBankWithoutAMenuOpening) {
    QAction* save = ActionWithKey(*frame, QKeySequence::Save);
    QAction* undo = ActionWithKey(*frame, QKeySequence::Undo);
    ASSERT_TRUE(save && undo);
    app->Editing().History().Reset();
    app->Bank().SetModified(false);
    BeforeShortcut();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(frame->isWindowModified());

    app->Bank().GetProgram(0)->SetName("edited");
    app->Changed(*app->Bank().GetProgram(0));
    BeforeShortcut();
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_TRUE(frame->isWindowModified());
    EXPECT_TRUE(frame->windowTitle().endsWith("[*]"));
}

// Alt and a letter opens one menu only, and every window the toolbar opens is in the Windows
// menu as well.
TEST_F(MainWindowState, MenusHaveTheirOwnLettersAndListTheToolbarsWindows) {
    std::map<QChar, QString> letters;
    QMenu* windows = nullptr;
    for (QAction* menu : frame->menuBar()->actions()) {
        const QString title = menu->text();
        const qsizetype amp = title.indexOf('&');
        ASSERT_GE(amp, 0) << title.toStdString();
        const QChar letter = title[amp + 1].toLower();
        EXPECT_FALSE(letters.count(letter))
            << title.toStdString() << " and " << letters[letter].toStdString();
        letters[letter] = title;
        if (QString(title).remove('&') == "Windows") windows = menu->menu();
    }
    ASSERT_NE(windows, nullptr);
    QStringList listed;
    for (QAction* a : windows->actions())
        listed << QString(a->text()).remove('&');
    for (const char* name : {"Object Browser", "Bank Editor", "Program Editor", "Sample Editor"})
        EXPECT_TRUE(listed.contains(name)) << name;
}

TEST(NoDisplayTest, HelpOnlyWhereNoDisplayOrPlatformIsNamed) {
    const std::map<std::string, const char*> none;
    auto lookup = [](const std::map<std::string, const char*>& vars) {
        return [&vars](const char* name) -> const char* {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second;
        };
    };
    const auto help = NoDisplayHelp(lookup(none));
    ASSERT_TRUE(help);
    EXPECT_NE(help->find("xvfb-run -a ./run.sh"), std::string::npos);
    EXPECT_TRUE(NoDisplayHelp(lookup({{"DISPLAY", ""}})));
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const std::map<std::string, const char*> one{{var, ":0"}};
        EXPECT_FALSE(NoDisplayHelp(lookup(one))) << var;
    }
}

// Every button of every question kind gives its own answer; closing the box is Cancel where
// the box has one, else No.
TEST(QtPrompterTest, EachButtonOfEachQuestionIsItsAnswer) {
    struct Case {
        Buttons buttons;
        QMessageBox::StandardButton pressed;  // NoButton: the box is closed
        Answer expected;
    };
    const Case cases[] = {
        {Buttons::YesNo, QMessageBox::Yes, Answer::Yes},
        {Buttons::YesNo, QMessageBox::No, Answer::No},
        {Buttons::YesNo, QMessageBox::NoButton, Answer::No},
        {Buttons::YesNoCancel, QMessageBox::Yes, Answer::Yes},
        {Buttons::YesNoCancel, QMessageBox::No, Answer::No},
        {Buttons::YesNoCancel, QMessageBox::Cancel, Answer::Cancel},
        {Buttons::YesNoCancel, QMessageBox::NoButton, Answer::Cancel},
        {Buttons::AbortRetryIgnore, QMessageBox::Abort, Answer::Abort},
        {Buttons::AbortRetryIgnore, QMessageBox::Retry, Answer::Retry},
        {Buttons::AbortRetryIgnore, QMessageBox::Ignore, Answer::Ignore},
    };
    QtPrompter prompter;
    for (const Case& c : cases) {
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible()) continue;
                if (c.pressed == QMessageBox::NoButton)
                    box->reject();
                else
                    box->button(c.pressed)->click();
            }
        });
        EXPECT_EQ(prompter.Ask("Save it?", c.buttons), c.expected)
            << int(c.buttons) << " " << int(c.pressed);
    }
}

}  // namespace
}  // namespace talmeru
