#pragma once
// The wave-file chooser's panel without a window.
#include <string>

namespace talmeru {

// What the wave-file chooser's panel shows of a file, read as a WAV header only.
struct WaveFileInfo {
    bool readable = false;
    std::string name;
    std::string format;
    std::string bits;
    std::string originalNote;  // "%s%d", empty when unknown
    std::string samples;       // empty when the bits are unknown
    bool stereo = false;
};
// Reads the header quietly: a file that is no WAV file only leaves the panel empty.
WaveFileInfo DescribeWaveFile(const std::string& path);

}  // namespace talmeru
