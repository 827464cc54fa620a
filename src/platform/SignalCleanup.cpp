#include "platform/SignalCleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace talmeru {
namespace {

constexpr int kSlots = 8;
constexpr size_t kMaxPath = 4096;

// A slot is free (0), being filled or emptied (1), or holds a path the handler may remove (2).
struct Slot {
    std::atomic<int> state{0};
    char path[kMaxPath];
};
Slot gSlots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the state");

#if !defined(_WIN32)
extern "C" void RemoveAndReraise(int sig) {
    for (Slot& s : gSlots)
        if (s.state.load() == 2) ::unlink(s.path);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
#endif

}  // namespace

PendingTemporaryFile::PendingTemporaryFile(const char* path) {
    const size_t n = std::strlen(path);
    if (n >= kMaxPath) return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!gSlots[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(gSlots[i].path, path, n + 1);
        gSlots[i].state.store(2);
        slot_ = i;
        return;
    }
}

PendingTemporaryFile::~PendingTemporaryFile() {
    if (slot_ >= 0) gSlots[slot_].state.store(0);
}

void RemoveTemporaryFilesOnSignals() {
#if !defined(_WIN32)
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the program was told to ignore (nohup) stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = RemoveAndReraise;
        sigemptyset(&sa.sa_mask);
        // One handler at a time; the default action is back before the signal is raised again.
        for (int other : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, other);
        ::sigaction(sig, &sa, nullptr);
    }
#endif
}

}  // namespace talmeru
