#include "application/EmulatorAudio.h"

#include "emulator/Ma1Emulator.h"

namespace talmeru {

std::string AudioStatusLine(const AudioStatus& status) {
    switch (status.state) {
        case AudioState::kNoDevice:
            return "No audio device: the emulator plays silently.";
        case AudioState::kFailed:
            return "The audio output " +
                   (status.device.empty() ? std::string{} : "\"" + status.device + "\" ") +
                   "failed (" + status.message + "): the emulator plays silently.";
        case AudioState::kOff:
        case AudioState::kPlaying:
            break;
    }
    return {};
}

EmulatorAudio::EmulatorAudio(std::shared_ptr<emulator::Ma1Emulator> emulator,
                             std::unique_ptr<AudioOutput> output)
    : emulator_(std::move(emulator)), output_(std::move(output)) {}

EmulatorAudio::~EmulatorAudio() {
    Stop();
}

const AudioStatus& EmulatorAudio::Play(const AudioConfig& config) {
    Stop();
    if (!emulator_) return status_;
    if (!output_) {
        status_.state = AudioState::kNoDevice;
        return status_;
    }
    emulator::Ma1Emulator* emulator = emulator_.get();
    const AudioOpenResult opened =
        output_->Open(config, [emulator](float* left, float* right, int frames) {
            emulator->Render(left, right, frames);
        });
    status_.device = opened.device;
    status_.message = opened.message;
    switch (opened.status) {
        case AudioOpenStatus::kNoDevice:
            status_.state = AudioState::kNoDevice;
            return status_;
        case AudioOpenStatus::kFailed:
            status_.state = AudioState::kFailed;
            return status_;
        case AudioOpenStatus::kOpen:
            break;
    }
    // The engine learns the device's rate while nothing renders yet.
    emulator_->SetAudioRate(opened.sampleRate);
    emulator_->SetLiveTiming(true);
    status_.sampleRate = opened.sampleRate;
    status_.bufferFrames = opened.bufferFrames;
    if (std::string failed = output_->Start(); !failed.empty()) {
        output_->Close();
        status_.state = AudioState::kFailed;
        status_.message = std::move(failed);
        return status_;
    }
    status_.state = AudioState::kPlaying;
    return status_;
}

void EmulatorAudio::Stop() {
    if (output_) output_->Close();
    status_ = AudioStatus{};
}

bool EmulatorAudio::Playing() const {
    return status_.state == AudioState::kPlaying && output_->Running();
}

std::vector<AudioDevice> EmulatorAudio::Devices() const {
    return output_ ? output_->Devices() : std::vector<AudioDevice>{};
}

voice::EngineStats EmulatorAudio::Stats() const {
    return Playing() ? emulator_->AudioStats() : voice::EngineStats{};
}

}  // namespace talmeru
