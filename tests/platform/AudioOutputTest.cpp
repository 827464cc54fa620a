// The audio output's buffer shuffling, and the system's output on a machine that may have no
// audio device at all (or one that will not open).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/AudioOutput.h"

namespace talmeru {
namespace {

// A render function whose samples count on from call to call: left n, right -n/2.
struct Counter {
    int next = 1;
    std::vector<int> calls;
    AudioRender Render() {
        return [this](float* left, float* right, int frames) {
            calls.push_back(frames);
            for (int i = 0; i < frames; ++i, ++next) {
                left[i] = float(next);
                right[i] = -0.5f * float(next);
            }
        };
    }
};

TEST(AudioOutputTest, BuffersAreInterleavedForEveryChannelCountAndInPieces) {
    struct Case {
        int channels, frames, scratch;
        std::vector<int> calls;
    };
    for (const Case& c :
         {Case{2, 5, 8, {5}}, Case{1, 4, 8, {4}}, Case{4, 3, 8, {3}}, Case{2, 10, 4, {4, 4, 2}}}) {
        Counter counter;
        std::vector<float> left(size_t(c.scratch)), right(size_t(c.scratch));
        std::vector<float> out(size_t(c.channels * c.frames), NAN);
        RenderInterleaved(counter.Render(), out.data(), c.channels, c.frames, left, right);
        EXPECT_EQ(counter.calls, c.calls) << c.channels << " channels";
        for (int f = 0; f < c.frames; ++f) {
            const float* o = &out[size_t(f * c.channels)];
            if (c.channels == 1) {
                EXPECT_EQ(o[0], 0.25f * float(f + 1)) << f;  // the mix of both
                continue;
            }
            EXPECT_EQ(o[0], float(f + 1)) << f;
            EXPECT_EQ(o[1], -0.5f * float(f + 1)) << f;
            for (int extra = 2; extra < c.channels; ++extra)
                EXPECT_EQ(o[extra], 0.0f) << f;
        }
    }
    // Without scratch nothing can render: the device gets silence, not what was there.
    std::vector<float> out(8, NAN);
    Counter counter;
    RenderInterleaved(counter.Render(), out.data(), 2, 4, {}, {});
    EXPECT_TRUE(counter.calls.empty());
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
}

// This machine, CI included, may have no audio device or one that cannot be opened; neither
// may throw or crash, and an empty device list means "no device".
TEST(AudioOutputTest, TheSystemsOutputWithOrWithoutADevice) {
    std::unique_ptr<AudioOutput> output = MakeRtAudioOutput();
    const std::vector<AudioDevice> devices = output->Devices();
    for (int round = 0; round < 2; ++round) {
        const AudioOpenResult r =
            output->Open({"no such device", 44100, 256}, [](float* left, float* right, int frames) {
                std::fill(left, left + frames, 0.0f);
                std::fill(right, right + frames, 0.0f);
            });
        if (devices.empty()) {
            EXPECT_EQ(r.status, AudioOpenStatus::kNoDevice);
            EXPECT_EQ(r.message.rfind("no device", 0), 0u) << r.message;
        } else if (r.status == AudioOpenStatus::kOpen) {
            EXPECT_GT(r.bufferFrames, 0);
            EXPECT_GT(r.sampleRate, 0);
            if (output->Start().empty()) {
                EXPECT_TRUE(output->Running());
            }
        } else {
            EXPECT_FALSE(r.message.empty());
            EXPECT_EQ(r.message.find('\n'), std::string::npos);
        }
        output->Close();
        EXPECT_FALSE(output->Running());
    }
    EXPECT_FALSE(output->Start().empty());  // nothing open
    output->Close();                        // twice is harmless
}

}  // namespace
}  // namespace talmeru
