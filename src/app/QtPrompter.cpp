#include "app/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSplashScreen>
#include <QThread>

namespace talmeru {

namespace {

// Runs f on the GUI thread and waits for it.
template <typename F>
void OnGuiThread(F f) {
    if (QThread::currentThread() == qApp->thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(qApp, f, Qt::BlockingQueuedConnection);
    }
}

// The window a message belongs to. Never the splash: it closes (and goes) by itself while
// the message may still be open.
QWidget* DialogParent() {
    QWidget* active = QApplication::activeWindow();
    return qobject_cast<QSplashScreen*>(active) ? nullptr : active;
}

// "Name (*.a)|*.a|All Files (*.*)|*.*||" to Qt's "Name (*.a);;All Files (*.*)".
QString QtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|', Qt::SkipEmptyParts);
    QStringList names;
    for (int i = 0; i < parts.size(); i += 2)
        names << parts[i];
    return names.join(";;");
}

}  // namespace

void QtPrompter::Message(const std::string& text) {
    OnGuiThread(
        [&] { QMessageBox::information(DialogParent(), "Talmeru", QString::fromStdString(text)); });
}

Answer QtPrompter::Ask(const std::string& text, Buttons buttons) {
    Answer answer = Answer::No;
    OnGuiThread([&] {
        QMessageBox box(QMessageBox::Question, "Talmeru", QString::fromStdString(text),
                        QMessageBox::NoButton, DialogParent());
        switch (buttons) {
            case Buttons::YesNo:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                break;
            case Buttons::YesNoCancel:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                break;
            case Buttons::AbortRetryIgnore:
                box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry |
                                       QMessageBox::Ignore);
                break;
        }
        switch (box.exec()) {
            case QMessageBox::Yes:
                answer = Answer::Yes;
                break;
            case QMessageBox::No:
                answer = Answer::No;
                break;
            case QMessageBox::Cancel:
                answer = Answer::Cancel;
                break;
            case QMessageBox::Abort:
                answer = Answer::Abort;
                break;
            case QMessageBox::Retry:
                answer = Answer::Retry;
                break;
            case QMessageBox::Ignore:
                answer = Answer::Ignore;
                break;
            default:
                // Closing a box with a Cancel button is Cancel; otherwise No.
                answer = buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::No;
                break;
        }
    });
    return answer;
}

std::optional<std::string> QtPrompter::LocateFile(const std::string& title,
                                                  const std::string& filter,
                                                  const std::string& wantedPath) {
    std::optional<std::string> chosen;
    OnGuiThread([&] {
        const QString path =
            QFileDialog::getOpenFileName(DialogParent(), QString::fromStdString(title),
                                         QString::fromStdString(wantedPath), QtFilter(filter));
        if (!path.isEmpty()) chosen = path.toStdString();
    });
    return chosen;
}

}  // namespace talmeru
