// SoundFont 2 import, with the sample data of what it made, and the export of the bank it made
// (into memory).
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
    ZedoDatabase db;
    db.SetOpenOptions(kOpenQuiet);
    RecordingConversionLog log;
    ImportSf2(path, db, log);
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        db.GetWaveData(i)->LoadData();
        db.GetWaveData(i)->ReleaseData();
    }
    BankWrite write;
    std::vector<uint8_t> image;
    if (PrepareSf2(db, path + ".out.sf2", log, write) == 0) WriteBankImage(write, image);
    return 0;
}
