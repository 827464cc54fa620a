// SoundFont 2 and 3 import, by instruments and by presets (the input's seed picks one, and a
// small budget now and then so that fitting runs too), with the sample data of what it made,
// and the export of the bank it made (into memory).
#include "FuzzSupport.h"
#include "files/BankFormats.h"
#include "files/ConversionLog.h"
#include "files/Sf2Export.h"
#include "files/Sf2Import.h"
#include "model/ZedoDatabase.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    std::string path = fuzz::WriteScratch(".sf2", data, size);
    const uint32_t seed = fuzz::SeedOf(data, size);
    SetSf2Chooser([seed](const std::string&, const Sf2Catalog& catalog) {
        Sf2Choice choice;
        choice.mode = seed & 1 ? Sf2Programs::kPresets : Sf2Programs::kInstruments;
        if (seed & 2) {
            choice.budget.sampleHeaders = 1 + int(seed >> 8) % 16;
            choice.budget.keymaps = 1 + int(seed >> 12) % 16;
            choice.budget.sampleBytes = 1 + int64_t(seed >> 16) * 64;
        }
        if (seed & 4) {
            choice.chosen.assign(catalog.presets.size(), false);
            for (size_t i = 0; i < choice.chosen.size(); i += 2)
                choice.chosen[i] = true;
        }
        return std::optional<Sf2Choice>(choice);
    });
    ZedoDatabase db;
    db.SetOpenOptions(kOpenQuiet);
    RecordingConversionLog log;
    ImportSf2(path, db, log);
    SetSf2Chooser(nullptr);
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        db.GetWaveData(i)->LoadData();
        db.GetWaveData(i)->ReleaseData();
    }
    BankWrite write;
    std::vector<uint8_t> image;
    if (PrepareSf2(db, path + ".out.sf2", log, write) == 0) WriteBankImage(write, image);
    return 0;
}
