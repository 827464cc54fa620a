#pragma once
// A FIFO in a test's own folder that can never hang the test: should anything open it for
// reading, the guard opens and closes the writing end after a while, so the reader sees an
// end of file instead of waiting forever. Whether it had to tells the test that the FIFO was
// opened at all. Windows has no FIFOs: there the guard makes nothing (the tests skip).
#include <fcntl.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace talmeru::test {

class FifoGuard {
  public:
    explicit FifoGuard(std::filesystem::path path,
                       std::chrono::milliseconds patience = std::chrono::milliseconds(1500))
        : path_(std::move(path)) {
#if defined(_WIN32)
        (void)patience;
        made_ = false;
#else
        made_ = ::mkfifo(path_.c_str(), 0644) == 0;
        thread_ = std::thread([this, patience] {
            const auto until = std::chrono::steady_clock::now() + patience;
            while (!stop_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (std::chrono::steady_clock::now() < until) continue;
                // Succeeds only while a reader has the FIFO open.
                int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    opened_ = true;
                    ::close(fd);
                }
            }
        });
#endif
    }
    ~FifoGuard() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool Made() const { return made_; }
    // A reader had opened the FIFO and waited on it.
    bool Opened() const { return opened_; }
    std::string Path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
    bool made_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> opened_{false};
    std::thread thread_;
};

}  // namespace talmeru::test
