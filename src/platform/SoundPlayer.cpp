#include "platform/SoundPlayer.h"

#include <atomic>

namespace talmeru {

namespace {
SilentSoundPlayer g_silent;
std::atomic<SoundPlayer*> g_player{nullptr};
}  // namespace

SoundPlayer& CurrentSoundPlayer() {
    SoundPlayer* p = g_player.load();
    return p ? *p : g_silent;
}

void SetSoundPlayer(SoundPlayer* player) {
    g_player.store(player);
}

ScopedSoundPlayer::ScopedSoundPlayer(SoundPlayer& p) : previous_(g_player.load()) {
    SetSoundPlayer(&p);
}

ScopedSoundPlayer::~ScopedSoundPlayer() {
    SetSoundPlayer(previous_);
}

}  // namespace talmeru
