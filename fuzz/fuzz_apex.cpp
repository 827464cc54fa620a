// Apex bank files with their WAV images.
#include "FuzzSupport.h"
#include "files/Apex.h"
#include "model/ZedoDatabase.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    std::string path = fuzz::WriteScratch(".apex", data, size);
    ZedoDatabase db;
    db.SetOpenOptions(kOpenQuiet);
    ReadApex(path, db);
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        db.GetWaveData(i)->LoadData();
        db.GetWaveData(i)->ReleaseData();
    }
    return 0;
}
