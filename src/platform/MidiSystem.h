#pragma once
// The MIDI device layer: device lists with their capability records, output ports, and input
// ports that deliver on the device's own thread. Devices come from providers: the system's
// real devices first, then virtual ones (the MA-1 emulator registers itself as such), so a
// real card always wins the preferred-name rules over a stand-in.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

// What the system reports for an output device.
struct MidiOutCaps {
    std::string name;
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;
    uint16_t technology = 0;
    uint16_t voices = 0;
    uint16_t notes = 0;
    uint32_t support = 0;
};

// What the system reports for an input device.
struct MidiInCaps {
    std::string name;
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;
    uint32_t support = 0;
};

// A failure of the device layer: a nonzero code and the system's text for it.
struct MidiError {
    int code = 0;
    std::string text;
    explicit operator bool() const { return code != 0; }
};

inline constexpr int kMidiErrGeneral = 1;
inline constexpr int kMidiErrBadDevice = 2;

// Packs a short message the way the device layer carries it: status in the lowest byte.
constexpr uint32_t PackShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                    uint8_t data3 = 0) {
    return uint32_t(status) | (uint32_t(data1) << 8) | (uint32_t(data2) << 16) |
           (uint32_t(data3) << 24);
}

class MidiOutPort {
  public:
    virtual ~MidiOutPort() = default;
    // May be called from several threads at once (the main thread and MIDI thru).
    virtual MidiError SendShort(uint32_t message) = 0;
    // One long message, passed whole: the sample-data message has no end byte.
    virtual MidiError SendLong(std::span<const uint8_t> bytes) = 0;
    // One long message of `head` followed by bodySize bytes that `fill` writes in place (it
    // returns false when it cannot, and nothing is sent). Ports that take a message whole
    // gather it first; one that keeps the body (the emulator's sample RAM) lets fill write
    // straight into its own storage, so a big sample is never held twice.
    virtual MidiError SendLongFilled(std::span<const uint8_t> head, size_t bodySize,
                                     const std::function<bool(std::span<uint8_t>)>& fill);
};

// Receives what an input port delivers; called on the device's thread.
class MidiInHandler {
  public:
    virtual ~MidiInHandler() = default;
    virtual void OnShortData(uint32_t message) = 0;
    virtual void OnLongData(std::vector<uint8_t> bytes) = 0;
};

// An open input. It delivers only while started; a system-exclusive message is delivered only
// into a receive buffer handed to the port beforehand (cut to the buffer's size, the buffer
// then being used up), and is lost when there is none.
class MidiInPort {
  public:
    explicit MidiInPort(MidiInHandler& handler) : handler_(handler) {}
    virtual ~MidiInPort() = default;
    MidiInPort(const MidiInPort&) = delete;
    MidiInPort& operator=(const MidiInPort&) = delete;

    // After Stop returns, no delivery is running or will run until Start.
    void Start();
    void Stop();
    // Stops the port and takes back the receive buffer.
    void Reset();
    void AddBuffer(size_t capacity);
    void TakeBackBuffer();

  protected:
    // For the device implementations, on their own thread.
    void DeliverShort(uint32_t message);
    void DeliverLong(std::span<const uint8_t> bytes);

  private:
    MidiInHandler& handler_;
    std::mutex mutex_;
    bool started_ = false;
    size_t bufferCapacity_ = 0;
};

// A source of devices: the system's own or a virtual one.
class MidiDeviceProvider {
  public:
    virtual ~MidiDeviceProvider() = default;
    virtual int OutputCount() = 0;
    virtual MidiError GetOutputCaps(int index, MidiOutCaps& caps) = 0;
    virtual int InputCount() = 0;
    virtual MidiError GetInputCaps(int index, MidiInCaps& caps) = 0;
    virtual MidiError OpenOutput(int index, std::unique_ptr<MidiOutPort>& port) = 0;
    virtual MidiError OpenInput(int index, MidiInHandler& handler,
                                std::unique_ptr<MidiInPort>& port) = 0;
};

// The system's devices through RtMidi. A machine without a MIDI system (no ALSA sequencer,
// no JACK server) simply has no devices.
std::unique_ptr<MidiDeviceProvider> MakeRtMidiDevices();

// All devices in one numbering: those of the system provider, then each virtual provider in
// the order they were added.
class MidiSystem {
  public:
    explicit MidiSystem(std::shared_ptr<MidiDeviceProvider> systemDevices = nullptr);

    void AddVirtualDevices(std::shared_ptr<MidiDeviceProvider> provider);

    int OutputCount();
    MidiError GetOutputCaps(int index, MidiOutCaps& caps);
    int InputCount();
    MidiError GetInputCaps(int index, MidiInCaps& caps);
    MidiError OpenOutput(int index, std::unique_ptr<MidiOutPort>& port);
    MidiError OpenInput(int index, MidiInHandler& handler, std::unique_ptr<MidiInPort>& port);

  private:
    // The provider that holds device `index` and the index within it, or none.
    MidiDeviceProvider* Locate(int index, bool output, int& local);

    std::vector<std::shared_ptr<MidiDeviceProvider>> providers_;
};

}  // namespace talmeru
