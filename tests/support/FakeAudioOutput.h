#pragma once
// Stands in for the system's audio output: devices by name, an open or start that fails on
// request, and buffers pulled by the test as the device's thread would.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/AudioOutput.h"

namespace talmeru::test {

class FakeAudioOutput : public AudioOutput {
  public:
    std::vector<AudioDevice> devices = {{0, "Speakers", true}, {1, "Headphones", false}};
    AudioOpenStatus openStatus = AudioOpenStatus::kOpen;
    std::string failure = "device busy";
    std::string startFailure;
    double deviceRate = 0;  // 0: the rate asked for

    int opens = 0, starts = 0, closes = 0;
    AudioConfig last;
    std::string opened;

    std::vector<AudioDevice> Devices() override { return devices; }

    AudioOpenResult Open(const AudioConfig& config, AudioRender render) override {
        Close();
        ++opens;
        last = config;
        AudioOpenResult r;
        r.message = "no device";
        if (devices.empty()) return r;
        const auto named = std::find_if(devices.begin(), devices.end(), [&](const AudioDevice& d) {
            return d.name == config.device;
        });
        opened = named != devices.end() ? named->name : devices.front().name;
        r.status = openStatus;
        r.message = failure;
        r.device = opened;
        if (openStatus != AudioOpenStatus::kOpen) return r;
        render_ = std::move(render);
        r.message.clear();
        r.sampleRate = deviceRate > 0 ? deviceRate : config.sampleRate;
        r.bufferFrames = config.bufferFrames;
        return r;
    }
    std::string Start() override {
        ++starts;
        if (!startFailure.empty()) return startFailure;
        running_ = true;
        return {};
    }
    void Close() override {
        if (render_) ++closes;
        render_ = {};
        running_ = false;
    }
    bool Running() const override { return running_; }

    // One buffer as the device's thread asks for it; false when nothing plays. Every sample
    // must have been written.
    bool Pull(int frames) {
        if (!running_) return false;
        std::vector<float> left(size_t(frames), NAN), right(size_t(frames), NAN);
        render_(left.data(), right.data(), frames);
        return std::none_of(left.begin(), left.end(), [](float v) { return std::isnan(v); }) &&
               std::none_of(right.begin(), right.end(), [](float v) { return std::isnan(v); });
    }

  private:
    AudioRender render_;
    bool running_ = false;
};

}  // namespace talmeru::test
