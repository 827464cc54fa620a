// The settings file.
#include <cstdlib>
#include <string>

#include "platform/Profile.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Profile p;
    p.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    for (const auto& section : p.Sections())
        for (const auto& key : p.Keys(section)) {
            p.GetInt(section, key, 0);
            p.GetBool(section, key, false);
            p.WriteString(section, key, p.GetString(section, key));
        }
    // A setting written is read back after a save and a load, whatever else the file holds.
    p.WriteInt("Options", "MergeWaveData", 1);
    Profile q;
    q.LoadFromText(p.ToText());
    if (q.GetInt("Options", "MergeWaveData", 0) != 1) std::abort();
    return 0;
}
