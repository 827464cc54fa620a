// The system's MIDI devices through RtMidi (ALSA or JACK on Linux, WinMM, CoreMIDI).
#include <rtmidi/RtMidi.h>
#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>
#endif

#include <filesystem>
#include <mutex>
#include <utility>

#include "platform/MidiSystem.h"

namespace talmeru {

namespace {

MidiError FromRtMidi(const RtMidiError& e) {
    bool badDevice = e.getType() == RtMidiError::INVALID_DEVICE ||
                     e.getType() == RtMidiError::INVALID_PARAMETER ||
                     e.getType() == RtMidiError::NO_DEVICES_FOUND;
    return {badDevice ? kMidiErrBadDevice : kMidiErrGeneral, e.getMessage()};
}

// Bytes of a short message by its status byte.
size_t ShortLength(uint8_t status) {
    if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        default:
            return 1;
    }
}

// RtMidi reports through an error callback once one is set, instead of printing and
// throwing; each port keeps the last error so the call that caused it can return it.
class ErrorSink {
  public:
    static void Callback(RtMidiError::Type type, const std::string& text, void* self) {
        if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
        static_cast<ErrorSink*>(self)->error_ = {kMidiErrGeneral, text};
    }
    MidiError Take() { return std::exchange(error_, MidiError{}); }

  private:
    MidiError error_;
};

class RtOutPort : public MidiOutPort {
  public:
    MidiError Open(unsigned index) {
        try {
            out_ = std::make_unique<RtMidiOut>();
            out_->setErrorCallback(&ErrorSink::Callback, &errors_);
            out_->openPort(index, "Talmeru");
        } catch (const RtMidiError& e) {
            return FromRtMidi(e);
        }
        return errors_.Take();
    }
    MidiError SendShort(uint32_t message) override {
        uint8_t bytes[3] = {uint8_t(message), uint8_t(message >> 8), uint8_t(message >> 16)};
        return Send(bytes, ShortLength(bytes[0]));
    }
    MidiError SendLong(std::span<const uint8_t> bytes) override {
        return Send(bytes.data(), bytes.size());
    }

  private:
    MidiError Send(const uint8_t* data, size_t size) {
        std::lock_guard lock(mutex_);
        try {
            out_->sendMessage(data, size);
        } catch (const RtMidiError& e) {
            return FromRtMidi(e);
        }
        return errors_.Take();
    }
    std::mutex mutex_;
    ErrorSink errors_;
    std::unique_ptr<RtMidiOut> out_;
};

class RtInPort : public MidiInPort {
  public:
    using MidiInPort::MidiInPort;
    ~RtInPort() override {
        if (in_) {
            in_->cancelCallback();
            in_->closePort();
        }
    }
    MidiError Open(unsigned index) {
        try {
            in_ = std::make_unique<RtMidiIn>();
            in_->setErrorCallback(&ErrorSink::Callback, &errors_);
            in_->setBufferSize(4096, 4);
            in_->ignoreTypes(false, false, false);
            in_->setCallback(&RtInPort::Received, this);
            in_->openPort(index, "Talmeru");
        } catch (const RtMidiError& e) {
            return FromRtMidi(e);
        }
        return errors_.Take();
    }

  private:
    static void Received(double, std::vector<unsigned char>* message, void* self) {
        auto* port = static_cast<RtInPort*>(self);
        if (!message || message->empty()) return;
        const auto& m = *message;
        if (m[0] == 0xF0) {
            port->DeliverLong(m);
            return;
        }
        uint32_t packed = 0;
        for (size_t i = 0; i < m.size() && i < 3; ++i)
            packed |= uint32_t(m[i]) << (8 * i);
        port->DeliverShort(packed);
    }
    ErrorSink errors_;
    std::unique_ptr<RtMidiIn> in_;
};

// RtMidi prints to stderr before it throws when the ALSA sequencer is missing, and its WinMM
// side prints a warning from its constructor, before an error callback can be set, when
// there are no devices of a direction. Those have no MIDI devices, so they are not asked.
bool SystemMidiPresent(bool output) {
#if defined(__linux__)
    (void)output;
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    if (!apis.empty() && apis.front() == RtMidi::LINUX_ALSA)
        return std::filesystem::exists("/dev/snd/seq");
#elif defined(_WIN32)
    return (output ? midiOutGetNumDevs() : midiInGetNumDevs()) > 0;
#else
    (void)output;
#endif
    return true;
}

class RtMidiDevices : public MidiDeviceProvider {
  public:
    RtMidiDevices() {
        // Without a working MIDI system the constructors throw: no devices then either.
        try {
            if (SystemMidiPresent(true)) {
                outList_ = std::make_unique<RtMidiOut>();
                outList_->setErrorCallback(&ErrorSink::Callback, &errors_);
            }
        } catch (const RtMidiError&) {
            outList_.reset();
        }
        try {
            if (SystemMidiPresent(false)) {
                inList_ = std::make_unique<RtMidiIn>();
                inList_->setErrorCallback(&ErrorSink::Callback, &errors_);
            }
        } catch (const RtMidiError&) {
            inList_.reset();
        }
    }

    int OutputCount() override { return outList_ ? int(outList_->getPortCount()) : 0; }
    int InputCount() override { return inList_ ? int(inList_->getPortCount()) : 0; }

    MidiError GetOutputCaps(int index, MidiOutCaps& caps) override {
        if (!outList_) return {kMidiErrBadDevice, "no MIDI output devices"};
        caps = MidiOutCaps{};
        caps.name = outList_->getPortName(unsigned(index));
        caps.technology = 1;  // a MIDI port
        return NameError(caps.name);
    }
    MidiError GetInputCaps(int index, MidiInCaps& caps) override {
        if (!inList_) return {kMidiErrBadDevice, "no MIDI input devices"};
        caps = MidiInCaps{};
        caps.name = inList_->getPortName(unsigned(index));
        return NameError(caps.name);
    }
    MidiError OpenOutput(int index, std::unique_ptr<MidiOutPort>& port) override {
        auto p = std::make_unique<RtOutPort>();
        MidiError e = p->Open(unsigned(index));
        if (!e) port = std::move(p);
        return e;
    }
    MidiError OpenInput(int index, MidiInHandler& handler,
                        std::unique_ptr<MidiInPort>& port) override {
        auto p = std::make_unique<RtInPort>(handler);
        MidiError e = p->Open(unsigned(index));
        if (!e) port = std::move(p);
        return e;
    }

  private:
    MidiError NameError(const std::string& name) {
        MidiError e = errors_.Take();
        if (!e && name.empty()) e = {kMidiErrBadDevice, "the device has no name"};
        return e;
    }
    ErrorSink errors_;
    std::unique_ptr<RtMidiOut> outList_;
    std::unique_ptr<RtMidiIn> inList_;
};

}  // namespace

std::unique_ptr<MidiDeviceProvider> MakeRtMidiDevices() {
    return std::make_unique<RtMidiDevices>();
}

}  // namespace talmeru
