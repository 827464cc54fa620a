// SoundFont 2 import, with the sample data of what it made.
#include "FuzzSupport.h"
#include "files/ConversionLog.h"
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
    return 0;
}
