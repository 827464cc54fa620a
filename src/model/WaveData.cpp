#include "model/WaveData.h"

#include <algorithm>
#include <iterator>

#include "model/BankLink.h"
#include "platform/Prompter.h"
#include "platform/RomDirectory.h"

namespace talmeru {

bool WaveData::Equals(const WaveData& other) const {
    return Kind() == other.Kind() && path == other.path && channel == other.channel;
}

int WaveData::SampleRateAt(int64_t frame) const {
    auto after = std::upper_bound(rangeRates.begin(), rangeRates.end(), frame,
                                  [](int64_t f, const auto& r) { return f < int64_t{r.first}; });
    return after == rangeRates.begin() ? SampleRate() : std::prev(after)->second;
}

int WaveData::FindRegion(int32_t start, int32_t end_, int32_t loop) const {
    const int32_t bpf = BytesPerFrame();
    for (size_t i = 0; i < regions.size(); ++i) {
        const WaveRegion& r = regions[i];
        bool looped = r.loopStart < r.end;
        int32_t regionLoop = looped ? r.loopStart * bpf : -1;
        if (r.start * bpf == start && r.end * bpf == end_ &&
            (regionLoop == loop || r.loopStart * bpf == loop))
            return static_cast<int>(i);
    }
    return -1;
}

void WaveData::AddLink(int number) {
    if (base == -1 || base == number) {
        base = number;
        uploadPending[0] = uploadPending[1] = true;
        return;
    }
    // Only wave data that the bank carries has aliases to send later.
    bool pending = StorageClass() != kNotSaved;
    links.push_back({number, pending});
    if (pending) uploadPending[0] = true;
}

Result WaveData::RemoveLink(int number) {
    if (number == base) {
        if (links.empty()) {
            base = -1;
        } else {
            base = links.front().number;
            links.erase(links.begin());
            uploadPending[0] = uploadPending[1] = true;
        }
        return kOk;
    }
    auto it = std::find_if(links.begin(), links.end(),
                           [&](const WaveLink& l) { return l.number == number; });
    if (it == links.end()) {
        ShowMessage("Internal aliases list is corrupt. Please inform author");
        return kFailed;
    }
    links.erase(it);
    return kOk;
}

bool WaveData::UsedBy(int number) const {
    return base == number || std::any_of(links.begin(), links.end(),
                                         [&](const WaveLink& l) { return l.number == number; });
}

void WaveData::AddUser(int number, BankLink* link) {
    if (base == -1 || base == number || StorageClass() == kNotSaved || !link) {
        AddLink(number);
        return;
    }
    links.push_back({number, false});
    if (link->AddAlias(base, number) != 0) {
        links.back().pending = true;
        uploadPending[0] = true;
    }
}

int WaveData::RemoveUser(int number, BankLink* link) {
    int oldBase = base;
    if (RemoveLink(number) != kOk) return kWaveUploadFailed;
    if (!link || StorageClass() == kNotSaved) return kWaveUploaded;
    link->RemoveAlias(number);
    if (number == oldBase && base != -1) {
        int free = static_cast<int>(link->Memory().sampleFree);
        return Upload(*link, free);
    }
    return kWaveUploaded;
}

namespace {
class LoadedReader : public WaveDataReader {
  public:
    LoadedReader(WaveData& wave, bool release) : wave_(wave), release_(release) {}
    ~LoadedReader() override {
        if (release_) wave_.ReleaseData();
    }
    uint64_t Size() const override { return wave_.data.size(); }
    int Read(std::span<uint8_t> out) override {
        if (out.size() > wave_.data.size() - at_) return kFailed;
        std::copy_n(wave_.data.begin() + std::ptrdiff_t(at_), out.size(), out.begin());
        at_ += out.size();
        return kOk;
    }

  private:
    WaveData& wave_;
    bool release_;
    size_t at_ = 0;
};
}  // namespace

std::unique_ptr<WaveDataReader> WaveData::OpenReader() {
    const bool wasLoaded = loaded;
    if (LoadData() != kOk) return nullptr;
    return std::make_unique<LoadedReader>(*this, !wasLoaded);
}

int WaveData::Upload(BankLink& link, int& sampleRamFree) {
    if (StorageClass() == kNotSaved || base < 0) {
        uploadPending[0] = uploadPending[1] = false;
        return kWaveUploaded;
    }
    if (uploadPending[0] || uploadPending[1]) {
        int32_t size = Length();
        if (size < 0 || size > sampleRamFree) return kOutOfSampleRam;
        int rc = 0;
        if (ReadsInPlace() && !loaded) {
            bool readFailed = false;
            rc = link.UploadSampleDataFilled(
                base, size_t(size),
                [&](std::span<uint8_t> out) { return !(readFailed = ReadData(out) != kOk); },
                sampleRamFree, bitsHeld);
            if (readFailed) return kWaveUploadFailed;
        } else {
            if (LoadData() != kOk) return kWaveUploadFailed;
            rc = link.UploadSampleData(base, data, sampleRamFree, bitsHeld);
            ReleaseData();
        }
        if (rc != 0) return rc;
        uploadPending[0] = uploadPending[1] = false;
    }
    for (auto& l : links) {
        if (!l.pending) continue;
        if (int rc = link.AddAlias(base, l.number); rc != 0) return rc;
        l.pending = false;
    }
    return kWaveUploaded;
}

RomWaveData::RomWaveData() {
    base = 0;
    valid = true;
    bitsSource = bitsHeld = 8;
    sampleRate = 0;
    length = kRomSampleLength;
    loopStart = end = kRomSampleLength;
    regions.reserve(kRomRegionCount);
    for (const auto& r : RomDirectory())
        regions.push_back({std::string(r.name), r.start, r.loopStart, r.end});
}

std::unique_ptr<WaveData> RomWaveData::Clone() const {
    return std::make_unique<RomWaveData>(*this);
}

InvalidWaveData::InvalidWaveData(int baseNumber, std::string sourcePath, int sourceChannel) {
    base = baseNumber;
    path = std::move(sourcePath);
    channel = sourceChannel;
    valid = false;
    length = 0;
}

std::unique_ptr<WaveData> InvalidWaveData::Clone() const {
    return std::make_unique<InvalidWaveData>(*this);
}

}  // namespace talmeru
