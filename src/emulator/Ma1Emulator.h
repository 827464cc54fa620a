#pragma once
// A stand-in for the MA-1 synthesizer where there is no card. It shows up as three MIDI
// devices (synth out, synth in, external MIDI in) and answers every MA-1 command: identity,
// memory, object header and fetch, store, delete, sample data, aliases, clear RAM; it keeps
// RAM objects over its factory ROM and accounts program and sample RAM. Objects are opaque
// packed blocks to it. Replies travel on a thread of its own, like a driver's callbacks.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "emulator/FactoryRom.h"
#include "platform/MidiSystem.h"
#include "voice/BankImage.h"
#include "voice/Engine.h"

namespace talmeru::emulator {

inline constexpr const char* kSynthOutName = "TBS Pro Main Synth Out (emulated)";
inline constexpr const char* kSynthInName = "TBS Pro Main Synth In (emulated)";
inline constexpr const char* kExternalInName = "TBS Pro External MIDI In (emulated)";

struct Ma1Settings {
    uint32_t sampleRamBytes = 16u << 20;  // 0: a card without sample RAM
    uint32_t programRamBytes = 256u << 10;
    std::chrono::microseconds replyLatency{0};
    // Whether it keeps every message it receives, for tests to read back; a session that
    // kept them would grow without end.
    bool keepLog = false;
};

// Faults a test can have the emulator make in its replies.
enum class Ma1Fault {
    kNone,
    kSilent,        // no reply at all
    kWrongCommand,  // the reply names another command
    kEarlyEnd,      // the reply ends (0xF7) before its payload is complete
    kNoEnd,         // the reply has no 0xF7
};

struct Ma1Memory {
    uint32_t programTotal = 0;
    uint32_t programFree = 0;
    uint32_t sampleTotal = 0;
    uint32_t sampleFree = 0;
};

class Ma1Emulator : public std::enable_shared_from_this<Ma1Emulator> {
  public:
    // The three identity words; the second is the ROM version.
    static constexpr uint16_t kIdentity[3] = {0x0001, 0x0103, 0x0120};

    static std::shared_ptr<Ma1Emulator> Create(Ma1Settings settings = {});
    ~Ma1Emulator();
    Ma1Emulator(const Ma1Emulator&) = delete;
    Ma1Emulator& operator=(const Ma1Emulator&) = delete;

    // The emulator's devices, to be listed after the system's own.
    std::shared_ptr<MidiDeviceProvider> Devices();

    // The next `count` replies (every one from now on when count < 0) suffer `fault`.
    // kSilent for the first N requests is "answering only after N requests".
    void InjectFault(Ma1Fault fault, int count);

    // A short message played on the external MIDI keyboard, delivered on the emulator's thread.
    void PlayExternal(uint32_t message);
    // Returns when everything scheduled so far has been delivered.
    void Flush();

    // ---- direct hand-over, for a loader in the same process (the instrument plugin): what
    // the store, delete, sample-data, alias and clear messages do, with the same checks and
    // RAM accounting, without packing objects into messages or waiting for replies. False
    // where the message would have been refused (counted as refused).
    bool StoreDirect(std::span<const uint8_t> block);
    void DeleteDirect(int type, int number);
    // A sample-data block of `size` bytes that fill writes in place; false also when fill
    // fails (nothing is kept).
    bool SampleDataDirect(int number, size_t size,
                          const std::function<bool(std::span<uint8_t>)>& fill);
    bool AddAliasDirect(int primary, int alias);
    void RemoveAliasDirect(int number);
    void ClearRamDirect();

    // ---- what it holds and was sent, for tests and the command line (the messages only
    // with keepLog)
    // The object a fetch would return: RAM over ROM.
    std::optional<std::vector<uint8_t>> Object(int type, int number) const;
    bool InRam(int type, int number) const;
    // The sample data block held under a sample number (not through an alias).
    std::optional<std::vector<uint8_t>> SampleData(int number) const;
    // The sample number whose data an alias plays.
    std::optional<int> AliasOf(int alias) const;
    Ma1Memory Memory() const;
    // A card with another amount of sample RAM: what is loaded stays, and the free space is
    // what the new amount leaves of it (none when the samples already take more).
    void SetSampleRamBytes(uint32_t bytes);
    // Every system-exclusive message received, whole, except that a sample-data message is
    // kept as its 12-byte head: its data are in SampleData, and a log of every upload's data
    // would double the memory the samples take.
    std::vector<std::vector<uint8_t>> ReceivedSysex() const;
    // The size of every message received, as it arrived (sample data included).
    std::vector<size_t> ReceivedSysexSizes() const;
    std::vector<uint32_t> ReceivedShort() const;
    // Requests received per command byte.
    int Requests(uint8_t command) const;
    // Messages it could not use (bad head, unknown command, truncated, no room).
    int Refused() const;
    // Notes sounding, as (channel, key); programs chosen per channel; system resets seen.
    std::set<std::pair<int, int>> SoundingNotes() const;
    int ChannelProgram(int channel) const;
    int ResetCount() const;

    // ---- playing: every channel message on the synth input sounds through the voice engine
    // Audio thread: the next frames of what it plays. Never waits for the MIDI side.
    void Render(float* left, float* right, int frames);
    // Before the audio output starts (or between renders): the rate Render produces.
    void SetAudioRate(double rate);
    // For an audio device: channel messages keep the time they arrived at within the next
    // block. Off (renders to a file), each takes effect at the start of the next Render.
    void SetLiveTiming(bool live);
    voice::EngineStats AudioStats() const;
    // What it holds now, unpacked for a voice engine of the caller's own (an instrument
    // plugin plays it on its audio thread exactly as Render would).
    std::shared_ptr<const voice::BankImage> Image() const;

  private:
    class OutPort;
    class InPort;
    class Provider;
    enum Target { kToSynthIn = 0, kToExternalIn = 1 };
    struct Delivery {
        std::chrono::steady_clock::time_point due;
        Target target;
        bool isLong;
        uint32_t shortMessage;
        std::vector<uint8_t> bytes;
    };

    explicit Ma1Emulator(Ma1Settings settings);

    // From the synth out, on the sender's thread.
    void ReceiveShort(uint32_t message);
    void ReceiveSysex(std::span<const uint8_t> message);
    // A sample-data message whose data `fill` writes straight into the sample RAM: none when
    // the head is not one of those (the port then gathers the message), else whether fill
    // could read its source.
    std::optional<bool> ReceiveSampleData(std::span<const uint8_t> head, size_t bodySize,
                                          const std::function<bool(std::span<uint8_t>)>& fill);

    // Under stateMutex_: handle one message; replies go to `replies`.
    void Handle(std::span<const uint8_t> message, std::vector<std::vector<uint8_t>>& replies);
    void HandleSampleData(std::span<const uint8_t> message);
    // Under stateMutex_: the number and block size a sample-data head (12 bytes) gives, when
    // the block fits the RAM; else none, counted as refused.
    std::optional<std::pair<int, uint32_t>> AcceptSampleData(std::span<const uint8_t> head,
                                                             size_t available);
    bool AcceptSampleData(int number, uint64_t block, size_t available);
    // Under stateMutex_: `size` bytes that fill writes, the first `block` of them kept under
    // the number (already accepted); false when fill failed.
    bool FillSampleData(int number, size_t block, size_t size,
                        const std::function<bool(std::span<uint8_t>)>& fill);
    void KeepSampleData(int number, voice::SampleBytes data);
    bool StoreBlock(std::span<const uint8_t> payload);
    bool AddAlias(int primary, int alias);
    template <class Change>
    auto Direct(Change change);
    void DeleteBlock(int type, int number);
    void RemoveSample(int number);
    void Reply(uint8_t command, std::span<const uint8_t> payload,
               std::vector<std::vector<uint8_t>>& replies);
    void ClearRam();
    // Under stateMutex_: hands the engine what it holds now.
    void PublishImage();
    std::shared_ptr<const voice::BankImage> BuildImage() const;

    void Schedule(Target target, bool isLong, uint32_t shortMessage, std::vector<uint8_t> bytes,
                  std::chrono::microseconds delay);
    void Run();
    void Register(InPort* port);
    void Unregister(InPort* port);

    mutable std::mutex stateMutex_;
    Ma1Settings settings_;
    const ObjectMap& rom_;
    ObjectMap ram_;
    std::map<int, voice::SampleBytes> samples_;
    // The sample RAM that the loaded samples leave (under stateMutex_).
    uint32_t SampleRamLeft() const;
    std::map<int, int> aliases_;
    uint32_t programFree_;
    uint32_t sampleFree_;
    Ma1Fault fault_ = Ma1Fault::kNone;
    int faultCount_ = 0;
    std::vector<std::vector<uint8_t>> receivedSysex_;
    std::vector<size_t> receivedSizes_;
    std::vector<uint32_t> receivedShort_;
    std::map<uint8_t, int> requests_;
    int refused_ = 0;
    std::set<std::pair<int, int>> notes_;
    int programs_[16] = {};
    int resets_ = 0;
    bool imageDirty_ = true;
    bool liveTiming_ = false;
    voice::Engine engine_;

    std::mutex portsMutex_;
    std::vector<InPort*> inPorts_;

    std::mutex deliveryMutex_;
    std::condition_variable deliveryWake_;
    std::condition_variable idle_;
    std::deque<Delivery> pending_;
    bool delivering_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: made when the rest is ready, joined before it goes
};

}  // namespace talmeru::emulator
