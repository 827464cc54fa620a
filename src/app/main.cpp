// The window program: start-up before the window (settings, devices, ROM bank), then the main
// window and the rest of the start-up. "--screenshot FILE" saves the main window as a PNG once
// it is up and ends the program (for the documentation, made under Xvfb).
#include <QApplication>
#include <QThread>
#include <QTimer>

#include "app/AbortGuard.h"
#include "app/MainFrame.h"
#include "app/QtPrompter.h"
#include "files/BankFile.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Talmeru");
    QStringList args = QApplication::arguments().mid(1);
    QString screenshot;
    if (const qsizetype at = args.indexOf("--screenshot"); at >= 0 && at + 1 < args.size()) {
        screenshot = args[at + 1];
        args.remove(at, 2);
    }
    talmeru::QtPrompter prompter;
    talmeru::ScopedPrompter scope(prompter);

    talmeru::TalmeruApp app(talmeru::DefaultEnvironment());
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
    talmeru::SetRomBankProvider([&app] { return app.RomBank(); });
    talmeru::CMainFrame frame(app);
    frame.show();
    std::vector<std::string> files;
    for (const QString& arg : args)
        files.push_back(arg.toStdString());
    if (!app.Start(frame, files)) return 1;
    frame.FillProgramBox();
    frame.ShowCurrentProgram();
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(700, &frame, [&] {
            frame.grab().save(screenshot, "PNG");
            QApplication::quit();
        });
    }
    const int rc = qapp.exec();
    talmeru::SetRomBankProvider({});
    return rc;
}
