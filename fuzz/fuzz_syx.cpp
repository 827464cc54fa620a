// Sysex bank files replayed over a small ROM bank.
#include "FuzzSupport.h"
#include "files/SyxBank.h"
#include "model/ZedoDatabase.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    static ZedoDatabase rom;
    std::string path = fuzz::WriteScratch(".syx", data, size);
    ZedoDatabase db;
    if (ReadSyx(path, db, &rom) == 0)
        for (int i = 1; i < db.WaveDataCount(); ++i) {
            db.GetWaveData(i)->LoadData();
            db.GetWaveData(i)->ReleaseData();
        }
    return 0;
}
