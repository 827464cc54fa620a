// TMB bank files, with the sample data of every wave data they give.
#include "FuzzSupport.h"
#include "files/Tmb.h"
#include "model/ZedoDatabase.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    std::string path = fuzz::WriteScratch(".tmb", data, size);
    ZedoDatabase db;
    db.SetOpenOptions(kOpenQuiet);
    ReadTmb(path, db);
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        db.GetWaveData(i)->LoadData();
        db.GetWaveData(i)->ReleaseData();
    }
    return 0;
}
