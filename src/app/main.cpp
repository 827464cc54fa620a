// The window program: start-up before the window (settings, devices, ROM bank), then the
// splash, the main window and the rest of the start-up. "--screenshot FILE" saves the main window
// as a PNG once it is up and ends the program (for the documentation, made under Xvfb);
// "--show-window NAME" (program, sample or sample:N, keymap, browser, bank, table or table:N;
// repeatable) opens an editor, maximised, once the bank is up, for tools/screenshot.sh.
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSessionManager>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/MainFrame.h"
#include "app/NoDisplay.h"
#include "app/QtPrompter.h"
#include "app/QtSoundPlayer.h"
#include "app/Sf2ImportDialog.h"
#include "app/SplashWindow.h"
#include "app/SystemEnd.h"
#include "application/AbortGuard.h"
#include "emulator/RomWaves.h"
#include "files/BankFile.h"
#include "files/Sf2Export.h"
#include "files/Sf2Import.h"

int main(int argc, char** argv) {
    if (const auto help =
            talmeru::NoDisplayHelp([](const char* name) { return std::getenv(name); })) {
        std::fputs(help->c_str(), stderr);
        return 2;
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Talmeru");
    QStringList args = QApplication::arguments().mid(1);
    QString screenshot;
    if (const qsizetype at = args.indexOf("--screenshot"); at >= 0 && at + 1 < args.size()) {
        screenshot = args[at + 1];
        args.remove(at, 2);
    }
    QStringList showWindows;
    for (qsizetype at; (at = args.indexOf("--show-window")) >= 0 && at + 1 < args.size();) {
        showWindows << args[at + 1];
        args.remove(at, 2);
    }
    talmeru::QtPrompter prompter;
    talmeru::ScopedPrompter scope(prompter);
    talmeru::QtSoundPlayer player;
    talmeru::ScopedSoundPlayer playing(player);

    // Keeps the ROM bank cache's first download window painting before the main window.
    talmeru::QtEventPump pump;
    talmeru::AppEnvironment env = talmeru::DefaultEnvironment();
    env.pump = &pump;
    env.cacheProgress =
        [](std::function<void()> cancel) -> std::unique_ptr<talmeru::DownloadObserver> {
        return std::make_unique<talmeru::DownloadWindow>(nullptr, std::move(cancel));
    };
    talmeru::TalmeruApp app(std::move(env));
    (new talmeru::CSplashWindow)->show();
    // From here on an Abort of a silent synthesizer first offers to save the bank (on the
    // window's thread, also when the upload worker asked).
    talmeru::AbortGuard guard(prompter, [&app] {
        bool mayEnd = true;
        QMetaObject::invokeMethod(
            qApp, [&] { mayEnd = app.SaveIfWanted() == 0; },
            QThread::currentThread() == qApp->thread() ? Qt::DirectConnection
                                                       : Qt::BlockingQueuedConnection);
        return mayEnd;
    });
    talmeru::ScopedPrompter guarded(guard);
    talmeru::SetRomBankProvider([&app] { return app.Editing().RomBank(); });
    // SoundFont exports write ROM samples from the emulator's stand-ins.
    talmeru::SetRomSampleSource([] { return talmeru::emulator::RomWaves(); });
    talmeru::CMainFrame frame(app);
    frame.show();
    // A SoundFont opened asks how to convert, fitted to the synthesizer's sample RAM.
    talmeru::SetSf2Chooser(
        [&app, &frame](const std::string& path, const talmeru::Sf2Catalog& catalog) {
            return talmeru::Sf2ImportDialog::Ask(path, catalog, app.Settings(),
                                                 app.Synth().Link().Memory().sampleTotal, &frame);
        });
    // When the system ends the program nobody can answer: the bank is kept unasked.
    talmeru::SystemEndWatcher systemEnd;
    QObject::connect(&systemEnd, &talmeru::SystemEndWatcher::ending, &frame,
                     [&frame] { frame.EndBySystem(); });
    QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &frame,
                     [&frame, &app](QSessionManager& session) {
                         if (!session.allowsInteraction()) {
                             frame.EndBySystem();
                         } else if (app.SaveIfWanted() != 0) {
                             session.cancel();
                         }
                         session.release();
                     });
    std::vector<std::string> files;
    for (const QString& arg : args)
        files.push_back(arg.toStdString());
    if (!app.Start(frame, files)) return 1;
    frame.StartAudio();
    frame.FillProgramBox();
    frame.ShowCurrentProgram();
    frame.OpenStartWindows();
    for (const QString& shown : showWindows) {
        // "sample:N" opens the sample editor on header N.
        const QString name = shown.section(':', 0, 0);
        if (name == "program") frame.OpenLayerEditor();
        if (name == "sample") frame.OpenSampleEditor(shown.section(':', 1).toInt());
        if (name == "keymap") frame.OpenKeymapEditor();
        if (name == "browser") frame.OpenObjectBrowser();
        if (name == "bank") frame.OpenBankEditor();
        if (name == "table") {
            // "table:N" makes program N current first.
            if (shown.contains(':'))
                app.SelectProgram(app.Bank().GetProgram(shown.section(':', 1).toInt()), true);
            frame.OpenProgramTable();
        }
        if (auto* area = qobject_cast<QMdiArea*>(frame.centralWidget()))
            if (QMdiSubWindow* window = area->activeSubWindow()) window->showMaximized();
    }
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(700, &frame, [&] {
            frame.grab().save(screenshot, "PNG");
            QApplication::quit();
        });
    }
    const int rc = qapp.exec();
    talmeru::SetRomBankProvider({});
    talmeru::SetRomSampleSource({});
    talmeru::SetSf2Chooser({});
    return rc;
}
