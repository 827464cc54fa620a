#include "emulator/Ma1Emulator.h"

#include <algorithm>

#include "emulator/RomWaves.h"
#include "emulator/SevenBit.h"
#include "platform/ByteIO.h"
#include "platform/Memory.h"

namespace talmeru::emulator {

namespace {

constexpr uint8_t kHead[4] = {0xF0, 0x07, 0x21, 0x01};
constexpr uint8_t kEnd = 0xF7;
constexpr size_t kHeaderBytes = 22;
constexpr size_t kSampleMessageHead = 12;  // head, command, 6 header bytes in 7
constexpr int kMaxNumber = 511;

enum Command : uint8_t {
    kHeaderRequest = 0x01,
    kFetch = 0x02,
    kStore = 0x03,
    kDelete = 0x04,
    kSampleData = 0x05,
    kAddAlias = 0x06,
    kRemoveAlias = 0x07,
    kAskIdentity = 0x0A,
    kSizes = 0x0B,
    kFree = 0x0C,
    kClearRam = 0x0D,
};

constexpr uint16_t kTurtleBeach = 0x15;  // manufacturer id
constexpr uint16_t kTechWavetable = 6;

}  // namespace

// ---- devices

class Ma1Emulator::OutPort : public MidiOutPort {
  public:
    explicit OutPort(std::shared_ptr<Ma1Emulator> emu) : emu_(std::move(emu)) {}
    MidiError SendShort(uint32_t message) override {
        emu_->ReceiveShort(message);
        return {};
    }
    MidiError SendLong(std::span<const uint8_t> bytes) override {
        emu_->ReceiveSysex(bytes);
        return {};
    }
    MidiError SendLongFilled(std::span<const uint8_t> head, size_t bodySize,
                             const std::function<bool(std::span<uint8_t>)>& fill) override {
        std::optional<bool> taken = emu_->ReceiveSampleData(head, bodySize, fill);
        if (!taken) return MidiOutPort::SendLongFilled(head, bodySize, fill);
        if (!*taken) return {kMidiErrGeneral, {}};  // the source has said why
        return {};
    }

  private:
    std::shared_ptr<Ma1Emulator> emu_;
};

class Ma1Emulator::InPort : public MidiInPort {
  public:
    InPort(MidiInHandler& handler, std::shared_ptr<Ma1Emulator> emu, Target to)
        : MidiInPort(handler), target(to), emu_(std::move(emu)) {
        emu_->Register(this);
    }
    ~InPort() override { emu_->Unregister(this); }
    void Short(uint32_t message) { DeliverShort(message); }
    void Long(std::span<const uint8_t> bytes) { DeliverLong(bytes); }

    const Target target;

  private:
    std::shared_ptr<Ma1Emulator> emu_;
};

class Ma1Emulator::Provider : public MidiDeviceProvider {
  public:
    explicit Provider(std::shared_ptr<Ma1Emulator> emu) : emu_(std::move(emu)) {}
    int OutputCount() override { return 1; }
    int InputCount() override { return 2; }
    MidiError GetOutputCaps(int index, MidiOutCaps& caps) override {
        if (index != 0) return BadDevice();
        caps = {kSynthOutName, kTurtleBeach, 1, 0x0400, kTechWavetable, 32, 32, 0x0001};
        return {};
    }
    MidiError GetInputCaps(int index, MidiInCaps& caps) override {
        if (index != 0 && index != 1) return BadDevice();
        caps = {index == 0 ? kSynthInName : kExternalInName, kTurtleBeach, uint16_t(2 + index),
                0x0400, 0};
        return {};
    }
    MidiError OpenOutput(int index, std::unique_ptr<MidiOutPort>& port) override {
        if (index != 0) return BadDevice();
        port = std::make_unique<OutPort>(emu_);
        return {};
    }
    MidiError OpenInput(int index, MidiInHandler& handler,
                        std::unique_ptr<MidiInPort>& port) override {
        if (index != 0 && index != 1) return BadDevice();
        port = std::make_unique<InPort>(handler, emu_, index == 0 ? kToSynthIn : kToExternalIn);
        return {};
    }

  private:
    static MidiError BadDevice() { return {kMidiErrBadDevice, "no such emulated device"}; }
    std::shared_ptr<Ma1Emulator> emu_;
};

// ---- life

std::shared_ptr<Ma1Emulator> Ma1Emulator::Create(Ma1Settings settings) {
    return std::shared_ptr<Ma1Emulator>(new Ma1Emulator(settings));
}

Ma1Emulator::Ma1Emulator(Ma1Settings settings)
    : settings_(settings),
      rom_(FactoryRom()),
      programFree_(settings.programRamBytes),
      sampleFree_(settings.sampleRamBytes),
      thread_([this] { Run(); }) {
    PrepareRomWaves();  // ready by the first note, which would otherwise wait for it
}

// The delivery thread is stopped by a flag under its own lock and a plain condition variable:
// a stop token's callback deadlocks now and then in MinGW's library when it is removed.
Ma1Emulator::~Ma1Emulator() {
    {
        std::lock_guard lock(deliveryMutex_);
        stopping_ = true;
    }
    deliveryWake_.notify_all();
    thread_.join();
}

std::shared_ptr<MidiDeviceProvider> Ma1Emulator::Devices() {
    return std::make_shared<Provider>(shared_from_this());
}

void Ma1Emulator::InjectFault(Ma1Fault fault, int count) {
    std::lock_guard lock(stateMutex_);
    fault_ = fault;
    faultCount_ = count;
}

// ---- receiving

void Ma1Emulator::ReceiveShort(uint32_t message) {
    std::lock_guard lock(stateMutex_);
    if (settings_.keepLog) receivedShort_.push_back(message);
    const int status = int(message & 0xFF);
    const int channel = status & 0x0F;
    const int data1 = int((message >> 8) & 0x7F);
    const int data2 = int((message >> 16) & 0x7F);
    if (status == 0xFF) {
        notes_.clear();
        std::fill(std::begin(programs_), std::end(programs_), 0);
        ++resets_;
    } else if ((status & 0xF0) == 0x90 && data2 > 0) {
        notes_.insert({channel, data1});
    } else if ((status & 0xF0) == 0x80 || (status & 0xF0) == 0x90) {
        notes_.erase({channel, data1});
    } else if ((status & 0xF0) == 0xC0) {
        programs_[channel] = data1;
    }
    if ((status >= 0x80 && status < 0xF0) || status == 0xFF) {
        if (imageDirty_) PublishImage();
        if (liveTiming_)
            engine_.SendLive(message);
        else
            engine_.Send(message);
    }
}

void Ma1Emulator::PublishImage() {
    engine_.SetBank(BuildImage());
    imageDirty_ = false;
}

std::shared_ptr<const voice::BankImage> Ma1Emulator::Image() const {
    std::lock_guard lock(stateMutex_);
    return BuildImage();
}

std::shared_ptr<const voice::BankImage> Ma1Emulator::BuildImage() const {
    voice::BankImage::Builder builder(RomWaves());
    for (const auto& [key, block] : rom_)
        if (!ram_.contains(key)) builder.AddObject(block);
    for (const auto& [key, block] : ram_)
        builder.AddObject(block);
    for (const auto& [number, data] : samples_)
        builder.AddSampleData(number, data);
    for (const auto& [alias, primary] : aliases_)
        builder.AddAlias(alias, primary);
    return builder.Build();
}

void Ma1Emulator::Render(float* left, float* right, int frames) {
    engine_.Render(left, right, frames);
}

void Ma1Emulator::SetAudioRate(double rate) {
    engine_.SetSampleRate(rate);
}

void Ma1Emulator::SetLiveTiming(bool live) {
    std::lock_guard lock(stateMutex_);
    liveTiming_ = live;
}

voice::EngineStats Ma1Emulator::AudioStats() const {
    return engine_.Stats();
}

void Ma1Emulator::ReceiveSysex(std::span<const uint8_t> message) {
    std::vector<std::vector<uint8_t>> replies;
    std::chrono::microseconds latency;
    {
        std::lock_guard lock(stateMutex_);
        const bool sampleData = message.size() > 4 && message[4] == kSampleData;
        auto kept =
            sampleData ? message.first(std::min(message.size(), kSampleMessageHead)) : message;
        if (settings_.keepLog) {
            receivedSysex_.emplace_back(kept.begin(), kept.end());
            receivedSizes_.push_back(message.size());
        }
        Handle(message, replies);
        latency = settings_.replyLatency;
    }
    for (auto& r : replies)
        Schedule(kToSynthIn, true, 0, std::move(r), latency);
}

void Ma1Emulator::Handle(std::span<const uint8_t> message,
                         std::vector<std::vector<uint8_t>>& replies) {
    if (message.size() < 6 || !std::equal(std::begin(kHead), std::end(kHead), message.begin())) {
        ++refused_;
        return;
    }
    const uint8_t command = message[4];
    ++requests_[command];
    // What the next note plays is unpacked when that note comes, not per stored object.
    if (command == kStore || command == kDelete || command == kSampleData || command == kAddAlias ||
        command == kRemoveAlias || command == kClearRam)
        imageDirty_ = true;
    if (command == kSampleData) {
        HandleSampleData(message);
        return;
    }
    auto end = std::find(message.begin() + 5, message.end(), kEnd);
    if (end == message.end()) {
        ++refused_;
        return;
    }
    const std::vector<uint8_t> payload = Decode7(std::span(message.begin() + 5, end));
    ByteReader in(payload);
    auto lookup = [&](int type, int number) -> const std::vector<uint8_t>* {
        if (auto it = ram_.find({type, number}); it != ram_.end()) return &it->second;
        if (auto it = rom_.find({type, number}); it != rom_.end()) return &it->second;
        return nullptr;
    };
    try {
        switch (command) {
            case kHeaderRequest:
            case kFetch: {
                int type = in.U8();
                in.Skip(1);
                int number = in.U16();
                const std::vector<uint8_t> none(kHeaderBytes, 0);
                const std::vector<uint8_t>* block = lookup(type, number);
                if (!block) block = &none;
                size_t size = command == kFetch ? block->size() : kHeaderBytes;
                Reply(command, std::span(block->data(), size), replies);
                break;
            }
            case kStore:
                StoreBlock(payload);
                break;
            case kDelete: {
                int type = in.U8();
                in.Skip(1);
                DeleteBlock(type, in.U16());
                break;
            }
            case kAddAlias: {
                int primary = in.U16();
                AddAlias(primary, in.U16());
                break;
            }
            case kRemoveAlias:
                RemoveSample(in.U16());
                break;
            case kAskIdentity: {
                ByteWriter w;
                for (uint16_t word : kIdentity)
                    w.U16(word);
                Reply(command, w.Data(), replies);
                break;
            }
            case kSizes:
            case kFree: {
                ByteWriter w;
                w.U32(command == kSizes ? settings_.programRamBytes : programFree_);
                w.U32(command == kSizes ? settings_.sampleRamBytes : sampleFree_);
                Reply(command, w.Data(), replies);
                break;
            }
            case kClearRam:
                ClearRam();
                break;
            default:
                ++refused_;
                break;
        }
    } catch (const ReadPastEnd&) {
        ++refused_;
    }
}

// F0 07 21 01 05, the sample number and block length packed into 7 bytes, then the block
// itself, raw, with no end byte.
void Ma1Emulator::HandleSampleData(std::span<const uint8_t> message) {
    if (message.size() < kSampleMessageHead) {
        ++refused_;
        return;
    }
    auto accepted = AcceptSampleData(message, message.size() - kSampleMessageHead);
    if (!accepted) return;
    auto data = message.subspan(kSampleMessageHead, accepted->second);
    KeepSampleData(accepted->first,
                   std::make_shared<const std::vector<uint8_t>>(data.begin(), data.end()));
}

std::optional<std::pair<int, uint32_t>> Ma1Emulator::AcceptSampleData(std::span<const uint8_t> head,
                                                                      size_t available) {
    const std::vector<uint8_t> header = Decode7(head.subspan(5, 7));
    ByteReader in(header);
    const int number = in.U16();
    const uint32_t block = in.U32();
    if (!AcceptSampleData(number, block, available)) return std::nullopt;
    return std::pair(number, block);
}

bool Ma1Emulator::AcceptSampleData(int number, uint64_t block, size_t available) {
    auto it = samples_.find(number);
    const uint64_t held = it != samples_.end() ? it->second->size() : 0;
    if (number < 0 || number > kMaxNumber || available < block || block > sampleFree_ + held) {
        ++refused_;
        return false;
    }
    return true;
}

// Memory is taken only for a block the RAM has room for, and exactly once: the source is
// read into what the sample RAM keeps.
bool Ma1Emulator::FillSampleData(int number, size_t block, size_t size,
                                 const std::function<bool(std::span<uint8_t>)>& fill) {
    auto data = std::make_shared<std::vector<uint8_t>>();
    data->reserve(size);
    // A SoundFont's samples come as one block of a hundred megabytes and more, whose page
    // faults on first touch took most of its load.
    PreferLargePages(data->data(), size);
    data->resize(size);
    if (!fill(*data)) {
        ++refused_;
        return false;
    }
    data->resize(block);
    KeepSampleData(number, std::move(data));
    return true;
}

void Ma1Emulator::KeepSampleData(int number, voice::SampleBytes data) {
    auto it = samples_.find(number);
    const uint64_t held = it != samples_.end() ? it->second->size() : 0;
    sampleFree_ = uint32_t(sampleFree_ + held - data->size());
    samples_[number] = std::move(data);
    aliases_.erase(number);
}

std::optional<bool> Ma1Emulator::ReceiveSampleData(
    std::span<const uint8_t> head, size_t bodySize,
    const std::function<bool(std::span<uint8_t>)>& fill) {
    if (head.size() != kSampleMessageHead || head[4] != kSampleData ||
        !std::equal(std::begin(kHead), std::end(kHead), head.begin()))
        return std::nullopt;
    std::lock_guard lock(stateMutex_);
    if (settings_.keepLog) {
        receivedSysex_.emplace_back(head.begin(), head.end());
        receivedSizes_.push_back(head.size() + bodySize);
    }
    ++requests_[kSampleData];
    imageDirty_ = true;
    auto accepted = AcceptSampleData(head, bodySize);
    if (!accepted) return true;
    return FillSampleData(accepted->first, accepted->second, bodySize, fill);
}

bool Ma1Emulator::StoreBlock(std::span<const uint8_t> payload) {
    if (payload.size() < kHeaderBytes) {
        ++refused_;
        return false;
    }
    const int type = payload[0];
    const int number = payload[2] | (payload[3] << 8);
    const size_t size = kHeaderBytes + size_t(payload[4] | (payload[5] << 8));
    auto it = ram_.find({type, number});
    const uint64_t held = it != ram_.end() ? it->second.size() : 0;
    if (type < 1 || type > 6 || number > kMaxNumber || payload.size() < size ||
        size > programFree_ + held) {
        ++refused_;
        return false;
    }
    ram_[{type, number}].assign(payload.begin(), payload.begin() + long(size));
    programFree_ = uint32_t(programFree_ + held - size);
    return true;
}

bool Ma1Emulator::AddAlias(int primary, int alias) {
    if (alias == primary || alias < 0 || alias > kMaxNumber || !samples_.contains(primary)) {
        ++refused_;
        return false;
    }
    aliases_[alias] = primary;
    return true;
}

void Ma1Emulator::DeleteBlock(int type, int number) {
    auto it = ram_.find({type, number});
    if (it == ram_.end()) return;  // ROM objects cannot be deleted
    programFree_ += uint32_t(it->second.size());
    ram_.erase(it);
}

// A number that is an alias stops being one; a number with data of its own frees it, and
// the aliases that played it go with it.
void Ma1Emulator::RemoveSample(int number) {
    if (aliases_.erase(number)) return;
    auto it = samples_.find(number);
    if (it == samples_.end()) return;
    samples_.erase(it);
    sampleFree_ = SampleRamLeft();
    std::erase_if(aliases_, [number](const auto& a) { return a.second == number; });
}

void Ma1Emulator::ClearRam() {
    ram_.clear();
    samples_.clear();
    aliases_.clear();
    programFree_ = settings_.programRamBytes;
    sampleFree_ = settings_.sampleRamBytes;
}

void Ma1Emulator::Reply(uint8_t command, std::span<const uint8_t> payload,
                        std::vector<std::vector<uint8_t>>& replies) {
    Ma1Fault fault = Ma1Fault::kNone;
    if (faultCount_ != 0) {
        fault = fault_;
        if (faultCount_ > 0) --faultCount_;
    }
    if (fault == Ma1Fault::kSilent) return;
    std::vector<uint8_t> m(std::begin(kHead), std::end(kHead));
    m.push_back(fault == Ma1Fault::kWrongCommand ? uint8_t(command ^ 0x10) : command);
    std::vector<uint8_t> packed = Encode7(payload);
    if (fault == Ma1Fault::kEarlyEnd) packed.resize(packed.size() / 2);
    m.insert(m.end(), packed.begin(), packed.end());
    if (fault != Ma1Fault::kNoEnd) m.push_back(kEnd);
    replies.push_back(std::move(m));
}

// ---- direct hand-over

// A change made as its message would make it: under the state lock, the image to be built
// again before the next note.
template <class Change>
auto Ma1Emulator::Direct(Change change) {
    std::lock_guard lock(stateMutex_);
    imageDirty_ = true;
    return change();
}

bool Ma1Emulator::StoreDirect(std::span<const uint8_t> block) {
    return Direct([&] { return StoreBlock(block); });
}

void Ma1Emulator::DeleteDirect(int type, int number) {
    Direct([&] { DeleteBlock(type, number); });
}

bool Ma1Emulator::SampleDataDirect(int number, size_t size,
                                   const std::function<bool(std::span<uint8_t>)>& fill) {
    return Direct([&] {
        return AcceptSampleData(number, size, size) && FillSampleData(number, size, size, fill);
    });
}

bool Ma1Emulator::AddAliasDirect(int primary, int alias) {
    return Direct([&] { return AddAlias(primary, alias); });
}

void Ma1Emulator::RemoveAliasDirect(int number) {
    Direct([&] { RemoveSample(number); });
}

void Ma1Emulator::ClearRamDirect() {
    Direct([&] { ClearRam(); });
}

// ---- delivery

void Ma1Emulator::PlayExternal(uint32_t message) {
    Schedule(kToExternalIn, false, message, {}, std::chrono::microseconds(0));
}

void Ma1Emulator::Schedule(Target target, bool isLong, uint32_t shortMessage,
                           std::vector<uint8_t> bytes, std::chrono::microseconds delay) {
    {
        std::lock_guard lock(deliveryMutex_);
        pending_.push_back({std::chrono::steady_clock::now() + delay, target, isLong, shortMessage,
                            std::move(bytes)});
    }
    deliveryWake_.notify_all();
}

void Ma1Emulator::Run() {
    std::unique_lock lock(deliveryMutex_);
    while (!stopping_) {
        if (pending_.empty()) {
            deliveryWake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            continue;
        }
        auto due = pending_.front().due;
        if (std::chrono::steady_clock::now() < due) {
            deliveryWake_.wait_until(lock, due, [this] { return stopping_; });
            continue;
        }
        Delivery d = std::move(pending_.front());
        pending_.pop_front();
        delivering_ = true;
        lock.unlock();
        {
            std::lock_guard ports(portsMutex_);
            for (InPort* p : inPorts_) {
                if (p->target != d.target) continue;
                if (d.isLong)
                    p->Long(d.bytes);
                else
                    p->Short(d.shortMessage);
            }
        }
        lock.lock();
        delivering_ = false;
        if (pending_.empty()) idle_.notify_all();
    }
}

void Ma1Emulator::Flush() {
    std::unique_lock lock(deliveryMutex_);
    idle_.wait(lock, [this] { return pending_.empty() && !delivering_; });
}

void Ma1Emulator::Register(InPort* port) {
    std::lock_guard lock(portsMutex_);
    inPorts_.push_back(port);
}

// Waits for a delivery in progress, so the port is never used after it is gone.
void Ma1Emulator::Unregister(InPort* port) {
    std::lock_guard lock(portsMutex_);
    std::erase(inPorts_, port);
}

// ---- state

std::optional<std::vector<uint8_t>> Ma1Emulator::Object(int type, int number) const {
    std::lock_guard lock(stateMutex_);
    if (auto it = ram_.find({type, number}); it != ram_.end()) return it->second;
    if (auto it = rom_.find({type, number}); it != rom_.end()) return it->second;
    return std::nullopt;
}

bool Ma1Emulator::InRam(int type, int number) const {
    std::lock_guard lock(stateMutex_);
    return ram_.contains({type, number});
}

std::optional<std::vector<uint8_t>> Ma1Emulator::SampleData(int number) const {
    std::lock_guard lock(stateMutex_);
    if (auto it = samples_.find(number); it != samples_.end()) return *it->second;
    return std::nullopt;
}

std::optional<int> Ma1Emulator::AliasOf(int alias) const {
    std::lock_guard lock(stateMutex_);
    if (auto it = aliases_.find(alias); it != aliases_.end()) return it->second;
    return std::nullopt;
}

void Ma1Emulator::SetSampleRamBytes(uint32_t bytes) {
    std::lock_guard lock(stateMutex_);
    settings_.sampleRamBytes = bytes;
    sampleFree_ = SampleRamLeft();
}

uint32_t Ma1Emulator::SampleRamLeft() const {
    uint64_t used = 0;
    for (const auto& sample : samples_)
        used += sample.second->size();
    return settings_.sampleRamBytes > used ? uint32_t(settings_.sampleRamBytes - used) : 0;
}

Ma1Memory Ma1Emulator::Memory() const {
    std::lock_guard lock(stateMutex_);
    return {settings_.programRamBytes, programFree_, settings_.sampleRamBytes, sampleFree_};
}

std::vector<std::vector<uint8_t>> Ma1Emulator::ReceivedSysex() const {
    std::lock_guard lock(stateMutex_);
    return receivedSysex_;
}

std::vector<size_t> Ma1Emulator::ReceivedSysexSizes() const {
    std::lock_guard lock(stateMutex_);
    return receivedSizes_;
}

std::vector<uint32_t> Ma1Emulator::ReceivedShort() const {
    std::lock_guard lock(stateMutex_);
    return receivedShort_;
}

int Ma1Emulator::Requests(uint8_t command) const {
    std::lock_guard lock(stateMutex_);
    auto it = requests_.find(command);
    return it == requests_.end() ? 0 : it->second;
}

int Ma1Emulator::Refused() const {
    std::lock_guard lock(stateMutex_);
    return refused_;
}

std::set<std::pair<int, int>> Ma1Emulator::SoundingNotes() const {
    std::lock_guard lock(stateMutex_);
    return notes_;
}

int Ma1Emulator::ChannelProgram(int channel) const {
    std::lock_guard lock(stateMutex_);
    return channel >= 0 && channel < 16 ? programs_[channel] : -1;
}

int Ma1Emulator::ResetCount() const {
    std::lock_guard lock(stateMutex_);
    return resets_;
}

}  // namespace talmeru::emulator
