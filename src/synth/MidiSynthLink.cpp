#include "synth/MidiSynthLink.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/Sysex.h"

namespace talmeru {

namespace {

constexpr size_t kMaxErrorText = 256;
constexpr size_t kObjectHeaderBytes = 22;
constexpr int kTicksPerAttempt = 4;
constexpr int kSilentResends = 5;
constexpr int kWrongRepliesRetried = 3;
// How often the wait hands control to the event pump.
constexpr auto kPumpSlice = std::chrono::milliseconds(10);

constexpr const char* kDevicesNotFound =
    "Kurzweil MA-1 MIDI devices not found! Please check the Device Manager right now and verify "
    "that the synth driver is properly installed installed. The name is \"TB Pro Main Synth\" "
    "for the Pinnacle, and \"AVM Apex Wavetable\" for the Apex. If a yellow exclamation mark "
    "appears, your drivers are not working and Talmeru will not work. Contact technical "
    "support.";
constexpr const char* kNoResponse =
    "Synth did not respond to last request.\nHit Abort to exit Talmeru, Retry to try again, or "
    "Ignore to continue";

void ShowError(std::string text) {
    if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
    ShowMessage(text);
}

// The first device whose name is the stored name; else the first whose name begins with a
// preferred name, trying the preferred names in order. A name found by preference replaces
// the stored one, in the settings too.
template <typename Caps>
int PickDevice(const std::vector<Caps>& list, std::string& name,
               std::initializer_list<const char*> preferred, Profile& settings, const char* key) {
    if (!name.empty()) {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].name == name) return int(i);
    }
    for (const char* p : preferred) {
        std::string_view prefix(p);
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].name.starts_with(prefix)) {
                name = list[i].name;
                settings.WriteString("Device", key, name);
                return int(i);
            }
        }
    }
    return -1;
}

}  // namespace

MidiSynthLink::MidiSynthLink(MidiSystem& midi, Profile& settings)
    : SynthLink(settings), midi_(midi) {
    ListDevices();
}

MidiSynthLink::~MidiSynthLink() {
    CloseAll();
}

void MidiSynthLink::ListDevices() {
    int outs = midi_.OutputCount();
    for (int i = 0; i < outs; ++i) {
        MidiOutCaps caps;
        if (MidiError e = midi_.GetOutputCaps(i, caps)) {
            ShowError("Error in getting Midi-out device list: " + e.text);
            return;
        }
        outputs_.push_back(std::move(caps));
        outputIds_.push_back(i);
    }
    int ins = midi_.InputCount();
    for (int i = 0; i < ins; ++i) {
        MidiInCaps caps;
        if (MidiError e = midi_.GetInputCaps(i, caps)) {
            ShowError("Error in getting Midi-in device list: " + e.text);
            continue;
        }
        inputs_.push_back(std::move(caps));
        inputIds_.push_back(i);
    }
}

void MidiSynthLink::LogDevices() {
    for (size_t i = 0; i < outputs_.size(); ++i) {
        const MidiOutCaps& c = outputs_[i];
        settings_.WriteString(
            "DEBUG", Fmt("output%d", int(i)),
            Fmt("%s %x %x %x %x %x %x %x", c.name.c_str(), c.manufacturerId, c.productId,
                c.technology, c.voices, c.notes, c.driverVersion, c.support));
    }
    for (size_t j = 0; j < inputs_.size(); ++j) {
        const MidiInCaps& c = inputs_[j];
        settings_.WriteString("DEBUG", Fmt("input%d", int(j)),
                              Fmt("%s %x %x %x %x", c.name.c_str(), c.manufacturerId, c.productId,
                                  c.driverVersion, c.support));
    }
}

void MidiSynthLink::PickDevices() {
    synthOutName_ = settings_.GetString("Device", "SynthOut");
    synthInName_ = settings_.GetString("Device", "SynthIn");
    auditionInName_ = settings_.GetString("Device", "AuditionIn");
    thruEnabled_ = settings_.GetBool("Audition", "OutEnabled", true);
    outIndex_ = PickDevice(outputs_, synthOutName_,
                           {"TBS Pro Main Synth Out", "Apex Wavetable", "Generic MPU-401"},
                           settings_, "SynthOut");
    inIndex_ = PickDevice(inputs_, synthInName_,
                          {"TBS Pro Main Synth In", "Apex Wavetable", "Generic MPU-401"}, settings_,
                          "SynthIn");
    auditionIndex_ =
        PickDevice(inputs_, auditionInName_, {"TBS Pro External MIDI In", "Roland MPU-401"},
                   settings_, "AuditionIn");
}

void MidiSynthLink::ChooseDevices() {
    PickDevices();
    if (OpenDevices() == kDevicesOpen && QueryMemory(0) == kReplied && QueryMemory(1) == kReplied)
        QueryIdentity();
}

DeviceResult MidiSynthLink::OpenDevices() {
    CloseAll();
    DeviceResult result = kDevicesOpen;
    if (outIndex_ == -1 || inIndex_ == -1) {
        ShowMessage(kDevicesNotFound);
        result = kDeviceMissing;
    } else {
        if (MidiError e = midi_.OpenOutput(outputIds_[size_t(outIndex_)], synthOut_)) {
            ShowError(e.text);
            synthOut_.reset();
            result = kDeviceMissing;
        }
        if (MidiError e = midi_.OpenInput(inputIds_[size_t(inIndex_)], synthInHandler_, synthIn_)) {
            ShowError(e.text);
            synthIn_.reset();
            result = kDeviceMissing;
        }
        if (synthIn_) {
            synthIn_->Reset();
            synthIn_->Start();
        }
    }
    if (auditionIndex_ == -1) {
        ShowMessage("Audition device (external midi) not found.");
        result = kDeviceMissing;
    } else if (MidiError e = midi_.OpenInput(inputIds_[size_t(auditionIndex_)], auditionHandler_,
                                             auditionIn_)) {
        ShowError(e.text);
        auditionIn_.reset();
        result = kDeviceMissing;
    } else if (auditionOn_) {
        // Reopening the devices (another MA-1 port chosen) keeps the audition input live.
        auditionIn_->Start();
    }
    return result;
}

void MidiSynthLink::CloseAll() {
    if (auditionIn_) auditionIn_->Stop();
    if (synthIn_) {
        synthIn_->Stop();
        synthIn_->Reset();
    }
    synthOut_.reset();
    synthIn_.reset();
    auditionIn_.reset();
}

DeviceResult MidiSynthLink::SelectSynthOut(int index) {
    if (index == outIndex_) return kDevicesOpen;
    if (index < 0 || size_t(index) >= outputs_.size()) return kDeviceMissing;
    CloseAll();
    outIndex_ = index;
    synthOutName_ = outputs_[size_t(index)].name;
    OpenDevices();
    return kDevicesOpen;
}

DeviceResult MidiSynthLink::SelectSynthIn(int index) {
    if (index == inIndex_) return kDevicesOpen;
    if (index < 0 || size_t(index) >= inputs_.size()) return kDeviceMissing;
    CloseAll();
    inIndex_ = index;
    synthInName_ = inputs_[size_t(index)].name;
    OpenDevices();
    return kDevicesOpen;
}

DeviceResult MidiSynthLink::SelectAuditionIn(int index) {
    if (index == auditionIndex_) return kDevicesOpen;
    if (index < 0 || size_t(index) >= inputs_.size()) return kDeviceMissing;
    CloseAll();
    auditionIndex_ = index;
    auditionInName_ = inputs_[size_t(index)].name;
    OpenDevices();
    return kDevicesOpen;
}

bool MidiSynthLink::IsReady() const {
    return outIndex_ != -1 && inIndex_ != -1 && synthOut_ && synthIn_;
}

void MidiSynthLink::StartAudition() {
    auditionOn_ = true;
    if (auditionIn_) auditionIn_->Start();
}

void MidiSynthLink::StopAudition() {
    auditionOn_ = false;
    if (auditionIn_) auditionIn_->Stop();
}

void MidiSynthLink::SetThruEnabled(bool on) {
    if (thruEnabled_.exchange(on) != on) settings_.WriteBool("Audition", "OutEnabled", on);
}

std::vector<uint32_t> MidiSynthLink::TakeIncomingMessages() {
    std::lock_guard lock(incomingMutex_);
    std::vector<uint32_t> out(incoming_.begin(), incoming_.end());
    incoming_.clear();
    return out;
}

void MidiSynthLink::SynthInHandler::OnLongData(std::vector<uint8_t> bytes) {
    link_.queue_.PushReply(std::move(bytes));
}

// Runs on the MIDI thread. The device-changing operations stop the audition input first, so
// the synth out cannot change under it.
void MidiSynthLink::AuditionHandler::OnShortData(uint32_t message) {
    uint8_t status = uint8_t(message);
    if (status == 0xF8 || status == 0xFE) return;
    {
        std::lock_guard lock(link_.incomingMutex_);
        link_.incoming_.push_back(message);
    }
    if (link_.notify_) link_.notify_();
    if (link_.thruEnabled_ && link_.synthOut_) link_.synthOut_->SendShort(message);
}

void MidiSynthLink::SendShort(uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) {
    if (synthOut_) synthOut_->SendShort(PackShortMessage(status, data1, data2, data3));
}

void MidiSynthLink::PlayNote(uint8_t note, uint8_t velocity, uint8_t channel) {
    if (thruEnabled_ && synthOut_)
        synthOut_->SendShort(PackShortMessage(uint8_t(0x90 + (channel & 0x0F)), note, velocity));
}

int MidiSynthLink::SendSysex(std::span<const uint8_t> bytes, size_t length) {
    if (!synthOut_) return 0;
    length = SysexSendLength(bytes, length);
    if (MidiError e = synthOut_->SendLong(bytes.first(length))) {
        ShowError(e.text);
        return e.code;
    }
    return 0;
}

int MidiSynthLink::SendSysexFilled(std::span<const uint8_t> head, size_t bodySize,
                                   const std::function<bool(std::span<uint8_t>)>& fill) {
    if (!synthOut_) return 0;
    if (MidiError e = synthOut_->SendLongFilled(head, bodySize, fill)) {
        if (!e.text.empty()) ShowError(e.text);  // else the source has said why
        return e.code;
    }
    return 0;
}

ReplyResult MidiSynthLink::Transact(std::span<const uint8_t> request, std::vector<uint8_t>& reply,
                                    size_t n) {
    if (!synthOut_ || !synthIn_ || request.size() <= 4) return kLinkClosed;
    int wrongReplies = 0;
    int timeouts = 0;
    for (;;) {
        switch (Attempt(request, reply, n, wrongReplies, timeouts)) {
            case Outcome::kSuccess:
                return kReplied;
            case Outcome::kGiveUp:
                return kNoReply;
            default:
                break;
        }
    }
}

MidiSynthLink::Outcome MidiSynthLink::Attempt(std::span<const uint8_t> request,
                                              std::vector<uint8_t>& reply, size_t n,
                                              int& wrongReplies, int& timeouts) {
    const uint8_t expected = request[4];
    synthIn_->AddBuffer(kReceiveBufferSize);
    SendSysex(request);
    queue_.StartTimer(tickPeriod_);
    int ticks = 0;
    Outcome outcome = Outcome::kPending;
    while (outcome == Outcome::kPending) {
        if (pump_) pump_->Pump();
        auto until = LinkEventQueue::Clock::now() +
                     (pump_ ? std::chrono::microseconds(kPumpSlice) : tickPeriod_);
        auto event = queue_.WaitNext(until);
        if (!event) continue;
        switch (event->kind) {
            case LinkEventQueue::Kind::kTick:
                if (++ticks < kTicksPerAttempt) break;
                if (timeouts < kSilentResends) {
                    ++timeouts;
                    outcome = Outcome::kResend;
                    break;
                }
                switch (CurrentPrompter().Ask(kNoResponse, Buttons::AbortRetryIgnore)) {
                    case Answer::Abort:
                        std::exit(EXIT_FAILURE);
                    case Answer::Retry:
                        outcome = Outcome::kResend;
                        break;
                    default:
                        outcome = Outcome::kGiveUp;
                        break;
                }
                break;
            case LinkEventQueue::Kind::kReply: {
                const auto& data = event->data;
                if (!data.empty() && UnpackSysex(data, n, reply) == kSysexUnpacked &&
                    data[4] == expected) {
                    outcome = Outcome::kSuccess;
                } else if (++wrongReplies <= kWrongRepliesRetried) {
                    outcome = Outcome::kResend;
                } else {
                    ShowMessage("Request repeated 3 times with no success");
                    outcome = Outcome::kGiveUp;
                }
                break;
            }
            case LinkEventQueue::Kind::kCancel:
                outcome = Outcome::kGiveUp;
                break;
        }
    }
    queue_.StopTimer();
    // Once the buffer is back nothing more can arrive; what came meanwhile is no reply to
    // the next request.
    synthIn_->TakeBackBuffer();
    queue_.DropReplies();
    return outcome;
}

int MidiSynthLink::GetObject(int type, int number, std::vector<uint8_t>& block) {
    block.clear();
    std::vector<uint8_t> header;
    if (Transact(BuildMessage(kCmdObjectHeader, ObjectRequestHeader(type, number)), header,
                 kObjectHeaderBytes) != kReplied)
        return kGetFailed;
    if (header[0] == 0) return kNoSuchObject;
    size_t bodySize = header[4] | (header[5] << 8);
    std::vector<uint8_t> received;
    if (Transact(BuildMessage(kCmdObjectFetch, header), received, kObjectHeaderBytes + bodySize) !=
        kReplied)
        return kGetFailed;
    block = std::move(received);
    return kGotObject;
}

int MidiSynthLink::QueryIdentity() {
    std::vector<uint8_t> reply;
    ReplyResult r = Transact(BuildMessage(kCmdIdentity), reply, identity_.size());
    if (r == kReplied) std::copy(reply.begin(), reply.end(), identity_.begin());
    return r;
}

int MidiSynthLink::QueryMemory(int which) {
    if (which != 0 && which != 1) return kNoReply;
    std::vector<uint8_t> reply;
    ReplyResult r = Transact(BuildMessage(which == 0 ? kCmdMemorySizes : kCmdMemoryFree), reply, 8);
    if (r == kReplied) {
        ByteReader in(reply);
        uint32_t program = in.U32();
        uint32_t sample = in.U32();
        if (which == 0) {
            memory_.programTotal = program;
            memory_.sampleTotal = sample;
        } else {
            memory_.programFree = program;
            memory_.sampleFree = sample;
        }
    }
    if (which == 0) hasSampleRam_ = memory_.sampleTotal != 0;
    return r;
}

}  // namespace talmeru
