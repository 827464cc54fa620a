#pragma once
// Finding, reusing and creating the wave data that sample headers play.
#include <memory>
#include <string>

#include "model/WaveData.h"

namespace talmeru {

class SampleHeader;
class ZedoDatabase;

// Whether the path's extension names a kind of sample file (WAV, K2000, SoundFont 2).
bool IsSampleFileName(const std::string& path);

// A new wave data of the kind the path's extension selects, or none.
std::unique_ptr<WaveData> CreateWaveDataByExtension(const std::string& path, int base, int channel,
                                                    bool quiet);

// The wave data for (path, channel) that sample header `number` plays: an already loaded
// one is shared, else one is created and appended (a missing or unreadable source, such as a
// file that is not a WAV file, becomes invalid wave data). The header, when given, is attached.
// Raises ZedoException with "WaveDataList full!" or "Could not load file".
WaveData* LoadWaveDataForHeader(ZedoDatabase& db, SampleHeader* header, const std::string& path,
                                int number, int channel);

}  // namespace talmeru
