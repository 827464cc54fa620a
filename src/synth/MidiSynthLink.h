#pragma once
// The synthesizer link over MIDI: the synth out (to the MA-1), the synth in (its replies) and
// the audition in (an external keyboard, passed thru to the synth out). Requests wait for
// their replies in a loop of their own on the calling (main) thread.
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/EventPump.h"
#include "platform/MidiSystem.h"
#include "synth/SynthLink.h"

namespace talmeru {

// Opening and choosing the MIDI devices.
enum DeviceResult : int {
    kDevicesOpen = 0,
    kDeviceMissing = 1,  // missing or failed to open, or an index that names no device
};

class MidiSynthLink : public SynthLink {
  public:
    static constexpr size_t kReceiveBufferSize = 4000;
    static constexpr std::chrono::milliseconds kDefaultTickPeriod{200};

    // Lists the devices; opens nothing.
    MidiSynthLink(MidiSystem& midi, Profile& settings);
    ~MidiSynthLink() override;

    const std::vector<MidiOutCaps>& Outputs() const { return outputs_; }
    const std::vector<MidiInCaps>& Inputs() const { return inputs_; }
    // Writes every device's capability record into section DEBUG of the settings.
    void LogDevices();

    // Picks the three devices from the stored names and the preferred names, writing a name
    // found by preference back to the settings. Opens nothing.
    void PickDevices();
    // PickDevices, OpenDevices, then the memory and identity queries, each only if the step
    // before succeeded.
    void ChooseDevices();
    // Opens the chosen devices and starts the synth in: kDeviceMissing when a device is
    // missing or failed to open (each shown); the others are still opened.
    DeviceResult OpenDevices();
    // kDevicesOpen when index is the current one (nothing happens) or the devices were
    // reopened with it (whatever the reopening gave); kDeviceMissing for an index that names
    // no device.
    DeviceResult SelectSynthOut(int index);
    DeviceResult SelectSynthIn(int index);
    DeviceResult SelectAuditionIn(int index);
    bool IsReady() const;

    int SynthOutIndex() const { return outIndex_; }
    int SynthInIndex() const { return inIndex_; }
    int AuditionInIndex() const { return auditionIndex_; }
    const std::string& SynthOutName() const { return synthOutName_; }
    const std::string& SynthInName() const { return synthInName_; }
    const std::string& AuditionInName() const { return auditionInName_; }

    void StartAudition();
    void StopAudition();
    bool ThruEnabled() const { return thruEnabled_; }
    void SetThruEnabled(bool on);
    // Short messages from the audition in (not clock or active sensing), in order of arrival;
    // each is returned once. The notifier, if set, is called on the MIDI thread after each
    // message is queued, so a window can schedule the handling on the main thread. Set it
    // before starting the audition input.
    std::vector<uint32_t> TakeIncomingMessages();
    void SetIncomingNotify(std::function<void()> notify) { notify_ = std::move(notify); }

    void SendShort(uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) override;
    // Note-on to the synth out, only while thru is enabled.
    void PlayNote(uint8_t note, uint8_t velocity, uint8_t channel);
    int SendSysex(std::span<const uint8_t> bytes, size_t length = 0) override;
    int SendSysexFilled(std::span<const uint8_t> head, size_t bodySize,
                        const std::function<bool(std::span<uint8_t>)>& fill) override;
    int GetObject(int type, int number, std::vector<uint8_t>& block) override;
    int QueryIdentity() override;
    int QueryMemory(int which) override;

    // Sends a request and waits for its reply of n payload bytes, unpacked into reply.
    [[nodiscard]] ReplyResult Transact(std::span<const uint8_t> request,
                                       std::vector<uint8_t>& reply, size_t n);
    // Makes the waiting request (or the next one) give up. Any thread.
    void Cancel() { queue_.RequestCancel(); }
    void SetEventPump(EventPump* pump) { pump_ = pump; }
    void SetTickPeriod(std::chrono::microseconds period) { tickPeriod_ = period; }

  private:
    class SynthInHandler : public MidiInHandler {
      public:
        explicit SynthInHandler(MidiSynthLink& link) : link_(link) {}
        void OnShortData(uint32_t) override {}
        void OnLongData(std::vector<uint8_t> bytes) override;

      private:
        MidiSynthLink& link_;
    };
    class AuditionHandler : public MidiInHandler {
      public:
        explicit AuditionHandler(MidiSynthLink& link) : link_(link) {}
        void OnShortData(uint32_t message) override;
        void OnLongData(std::vector<uint8_t>) override {}

      private:
        MidiSynthLink& link_;
    };
    enum class Outcome { kPending, kSuccess, kResend, kGiveUp };

    void ListDevices();
    void CloseAll();
    Outcome Attempt(std::span<const uint8_t> request, std::vector<uint8_t>& reply, size_t n,
                    int& wrongReplies, int& timeouts);

    MidiSystem& midi_;
    std::vector<MidiOutCaps> outputs_;
    std::vector<MidiInCaps> inputs_;
    // The system's number of each listed device (a device that failed to list is skipped).
    std::vector<int> outputIds_, inputIds_;

    std::unique_ptr<MidiOutPort> synthOut_;
    std::unique_ptr<MidiInPort> synthIn_, auditionIn_;
    int outIndex_ = -1, inIndex_ = -1, auditionIndex_ = -1;
    std::string synthOutName_, synthInName_, auditionInName_;
    std::atomic<bool> thruEnabled_{true};
    // The audition input's switch (off until the owner starts it), kept over reopened devices.
    bool auditionOn_ = false;

    SynthInHandler synthInHandler_{*this};
    AuditionHandler auditionHandler_{*this};
    std::mutex incomingMutex_;
    std::deque<uint32_t> incoming_;
    std::function<void()> notify_;

    LinkEventQueue queue_;
    EventPump* pump_ = nullptr;
    std::chrono::microseconds tickPeriod_ = kDefaultTickPeriod;
};

}  // namespace talmeru
