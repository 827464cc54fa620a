#include "app/AudioProperties.h"

#include <algorithm>
#include <iterator>

namespace talmeru {

namespace {

constexpr const char* kSection = "Audio";
constexpr int kDefaultBuffer = 256;
constexpr int kDefaultRate = 44100;

template <size_t N>
int IndexOf(const int (&choices)[N], int value) {
    const auto* at = std::find(std::begin(choices), std::end(choices), value);
    return at == std::end(choices) ? -1 : int(at - std::begin(choices));
}

template <size_t N>
int Choice(const Profile& settings, const char* key, const int (&choices)[N], int def) {
    const int stored = settings.GetInt(kSection, key, def);
    return IndexOf(choices, stored) < 0 ? def : stored;
}

}  // namespace

AudioConfig ReadAudioSettings(const Profile& settings) {
    AudioConfig c;
    c.device = settings.GetString(kSection, "Device");
    c.bufferFrames = Choice(settings, "BufferFrames", kBufferChoices, kDefaultBuffer);
    c.sampleRate = Choice(settings, "SampleRate", kRateChoices, kDefaultRate);
    return c;
}

void WriteAudioSettings(Profile& settings, const AudioConfig& config) {
    settings.WriteString(kSection, "Device", config.device);
    settings.WriteInt(kSection, "BufferFrames", config.bufferFrames);
    settings.WriteInt(kSection, "SampleRate", config.sampleRate);
}

AudioProperties::AudioProperties(const Profile& settings, const std::vector<AudioDevice>& devices)
    : start_(ReadAudioSettings(settings)),
      buffer_(IndexOf(kBufferChoices, start_.bufferFrames)),
      rate_(IndexOf(kRateChoices, start_.sampleRate)) {
    entries_.push_back("Default");
    names_.emplace_back();
    for (const AudioDevice& d : devices) {
        entries_.push_back(d.isDefault ? d.name + " (system default)" : d.name);
        names_.push_back(d.name);
    }
    if (start_.device.empty()) return;
    const auto found = std::find(names_.begin(), names_.end(), start_.device);
    if (found == names_.end()) {
        entries_.push_back(start_.device + " (not present)");
        names_.push_back(start_.device);
    }
    device_ = int(std::find(names_.begin(), names_.end(), start_.device) - names_.begin());
}

void AudioProperties::SetDeviceIndex(int index) {
    if (index >= 0 && size_t(index) < names_.size()) device_ = index;
}

void AudioProperties::SetBufferIndex(int index) {
    if (index >= 0 && size_t(index) < std::size(kBufferChoices)) buffer_ = index;
}

void AudioProperties::SetRateIndex(int index) {
    if (index >= 0 && size_t(index) < std::size(kRateChoices)) rate_ = index;
}

AudioConfig AudioProperties::Config() const {
    return {names_[size_t(device_)], kRateChoices[rate_], kBufferChoices[buffer_]};
}

bool AudioProperties::Store(Profile& settings) const {
    const AudioConfig c = Config();
    WriteAudioSettings(settings, c);
    return c.device != start_.device || c.sampleRate != start_.sampleRate ||
           c.bufferFrames != start_.bufferFrames;
}

}  // namespace talmeru
