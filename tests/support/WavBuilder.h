#pragma once
// Builds WAV file images byte by byte for the readers' tests.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talmeru::test {

struct WavPlan {
    int tag = 1;
    int channels = 1;
    int bits = 16;
    uint32_t rate = 44100;
    std::vector<uint8_t> data;  // as stored in the file
    // "smpl": unity note, pitch fraction and loops {type, start, end, fraction}.
    struct Loop {
        uint32_t type, start, end, fraction;
    };
    std::optional<uint32_t> unity;
    uint32_t pitchFraction = 0;
    std::vector<Loop> loops;
    size_t smplPadding = 0;  // extra bytes at the end of the "smpl" chunk
    bool smplBeforeData = false;
    std::optional<std::vector<uint8_t>> inst;  // raw "inst" chunk
    bool withFmt = true;
    bool withData = true;
};

std::vector<uint8_t> MakeWav(const WavPlan& plan);
// 16-bit frames from per-channel sample functions.
std::vector<uint8_t> Pcm16(const std::vector<std::vector<int16_t>>& channels);
std::vector<int16_t> Ramp(int frames, int start, int step);

}  // namespace talmeru::test
