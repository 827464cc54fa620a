#pragma once
// The open-bank dialog's preview without a window: a Pinnacle Bank File is read into a bank
// of its own, and the WAV files its RAM samples play can be listened to.
#include <string>
#include <vector>

#include "model/ZedoDatabase.h"

namespace talmeru {

class BankPreview {
  public:
    // A newly selected file; the status text for the panel.
    std::string Select(const std::string& path);
    const std::string& Status() const { return status_; }
    bool CanPlay() const { return canPlay_; }
    // The WAV files of the preview bank's RAM wave data, in list order; right channels of a
    // file are left out (the left channel's entry plays the whole file).
    std::vector<std::string> PlayList() const;
    const ZedoDatabase& Bank() const { return bank_; }

  private:
    ZedoDatabase bank_;
    std::string status_;
    bool canPlay_ = false;
};

}  // namespace talmeru
