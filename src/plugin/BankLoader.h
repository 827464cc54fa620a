#pragma once
// A bank file made playable for the instrument plugin: opened as Talmeru opens it, handed
// to a fresh MA-1 emulator directly (the state `talmeru-cli render`'s upload over the
// protocol leaves), and what the emulator then holds taken as a voice engine's image. Runs
// on the plugin's worker thread, never on the audio thread: it reads files and allocates.
#include <cstdint>
#include <memory>
#include <string>

namespace talmeru::voice {
class BankImage;
}

namespace talmeru {
class BankLink;
}

namespace talmeru::plugin {

// The plugin's emulated sample RAM unless the host sets another: room for large SoundFonts.
inline constexpr uint32_t kDefaultSampleRamMiB = 512;

struct LoadedBank {
    std::shared_ptr<const voice::BankImage> image;  // none when the bank could not be loaded
    std::string name;                               // the file's name, for the host to show
    std::string error;  // why it was not loaded, in the words Talmeru shows elsewhere
};

// path empty: the factory ROM alone. SoundFonts become programs by presets, so General MIDI
// songs play their instruments. Loads one bank at a time in the process (the bank readers
// report through process-wide hooks).
LoadedBank LoadBank(const std::string& path, uint32_t sampleRamBytes);

// Opens the bank file and synchronises it through link (its RAM cleared first), as `synth
// upload` does: empty, else why it did not go. LoadBank's step, over the link it is given.
std::string UploadBank(BankLink& link, const std::string& path);

}  // namespace talmeru::plugin
