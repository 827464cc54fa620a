// K2000 import over a ROM bank, with the sample data of what it made.
#include "FuzzSupport.h"
#include "files/ConversionLog.h"
#include "files/K2000Import.h"
#include "model/ZedoDatabase.h"
#include "support/K2000Builder.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    static ZedoDatabase rom;
    static bool built = (test::BuildRomBank(rom), true);
    (void)built;
    std::string path = fuzz::WriteScratch(".krz", data, size);
    ZedoDatabase db;
    db.SetOpenOptions(kOpenQuiet);
    RecordingConversionLog log;
    ImportK2000(path, db, rom, log);
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        db.GetWaveData(i)->LoadData();
        db.GetWaveData(i)->ReleaseData();
    }
    return 0;
}
