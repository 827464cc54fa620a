#include "files/Sf2WaveData.h"

#include <algorithm>
#include <iterator>

#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

std::optional<RiffChunk> FindSf2SampleChunk(const RiffReader& reader, const RiffChunk& sfbk) {
    auto sdta = reader.FindList(sfbk, FourCC("sdta"));
    if (!sdta) return std::nullopt;
    return reader.Find(*sdta, FourCC("smpl"));
}

int32_t Sf2SampleBytes(const RiffChunk& smpl) {
    return static_cast<int32_t>(std::min<uint64_t>(smpl.dataEnd - smpl.dataOffset, INT32_MAX));
}

Sf2WaveData::Sf2WaveData(const std::string& p, int baseNumber, int channelSelector, bool quiet) {
    base = baseNumber;
    channel = channelSelector;
    bitsSource = bitsHeld = 16;
    sampleRate = 44100;
    if (!Locate(p, quiet)) return;
    ReadHeader();
    AddFullSampleRegion();
}

std::unique_ptr<WaveData> Sf2WaveData::Clone() const {
    return std::make_unique<Sf2WaveData>(*this);
}

void Sf2WaveData::ReadHeader() {
    auto fail = [&](const std::string& text) {
        ShowMessage(text);
        formatTag = -1;
    };
    FileSource src(path);
    if (!src.Ok()) return fail(Fmt("Failed to open Sf2 file \"%s\".", path.c_str()));
    RiffReader r(src);
    auto sfbk = r.Riff(0, FourCC("sfbk"));
    if (!sfbk) return fail(Fmt("This is not a SoundFont2 file, \"%s\".", path.c_str()));
    auto smpl = FindSf2SampleChunk(r, *sfbk);
    if (!smpl) return fail(Fmt("SoundFont2 file \"%s\" has no \"smpl\" chunk.", path.c_str()));
    fileOffset = smpl->dataOffset;
    length = Sf2SampleBytes(*smpl);
    dataSize = static_cast<uint64_t>(length);
    sourceSize = length;
    loopStart = end = length / 2;
    ReadRates(r, *sfbk);
}

// The chunk holds samples of their own rates, which only their records tell; the headers made
// from them carry their pitch, but an export must write each sample's rate again.
void Sf2WaveData::ReadRates(const RiffReader& r, const RiffChunk& sfbk) {
    constexpr size_t kRecord = 46, kMostRecords = 65536;
    auto pdta = r.FindList(sfbk, FourCC("pdta"));
    auto shdr = pdta ? r.Find(*pdta, FourCC("shdr")) : std::nullopt;
    if (!shdr) return;
    const std::vector<uint8_t> records = r.ReadData(*shdr, kRecord * kMostRecords);
    for (size_t at = 0; at + kRecord <= records.size(); at += kRecord) {
        ByteReader rec(records.data() + at, kRecord);
        rec.Skip(20);  // the name
        const uint32_t start = rec.U32();
        rec.Skip(12);  // end and loop
        const uint32_t rate = rec.U32();
        if (rate > 0 && rate <= INT32_MAX) rates_.push_back({start, static_cast<int>(rate)});
    }
    std::stable_sort(rates_.begin(), rates_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

int Sf2WaveData::SampleRateAt(int64_t frame) const {
    auto after = std::upper_bound(rates_.begin(), rates_.end(), frame,
                                  [](int64_t f, const auto& r) { return f < int64_t(r.first); });
    return after == rates_.begin() ? SampleRate() : std::prev(after)->second;
}

int Sf2WaveData::LoadData() {
    if (loaded) return 0;
    if (!valid || formatTag == -1) return 1;
    if (ReadRawData() != 0) return 1;
    loaded = true;
    return 0;
}

std::unique_ptr<WaveDataReader> Sf2WaveData::OpenReader() {
    if (loaded) return WaveData::OpenReader();
    if (!valid || formatTag == -1) return nullptr;
    return OpenRawReader(false);
}

}  // namespace talmeru
