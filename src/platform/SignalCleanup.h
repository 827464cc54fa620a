#pragma once
#include <cstddef>

namespace talmeru {

// The temporary files being written right now, so that an interrupted program does not leave
// them behind. A path is kept in a fixed slot that a signal handler can read without locks.
class PendingTemporaryFile {
  public:
    explicit PendingTemporaryFile(const char* path);
    ~PendingTemporaryFile();
    PendingTemporaryFile(const PendingTemporaryFile&) = delete;
    PendingTemporaryFile& operator=(const PendingTemporaryFile&) = delete;

  private:
    int slot_ = -1;  // -1 when every slot was taken or the path was too long
};

// On SIGINT, SIGTERM and SIGHUP: remove the pending temporary files, then end as the signal
// would have ended the program. No effect on Windows (the console's Ctrl+C is not handled).
void RemoveTemporaryFilesOnSignals();

}  // namespace talmeru
