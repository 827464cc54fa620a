#include "app/SystemEnd.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace talmeru {

#ifdef Q_OS_UNIX
namespace {

// A signal handler may only write to a descriptor; the window's thread reads the other end.
int signalPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

SystemEndWatcher::SystemEndWatcher(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &byte, 1);
        notifier_->setEnabled(false);  // once is enough; a second signal ends as usual
        emit ending();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

SystemEndWatcher::~SystemEndWatcher() {
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    for (int& fd : signalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}
#else
SystemEndWatcher::SystemEndWatcher(QObject* parent) : QObject(parent) {}
SystemEndWatcher::~SystemEndWatcher() = default;
#endif

}  // namespace talmeru
