#pragma once
// Plays WAV files through the system's audio, waiting for the end while the windows paint.
#include "platform/SoundPlayer.h"

class QEventLoop;

namespace talmeru {

class QtSoundPlayer : public SoundPlayer {
  public:
    bool PlayToEnd(const std::string& path) override;
    void Stop() override;

  private:
    QEventLoop* waiting_ = nullptr;
};

}  // namespace talmeru
