#pragma once
// Plays WAV files through the sound system (Qt Multimedia) for the previews.
#include <memory>

#include "platform/SoundPlayer.h"

class QEventLoop;
class QSoundEffect;

namespace talmeru {

class QtSoundPlayer : public SoundPlayer {
  public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    bool Play(const std::string& path) override;
    bool PlayToEnd(const std::string& path) override;
    void Stop() override;

  private:
    std::unique_ptr<QSoundEffect> effect_;
    QEventLoop* waiting_ = nullptr;
};

}  // namespace talmeru
