#pragma once
// A SoundFont converted by presets: each preset becomes the program a General MIDI player
// plays for it, its zones crossed with its instruments' zones become layers (velocity splits,
// stereo pairs, drum kits with their per-key pan, tuning and exclusive classes), fitted into
// what the synthesizer holds by dropping what matters least, and every loss named.
#include <cstdint>
#include <functional>
#include <string>

#include "files/Sf2Hydra.h"
#include "files/Sf2Import.h"

namespace talmeru {

class ConversionLog;
class WaveData;
class ZedoDatabase;

// Where a conversion's samples lie: the file's sample records (points in frames of `wave`,
// which holds `frames` of them) and the wave data every header plays.
struct Sf2Samples {
    const sf2::Hydra* hydra = nullptr;
    uint32_t frames = 0;
    // The level (dB) of up to n frames of `wave` from a frame, NaN when unknown; none when the
    // conversion need not match samples' levels.
    std::function<double(uint32_t frame, uint32_t n)> level = {};
};

// Converts the chosen presets into db (emptied by the caller); every sample header made plays
// a stretch of wave, which the bank already holds. Logs every step and, at the end, every loss.
void ConvertSf2Presets(const Sf2Samples& samples, const Sf2Choice& choice, ZedoDatabase& db,
                       WaveData* wave, ConversionLog& log);

// What converting the chosen presets takes before anything is fitted.
Sf2Needs PresetNeeds(const Sf2Samples& samples, const Sf2Choice& choice);

}  // namespace talmeru
