// Pinnacle Bank Files of both formats, and writing back whatever was accepted.
#include "FuzzSupport.h"
#include "files/Pbf.h"
#include "model/ZedoDatabase.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    ZedoDatabase db;
    if (ReadPbf(std::span<const uint8_t>(data, size), db, size % 2 ? kOpenQuiet : 0) == 0) {
        std::vector<uint8_t> out;
        BuildPbf(db, 0, out);
    }
    return 0;
}
