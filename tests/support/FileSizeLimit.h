#pragma once
// Stands in for a full disk: while it lives no file of this process grows past `bytes`, and
// a write beyond that fails (EFBIG) instead of raising SIGXFSZ. Windows has no such limit:
// there it does nothing (the tests skip).
#include <signal.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

namespace talmeru::test {

#if defined(_WIN32)
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long long) {}
};
#else
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    sighandler_t oldHandler_;
};
#endif

}  // namespace talmeru::test
