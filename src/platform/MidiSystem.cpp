#include "platform/MidiSystem.h"

#include <algorithm>

namespace talmeru {

MidiError MidiOutPort::SendLongFilled(std::span<const uint8_t> head, size_t bodySize,
                                      const std::function<bool(std::span<uint8_t>)>& fill) {
    std::vector<uint8_t> message(head.begin(), head.end());
    message.resize(head.size() + bodySize);
    // The source has said why it could not be read.
    if (!fill(std::span(message).subspan(head.size()))) return {kMidiErrGeneral, {}};
    return SendLong(message);
}

void MidiInPort::Start() {
    std::lock_guard lock(mutex_);
    started_ = true;
}

void MidiInPort::Stop() {
    std::lock_guard lock(mutex_);
    started_ = false;
}

void MidiInPort::Reset() {
    std::lock_guard lock(mutex_);
    started_ = false;
    bufferCapacity_ = 0;
}

void MidiInPort::AddBuffer(size_t capacity) {
    std::lock_guard lock(mutex_);
    bufferCapacity_ = capacity;
}

void MidiInPort::TakeBackBuffer() {
    std::lock_guard lock(mutex_);
    bufferCapacity_ = 0;
}

// Deliveries run under the port's lock so that Stop waits for one in progress.
void MidiInPort::DeliverShort(uint32_t message) {
    std::lock_guard lock(mutex_);
    if (started_) handler_.OnShortData(message);
}

void MidiInPort::DeliverLong(std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (!started_ || bufferCapacity_ == 0) return;
    size_t n = std::min(bytes.size(), bufferCapacity_);
    bufferCapacity_ = 0;
    handler_.OnLongData(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)));
}

MidiSystem::MidiSystem(std::shared_ptr<MidiDeviceProvider> systemDevices) {
    if (systemDevices) providers_.push_back(std::move(systemDevices));
}

void MidiSystem::AddVirtualDevices(std::shared_ptr<MidiDeviceProvider> provider) {
    if (provider) providers_.push_back(std::move(provider));
}

int MidiSystem::OutputCount() {
    int n = 0;
    for (auto& p : providers_)
        n += std::max(0, p->OutputCount());
    return n;
}

int MidiSystem::InputCount() {
    int n = 0;
    for (auto& p : providers_)
        n += std::max(0, p->InputCount());
    return n;
}

MidiDeviceProvider* MidiSystem::Locate(int index, bool output, int& local) {
    if (index < 0) return nullptr;
    for (auto& p : providers_) {
        int count = std::max(0, output ? p->OutputCount() : p->InputCount());
        if (index < count) {
            local = index;
            return p.get();
        }
        index -= count;
    }
    return nullptr;
}

namespace {
MidiError BadDevice() {
    return {kMidiErrBadDevice, "The specified device identifier is out of range."};
}
}  // namespace

MidiError MidiSystem::GetOutputCaps(int index, MidiOutCaps& caps) {
    int local = 0;
    MidiDeviceProvider* p = Locate(index, true, local);
    return p ? p->GetOutputCaps(local, caps) : BadDevice();
}

MidiError MidiSystem::GetInputCaps(int index, MidiInCaps& caps) {
    int local = 0;
    MidiDeviceProvider* p = Locate(index, false, local);
    return p ? p->GetInputCaps(local, caps) : BadDevice();
}

MidiError MidiSystem::OpenOutput(int index, std::unique_ptr<MidiOutPort>& port) {
    port.reset();
    int local = 0;
    MidiDeviceProvider* p = Locate(index, true, local);
    return p ? p->OpenOutput(local, port) : BadDevice();
}

MidiError MidiSystem::OpenInput(int index, MidiInHandler& handler,
                                std::unique_ptr<MidiInPort>& port) {
    port.reset();
    int local = 0;
    MidiDeviceProvider* p = Locate(index, false, local);
    return p ? p->OpenInput(local, handler, port) : BadDevice();
}

}  // namespace talmeru
