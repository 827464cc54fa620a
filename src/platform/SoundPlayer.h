#pragma once
// Plays a WAV file for preview. The window program plays through the system's audio; tools
// and tests use the silent player.
#include <string>

namespace talmeru {

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Plays the file to its end (or until Stop) and then returns; false when it could not be
    // played. A missing file plays nothing, not a default sound.
    virtual bool PlayToEnd(const std::string& path) = 0;
    // Ends the file being played, from inside the wait of PlayToEnd.
    virtual void Stop() {}
};

class SilentSoundPlayer : public SoundPlayer {
  public:
    bool PlayToEnd(const std::string&) override { return true; }
};

}  // namespace talmeru
