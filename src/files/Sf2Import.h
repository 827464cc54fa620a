#pragma once
// SoundFont 2 import: every instrument becomes a program with one layer and one keymap,
// every sample header a sample header, and the file's sample chunk one wave data that all
// of them share. The preset level is not converted, except in a file of our own export
// (INFO "ISFT" "Talmeru"): there each preset becomes the program of its number again, whose
// layers are its instruments'.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmeru {

class ConversionLog;
class ZedoDatabase;

// How a SoundFont's sounds become programs: each instrument a program of one layer (the
// librarian's own conversion), or each preset the program a General MIDI player plays for it
// (bank 0 preset p as program p, bank 128, the drum kits, as 128 + p, others from 256 on).
enum class Sf2Programs { kInstruments, kPresets };

// What the synthesizer can hold, which a conversion by presets fits itself into.
struct Sf2Budget {
    int sampleHeaders = 512;
    int keymaps = 512;
    int programs = 512;
    int64_t sampleBytes = 0;  // sample RAM; 0 for no limit
};

// What the user chose for one file: the mode, the presets (or instruments) to convert, by
// their index in the file (empty: all), and the synthesizer's limits.
struct Sf2Choice {
    Sf2Programs mode = Sf2Programs::kInstruments;
    std::vector<bool> chosen;
    Sf2Budget budget;
    // Whether the preset (or instrument) of this index is to be converted.
    bool Chooses(size_t i) const { return chosen.empty() || (i < chosen.size() && chosen[i]); }
};

// One preset or instrument of a file as a chooser lists it.
struct Sf2CatalogEntry {
    std::string name;
    int bank = -1, preset = -1;  // presets only
    int zones = 0;
    int samples = 0;            // distinct samples it plays
    int64_t sampleBytes = 0;    // their data, 16-bit
};

// What a file holds, for a chooser: its presets and its instruments.
struct Sf2Catalog {
    std::vector<Sf2CatalogEntry> presets, instruments;
};

// What a choice needs of the synthesizer before anything is fitted or dropped.
struct Sf2Needs {
    int sampleHeaders = 0, keymaps = 0, programs = 0;
    int64_t sampleBytes = 0;
};

// Asked when a SoundFont is opened (the window program shows its import dialog; the CLI
// answers with its --sf2-programs option). nullopt cancels the import. Without a chooser,
// files convert by instruments.
using Sf2Chooser =
    std::function<std::optional<Sf2Choice>(const std::string& path, const Sf2Catalog& catalog)>;
void SetSf2Chooser(Sf2Chooser chooser);

// Asks the chooser about the SoundFont at path before anything is cleared for it, so that a
// cancel leaves the open bank as it is; the import of that path then takes this answer. False
// when the user cancelled; true otherwise (also for a file that is no SoundFont, or when no
// chooser is set).
bool AskSf2Choice(const std::string& path);

// The catalog of the SoundFont at path; nullopt when it cannot be read as one.
std::optional<Sf2Catalog> ReadSf2Catalog(const std::string& path);
// What converting the file with choice would take, before fitting.
Sf2Needs EstimateSf2Needs(const std::string& path, const Sf2Choice& choice);

// Converts the SoundFont at path into db (emptied by the caller), reporting every step in
// log. 0 when the file was converted, in whole or in part; 1 when it could not be read as a
// SoundFont at all (nothing was created; the log says why).
int ImportSf2(const std::string& path, ZedoDatabase& db, ConversionLog& log);

// A SoundFont name (20 characters) made to fit the 16 of an object name: blanks go first,
// then vowels, then the tail.
std::string ShortenSf2Name(std::string_view name);

}  // namespace talmeru
