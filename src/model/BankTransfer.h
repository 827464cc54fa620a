#pragma once
// Whole-bank transfer with the synthesizer: downloading everything it holds, restoring the
// bank from the ROM bank, and synchronising (sending what differs from the ROM).
#include <atomic>
#include <functional>
#include <string>

namespace talmeru {

class BankLink;
class ZedoDatabase;

// Whole-bank transfers: done, or failed, given up or cancelled (the reason has been shown).
enum TransferResult : int { kTransferDone = 0, kTransferFailed = 1 };

// Progress codes of an upload.
enum UploadProgress : int {
    kProgressWaveData = 1,
    kProgressPrograms = 2,
    kProgressSampleHeaders = 3,
    kProgressKeymaps = 4,
};

// Receives an upload's progress; called on the worker thread.
class UploadObserver {
  public:
    virtual ~UploadObserver() = default;
    // The object being sent now.
    virtual void ObjectText(const std::string&) {}
    virtual void Percent(int /*code*/, int /*percent*/) {}
    virtual void Ended() {}
};

// Receives a download's progress: the row's type and the number reached.
class DownloadObserver {
  public:
    virtual ~DownloadObserver() = default;
    virtual void Reached(int /*type*/, int /*number*/) {}
};

// Runs an upload on a worker thread while the caller's user interface waits (a progress
// window with Cancel in the application, a text bar in the command line). Returns true when
// the user cancelled; the work is over (the worker has stopped) when it returns.
class UploadHost {
  public:
    virtual ~UploadHost() = default;
    using Work = std::function<int(UploadObserver&, const std::atomic<bool>& cancel)>;
    virtual bool RunUpload(const Work& work) = 0;
};

// Runs the upload on a worker thread and waits for it, reporting to an observer; never
// cancels.
class ThreadUploadHost : public UploadHost {
  public:
    explicit ThreadUploadHost(UploadObserver* observer = nullptr) : observer_(observer) {}
    bool RunUpload(const Work& work) override;

  private:
    UploadObserver* observer_;
};

// Empties db and fetches every object the link holds. kTransferFailed when the link gave up
// ("Download was cancelled. Not all objects are available").
TransferResult DownloadAll(ZedoDatabase& db, BankLink& link, DownloadObserver* observer = nullptr);

enum RestoreFlags : int { kRestoreRename = 1, kRestorePrograms = 2 };
// Fills db from the ROM bank: sample headers and keymaps, and programs with kRestorePrograms.
void RestoreRom(ZedoDatabase& db, const ZedoDatabase& rom, int flags);

// Sends everything the bank needs to the synthesizer (db's link) that its ROM does not hold.
// kTransferFailed on failure or when the user cancelled.
TransferResult Synchronise(ZedoDatabase& db, const ZedoDatabase* rom, UploadHost& host);
// Sends the marked objects (and wave data flagged for upload) under the upload window, as a
// synchronisation does but without clearing the synthesizer first.
TransferResult UploadMarked(ZedoDatabase& db, const ZedoDatabase* rom, UploadHost& host);

// The upload itself, run by the worker: kTransferFailed only when stopped by cancel (other
// failures end it early with kTransferDone, the message shown).
TransferResult UploadAll(ZedoDatabase& db, const ZedoDatabase* rom, UploadObserver& observer,
                         const std::atomic<bool>& cancel);

}  // namespace talmeru
