#pragma once
// What the SoundFont 2 and K2000 importers share.
#include <cmath>

#include "model/SampleHeader.h"

namespace talmeru {

// The pitch of a header whose source was recorded at `rate` Hz. The imports' wave data
// report a fixed rate, so the header cannot take the rate from its wave data as
// SampleHeader::SetPitch does; the rule is the same.
inline int PitchAtRate(double rootKey, double rate) {
    if (rootKey < 0) rootKey = 60;
    double octaves = rate < 1 ? -12.0 : 12.0 * std::log2(rate / 88200.0);
    return static_cast<int>(std::trunc(256.0 * (rootKey - 60.0 - octaves) + 0.5));
}
inline void SetPitchAtRate(SampleHeader& header, double rootKey, double rate) {
    header.pitch = PitchAtRate(rootKey, rate);
    header.DropPackedCopy();
}

}  // namespace talmeru
