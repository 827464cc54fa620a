#include "application/SynthSession.h"

#include <algorithm>

#include "emulator/Ma1Emulator.h"
#include "platform/Format.h"
#include "platform/Memory.h"
#include "platform/Version.h"

namespace talmeru {

SynthSession::SynthSession(Profile& settings, std::unique_ptr<MidiSystem> midi,
                           std::shared_ptr<emulator::Ma1Emulator> emulator,
                           std::unique_ptr<AudioOutput> audio, EventPump* pump)
    : settings_(settings),
      emulator_(std::move(emulator)),
      midi_(std::move(midi)),
      audio_(std::make_unique<EmulatorAudio>(emulator_, std::move(audio))) {
    if (emulator_) emulator_->SetSampleRamBytes(uint32_t(SampleRamMiB()) << 20);
    link_ = std::make_unique<MidiSynthLink>(*midi_, settings_);
    link_->SetIncomingNotify([this] {
        std::lock_guard lock(notifyMutex_);
        if (incomingNotify_) incomingNotify_();
    });
    link_->SetEventPump(pump);
    link_->LogDevices();
    link_->ChooseDevices();
    if (link_->IsReady()) {
        ReadAudition();
    } else {
        link_->LogDevices();
    }
}

SynthSession::~SynthSession() = default;

void SynthSession::ReadAudition() {
    velocity_ = settings_.GetInt("Audition", "Velocity", 96);
    channel_ = settings_.GetInt("Audition", "Channel", 0) & 15;
    const int stored = settings_.GetInt("Audition", "InEnabled", 1);
    auditionIn_ = stored == 1;
    if (stored != (auditionIn_ ? 1 : 0)) settings_.WriteBool("Audition", "InEnabled", auditionIn_);
    if (auditionIn_) {
        link_->StartAudition();
    } else {
        link_->StopAudition();
    }
}

void SynthSession::SetAuditionVelocity(int v) {
    if (v == velocity_) return;
    velocity_ = v;
    settings_.WriteInt("Audition", "Velocity", v);
}

bool SynthSession::SetAuditionChannel(int channel) {
    if (channel == channel_) return false;
    channel_ = channel & 15;
    settings_.WriteInt("Audition", "Channel", channel_);
    return true;
}

void SynthSession::SetAuditionInEnabled(bool on) {
    if (on == auditionIn_) return;
    auditionIn_ = on;
    settings_.WriteBool("Audition", "InEnabled", on);
    if (on) {
        link_->StartAudition();
    } else {
        link_->StopAudition();
    }
}

void SynthSession::SetThru(bool on) {
    link_->SetThruEnabled(on);
}

void SynthSession::SendShort(uint8_t status, uint8_t data1, uint8_t data2) {
    link_->SendShort(uint8_t(status | channel_), data1, data2, 0);
}

void SynthSession::SendProgram(int number) {
    SendShort(0xB0, 0, uint8_t(number / 128));
    SendShort(0xC0, uint8_t(number % 128), 0);
}

void SynthSession::SendRpn(uint8_t msb, uint8_t lsb, uint8_t value) {
    SendShort(0xB0, 101, msb);
    SendShort(0xB0, 100, lsb);
    SendShort(0xB0, 6, value);
}

void SynthSession::SendNrpn(uint8_t msb, uint8_t lsb, uint8_t value) {
    SendShort(0xB0, 99, msb);
    SendShort(0xB0, 98, lsb);
    SendShort(0xB0, 6, value);
}

void SynthSession::PlayKey(int key, bool down) {
    link_->PlayNote(uint8_t(key), down ? uint8_t(velocity_) : 0, uint8_t(channel_));
}

void SynthSession::AllNotesOff() {
    link_->SendShort(0xFC, 0, 0, 0);
    for (int ch = 0; ch < 16; ++ch) {
        link_->SendShort(uint8_t(0xB0 | ch), 120, 0, 0);
        link_->SendShort(uint8_t(0xB0 | ch), 123, 0, 0);
    }
}

std::vector<IncomingNote> SynthSession::TakeIncomingNotes() {
    std::vector<IncomingNote> notes;
    for (uint32_t message : link_->TakeIncomingMessages()) {
        const int status = message & 0xF0;
        const int velocity = (message >> 16) & 0x7F;
        if (status != 0x80 && status != 0x90) continue;
        notes.push_back(
            {int(message & 0x0F), int((message >> 8) & 0x7F), status == 0x90 && velocity > 0});
    }
    return notes;
}

void SynthSession::SetIncomingNotify(std::function<void()> notify) {
    std::lock_guard lock(notifyMutex_);
    incomingNotify_ = std::move(notify);
}

int SynthSession::MaxSampleRamMiB() {
    // The bank counts free sample RAM in an int.
    constexpr int kCountable = 2047;
    const auto machine = static_cast<int64_t>(PhysicalMemoryBytes() >> 20);
    return machine > 0 ? int(std::min<int64_t>(machine, kCountable)) : kCountable;
}

int SynthSession::SampleRamMiB() const {
    return std::clamp(settings_.GetInt("Emulator", "SampleRamMiB", kDefaultSampleRamMiB), 0,
                      MaxSampleRamMiB());
}

bool SynthSession::SetSampleRamMiB(int mib) {
    mib = std::clamp(mib, 0, MaxSampleRamMiB());
    const int was = SampleRamMiB();
    settings_.WriteInt("Emulator", "SampleRamMiB", mib);
    if (mib == was || !emulator_) return false;
    emulator_->SetSampleRamBytes(uint32_t(mib) << 20);
    return true;
}

bool SynthSession::PlaysOnEmulator() const {
    const int out = link_->SynthOutIndex();
    const auto& outputs = link_->Outputs();
    return emulator_ && out >= 0 && size_t(out) < outputs.size() &&
           outputs[size_t(out)].name == emulator::kSynthOutName;
}

const AudioStatus& SynthSession::UpdateAudio(const AudioConfig& config, bool reopen) {
    if (!PlaysOnEmulator()) {
        audio_->Stop();
    } else if (reopen || !audio_->Playing()) {
        audio_->Play(config);
    }
    return audio_->Status();
}

std::string SynthSession::SampleGauge() const {
    const MemoryFigures& m = link_->Memory();
    if (m.sampleTotal == 0) return "No Sample RAM";
    // A total under 100 bytes would divide by zero: count it as full.
    const int percent = m.sampleTotal < 100 ? 100 : int(m.sampleFree / (m.sampleTotal / 100));
    return Fmt("Sample RAM %d%% (%4.1f MB)", percent, m.sampleFree / 1048576.0);
}

std::string SynthSession::ProgramGauge() const {
    const MemoryFigures& m = link_->Memory();
    if (m.programTotal == 0) return "No Program RAM";
    const int percent = m.programTotal < 100 ? 100 : int(m.programFree / (m.programTotal / 100));
    return Fmt("Program RAM %d%% (%4.1f KB)", percent, m.programFree / 1024.0);
}

std::vector<std::string> SynthSession::AboutLines() const {
    const MemoryFigures& m = link_->Memory();
    return {Fmt("Talmeru version %04x", kTalmeruVersion),
            Fmt("MA-1 identity %04x %04x %04x", link_->IdentityWord(0), link_->IdentityWord(1),
                link_->IdentityWord(2)),
            Fmt("Program RAM %d bytes, %d free", int(m.programTotal), int(m.programFree)),
            Fmt("Sample RAM %d bytes, %d free", int(m.sampleTotal), int(m.sampleFree))};
}

}  // namespace talmeru
