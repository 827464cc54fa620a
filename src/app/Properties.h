#pragma once
// What the Properties sheet shows and what its OK does, without a window.
#include <string>

#include "application/TalmeruApp.h"

namespace talmeru {

struct PropertyValues {
    // Bank page.
    std::string path;
    std::string comment;
    bool mergeWaveData = false;
    bool loadWaveData = true;
    bool purgeUnused = true;
    bool convert15Bit = false;
    // Misc page.
    MiscOptions misc;
    // Midi page: indices into the link's lists, -1 for no selection.
    int synthOut = -1;
    int synthIn = -1;
    int auditionIn = -1;
    bool auditionEnabled = true;
    // Audio page: the emulator's sample RAM.
    int sampleRamMiB = kDefaultSampleRamMiB;
};

PropertyValues ReadProperties(TalmeruApp& app);
// Applies the sheet's values. Returns the changed flag: true when the program numbering or
// the devices changed, so the caller refreshes the main window. ok is false when the
// audition device was refused.
bool ApplyProperties(TalmeruApp& app, const PropertyValues& v, bool& ok);

}  // namespace talmeru
