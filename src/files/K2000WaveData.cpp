#include "files/K2000WaveData.h"

#include <algorithm>
#include <utility>

#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

std::optional<uint64_t> K2000SampleBlockOffset(const ByteSource& source) {
    uint8_t h[8];
    if (source.ReadAt(0, h, sizeof h) != sizeof h) return std::nullopt;
    ByteReader fields(h, sizeof h);
    fields.Skip(4);
    return fields.U32BE();
}

K2000WaveData::K2000WaveData(const std::string& p, int baseNumber, int channelSelector, bool quiet,
                             const std::optional<K2000Stretch>& stretch) {
    base = baseNumber;
    channel = channelSelector;
    bitsSource = bitsHeld = 16;
    sampleRate = 44100;
    if (!Locate(p, quiet)) return;
    ReadHeader(stretch);
    AddFullSampleRegion();
}

std::unique_ptr<WaveData> K2000WaveData::Clone() const {
    return std::make_unique<K2000WaveData>(*this);
}

bool K2000WaveData::Equals(const WaveData& other) const {
    if (!WaveData::Equals(other)) return false;
    const auto& o = static_cast<const K2000WaveData&>(other);
    return fileOffset == o.fileOffset && dataSize == o.dataSize;
}

void K2000WaveData::ReadHeader(const std::optional<K2000Stretch>& stretch) {
    FileSource src(path);
    auto block = src.Ok() ? K2000SampleBlockOffset(src) : std::nullopt;
    if (!block || *block > src.Size()) {
        ShowMessage(Fmt("This is not a K2000 file, \"%s\".", path.c_str()));
        formatTag = -1;
        return;
    }
    fileOffset = *block + (stretch ? stretch->start : 0);
    dataSize = stretch ? stretch->size : src.Size() - *block;
    sourceSize = static_cast<int32_t>(std::min<uint64_t>(dataSize, INT32_MAX));
    // An odd last byte is dropped when the words are swapped, so it is never held.
    length = sourceSize & ~1;
    if (stretch) {
        loopStart = stretch->loopStart;
        end = stretch->end;
    } else {
        loopStart = end = length / 2;
    }
}

int K2000WaveData::LoadData() {
    if (loaded) return 0;
    if (!valid || formatTag == -1) return 1;
    if (ReadRawData() != 0) return 1;
    for (size_t i = 0; i + 1 < data.size(); i += 2)
        std::swap(data[i], data[i + 1]);
    loaded = true;
    return 0;
}

std::unique_ptr<WaveDataReader> K2000WaveData::OpenReader() {
    if (loaded) return WaveData::OpenReader();
    if (!valid || formatTag == -1) return nullptr;
    return OpenRawReader(true);
}

}  // namespace talmeru
