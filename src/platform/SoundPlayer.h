#pragma once
// Plays a WAV file for preview, in the background; a newer sound replaces the one playing.
// The window program plays through the sound system; the command-line tool and the tests
// use the silent player, which only records what it was asked.
#include <string>
#include <vector>

namespace talmeru {

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Starts playing the file and returns at once; false when it cannot be played.
    virtual bool Play(const std::string& path) = 0;
    // Plays the file to its end (or until Stop) and then returns, the windows painting
    // meanwhile; false when it could not be played. A missing file plays nothing.
    virtual bool PlayToEnd(const std::string& path) = 0;
    virtual void Stop() = 0;
};

class SilentSoundPlayer : public SoundPlayer {
  public:
    bool Play(const std::string& path) override {
        played.push_back(path);
        playing = true;
        return true;
    }
    bool PlayToEnd(const std::string& path) override {
        played.push_back(path);
        return true;
    }
    void Stop() override {
        ++stops;
        playing = false;
    }

    std::vector<std::string> played;
    int stops = 0;
    bool playing = false;
};

// The process has one current player; the default is a silent one.
SoundPlayer& CurrentSoundPlayer();
// nullptr restores the default.
void SetSoundPlayer(SoundPlayer* player);

class ScopedSoundPlayer {
  public:
    explicit ScopedSoundPlayer(SoundPlayer& p);
    ~ScopedSoundPlayer();
    ScopedSoundPlayer(const ScopedSoundPlayer&) = delete;
    ScopedSoundPlayer& operator=(const ScopedSoundPlayer&) = delete;

  private:
    SoundPlayer* previous_;
};

}  // namespace talmeru
